// Writes the console's application icon, the tray picture at the sizes of
// every display scale (16, 20, 24 and 32 pixels), into the .ico file that portwatch.rc names. Built for the build
// machine and run while building.
//   icongen OUTPUT.ico
#include <cstdio>
#include <iterator>

#include "IconFile.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: icongen OUTPUT.ico\n");
        return 2;
    }
    const std::vector<uint8_t> bytes =
        IconFileBytes(kTrayPicture, std::vector<int>(std::begin(kPictureSizes), std::end(kPictureSizes)));
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !written || bytes.empty()) {
        std::fprintf(stderr, "icongen: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
