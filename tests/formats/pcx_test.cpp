#include "formats/pcx.h"

#include <gtest/gtest.h>

#include <array>

#include "convert/torvenquill.h"
#include "image/support/byte_order.h"
#include "tests/support/test_support.h"

namespace {

Bytes Encode(const Bytes& line) {
    Bytes out(2 * line.size() + 1);
    out.resize(PcxCodec::EncodeScanLine(out.data(), line.data(), uint32_t(line.size())));
    return out;
}

Bytes Repeat(size_t n, uint8_t v) { return Bytes(n, v); }

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A 128-byte header as other writers fill it: only the fields a reader looks at.
Bytes Header(uint32_t width, uint32_t height, uint8_t bitsPerPixel, uint8_t planes,
             uint32_t bytesPerLine) {
    Bytes h(PcxCodec::kHeaderSize, 0);
    h[0] = 10, h[1] = 5, h[2] = 1, h[3] = bitsPerPixel;
    PutU16le(&h[4], 7);  // xmin and ymin need not be 0
    PutU16le(&h[6], 3);
    PutU16le(&h[8], 7 + width - 1);
    PutU16le(&h[10], 3 + height - 1);
    h[65] = planes;
    PutU16le(&h[66], bytesPerLine);
    return h;
}

// A palette whose entry i is (i, 255 - i, i / 2).
Bytes TestPalette() {
    Bytes p;
    for (int i = 0; i < 256; ++i) p.insert(p.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
    return p;
}

int32_t ReadPcx(const std::string& path, RasterImage& image) {
    PcxCodec codec;
    if (codec.OpenRead(path.c_str(), &image, nullptr) != 1) return 0;
    return codec.Read() == 1 ? 1 : -1;
}

int32_t WritePcx(const std::string& path, RasterImage& image, uint32_t depth) {
    PcxCodec codec;
    if (codec.OpenWrite(path.c_str(), &image, depth, nullptr) != 1) return 0;
    return codec.Write() == 1 ? 1 : -1;
}

// A small picture of few colours, so that the 256-colour writer keeps every pixel exact.
void FillFewColours(RasterImage& image, int32_t width, int32_t height) {
    ASSERT_EQ(image.Create(width, height, 24, 0), 1);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            uint8_t* p = image.GetRow(y) + 3 * x;
            // Multiples of 8 survive the quantiser's 5-bit bins unchanged.
            p[0] = uint8_t(8 * ((x + y) % 7)), p[1] = uint8_t(8 * (x % 5)), p[2] = uint8_t(200);
        }
    }
}

}  // namespace

TEST(PcxScanLine, EncodesRunsAndLiteralsAsTheFormatWants) {
    struct Case {
        const char* name;
        Bytes in;
        Bytes out;
    };
    const Case cases[] = {
        {"single low byte alone", {0x05}, {0x05}},
        {"single byte 191 alone", {0xBF}, {0xBF}},
        {"single byte 192 as a run of one", {0xC0}, {0xC1, 0xC0}},
        {"two equal bytes", {0x01, 0x01, 0x02}, {0xC2, 0x01, 0x02}},
        {"63 equal bytes", Repeat(63, 7), {0xFF, 7}},
        {"64 equal low bytes", Repeat(64, 7), {0xFF, 7, 7}},
        {"64 equal high bytes", Repeat(64, 0xC8), {0xFF, 0xC8, 0xC1, 0xC8}},
        {"empty", {}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Encode(c.in), c.out) << c.name;
    // The worst case is twice the input: every byte of 192 or more, none repeated.
    Bytes alternating;
    for (int i = 0; i < 100; ++i) alternating.push_back(uint8_t(0xC0 + i % 2));
    EXPECT_EQ(Encode(alternating).size(), 200u);
}

TEST(PcxScanLine, DecodesWithinTheLineAndTheBlock) {
    uint8_t out[8] = {};
    // A run byte of 192 (count 0) consumes its value and produces nothing.
    const Bytes zeroRun = {0xC0, 0x55, 0x07};
    const uint8_t* end = PcxCodec::DecodeScanLine(out, zeroRun.data(), 1, zeroRun.data(), 3);
    EXPECT_EQ(end, zeroRun.data() + 3);
    EXPECT_EQ(out[0], 0x07);

    // A run longer than the room left fills the line; the rest is lost and the next line
    // starts at the following byte.
    const Bytes longRun = {0x01, 0xC5, 0x09, 0x04};
    end = PcxCodec::DecodeScanLine(out, longRun.data(), 3, longRun.data(), 4);
    ASSERT_EQ(end, longRun.data() + 3);
    EXPECT_EQ(Bytes(out, out + 3), (Bytes{1, 9, 9}));
    end = PcxCodec::DecodeScanLine(out, end, 1, longRun.data(), 4);
    EXPECT_EQ(end, longRun.data() + 4);
    EXPECT_EQ(out[0], 4);

    // Data that ends inside a scan line, or between a run byte and its value, is a failure.
    const Bytes shortLiteral = {0x01, 0x02};
    EXPECT_EQ(PcxCodec::DecodeScanLine(out, shortLiteral.data(), 3, shortLiteral.data(), 2),
              nullptr);
    const Bytes danglingRun = {0x01, 0xC3};
    EXPECT_EQ(PcxCodec::DecodeScanLine(out, danglingRun.data(), 4, danglingRun.data(), 2), nullptr);

    // Whatever the encoder makes decodes back to the same line.
    Bytes line;
    for (int i = 0; i < 1000; ++i) line.push_back(uint8_t((i / 7) % 3 == 0 ? 0xC7 : i * 31));
    const Bytes encoded = Encode(line);
    Bytes decoded(line.size());
    EXPECT_EQ(PcxCodec::DecodeScanLine(decoded.data(), encoded.data(), uint32_t(line.size()),
                                       encoded.data(), encoded.size()),
              encoded.data() + encoded.size());
    EXPECT_EQ(decoded, line);
}

TEST(PcxWriter, WritesTheHeaderAndPlaneLinesOfTrueColour) {
    ScratchDir dir;
    RasterImage picture;
    FillTestPicture(picture, 5, 2);
    ASSERT_EQ(WritePcx(dir.File("t.pcx"), picture, 24), 1);
    const Bytes file = ReadFileBytes(dir.File("t.pcx"));
    ASSERT_GT(file.size(), 128u);
    Bytes expected(128, 0);
    expected[0] = 10, expected[1] = 5, expected[2] = 1, expected[3] = 8;
    PutU16le(&expected[8], 4);
    PutU16le(&expected[10], 1);
    PutU16le(&expected[12], 300);
    PutU16le(&expected[14], 300);
    expected[65] = 3;
    PutU16le(&expected[66], 6);  // width 5 rounds up to even
    PutU16le(&expected[70], 800);
    PutU16le(&expected[72], 600);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 128), expected);

    // Two encoded scan lines and nothing else: each the red, green and blue plane lines, each
    // with one filler byte.
    const uint8_t* data = file.data() + 128;
    const uint64_t dataSize = file.size() - 128;
    uint8_t line[18];
    const uint8_t* cursor = data;
    for (int32_t y = 0; y < 2; ++y) {
        cursor = PcxCodec::DecodeScanLine(line, cursor, 18, data, dataSize);
        ASSERT_NE(cursor, nullptr);
        for (int32_t x = 0; x < 5; ++x) {
            for (int c = 0; c < 3; ++c) EXPECT_EQ(line[6 * c + x], picture.GetRow(y)[3 * x + c]);
        }
    }
    EXPECT_EQ(cursor, data + dataSize);

    FillTestPicture(picture, 6, 1);
    ASSERT_EQ(WritePcx(dir.File("six.pcx"), picture, 24), 1);
    EXPECT_EQ(GetU16le(&ReadFileBytes(dir.File("six.pcx"))[66]), 6u);
}

TEST(PcxWriter, EndsA256ColourFileWithMarkerAndPalette) {
    ScratchDir dir;
    RasterImage indexed;
    ASSERT_EQ(indexed.Create(3, 2, 8, 256), 1);
    const Bytes palette = TestPalette();
    for (int i = 0; i < 256; ++i) {
        indexed.GetPalette()[i] = {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2], 0, 0};
    }
    const uint8_t indexes[6] = {0, 200, 201, 7, 7, 255};
    std::copy(indexes, indexes + 6, indexed.GetBits());
    ASSERT_EQ(WritePcx(dir.File("p.pcx"), indexed, 8), 1);
    const Bytes file = ReadFileBytes(dir.File("p.pcx"));
    ASSERT_GT(file.size(), 128u + 769);
    EXPECT_EQ(file[65], 1);
    EXPECT_EQ(GetU16le(&file[66]), 4u);
    EXPECT_EQ(Bytes(file.end() - 768, file.end()), palette);
    EXPECT_EQ(file[file.size() - 769], 12);
    // Indexes 200 and 201 are written as runs of one; the filler byte follows each row.
    const Bytes rows(file.begin() + 128, file.end() - 769);
    EXPECT_EQ(rows, (Bytes{0x00, 0xC1, 200, 0xC1, 201, 0x00, 0xC2, 7, 0xC1, 255, 0x00}));

    RasterImage back;
    ASSERT_EQ(ReadPcx(dir.File("p.pcx"), back), 1);
    EXPECT_EQ(back.GetBitsPerPixel(), 8u);
    EXPECT_EQ(back.GetColorCount(), 256);
    EXPECT_EQ(RgbOf(back), RgbOf(indexed));
}

TEST(PcxCodec, EveryFileTheWriterMakesReadsBack) {
    PrivateTempFolder temp;
    ScratchDir dir;
    const std::string path = dir.File("rt.pcx");
    for (auto [w, h] : {std::pair{1, 1}, {1, 5}, {6, 1}, {7, 3}, {64, 9}, {131, 40}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        RasterImage picture, back, few, fewBack;
        FillTestPicture(picture, w, h, uint32_t(w + h));
        ASSERT_EQ(WritePcx(path, picture, 24), 1);
        ASSERT_EQ(ReadPcx(path, back), 1);
        EXPECT_EQ(back.GetBitsPerPixel(), 24u);
        EXPECT_EQ(RgbOf(back), RgbOf(picture));

        FillFewColours(few, w, h);
        ASSERT_EQ(WritePcx(path, few, 8), 1);
        ASSERT_EQ(ReadPcx(path, fewBack), 1);
        EXPECT_EQ(fewBack.GetBitsPerPixel(), 8u);
        EXPECT_EQ(RgbOf(fewBack), RgbOf(few));
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(PcxWriter, OpensInIndependentDecoders) {
    ScratchDir dir;
    RasterImage picture, few;
    FillTestPicture(picture, 37, 21, 3);
    FillFewColours(few, 29, 13);
    ASSERT_EQ(WritePcx(dir.File("rgb.pcx"), picture, 24), 1);
    ASSERT_EQ(WritePcx(dir.File("pal.pcx"), few, 8), 1);
    for (auto [file, image] : {std::pair{"rgb.pcx", &picture}, {"pal.pcx", &few}}) {
        DecodedPicture magick, pillow;
        ASSERT_TRUE(DecodeWithImageMagick(dir.File(file), magick)) << file;
        ASSERT_TRUE(DecodeWithPillow(dir.File(file), pillow)) << file;
        EXPECT_EQ(magick.rgb, RgbOf(*image)) << file;
        EXPECT_EQ(pillow.rgb, RgbOf(*image)) << file;
    }
}

TEST(PcxReader, ReadsImageMagicksPaletteAndTrueColourFiles) {
    PrivateTempFolder temp;
    ScratchDir dir;
    const std::string source = dir.File("src.ppm");
    ASSERT_EQ(RunProgram({"/usr/bin/convert-im6.q16", "-size", "45x19", "plasma:", "-seed", "7",
                          "-depth", "8", source})
                  .status,
              0);
    const struct {
        const char* name;
        std::vector<std::string> options;
        uint32_t depth;
    } cases[] = {
        {"im24.pcx", {"-type", "TrueColor"}, 24},
        {"im8.pcx", {"-colors", "200", "-type", "Palette"}, 8},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {"/usr/bin/convert-im6.q16", source};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        argv.push_back("PCX:" + dir.File(c.name));
        ASSERT_EQ(RunProgram(argv).status, 0) << c.name;
        RasterImage image;
        ASSERT_EQ(LoadImageFile(dir.File(c.name).c_str(), &image), 1) << c.name;
        EXPECT_EQ(image.GetBitsPerPixel(), c.depth) << c.name;
        DecodedPicture reference;
        ASSERT_TRUE(DecodeWithImageMagick(dir.File(c.name), reference)) << c.name;
        EXPECT_EQ(image.GetWidth(), 45);
        EXPECT_EQ(RgbOf(image), reference.rgb) << c.name;
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(PcxReader, FollowsTheHeaderOfOtherWriters) {
    ScratchDir dir;
    const Bytes palette = TestPalette();
    struct Case {
        const char* name;
        Bytes file;
        Bytes expectedRgb;
    };
    // 3 x 1, indexes 1, 2, 3; a filler byte; no marker before the palette.
    const Bytes noMarker = Join({Header(3, 1, 8, 1, 4), {1, 2, 3, 0x77}, palette});
    // One bit and eight planes multiply to 8: the scan line is eight plane lines long and only
    // the first width bytes are the picture.
    const Bytes eightPlanes =
        Join({Header(2, 2, 1, 8, 2), {0xC2, 5}, Repeat(14, 9), {6, 7}, Repeat(14, 9), palette});
    // True colour whose plane lines are longer than the row.
    const Bytes widePlanes =
        Join({Header(2, 1, 8, 3, 5), {10, 20, 1, 1, 1, 30, 40, 1, 1, 1, 50, 60, 1, 1, 1}});
    auto rgb = [&](std::initializer_list<int> indexes) {
        Bytes out;
        for (int i : indexes)
            out.insert(out.end(), palette.begin() + 3 * i, palette.begin() + 3 * i + 3);
        return out;
    };
    const Case cases[] = {
        {"palette without marker", noMarker, rgb({1, 2, 3})},
        {"eight one-bit planes", eightPlanes, rgb({5, 5, 6, 7})},
        {"wide plane lines", widePlanes, {10, 30, 50, 20, 40, 60}},
    };
    for (const Case& c : cases) {
        WriteFileBytes(dir.File("o.pcx"), c.file);
        RasterImage image;
        ASSERT_EQ(ReadPcx(dir.File("o.pcx"), image), 1) << c.name;
        EXPECT_EQ(RgbOf(image), c.expectedRgb) << c.name;
    }
}

TEST(PcxReader, RefusesOrFailsCleanlyOnHostileFiles) {
    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage picture;
    FillTestPicture(picture, 9, 4);
    ASSERT_EQ(WritePcx(dir.File("good.pcx"), picture, 24), 1);
    const Bytes good = ReadFileBytes(dir.File("good.pcx"));
    auto patched = [&](size_t offset, std::initializer_list<uint8_t> bytes) {
        Bytes file = good;
        std::copy(bytes.begin(), bytes.end(), file.begin() + long(offset));
        return file;
    };
    // As wide as a header can say, with plane lines to match: far more than the data holds.
    Bytes hugeWidth = patched(8, {0xFF, 0xFF});
    PutU16le(&hugeWidth[66], 0xFFFF);
    struct Case {
        const char* name;
        Bytes file;
        int32_t expected;  // 0 refused by OpenRead, -1 failed by Read
    };
    const Case cases[] = {
        {"empty", {}, 0},
        {"header cut short", Bytes(good.begin(), good.begin() + 127), 0},
        {"wrong manufacturer", patched(0, {11}), 0},
        {"xmax below xmin", patched(4, {9, 0}), 0},
        {"ymax below ymin", patched(6, {5, 0}), 0},
        {"16 bits per pixel", patched(65, {2}), 0},
        {"4 bits in 3 planes", patched(3, {4}), 0},
        {"header only", Bytes(good.begin(), good.begin() + 128), -1},
        {"data cut short", Bytes(good.begin(), good.end() - 3), -1},
        {"ends inside a run", Join({Header(4, 1, 8, 3, 4), {1, 2, 3, 4, 0xC8}}), -1},
        {"huge sizes", patched(8, {0xFF, 0xFF, 0xFF, 0xFF}), -1},
        {"huge height", patched(10, {0xFF, 0xFF}), -1},
        {"huge width and plane lines", hugeWidth, -1},
        {"huge plane lines", patched(66, {0xFF, 0xFF}), -1},
        {"plane line shorter than the row", patched(66, {4, 0}), -1},
        {"plane line of zero", patched(66, {0, 0}), -1},
        {"24 bits in one plane", Join({Header(2, 1, 24, 1, 2), {1, 2, 3, 4, 5, 6}}), -1},
        {"eight planes of huge lines", Join({Header(2, 1, 1, 8, 0xFFFF), Repeat(900, 1)}), -1},
        {"256 colours without room for rows", Join({Header(2, 2, 8, 1, 2), TestPalette()}), -1},
        {"256 colours, rows cut short", Join({Header(2, 2, 8, 1, 2), {1, 2}, TestPalette()}), -1},
    };
    for (const Case& c : cases) {
        WriteFileBytes(dir.File("bad.pcx"), c.file);
        RasterImage image;
        EXPECT_EQ(ReadPcx(dir.File("bad.pcx"), image), c.expected) << c.name;
        // Through the commands: no reader takes it, no target appears.
        EXPECT_EQ(ConvertToBmp(dir.File("bad.pcx").c_str(), dir.File("out.bmp").c_str()), -3)
            << c.name;
        EXPECT_FALSE(PathExists(dir.File("out.bmp"))) << c.name;
    }
    picture.Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(PcxReader, SurvivesMutatedFiles) {
    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage picture, few;
    FillTestPicture(picture, 13, 6);
    FillFewColours(few, 11, 5);
    ASSERT_EQ(WritePcx(dir.File("a.pcx"), picture, 24), 1);
    ASSERT_EQ(WritePcx(dir.File("b.pcx"), few, 8), 1);
    const Bytes seeds[] = {ReadFileBytes(dir.File("a.pcx")), ReadFileBytes(dir.File("b.pcx"))};
    uint32_t state = 12345;
    auto next = [&] { return state = state * 1664525u + 1013904223u; };
    int decoded = 0;
    for (int round = 0; round < 600; ++round) {
        Bytes file = seeds[round % 2];
        const int changes = 1 + int(next() % 4);
        for (int k = 0; k < changes; ++k) {
            // Mostly the header, where the sizes live; sometimes the data.
            size_t at = (next() % 4 != 0) ? next() % 128 : next() % file.size();
            file[at] = uint8_t(next() >> 24);
        }
        if (next() % 5 == 0) file.resize(next() % file.size());
        WriteFileBytes(dir.File("m.pcx"), file);
        RasterImage image;
        decoded += ReadPcx(dir.File("m.pcx"), image) == 1;
    }
    EXPECT_GT(decoded, 0);
    picture.Free();
    few.Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(PcxWriter, RefusesWhatItCannotWriteAndRemovesAFailedFile) {
    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage grey, wide;
    ASSERT_EQ(grey.Create(3, 3, 8, 0), 1);
    for (int i = 0; i < 9; ++i) grey.GetBits()[i] = uint8_t(8 * i);
    ASSERT_EQ(wide.Create(65535, 1, 24, 0), 1);
    PcxCodec codec;
    EXPECT_EQ(codec.OpenWrite(dir.File("a.pcx").c_str(), &grey, 24, nullptr), 0);
    EXPECT_EQ(codec.OpenWrite(dir.File("b.pcx").c_str(), &grey, 16, nullptr), 0);
    EXPECT_EQ(codec.OpenWrite(dir.File("c.pcx").c_str(), &wide, 24, nullptr), 0);
    EXPECT_EQ(codec.OpenWrite(dir.File("missing/d.pcx").c_str(), &grey, 8, nullptr), 0);
    EXPECT_TRUE(dir.List().empty());

    // A grey picture written at 8 bits is quantised to 256 colours first.
    ASSERT_EQ(codec.OpenWrite(dir.File("g.pcx").c_str(), &grey, 8, nullptr), 1);
    ASSERT_EQ(codec.Write(), 1);
    RasterImage back;
    ASSERT_EQ(ReadPcx(dir.File("g.pcx"), back), 1);
    EXPECT_EQ(RgbOf(back), RgbOf(grey));

    // Write after OpenRead fails and leaves the file that was read alone.
    ASSERT_EQ(codec.OpenRead(dir.File("g.pcx").c_str(), &back, nullptr), 1);
    EXPECT_EQ(codec.Write(), 0);
    EXPECT_TRUE(PathExists(dir.File("g.pcx")));

    // A write that fails part way (here: beyond the file size limit) removes the file.
    RasterImage big;
    FillTestPicture(big, 400, 400);
    {
        FileSizeLimit limit(4096);
        ASSERT_EQ(codec.OpenWrite(dir.File("big.pcx").c_str(), &big, 24, nullptr), 1);
        EXPECT_EQ(codec.Write(), 0);
    }
    EXPECT_FALSE(PathExists(dir.File("big.pcx")));
    for (RasterImage* image : {&grey, &wide, &back, &big}) image->Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(PcxCodec, ReportsProgressPerRowAndOnceMore) {
    static std::vector<std::array<int32_t, 4>> calls;
    calls.clear();
    ScratchDir dir;
    RasterImage picture, back;
    FillTestPicture(picture, 4, 3);
    auto record = [](int32_t d, int32_t p, int32_t r, int32_t z) { calls.push_back({d, p, r, z}); };
    PcxCodec codec;
    ASSERT_EQ(codec.OpenWrite(dir.File("p.pcx").c_str(), &picture, 24, record), 1);
    ASSERT_EQ(codec.Write(), 1);
    const std::vector<std::array<int32_t, 4>> written = {
        {0, 33, 0, 0}, {0, 66, 1, 0}, {0, 100, 2, 0}, {0, 100, 2, 0}};
    EXPECT_EQ(calls, written);
    calls.clear();
    ASSERT_EQ(codec.OpenRead(dir.File("p.pcx").c_str(), &back, record), 1);
    ASSERT_EQ(codec.Read(), 1);
    const std::vector<std::array<int32_t, 4>> read = {
        {1, 33, 0, 0}, {1, 66, 1, 0}, {1, 100, 2, 0}, {1, 100, 2, 0}};
    EXPECT_EQ(calls, read);
}

TEST(PcxCommand, ConvertsToTrueColourPcx) {
    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage picture;
    WriteTestBmp(dir.File("src.bmp"), 21, 8, picture);
    ASSERT_EQ(ConvertToPcx(dir.File("src.bmp").c_str(), dir.File("out.pcx").c_str()), 1);
    const Bytes file = ReadFileBytes(dir.File("out.pcx"));
    ASSERT_GT(file.size(), 128u);
    EXPECT_EQ(file[65], 3);
    RasterImage back;
    ASSERT_EQ(LoadImageFile(dir.File("out.pcx").c_str(), &back), 1);
    EXPECT_EQ(RgbOf(back), RgbOf(picture));
    // A 256-colour PCX source is brought to 24 bits before it is written.
    RasterImage few;
    FillFewColours(few, 6, 4);
    ASSERT_EQ(WritePcx(dir.File("pal.pcx"), few, 8), 1);
    ASSERT_EQ(ConvertToPcx(dir.File("pal.pcx").c_str(), dir.File("from8.pcx").c_str()), 1);
    EXPECT_EQ(ReadFileBytes(dir.File("from8.pcx"))[65], 3);
    RasterImage from8;
    ASSERT_EQ(LoadImageFile(dir.File("from8.pcx").c_str(), &from8), 1);
    EXPECT_EQ(RgbOf(from8), RgbOf(few));
    EXPECT_EQ(ConvertToPcx(dir.File("nothing.bmp").c_str(), dir.File("x.pcx").c_str()), -1);
    EXPECT_EQ(ConvertToPcx(nullptr, dir.File("x.pcx").c_str()), -7);
    for (RasterImage* image : {&picture, &back, &few, &from8}) image->Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}
