// ConvertToJpg, ConvertToPng and ConvertToTif: their argument checks, the choices they pass to
// the writers, bad sources of the three formats, the torvenquill command's rows for them, and
// conversions running on several threads at once.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>

#include "convert/torvenquill.h"
#include "tests/formats/lib_fixtures.h"

namespace {

class JpegPngTiffCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FillTestPicture(picture, 45, 29);
        std::string ppm = WritePictureAsPpm(dir, "source.ppm", picture);
        jpg = dir.File("source.jpg");
        png = dir.File("source.png");
        tif = dir.File("source.tif");
        ASSERT_TRUE(RunTool({"/usr/bin/cjpeg", "-outfile", jpg, ppm}));
        ASSERT_TRUE(RunTool({"/usr/bin/pnmtopng", ppm}, png));
        ASSERT_TRUE(RunTool({"/usr/bin/convert-im6.q16", ppm, "-compress", "LZW", tif}));
        RasterImage unused;
        WriteTestBmp(dir.File("source.bmp"), 45, 29, unused);
        temp.emplace();
    }

    std::string Out(const std::string& name) { return out.File(name); }

    ScratchDir dir;
    ScratchDir out;
    RasterImage picture;
    std::string jpg, png, tif;
    std::optional<PrivateTempFolder> temp;
};

TEST_F(JpegPngTiffCommandsTest, ArgumentsOutOfRangeGiveMinusSevenAndTouchNothing) {
    struct JpgArguments {
        int32_t quality, smoothing;
    };
    for (JpgArguments a : {JpgArguments{0, 50}, {101, 50}, {99, -1}, {99, 101}}) {
        EXPECT_EQ(ConvertToJpg(png.c_str(), Out("a.jpg").c_str(), 0, a.quality, 1, a.smoothing),
                  TVQ_RESULT_BAD_ARGUMENTS);
    }
    for (int32_t bits : {8, 32, 0}) {
        EXPECT_EQ(ConvertToPng(jpg.c_str(), Out("a.png").c_str(), bits), TVQ_RESULT_BAD_ARGUMENTS);
    }
    EXPECT_EQ(ConvertToTif(nullptr, Out("a.tif").c_str(), 0), TVQ_RESULT_BAD_ARGUMENTS);
    EXPECT_EQ(ConvertToPng(jpg.c_str(), nullptr, 24), TVQ_RESULT_BAD_ARGUMENTS);
    EXPECT_EQ(ConvertToJpg(nullptr, Out("a.jpg").c_str(), 0, 99, 1, 50), TVQ_RESULT_BAD_ARGUMENTS);
    EXPECT_TRUE(out.List().empty());

    for (JpgArguments a : {JpgArguments{1, 0}, {100, 100}}) {
        EXPECT_EQ(ConvertToJpg(png.c_str(), Out("edge.jpg").c_str(), 0, a.quality, 1, a.smoothing),
                  TVQ_RESULT_OK);
    }
    EXPECT_EQ(ConvertToJpg("", Out("b.jpg").c_str(), 0, 99, 1, 50), TVQ_RESULT_SOURCE_NOT_FOUND);
}

// Grey output only for a grayscale argument of exactly 1; PNG always RGB, even from grey.
TEST_F(JpegPngTiffCommandsTest, TheGreyFlagsChooseTheWritersForm) {
    struct Case {
        const char* name;
        std::function<int32_t(const std::string& target)> convert;
        const char* mode;
    };
    const Case cases[] = {
        {"jpg colour", [&](auto& t) { return ConvertToJpg(tif.c_str(), t.c_str(), 0, 99, 1, 50); },
         "RGB"},
        {"jpg grey", [&](auto& t) { return ConvertToJpg(tif.c_str(), t.c_str(), 1, 99, 1, 50); },
         "L"},
        {"jpg flag 2", [&](auto& t) { return ConvertToJpg(tif.c_str(), t.c_str(), 2, 99, 1, 50); },
         "RGB"},
        {"tif colour", [&](auto& t) { return ConvertToTif(jpg.c_str(), t.c_str(), 0); }, "RGB"},
        {"tif grey", [&](auto& t) { return ConvertToTif(jpg.c_str(), t.c_str(), 1); }, "P"},
        {"tif flag -1", [&](auto& t) { return ConvertToTif(jpg.c_str(), t.c_str(), -1); }, "RGB"},
        {"png", [&](auto& t) { return ConvertToPng(jpg.c_str(), t.c_str(), 24); }, "RGB"},
    };
    std::string greyJpg = Out("grey.jpg");
    ASSERT_EQ(ConvertToJpg(png.c_str(), greyJpg.c_str(), 1, 90, 1, 0), TVQ_RESULT_OK);
    std::string greyPng = Out("grey.png");
    ASSERT_EQ(ConvertToPng(greyJpg.c_str(), greyPng.c_str(), 24), TVQ_RESULT_OK);
    EXPECT_EQ(PillowMode(greyPng), "RGB");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string target = Out("target");
        ASSERT_EQ(c.convert(target), TVQ_RESULT_OK);
        EXPECT_EQ(PillowMode(target), c.mode);
    }
}

TEST_F(JpegPngTiffCommandsTest, LosslessTargetsKeepEverySourcePixel) {
    const std::string sources[] = {png, tif, dir.File("source.bmp")};
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        RasterImage loaded;
        ASSERT_EQ(LoadFile(source, loaded), TVQ_RESULT_OK);
        for (const char* name : {"copy.png", "copy.tif"}) {
            std::string target = Out(name);
            int32_t result = name[5] == 'p' ? ConvertToPng(source.c_str(), target.c_str(), 24)
                                            : ConvertToTif(source.c_str(), target.c_str(), 0);
            ASSERT_EQ(result, TVQ_RESULT_OK);
            DecodedPicture decoded;
            ASSERT_TRUE(DecodeWithImageMagick(target, decoded));
            EXPECT_EQ(decoded.rgb, RgbOf(loaded));
        }
    }
}

struct BadSource {
    const char* name;
    std::function<Bytes(const JpegPngTiffCommandsTest&, const std::string&)> make;
};

// Truncated and damaged files of each format: result -3 from every command and from the
// torvenquill command, a message that says so, no target and no temporary file left behind.
TEST_F(JpegPngTiffCommandsTest, BadSourcesFailCleanlyThroughLibraryAndCommandLine) {
    auto cut = [](const std::string& path, double part) {
        Bytes b = ReadFileBytes(path);
        return Truncated(b, size_t(double(b.size()) * part));
    };
    auto flip = [](const std::string& path, size_t from) {
        Bytes b = ReadFileBytes(path);
        for (size_t i = from; i < b.size(); i += 7) b[i] ^= 0x5A;
        return b;
    };
    const std::pair<const char*, Bytes> bad[] = {
        {"cut.jpg", cut(jpg, 0.6)}, {"damaged.jpg", flip(jpg, 2)},
        {"cut.png", cut(png, 0.6)}, {"damaged.png", flip(png, 40)},
        {"cut.tif", cut(tif, 0.6)}, {"damaged.tif", flip(tif, 8)},
        {"empty.png", Bytes{}},     {"header-only.jpg", Truncated(ReadFileBytes(jpg), 2)},
    };
    for (const auto& [name, bytes] : bad) {
        SCOPED_TRACE(name);
        std::string source = dir.File(name);
        WriteFileBytes(source, bytes);
        EXPECT_EQ(ConvertToJpg(source.c_str(), Out("t.jpg").c_str(), 0, 99, 1, 50),
                  TVQ_RESULT_SOURCE_UNREADABLE);
        EXPECT_EQ(ConvertToPng(source.c_str(), Out("t.png").c_str(), 24),
                  TVQ_RESULT_SOURCE_UNREADABLE);
        EXPECT_EQ(ConvertToTif(source.c_str(), Out("t.tif").c_str(), 1),
                  TVQ_RESULT_SOURCE_UNREADABLE);
        CommandResult cli =
            RunProgram({CliPath(), source, Out("t.png")}, {"TMPDIR=" + temp->Path()});
        EXPECT_EQ(cli.status, 3);
        EXPECT_EQ(cli.errors, "torvenquill: " + source + ": not an image this program can read\n");
        EXPECT_TRUE(out.List().empty());
        EXPECT_TRUE(temp->Leftovers().empty());
    }
}

// Each option reaches its command unchanged: the tool's file equals the library's own.
TEST_F(JpegPngTiffCommandsTest, TheCommandLineRowsPassTheirOptions) {
    struct Case {
        std::vector<std::string> arguments;  // before SOURCE TARGET
        const char* target;
        std::function<int32_t(const char* target)> direct;
    };
    const char* source = png.c_str();
    const Case cases[] = {
        {{}, "a.jpg", [&](auto t) { return ConvertToJpg(source, t, 0, 99, 1, 50); }},
        {{"--quality", "60", "--smoothing", "0", "--no-optimize", "--grey"},
         "b.JPEG",
         [&](auto t) { return ConvertToJpg(source, t, 1, 60, 0, 0); }},
        {{"--quality", "100"},
         "c.jpe",
         [&](auto t) { return ConvertToJpg(source, t, 0, 100, 1, 50); }},
        {{}, "d.tif", [&](auto t) { return ConvertToTif(source, t, 0); }},
        {{"--grey"}, "e.tiff", [&](auto t) { return ConvertToTif(source, t, 1); }},
        {{"--to", "png"}, "f.out", [&](auto t) { return ConvertToPng(source, t, 24); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        std::vector<std::string> argv{CliPath()};
        argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
        argv.insert(argv.end(), {png, Out(c.target)});
        CommandResult r = RunProgram(argv);
        ASSERT_EQ(r.status, 0) << r.errors;
        std::string expected = Out(std::string("direct-") + c.target);
        ASSERT_EQ(c.direct(expected.c_str()), TVQ_RESULT_OK);
        EXPECT_EQ(ReadFileBytes(Out(c.target)), ReadFileBytes(expected));
    }
    for (std::vector<std::string> wrong : {std::vector<std::string>{"--grey", "x.png"},
                                           {"--quality", "50", "x.tif"},
                                           {"--plain", "x.jpg"},
                                           {"--quality", "0", "x.jpg"}}) {
        std::vector<std::string> argv{CliPath(), png};
        argv.insert(argv.begin() + 1, wrong.begin(), wrong.end() - 1);
        argv.push_back(Out(wrong.back()));
        EXPECT_EQ(RunProgram(argv).status, 7) << wrong[0];
        EXPECT_FALSE(PathExists(Out(wrong.back())));
    }
}

// Conversions of different formats on different threads give the files they give one at a time.
TEST_F(JpegPngTiffCommandsTest, ConcurrentConversionsGiveTheSameFilesAsSequentialOnes) {
    const std::string sources[] = {jpg, png, tif, dir.File("source.bmp")};
    std::vector<std::function<int32_t(const std::string& source, const std::string& target)>>
        writers = {
            [](auto& s, auto& t) { return ConvertToJpg(s.c_str(), t.c_str(), 0, 99, 1, 50); },
            [](auto& s, auto& t) { return ConvertToPng(s.c_str(), t.c_str(), 24); },
            [](auto& s, auto& t) { return ConvertToTif(s.c_str(), t.c_str(), 1); },
            [](auto& s, auto& t) { return ConvertToBmp(s.c_str(), t.c_str()); },
        };
    constexpr int kRounds = 3;
    auto name = [](const char* run, size_t s, size_t w, int round) {
        return std::string(run) + std::to_string(s) + "-" + std::to_string(w) + "-" +
               std::to_string(round);
    };
    for (size_t s = 0; s < 4; ++s) {
        for (size_t w = 0; w < writers.size(); ++w) {
            ASSERT_EQ(writers[w](sources[s], Out(name("one", s, w, 0))), TVQ_RESULT_OK);
        }
    }
    std::vector<std::thread> threads;
    std::vector<int32_t> results(4 * writers.size() * kRounds, 0);
    for (size_t s = 0; s < 4; ++s) {
        for (size_t w = 0; w < writers.size(); ++w) {
            threads.emplace_back([&, s, w] {
                for (int round = 0; round < kRounds; ++round) {
                    results[(s * writers.size() + w) * kRounds + size_t(round)] =
                        writers[(w + size_t(round)) % writers.size()](
                            sources[s],
                            Out(name("many", s, (w + size_t(round)) % writers.size(), round)));
                }
            });
        }
    }
    for (std::thread& t : threads) t.join();
    for (int32_t r : results) EXPECT_EQ(r, TVQ_RESULT_OK);
    for (size_t s = 0; s < 4; ++s) {
        for (size_t w0 = 0; w0 < writers.size(); ++w0) {
            for (int round = 0; round < kRounds; ++round) {
                size_t w = (w0 + size_t(round)) % writers.size();
                EXPECT_EQ(ReadFileBytes(Out(name("many", s, w, round))),
                          ReadFileBytes(Out(name("one", s, w, 0))))
                    << s << " " << w << " " << round;
            }
        }
    }
    EXPECT_TRUE(temp->Leftovers().empty());
}

}  // namespace
