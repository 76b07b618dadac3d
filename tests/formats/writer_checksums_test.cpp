// Every writer's bytes, and every reader's pixels, for fixed inputs, against checksums recorded
// from the codecs as they were before their streams and loops were reworked for speed: a change
// of a single byte in any mode shows here.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "formats/bmp.h"
#include "formats/jpeg.h"
#include "formats/pcx.h"
#include "formats/photocd.h"
#include "formats/pic.h"
#include "formats/png.h"
#include "formats/pnm.h"
#include "formats/sgi.h"
#include "formats/tiff.h"
#include "tests/formats/lib_fixtures.h"
#include "tests/support/test_support.h"

namespace {

constexpr int32_t kWidth = 97, kHeight = 61;
const char* const kConvert = "/usr/bin/convert-im6.q16";
const char* const kTiffcp = "/usr/bin/tiffcp";

uint64_t Fnv1a(const uint8_t* data, size_t size, uint64_t hash = 14695981039346656037ull) {
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string Hex(uint64_t value) {
    char text[19];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

// The picture as a reader delivers it: sizes, depth, the pixel bytes of each row (not the
// padding) and the palette in use.
uint64_t PictureChecksum(const RasterImage& image) {
    const int32_t header[4] = {image.GetWidth(), image.GetHeight(),
                               int32_t(image.GetBitsPerPixel()), image.GetColorCount()};
    uint64_t hash = Fnv1a(reinterpret_cast<const uint8_t*>(header), sizeof header);
    const size_t rowBytes = size_t(image.GetWidth()) * BytesPerPixel(image.GetBitsPerPixel());
    for (int32_t y = 0; y < image.GetHeight(); ++y) hash = Fnv1a(image.GetRow(y), rowBytes, hash);
    if (image.GetColorCount() > 0) {
        hash = Fnv1a(reinterpret_cast<const uint8_t*>(image.GetPalette()),
                     sizeof(PaletteEntry) * size_t(image.GetColorCount()), hash);
    }
    return hash;
}

// The fixture's pictures are public: the tables of cases below reach them from lambdas.
class WriterChecksums : public ::testing::Test {
  public:
    void SetUp() override {
        FillTestPicture(colour, kWidth, kHeight);
        ASSERT_EQ(colour.ConvertTo(grey, 8, 0), 1);
        ASSERT_EQ(colour.ConvertTo(palette, 8, 256), 1);
    }

    ScratchDir dir;
    RasterImage colour, grey, palette;
};

using W = WriterChecksums;
using Path = const std::string&;

struct WriteCase {
    const char* name;
    std::function<int32_t(Path path, W& t)> write;
    const char* expected;
};

int32_t Jpeg(const std::string& path, RasterImage& image, int32_t colourFlag, int32_t optimize,
             int32_t smoothing) {
    JpegCodec codec;
    return codec.Save(path.c_str(), &image, 75, colourFlag, optimize, smoothing, nullptr);
}

int32_t Bmp(const std::string& path, RasterImage& image) {
    BmpCodec codec;
    return codec.OpenWrite(path.c_str(), &image, 24, nullptr) == 1 ? codec.Write() : 0;
}

int32_t Tiff(const std::string& path, RasterImage& image, uint32_t depth) {
    TiffCodec codec;
    return codec.OpenWrite(path.c_str(), &image, depth, nullptr) == 1 ? codec.Write() : 0;
}

int32_t Png(const std::string& path, RasterImage& image, uint32_t depth, int32_t colours) {
    PngCodec codec;
    return codec.OpenWrite(path.c_str(), &image, depth, colours, nullptr) == 1 ? codec.Write() : 0;
}

int32_t Pnm(const std::string& path, RasterImage& image, int32_t kind, int32_t raw) {
    PnmCodec codec;
    return codec.OpenWrite(path.c_str(), &image, kind, raw, nullptr) == 1 ? codec.Write() : 0;
}

int32_t Pcx(const std::string& path, RasterImage& image, uint32_t depth) {
    PcxCodec codec;
    return codec.OpenWrite(path.c_str(), &image, depth, nullptr) == 1 ? codec.Write() : 0;
}

int32_t Pic(const std::string& path, RasterImage& image) {
    PicCodec codec;
    return codec.OpenWrite(path.c_str(), &image, 24, nullptr) == 1 ? codec.Write() : 0;
}

int32_t Sgi(const std::string& path, RasterImage& image) {
    SgiCodec codec;
    return codec.OpenWrite(path.c_str(), &image, 24, 0, nullptr) == 1 ? codec.Write() : 0;
}

}  // namespace

TEST_F(WriterChecksums, EveryWriterAndModeWritesTheRecordedBytes) {
    const WriteCase cases[] = {
        {"jpg colour", [](Path p, W& t) { return Jpeg(p, t.colour, 1, 1, 0); }, "01d0b41a79b95c3b"},
        {"jpg colour no-optimize", [](Path p, W& t) { return Jpeg(p, t.colour, 1, 0, 0); },
         "b0b69419d2914ba4"},
        {"jpg colour smoothed", [](Path p, W& t) { return Jpeg(p, t.colour, 1, 1, 20); },
         "70e501b2be1eb49f"},
        {"jpg grey from colour", [](Path p, W& t) { return Jpeg(p, t.colour, 0, 1, 0); },
         "8304e260dea42a90"},
        {"jpg grey", [](Path p, W& t) { return Jpeg(p, t.grey, 0, 1, 0); }, "8304e260dea42a90"},
        {"jpg colour from palette", [](Path p, W& t) { return Jpeg(p, t.palette, 1, 1, 0); },
         "7540c73ca56f4b48"},
        {"bmp", [](Path p, W& t) { return Bmp(p, t.colour); }, "b268acda224f13e7"},
        {"tif 24", [](Path p, W& t) { return Tiff(p, t.colour, 24); }, "9c844817d6b901f2"},
        {"tif 24 from palette", [](Path p, W& t) { return Tiff(p, t.palette, 24); },
         "cdae41fcfea92013"},
        {"tif 8 from colour", [](Path p, W& t) { return Tiff(p, t.colour, 8); },
         "5f7bdd8fb3cb4112"},
        {"tif 8 grey", [](Path p, W& t) { return Tiff(p, t.grey, 8); }, "5f7bdd8fb3cb4112"},
        {"png 24", [](Path p, W& t) { return Png(p, t.colour, 24, 0); }, "b66a8e3328158462"},
        {"png palette from colour", [](Path p, W& t) { return Png(p, t.colour, 8, 256); },
         "40ebb8ba88abc2e3"},
        {"png palette", [](Path p, W& t) { return Png(p, t.palette, 8, 256); }, "40ebb8ba88abc2e3"},
        {"ppm raw", [](Path p, W& t) { return Pnm(p, t.colour, PnmCodec::kKindPpm, 1); },
         "6176e5b74c38df00"},
        {"ppm plain", [](Path p, W& t) { return Pnm(p, t.colour, PnmCodec::kKindPpm, 0); },
         "41eb4add264af7ea"},
        {"ppm raw from grey", [](Path p, W& t) { return Pnm(p, t.grey, PnmCodec::kKindPpm, 1); },
         "f6f0488ed0dfa8d0"},
        {"ppm raw from palette",
         [](Path p, W& t) { return Pnm(p, t.palette, PnmCodec::kKindPpm, 1); }, "d01f704e3a1af8cb"},
        {"pgm raw from colour",
         [](Path p, W& t) { return Pnm(p, t.colour, PnmCodec::kKindPgm, 1); }, "04e6af6a657fc5cd"},
        {"pgm plain from colour",
         [](Path p, W& t) { return Pnm(p, t.colour, PnmCodec::kKindPgm, 0); }, "e83a602781b2e2fc"},
        {"pgm raw grey", [](Path p, W& t) { return Pnm(p, t.grey, PnmCodec::kKindPgm, 1); },
         "04e6af6a657fc5cd"},
        {"pgm plain grey", [](Path p, W& t) { return Pnm(p, t.grey, PnmCodec::kKindPgm, 0); },
         "e83a602781b2e2fc"},
        {"pgm raw from palette",
         [](Path p, W& t) { return Pnm(p, t.palette, PnmCodec::kKindPgm, 1); }, "fb8c81b4552d4b12"},
        {"pbm raw from colour",
         [](Path p, W& t) { return Pnm(p, t.colour, PnmCodec::kKindPbm, 1); }, "2e7d2970c5f1d97d"},
        {"pbm plain from colour",
         [](Path p, W& t) { return Pnm(p, t.colour, PnmCodec::kKindPbm, 0); }, "42318ae040c30206"},
        {"pbm raw grey", [](Path p, W& t) { return Pnm(p, t.grey, PnmCodec::kKindPbm, 1); },
         "2e7d2970c5f1d97d"},
        {"pbm raw from palette",
         [](Path p, W& t) { return Pnm(p, t.palette, PnmCodec::kKindPbm, 1); }, "b4225ef54e3dfe68"},
        {"pcx 24", [](Path p, W& t) { return Pcx(p, t.colour, 24); }, "e2804140ab64896d"},
        {"pcx 8 from colour", [](Path p, W& t) { return Pcx(p, t.colour, 8); }, "a8e32fc197fd6ccd"},
        {"pcx 8 palette", [](Path p, W& t) { return Pcx(p, t.palette, 8); }, "a8e32fc197fd6ccd"},
        {"pcx 8 from grey", [](Path p, W& t) { return Pcx(p, t.grey, 8); }, "b35ae4456bf07323"},
        {"pic", [](Path p, W& t) { return Pic(p, t.colour); }, "9c84ec444ca24c67"},
        {"pic from grey", [](Path p, W& t) { return Pic(p, t.grey); }, "18f9eaf91132954b"},
        {"sgi", [](Path p, W& t) { return Sgi(p, t.colour); }, "d5d44ce502274321"},
        {"sgi from palette", [](Path p, W& t) { return Sgi(p, t.palette); }, "a6c55f83a99003a2"},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File("out");
        ASSERT_EQ(c.write(path, *this), 1);
        const Bytes bytes = ReadFileBytes(path);
        EXPECT_EQ(Hex(Fnv1a(bytes.data(), bytes.size())), c.expected);
    }
}

namespace {

struct ReadCase {
    const char* name;
    std::function<std::string(W& t)> make;
    const char* expected;
};

std::string Made(W& t, const std::string& name, const std::function<int32_t(Path)>& write) {
    const std::string path = t.dir.File(name);
    EXPECT_EQ(write(path), 1);
    return path;
}

std::string Tool(W& t, const std::string& name, std::vector<std::string> argv) {
    argv.push_back(t.dir.File(name));
    EXPECT_TRUE(RunTool(argv));
    return t.dir.File(name);
}

std::string OurTiff(W& t) {
    return Made(t, "ours.tif", [&](Path p) { return Tiff(p, t.colour, 24); });
}

// A small Photo CD image pack of the first base resolution, built byte by byte.
std::string PhotoCdPack(W& t) {
    Bytes file(0x2000 + 192 * 128 * 3 / 2, 0xFF);
    std::memcpy(&file[2048], "PCD_IPI", 7);
    for (size_t i = 0x2000; i < file.size(); ++i) file[i] = uint8_t((i * 7) ^ (i >> 5));
    const std::string path = t.dir.File("pack.pcd");
    WriteFileBytes(path, file);
    return path;
}

}  // namespace

TEST_F(WriterChecksums, EveryReaderDecodesTheRecordedPixels) {
    const ReadCase cases[] = {
        {"jpg colour",
         [](W& t) { return Made(t, "c.jpg", [&](Path p) { return Jpeg(p, t.colour, 1, 1, 0); }); },
         "e0fa8206160052f3"},
        {"jpg grey",
         [](W& t) { return Made(t, "g.jpg", [&](Path p) { return Jpeg(p, t.grey, 0, 1, 0); }); },
         "4eb6f8952e9fc7d2"},
        {"jpg progressive",
         [](W& t) {
             const std::string ppm = WritePictureAsPpm(t.dir, "c.ppm", t.colour);
             const std::string file = t.dir.File("p.jpg");
             EXPECT_TRUE(RunTool({"/usr/bin/cjpeg", "-progressive", "-outfile", file, ppm}));
             return file;
         },
         "e0fa8206160052f3"},
        {"png interlaced",
         [](W& t) { return Made(t, "i.png", [&](Path p) { return Png(p, t.colour, 24, 0); }); },
         "f0c811dde58649f8"},
        {"png plain",
         [](W& t) {
             return Tool(t, "plain.png", {kConvert, OurTiff(t), "-interlace", "none"});
         },
         "f0c811dde58649f8"},
        {"png palette",
         [](W& t) { return Made(t, "p.png", [&](Path p) { return Png(p, t.palette, 8, 256); }); },
         "51a31e76a81be13a"},
        {"tif ours 24", [](W& t) { return OurTiff(t); }, "f0c811dde58649f8"},
        {"tif ours 8",
         [](W& t) { return Made(t, "g.tif", [&](Path p) { return Tiff(p, t.grey, 8); }); },
         "a80cf3697e81e628"},
        {"tif lzw",
         [](W& t) {
             return Tool(t, "lzw.tif", {kTiffcp, "-c", "lzw", OurTiff(t)});
         },
         "f0c811dde58649f8"},
        {"tif tiled",
         [](W& t) {
             return Tool(t, "tiles.tif",
                         {kTiffcp, "-c", "zip", "-t", "-w", "32", "-l", "16", OurTiff(t)});
         },
         "f0c811dde58649f8"},
        {"tif separate planes",
         [](W& t) {
             return Tool(t, "sep.tif", {kTiffcp, "-p", "separate", "-r", "7", OurTiff(t)});
         },
         "f0c811dde58649f8"},
        {"tif strips of 5 rows",
         [](W& t) {
             return Tool(t, "r5.tif", {kTiffcp, "-r", "5", OurTiff(t)});
         },
         "f0c811dde58649f8"},
        {"tif bottom-left",
         [](W& t) {
             std::string file = Tool(t, "bl.tif", {kTiffcp, "-r", "6", OurTiff(t)});
             EXPECT_TRUE(RunTool({"/usr/bin/tiffset", "-s", "274", "4", file}));
             return file;
         },
         "f9d7c92613898358"},
        {"tif bottom-right tiled",
         [](W& t) {
             std::string file = Tool(
                 t, "br.tif", {kTiffcp, "-c", "lzw", "-t", "-w", "16", "-l", "16", OurTiff(t)});
             EXPECT_TRUE(RunTool({"/usr/bin/tiffset", "-s", "274", "3", file}));
             return file;
         },
         "938c1fac188d2a5c"},
        {"tif jpeg ycbcr",
         [](W& t) {
             return Tool(t, "y.tif", {kTiffcp, "-c", "jpeg:90", "-r", "16", OurTiff(t)});
         },
         "9d4c97d2541f76e2"},
        {"tif 16 bits",
         [](W& t) {
             return Tool(t, "deep.tif", {kConvert, OurTiff(t), "-depth", "16"});
         },
         "f0c811dde58649f8"},
        {"tif group 4",
         [](W& t) {
             return Tool(t, "g4.tif", {kConvert, OurTiff(t), "-monochrome", "-compress", "Group4"});
         },
         "fa2dbc3b506d64a9"},
        {"pcx 24",
         [](W& t) { return Made(t, "c.pcx", [&](Path p) { return Pcx(p, t.colour, 24); }); },
         "f0c811dde58649f8"},
        {"pcx 8",
         [](W& t) { return Made(t, "p.pcx", [&](Path p) { return Pcx(p, t.palette, 8); }); },
         "51a31e76a81be13a"},
        {"bmp", [](W& t) { return Made(t, "c.bmp", [&](Path p) { return Bmp(p, t.colour); }); },
         "f0c811dde58649f8"},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = c.make(*this);
        RasterImage image;
        ASSERT_EQ(LoadFile(file, image), 1);
        EXPECT_EQ(Hex(PictureChecksum(image)), c.expected);
    }
    PhotoCdReader reader;
    RasterImage image;
    ASSERT_EQ(reader.OpenRead(PhotoCdPack(*this).c_str(), &image, 0, nullptr), 1);
    ASSERT_EQ(reader.Read(), 1);
    EXPECT_EQ(Hex(PictureChecksum(image)), "9b4e031c4e32128b");
}
