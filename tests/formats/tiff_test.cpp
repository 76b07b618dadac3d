#include "formats/tiff.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>

#include "convert/torvenquill.h"
#include "image/support/byte_order.h"
#include "tests/formats/lib_fixtures.h"

namespace {

// The first directory of a little-endian classic TIFF: tag -> values (SHORT and LONG only) and
// where each entry lies in the file.
struct Directory {
    std::map<uint16_t, std::vector<uint32_t>> values;
    std::map<uint16_t, size_t> entryOffsets;
};

Directory ReadFirstDirectory(const Bytes& file) {
    Directory dir;
    if (file.size() < 8 || file[0] != 'I' || file[1] != 'I') return dir;
    size_t at = GetU32le(&file[4]);
    if (at + 2 > file.size()) return dir;
    uint16_t count = GetU16le(&file[at]);
    for (uint16_t i = 0; i < count && at + 2 + 12 * (i + 1) <= file.size(); ++i) {
        const uint8_t* e = &file[at + 2 + 12 * i];
        uint16_t tag = GetU16le(e), type = GetU16le(e + 2);
        uint32_t n = GetU32le(e + 4);
        size_t size = type == 3 ? 2 : 4;
        size_t data = n * size <= 4 ? size_t(e + 8 - file.data()) : GetU32le(e + 8);
        std::vector<uint32_t> values;
        for (uint32_t k = 0; k < n && data + (k + 1) * size <= file.size(); ++k) {
            values.push_back(size == 2 ? GetU16le(&file[data + k * size])
                                       : GetU32le(&file[data + k * size]));
        }
        dir.values[tag] = values;
        dir.entryOffsets[tag] = at + 2 + 12 * i;
    }
    return dir;
}

std::vector<uint16_t> Tags(const Directory& dir) {
    std::vector<uint16_t> tags;
    for (const auto& [tag, values] : dir.values) tags.push_back(tag);
    return tags;
}

Bytes GreyLevels(const Bytes& rgb) {
    Bytes grey;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        uint8_t g = GreyLevel(rgb[i], rgb[i + 1], rgb[i + 2]);
        grey.insert(grey.end(), {g, g, g});
    }
    return grey;
}

Bytes FlippedRows(const Bytes& rgb, int32_t width, int32_t height) {
    Bytes flipped;
    for (int32_t y = height - 1; y >= 0; --y) {
        auto row = rgb.begin() + long(y) * width * 3;
        flipped.insert(flipped.end(), row, row + width * 3);
    }
    return flipped;
}

const char* const kConvert = "/usr/bin/convert-im6.q16";
const char* const kTiffcp = "/usr/bin/tiffcp";
const char* const kPython = "/usr/bin/python3";

class TiffTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FillTestPicture(picture, kWidth, kHeight);
        source = WritePictureAsPpm(dir, "source.ppm", picture);
        rgb = RgbOf(picture);
        temp.emplace();
    }

  public:  // the file makers below use the scratch folder and the source
    static constexpr int32_t kWidth = 37, kHeight = 23;
    ScratchDir dir;
    RasterImage picture;
    std::string source;
    Bytes rgb;
    std::optional<PrivateTempFolder> temp;
};

// How the pixels read are checked: equal to the source picture, to what an independent decoder
// makes of the file, or close to the source (lossy coding).
enum class Expect { Source, Pillow, ImageMagickWithinOne, CloseToSource };

struct ReadCase {
    const char* name;
    std::function<std::string(TiffTest&)> make;
    Expect expect;
};

std::string Tool(TiffTest& t, const std::string& name, std::vector<std::string> argv) {
    argv.push_back(t.dir.File(name));
    EXPECT_TRUE(RunTool(argv));
    return t.dir.File(name);
}

std::string Pillow(TiffTest& t, const std::string& name, const std::string& code) {
    std::string script = "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n" + code;
    EXPECT_TRUE(RunTool({kPython, "-c", script, t.source, t.dir.File(name)}));
    return t.dir.File(name);
}

std::string Rgb(TiffTest& t) {
    return Tool(t, "rgb.tif", {kConvert, t.source, "-compress", "None"});
}

TEST_F(TiffTest, ReadsEveryLayoutAsTheIndependentDecodersDo) {
    const ReadCase cases[] = {
        {"RGB", [](TiffTest& t) { return Rgb(t); }, Expect::Source},
        {"LZW",
         [](TiffTest& t) {
             return Tool(t, "lzw.tif", {kTiffcp, "-c", "lzw", Rgb(t)});
         },
         Expect::Source},
        {"PackBits",
         [](TiffTest& t) {
             return Tool(t, "pb.tif", {kTiffcp, "-c", "packbits", Rgb(t)});
         },
         Expect::Source},
        {"Deflate",
         [](TiffTest& t) {
             return Tool(t, "zip.tif", {kTiffcp, "-c", "zip", Rgb(t)});
         },
         Expect::Source},
        {"JPEG",
         [](TiffTest& t) {
             return Tool(t, "jpeg.tif", {kTiffcp, "-c", "jpeg:95:r", Rgb(t)});
         },
         Expect::CloseToSource},
        {"big-endian",
         [](TiffTest& t) {
             return Tool(t, "mm.tif", {kTiffcp, "-B", Rgb(t)});
         },
         Expect::Source},
        {"tiled",
         [](TiffTest& t) {
             return Tool(t, "tiles.tif",
                         {kTiffcp, "-c", "lzw", "-t", "-w", "16", "-l", "16", Rgb(t)});
         },
         Expect::Source},
        {"separate planes",
         [](TiffTest& t) {
             return Tool(t, "planes.tif", {kTiffcp, "-p", "separate", Rgb(t)});
         },
         Expect::Source},
        {"16 bits per sample",
         [](TiffTest& t) {
             return Tool(t, "deep.tif", {kConvert, t.source, "-depth", "16"});
         },
         Expect::Source},
        {"palette",
         [](TiffTest& t) {
             return Pillow(t, "palette.tif",
                           "im.convert('P', palette=Image.ADAPTIVE, colors=20)"
                           ".save(sys.argv[2])\n");
         },
         Expect::Pillow},
        {"grey",
         [](TiffTest& t) { return Pillow(t, "grey.tif", "im.convert('L').save(sys.argv[2])\n"); },
         Expect::Pillow},
        {"bilevel G4",
         [](TiffTest& t) {
             return Pillow(t, "g4.tif",
                           "im.convert('1').save(sys.argv[2], compression='group4')\n");
         },
         Expect::Pillow},
        {"bilevel G3",
         [](TiffTest& t) {
             return Tool(t, "g3.tif", {kConvert, t.source, "-monochrome", "-compress", "Fax"});
         },
         Expect::Pillow},
        {"opaque RGBA",
         [](TiffTest& t) {
             return Pillow(t, "rgba.tif", "im.convert('RGBA').save(sys.argv[2])\n");
         },
         Expect::Source},
        {"CMYK",
         [](TiffTest& t) {
             return Tool(t, "cmyk.tif", {kConvert, t.source, "-colorspace", "CMYK"});
         },
         Expect::ImageMagickWithinOne},
        {"two pages",
         [](TiffTest& t) {
             std::string other = t.dir.File("other.ppm");
             RasterImage second;
             FillTestPicture(second, 20, 20, 9);
             WritePpm(other, 20, 20, RgbOf(second));
             return Tool(t, "pages.tif", {kConvert, t.source, other});
         },
         Expect::Source},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = c.make(*this);
        RasterImage image;
        ASSERT_EQ(LoadFile(file, image), 1);
        EXPECT_EQ(image.GetWidth(), kWidth);
        EXPECT_EQ(image.GetHeight(), kHeight);
        EXPECT_EQ(image.GetBitsPerPixel(), 24u);
        Bytes got = RgbOf(image);
        DecodedPicture oracle;
        switch (c.expect) {
            case Expect::Source:
                EXPECT_EQ(got, rgb);
                break;
            case Expect::Pillow:
                ASSERT_TRUE(DecodeWithPillow(file, oracle));
                EXPECT_EQ(got, oracle.rgb);
                break;
            case Expect::ImageMagickWithinOne:
                ASSERT_TRUE(DecodeWithImageMagick(file, oracle));
                EXPECT_LE(MaxDifference(got, oracle.rgb), 1);
                break;
            case Expect::CloseToSource:
                EXPECT_GE(Psnr(got, rgb), 30.0);
                break;
        }
    }
    EXPECT_TRUE(temp->Leftovers().empty());
}

TEST_F(TiffTest, ABottomLeftFileReadsTheSameWayUpAsItsTopLeftTwin) {
    std::string flipped = dir.File("flipped.ppm");
    WritePpm(flipped, kWidth, kHeight, FlippedRows(rgb, kWidth, kHeight));
    std::string file = dir.File("bottom-left.tif");
    ASSERT_TRUE(RunTool({kConvert, flipped, "-compress", "None", file}));
    ASSERT_TRUE(RunTool({"/usr/bin/tiffset", "-s", "274", "4", file}));
    ASSERT_EQ(ReadFirstDirectory(ReadFileBytes(file)).values[274], (std::vector<uint32_t>{4}));
    RasterImage image;
    ASSERT_EQ(LoadFile(file, image), 1);
    EXPECT_EQ(RgbOf(image), rgb);
}

struct Damage {
    const char* name;
    bool directoryFirst;  // a file whose directory comes before its strips (Pillow's layout)
    void (*apply)(Bytes& file);
};

void PatchLong(Bytes& file, uint16_t tag, uint32_t value) {
    Directory d = ReadFirstDirectory(file);
    size_t entry = d.entryOffsets.at(tag);
    PutU16le(&file[entry + 2], 4);
    PutU32le(&file[entry + 4], 1);
    PutU32le(&file[entry + 8], value);
}

TEST_F(TiffTest, DamagedFilesAreRefusedWithoutLeftovers) {
    const Damage damages[] = {
        {"cut in the strips", true, [](Bytes& f) { f = Truncated(f, f.size() / 2); }},
        {"cut before the directory", false, [](Bytes& f) { f = Truncated(f, f.size() / 2); }},
        {"bad byte order", false, [](Bytes& f) { f[0] = 'X'; }},
        {"bad version", false, [](Bytes& f) { f[2] = 43; }},
        {"strips beyond the end", true,
         [](Bytes& f) { PatchLong(f, 273, uint32_t(f.size()) + 1000); }},
        {"width zero", true, [](Bytes& f) { PatchLong(f, 256, 0); }},
        {"raster too large", true,
         [](Bytes& f) { PatchLong(f, 256, 70000), PatchLong(f, 257, 70000); }},
        {"damaged LZW data", false,
         [](Bytes& f) {
             Directory d = ReadFirstDirectory(f);
             uint32_t start = d.values.at(273)[0], length = d.values.at(279)[0];
             for (uint32_t i = start + length / 3; i < start + length; i += 2) f[i] ^= 0xFF;
         }},
    };
    std::string imageMagickFile = Tool(*this, "lzw.tif", {kTiffcp, "-c", "lzw", Rgb(*this)});
    std::string pillowFile = Pillow(*this, "pil.tif", "im.save(sys.argv[2])\n");
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        Bytes bytes = ReadFileBytes(d.directoryFirst ? pillowFile : imageMagickFile);
        ASSERT_EQ(bytes[0], 'I');
        d.apply(bytes);
        std::string file = dir.File("damaged.tif");
        WriteFileBytes(file, bytes);
        RasterImage image;
        EXPECT_EQ(LoadFile(file, image), TVQ_RESULT_SOURCE_UNREADABLE);
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_TRUE(temp->Leftovers().empty());
    }
}

TEST_F(TiffTest, AStripTooTallToDecodeWholeIsReadInParts) {
    // One 4200 x 4100 grey strip: more pixels than one decoding block takes.
    std::string file = dir.File("tall-strip.tif");
    ASSERT_TRUE(RunTool({"/usr/bin/convert-im6.q16", "-size", "4200x4100", "gradient:white-black",
                         "-swirl", "200", "-colorspace", "Gray", "-depth", "8", "-define",
                         "tiff:rows-per-strip=4100", "-compress", "LZW", file}));
    RasterImage image;
    ASSERT_EQ(LoadFile(file, image), TVQ_RESULT_OK);
    DecodedPicture reference;
    ASSERT_TRUE(DecodeWithPillow(file, reference));
    EXPECT_TRUE(RgbOf(image) == reference.rgb);
}

TEST_F(TiffTest, AFaxStripThatEndsEarlyIsRefusedNotFilledWithWhite) {
    std::string file = dir.File("g4.tif");
    ASSERT_TRUE(RunTool({"/usr/bin/convert-im6.q16", "-size", "64x256", "pattern:checkerboard",
                         "-monochrome", "-compress", "Group4", file}));
    RasterImage whole;
    ASSERT_EQ(LoadFile(file, whole), TVQ_RESULT_OK);
    whole.Free();
    Bytes bytes = ReadFileBytes(file);
    ASSERT_EQ(bytes[0], 'I');
    PatchLong(bytes, 279, 6);  // the strip's data now ends a few lines in
    WriteFileBytes(file, bytes);
    RasterImage image;
    EXPECT_EQ(LoadFile(file, image), TVQ_RESULT_SOURCE_UNREADABLE);
    EXPECT_TRUE(temp->Leftovers().empty());
}

struct WriteCase {
    const char* name;
    int32_t width, height;
    uint32_t inputBits;
    int32_t inputColours;
    uint32_t depth;
};

// Exactly these tags, uncompressed little-endian strips of about 8 KB right after the header,
// and pixels that decode elsewhere to the picture's colours (24) or grey levels (8).
TEST_F(TiffTest, WritesUncompressedStripsWithExactlyTheseTags) {
    const WriteCase cases[] = {
        {"RGB", kWidth, kHeight, 24, 0, 24},
        {"RGB from palette", kWidth, kHeight, 8, 30, 24},
        {"RGB from 32 bits", kWidth, kHeight, 32, 0, 24},
        {"grey from RGB", kWidth, kHeight, 24, 0, 8},
        {"grey from palette", kWidth, kHeight, 8, 30, 8},
        {"grey from grey", kWidth, kHeight, 8, 0, 8},
        {"1000 wide", 1000, 5, 24, 0, 24},
        {"1365 wide", 1365, 3, 24, 0, 24},
        {"1366 wide", 1366, 3, 24, 0, 24},
        {"one pixel", 1, 1, 24, 0, 8},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        RasterImage full, input;
        FillTestPicture(full, c.width, c.height);
        ASSERT_EQ(full.ConvertTo(input, c.inputBits, c.inputColours), 1);
        std::string file = dir.File("out.tif");
        TiffCodec codec;
        ASSERT_EQ(codec.OpenWrite(file.c_str(), &input, c.depth, nullptr), 1);
        ASSERT_EQ(codec.Write(), 1);

        Bytes bytes = ReadFileBytes(file);
        ASSERT_EQ(Bytes(bytes.begin(), bytes.begin() + 4), (Bytes{'I', 'I', 42, 0}));
        Directory d = ReadFirstDirectory(bytes);
        std::vector<uint16_t> tags = {256, 257, 258, 259, 262, 273, 274, 277, 278, 279, 284};
        if (c.depth == 8) tags.push_back(320);
        EXPECT_EQ(Tags(d), tags);
        using V = std::vector<uint32_t>;
        EXPECT_EQ(d.values[256], V{uint32_t(c.width)});
        EXPECT_EQ(d.values[257], V{uint32_t(c.height)});
        EXPECT_EQ(d.values[258], c.depth == 8 ? V{8} : (V{8, 8, 8}));
        EXPECT_EQ(d.values[259], V{1});
        EXPECT_EQ(d.values[262], V{c.depth == 8 ? 3u : 2u});
        EXPECT_EQ(d.values[274], V{1});
        EXPECT_EQ(d.values[277], V{c.depth == 8 ? 1u : 3u});
        EXPECT_EQ(d.values[278], V{std::max(1u, 8192 / (uint32_t(c.width) * c.depth / 8))});
        EXPECT_EQ(d.values[284], V{1});
        ASSERT_FALSE(d.values[273].empty());
        EXPECT_EQ(d.values[273][0], 8u);
        if (c.depth == 8) {
            V ramp;
            for (uint32_t k = 0; k < 3 * 256; ++k) ramp.push_back((k % 256) * 256);
            EXPECT_EQ(d.values[320], ramp);
        }
        EXPECT_EQ(RunProgram({"/usr/bin/tiffinfo", file}).status, 0);

        DecodedPicture decoded;
        ASSERT_TRUE(DecodeWithPillow(file, decoded));
        EXPECT_EQ(decoded.rgb, c.depth == 8 ? GreyLevels(RgbOf(input)) : RgbOf(input));
    }
}

TEST_F(TiffTest, OpenWriteRefusesOtherDepthsAndEmptyPictures) {
    std::string file = dir.File("never.tif");
    TiffCodec codec;
    for (uint32_t depth : {0u, 1u, 16u, 32u}) {
        EXPECT_EQ(codec.OpenWrite(file.c_str(), &picture, depth, nullptr), 0);
    }
    RasterImage empty;
    EXPECT_EQ(codec.OpenWrite(file.c_str(), &empty, 24, nullptr), 0);
    EXPECT_FALSE(PathExists(file));
    EXPECT_EQ(codec.Write(), 0);
}

TEST_F(TiffTest, AWriteThatFailsIsReported) {
    TiffCodec codec;
    bool written = codec.OpenWrite("/dev/full", &picture, 24, nullptr) == 1 && codec.Write() == 1;
    EXPECT_FALSE(written);
}

}  // namespace
