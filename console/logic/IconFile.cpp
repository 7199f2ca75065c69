#include "IconFile.h"

#include <cstddef>

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// The AND mask's rows are padded to 32 bits.
std::size_t MaskRowBytes(int size) { return static_cast<std::size_t>((size + 31) / 32 * 4); }

std::size_t ImageBytes(int size) {
    return 40 + static_cast<std::size_t>(size) * size * 4 + MaskRowBytes(size) * size;
}

// A BITMAPINFOHEADER, the colour pixels and the mask, both bottom-up as an
// icon image stores them; the header's height counts both halves.
void PutImage(std::vector<uint8_t>& out, const PictureGrid& grid, int size) {
    const std::vector<uint32_t> pixels = PicturePixels(grid, size);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(size));
    Put32(out, static_cast<uint32_t>(size * 2));
    Put16(out, 1);   // planes
    Put16(out, 32);  // bits per pixel
    Put32(out, 0);   // BI_RGB
    Put32(out, static_cast<uint32_t>(ImageBytes(size) - 40));
    for (int i = 0; i < 4; ++i) Put32(out, 0);
    auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * size + x]; };
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) Put32(out, at(x, y));  // 0xAARRGGBB is B, G, R, A in memory
    for (int y = size - 1; y >= 0; --y) {
        std::vector<uint8_t> row(MaskRowBytes(size), 0);
        for (int x = 0; x < size; ++x)
            if ((at(x, y) >> 24) == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
}

}  // namespace

std::vector<uint8_t> IconFileBytes(const PictureGrid& grid, const std::vector<int>& sizes) {
    for (int size : sizes)
        if (size <= 0 || size > 256) return {};
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);  // an icon, not a cursor
    Put16(out, static_cast<uint32_t>(sizes.size()));
    std::size_t offset = 6 + 16 * sizes.size();
    for (int size : sizes) {
        out.push_back(static_cast<uint8_t>(size == 256 ? 0 : size));
        out.push_back(static_cast<uint8_t>(size == 256 ? 0 : size));
        out.push_back(0);  // no palette
        out.push_back(0);
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, static_cast<uint32_t>(ImageBytes(size)));
        Put32(out, static_cast<uint32_t>(offset));
        offset += ImageBytes(size);
    }
    for (int size : sizes) PutImage(out, grid, size);
    return out;
}
