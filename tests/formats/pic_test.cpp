#include "formats/pic.h"

#include <gtest/gtest.h>

#include "convert/torvenquill.h"
#include "image/support/byte_order.h"
#include "tests/support/test_support.h"

namespace {

int32_t WritePic(const std::string& path, RasterImage& image) {
    PicCodec codec;
    if (codec.OpenWrite(path.c_str(), &image, 24, nullptr) != 1) return 0;
    return codec.Write() == 1 ? 1 : -1;
}

}  // namespace

TEST(PicWriter, WritesTheHeaderChannelAndRowsByteForByte) {
    ScratchDir dir;
    RasterImage picture;
    ASSERT_EQ(picture.Create(2, 1, 24, 0), 1);
    const uint8_t pixels[6] = {1, 2, 3, 250, 251, 252};
    std::copy(pixels, pixels + 6, picture.GetBits());
    ASSERT_EQ(WritePic(dir.File("two.pic"), picture), 1);
    const Bytes file = ReadFileBytes(dir.File("two.pic"));
    ASSERT_EQ(file.size(), 114u);

    Bytes expected(108, 0);
    const uint8_t magic[4] = {0x53, 0x80, 0xF6, 0x34};
    std::copy(magic, magic + 4, expected.begin());
    const std::string comment = "Create byOskelbrimth";
    ASSERT_EQ(comment.size(), 20u);
    std::copy(comment.begin(), comment.end(), expected.begin() + 8);  // 60 zero bytes follow
    std::copy_n("PICT", 4, expected.begin() + 88);
    PutU16be(&expected[92], 2);
    PutU16be(&expected[94], 1);
    const uint8_t ratio[4] = {0x40, 0x00, 0x00, 0x00};  // 2.0f, big-endian
    std::copy(ratio, ratio + 4, expected.begin() + 96);
    PutU16be(&expected[100], 3);
    const uint8_t channel[4] = {0, 8, 0, 0xE0};
    std::copy(channel, channel + 4, expected.begin() + 104);
    expected.insert(expected.end(), pixels, pixels + 6);
    EXPECT_EQ(file, expected);

    // The ratio is width over height as an IEEE single: 3 / 4 = 0.75 is 3F 40 00 00.
    FillTestPicture(picture, 3, 4);
    ASSERT_EQ(WritePic(dir.File("r.pic"), picture), 1);
    const Bytes other = ReadFileBytes(dir.File("r.pic"));
    ASSERT_EQ(other.size(), 108u + 36);
    EXPECT_EQ(GetU32be(&other[96]), 0x3F400000u);
    EXPECT_EQ(Bytes(other.begin() + 108, other.end()), RgbOf(picture));
}

TEST(PicWriter, WritesEveryDepthAsItsColours) {
    ScratchDir dir;
    RasterImage indexed, grey;
    ASSERT_EQ(indexed.Create(3, 1, 8, 256), 1);
    indexed.GetPalette()[5] = {10, 20, 30, 0, 0};
    indexed.GetPalette()[6] = {200, 100, 0, 0, 0};
    indexed.GetBits()[0] = 5, indexed.GetBits()[1] = 6, indexed.GetBits()[2] = 5;
    ASSERT_EQ(grey.Create(2, 1, 8, 0), 1);
    grey.GetBits()[0] = 17, grey.GetBits()[1] = 230;
    const struct {
        RasterImage* image;
        Bytes rgb;
    } cases[] = {
        {&indexed, {10, 20, 30, 200, 100, 0, 10, 20, 30}},
        {&grey, {17, 17, 17, 230, 230, 230}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(WritePic(dir.File("d.pic"), *c.image), 1);
        const Bytes file = ReadFileBytes(dir.File("d.pic"));
        ASSERT_EQ(file.size(), 108 + c.rgb.size());
        EXPECT_EQ(Bytes(file.begin() + 108, file.end()), c.rgb);
    }
}

TEST(PicWriter, RefusesOtherDepthsAndSizesTheHeaderCannotHold) {
    ScratchDir dir;
    RasterImage picture, wide;
    FillTestPicture(picture, 2, 2);
    PicCodec codec;
    EXPECT_EQ(codec.OpenWrite(dir.File("a.pic").c_str(), &picture, 8, nullptr), 0);
    EXPECT_EQ(codec.OpenWrite(dir.File("missing/b.pic").c_str(), &picture, 24, nullptr), 0);
    EXPECT_TRUE(dir.List().empty());
    EXPECT_EQ(codec.Write(), 0);
    ASSERT_EQ(wide.Create(65536, 1, 24, 0), 1);
    ASSERT_EQ(codec.OpenWrite(dir.File("w.pic").c_str(), &wide, 24, nullptr), 1);
    EXPECT_EQ(codec.Write(), 0);
    // The command leaves no target behind.
    RasterImage source;
    WriteTestBmp(dir.File("src.bmp"), 3, 3, source);
    EXPECT_EQ(ConvertToPic(dir.File("src.bmp").c_str(), dir.File("missing/x.pic").c_str()), -4);
    EXPECT_EQ(ConvertToPic(nullptr, dir.File("x.pic").c_str()), -7);
}

TEST(PicWriter, OpensInQtsImageReader) {
    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage picture;
    WriteTestBmp(dir.File("src.bmp"), 45, 29, picture, 9);
    ASSERT_EQ(ConvertToPic(dir.File("src.bmp").c_str(), dir.File("out.pic").c_str()), 1);
    EXPECT_EQ(ReadFileBytes(dir.File("out.pic")).size(), 108u + 45 * 29 * 3);
    DecodedPicture qt;
    ASSERT_TRUE(DecodeWithQt(dir.File("out.pic"), qt));
    EXPECT_EQ(qt.width, 45);
    EXPECT_EQ(qt.height, 29);
    EXPECT_EQ(qt.rgb, RgbOf(picture));
    picture.Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}
