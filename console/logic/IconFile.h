// The console's application icon as the bytes of an .ico file, drawn from a
// picture grid, so that the tray picture stays the icon's only source.
#pragma once
#include <cstdint>
#include <vector>

#include "Pictures.h"

// One 32-bit image per size, in the order given, each drawn from the grid by
// PicturePixels. Empty when a size is not between 1 and 256.
std::vector<uint8_t> IconFileBytes(const PictureGrid& grid, const std::vector<int>& sizes);
