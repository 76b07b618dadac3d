#include "formats/pnm.h"

#include <gtest/gtest.h>

#include <sstream>

#include "convert/torvenquill.h"
#include "tests/support/test_support.h"

namespace {

const std::string kComment = "\n#Created by Quennelbrightwax 1.0\n";

int32_t WritePnm(const std::string& path, RasterImage& image, int32_t kind, int32_t raw) {
    PnmCodec codec;
    if (codec.OpenWrite(path.c_str(), &image, kind, raw, nullptr) != 1) return 0;
    return codec.Write() == 1 ? 1 : -1;
}

std::string ReadText(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Pixel i (counted over the whole picture) is (i, 100 + i, 200 + i).
void FillCounting(RasterImage& image, int32_t width, int32_t height) {
    ASSERT_EQ(image.Create(width, height, 24, 0), 1);
    for (int32_t i = 0; i < width * height; ++i) {
        uint8_t* p = image.GetBits() + 3 * i;
        p[0] = uint8_t(i), p[1] = uint8_t(100 + i), p[2] = uint8_t(200 + i);
    }
}

// The samples of a plain file: everything after the header's last line feed.
std::string PlainSamples(const std::string& text, bool hasMaxValue) {
    size_t pos = text.find(kComment);
    pos = text.find('\n', pos + kComment.size());
    if (hasMaxValue) {
        EXPECT_EQ(text.substr(pos - 4, 5), " 255\n");
    }
    return text.substr(pos + 1);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

size_t Words(const std::string& line) {
    std::istringstream in(line);
    size_t n = 0;
    for (std::string w; in >> w;) ++n;
    return n;
}

// What a decoder should see: grey levels replicated, PBM black and white.
Bytes ExpectedRgb(const RasterImage& image, int32_t kind) {
    Bytes rgb = RgbOf(image);
    if (kind == PnmCodec::kKindPpm) return rgb;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        uint8_t grey = GreyLevel(rgb[i], rgb[i + 1], rgb[i + 2]);
        if (kind == PnmCodec::kKindPbm) grey = grey < 128 ? 0 : 255;
        rgb[i] = rgb[i + 1] = rgb[i + 2] = grey;
    }
    return rgb;
}

}  // namespace

TEST(PnmWriter, WritesTheHeaderAndRawRows) {
    ScratchDir dir;
    RasterImage colour, grey, bits;
    FillCounting(colour, 3, 2);
    ASSERT_EQ(grey.Create(3, 2, 8, 0), 1);
    for (int i = 0; i < 6; ++i) grey.GetBits()[i] = uint8_t(40 * i);
    // Ten pixels a row: grey levels 127 (black) and 128 (white) decide the bits.
    ASSERT_EQ(bits.Create(10, 2, 8, 0), 1);
    const uint8_t levels[20] = {0,   128, 127, 255, 128, 128, 128, 128, 0,   127,
                                255, 255, 255, 255, 255, 255, 255, 255, 255, 0};
    std::copy(levels, levels + 20, bits.GetBits());
    struct Case {
        RasterImage* image;
        int32_t kind;
        std::string header;
        Bytes samples;
    };
    const Case cases[] = {
        {&colour, 2, "P6" + kComment + "3 2 255\n", RgbOf(colour)},
        {&grey, 1, "P5" + kComment + "3 2 255\n", {0, 40, 80, 120, 160, 200}},
        {&bits, 3, "P4" + kComment + "10 2\n", {0b10100000, 0b11000000, 0b00000000, 0b01000000}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(WritePnm(dir.File("raw"), *c.image, c.kind, 1), 1) << c.header;
        Bytes expected(c.header.begin(), c.header.end());
        expected.insert(expected.end(), c.samples.begin(), c.samples.end());
        EXPECT_EQ(ReadFileBytes(dir.File("raw")), expected) << c.header;
    }
}

TEST(PnmWriter, BreaksPlainLinesWhereTheFormatSays) {
    ScratchDir dir;
    struct Case {
        int32_t width, height;
        std::string samples;
    };
    // Five pixels to a line, counted across rows; nothing is added after the last sample.
    const Case ppm[] = {
        {3, 2, "0 100 200 1 101 201 2 102 202 3 103 203 4 104 204\n5 105 205 "},
        {2, 2, "0 100 200 1 101 201 2 102 202 3 103 203 "},
        {5, 1, "0 100 200 1 101 201 2 102 202 3 103 203 4 104 204\n"},
    };
    for (const Case& c : ppm) {
        RasterImage picture;
        FillCounting(picture, c.width, c.height);
        ASSERT_EQ(WritePnm(dir.File("p.ppm"), picture, 2, 0), 1);
        const std::string text = ReadText(dir.File("p.ppm"));
        EXPECT_EQ(text.substr(0, 2), "P3");
        EXPECT_EQ(PlainSamples(text, true), c.samples) << c.width << "x" << c.height;
    }

    // 32 grey values to a line: two rows of 40 make lines of 32, 32 and 16 values.
    RasterImage grey;
    ASSERT_EQ(grey.Create(40, 2, 8, 0), 1);
    for (int i = 0; i < 80; ++i) grey.GetBits()[i] = uint8_t(3 * i);
    ASSERT_EQ(WritePnm(dir.File("g.pgm"), grey, 1, 0), 1);
    const std::string pgm = ReadText(dir.File("g.pgm"));
    EXPECT_EQ(pgm.substr(0, 2), "P2");
    const std::string samples = PlainSamples(pgm, true);
    const std::vector<std::string> lines = Lines(samples);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(Words(lines[0]), 32u);
    EXPECT_EQ(Words(lines[1]), 32u);
    EXPECT_EQ(Words(lines[2]), 16u);
    EXPECT_EQ(lines[1].substr(0, 6), "96 99 ");
    EXPECT_EQ(samples.back(), ' ');

    // Plain PBM: at most 70 digits a line, and each row ends its line.
    RasterImage bits;
    ASSERT_EQ(bits.Create(75, 2, 8, 0), 1);
    for (int i = 0; i < 150; ++i) bits.GetBits()[i] = (i % 3 == 0) ? 0 : 255;
    ASSERT_EQ(WritePnm(dir.File("b.pbm"), bits, 3, 0), 1);
    const std::string pbm = ReadText(dir.File("b.pbm"));
    EXPECT_EQ(pbm.substr(0, 2 + kComment.size() + 5), "P1" + kComment + "75 2\n");
    std::string row;
    for (int x = 0; x < 75; ++x) row += (x % 3 == 0) ? '1' : '0';
    const std::string rowLines = row.substr(0, 70) + "\n" + row.substr(70) + "\n";
    // 75 is a multiple of 3, so both rows have the same pattern.
    EXPECT_EQ(PlainSamples(pbm, false), rowLines + rowLines);
}

TEST(PnmWriter, OnlyRawOneSelectsTheRawForm) {
    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage picture;
    WriteTestBmp(dir.File("src.bmp"), 4, 3, picture);
    const std::string source = dir.File("src.bmp");
    const struct {
        int32_t (*command)(const char*, const char*, int32_t);
        int32_t raw;
        const char* magic;
    } cases[] = {
        {ConvertToPpm, 1, "P6"}, {ConvertToPpm, 0, "P3"}, {ConvertToPpm, 2, "P3"},
        {ConvertToPgm, 1, "P5"}, {ConvertToPgm, 0, "P2"}, {ConvertToPgm, -1, "P2"},
        {ConvertToPbm, 1, "P4"}, {ConvertToPbm, 0, "P1"}, {ConvertToPbm, 2, "P1"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(c.command(source.c_str(), dir.File("out").c_str(), c.raw), 1) << c.magic;
        EXPECT_EQ(ReadText(dir.File("out")).substr(0, 2), c.magic);
    }
    EXPECT_EQ(ConvertToPgm(nullptr, dir.File("out").c_str(), 1), -7);
    EXPECT_EQ(ConvertToPbm(source.c_str(), nullptr, 1), -7);
    EXPECT_EQ(ConvertToPpm(dir.File("none.bmp").c_str(), dir.File("x.ppm").c_str(), 1), -1);
    EXPECT_EQ(ConvertToPpm(source.c_str(), dir.File("missing/x.ppm").c_str(), 1), -4);
    picture.Free();
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(PnmWriter, GivesEachKindItsOwnSamples) {
    ScratchDir dir;
    // A 256-colour picture: PGM gets the grey levels of its colours, PPM the colours.
    RasterImage indexed;
    ASSERT_EQ(indexed.Create(4, 1, 8, 256), 1);
    const PaletteEntry colours[4] = {
        {255, 0, 0, 0, 0}, {0, 255, 0, 0, 0}, {10, 20, 250, 0, 0}, {130, 130, 130, 0, 0}};
    for (int i = 0; i < 4; ++i) {
        indexed.GetPalette()[10 + i] = colours[i];
        indexed.GetBits()[i] = uint8_t(10 + i);
    }
    Bytes greys, rgb;
    for (const PaletteEntry& e : colours) {
        greys.push_back(GreyLevel(e.red, e.green, e.blue));
        rgb.insert(rgb.end(), {e.red, e.green, e.blue});
    }
    ASSERT_EQ(WritePnm(dir.File("i.pgm"), indexed, 1, 1), 1);
    Bytes pgm = ReadFileBytes(dir.File("i.pgm"));
    EXPECT_EQ(Bytes(pgm.end() - 4, pgm.end()), greys);
    ASSERT_EQ(WritePnm(dir.File("i.ppm"), indexed, 2, 1), 1);
    Bytes ppm = ReadFileBytes(dir.File("i.ppm"));
    EXPECT_EQ(Bytes(ppm.end() - 12, ppm.end()), rgb);

    // A palette of one colour still holds indexes, not grey levels, in the plain form too.
    RasterImage single;
    ASSERT_EQ(single.Create(2, 1, 8, 1), 1);
    single.GetPalette()[0] = {200, 200, 200, 0, 0};
    ASSERT_EQ(WritePnm(dir.File("s.pgm"), single, 1, 0), 1);
    EXPECT_EQ(PlainSamples(ReadText(dir.File("s.pgm")), true), "200 200 ");

    // PBM: black where the grey level is below 128, from colour pictures too.
    RasterImage colour;
    ASSERT_EQ(colour.Create(3, 1, 24, 0), 1);
    const uint8_t pixels[9] = {255, 0, 0, 0, 255, 0, 128, 128, 128};  // greys 76, 149, 128
    std::copy(pixels, pixels + 9, colour.GetBits());
    ASSERT_EQ(WritePnm(dir.File("c.pbm"), colour, 3, 0), 1);
    EXPECT_EQ(PlainSamples(ReadText(dir.File("c.pbm")), false), "100\n");
    ASSERT_EQ(WritePnm(dir.File("i.pbm"), indexed, 3, 0), 1);
    EXPECT_EQ(PlainSamples(ReadText(dir.File("i.pbm")), false), "1010\n");
}

TEST(PnmWriter, RefusesUnknownKindsWithoutAFile) {
    ScratchDir dir;
    RasterImage picture;
    FillTestPicture(picture, 2, 2);
    PnmCodec codec;
    for (int32_t kind : {0, 4, -1}) {
        EXPECT_EQ(codec.OpenWrite(dir.File("k").c_str(), &picture, kind, 1, nullptr), 0) << kind;
    }
    EXPECT_EQ(codec.OpenWrite(dir.File("missing/k").c_str(), &picture, 2, 1, nullptr), 0);
    EXPECT_TRUE(dir.List().empty());
    EXPECT_EQ(codec.Write(), 0);
}

TEST(PnmWriter, AFailedWriteIsReported) {
    ScratchDir dir;
    RasterImage picture;
    FillTestPicture(picture, 300, 200);
    for (int32_t raw : {1, 0}) {
        FileSizeLimit limit(4096);
        EXPECT_EQ(WritePnm(dir.File("big.ppm"), picture, 2, raw), -1) << raw;
    }
}

TEST(PnmWriter, OpensInIndependentDecoders) {
    ScratchDir dir;
    RasterImage picture;
    FillTestPicture(picture, 83, 17, 5);
    const struct {
        int32_t kind;
        const char* extension;
    } kinds[] = {{1, "pgm"}, {2, "ppm"}, {3, "pbm"}};
    for (const auto& k : kinds) {
        for (int32_t raw : {1, 0}) {
            const std::string path = dir.File(std::string(raw ? "raw." : "plain.") + k.extension);
            ASSERT_EQ(WritePnm(path, picture, k.kind, raw), 1) << path;
            const Bytes expected = ExpectedRgb(picture, k.kind);
            DecodedPicture netpbm, magick, pillow;
            ASSERT_TRUE(DecodeWithNetpbm(path, netpbm)) << path;
            ASSERT_TRUE(DecodeWithImageMagick(path, magick)) << path;
            ASSERT_TRUE(DecodeWithPillow(path, pillow)) << path;
            EXPECT_EQ(netpbm.rgb, expected) << path;
            EXPECT_EQ(magick.rgb, expected) << path;
            EXPECT_EQ(pillow.rgb, expected) << path;
        }
    }
}

TEST(PnmCommandLine, WritesEachKindRawOrPlain) {
    ScratchDir dir;
    RasterImage picture;
    WriteTestBmp(dir.File("a.bmp"), 9, 4, picture);
    const std::string source = dir.File("a.bmp");
    const struct {
        std::vector<std::string> options;
        const char* target;
        const char* magic;
    } cases[] = {
        {{}, "a.ppm", "P6"},          {{"--plain"}, "b.ppm", "P3"}, {{}, "a.pgm", "P5"},
        {{"--plain"}, "b.pgm", "P2"}, {{}, "a.pbm", "P4"},          {{"--plain"}, "b.PBM", "P1"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> argv = {CliPath()};
        argv.insert(argv.end(), c.options.begin(), c.options.end());
        argv.insert(argv.end(), {source, dir.File(c.target)});
        EXPECT_EQ(RunProgram(argv).status, 0) << c.target;
        EXPECT_EQ(ReadText(dir.File(c.target)).substr(0, 2), c.magic);
    }
    // The flag belongs to the PNM family only.
    EXPECT_EQ(RunProgram({CliPath(), "--plain", source, dir.File("x.pcx")}).status, 7);
    EXPECT_FALSE(PathExists(dir.File("x.pcx")));
}
