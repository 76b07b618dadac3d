#include <gtest/gtest.h>

#include <array>

#include "image/raster_image.h"
#include "tests/support/test_support.h"

namespace {

using Rgb = std::array<uint8_t, 3>;
const std::vector<Rgb> kColours = {{255, 255, 255}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                                   {7, 130, 201},   {0, 0, 0}};

// A one-row picture of kColours at the given depth (8-bit: a palette of the colours).
void MakeSource(RasterImage& image, uint32_t bits) {
    const int32_t w = int32_t(kColours.size());
    ASSERT_EQ(image.Create(w, 1, bits, bits == 8 ? w : 0), 1);
    uint8_t* p = image.GetBits();
    for (int32_t i = 0; i < w; ++i) {
        const Rgb& c = kColours[i];
        switch (bits) {
            case 8:
                image.GetPalette()[i] = {c[0], c[1], c[2], 0, 0};
                p[i] = uint8_t(i);
                break;
            case 16: {
                uint16_t v = PackRgb555(c[0], c[1], c[2]);
                p[2 * i] = uint8_t(v), p[2 * i + 1] = uint8_t(v >> 8);
                break;
            }
            case 24:
                p[3 * i] = c[0], p[3 * i + 1] = c[1], p[3 * i + 2] = c[2];
                break;
            case 32:
                p[4 * i] = 7, p[4 * i + 1] = c[0], p[4 * i + 2] = c[1], p[4 * i + 3] = c[2];
                break;
        }
    }
}

Rgb Reduced(const Rgb& c) { return {uint8_t(c[0] & 0xF8), uint8_t(c[1] & 0xF8), uint8_t(c[2] & 0xF8)}; }

}  // namespace

TEST(DepthConversion, EveryPairFollowsThePixelRules) {
    PrivateTempFolder temp;
    for (uint32_t from : {8u, 16u, 24u, 32u}) {
        RasterImage source;
        MakeSource(source, from);
        for (uint32_t to : {8u, 16u, 24u, 32u}) {
            RasterImage target;
            ASSERT_EQ(source.ConvertTo(target, to, 0), 1) << from << "->" << to;
            for (size_t i = 0; i < kColours.size(); ++i) {
                Rgb c = from == 16 ? Reduced(kColours[i]) : kColours[i];
                const uint8_t* p = target.GetBits() + i * BytesPerPixel(to);
                SCOPED_TRACE(testing::Message() << from << "->" << to << " pixel " << i);
                if (to == 8) {
                    EXPECT_EQ(p[0], GreyLevel(c[0], c[1], c[2]));
                } else if (to == 16) {
                    EXPECT_EQ(p[0] | (p[1] << 8), PackRgb555(c[0], c[1], c[2]));
                } else if (to == 24) {
                    EXPECT_EQ((Rgb{p[0], p[1], p[2]}), c);
                } else {
                    EXPECT_EQ(p[0], from == 32 ? 7 : 255);  // 32 to 32 is a copy
                    EXPECT_EQ((Rgb{p[1], p[2], p[3]}), c);
                }
            }
        }
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(DepthConversion, GreyLevelsOfThePrimaries) {
    EXPECT_EQ(GreyLevel(255, 255, 255), 255);
    EXPECT_EQ(GreyLevel(255, 0, 0), 76);
    EXPECT_EQ(GreyLevel(0, 255, 0), 149);
    EXPECT_EQ(GreyLevel(0, 0, 255), 29);
}

TEST(DepthConversion, GreySourcesAndCopies) {
    PrivateTempFolder temp;
    RasterImage grey, rgb, again;
    ASSERT_EQ(grey.Create(3, 1, 8, 0), 1);
    grey.GetBits()[0] = 0, grey.GetBits()[1] = 100, grey.GetBits()[2] = 255;
    ASSERT_EQ(grey.ConvertTo(rgb, 24, 0), 1);
    EXPECT_EQ(Bytes(rgb.GetBits(), rgb.GetBits() + 9), (Bytes{0, 0, 0, 100, 100, 100, 255, 255, 255}));
    ASSERT_EQ(grey.ConvertTo(again, 8, 0), 1);
    EXPECT_EQ(Bytes(again.GetBits(), again.GetBits() + 3), (Bytes{0, 100, 255}));
    ASSERT_EQ(rgb.ConvertTo(again, 24, 0), 1);
    EXPECT_EQ(Bytes(again.GetBits(), again.GetBits() + 9), Bytes(rgb.GetBits(), rgb.GetBits() + 9));
    RasterImage empty;
    EXPECT_EQ(empty.ConvertTo(again, 24, 0), 0);
    EXPECT_TRUE(again.IsEmpty());
}

TEST(DepthConversion, PaletteIndexesBeyondThePaletteReadAsBlack) {
    PrivateTempFolder temp;
    RasterImage source, target;
    ASSERT_EQ(source.Create(2, 1, 8, 1), 1);
    source.GetPalette()[0] = {10, 20, 30, 0, 0};
    source.GetBits()[0] = 0;
    source.GetBits()[1] = 200;
    ASSERT_EQ(source.ConvertTo(target, 24, 0), 1);
    EXPECT_EQ(Bytes(target.GetBits(), target.GetBits() + 6), (Bytes{10, 20, 30, 0, 0, 0}));
}

TEST(Quantiser, FewColoursKeepTheirOwnEntriesSortedByKey) {
    PrivateTempFolder temp;
    RasterImage source, target;
    ASSERT_EQ(source.Create(4, 2, 24, 0), 1);
    const Rgb colours[] = {{200, 8, 16}, {8, 200, 16}, {16, 8, 200}};
    for (int i = 0; i < 8; ++i) std::copy_n(colours[i % 3].data(), 3, source.GetBits() + 3 * i);
    ASSERT_EQ(source.ConvertTo(target, 8, 256), 1);
    EXPECT_EQ(target.GetColorCount(), 256);
    const Palette& palette = target.GetPaletteObject();
    ASSERT_EQ(palette.GetCount(), 3);
    EXPECT_GE(palette.GetCapacity(), 256);
    const PaletteEntry* e = palette.GetEntries();
    EXPECT_LT(e[0].key, e[1].key);
    EXPECT_LT(e[1].key, e[2].key);
    for (int i = 0; i < 8; ++i) {
        const PaletteEntry& chosen = e[target.GetBits()[i]];
        EXPECT_EQ((Rgb{chosen.red, chosen.green, chosen.blue}), colours[i % 3]) << i;
        EXPECT_EQ(chosen.alpha, 255);
    }
}

TEST(Quantiser, KeepsTheMostFrequentColoursAndMapsTheRestToTheNearest) {
    PrivateTempFolder temp;
    RasterImage source, target;
    // Counts 5, 4, 3, 1: with two entries the two most frequent win.
    const std::vector<Rgb> pixels = {{0, 0, 0},       {0, 0, 0},       {0, 0, 0},       {0, 0, 0},
                                     {0, 0, 0},       {240, 240, 240}, {240, 240, 240}, {240, 240, 240},
                                     {240, 240, 240}, {120, 0, 0},     {120, 0, 0},     {120, 0, 0},
                                     {232, 232, 232}};
    ASSERT_EQ(source.Create(int32_t(pixels.size()), 1, 24, 0), 1);
    for (size_t i = 0; i < pixels.size(); ++i) std::copy_n(pixels[i].data(), 3, source.GetBits() + 3 * i);
    ASSERT_EQ(source.ConvertTo(target, 8, 2), 1);
    const PaletteEntry* e = target.GetPalette();
    ASSERT_EQ(target.GetPaletteObject().GetCount(), 2);
    EXPECT_EQ((Rgb{e[0].red, e[0].green, e[0].blue}), (Rgb{0, 0, 0}));
    EXPECT_EQ((Rgb{e[1].red, e[1].green, e[1].blue}), (Rgb{240, 240, 240}));
    EXPECT_EQ(target.GetBits()[9], 0);    // dark red is nearer black
    EXPECT_EQ(target.GetBits()[12], 1);   // light grey is nearer white
}

TEST(Quantiser, OneColourAndPalettedSources) {
    PrivateTempFolder temp;
    RasterImage flat, target;
    ASSERT_EQ(flat.Create(3, 3, 32, 0), 1);
    for (uint32_t i = 0; i < flat.GetDataSize(); i += 4) flat.GetBits()[i + 2] = 99;
    ASSERT_EQ(flat.ConvertTo(target, 8, 256), 1);
    EXPECT_EQ(target.GetPaletteObject().GetCount(), 1);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(target.GetBits()[i], 0);

    RasterImage paletted, copy;
    MakeSource(paletted, 8);
    ASSERT_EQ(paletted.ConvertTo(copy, 8, 256), 1);
    EXPECT_EQ(copy.GetColorCount(), int32_t(kColours.size()));
    EXPECT_EQ(copy.GetPalette()[4].blue, 201);
}

TEST(Quantiser, MapColorPrefersTheExactEntryThenTheNearestLowestIndex) {
    PrivateTempFolder temp;
    RasterImage target;
    ASSERT_EQ(target.Create(1, 1, 8, 3), 1);
    Palette& palette = target.GetPaletteObject();
    palette.GetEntries()[0] = {0, 0, 0, 255, 0};
    palette.GetEntries()[1] = {10, 0, 0, 255, 10};
    palette.GetEntries()[2] = {20, 0, 0, 255, 20};
    uint8_t out = 99;
    palette.MapColor(0, 0, 0, &out);
    EXPECT_EQ(out, 0);
    palette.MapColor(15, 0, 0, &out);  // as near to 1 as to 2
    EXPECT_EQ(out, 1);
    palette.MapColor(250, 250, 250, &out);
    EXPECT_EQ(out, 2);
    palette.MapColor16(PackRgb555(8, 0, 0), &out);
    EXPECT_EQ(out, 1);
    Palette empty;
    out = 99;
    empty.MapColor(1, 2, 3, &out);
    EXPECT_EQ(out, 99);
}
