#include "Pictures.h"

#include <cstring>

namespace {

struct PaletteEntry {
    char c;
    uint32_t argb;
};

constexpr PaletteEntry kPalette[] = {
    {'k', 0xFF000000}, {'w', 0xFFFFFFFF}, {'s', 0xFFC0C0C0}, {'S', 0xFF808080}, {'r', 0xFFE02020},
    {'R', 0xFF800000}, {'g', 0xFF20C040}, {'G', 0xFF006000}, {'b', 0xFF3060F0}, {'B', 0xFF000080},
    {'y', 0xFFF8E040}, {'o', 0xFFF09020}, {'c', 0xFF60D0F0},
};

}  // namespace

bool IsPictureCharacter(char c) {
    if (c == '.') return true;
    for (const PaletteEntry& e : kPalette)
        if (e.c == c) return true;
    return false;
}

uint32_t PictureColour(char c) {
    for (const PaletteEntry& e : kPalette)
        if (e.c == c) return e.argb;
    return 0;
}

std::vector<uint32_t> PicturePixels(const PictureGrid& grid, int size) {
    if (size <= 0) return {};
    std::vector<uint32_t> pixels(static_cast<size_t>(size) * size, 0);
    for (int y = 0; y < size; ++y) {
        const char* row = grid[y * kPictureSize / size];
        if (!row) row = "";
        const size_t n = std::strlen(row);
        for (int x = 0; x < size; ++x) {
            const size_t at = static_cast<size_t>(x * kPictureSize / size);
            if (at < n) pixels[static_cast<size_t>(y) * size + x] = PictureColour(row[at]);
        }
    }
    return pixels;
}

int PictureSizeFor(int pixels) {
    int best = kPictureSizes[0];
    for (int size : kPictureSizes)
        if (size <= pixels) best = size;
    return best;
}

const std::array<PictureGrid, 7> kToolPictures = {{
    // 0: the log (not on a button).
    {"..SSSSSSSSSS....",
     "..SwwwwwwwwSS...",
     "..SwwwwwwwwSwS..",
     "..SwkkkkkwwSSSS.",
     "..SwwwwwwwwwwwS.",
     "..SwkkkkkkkkwwS.",
     "..SwwwwwwwwwwwS.",
     "..SwkkkkkkkwwwS.",
     "..SwwwwwwwwwwwS.",
     "..SwkkkkkkkkwwS.",
     "..SwwwwwwwwwwwS.",
     "..SwkkkkkwwwwwS.",
     "..SwwwwwwwwwwwS.",
     "..SwwwwwwwwwwwS.",
     "..SSSSSSSSSSSSS.",
     "................"},
    // 1: start the remote-access service.
    {"................",
     "...GG...........",
     "...GgGG.........",
     "...GgggGG.......",
     "...GgggggGG.....",
     "...GgggggggGG...",
     "...GgggggggggGG.",
     "...GgggggggggggG",
     "...GgggggggggggG",
     "...GgggggggggGG.",
     "...GgggggggGG...",
     "...GgggggGG.....",
     "...GgggGG.......",
     "...GgGG.........",
     "...GG...........",
     "................"},
    // 2: stop the remote-access service.
    {"................",
     "................",
     "..RRRRRRRRRRRR..",
     "..RrrrrrrrrrrR..",
     "..RrrrrrrrrrrR..",
     "..RrrrrrrrrrrR..",
     "..RrrrrrrrrrrR..",
     "..RrrrrrrrrrrR..",
     "..RrrrrrrrrrrR..",
     "..RrrrrrrrrrrR..",
     "..RrrrrrrrrrrR..",
     "..RrrrrrrrrrrR..",
     "..RrrrrrrrrrrR..",
     "..RRRRRRRRRRRR..",
     "................",
     "................"},
    // 3: user information.
    {"................",
     "......kkkk......",
     ".....kooook.....",
     "....kooooook....",
     "....kokookok....",
     "....kooooook....",
     "....koorrook....",
     ".....kooook.....",
     "......kkkk......",
     "....kkbbbbkk....",
     "...kbbbbbbbbk...",
     "..kbbbbbbbbbbk..",
     "..kbbbbbbbbbbk..",
     "..kbbbbbbbbbbk..",
     "..kkkkkkkkkkkk..",
     "................"},
    // 4: help.
    {"................",
     ".....BBBBBB.....",
     "...BBbbbbbbBB...",
     "..BbbbwwwwbbbB..",
     "..BbbwwbbwwbbB..",
     ".BbbbbbbbwwbbbB.",
     ".BbbbbbbwwbbbbB.",
     ".BbbbbbwwbbbbbB.",
     ".BbbbbbwwbbbbbB.",
     ".BbbbbbbbbbbbbB.",
     ".BbbbbbwwbbbbbB.",
     "..BbbbbwwbbbbB..",
     "..BbbbbbbbbbbB..",
     "...BBbbbbbbBB...",
     ".....BBBBBB.....",
     "................"},
    // 5: working-hours watch off.
    {"................",
     ".....kkkkkk.....",
     "...kkwwwwwwkk...",
     "..kwwwwkwwwwrk..",
     "..kwwwwkwwwrwk..",
     ".kwwwwwkwwrwwwk.",
     ".kwwwwwkwrwwwwk.",
     ".kwwwwwkrwwwwwk.",
     ".kwwwwwrkkkkwwk.",
     ".kwwwwrwwwwwwwk.",
     ".kwwwrwwwwwwwwk.",
     "..kwrwwwwwwwwk..",
     "..krwwwwwwwwwk..",
     "...kkwwwwwwkk...",
     ".....kkkkkk.....",
     "................"},
    // 6: settings file.
    {"................",
     ".SSSSSSSSS......",
     ".SwwwwwwwSS.....",
     ".SwkkkwwwSwS....",
     ".SwwwwwwwSSSS...",
     ".SwkkkkkwwwwS...",
     ".SwwwwwwwwwwS...",
     ".SwkkkkwwssssS..",
     ".SwwwwwwsSsSsS..",
     ".SwkkkkwsSSSSsS.",
     ".SwwwwwwSSssSSs.",
     ".SwkkkwwsSSSSsS.",
     ".SwwwwwwsSsSsS..",
     ".SSSSSSSSssss...",
     "................",
     "................"},
}};

const PictureGrid kTrayPicture = {
    "................",
    "....BBBBBBBB....",
    "..BBccccccccBB..",
    ".BccBBBBBBBBccB.",
    ".BcB........BcB.",
    "BcB..kkkkkk..BcB",
    "BcB.kwwwwwwk.BcB",
    "BBB.kwwkkwwk.BBB",
    "....kwwkkwwk....",
    "....kwwwwwwk....",
    "...kkkkkkkkkk...",
    "...kssssssssk...",
    "...ksgsssssrk...",
    "...kssssssssk...",
    "...kkkkkkkkkk...",
    "................",
};
