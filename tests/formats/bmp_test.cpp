#include "formats/bmp.h"

#include <gtest/gtest.h>

#include "image/support/byte_order.h"
#include "tests/support/test_support.h"

namespace {

struct BmpShape {
    int32_t width;
    int32_t height;  // negative: top-down
    uint32_t bitCount = 24;
    uint32_t compression = 0;
    bool core = false;  // OS/2 12-byte header
};

// A BMP file written field by field; pixel (x, y) of the picture (y = 0 at the top) is
// R = 10x + y, G = 3y, B = x ^ y.
Bytes BuildBmp(const BmpShape& s) {
    const int32_t h = std::abs(s.height);
    const uint32_t infoSize = s.core ? 12 : 40;
    const uint32_t stride = ((uint32_t(s.width) * s.bitCount + 31) / 32) * 4;
    Bytes file(14 + infoSize + stride * uint32_t(h), 0);
    file[0] = 'B', file[1] = 'M';
    PutU32le(&file[2], uint32_t(file.size()));
    PutU32le(&file[10], 14 + infoSize);
    uint8_t* info = &file[14];
    PutU32le(info, infoSize);
    if (s.core) {
        PutU16le(info + 4, uint32_t(s.width));
        PutU16le(info + 6, uint32_t(h));
        PutU16le(info + 8, 1);
        PutU16le(info + 10, s.bitCount);
    } else {
        PutU32le(info + 4, uint32_t(s.width));
        PutU32le(info + 8, uint32_t(s.height));
        PutU16le(info + 12, 1);
        PutU16le(info + 14, s.bitCount);
        PutU32le(info + 16, s.compression);
    }
    if (s.bitCount != 24) return file;
    bool bottomUp = s.core || s.height > 0;
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* row = &file[14 + infoSize + stride * uint32_t(bottomUp ? h - 1 - y : y)];
        for (int32_t x = 0; x < s.width; ++x) {
            row[3 * x] = uint8_t(x ^ y), row[3 * x + 1] = uint8_t(3 * y), row[3 * x + 2] = uint8_t(10 * x + y);
        }
    }
    return file;
}

Bytes ExpectedRgb(int32_t width, int32_t height) {
    Bytes rgb;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            rgb.insert(rgb.end(), {uint8_t(10 * x + y), uint8_t(3 * y), uint8_t(x ^ y)});
        }
    }
    return rgb;
}

int32_t ReadBmp(const std::string& path, RasterImage& image) {
    BmpCodec codec;
    if (codec.OpenRead(path.c_str(), &image, nullptr) != 1) return 0;
    return codec.Read() == 1 ? 1 : -1;
}

}  // namespace

TEST(BmpReader, ReadsEveryAcceptedLayout) {
    PrivateTempFolder temp;
    ScratchDir dir;
    const BmpShape shapes[] = {
        {5, 3}, {5, -3}, {4, 2, 24, 3}, {7, 4, 24, 0, true}, {1, 1}, {3, 1},
    };
    for (const BmpShape& shape : shapes) {
        SCOPED_TRACE(testing::Message() << shape.width << "x" << shape.height << (shape.core ? " core" : ""));
        WriteFileBytes(dir.File("in.bmp"), BuildBmp(shape));
        RasterImage image;
        ASSERT_EQ(ReadBmp(dir.File("in.bmp"), image), 1);
        EXPECT_EQ(image.GetBitsPerPixel(), 24u);
        EXPECT_EQ(RgbOf(image), ExpectedRgb(shape.width, std::abs(shape.height)));
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(BmpReader, MatchesImageMagickOnItsOwnFile) {
    ScratchDir dir;
    std::string path = dir.File("im.bmp");
    ASSERT_EQ(RunProgram({"/usr/bin/convert-im6.q16", "-size", "33x17", "plasma:", "-seed", "4",
                          "-type", "TrueColor", "BMP3:" + path}).status, 0);
    RasterImage image;
    ASSERT_EQ(ReadBmp(path, image), 1);
    DecodedPicture reference;
    ASSERT_TRUE(DecodeWithImageMagick(path, reference));
    EXPECT_EQ(RgbOf(image), reference.rgb);
}

TEST(BmpReader, RefusesEverythingButUncompressed24Bit) {
    PrivateTempFolder temp;
    ScratchDir dir;
    struct Case {
        const char* name;
        Bytes bytes;
    };
    Bytes wrongSignature = BuildBmp({2, 2});
    wrongSignature[1] = 'X';
    Bytes smallOffset = BuildBmp({2, 2});
    PutU32le(&smallOffset[10], 20);
    Bytes hugeOffset = BuildBmp({2, 2});
    PutU32le(&hugeOffset[10], 0xFFFFFFF0u);
    Bytes minHeight = BuildBmp({2, 2});
    PutU32le(&minHeight[22], 0x80000000u);
    Bytes headerOnly = BuildBmp({2, 2});
    headerOnly.resize(20);
    const std::vector<Case> cases = {
        {"1-bit", BuildBmp({2, 2, 1})},        {"4-bit", BuildBmp({2, 2, 4})},
        {"8-bit", BuildBmp({2, 2, 8})},        {"16-bit", BuildBmp({2, 2, 16})},
        {"32-bit", BuildBmp({2, 2, 32})},      {"RLE8", BuildBmp({2, 2, 24, 1})},
        {"RLE4", BuildBmp({2, 2, 24, 2})},     {"compression 4", BuildBmp({2, 2, 24, 4})},
        {"core 16-bit", BuildBmp({2, 2, 16, 0, true})},
        {"zero width", BuildBmp({0, 2})},      {"zero height", BuildBmp({2, 0})},
        {"wrong signature", wrongSignature},   {"offset inside the header", smallOffset},
        {"offset beyond the file", hugeOffset}, {"height INT_MIN", minHeight},
        {"empty", {}},                         {"header only", headerOnly},
    };
    for (const Case& c : cases) {
        WriteFileBytes(dir.File("bad.bmp"), c.bytes);
        RasterImage image;
        BmpCodec codec;
        EXPECT_EQ(codec.OpenRead(dir.File("bad.bmp").c_str(), &image, nullptr), 0) << c.name;
        EXPECT_TRUE(image.IsEmpty()) << c.name;
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(BmpReader, ShortPixelDataFailsInRead) {
    PrivateTempFolder temp;
    ScratchDir dir;
    Bytes file = BuildBmp({3, 4});
    file.pop_back();
    WriteFileBytes(dir.File("short.bmp"), file);
    RasterImage image;
    EXPECT_EQ(ReadBmp(dir.File("short.bmp"), image), -1);
    // A header claiming far more pixels than the file holds fails before any allocation.
    Bytes huge = BuildBmp({3, 4});
    PutU32le(&huge[18], 60000);
    PutU32le(&huge[22], 60000);
    WriteFileBytes(dir.File("huge.bmp"), huge);
    RasterImage other;
    EXPECT_EQ(ReadBmp(dir.File("huge.bmp"), other), -1);
    EXPECT_TRUE(other.IsEmpty());
    image.Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(BmpWriter, WritesPaddedBottomUpRows) {
    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage one;
    ASSERT_EQ(one.Create(1, 1, 24, 0), 1);
    one.GetBits()[0] = 1, one.GetBits()[1] = 2, one.GetBits()[2] = 3;
    BmpCodec codec;
    ASSERT_EQ(codec.OpenWrite(dir.File("one.bmp").c_str(), &one, 24, nullptr), 1);
    ASSERT_EQ(codec.Write(), 1);
    Bytes file = ReadFileBytes(dir.File("one.bmp"));
    ASSERT_EQ(file.size(), 58u);
    EXPECT_EQ(GetU32le(&file[2]), 58u);
    EXPECT_EQ(GetU32le(&file[10]), 54u);
    EXPECT_EQ(GetU32le(&file[14]), 40u);
    EXPECT_EQ(GetU16le(&file[26]), 1u);
    EXPECT_EQ(GetU16le(&file[28]), 24u);
    EXPECT_EQ(Bytes(file.begin() + 54, file.end()), (Bytes{3, 2, 1, 0}));

    RasterImage four;
    FillTestPicture(four, 4, 3);
    ASSERT_EQ(codec.OpenWrite(dir.File("four.bmp").c_str(), &four, 24, nullptr), 1);
    ASSERT_EQ(codec.Write(), 1);
    Bytes four_file = ReadFileBytes(dir.File("four.bmp"));
    ASSERT_EQ(four_file.size(), 54u + 3 * 12);
    // The bottom row comes first, blue first.
    EXPECT_EQ(four_file[54], four.GetRow(2)[2]);
    EXPECT_EQ(four_file[56], four.GetRow(2)[0]);
}

TEST(BmpWriter, RoundTripsAndOpensInIndependentDecoders) {
    PrivateTempFolder temp;
    ScratchDir dir;
    for (auto [w, h] : {std::pair{1, 1}, {2, 3}, {37, 21}, {64, 1}}) {
        RasterImage picture, back;
        FillTestPicture(picture, w, h, uint32_t(w));
        std::string path = dir.File("rt.bmp");
        BmpCodec codec;
        ASSERT_EQ(codec.OpenWrite(path.c_str(), &picture, 24, nullptr), 1);
        ASSERT_EQ(codec.Write(), 1);
        ASSERT_EQ(ReadBmp(path, back), 1);
        EXPECT_EQ(RgbOf(back), RgbOf(picture));
        DecodedPicture magick, pillow;
        ASSERT_TRUE(DecodeWithImageMagick(path, magick));
        ASSERT_TRUE(DecodeWithPillow(path, pillow));
        EXPECT_EQ(magick.rgb, RgbOf(picture));
        EXPECT_EQ(pillow.rgb, RgbOf(picture));
    }
}

TEST(BmpWriter, RefusesOtherDepthsLeavingAnEmptyFile) {
    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage grey;
    ASSERT_EQ(grey.Create(2, 2, 8, 0), 1);
    BmpCodec codec;
    EXPECT_EQ(codec.OpenWrite(dir.File("g.bmp").c_str(), &grey, 24, nullptr), 0);
    RasterImage rgb;
    FillTestPicture(rgb, 2, 2);
    EXPECT_EQ(codec.OpenWrite(dir.File("h.bmp").c_str(), &rgb, 8, nullptr), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("h.bmp")).size(), 0u);
    EXPECT_TRUE(PathExists(dir.File("h.bmp")));
    EXPECT_EQ(codec.Write(), 0);
    EXPECT_EQ(codec.OpenWrite(dir.File("missing/x.bmp").c_str(), &rgb, 24, nullptr), 0);
}

TEST(BmpWriter, AFullDeviceFailsTheWrite) {
    RasterImage picture;
    FillTestPicture(picture, 300, 300);
    BmpCodec codec;
    ASSERT_EQ(codec.OpenWrite("/dev/full", &picture, 24, nullptr), 1);
    EXPECT_EQ(codec.Write(), 0);
}

TEST(BmpCodec, ReportsProgressPerRowAndOnceMore) {
    static std::vector<std::array<int32_t, 4>> calls;
    calls.clear();
    ScratchDir dir;
    RasterImage picture, back;
    FillTestPicture(picture, 3, 3);
    auto record = [](int32_t d, int32_t p, int32_t r, int32_t z) { calls.push_back({d, p, r, z}); };
    BmpCodec codec;
    ASSERT_EQ(codec.OpenWrite(dir.File("p.bmp").c_str(), &picture, 24, record), 1);
    ASSERT_EQ(codec.Write(), 1);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], (std::array<int32_t, 4>{0, 33, 0, 0}));
    EXPECT_EQ(calls[3], (std::array<int32_t, 4>{0, 100, 2, 0}));
    calls.clear();
    ASSERT_EQ(codec.OpenRead(dir.File("p.bmp").c_str(), &back, record), 1);
    ASSERT_EQ(codec.Read(), 1);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[1], (std::array<int32_t, 4>{1, 66, 1, 0}));
}

// Rows move eight pixels at a time as whole words, with a row's first pixel and its last few
// byte by byte: widths 1 to 40 meet every way a row can end, in both directions.
TEST(BmpCodec, EveryRowWidthKeepsEachPixel) {
    PrivateTempFolder temp;
    ScratchDir dir;
    for (int32_t w = 1; w <= 40; ++w) {
        SCOPED_TRACE(testing::Message() << "width " << w);
        Bytes file = BuildBmp({w, 2});
        WriteFileBytes(dir.File("in.bmp"), file);
        RasterImage picture;
        ASSERT_EQ(ReadBmp(dir.File("in.bmp"), picture), 1);
        EXPECT_EQ(RgbOf(picture), ExpectedRgb(w, 2));
        BmpCodec codec;
        ASSERT_EQ(codec.OpenWrite(dir.File("out.bmp").c_str(), &picture, 24, nullptr), 1);
        ASSERT_EQ(codec.Write(), 1);
        EXPECT_EQ(ReadFileBytes(dir.File("out.bmp")), file);
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}
