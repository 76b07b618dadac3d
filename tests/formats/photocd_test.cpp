#include "formats/photocd.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "convert/torvenquill.h"
#include "tests/support/test_support.h"

namespace {

struct Base {
    uint32_t width, height, offset;
};
constexpr Base kBases[] = {{192, 128, 8192}, {384, 256, 47104}, {768, 512, 196608}};
constexpr size_t kImageMagickPackSize = 788480;

// Luma and chroma of one picture in the file's order: record n holds rows 2n and 2n + 1.
struct Ycc {
    uint32_t width, height;
    Bytes y, c1, c2;  // y per pixel; c1 and c2 per 2 x 2 block
};

// A smooth but varied picture that crosses the clamping limits in places.
Ycc MakeYcc(uint32_t width, uint32_t height) {
    Ycc p{width, height, {}, {}, {}};
    for (uint32_t r = 0; r < height; ++r) {
        for (uint32_t x = 0; x < width; ++x) p.y.push_back(uint8_t((x * 3 + r * 5) ^ (x * r)));
    }
    for (uint32_t n = 0; n < height / 2; ++n) {
        for (uint32_t k = 0; k < width / 2; ++k) {
            p.c1.push_back(uint8_t(k * 7 + n * 3));
            p.c2.push_back(uint8_t(255 - k * 5 + n * 11));
        }
    }
    return p;
}

// An image pack: 0xFF filler, the signature at 2048, the records of one base resolution.
Bytes MakePack(size_t size, const Ycc& picture, uint32_t offset, bool signature = true) {
    Bytes file(size, 0xFF);
    if (signature) std::memcpy(&file[2048], "PCD_IPI", 7);
    const uint32_t w = picture.width;
    uint8_t* record = &file[offset];
    for (uint32_t n = 0; n < picture.height / 2; ++n, record += 3 * w) {
        std::memcpy(record, &picture.y[2 * n * w], w);
        std::memcpy(record + w, &picture.y[(2 * n + 1) * w], w);
        std::memcpy(record + 2 * w, &picture.c1[n * w / 2], w / 2);
        std::memcpy(record + 2 * w + w / 2, &picture.c2[n * w / 2], w / 2);
    }
    return file;
}

uint8_t Clamp(double v) {
    const double f = std::floor(v);
    return uint8_t(f < 0 ? 0 : f > 255 ? 255 : f);
}

// The colour conversion written out in full, in double precision.
std::array<uint8_t, 3> YccToRgb(int y, int c1, int c2) {
    const double cb = c1 - 156, cr = c2 - 137;
    return {Clamp(cr * 1.3230336 + cb * 0.0000256 + y * 1.407488 + 0.5),
            Clamp(y * 1.407488 - (cr * 0.67392 + cb * 0.3954176) + 0.5),
            Clamp(cr * 0.0000256 + cb * 2.0360448 + y * 1.407488 + 0.5)};
}

Bytes ExpectedRgb(const Ycc& p) {
    Bytes rgb;
    for (uint32_t r = 0; r < p.height; ++r) {
        for (uint32_t x = 0; x < p.width; ++x) {
            const size_t block = (r / 2) * (p.width / 2) + x / 2;
            auto c = YccToRgb(p.y[r * p.width + x], p.c1[block], p.c2[block]);
            rgb.insert(rgb.end(), c.begin(), c.end());
        }
    }
    return rgb;
}

int32_t ReadPack(const std::string& path, RasterImage& image, int32_t resolution,
                 ProgressCallback callback = nullptr) {
    PhotoCdReader reader;
    if (reader.OpenRead(path.c_str(), &image, resolution, callback) != 1) return 0;
    return reader.Read() == 1 ? 1 : -1;
}

}  // namespace

TEST(PhotoCdReader, ConvertsTheGivenColours) {
    ScratchDir dir;
    const struct {
        uint8_t y, c1, c2;
        std::array<uint8_t, 3> rgb;
    } cases[] = {
        {0, 156, 137, {0, 0, 0}},        {255, 156, 137, {255, 255, 255}},  // 359.4 before clamping
        {100, 156, 255, {255, 61, 141}},                                    // red clamped from 297
        {120, 90, 180, {226, 166, 35}},  {30, 0, 0, {0, 196, 0}},
    };
    for (const auto& c : cases) {
        Ycc flat{768, 512, Bytes(768 * 512, c.y), Bytes(384 * 256, c.c1), Bytes(384 * 256, c.c2)};
        WriteFileBytes(dir.File("flat.pcd"), MakePack(kImageMagickPackSize, flat, 196608));
        RasterImage image;
        ASSERT_EQ(ReadPack(dir.File("flat.pcd"), image, 2), 1);
        const uint8_t* last = image.GetRow(511) + 3 * 767;
        EXPECT_EQ((std::array{image.GetBits()[0], image.GetBits()[1], image.GetBits()[2]}), c.rgb);
        EXPECT_EQ((std::array{last[0], last[1], last[2]}), c.rgb);
    }
}

TEST(PhotoCdReader, DecodesEveryBaseResolution) {
    PrivateTempFolder temp;
    ScratchDir dir;
    for (int32_t resolution = 0; resolution < 3; ++resolution) {
        const Base& base = kBases[resolution];
        SCOPED_TRACE(base.width);
        const Ycc picture = MakeYcc(base.width, base.height);
        const size_t end = base.offset + size_t(base.width) * base.height * 3 / 2;
        WriteFileBytes(dir.File("p.pcd"), MakePack(end, picture, base.offset));
        RasterImage image;
        ASSERT_EQ(ReadPack(dir.File("p.pcd"), image, resolution), 1);
        EXPECT_EQ(image.GetWidth(), int32_t(base.width));
        EXPECT_EQ(image.GetHeight(), int32_t(base.height));
        EXPECT_EQ(image.GetBitsPerPixel(), 24u);
        EXPECT_EQ(RgbOf(image), ExpectedRgb(picture));
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(PhotoCdReader, WantsTheSignatureAndTheWholeResolution) {
    ScratchDir dir;
    const Ycc picture = MakeYcc(768, 512);
    const struct {
        const char* name;
        size_t size;
        bool signature;
        int32_t resolution;
        int32_t expected;
    } cases[] = {
        {"just the Base image", 786432, true, 2, 1},
        {"one byte short of it", 786431, true, 2, 0},
        {"a Base-only pack", kImageMagickPackSize, true, 2, 1},
        {"no signature", 1048576, false, 2, 0},
        {"no signature, larger", 3 * 1048576, false, 2, 0},
        {"resolution 3", 1048576, true, 3, 0},
        {"resolution -1", 1048576, true, -1, 0},
        {"only the low eight bits count", 1048576, true, 258, 1},
        {"Base/4 in a short file", 194560, true, 1, 1},
        {"Base/4 one byte short", 194559, true, 1, 0},
        {"Base/16 one byte short", 45055, true, 0, 0},
        {"signature cut", 2050, true, 0, 0},
    };
    for (const auto& c : cases) {
        Bytes file = MakePack(std::max<size_t>(c.size, 786432), picture, 196608, c.signature);
        file.resize(c.size);
        WriteFileBytes(dir.File("s.pcd"), file);
        RasterImage image;
        EXPECT_EQ(ReadPack(dir.File("s.pcd"), image, c.resolution), c.expected) << c.name;
    }
    RasterImage image;
    EXPECT_EQ(ReadPack(dir.Path(), image, 2), 0);
}

TEST(PhotoCdReader, ReportsEachRecordAndOnceMore) {
    static std::vector<std::array<int32_t, 4>> calls;
    calls.clear();
    ScratchDir dir;
    WriteFileBytes(dir.File("p.pcd"), MakePack(45056, MakeYcc(192, 128), 8192));
    RasterImage image;
    auto record = [](int32_t d, int32_t p, int32_t r, int32_t z) { calls.push_back({d, p, r, z}); };
    ASSERT_EQ(ReadPack(dir.File("p.pcd"), image, 0, record), 1);
    ASSERT_EQ(calls.size(), 65u);
    EXPECT_EQ(calls[0], (std::array<int32_t, 4>{1, 0, 0, 0}));
    EXPECT_EQ(calls[1], (std::array<int32_t, 4>{1, 2, 2, 0}));
    EXPECT_EQ(calls[63], (std::array<int32_t, 4>{1, 99, 126, 0}));
    EXPECT_EQ(calls[64], (std::array<int32_t, 4>{1, 100, 127, 0}));
}

TEST(PhotoCdLoader, ReadsTheBaseImageOfImageMagicksPacks) {
    PrivateTempFolder temp;
    ScratchDir dir;
    const std::string pack = dir.File("im.pcd");
    ASSERT_EQ(RunProgram({"/usr/bin/convert-im6.q16", "-size", "768x512", "gradient:red-blue",
                          "PCD:" + pack})
                  .status,
              0);
    ASSERT_EQ(ReadFileBytes(pack).size(), kImageMagickPackSize);
    RasterImage image;
    ASSERT_EQ(LoadImageFile(pack.c_str(), &image), 1);
    ASSERT_EQ(image.GetWidth(), 768);
    ASSERT_EQ(image.GetHeight(), 512);
    // Red at the top, blue at the bottom.
    const uint8_t* top = image.GetRow(0) + 3 * 384;
    const uint8_t* bottom = image.GetRow(511) + 3 * 384;
    EXPECT_GT(top[0], 200);
    EXPECT_LT(top[2], 60);
    EXPECT_LT(bottom[0], 60);
    EXPECT_GT(bottom[2], 200);
    // And through a command, to a file an independent decoder reads as the same picture.
    ASSERT_EQ(ConvertToPpm(pack.c_str(), dir.File("out.ppm").c_str(), 1), 1);
    DecodedPicture decoded;
    ASSERT_TRUE(DecodeWithNetpbm(dir.File("out.ppm"), decoded));
    EXPECT_EQ(decoded.rgb, RgbOf(image));
    image.Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(PhotoCdLoader, RefusesALargeFileWithoutTheSignature) {
    PrivateTempFolder temp;
    ScratchDir dir;
    WriteFileBytes(dir.File("big.dat"), Bytes(1048576, 0x33));
    RasterImage image;
    EXPECT_EQ(LoadImageFile(dir.File("big.dat").c_str(), &image), -3);
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_EQ(ConvertToBmp(dir.File("big.dat").c_str(), dir.File("out.bmp").c_str()), -3);
    EXPECT_FALSE(PathExists(dir.File("out.bmp")));
    EXPECT_TRUE(temp.Leftovers().empty());
}
