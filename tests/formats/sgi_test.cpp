#include "formats/sgi.h"

#include <gtest/gtest.h>

#include <array>

#include "convert/torvenquill.h"
#include "image/support/byte_order.h"
#include "tests/support/test_support.h"

namespace {

int32_t WriteSgi(const std::string& path, RasterImage& image) {
    SgiCodec codec;
    if (codec.OpenWrite(path.c_str(), &image, 24, 0, nullptr) != 1) return 0;
    return codec.Write() == 1 ? 1 : -1;
}

}  // namespace

TEST(SgiWriter, WritesTheHeaderAndBottomUpChannelsByteForByte) {
    ScratchDir dir;
    RasterImage picture;
    ASSERT_EQ(picture.Create(2, 2, 24, 0), 1);
    // Top row (1,2,3) (4,5,6); bottom row (7,8,9) (10,11,12).
    for (int i = 0; i < 12; ++i) picture.GetBits()[i] = uint8_t(i + 1);
    ASSERT_EQ(WriteSgi(dir.File("two.sgi"), picture), 1);
    const Bytes file = ReadFileBytes(dir.File("two.sgi"));
    ASSERT_EQ(file.size(), 524u);

    Bytes expected(512, 0);
    PutU16be(&expected[0], 474);
    expected[2] = 0;  // verbatim
    expected[3] = 1;  // bytes per channel
    PutU16be(&expected[4], 3);
    PutU16be(&expected[6], 2);
    PutU16be(&expected[8], 2);
    PutU16be(&expected[10], 3);
    PutU32be(&expected[16], 255);
    const std::string name = "Quennelbrightwax SGI Exports";
    ASSERT_EQ(name.size(), 28u);
    std::copy(name.begin(), name.end(), expected.begin() + 24);  // 52 zero bytes follow
    const Bytes channels = {7, 10, 1, 4, 8, 11, 2, 5, 9, 12, 3, 6};
    expected.insert(expected.end(), channels.begin(), channels.end());
    EXPECT_EQ(file, expected);
}

TEST(SgiWriter, PutsTheBottomRowFirstInEveryChannel) {
    ScratchDir dir;
    RasterImage column;
    ASSERT_EQ(column.Create(1, 3, 24, 0), 1);
    const uint8_t rows[9] = {255, 0, 0, 0, 255, 0, 0, 0, 255};  // red, green, blue from the top
    std::copy(rows, rows + 9, column.GetBits());
    ASSERT_EQ(WriteSgi(dir.File("c.sgi"), column), 1);
    const Bytes file = ReadFileBytes(dir.File("c.sgi"));
    ASSERT_EQ(file.size(), 521u);
    EXPECT_EQ(Bytes(file.begin() + 512, file.end()), (Bytes{0, 0, 255, 0, 255, 0, 255, 0, 0}));
}

TEST(SgiWriter, WritesPaletteAndGreyPicturesWithThreeChannels) {
    ScratchDir dir;
    RasterImage indexed, grey;
    ASSERT_EQ(indexed.Create(2, 1, 8, 256), 1);
    indexed.GetPalette()[3] = {10, 20, 30, 0, 0};
    indexed.GetPalette()[4] = {40, 50, 60, 0, 0};
    indexed.GetBits()[0] = 3, indexed.GetBits()[1] = 4;
    ASSERT_EQ(grey.Create(2, 1, 8, 0), 1);
    grey.GetBits()[0] = 90, grey.GetBits()[1] = 91;
    const struct {
        RasterImage* image;
        Bytes channels;
    } cases[] = {
        {&indexed, {10, 40, 20, 50, 30, 60}},
        {&grey, {90, 91, 90, 91, 90, 91}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(WriteSgi(dir.File("d.sgi"), *c.image), 1);
        const Bytes file = ReadFileBytes(dir.File("d.sgi"));
        ASSERT_EQ(file.size(), 518u);
        EXPECT_EQ(GetU16be(&file[10]), 3u);
        EXPECT_EQ(Bytes(file.begin() + 512, file.end()), c.channels);
    }
}

TEST(SgiWriter, FailsWithoutLeavingAFile) {
    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage picture;
    FillTestPicture(picture, 300, 100);
    SgiCodec codec;
    EXPECT_EQ(codec.OpenWrite(dir.File("missing/a.sgi").c_str(), &picture, 24, 0, nullptr), 0);
    EXPECT_EQ(codec.Write(), 0);
    EXPECT_TRUE(dir.List().empty());
    {
        FileSizeLimit limit(4096);
        ASSERT_EQ(codec.OpenWrite(dir.File("big.sgi").c_str(), &picture, 24, 0, nullptr), 1);
        EXPECT_EQ(codec.Write(), 0);
    }
    RasterImage tall;
    ASSERT_EQ(tall.Create(1, 65536, 24, 0), 1);
    ASSERT_EQ(codec.OpenWrite(dir.File("tall.sgi").c_str(), &tall, 24, 0, nullptr), 1);
    EXPECT_EQ(codec.Write(), 0);
    EXPECT_TRUE(dir.List().empty());
    picture.Free();
    tall.Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(SgiWriter, ReportsEachChannelsProgress) {
    static std::vector<std::array<int32_t, 4>> calls;
    calls.clear();
    ScratchDir dir;
    RasterImage picture;
    FillTestPicture(picture, 3, 2);
    SgiCodec codec;
    auto record = [](int32_t d, int32_t p, int32_t r, int32_t z) { calls.push_back({d, p, r, z}); };
    ASSERT_EQ(codec.OpenWrite(dir.File("p.sgi").c_str(), &picture, 24, 0, record), 1);
    ASSERT_EQ(codec.Write(), 1);
    const std::array<int32_t, 4> half = {1, 50, 0, 0}, full = {1, 100, 1, 0};
    EXPECT_EQ(calls, (std::vector{half, full, half, full, half, full, full}));
}

TEST(SgiWriter, OpensInIndependentDecoders) {
    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage picture;
    WriteTestBmp(dir.File("src.bmp"), 51, 27, picture, 4);
    ASSERT_EQ(ConvertToSgi(dir.File("src.bmp").c_str(), dir.File("out.sgi").c_str()), 1);
    DecodedPicture magick, pillow;
    ASSERT_TRUE(DecodeWithImageMagick(dir.File("out.sgi"), magick));
    ASSERT_TRUE(DecodeWithPillow(dir.File("out.sgi"), pillow));
    EXPECT_EQ(magick.rgb, RgbOf(picture));
    EXPECT_EQ(pillow.rgb, RgbOf(picture));
    EXPECT_EQ(ConvertToSgi(dir.File("none.bmp").c_str(), dir.File("x.sgi").c_str()), -1);
    picture.Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}
