#include "formats/png.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <optional>

#include "convert/torvenquill.h"
#include "image/support/byte_order.h"
#include "tests/formats/lib_fixtures.h"

namespace {

struct Chunk {
    std::string type;
    Bytes data;
};

const Bytes kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::vector<Chunk> ParseChunks(const Bytes& file) {
    std::vector<Chunk> chunks;
    size_t at = 8;
    while (at + 12 <= file.size()) {
        uint32_t length = GetU32be(&file[at]);
        if (at + 12 + length > file.size()) break;
        chunks.push_back(
            {std::string(file.begin() + long(at + 4), file.begin() + long(at + 8)),
             Bytes(file.begin() + long(at + 8), file.begin() + long(at + 8 + length))});
        at += 12 + length;
    }
    return chunks;
}

// A file of these chunks, each with a correct CRC.
Bytes Assemble(const std::vector<Chunk>& chunks) {
    Bytes file = kSignature;
    for (const Chunk& c : chunks) {
        uint8_t field[4];
        PutU32be(field, uint32_t(c.data.size()));
        file.insert(file.end(), field, field + 4);
        Bytes typed(c.type.begin(), c.type.end());
        typed.insert(typed.end(), c.data.begin(), c.data.end());
        file.insert(file.end(), typed.begin(), typed.end());
        PutU32be(field, uint32_t(crc32(0, typed.data(), uInt(typed.size()))));
        file.insert(file.end(), field, field + 4);
    }
    return file;
}

std::vector<std::string> ChunkTypes(const Bytes& file) {
    std::vector<std::string> types;
    for (const Chunk& c : ParseChunks(file)) {
        if (types.empty() || types.back() != c.type) types.push_back(c.type);
    }
    return types;
}

class PngTest : public ::testing::Test {
  protected:
    void SetUp() override { temp.emplace(); }

    // A file made by netpbm's pnmtopng from the given netpbm source.
    std::string Pnmtopng(const std::string& name, const std::string& input,
                         std::vector<std::string> options) {
        std::string out = dir.File(name);
        std::vector<std::string> argv{"/usr/bin/pnmtopng"};
        argv.insert(argv.end(), options.begin(), options.end());
        argv.push_back(input);
        EXPECT_TRUE(RunTool(argv, out));
        return out;
    }

    ScratchDir dir;
    std::optional<PrivateTempFolder> temp;
};

constexpr int32_t kWidth = 31, kHeight = 23;

// Sources for the encoder: grey samples up to maxval, pictures of n distinct colours, a photo.
std::string GreySource(const ScratchDir& dir, uint32_t maxval) {
    std::vector<uint16_t> samples;
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x)
            samples.push_back(uint16_t((x * 7 + y * 3) % (maxval + 1)));
    }
    std::string path = dir.File("grey" + std::to_string(maxval) + ".pgm");
    WritePgm(path, kWidth, kHeight, maxval, samples);
    return path;
}

std::string ColoursSource(const ScratchDir& dir, int colours) {
    Bytes rgb;
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            int k = (x * 5 + y * 3) % colours;
            rgb.insert(rgb.end(), {uint8_t(k * 37), uint8_t(k * 91 + 7), uint8_t(k * 13 + 50)});
        }
    }
    std::string path = dir.File("colours" + std::to_string(colours) + ".ppm");
    WritePpm(path, kWidth, kHeight, rgb);
    return path;
}

std::string PhotoSource(const ScratchDir& dir) {
    RasterImage photo;
    FillTestPicture(photo, kWidth, kHeight);
    return WritePictureAsPpm(dir, "photo.ppm", photo);
}

struct ReadCase {
    const char* name;
    std::string source;
    std::vector<std::string> options;
    uint8_t colourType, bitDepth;  // of the file made, as a check on the fixture
    uint32_t bitsPerPixel;
    bool palette;
};

TEST_F(PngTest, ReadsEveryColourTypeAndDepthAsTheIndependentDecoderDoes) {
    std::string alpha = GreySource(dir, 255);
    std::string photo = PhotoSource(dir);
    const ReadCase cases[] = {
        {"grey 1", GreySource(dir, 1), {}, 0, 1, 8, false},
        {"grey 2", GreySource(dir, 3), {}, 0, 2, 8, false},
        {"grey 4", GreySource(dir, 15), {}, 0, 4, 8, false},
        {"grey 8", GreySource(dir, 255), {}, 0, 8, 8, false},
        {"grey 2 with tRNS", GreySource(dir, 3), {"-transparent=#555555"}, 0, 2, 8, false},
        {"grey 8 with tRNS", GreySource(dir, 255), {"-transparent=#0a0a0a"}, 0, 8, 8, false},
        {"grey with alpha", GreySource(dir, 255), {"-force", "-alpha=" + alpha}, 4, 8, 8, false},
        {"palette 1", ColoursSource(dir, 2), {}, 3, 1, 8, true},
        {"palette 2", ColoursSource(dir, 4), {}, 3, 2, 8, true},
        {"palette 4", ColoursSource(dir, 16), {}, 3, 4, 8, true},
        {"palette 8", ColoursSource(dir, 200), {}, 3, 8, 8, true},
        {"palette with tRNS", ColoursSource(dir, 16), {"-transparent=#000732"}, 3, 4, 8, true},
        {"RGB", photo, {"-force"}, 2, 8, 24, false},
        {"RGB with tRNS", photo, {"-force", "-transparent=#ff0000"}, 2, 8, 24, false},
        {"RGB with alpha", photo, {"-force", "-alpha=" + alpha}, 6, 8, 32, false},
        {"gAMA 0.45455", photo, {"-force", "-gamma=0.45455"}, 2, 8, 24, false},
        {"sRGB", photo, {"-force", "-srgbintent=perceptual"}, 2, 8, 24, false},
    };
    for (const ReadCase& c : cases) {
        RasterImage twin;  // the non-interlaced file's picture
        for (bool interlaced : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (interlaced ? " interlaced" : ""));
            std::vector<std::string> options = c.options;
            if (interlaced) options.push_back("-interlace");
            std::string file = Pnmtopng("case.png", c.source, options);
            auto chunks = ParseChunks(ReadFileBytes(file));
            ASSERT_FALSE(chunks.empty());
            ASSERT_EQ(chunks[0].data[9], c.colourType);
            ASSERT_EQ(chunks[0].data[8], c.bitDepth);
            ASSERT_EQ(chunks[0].data[12], interlaced ? 1 : 0);

            RasterImage image;
            ASSERT_EQ(LoadFile(file, image), 1);
            EXPECT_EQ(image.GetWidth(), kWidth);
            EXPECT_EQ(image.GetHeight(), kHeight);
            EXPECT_EQ(image.GetBitsPerPixel(), c.bitsPerPixel);
            EXPECT_EQ(image.GetColorCount() > 0, c.palette);
            DecodedPicture oracle;
            ASSERT_TRUE(DecodeWithPillow(file, oracle));
            EXPECT_EQ(RgbOf(image), oracle.rgb);
            if (c.bitsPerPixel == 32) {  // alpha comes first, as the alpha source has it
                Bytes alphaPgm = ReadFileBytes(alpha);
                const uint8_t* samples = alphaPgm.data() + alphaPgm.size() - kWidth * kHeight;
                for (int32_t p = 0; p < kWidth * kHeight; ++p) {
                    ASSERT_EQ(image.GetBits()[4 * p], samples[p]) << p;
                }
            }
            if (!interlaced) {
                ASSERT_EQ(twin.CopyFrom(image), 1);
            } else {
                EXPECT_EQ(Bytes(image.GetBits(), image.GetBits() + image.GetDataSize()),
                          Bytes(twin.GetBits(), twin.GetBits() + twin.GetDataSize()));
            }
        }
    }
    EXPECT_TRUE(temp->Leftovers().empty());
}

TEST_F(PngTest, APaletteFileKeepsItsPaletteAndIndexes) {
    std::string file = Pnmtopng("p1.png", ColoursSource(dir, 2), {});
    RasterImage image;
    ASSERT_EQ(LoadFile(file, image), 1);
    ASSERT_EQ(image.GetColorCount(), 2);
    Bytes plte;
    for (const Chunk& c : ParseChunks(ReadFileBytes(file))) {
        if (c.type == "PLTE") plte = c.data;
    }
    ASSERT_EQ(plte.size(), 6u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(image.GetPalette()[i].red, plte[3 * i]);
        EXPECT_EQ(image.GetPalette()[i].green, plte[3 * i + 1]);
        EXPECT_EQ(image.GetPalette()[i].blue, plte[3 * i + 2]);
    }
    for (uint32_t p = 0; p < image.GetDataSize(); ++p) ASSERT_LE(image.GetBits()[p], 1) << p;
}

// libpng corrects by file gamma x 2.2 when that product is more than 5% from 1.
TEST_F(PngTest, OnlyALinearGammaIsCorrected) {
    std::string photo = PhotoSource(dir);
    for (const char* gamma : {"1.0", "0.45455"}) {
        SCOPED_TRACE(gamma);
        std::string file = Pnmtopng("gamma.png", photo, {"-force", std::string("-gamma=") + gamma});
        RasterImage image;
        ASSERT_EQ(LoadFile(file, image), 1);
        DecodedPicture stored;  // Pillow leaves the samples as stored
        ASSERT_TRUE(DecodeWithPillow(file, stored));
        Bytes expected = stored.rgb;
        if (std::string(gamma) == "1.0") {
            for (uint8_t& v : expected)
                v = uint8_t(std::floor(255 * std::pow(v / 255.0, 1 / 2.2) + 0.5));
        }
        EXPECT_LE(MaxDifference(RgbOf(image), expected), 1);
        if (std::string(gamma) == "1.0") {
            EXPECT_NE(RgbOf(image), stored.rgb);
        }
    }
}

TEST_F(PngTest, SixteenBitFilesAreRefusedWhenOpened) {
    std::vector<std::string> sources = {GreySource(dir, 65535)};
    std::vector<uint16_t> samples(3 * kWidth * kHeight, 40000);
    Bytes rgb16;
    for (uint16_t s : samples) rgb16.insert(rgb16.end(), {uint8_t(s >> 8), uint8_t(s)});
    std::string ppm16 = dir.File("rgb16.ppm");
    WriteFileBytes(ppm16, [&] {
        std::string h =
            "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n65535\n";
        Bytes f(h.begin(), h.end());
        f.insert(f.end(), rgb16.begin(), rgb16.end());
        return f;
    }());
    sources.push_back(ppm16);
    for (const std::string& source : sources) {
        std::string file = Pnmtopng("deep.png", source, {"-force"});
        ASSERT_EQ(ParseChunks(ReadFileBytes(file))[0].data[8], 16);
        RasterImage image;
        PngCodec codec;
        EXPECT_EQ(codec.OpenRead(file.c_str(), &image, nullptr), 0);
        EXPECT_EQ(LoadFile(file, image), TVQ_RESULT_SOURCE_UNREADABLE);
    }
    EXPECT_TRUE(temp->Leftovers().empty());
}

// Indexes beyond the palette stay as they are; whoever converts them must stay inside it.
TEST_F(PngTest, IndexesBeyondThePaletteAreKeptAndConvertSafely) {
    Bytes ihdr(13, 0);
    PutU32be(&ihdr[0], 4);
    PutU32be(&ihdr[4], 1);
    ihdr[8] = 2, ihdr[9] = 3;
    Bytes raw = {0, 0x1B};  // filter byte, then indexes 0, 1, 2, 3 at two bits each
    Bytes packed(64);
    uLongf packedSize = packed.size();
    ASSERT_EQ(compress(packed.data(), &packedSize, raw.data(), raw.size()), Z_OK);
    packed.resize(packedSize);
    std::string file = dir.File("beyond.png");
    WriteFileBytes(
        file,
        Assemble(
            {{"IHDR", ihdr}, {"PLTE", {255, 0, 0, 0, 0, 255}}, {"IDAT", packed}, {"IEND", {}}}));
    RasterImage image;
    ASSERT_EQ(LoadFile(file, image), 1);
    EXPECT_EQ(image.GetColorCount(), 2);
    EXPECT_EQ(Bytes(image.GetBits(), image.GetBits() + 4), (Bytes{0, 1, 2, 3}));
    Bytes rgb = RgbOf(image);
    EXPECT_EQ(Bytes(rgb.begin(), rgb.begin() + 6), (Bytes{255, 0, 0, 0, 0, 255}));
    EXPECT_EQ(ConvertToPng(file.c_str(), dir.File("again.png").c_str(), 24), 1);
}

struct Damage {
    const char* name;
    void (*apply)(Bytes& file);
};

void EditChunk(Bytes& file, const char* type, void (*edit)(Bytes& data)) {
    auto chunks = ParseChunks(file);
    for (Chunk& c : chunks) {
        if (c.type == type) {
            edit(c.data);
            break;
        }
    }
    file = Assemble(chunks);
}

TEST_F(PngTest, DamagedFilesAreRefusedWithoutLeftovers) {
    const Damage damages[] = {
        {"cut inside IHDR", [](Bytes& f) { f = Truncated(f, 20); }},
        {"cut halfway", [](Bytes& f) { f = Truncated(f, f.size() / 2); }},
        {"cut before IEND", [](Bytes& f) { f = Truncated(f, f.size() - 12); }},
        {"bad IHDR CRC", [](Bytes& f) { f[29] ^= 0x55; }},
        {"bad IDAT CRC", [](Bytes& f) { f[f.size() - 20] ^= 0x55; }},
        {"width zero",
         [](Bytes& f) { EditChunk(f, "IHDR", [](Bytes& d) { PutU32be(&d[0], 0); }); }},
        {"bit depth 3", [](Bytes& f) { EditChunk(f, "IHDR", [](Bytes& d) { d[8] = 3; }); }},
        {"deflate data damaged",
         [](Bytes& f) {
             EditChunk(f, "IDAT", [](Bytes& d) {
                 for (size_t i = 2; i < d.size(); i += 3) d[i] ^= 0xA5;
             });
         }},
        {"no image data",
         [](Bytes& f) {
             auto chunks = ParseChunks(f);
             std::erase_if(chunks, [](const Chunk& c) { return c.type == "IDAT"; });
             f = Assemble(chunks);
         }},
    };
    std::string good = Pnmtopng("good.png", PhotoSource(dir), {"-force", "-interlace"});
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        Bytes bytes = ReadFileBytes(good);
        d.apply(bytes);
        std::string file = dir.File("damaged.png");
        WriteFileBytes(file, bytes);
        RasterImage image;
        EXPECT_EQ(LoadFile(file, image), TVQ_RESULT_SOURCE_UNREADABLE);
        EXPECT_TRUE(image.IsEmpty());
        EXPECT_TRUE(temp->Leftovers().empty());
    }
}

struct WriteCase {
    const char* name;
    int32_t width, height;
    uint32_t bitsPerPixel;
    int32_t colorCount;
    uint8_t colourType;
};

// Every written file is Adam7-interlaced, 8 bits per sample, with no chunk beyond IHDR, PLTE
// (palette pictures only), IDAT and IEND, and decodes elsewhere to the picture written.
TEST_F(PngTest, WritesInterlacedFilesWithOnlyTheCriticalChunks) {
    const WriteCase cases[] = {
        {"RGB", 61, 37, 24, 0, 2},     {"RGB with alpha", 61, 37, 32, 0, 6},
        {"palette", 61, 37, 8, 40, 3}, {"one pixel", 1, 1, 24, 0, 2},
        {"one row", 9, 1, 24, 0, 2},   {"one column", 1, 9, 32, 0, 6},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        RasterImage rgb, picture;
        FillTestPicture(rgb, c.width, c.height);
        ASSERT_EQ(rgb.ConvertTo(picture, c.bitsPerPixel, c.colorCount), 1);
        if (c.bitsPerPixel == 32) {  // alpha that varies, so that its place matters
            for (uint32_t p = 0; p < picture.GetDataSize() / 4; ++p)
                picture.GetBits()[4 * p] = uint8_t(p * 11);
        }
        Bytes before(picture.GetBits(), picture.GetBits() + picture.GetDataSize());
        std::string file = dir.File("out.png");
        PngCodec codec;
        ASSERT_EQ(codec.OpenWrite(file.c_str(), &picture, c.bitsPerPixel, c.colorCount, nullptr),
                  1);
        ASSERT_EQ(codec.Write(), 1);
        EXPECT_EQ(Bytes(picture.GetBits(), picture.GetBits() + picture.GetDataSize()), before);

        Bytes bytes = ReadFileBytes(file);
        std::vector<std::string> expectedTypes = {"IHDR", "IDAT", "IEND"};
        if (c.colourType == 3) expectedTypes.insert(expectedTypes.begin() + 1, "PLTE");
        EXPECT_EQ(ChunkTypes(bytes), expectedTypes);
        Bytes ihdr = ParseChunks(bytes)[0].data;
        EXPECT_EQ(ihdr[8], 8);
        EXPECT_EQ(ihdr[9], c.colourType);
        EXPECT_EQ(ihdr[12], 1);
        EXPECT_EQ(RunProgram({"/usr/bin/pngcheck", "-q", file}).status, 0);
        DecodedPicture decoded;
        ASSERT_TRUE(DecodeWithPillow(file, decoded));
        EXPECT_EQ(decoded.rgb, RgbOf(picture));

        RasterImage back;  // our own reader gives the alpha back in front
        ASSERT_EQ(LoadFile(file, back), 1);
        EXPECT_EQ(Bytes(back.GetBits(), back.GetBits() + back.GetDataSize()), before);
    }
}

TEST_F(PngTest, OpenWriteRefusesDepthsAndColourCountsItCannotWrite) {
    RasterImage picture;
    FillTestPicture(picture, 8, 8);
    std::string file = dir.File("never.png");
    PngCodec codec;
    EXPECT_EQ(codec.OpenWrite(file.c_str(), &picture, 16, 0, nullptr), 0);
    EXPECT_EQ(codec.OpenWrite(file.c_str(), &picture, 8, 0, nullptr), 0);
    EXPECT_EQ(codec.OpenWrite(file.c_str(), &picture, 8, 257, nullptr), 0);
    EXPECT_FALSE(PathExists(file));
    RasterImage empty;
    EXPECT_EQ(codec.OpenWrite(file.c_str(), &empty, 24, 0, nullptr), 0);
    EXPECT_EQ(codec.Write(), 0);
}

TEST_F(PngTest, AWriteThatFailsIsReported) {
    RasterImage picture;
    FillTestPicture(picture, 300, 200);
    PngCodec codec;
    ASSERT_EQ(codec.OpenWrite("/dev/full", &picture, 24, 0, nullptr), 1);
    EXPECT_EQ(codec.Write(), 0);
    RasterImage small;
    FillTestPicture(small, 2, 2);  // everything still buffered when the stream is closed
    ASSERT_EQ(codec.OpenWrite("/dev/full", &small, 24, 0, nullptr), 1);
    EXPECT_EQ(codec.Write(), 0);
}

}  // namespace
