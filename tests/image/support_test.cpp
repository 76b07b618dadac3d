#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <thread>

#include "image/support/file_util.h"
#include "image/support/mapped_buffer.h"
#include "image/support/text_buffer.h"
#include "tests/support/test_support.h"

TEST(MappedBuffer, NamesTakeTheLowestFreeNumberAndDisappearOnRelease) {
    PrivateTempFolder temp;
    MappedBuffer a, b, c;
    ASSERT_EQ(a.Allocate(100, "VODUVIZO", nullptr), 1);
    ASSERT_EQ(b.Allocate(100, "VODUVIZO", nullptr), 1);
    EXPECT_EQ(temp.Leftovers(), (std::vector<std::string>{"VODUVIZO0.tmp", "VODUVIZO1.tmp"}));
    a.Release(1);
    ASSERT_EQ(c.Allocate(10, "VODUVIZO", nullptr), 1);
    EXPECT_EQ(std::string(c.GetPath()), temp.Path() + "/VODUVIZO0.tmp");
    b.Release(1);
    c.Release(1);
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(MappedBuffer, FreshMemoryIsZeroAndPrivate) {
    PrivateTempFolder temp;
    MappedBuffer buffer;
    ASSERT_EQ(buffer.Allocate(70000, "VODUVIZO", nullptr), 1);
    EXPECT_EQ(buffer.GetSize(), 70000u);
    for (uint32_t i = 0; i < buffer.GetSize(); ++i) ASSERT_EQ(buffer.GetData()[i], 0) << i;
    buffer.GetData()[69999] = 7;
    EXPECT_EQ(buffer.Flush(buffer.GetData() + 69999, 1), 1);
    EXPECT_EQ(buffer.Flush(nullptr, 0), 1);
    struct stat st;
    ASSERT_EQ(::stat(buffer.GetPath(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 70000);
}

TEST(MappedBuffer, FailuresLeaveNoFile) {
    PrivateTempFolder temp;
    MappedBuffer buffer;
    EXPECT_EQ(buffer.Allocate(0, "VODUVIZO", nullptr), 0);
    EXPECT_EQ(buffer.Allocate(10, "", nullptr), 0);
    EXPECT_EQ(buffer.GetData(), nullptr);
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(MappedBuffer, ReleaseZeroKeepsTheFileAndTheDestructorRemovesIt) {
    PrivateTempFolder temp;
    std::string path;
    {
        MappedBuffer buffer;
        ASSERT_EQ(buffer.Allocate(16, "VODUVIZO", nullptr), 1);
        path = buffer.GetPath();
        EXPECT_EQ(buffer.Release(0), 1);
        EXPECT_TRUE(PathExists(path));
        EXPECT_EQ(buffer.GetData(), nullptr);
        ::unlink(path.c_str());
        ASSERT_EQ(buffer.Allocate(16, "VODUVIZO", nullptr), 1);
    }
    EXPECT_FALSE(PathExists(path));
}

TEST(MappedBuffer, ConcurrentAllocationsNeverShareAFile) {
    PrivateTempFolder temp;
    constexpr int kThreads = 16;
    std::vector<MappedBuffer> buffers(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&buffers, t] {
            if (buffers[t].Allocate(4096, "VODUVIZO", nullptr)) buffers[t].GetData()[0] = uint8_t(t + 1);
        });
    }
    for (auto& t : threads) t.join();
    std::set<std::string> names;
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_NE(buffers[t].GetData(), nullptr);
        EXPECT_EQ(buffers[t].GetData()[0], t + 1);  // nobody else wrote into this buffer's file
        names.insert(buffers[t].GetPath());
    }
    EXPECT_EQ(names.size(), size_t(kThreads));
}

TEST(TextBuffer, CountsUtf8CharactersOnce) {
    TextBuffer text("改-猫.jpg");
    EXPECT_EQ(text.GetCharCount(), 7);
    TextBuffer part;
    ASSERT_EQ(text.Right(part, 4), 1);
    EXPECT_STREQ(part.GetText(), ".jpg");
    ASSERT_EQ(text.Left(part, 3), 1);
    EXPECT_STREQ(part.GetText(), "改-猫");
    ASSERT_EQ(text.Mid(part, 3, 1), 1);
    EXPECT_STREQ(part.GetText(), "猫");
    ASSERT_EQ(text.Mid(part, 6, 10), 1);
    EXPECT_STREQ(part.GetText(), "pg");
    EXPECT_EQ(text.Left(part, 8), 0);
    ASSERT_EQ(TextBuffer("a猫").Right(part, 1), 1);
    EXPECT_STREQ(part.GetText(), "猫");
}

TEST(TextBuffer, AssignAppendAndNumbers) {
    TextBuffer text;
    EXPECT_EQ(text.Assign(""), 0);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_STREQ(text.GetText(), "");
    EXPECT_EQ(text.Append("x"), 1);
    EXPECT_EQ(text.Append(""), 0);
    text.AppendNumber(-42);
    text.AppendNumber(0);
    EXPECT_STREQ(text.GetText(), "x-420");
    EXPECT_EQ(text.Equals("X-420", 1), 1);
    EXPECT_EQ(text.Equals("X-420", 0), 0);
    text.Free();
    EXPECT_EQ(text.GetCharCount(), 0);
}

TEST(FileUtil, ExistenceDirectoriesAndDeletion) {
    ScratchDir dir;
    std::string file = dir.File("f.bin");
    WriteFileBytes(file, {1, 2, 3});
    EXPECT_EQ(FileUtil::FileExists(file.c_str()), 1);
    EXPECT_EQ(FileUtil::FileExists(dir.Path().c_str()), 1);
    EXPECT_EQ(FileUtil::FileExists(dir.File("*").c_str()), 0);  // no wildcards on Linux
    EXPECT_EQ(FileUtil::FileExists(""), 0);
    EXPECT_EQ(FileUtil::IsDirectory(file.c_str()), 0);
    EXPECT_EQ(FileUtil::IsDirectory((dir.Path() + "/").c_str()), 1);
    EXPECT_EQ(FileUtil::DeleteIfExists(file.c_str()), 1);
    EXPECT_EQ(FileUtil::DeleteIfExists(file.c_str()), 1);
    EXPECT_EQ(FileUtil::FileExists(file.c_str()), 0);
    EXPECT_EQ(FileUtil::DeleteIfExists(dir.Path().c_str()), 0);
    EXPECT_EQ(FileUtil::DeleteIfExists("/dev/null"), 0);  // never a device, even as root
    EXPECT_EQ(FileUtil::FileExists("/dev/null"), 1);
}

TEST(FileUtil, StreamSizeRewindsTheStream) {
    ScratchDir dir;
    WriteFileBytes(dir.File("f"), Bytes(1000, 9));
    FilePtr f(std::fopen(dir.File("f").c_str(), "rb"));
    std::fseek(f.get(), 500, SEEK_SET);
    EXPECT_EQ(FileUtil::GetStreamSize(f.get()), 1000u);
    EXPECT_EQ(std::ftell(f.get()), 0);
    EXPECT_EQ(FileUtil::GetStreamSize(nullptr), 0u);
}

TEST(FileUtil, TrailingSeparators) {
    TextBuffer path("/a/b/");
    FileUtil::RemoveTrailingSeparator(path);
    EXPECT_STREQ(path.GetText(), "/a/b");
    FileUtil::AddTrailingSeparator(path);
    FileUtil::AddTrailingSeparator(path);
    EXPECT_STREQ(path.GetText(), "/a/b/");
    TextBuffer empty;
    EXPECT_EQ(FileUtil::RemoveTrailingSeparator(empty), 0);
}

TEST(FileUtil, TempNamesSkipTakenNumbers) {
    ScratchDir dir;
    WriteFileBytes(dir.File("T0.tmp"), {});
    TextBuffer name;
    ASSERT_EQ(FileUtil::MakeTempFileName(name, "T", dir.Path().c_str()), 1);
    EXPECT_EQ(std::string(name.GetText()), dir.File("T1.tmp"));
    EXPECT_EQ(FileUtil::MakeTempFileName(name, "T", dir.File("missing").c_str()), 0);
}
