#include "formats/jpeg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "convert/torvenquill.h"
#include "image/support/byte_order.h"
#include "tests/formats/lib_fixtures.h"

namespace {

// One marker segment of the part of a JPEG file before its first scan.
struct Segment {
    uint8_t marker;
    size_t offset;  // of the 0xFF
    Bytes payload;  // after the length field
};

std::vector<Segment> HeaderSegments(const Bytes& file) {
    std::vector<Segment> segments;
    size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        uint8_t marker = file[at + 1];
        size_t length = GetU16be(&file[at + 2]);
        if (length < 2 || at + 2 + length > file.size()) break;
        segments.push_back(
            {marker, at, Bytes(file.begin() + long(at + 4), file.begin() + long(at + 2 + length))});
        if (marker == 0xDA) break;
        at += 2 + length;
    }
    return segments;
}

std::optional<Segment> FindSegment(const std::vector<Segment>& segments, uint8_t marker) {
    for (const Segment& s : segments) {
        if (s.marker == marker) return s;
    }
    return std::nullopt;
}

// Code-length counts of every Huffman table in the file, in the order of its DHT segments.
std::vector<Bytes> HuffmanCounts(const Bytes& file) {
    std::vector<Bytes> tables;
    for (const Segment& s : HeaderSegments(file)) {
        if (s.marker != 0xC4) continue;
        size_t at = 0;
        while (at + 17 <= s.payload.size()) {
            Bytes counts(s.payload.begin() + long(at + 1), s.payload.begin() + long(at + 17));
            size_t symbols = 0;
            for (uint8_t c : counts) symbols += c;
            tables.push_back(counts);
            at += 17 + symbols;
        }
    }
    return tables;
}

// The code-length counts of the example tables every encoder uses unless it optimises.
const Bytes kStandardDcLuminance = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const Bytes kStandardAcLuminance = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};

// A photograph-like picture: smooth shading, without the sharp colour edges that chroma
// subsampling is made to lose.
void FillSmoothPicture(RasterImage& image, int32_t width, int32_t height) {
    ASSERT_EQ(image.Create(width, height, 24, 0), 1);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image.GetRow(y);
        for (int32_t x = 0; x < width; ++x) {
            row[3 * x] = uint8_t(128 + 90 * std::sin(x / 11.0 + y / 17.0));
            row[3 * x + 1] = uint8_t(128 + 80 * std::cos(x / 13.0 - y / 9.0));
            row[3 * x + 2] = uint8_t(100 + 60 * std::sin((x + y) / 15.0));
        }
    }
}

Bytes GreyLevels(const Bytes& rgb) {
    Bytes grey;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        uint8_t g = GreyLevel(rgb[i], rgb[i + 1], rgb[i + 2]);
        grey.insert(grey.end(), {g, g, g});
    }
    return grey;
}

class JpegTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FillTestPicture(picture, 61, 37);  // not a whole number of blocks either way
        source = WritePictureAsPpm(dir, "source.ppm", picture);
        temp.emplace();  // from here on every temporary file is the test's to account for
    }

    std::string Cjpeg(const std::string& name, std::vector<std::string> options) {
        std::string out = dir.File(name);
        std::vector<std::string> argv{"/usr/bin/cjpeg"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.insert(argv.end(), {"-outfile", out, source});
        EXPECT_TRUE(RunTool(argv));
        return out;
    }

    ScratchDir dir;
    RasterImage picture;
    std::string source;
    std::optional<PrivateTempFolder> temp;
};

struct EncodedCase {
    const char* name;
    std::vector<std::string> cjpegOptions;
    uint32_t bitsPerPixel;
};

TEST_F(JpegTest, ReadsWhatCjpegWritesAsTheIndependentDecoderDoes) {
    const EncodedCase cases[] = {
        {"baseline", {"-quality", "90"}, 24},
        {"progressive", {"-progressive"}, 24},
        {"grey", {"-grayscale"}, 8},
        {"full-chroma-restarts", {"-sample", "1x1", "-restart", "1"}, 24},
        {"arithmetic", {"-arithmetic"}, 24},
    };
    for (const EncodedCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = Cjpeg(std::string(c.name) + ".jpg", c.cjpegOptions);
        RasterImage image;
        ASSERT_EQ(LoadFile(file, image), 1);
        EXPECT_EQ(image.GetWidth(), 61);
        EXPECT_EQ(image.GetHeight(), 37);
        EXPECT_EQ(image.GetBitsPerPixel(), c.bitsPerPixel);
        EXPECT_EQ(image.GetColorCount(), 0);
        DecodedPicture oracle;
        ASSERT_TRUE(DecodeWithPillow(file, oracle));
        EXPECT_EQ(RgbOf(image), oracle.rgb);
    }
    EXPECT_TRUE(temp->Leftovers().empty());
}

TEST_F(JpegTest, CmykIsRefusedWhenOpenedAndTheLoaderGoesOn) {
    std::string file = dir.File("cmyk.jpg");
    ASSERT_TRUE(RunTool({"/usr/bin/convert-im6.q16", source, "-colorspace", "CMYK", file}));
    auto segments = HeaderSegments(ReadFileBytes(file));
    std::optional<Segment> frame = FindSegment(segments, 0xC0);
    ASSERT_TRUE(frame.has_value());
    ASSERT_EQ(frame->payload[5], 4) << "the fixture is not a four-component file";

    RasterImage image;
    JpegCodec codec;
    EXPECT_EQ(codec.OpenRead(file.c_str(), &image, nullptr), 0);
    EXPECT_EQ(codec.Read(), 0);  // idle after the refusal
    EXPECT_EQ(LoadFile(file, image), TVQ_RESULT_SOURCE_UNREADABLE);
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_TRUE(temp->Leftovers().empty());
}

TEST_F(JpegTest, AFileWithTablesButNoFrameIsRefusedWhenOpened) {
    Bytes full = ReadFileBytes(Cjpeg("full.jpg", {}));
    Bytes tablesOnly{0xFF, 0xD8};
    for (const Segment& s : HeaderSegments(full)) {
        if (s.marker != 0xDB && s.marker != 0xC4) continue;
        size_t length = s.payload.size() + 4;
        tablesOnly.insert(tablesOnly.end(), full.begin() + long(s.offset),
                          full.begin() + long(s.offset + length));
    }
    tablesOnly.insert(tablesOnly.end(), {0xFF, 0xD9});
    std::string file = dir.File("tables.jpg");
    WriteFileBytes(file, tablesOnly);
    RasterImage image;
    JpegCodec codec;
    EXPECT_EQ(codec.OpenRead(file.c_str(), &image, nullptr), 0);
}

TEST_F(JpegTest, ClosingAnOpenedReaderReleasesIt) {
    std::string file = Cjpeg("plain.jpg", {});
    RasterImage image;
    JpegCodec codec;
    ASSERT_EQ(codec.OpenRead(file.c_str(), &image, nullptr), 1);
    EXPECT_EQ(codec.Close(), 1);
    EXPECT_EQ(codec.Read(), 0);
    ASSERT_EQ(codec.OpenRead(file.c_str(), &image, nullptr), 1);  // and the destructor closes
}

// A damaged copy of a good file: truncated, or with header bytes changed.
struct Damage {
    const char* name;
    bool progressive;
    void (*apply)(Bytes& file);
};

size_t ScanStart(const Bytes& file) {
    std::optional<Segment> scan = FindSegment(HeaderSegments(file), 0xDA);
    return scan ? scan->offset + 4 + scan->payload.size() : 0;
}

void PatchFrame(Bytes& file, size_t field, uint8_t value) {
    for (const Segment& s : HeaderSegments(file)) {
        if (s.marker == 0xC0 || s.marker == 0xC2) file[s.offset + 4 + field] = value;
    }
}

TEST_F(JpegTest, DamagedFilesAreRefusedWithoutLeftovers) {
    const Damage damages[] = {
        {"cut inside the header", false, [](Bytes& f) { f = Truncated(f, ScanStart(f) - 30); }},
        {"cut after the scan header", false, [](Bytes& f) { f = Truncated(f, ScanStart(f) + 8); }},
        {"cut halfway through the scan", false, [](Bytes& f) { f = Truncated(f, f.size() / 2); }},
        {"progressive cut halfway", true, [](Bytes& f) { f = Truncated(f, f.size() / 2); }},
        {"scan cut halfway, then an end marker", false,
         [](Bytes& f) {
             f = Truncated(f, f.size() / 2);
             f.insert(f.end(), {0xFF, 0xD9});
         }},
        {"12-bit precision", false, [](Bytes& f) { PatchFrame(f, 0, 12); }},
        {"height zero", false, [](Bytes& f) { PatchFrame(f, 1, 0), PatchFrame(f, 2, 0); }},
        {"component count off", false, [](Bytes& f) { PatchFrame(f, 5, 2); }},
        {"garbage after the start marker", false,
         [](Bytes& f) {
             for (size_t i = 2; i < 64; ++i) f[i] = uint8_t(i * 37);
         }},
    };
    std::string good = Cjpeg("good.jpg", {"-quality", "95"});
    std::string goodProgressive = Cjpeg("good-progressive.jpg", {"-progressive"});
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        Bytes bytes = ReadFileBytes(d.progressive ? goodProgressive : good);
        d.apply(bytes);
        std::string file = dir.File("damaged.jpg");
        WriteFileBytes(file, bytes);
        RasterImage image;
        EXPECT_EQ(LoadFile(file, image), TVQ_RESULT_SOURCE_UNREADABLE);
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_TRUE(temp->Leftovers().empty());
    }
}

TEST_F(JpegTest, SaveAtTheWindowsSettingsIsCloseToTheSourceWithOptimisedTables) {
    RasterImage photo;
    FillSmoothPicture(photo, 160, 120);
    std::string file = dir.File("out.jpg");
    JpegCodec codec;
    ASSERT_EQ(codec.Save(file.c_str(), &photo, 99, 1, 1, 50, nullptr), 1);
    Bytes bytes = ReadFileBytes(file);
    auto segments = HeaderSegments(bytes);
    std::optional<Segment> jfif = FindSegment(segments, 0xE0);
    ASSERT_TRUE(jfif.has_value());
    EXPECT_EQ(std::string(jfif->payload.begin(), jfif->payload.begin() + 4), "JFIF");
    std::optional<Segment> frame = FindSegment(segments, 0xC0);  // baseline, one sequential scan
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->payload[5], 3);
    EXPECT_FALSE(FindSegment(segments, 0xC2).has_value());
    for (const Bytes& counts : HuffmanCounts(bytes)) {
        EXPECT_NE(counts, kStandardDcLuminance);
        EXPECT_NE(counts, kStandardAcLuminance);
    }
    DecodedPicture decoded;
    ASSERT_TRUE(DecodeWithPillow(file, decoded));
    EXPECT_GE(Psnr(decoded.rgb, RgbOf(photo)), 40.0);

    // Without optimisation the example tables are written; smoothing changes the coded data.
    std::string plain = dir.File("plain.jpg"), smooth = dir.File("smooth.jpg");
    ASSERT_EQ(codec.Save(plain.c_str(), &photo, 99, 1, 0, 50, nullptr), 1);
    ASSERT_EQ(codec.Save(smooth.c_str(), &photo, 99, 1, 0, 0, nullptr), 1);
    auto plainTables = HuffmanCounts(ReadFileBytes(plain));
    EXPECT_NE(std::find(plainTables.begin(), plainTables.end(), kStandardAcLuminance),
              plainTables.end());
    EXPECT_LT(bytes.size(), ReadFileBytes(plain).size());
    EXPECT_NE(ReadFileBytes(plain), ReadFileBytes(smooth));
}

struct SaveCase {
    const char* name;
    uint32_t bitsPerPixel;
    int32_t colorCount;
    int32_t colourFlag;
};

// Colour output carries the picture's colours (palette colours, not indexes; alpha dropped);
// grey output their grey levels. The bound is loose because a palette has hard edges;
// indexes or misplaced channels would score far below it.
TEST_F(JpegTest, SaveConvertsEveryDepthToColoursOrGreyLevels) {
    const SaveCase cases[] = {
        {"24-bit to colour", 24, 0, 1},   {"32-bit to colour", 32, 0, 1},
        {"palette to colour", 8, 256, 1}, {"palette to grey", 8, 256, 0},
        {"16-bit to grey", 16, 0, 0},     {"24-bit to grey", 24, 0, 0},
        {"grey to grey", 8, 0, 2},        {"grey to colour", 8, 0, 1},
    };
    RasterImage photo;
    FillSmoothPicture(photo, 64, 48);
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.name);
        RasterImage input;
        ASSERT_EQ(photo.ConvertTo(input, c.bitsPerPixel, c.colorCount), 1);
        std::string file = dir.File("save.jpg");
        JpegCodec codec;
        auto before = temp->Leftovers();
        ASSERT_EQ(codec.Save(file.c_str(), &input, 95, c.colourFlag, 1, 0, nullptr), 1);
        EXPECT_EQ(temp->Leftovers(), before);
        auto segments = HeaderSegments(ReadFileBytes(file));
        std::optional<Segment> frame = FindSegment(segments, 0xC0);
        ASSERT_TRUE(frame.has_value());
        EXPECT_EQ(frame->payload[5], c.colourFlag == 1 ? 3 : 1);
        DecodedPicture decoded;
        ASSERT_TRUE(DecodeWithPillow(file, decoded));
        Bytes expected = c.colourFlag == 1 ? RgbOf(input) : GreyLevels(RgbOf(input));
        EXPECT_GE(Psnr(decoded.rgb, expected), 30.0);
    }
}

TEST_F(JpegTest, SaveRefusesBadArgumentsWithoutCreatingAFile) {
    struct Arguments {
        int32_t quality;
        int32_t smoothing;
    };
    const Arguments bad[] = {{0, 50}, {101, 50}, {99, -1}, {99, 101}};
    std::string file = dir.File("never.jpg");
    JpegCodec codec;
    for (const Arguments& a : bad) {
        EXPECT_EQ(codec.Save(file.c_str(), &picture, a.quality, 1, 1, a.smoothing, nullptr), 0);
        EXPECT_FALSE(PathExists(file));
    }
    RasterImage empty;
    EXPECT_EQ(codec.Save(file.c_str(), &empty, 99, 1, 1, 50, nullptr), 0);
    EXPECT_FALSE(PathExists(file));
    for (Arguments edge : {Arguments{1, 0}, Arguments{100, 100}}) {
        EXPECT_EQ(codec.Save(file.c_str(), &picture, edge.quality, 1, 1, edge.smoothing, nullptr),
                  1);
    }
}

TEST_F(JpegTest, SaveReportsAWriteThatFails) {
    JpegCodec codec;
    EXPECT_EQ(codec.Save("/dev/full", &picture, 99, 1, 1, 50, nullptr), 0);
    EXPECT_EQ(codec.Save(dir.File("no/such/folder.jpg").c_str(), &picture, 99, 1, 1, 50, nullptr),
              0);
}

std::vector<std::vector<int32_t>> progressCalls;
void RecordProgress(int32_t direction, int32_t percent, int32_t row, int32_t zero) {
    progressCalls.push_back({direction, percent, row, zero});
}

TEST_F(JpegTest, OneRowPicturesReportProgressForTheRowAndAtTheEnd) {
    RasterImage row;
    FillTestPicture(row, 9, 1);
    std::string file = dir.File("row.jpg");
    JpegCodec codec;
    progressCalls.clear();
    ASSERT_EQ(codec.Save(file.c_str(), &row, 90, 1, 1, 0, RecordProgress), 1);
    using Calls = std::vector<std::vector<int32_t>>;
    EXPECT_EQ(progressCalls, (Calls{{0, 100, 0, 0}, {0, 100, 0, 0}}));
    progressCalls.clear();
    RasterImage image;
    ASSERT_EQ(codec.OpenRead(file.c_str(), &image, RecordProgress), 1);
    ASSERT_EQ(codec.Read(), 1);
    EXPECT_EQ(progressCalls, (Calls{{1, 100, 0, 0}, {1, 100, 0, 0}}));
}

}  // namespace
