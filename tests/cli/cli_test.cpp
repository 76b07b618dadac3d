#include <gtest/gtest.h>

#include "image/support/byte_order.h"
#include "tests/support/test_support.h"

namespace {

class CliTest : public testing::Test {
protected:
    void SetUp() override { WriteTestBmp(dir.File("a.bmp"), 19, 7, picture); }
    void TearDown() override { EXPECT_TRUE(temp.List().empty()); }
    CommandResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), CliPath());
        return RunProgram(args, {"TMPDIR=" + temp.Path()});
    }

    ScratchDir dir;
    ScratchDir temp;
    RasterImage picture;
};

}  // namespace

TEST_F(CliTest, ConvertsBmpLayoutsKeepingEveryPixel) {
    // Bottom-up (our writer), top-down and OS/2 core variants made by an independent encoder.
    const std::pair<std::string, std::string> variants[] = {
        {"a.bmp", ""},
        {"im3.bmp", "BMP3:"},
        {"os2.bmp", "BMP2:"},
    };
    for (const auto& [name, imFormat] : variants) {
        if (!imFormat.empty()) {
            ASSERT_EQ(RunProgram({"/usr/bin/convert-im6.q16", dir.File("a.bmp"), "-type", "TrueColor",
                                  imFormat + dir.File(name)}).status, 0);
        }
        CommandResult r = Cli({dir.File(name), dir.File("out.BMP")});
        EXPECT_EQ(r.status, 0) << name << ": " << r.errors;
        EXPECT_EQ(r.output, "");
        DecodedPicture decoded;
        ASSERT_TRUE(DecodeWithImageMagick(dir.File("out.BMP"), decoded)) << name;
        EXPECT_EQ(decoded.width, 19);
        EXPECT_EQ(decoded.rgb, RgbOf(picture)) << name;
    }
}

TEST_F(CliTest, ReadsTopDownAndBitfieldFiles) {
    Bytes file = ReadFileBytes(dir.File("a.bmp"));
    // Make it top-down: negate the height and reverse the rows.
    const uint32_t stride = (19 * 3 + 3) & ~3u;
    Bytes topDown(file.begin(), file.begin() + 54);
    PutU32le(&topDown[22], uint32_t(-7));
    PutU32le(&topDown[30], 3);  // compression 3 reads as plain pixels
    for (int r = 6; r >= 0; --r) {
        topDown.insert(topDown.end(), file.begin() + 54 + r * stride, file.begin() + 54 + (r + 1) * stride);
    }
    WriteFileBytes(dir.File("td.bmp"), topDown);
    ASSERT_EQ(Cli({dir.File("td.bmp"), dir.File("td-out.bmp")}).status, 0);
    EXPECT_EQ(ReadFileBytes(dir.File("td-out.bmp")), file);
}

TEST_F(CliTest, FailuresSayWhatWentWrongWithDistinctStatuses) {
    WriteFileBytes(dir.File("junk.bmp"), {1, 2, 3, 4});
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{dir.File("none.bmp"), dir.File("o.bmp")}, 2, "none.bmp: no such file"},
        {{dir.File("junk.bmp"), dir.File("o.bmp")}, 3, "junk.bmp: not an image this program can read"},
        {{dir.File("a.bmp"), dir.File("nodir/o.bmp")}, 4, "cannot write the target (the folder does not exist)"},
        {{dir.File("a.bmp"), dir.File("o.xyz")}, 7, "cannot write xyz files"},
        {{dir.File("a.bmp"), dir.File("o")}, 7, "use --to FORMAT"},
        {{"--bogus", dir.File("a.bmp"), dir.File("o.bmp")}, 7, "invalid option: --bogus"},
        {{"--plain", dir.File("a.bmp"), dir.File("o.bmp")}, 7, "does not apply to bmp"},
        {{dir.File("a.bmp")}, 7, "expected a SOURCE and a TARGET"},
    };
    for (const Case& c : cases) {
        CommandResult r = Cli(c.args);
        EXPECT_EQ(r.status, c.status) << c.message;
        EXPECT_NE(r.errors.find(c.message), std::string::npos) << r.errors;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
        EXPECT_FALSE(PathExists(dir.File("o.bmp")));
    }
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.bmp", "junk.bmp"}));
}

TEST_F(CliTest, FormatFromToOptionHelpAndVersion) {
    ASSERT_EQ(Cli({"--to", "BMP", dir.File("a.bmp"), dir.File("plain-name")}).status, 0);
    DecodedPicture decoded;
    ASSERT_TRUE(DecodeWithImageMagick(dir.File("plain-name"), decoded));
    EXPECT_EQ(decoded.rgb, RgbOf(picture));
    CommandResult help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("Usage: torvenquill"), std::string::npos);
    CommandResult version = Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("torvenquill ", 0), 0u);
}
