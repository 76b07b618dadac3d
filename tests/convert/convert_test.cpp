#include <gtest/gtest.h>

#include <thread>

#include "convert/torvenquill.h"
#include "image/raster_image.h"
#include "image/support/byte_order.h"
#include "tests/support/test_support.h"

namespace {

// A folder holding one 24-bit source picture, with a private temporary folder.
class ConversionTest : public testing::Test {
protected:
    void SetUp() override { WriteTestBmp(dir.File("src.bmp"), 23, 11, picture); }
    void TearDown() override {
        picture.Free();
        EXPECT_TRUE(temp.Leftovers().empty());
    }
    // Entries of the folder other than the source and the given names.
    std::vector<std::string> Strays(std::initializer_list<std::string> expected) {
        std::vector<std::string> strays;
        for (const std::string& name : dir.List()) {
            if (name != "src.bmp" && std::find(expected.begin(), expected.end(), name) == expected.end()) {
                strays.push_back(name);
            }
        }
        return strays;
    }

    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage picture;
};

std::string Numbered(const char* prefix, int n) {
    std::string name(prefix);
    name += std::to_string(n);
    name += ".bmp";
    return name;
}

}  // namespace

TEST_F(ConversionTest, BmpToBmpKeepsEveryPixel) {
    ASSERT_EQ(ConvertToBmp(dir.File("src.bmp").c_str(), dir.File("out.bmp").c_str()), 1);
    RasterImage back;
    ASSERT_EQ(LoadImageFile(dir.File("out.bmp").c_str(), &back), 1);
    EXPECT_EQ(RgbOf(back), RgbOf(picture));
    EXPECT_TRUE(Strays({"out.bmp"}).empty());
}

TEST_F(ConversionTest, BadSourcesGiveTheirResultAndNoTarget) {
    Bytes paletted(1078 + 16, 0);  // a 4 x 4 8-bit BMP
    paletted[0] = 'B', paletted[1] = 'M';
    PutU32le(&paletted[10], 1078);
    PutU32le(&paletted[14], 40);
    PutU32le(&paletted[18], 4);
    PutU32le(&paletted[22], 4);
    PutU16le(&paletted[28], 8);
    WriteFileBytes(dir.File("eight.bmp"), paletted);
    Bytes truncated = ReadFileBytes(dir.File("src.bmp"));
    truncated.resize(truncated.size() - 10);
    WriteFileBytes(dir.File("truncated.bmp"), truncated);
    WriteFileBytes(dir.File("empty.bmp"), {});
    Bytes noise(5000);
    uint32_t state = 7;
    for (uint8_t& b : noise) b = uint8_t((state = state * 1103515245u + 12345u) >> 16);
    WriteFileBytes(dir.File("noise.bin"), noise);
    ::mkdir(dir.File("folder.bmp").c_str(), 0700);

    const std::pair<std::string, int32_t> cases[] = {
        {dir.File("missing.bmp"), -1}, {"", -1},
        {dir.File("eight.bmp"), -3},   {dir.File("truncated.bmp"), -3},
        {dir.File("empty.bmp"), -3},   {dir.File("noise.bin"), -3},
        {dir.File("folder.bmp"), -3},
    };
    for (const auto& [source, expected] : cases) {
        EXPECT_EQ(ConvertToBmp(source.c_str(), dir.File("out.bmp").c_str()), expected) << source;
        EXPECT_FALSE(PathExists(dir.File("out.bmp"))) << source;
    }
    EXPECT_EQ(ConvertToBmp(nullptr, dir.File("out.bmp").c_str()), -7);
    EXPECT_EQ(ConvertToBmp(dir.File("src.bmp").c_str(), nullptr), -7);
    EXPECT_TRUE(Strays({"eight.bmp", "truncated.bmp", "empty.bmp", "noise.bin", "folder.bmp"}).empty());
}

TEST_F(ConversionTest, UnwritableTargetsGiveMinusFourAndKeepWhatWasThere) {
    EXPECT_EQ(ConvertToBmp(dir.File("src.bmp").c_str(), dir.File("no/such/out.bmp").c_str()), -4);
    ::mkdir(dir.File("taken.bmp").c_str(), 0700);
    EXPECT_EQ(ConvertToBmp(dir.File("src.bmp").c_str(), dir.File("taken.bmp").c_str()), -4);

    // A failed conversion leaves an existing target byte for byte as it was.
    WriteFileBytes(dir.File("keep.bmp"), {1, 2, 3});
    WriteFileBytes(dir.File("bad.bmp"), {4, 5, 6});
    EXPECT_EQ(ConvertToBmp(dir.File("bad.bmp").c_str(), dir.File("keep.bmp").c_str()), -3);
    EXPECT_EQ(ReadFileBytes(dir.File("keep.bmp")), (Bytes{1, 2, 3}));
    EXPECT_TRUE(Strays({"taken.bmp", "keep.bmp", "bad.bmp"}).empty());
}

TEST_F(ConversionTest, ASuccessfulConversionReplacesAnExistingTarget) {
    WriteFileBytes(dir.File("out.bmp"), {9, 9});
    ASSERT_EQ(ConvertToBmp(dir.File("src.bmp").c_str(), dir.File("out.bmp").c_str()), 1);
    RasterImage back;
    ASSERT_EQ(LoadImageFile(dir.File("out.bmp").c_str(), &back), 1);
    EXPECT_EQ(RgbOf(back), RgbOf(picture));
}

TEST_F(ConversionTest, SixteenThreadsAtOnceGiveSixteenCorrectFiles) {
    constexpr int kThreads = 16;
    std::vector<RasterImage> sources(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        WriteTestBmp(dir.File(Numbered("s", t)), 40 + t, 30, sources[t], uint32_t(t + 5));
    }
    std::vector<int32_t> results(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            results[t] = ConvertToBmp(dir.File(Numbered("s", t)).c_str(), dir.File(Numbered("o", t)).c_str());
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(results[t], 1) << t;
        RasterImage back;
        ASSERT_EQ(LoadImageFile(dir.File(Numbered("o", t)).c_str(), &back), 1);
        EXPECT_EQ(RgbOf(back), RgbOf(sources[t])) << t;
    }
}
