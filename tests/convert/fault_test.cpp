// Faults of the machine rather than of the input: a missing, read-only or full temporary folder,
// an unwritable target folder, a device that refuses writes, a file-size limit hit part-way.
// Each must give its ResultCode, leave no target and no temporary file, and never touch an
// existing target.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "convert/torvenquill.h"
#include "tests/support/test_support.h"

namespace {

class FaultTest : public testing::Test {
protected:
    void SetUp() override {
        WriteTestBmp(dir.File("src.bmp"), 301, 200, picture);
        picture.Free();
        ::chmod(dir.Path().c_str(), 0755);
        ::chmod(dir.File("src.bmp").c_str(), 0644);
        WriteFileBytes(dir.File("keep.bmp"), {1, 2, 3});
    }
    // The folder holds only what the test put there, and keep.bmp is untouched.
    void ExpectNothingWritten(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> expected = {"keep.bmp", "src.bmp"};
        expected.insert(expected.end(), extra.begin(), extra.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(dir.List(), expected);
        EXPECT_EQ(ReadFileBytes(dir.File("keep.bmp")), (Bytes{1, 2, 3}));
    }
    // Runs the CLI; as root it runs as nobody, so that folder permissions apply.
    // wrapper, when given, is a command that runs the CLI (e.g. prlimit with its options).
    CommandResult Cli(const std::vector<std::string>& args, const std::string& tmpdir,
                      const std::string& wrapper = "") {
        std::string line = "trap '' XFSZ; exec " + wrapper + " ";
        if (::geteuid() == 0) line += "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        line += "env TMPDIR='" + tmpdir + "' '" + CliPath() + "'";
        for (const std::string& a : args) line += " '" + a + "'";
        return RunShell(line);
    }

    ScratchDir dir;
    ScratchDir temp;
    RasterImage picture;
};

}  // namespace

TEST_F(FaultTest, ReadOnlyTargetFolderGivesMinusFour) {
    ::chmod(temp.Path().c_str(), 0777);
    ::chmod(dir.Path().c_str(), 0555);
    ::chmod(dir.File("keep.bmp").c_str(), 0666);
    CommandResult r = Cli({dir.File("src.bmp"), dir.File("keep.bmp")}, temp.Path());
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(r.status, 4) << r.errors;
    EXPECT_NE(r.errors.find("cannot write the target (the folder is not writable)"), std::string::npos)
        << r.errors;
    ExpectNothingWritten();
    EXPECT_TRUE(temp.List().empty());
}

TEST_F(FaultTest, ReadOnlyOrMissingTempFolder) {
    ::chmod(dir.Path().c_str(), 0777);
    ::chmod(temp.Path().c_str(), 0555);
    CommandResult r = Cli({dir.File("src.bmp"), dir.File("out.bmp")}, temp.Path());
    EXPECT_EQ(r.status, 3) << r.errors;  // the picture has nowhere to live
    ExpectNothingWritten();
    // A TMPDIR that names no folder falls back to /tmp, and the conversion works.
    r = Cli({dir.File("src.bmp"), dir.File("out.bmp")}, temp.File("missing"));
    EXPECT_EQ(r.status, 0) << r.errors;
    ExpectNothingWritten({"out.bmp"});
}

TEST_F(FaultTest, FullTempFolderFailsCleanly) {
    ScratchDir mountPoint;
    if (::mount("tmpfs", mountPoint.Path().c_str(), "tmpfs", 0, "size=64k,mode=0777") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here";
    }
    {
        PrivateTempFolder unused;  // keeps TMPDIR restored whatever happens
        ::setenv("TMPDIR", mountPoint.Path().c_str(), 1);
        EXPECT_EQ(ConvertToBmp(dir.File("src.bmp").c_str(), dir.File("keep.bmp").c_str()), -3);
        DIR* d = ::opendir(mountPoint.Path().c_str());
        int entries = 0;
        while (dirent* e = ::readdir(d)) entries += e->d_name[0] != '.';
        ::closedir(d);
        EXPECT_EQ(entries, 0);
    }
    ::umount(mountPoint.Path().c_str());
    ExpectNothingWritten();
}

TEST_F(FaultTest, DeviceThatRefusesWrites) {
    for (const char* format : {"jpg", "bmp", "tif", "png", "ppm", "pgm", "pbm", "pcx", "pic", "sgi"}) {
        CommandResult r = RunProgram({CliPath(), "--to", format, dir.File("src.bmp"), "/dev/full"},
                                     {"TMPDIR=" + temp.Path()});
        EXPECT_EQ(r.status, 4) << format << ": " << r.errors;
        struct stat st;
        ASSERT_EQ(::stat("/dev/full", &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << format;  // still the device, never replaced or removed
    }
    EXPECT_TRUE(temp.List().empty());
}

TEST_F(FaultTest, FileSizeLimitHitPartWay) {
    ::chmod(temp.Path().c_str(), 0777);
    ::chmod(dir.Path().c_str(), 0777);
    // Room for the 180,600-byte picture in the temporary folder, not for the 180,854-byte BMP.
    CommandResult r = Cli({dir.File("src.bmp"), dir.File("keep.bmp")}, temp.Path(),
                          "prlimit --fsize=180736");
    EXPECT_EQ(r.status, 4) << r.errors;
    ExpectNothingWritten();
    EXPECT_TRUE(temp.List().empty());
}
