// The console's pictures as text grids, one character per pixel, so that
// anyone can redraw them in an editor. PicturePixels turns a grid into the
// 32-bit pixels that the window hands to the image list and the tray icon,
// at 16 pixels or at a size for a larger display scale.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

constexpr int kPictureSize = 16;
using PictureGrid = std::array<const char*, kPictureSize>;

// Colour of each grid character; '.' is transparent.
//   k black  w white  s silver  S dark grey  r red  R dark red  g green
//   G dark green  b blue  B dark blue  y yellow  o orange  c cyan
// Premultiplied 0xAARRGGBB; 0 for '.', and for a character outside the list.
uint32_t PictureColour(char c);
bool IsPictureCharacter(char c);

// Row by row from the top, 0xAARRGGBB, size * size values. Rows shorter
// than the grid are padded transparent, longer ones cut. At another size
// than the grid's each pixel takes the grid pixel it falls in, so that lines
// stay sharp (and a size that is a multiple of 16 repeats each exactly).
std::vector<uint32_t> PicturePixels(const PictureGrid& grid, int size = kPictureSize);

// The sizes the pictures are drawn in: 100 %, 125 %, 150 % and 200 %.
inline constexpr int kPictureSizes[] = {16, 20, 24, 32};
// The largest of those that `pixels` (16 at 100 %) has room for; 16 at least.
int PictureSizeFor(int pixels);

// ImageList1: seven tool pictures. The tool buttons use 5, 1, 2, 6, 3 and 4.
extern const std::array<PictureGrid, 7> kToolPictures;
// ImageList2: the notification-area icon.
extern const PictureGrid kTrayPicture;
