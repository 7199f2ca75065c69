// The hand-drawn pictures: a slip in a grid shows up here, not as a stray
// pixel on a button.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "Pictures.h"

namespace {

void ExpectWellFormed(const PictureGrid& grid, const std::string& name) {
    for (int y = 0; y < kPictureSize; ++y) {
        ASSERT_NE(grid[y], nullptr) << name << " row " << y;
        EXPECT_EQ(std::strlen(grid[y]), static_cast<size_t>(kPictureSize)) << name << " row " << y;
        for (const char* c = grid[y]; *c; ++c)
            EXPECT_TRUE(IsPictureCharacter(*c)) << name << " row " << y << ": '" << *c << "'";
    }
}

TEST(Pictures, EveryGridIsSixteenBySixteenInPaletteColours) {
    for (size_t i = 0; i < kToolPictures.size(); ++i) ExpectWellFormed(kToolPictures[i], "tool " + std::to_string(i));
    ExpectWellFormed(kTrayPicture, "tray");
}

TEST(Pictures, EveryPictureIsDrawnAndNoTwoAreAlike) {
    std::set<std::vector<uint32_t>> seen;
    for (const PictureGrid& grid : kToolPictures) {
        const std::vector<uint32_t> pixels = PicturePixels(grid);
        size_t opaque = 0;
        for (uint32_t p : pixels) opaque += (p >> 24) != 0;
        EXPECT_GT(opaque, 20u);
        EXPECT_TRUE(seen.insert(pixels).second);
    }
    EXPECT_TRUE(seen.insert(PicturePixels(kTrayPicture)).second);
}

TEST(Pictures, PixelsFollowTheGridRowByRow) {
    PictureGrid grid{};
    for (auto& row : grid) row = "................";
    grid[0] = "k...............";
    grid[15] = "...............r";
    grid[7] = "wwwww";  // short rows end transparent
    const std::vector<uint32_t> pixels = PicturePixels(grid);
    ASSERT_EQ(pixels.size(), 256u);
    EXPECT_EQ(pixels[0], 0xFF000000u);
    EXPECT_EQ(pixels[255], 0xFFE02020u);
    EXPECT_EQ(pixels[7 * 16 + 4], 0xFFFFFFFFu);
    EXPECT_EQ(pixels[7 * 16 + 5], 0u);
    EXPECT_EQ(pixels[1], 0u);
}

// At 125 %, 150 % and 200 % each pixel takes the grid pixel it falls in, so
// lines stay sharp; a scale gets the largest size it has room for.
TEST(Pictures, EachScaleDrawsTheGridSharpAndPicksTheSizeItHasRoomFor) {
    const std::vector<uint32_t> grid = PicturePixels(kTrayPicture);
    for (int size : kPictureSizes) {
        const std::vector<uint32_t> pixels = PicturePixels(kTrayPicture, size);
        ASSERT_EQ(pixels.size(), static_cast<size_t>(size * size));
        for (int at = 0; at < size * size; ++at)
            EXPECT_EQ(pixels[at], grid[(at / size) * 16 / size * 16 + (at % size) * 16 / size]) << size << ": " << at;
    }
    EXPECT_EQ(PictureSizeFor(12), 16);
    EXPECT_EQ(PictureSizeFor(21), 20);
    EXPECT_EQ(PictureSizeFor(28), 24);
    EXPECT_EQ(PictureSizeFor(40), 32);
}

}  // namespace
