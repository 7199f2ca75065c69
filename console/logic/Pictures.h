// The console's pictures as text grids, one character per pixel, so that
// anyone can redraw them in an editor. PicturePixels turns a grid into the
// 32-bit pixels that the window hands to the image list and the tray icon.
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

// Row by row from the top, 0xAARRGGBB, kPictureSize * kPictureSize values.
// Rows shorter than the size are padded transparent, longer ones cut.
std::vector<uint32_t> PicturePixels(const PictureGrid& grid);

// ImageList1: seven tool pictures. The tool buttons use 5, 1, 2, 6, 3 and 4.
extern const std::array<PictureGrid, 7> kToolPictures;
// ImageList2: the notification-area icon.
extern const PictureGrid kTrayPicture;
