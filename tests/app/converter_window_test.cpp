// The window logic driven through the scripted toolkit, with the real library commands on real
// files.
#include "app/converter_window.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>

#include "app/window_texts.h"
#include "tests/app/fake_toolkit.h"
#include "tests/support/test_support.h"

namespace {

using Message = FakeToolkit::Message;

Message Notice(const std::string& text) { return {text, kMessageTitle}; }

FakeToolkit::DialogAnswer Cancel() { return {}; }

FakeToolkit::DialogAnswer Confirm(const std::string& path, std::function<void()> whileOpen = {}) {
    FakeToolkit::DialogAnswer answer;
    answer.confirm = true;
    answer.chosenPath = path;
    answer.whileOpen = std::move(whileOpen);
    return answer;
}

std::vector<std::string> ScratchList(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<Format> AllFormats() {
    std::vector<Format> formats;
    for (const ConversionRow& row : kConversions) formats.push_back(row.format);
    return formats;
}

// The leading bytes every file of the format starts with.
bool HasMagic(Format format, const Bytes& file) {
    auto starts = [&](std::initializer_list<uint8_t> magic) {
        return file.size() >= magic.size() && std::equal(magic.begin(), magic.end(), file.begin());
    };
    switch (format) {
        case Format::Jpg:
            return starts({0xFF, 0xD8, 0xFF});
        case Format::Bmp:
            return starts({'B', 'M'});
        case Format::Tif:
            return starts({'I', 'I', 42, 0}) || starts({'M', 'M', 0, 42});
        case Format::Png:
            return starts({0x89, 'P', 'N', 'G'});
        case Format::Ppm:
            return starts({'P', '6'});
        case Format::Pgm:
            return starts({'P', '5'});
        case Format::Pbm:
            return starts({'P', '4'});
        case Format::Pcx:
            return starts({0x0A});
        case Format::Pic:
            return starts({0x53, 0x80, 0xF6, 0x34});
        case Format::Sgi:
            return starts({0x01, 0xDA});
    }
    return false;
}

// What an independent decoder must see in a file converted from picture.
void ExpectPixelsOf(Format format, const std::string& path, const RasterImage& picture) {
    if (format == Format::Pic) return;  // no independent decoder reads Softimage files
    DecodedPicture decoded;
    ASSERT_TRUE(DecodeWithImageMagick(path, decoded)) << path;
    EXPECT_EQ(decoded.width, picture.GetWidth()) << path;
    EXPECT_EQ(decoded.height, picture.GetHeight()) << path;
    Bytes rgb = RgbOf(picture);
    if (format == Format::Pgm || format == Format::Pbm) {
        for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
            uint8_t grey = GreyLevel(rgb[i], rgb[i + 1], rgb[i + 2]);
            if (format == Format::Pbm) grey = grey < 128 ? 0 : 255;
            rgb[i] = rgb[i + 1] = rgb[i + 2] = grey;
        }
    }
    if (format == Format::Jpg) {
        // Lossy: only ask for colour, which the window requests.
        bool coloured = false;
        for (size_t i = 0; i + 2 < decoded.rgb.size(); i += 3) {
            coloured |=
                decoded.rgb[i] != decoded.rgb[i + 1] || decoded.rgb[i] != decoded.rgb[i + 2];
        }
        EXPECT_TRUE(coloured) << path;
        return;
    }
    EXPECT_EQ(decoded.rgb, rgb) << path;
}

class WindowTest : public testing::Test {
  protected:
    WindowTest() : toolkit(dir.File("work/tmp")), window(toolkit) {}

    void SetUp() override {
        toolkit.Attach(window);
        window.OnWindowCreated();
        WriteTestBmp(dir.File("猫.bmp"), 23, 11, picture);
        // The readers look at a file's bytes, not its name: a BMP picture named .png lets the
        // BMP button (disabled for a .bmp source) run too.
        std::filesystem::copy_file(dir.File("猫.bmp"), dir.File("猫.png"));
        toolkit.TakeButtonWrites();
    }
    void TearDown() override {
        toolkit.WaitForThreads();
        picture.Free();
        EXPECT_EQ(temp.Leftovers(), std::vector<std::string>{});
    }

    // Presses an enabled button and waits for its worker routine.
    void Convert(Format format) {
        ASSERT_TRUE(toolkit.Click(format));
        toolkit.WaitForThreads();
    }
    std::string Output(Format format, const std::string& name) const {
        return dir.File("work/tmp/") + RowOf(format).folder + "/" + name;
    }
    std::vector<Message> NewMessages() {
        std::vector<Message> all = toolkit.Messages();
        std::vector<Message> fresh(all.begin() + long(seen), all.end());
        seen = all.size();
        return fresh;
    }

    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage picture;
    FakeToolkit toolkit;
    ConverterWindow window;
    size_t seen = 1;  // the start-up notice
};

TEST(WindowStartTest, ShowsTheNoticeFirstThenPreparesAndRunsUntilClosed) {
    ScratchDir dir;
    PrivateTempFolder temp;
    const std::string work = dir.File("tmp");
    std::filesystem::create_directory(work);
    WriteFileBytes(dir.File("tmp/keep.bin"), {1, 2, 3});
    RasterImage picture;
    WriteTestBmp(dir.File("a.png"), 5, 4, picture);

    FakeToolkit toolkit(work);
    ConverterWindow window(toolkit);
    toolkit.SetSession([&] {
        window.OnFileDropped(dir.File("a.png"));
        toolkit.HoldThreads();
        ASSERT_TRUE(toolkit.Click(Format::Bmp));
        window.OnExitClicked();
        toolkit.ReleaseThreads();
    });
    EXPECT_EQ(window.StartProgram(), 0);

    // The conversion still running at the close finished before the exit routine ran.
    EXPECT_EQ(toolkit.Events(),
              (std::vector<std::string>{
                  "themed look", "message 说明", "drop target", "create " + work, "focus", "close",
                  "create " + work + "/bmp图片", "message 提示", "exit routine"}));
    EXPECT_EQ(toolkit.Messages().front(), (Message{kNotice, "说明"}));
    EXPECT_EQ(std::string(kNotice),
              "调用Torvenquill进行图像格式转换\r\n支持拖拽图像进程序\r\n"
              "转换图片调用多线程并且未压缩，文件有点大");
    EXPECT_EQ(toolkit.Messages().back(), Notice("BMP格式转换成功！"));
    EXPECT_TRUE(toolkit.Closed());
    EXPECT_TRUE(PathExists(work + "/bmp图片/改-a-1.bmp"));
    EXPECT_EQ(ReadFileBytes(dir.File("tmp/keep.bin")), (Bytes{1, 2, 3}));
    EXPECT_EQ(window.BaseName(), "");  // released by the exit routine
}

TEST_F(WindowTest, PathChangesSetFileNameBaseNameAndButtons) {
    enum Expect { OnlyOneDisabled, AllDisabled, AllEnabled };
    struct Case {
        std::string path;
        std::string fileName;
        std::string baseName;
        Expect buttons;
        Format format = Format::Jpg;
    };
    const Case cases[] = {
        {"/图片/猫.jpg", "猫.jpg", "猫", OnlyOneDisabled, Format::Jpg},
        {"/x/B.PGM", "B.PGM", "B", OnlyOneDisabled, Format::Pgm},
        {"/x/b.pcx", "b.pcx", "b", OnlyOneDisabled, Format::Pcx},
        {"/x/b.Jpg", "b.Jpg", "b", OnlyOneDisabled, Format::Jpg},
        {"/x/照片.jpeg", "照片.jpeg", "照片", OnlyOneDisabled, Format::Jpg},
        {"/x/b.JPE", "b.JPE", "b", OnlyOneDisabled, Format::Jpg},
        {"/x/scan.Tiff", "scan.Tiff", "scan", OnlyOneDisabled, Format::Tif},
        {"/x/a.b.sgi", "a.b.sgi", "a.b", OnlyOneDisabled, Format::Sgi},
        {"/x/disc.PCD", "disc.PCD", "disc", AllEnabled},
        {"/x/.png", ".png", "", OnlyOneDisabled, Format::Png},
        {"/x/b.gif", "b.gif", "b", AllDisabled},
        {"/x/abc", "abc", "", AllDisabled},
        {"/x/bjpg", "bjpg", "", AllDisabled},
        {"/x/相片集/", "相片集", "", AllDisabled},
        {"/x/a.bmp/c", "c", "", AllDisabled},
        {"/x/a.bmp\r\n/x/b.png\r\n", "b.png\r\n", "b.p", AllDisabled},
    };
    for (const Case& c : cases) {
        toolkit.Type(c.path);
        EXPECT_EQ(toolkit.GetText(EditBox::FileName), c.fileName) << c.path;
        EXPECT_EQ(window.BaseName(), c.baseName) << c.path;
        EXPECT_EQ(toolkit.TakeButtonWrites(), AllFormats()) << c.path;
        for (Format format : AllFormats()) {
            bool expected =
                c.buttons == AllEnabled || (c.buttons == OnlyOneDisabled && format != c.format);
            EXPECT_EQ(toolkit.IsEnabled(format), expected) << c.path << " " << RowOf(format).key;
        }
    }
    // Every row, in either case: its own button off, the other nine on, written in table order.
    for (const ConversionRow& row : kConversions) {
        std::string upper = row.key;
        for (char& c : upper) c = char(std::toupper(c));
        for (const std::string& key : {std::string(row.key), upper}) {
            toolkit.Type("/x/图." + key);
            EXPECT_EQ(toolkit.TakeButtonWrites(), AllFormats());
            for (Format format : AllFormats()) {
                EXPECT_EQ(toolkit.IsEnabled(format), format != row.format) << key;
            }
        }
    }
    // Emptying the box disables all ten and keeps the file name and base name.
    toolkit.Type("/图片/猫.jpg");
    toolkit.Type("");
    EXPECT_EQ(toolkit.GetText(EditBox::FileName), "猫.jpg");
    EXPECT_EQ(window.BaseName(), "猫");
    for (Format format : AllFormats()) EXPECT_FALSE(toolkit.IsEnabled(format));
    EXPECT_TRUE(NewMessages().empty());
}

TEST_F(WindowTest, BrowseShowsTheFilterAndPutsTheChosenPathInTheBox) {
    // The very first Browse, cancelled: the box empties and all ten buttons are enabled.
    toolkit.Type("/x/b.gif");
    toolkit.AnswerNextDialog(Cancel());
    window.OnBrowseClicked();
    EXPECT_EQ(toolkit.GetText(EditBox::Path), "");
    for (Format format : AllFormats()) EXPECT_TRUE(toolkit.IsEnabled(format));

    toolkit.AnswerNextDialog(Confirm(dir.File("猫.bmp")));
    window.OnBrowseClicked();
    EXPECT_EQ(toolkit.GetText(EditBox::Path), dir.File("猫.bmp"));
    EXPECT_FALSE(toolkit.IsEnabled(Format::Bmp));
    EXPECT_EQ(window.BaseName(), "猫");

    // A later cancel puts the last confirmed path back.
    toolkit.Type("/x/other.png");
    toolkit.AnswerNextDialog(Cancel());
    window.OnBrowseClicked();
    EXPECT_EQ(toolkit.GetText(EditBox::Path), dir.File("猫.bmp"));
    EXPECT_TRUE(toolkit.IsEnabled(Format::Png));

    std::vector<FakeToolkit::DialogShowing> shown = toolkit.DialogsShown();
    ASSERT_EQ(shown.size(), 3u);
    for (const auto& showing : shown) {
        EXPECT_EQ(showing.dialog, FileDialog::Open);
        EXPECT_EQ(
            showing.filter,
            "JEPG图片文件（*.jpg）|*.jpg|BMP图片文件（*.bmp）|*.bmp|TIF图片文件（*.tif）|*.tif|"
            "PNG图片文件（*.png）|*.png|PPM图片文件（*.ppm）|*.ppm|PBM图片文件（*.pbm）|*.pbm|"
            "PGM图片文件（*.pgm）|*.pgm|PCX图片文件（*.pcx）|*.pcx|PIC图片文件（*.pic）|*.pic|"
            "SGI图片文件（*.sgi）|*.sgi|所有文件（*.*）|*.*");
    }
    EXPECT_EQ(shown[0].fileName, "");
    EXPECT_EQ(shown[2].fileName, dir.File("猫.bmp"));
}

TEST_F(WindowTest, DropFillsThePathAndTheSaveBox) {
    window.OnFileDropped(dir.File("猫.bmp"));
    EXPECT_EQ(toolkit.GetText(EditBox::Path), dir.File("猫.bmp"));
    EXPECT_EQ(toolkit.GetText(EditBox::Save), dir.File("猫.bmp"));
    EXPECT_EQ(toolkit.GetText(EditBox::FileName), "猫.bmp");
    EXPECT_FALSE(toolkit.IsEnabled(Format::Bmp));

    // Dropping the same path again still runs the change handler.
    toolkit.Type("/x/y.gif");
    window.OnFileDropped(dir.File("猫.bmp"));
    EXPECT_FALSE(toolkit.IsEnabled(Format::Bmp));
    EXPECT_TRUE(toolkit.IsEnabled(Format::Jpg));

    // Two files at once: both paths, each followed by CR LF; nothing to convert.
    const std::string two = dir.File("猫.bmp") + "\r\n" + dir.File("猫.png") + "\r\n";
    window.OnFileDropped(two);
    EXPECT_EQ(toolkit.GetText(EditBox::Path), two);
    for (Format format : AllFormats()) EXPECT_FALSE(toolkit.IsEnabled(format));
}

TEST_F(WindowTest, EveryButtonRefusesBeforeASourceIsChosen) {
    for (Format format : AllFormats()) {
        ASSERT_TRUE(toolkit.Click(format));
        toolkit.WaitForThreads();
        EXPECT_EQ(NewMessages(), std::vector<Message>{Notice("请选取文件后，再进行转换！")});
        EXPECT_EQ(window.Counter(format), 0);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("work/tmp")));
    EXPECT_EQ(toolkit.GetText(EditBox::Save), "");
}

TEST_F(WindowTest, EveryButtonConvertsToItsFormat) {
    for (const ConversionRow& row : kConversions) {
        const std::string source = dir.File(row.format == Format::Bmp ? "猫.png" : "猫.bmp");
        window.OnFileDropped(source);
        Convert(row.format);
        const std::string target = Output(row.format, std::string(row.prefix) + "猫-1." + row.key);
        ASSERT_NE(row.command, nullptr) << row.key;
        EXPECT_EQ(NewMessages(), std::vector<Message>{Notice(row.success)}) << row.key;
        EXPECT_EQ(toolkit.GetText(EditBox::Save), target);
        EXPECT_TRUE(HasMagic(row.format, ReadFileBytes(target))) << target;
        ExpectPixelsOf(row.format, target, picture);
        EXPECT_EQ(window.Counter(row.format), 1);
    }
}

TEST_F(WindowTest, NumbersRunPerFormatAcrossSources) {
    window.OnFileDropped(dir.File("猫.bmp"));
    Convert(Format::Jpg);
    Convert(Format::Jpg);
    Convert(Format::Png);
    EXPECT_TRUE(PathExists(Output(Format::Jpg, "转-猫-1.jpg")));
    EXPECT_TRUE(PathExists(Output(Format::Jpg, "转-猫-2.jpg")));
    EXPECT_EQ(toolkit.GetText(EditBox::Save), Output(Format::Png, "改-猫-1.png"));

    // Another source continues the numbering; PBM counts apart from PGM.
    RasterImage other;
    WriteTestBmp(dir.File("狗.bmp"), 9, 6, other, 7);
    window.OnFileDropped(dir.File("狗.bmp"));
    Convert(Format::Jpg);
    Convert(Format::Pbm);
    EXPECT_TRUE(PathExists(Output(Format::Jpg, "转-狗-3.jpg")));
    EXPECT_EQ(toolkit.GetText(EditBox::Save), Output(Format::Pbm, "改-狗-1.pbm"));
    EXPECT_EQ(window.Counter(Format::Jpg), 3);
    EXPECT_EQ(window.Counter(Format::Png), 1);
    EXPECT_EQ(window.Counter(Format::Pbm), 1);
    EXPECT_EQ(window.Counter(Format::Pgm), 0);
    ExpectPixelsOf(Format::Pbm, Output(Format::Pbm, "改-狗-1.pbm"), other);
}

TEST_F(WindowTest, AFourCharacterNameGivesAnEmptyBaseName) {
    std::filesystem::copy_file(dir.File("猫.bmp"), dir.File(".png"));
    window.OnFileDropped(dir.File(".png"));
    Convert(Format::Bmp);
    EXPECT_EQ(NewMessages(), std::vector<Message>{Notice("BMP格式转换成功！")});
    EXPECT_TRUE(PathExists(Output(Format::Bmp, "改--1.bmp")));
}

TEST_F(WindowTest, NumberedNamesPassOverFilesOfEarlierRuns) {
    std::filesystem::create_directories(dir.File("work/tmp/bmp图片"));
    WriteFileBytes(Output(Format::Bmp, "改-猫-1.bmp"), {'o', 'l', 'd'});
    std::filesystem::create_directory(Output(Format::Bmp, "改-猫-2.bmp"));
    window.OnFileDropped(dir.File("猫.png"));
    Convert(Format::Bmp);
    EXPECT_EQ(toolkit.GetText(EditBox::Save), Output(Format::Bmp, "改-猫-3.bmp"));
    EXPECT_EQ(ReadFileBytes(Output(Format::Bmp, "改-猫-3.bmp")), ReadFileBytes(dir.File("猫.bmp")));
    EXPECT_EQ(ReadFileBytes(Output(Format::Bmp, "改-猫-1.bmp")), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(window.Counter(Format::Bmp), 3);
}

TEST_F(WindowTest, FailuresAreReportedWithTheirCauseAndKeepTheSaveBox) {
    WriteFileBytes(dir.File("坏.png"), Bytes(300, 0x5A));
    struct Case {
        std::string source;
        std::string cause;
    };
    const Case cases[] = {
        {dir.File("无.png"), "源文件不存在：" + dir.File("无.png")},
        {dir.File("坏.png"), "无法识别或解码源文件：" + dir.File("坏.png")},
    };
    int32_t number = 0;
    for (const Case& c : cases) {
        window.OnFileDropped(c.source);
        Convert(Format::Bmp);
        EXPECT_EQ(NewMessages(), std::vector<Message>{Notice("BMP格式转换失败！\n" + c.cause)});
        EXPECT_EQ(toolkit.GetText(EditBox::Save), c.source);
        EXPECT_EQ(window.Counter(Format::Bmp), ++number);
    }

    // An empty path box (a cancelled first Browse) passes the source check and fails.
    toolkit.AnswerNextDialog(Cancel());
    window.OnBrowseClicked();
    Convert(Format::Bmp);
    EXPECT_EQ(NewMessages(), std::vector<Message>{Notice("BMP格式转换失败！\n源文件不存在：")});
    EXPECT_EQ(toolkit.GetText(EditBox::Save), dir.File("坏.png"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("work/tmp/bmp图片")));
}

TEST_F(WindowTest, AnUnwritableWorkingFolderIsReported) {
    // The working folder's parent is a file, so no folder can be made there.
    FakeToolkit blocked(dir.File("猫.bmp/tmp"));
    ConverterWindow other(blocked);
    blocked.Attach(other);
    other.OnWindowCreated();
    other.OnFileDropped(dir.File("猫.png"));
    ASSERT_TRUE(blocked.Click(Format::Bmp));
    blocked.WaitForThreads();
    const std::string target = dir.File("猫.bmp/tmp/bmp图片/改-猫-1.bmp");
    EXPECT_EQ(blocked.Messages().back(), Notice("BMP格式转换失败！\n无法写入目标文件：" + target));
    EXPECT_EQ(blocked.GetText(EditBox::Save), dir.File("猫.png"));
}

TEST_F(WindowTest, SaveAsRefusesWithoutAConvertedFile) {
    window.OnSaveAsClicked();
    window.OnFileDropped(dir.File("猫.bmp"));
    window.OnSaveAsClicked();
    EXPECT_EQ(NewMessages(),
              (std::vector<Message>{Notice("请先选取文件，点击需要格式转化后再进行保存！"),
                                    Notice("您选取的文件未转化格式！请点击需要转化的格式！")}));
    EXPECT_TRUE(toolkit.DialogsShown().empty());

    // A dropped Photo CD file, then another path: no Save As row matches, nothing happens.
    window.OnFileDropped("/x/disc.pcd");
    toolkit.Type("/x/y.gif");
    window.OnSaveAsClicked();
    EXPECT_TRUE(NewMessages().empty());
    EXPECT_TRUE(toolkit.DialogsShown().empty());
}

TEST_F(WindowTest, SaveAsFilterAndProposedNameFollowTheSavedFile) {
    // The save box names a dropped file of each format, in either case; the path box moved on.
    for (const ConversionRow& row : kConversions) {
        std::string key = row.key;
        if (row.format == Format::Pgm || row.format == Format::Sgi) {
            for (char& c : key) c = char(std::toupper(c));
        }
        window.OnFileDropped("/x/dropped." + key);
        toolkit.Type("/x/猫.gif");
        toolkit.AnswerNextDialog(Cancel());
        window.OnSaveAsClicked();
        const FakeToolkit::DialogShowing shown = toolkit.DialogsShown().back();
        EXPECT_EQ(shown.dialog, FileDialog::Save);
        EXPECT_EQ(shown.filter, std::string(row.filterDescription) + "|*." + row.key);
        EXPECT_EQ(shown.fileName, std::string("改-猫-0.") + row.key);
    }
    EXPECT_EQ(toolkit.DialogsShown().size(), kConversions.size());
    EXPECT_TRUE(NewMessages().empty());
}

TEST_F(WindowTest, SaveAsCopiesTheFileNamedAtTheClick) {
    window.OnFileDropped(dir.File("猫.png"));
    Convert(Format::Bmp);
    const std::string first = Output(Format::Bmp, "改-猫-1.bmp");
    std::filesystem::create_directory(dir.File("saved"));

    // A cancelled dialog writes nothing.
    toolkit.AnswerNextDialog(Cancel());
    window.OnSaveAsClicked();
    toolkit.WaitForThreads();
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("saved")));

    // While the dialog is open another conversion replaces the save box; the copy is still of
    // the file named at the click.
    RasterImage other;
    WriteTestBmp(dir.File("狗.png"), 8, 8, other, 3);
    toolkit.AnswerNextDialog(Confirm(dir.File("saved/copy.bmp"), [&] {
        window.OnFileDropped(dir.File("狗.png"));
        Convert(Format::Bmp);
    }));
    window.OnSaveAsClicked();
    toolkit.WaitForThreads();
    EXPECT_EQ(toolkit.DialogsShown().back().filter, "BMP图片文件（*.bmp）|*.bmp");
    EXPECT_EQ(toolkit.DialogsShown().back().fileName, "改-猫-1.bmp");
    EXPECT_EQ(toolkit.GetText(EditBox::Save), Output(Format::Bmp, "改-狗-2.bmp"));
    EXPECT_EQ(ReadFileBytes(dir.File("saved/copy.bmp")), ReadFileBytes(first));

    // Saving over an existing file replaces it whole; no temporary file stays beside it.
    toolkit.AnswerNextDialog(Confirm(dir.File("saved/copy.bmp")));
    window.OnSaveAsClicked();
    toolkit.WaitForThreads();
    EXPECT_EQ(toolkit.DialogsShown().back().fileName, "改-狗-2.bmp");
    EXPECT_EQ(ReadFileBytes(dir.File("saved/copy.bmp")),
              ReadFileBytes(Output(Format::Bmp, "改-狗-2.bmp")));
    EXPECT_EQ(ScratchList(dir.File("saved")), std::vector<std::string>{"copy.bmp"});
    EXPECT_EQ(NewMessages(),
              (std::vector<Message>{Notice("BMP格式转换成功！"), Notice("BMP格式转换成功！")}));
}

TEST_F(WindowTest, SaveAsOfADroppedUpperCaseFileCopiesItAsItIs) {
    std::filesystem::copy_file(dir.File("猫.bmp"), dir.File("X.BMP"));
    window.OnFileDropped(dir.File("X.BMP"));
    toolkit.Type(dir.File("猫.bmp"));
    toolkit.AnswerNextDialog(Confirm(dir.File("copy.bmp")));
    window.OnSaveAsClicked();
    toolkit.WaitForThreads();
    EXPECT_EQ(toolkit.DialogsShown().back().filter, "BMP图片文件（*.bmp）|*.bmp");
    EXPECT_EQ(ReadFileBytes(dir.File("copy.bmp")), ReadFileBytes(dir.File("X.BMP")));
    EXPECT_TRUE(NewMessages().empty());
}

TEST_F(WindowTest, SaveAsReportsACopyThatFailed) {
    window.OnFileDropped(dir.File("猫.png"));
    Convert(Format::Bmp);
    NewMessages();
    const std::string converted = Output(Format::Bmp, "改-猫-1.bmp");

    toolkit.AnswerNextDialog(Confirm(dir.File("missing/copy.bmp")));
    window.OnSaveAsClicked();
    toolkit.WaitForThreads();
    EXPECT_EQ(NewMessages(),
              std::vector<Message>{Notice("保存失败！\n" + dir.File("missing/copy.bmp"))});

    std::filesystem::remove(converted);
    toolkit.AnswerNextDialog(Confirm(dir.File("copy.bmp")));
    window.OnSaveAsClicked();
    toolkit.WaitForThreads();
    EXPECT_EQ(NewMessages(), std::vector<Message>{Notice("保存失败！\n" + converted)});
    EXPECT_FALSE(PathExists(dir.File("copy.bmp")));
}

TEST_F(WindowTest, ExitClosesTheWindow) {
    window.OnExitClicked();
    EXPECT_TRUE(toolkit.Closed());
}

TEST_F(WindowTest, ConversionsStartedTogetherGetDistinctNumbersAndCorrectFiles) {
    RasterImage large;
    WriteTestBmp(dir.File("大.png"), 640, 480, large, 11);
    window.OnFileDropped(dir.File("大.png"));

    // Every click returns before any conversion has begun: the window never waits for one.
    toolkit.HoldThreads();
    std::map<Format, int> presses;
    for (const ConversionRow& row : kConversions) {
        if (!toolkit.IsEnabled(row.format)) continue;
        presses[row.format] = row.format == Format::Bmp ? 4 : 2;
        for (int i = 0; i < presses[row.format]; ++i) ASSERT_TRUE(toolkit.Click(row.format));
    }
    for (const auto& [format, count] : presses) EXPECT_EQ(window.Counter(format), 0);
    window.OnSaveAsClicked();  // the window still answers
    EXPECT_EQ(NewMessages(),
              std::vector<Message>{Notice("您选取的文件未转化格式！请点击需要转化的格式！")});
    toolkit.ReleaseThreads();
    toolkit.WaitForThreads();

    size_t successes = 0;
    for (const auto& [format, count] : presses) {
        const ConversionRow& row = RowOf(format);
        EXPECT_EQ(window.Counter(format), count);
        Bytes firstFile;
        for (int n = 1; n <= count; ++n) {
            const std::string path =
                Output(format, std::string(row.prefix) + "大-" + std::to_string(n) + "." + row.key);
            Bytes file = ReadFileBytes(path);
            EXPECT_TRUE(HasMagic(format, file)) << path;
            if (n == 1) {
                ExpectPixelsOf(format, path, large);
                firstFile = file;
            } else {
                EXPECT_EQ(file, firstFile) << path;
            }
        }
        EXPECT_EQ(ScratchList(dir.File("work/tmp/") + row.folder).size(), size_t(count));
        successes += size_t(count);
    }
    std::vector<Message> messages = NewMessages();
    EXPECT_EQ(messages.size(), successes);
    for (const Message& message : messages)
        EXPECT_NE(message.text.find("转换成功"), std::string::npos);
}

}  // namespace
