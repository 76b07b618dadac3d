#include <gtest/gtest.h>

#include "image/raster_image.h"
#include "tests/support/test_support.h"

TEST(RasterImage, CreateGivesUnpaddedZeroedRows) {
    PrivateTempFolder temp;
    RasterImage image;
    ASSERT_EQ(image.Create(3, 2, 24, 0), 1);
    EXPECT_EQ(image.GetRowBytes(), 9u);
    EXPECT_EQ(image.GetDataSize(), 18u);
    for (uint32_t i = 0; i < image.GetDataSize(); ++i) EXPECT_EQ(image.GetBits()[i], 0);
    EXPECT_EQ(temp.Leftovers().size(), 1u);
    image.Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}

struct CreateCase {
    int32_t width, height;
    uint32_t bits;
    int32_t colours;
    bool ok;
    int32_t expectedColours;
};

TEST(RasterImage, CreateAcceptsOnlyRealSizesAndDepths) {
    PrivateTempFolder temp;
    const CreateCase cases[] = {
        {1, 1, 24, 0, true, 0},     {10, 10, 8, 256, true, 256}, {10, 10, 8, 0, true, 0},
        {10, 10, 24, 256, true, 0}, {10, 10, 16, 0, true, 0},    {10, 10, 32, 0, true, 0},
        {10, 10, 1, 0, false, 0},   {10, 10, 4, 0, false, 0},    {0, 5, 24, 0, false, 0},
        {5, -1, 24, 0, false, 0},   {10, 10, 8, -1, false, 0},
        {70000, 70000, 32, 0, false, 0},  // beyond the 32-bit byte count
    };
    for (const CreateCase& c : cases) {
        RasterImage image;
        ASSERT_EQ(image.Create(4, 4, 24, 0), 1);
        EXPECT_EQ(image.Create(c.width, c.height, c.bits, c.colours), c.ok ? 1 : 0)
            << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_EQ(image.GetColorCount(), c.expectedColours);
        EXPECT_EQ(image.GetPalette() != nullptr, c.expectedColours > 0);
        if (!c.ok) {
            EXPECT_TRUE(image.IsEmpty());
            EXPECT_EQ(image.GetWidth(), 0);
            EXPECT_EQ(image.GetRowBytes(), 0u);
        }
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(RasterImage, CopyFromCopiesPixelsAndPalette) {
    PrivateTempFolder temp;
    RasterImage source, copy;
    ASSERT_EQ(source.Create(5, 3, 8, 4), 1);
    for (int i = 0; i < 4; ++i) source.GetPalette()[i] = {uint8_t(i * 10), 1, 2, 255, 0};
    for (uint32_t i = 0; i < source.GetDataSize(); ++i) source.GetBits()[i] = uint8_t(i % 4);
    ASSERT_EQ(copy.CopyFrom(source), 1);
    EXPECT_EQ(copy.GetColorCount(), 4);
    EXPECT_EQ(Bytes(copy.GetBits(), copy.GetBits() + 15), Bytes(source.GetBits(), source.GetBits() + 15));
    EXPECT_EQ(copy.GetPalette()[3].red, 30);

    RasterImage empty;
    EXPECT_EQ(copy.CopyFrom(empty), 0);
    EXPECT_EQ(copy.GetWidth(), 5);  // a failed copy leaves the target as it was
}

TEST(RasterImage, Rgb555Packing) {
    EXPECT_EQ(PackRgb555(255, 255, 255), 0xFFFE);
    uint8_t r, g, b;
    UnpackRgb555(0xFFFE, r, g, b);
    EXPECT_EQ(r, 248);
    EXPECT_EQ(g, 248);
    EXPECT_EQ(b, 248);
    UnpackRgb555(PackRgb555(0x81, 0x42, 0x24), r, g, b);
    EXPECT_EQ(r, 0x80);
    EXPECT_EQ(g, 0x40);
    EXPECT_EQ(b, 0x20);
}
