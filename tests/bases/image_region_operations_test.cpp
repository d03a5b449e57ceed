// The region arithmetic of the image-processing bases: which regions fit an image, and
// which bytes clearing inside or outside a region zeroes.
#include "bases/image_region_operations.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

struct FitsCase {
    _IplROI region;  // coi, x, y, width, height
    int width;
    int height;
    bool fits;
};

TEST(ImageRegion, ARegionFitsWhenItIsNotEmptyAndEndsInsideTheImage) {
    const FitsCase cases[] = {
        {{0, 0, 0, 4, 3}, 4, 3, true},  {{0, 3, 2, 1, 1}, 4, 3, true},   {{0, 0, 0, 0, 1}, 4, 3, false},
        {{0, 0, 0, 1, 0}, 4, 3, false}, {{0, -1, 0, 1, 1}, 4, 3, false}, {{0, 0, -1, 1, 1}, 4, 3, false},
        {{0, 3, 0, 2, 1}, 4, 3, false}, {{0, 0, 2, 1, 2}, 4, 3, false},
        {{0, INT_MAX, 0, 1, 1}, INT_MAX, 1, false}, {{0, 0, INT_MAX, 1, 1}, 1, INT_MAX, false},
    };
    for (const FitsCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.region.xOffset) + ";" + std::to_string(c.region.yOffset) + ";" +
                     std::to_string(c.region.width) + ";" + std::to_string(c.region.height));
        EXPECT_EQ(TARNImageRegion::Fits(c.region, c.width, c.height), c.fits);
    }
}

// A 4 x 4 gray image, rows of 8 bytes, every byte 9, with the region x 1, y 1, 2 x 2.
class ImageRegionClearing : public ::testing::Test {
  protected:
    void SetUp() override {
        image = TARN::IplImageModel(4, 4, "GRAY", 0, 8, 8);
        image.imageData = reinterpret_cast<char*>(pixels.data());
        image.roi = &region;
    }
    // The image's rows, one character a byte: '9' kept, '0' cleared.
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int row = 0; row < 4; ++row) {
            std::string text;
            for (int i = 0; i < 8; ++i) text += pixels[static_cast<std::size_t>(row * 8 + i)] == 9 ? '9' : '0';
            rows.push_back(text);
        }
        return rows;
    }

    std::vector<unsigned char> pixels = std::vector<unsigned char>(32, 9);
    _IplROI region{0, 1, 1, 2, 2};
    _IplImage image{};
};

TEST_F(ImageRegionClearing, OutsideClearsTheRowsAboveAndBelowAndEachRowAroundTheRegion) {
    TARNImageRegion::ClearOutside(image);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"00000000", "09900000", "09900000", "00000000"}));
}

TEST_F(ImageRegionClearing, InsideClearsOnlyTheRegionsBytes) {
    TARNImageRegion::ClearInside(image);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"99999999", "90099999", "90099999", "99999999"}));
}

}  // namespace
