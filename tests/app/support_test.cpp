// The window's own helpers: text in characters, the working folder's place, whole-file writes,
// and the program's answer when there is no display.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "app/file_ops.h"
#include "app/path_text.h"
#include "app/working_folder.h"
#include "tests/support/test_support.h"

TEST(PathTextTest, CountsAndCutsInCharacters) {
    EXPECT_EQ(CharacterCount("猫.jpg"), 5u);
    EXPECT_EQ(LeftCharacters("猫咪.jpg", 2), "猫咪");
    EXPECT_EQ(LeftCharacters("猫咪.jpg", 0), "");
    EXPECT_EQ(LeftCharacters("猫咪.jpg", -3), "");
    EXPECT_EQ(LeftCharacters("猫咪", 9), "猫咪");
    EXPECT_EQ(BaseNameOf("猫咪照片"), "");
    EXPECT_EQ(BaseNameOf("猫咪照片集"), "猫");
    EXPECT_EQ(BaseNameOf("a.pcd"), "a");

    using Pieces = std::vector<std::string>;
    EXPECT_EQ(SplitText("", '/'), Pieces{});
    EXPECT_EQ(SplitText("/", '/'), Pieces{""});
    EXPECT_EQ(SplitText("a/b/", '/'), (Pieces{"a", "b"}));
    EXPECT_EQ(SplitText("a//", '/'), (Pieces{"a", ""}));
    EXPECT_EQ(SplitText("/图片/猫.jpg", '/'), (Pieces{"", "图片", "猫.jpg"}));
}

TEST(WorkingFolderTest, PrefersTmpBesideTheProgramElseTheUsersCache) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.File("bin"));
    EXPECT_EQ(ChooseWorkingFolder(dir.File("bin"), "", "/home/u"), dir.File("bin/tmp"));
    std::filesystem::create_directories(dir.File("bin/tmp"));
    EXPECT_EQ(ChooseWorkingFolder(dir.File("bin"), "", "/home/u"), dir.File("bin/tmp"));

    // "tmp" there cannot hold files: the per-user cache takes its place.
    WriteFileBytes(dir.File("ro/tmp"), {});
    EXPECT_EQ(ChooseWorkingFolder(dir.File("ro"), "", "/home/u"), "/home/u/.cache/lumenvex/tmp");
    EXPECT_EQ(ChooseWorkingFolder(dir.File("ro"), "/c", "/home/u"), "/c/lumenvex/tmp");
    EXPECT_EQ(ChooseWorkingFolder(dir.File("ro"), "rel", "/home/u"), "/home/u/.cache/lumenvex/tmp");
    EXPECT_EQ(ChooseWorkingFolder(dir.File("gone"), "/c", "/home/u"), "/c/lumenvex/tmp");
    if (::geteuid() != 0) {
        std::filesystem::create_directories(dir.File("locked"));
        ::chmod(dir.File("locked").c_str(), 0500);
        EXPECT_EQ(ChooseWorkingFolder(dir.File("locked"), "/c", "/h"), "/c/lumenvex/tmp");
    }
}

TEST(FileOpsTest, WritesWholeFilesOrLeavesTheTargetAlone) {
    ScratchDir dir;
    const std::vector<uint8_t> bytes = {'n', 'e', 'w', 0, 1};
    WriteFileBytes(dir.File("t.bin"), {'o', 'l', 'd'});
    ASSERT_TRUE(files::WriteAtomically(dir.File("t.bin"), bytes));
    std::vector<uint8_t> read;
    ASSERT_TRUE(files::ReadWhole(dir.File("t.bin"), read));
    EXPECT_EQ(read, bytes);

    // A folder in the way of the rename: the write fails and nothing is left behind.
    std::filesystem::create_directories(dir.File("d/inner"));
    EXPECT_FALSE(files::WriteAtomically(dir.File("d"), bytes));
    EXPECT_FALSE(files::WriteAtomically(dir.File("none/t.bin"), bytes));
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"d", "t.bin"}));
    EXPECT_FALSE(files::ReadWhole(dir.File("d"), read));
    EXPECT_FALSE(files::ReadWhole(dir.File("none"), read));
    ASSERT_TRUE(files::ReadWhole(dir.File("empty"), read) == false);
    WriteFileBytes(dir.File("empty"), {});
    EXPECT_TRUE(files::ReadWhole(dir.File("empty"), read));
    EXPECT_TRUE(read.empty());

    EXPECT_TRUE(files::CreateFolders(dir.File("a/b/c")));
    EXPECT_TRUE(files::CreateFolders(dir.File("a/b/c")));
    EXPECT_FALSE(files::CreateFolders(dir.File("t.bin/x")));
}

TEST(ProgramTest, WithoutADisplayPointsToTheCommand) {
    CommandResult r =
        RunProgram({LUMENVEX_PROGRAM}, {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_NE(r.errors.find("needs a graphical display"), std::string::npos) << r.errors;
    EXPECT_NE(r.errors.find("torvenquill SOURCE TARGET"), std::string::npos) << r.errors;
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1);
}
