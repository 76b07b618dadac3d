// The real Qt window, offscreen: its controls, a drop, conversions, message boxes from worker
// threads, Save As through the real file dialog, and closing while work is pending.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <optional>

#include "app/converter_window.h"
#include "app/qt/qt_toolkit.h"
#include "tests/support/test_support.h"

namespace {

// Runs the window's events until condition holds. A hang ends in the test's time limit.
template <typename Condition>
void Until(Condition condition) {
    while (!condition()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Answers the modal boxes and file dialogs that the window thread opens, from a timer that
// also runs inside their own event loops.
class ModalAnswerer {
  public:
    struct Seen {
        QString title;
        QString text;
        bool dropsAccepted;  // whether the window took drops while this was open
    };
    struct DialogSeen {
        QStringList filters;
        QString fileName;
    };

    explicit ModalAnswerer(QtToolkit& toolkit) : toolkit(toolkit) {
        QObject::connect(&timer, &QTimer::timeout, [this] { Tick(); });
        timer.start(10);
    }
    // The next file dialog: choose path, or cancel for nullopt.
    void Answer(std::optional<std::string> path) { answers.push_back(std::move(path)); }
    // Runs while the next modal box is open, before it is dismissed.
    void WhileNextBoxOpen(std::function<void()> action) { whileOpen = std::move(action); }

    std::vector<Seen> boxes;
    std::vector<DialogSeen> dialogs;

  private:
    void Tick() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            MainWindow* window = toolkit.Window();
            if (whileOpen) std::exchange(whileOpen, {})();
            boxes.push_back({box->windowTitle(), box->text(), window && window->acceptDrops()});
            box->button(QMessageBox::Ok)->click();
        } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            if (answers.empty()) return;
            auto* nameBox = dialog->findChild<QLineEdit*>("fileNameEdit");
            dialogs.push_back({dialog->nameFilters(), nameBox ? nameBox->text() : QString()});
            std::optional<std::string> answer = answers.front();
            answers.pop_front();
            if (answer) {
                dialog->selectFile(Q(*answer));
                static_cast<QDialog*>(dialog)->accept();
            } else {
                dialog->reject();
            }
        }
    }

    QtToolkit& toolkit;
    QTimer timer;
    std::deque<std::optional<std::string>> answers;
    std::function<void()> whileOpen;
};

void Drop(QWidget* window, const std::vector<std::string>& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) urls << QUrl::fromLocalFile(Q(path));
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
}

// The visible non-modal boxes the workers opened.
std::vector<QMessageBox*> WorkerBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box != nullptr && box->isVisible() && box->windowModality() == Qt::NonModal) {
            boxes.push_back(box);
        }
    }
    return boxes;
}

QMessageBox* NextWorkerBox() {
    Until([] { return !WorkerBoxes().empty(); });
    return WorkerBoxes().front();
}

class QtWindowTest : public testing::Test {
  protected:
    QtWindowTest() : toolkit(dir.File("work/tmp")), window(toolkit) {}

    void SetUp() override {
        // A drop while the notice is open must not be taken.
        answerer.WhileNextBoxOpen([this] { Drop(Window(), {dir.File("early.png")}); });
        toolkit.Open(window);
        Until([this] { return !answerer.boxes.empty(); });  // the start-up notice
    }
    void TearDown() override {
        for (QMessageBox* box : WorkerBoxes()) box->button(QMessageBox::Ok)->click();
        toolkit.Finish();
        picture.Free();
        EXPECT_EQ(temp.Leftovers(), std::vector<std::string>{});
    }

    MainWindow* Window() { return toolkit.Window(); }
    QPushButton* Button(const char* name) {
        return Window()->findChild<QPushButton*>(QString::fromUtf8(name));
    }
    QString BoxText(EditBox box) { return Window()->Box(box)->text(); }
    std::string Output(const char* folder, const std::string& name) {
        return dir.File("work/tmp/") + folder + "/" + name;
    }

    PrivateTempFolder temp;
    ScratchDir dir;
    RasterImage picture;
    QtToolkit toolkit;
    ConverterWindow window;
    ModalAnswerer answerer{toolkit};
};

TEST_F(QtWindowTest, ShowsItsControlsAsDefined) {
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].title, "说明");
    EXPECT_EQ(answerer.boxes[0].text,
              "调用Torvenquill进行图像格式转换\n支持拖拽图像进程序\n转换图片调用多线程并且未压缩，"
              "文件有点大");
    EXPECT_FALSE(answerer.boxes[0].dropsAccepted);
    Until([this] { return Window()->acceptDrops(); });
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("work/tmp")));

    EXPECT_EQ(Window()->windowTitle(), "Lumenvex By：Brindlecask");
    EXPECT_EQ(Window()->pos(), QPoint(50, 50));
    EXPECT_EQ(QApplication::style()->name(), "fusion");

    struct Control {
        const char* name;
        QRect place;
        const char* text;
        bool visible;
    };
    const Control controls[] = {
        {"标签_路径", {31, 16, 64, 32}, "图片路径：", true},
        {"编辑框_路径", {102, 16, 328, 32}, "支持拖拽图像进程序", true},
        {"按钮_浏览", {440, 16, 64, 32}, "浏览", true},
        {"按钮_转换jpg", {56, 72, 72, 32}, "转换JPG", true},
        {"按钮_转换bmp", {144, 72, 72, 32}, "转换BMP", true},
        {"按钮_转换tif", {232, 72, 72, 32}, "转换TIF", true},
        {"按钮_转换png", {323, 72, 72, 32}, "转换PNG", true},
        {"按钮_转换pic", {416, 72, 72, 32}, "转换PIC", true},
        {"按钮_转换ppm", {56, 128, 72, 32}, "转换PPM", true},
        {"按钮_转换pgm", {144, 128, 72, 32}, "转换PGM", true},
        {"按钮_转换pbm", {232, 128, 72, 32}, "转换PBM", true},
        {"按钮_转换pcx", {323, 128, 72, 32}, "转换PCX", true},
        {"按钮_转换sgi", {416, 128, 72, 32}, "转换SGI", true},
        {"按钮_保存", {187, 184, 72, 32}, "另存为", true},
        {"按钮_退出", {278, 184, 72, 32}, "退出", true},
        {"标签_保存", {8, 104, 40, 32}, "保存：", false},
        {"编辑框_保存", {5, 136, 43, 32}, "", false},
        {"编辑框_参数变量", {5, 176, 43, 32}, "", false},
    };
    for (const Control& c : controls) {
        auto* widget = Window()->findChild<QWidget*>(QString::fromUtf8(c.name));
        ASSERT_NE(widget, nullptr) << c.name;
        EXPECT_EQ(widget->geometry(), c.place) << c.name;
        EXPECT_EQ(widget->isVisible(), c.visible) << c.name;
        EXPECT_TRUE(widget->isEnabled()) << c.name;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
        if (auto* box = qobject_cast<QLineEdit*>(widget)) text = box->text();
        if (auto* button = qobject_cast<QPushButton*>(widget)) text = button->text();
        EXPECT_EQ(text, QString::fromUtf8(c.text)) << c.name;
        EXPECT_TRUE(Window()->rect().contains(widget->geometry())) << c.name;
    }
    // The Chinese texts have a font that holds their glyphs.
    EXPECT_TRUE(QFontDatabase::families().contains("WenQuanYi Micro Hei"));
    EXPECT_TRUE(QApplication::font().families().contains("WenQuanYi Micro Hei"));
}

TEST_F(QtWindowTest, DropConvertAndSaveAs) {
    WriteTestBmp(dir.File("猫.png"), 31, 17, picture);
    Until([this] { return Window()->acceptDrops(); });

    // Browse, then a drop replaces the chosen path.
    answerer.Answer(dir.File("猫.png"));
    Button("按钮_浏览")->click();
    EXPECT_EQ(BoxText(EditBox::Path), Q(dir.File("猫.png")));
    EXPECT_EQ(answerer.dialogs.back().filters.size(), 11);
    EXPECT_FALSE(Button("按钮_转换png")->isEnabled());

    // Two files at once: both paths, each followed by CR LF, and nothing to convert.
    Drop(Window(), {dir.File("猫.png"), dir.File("b.bmp")});
    EXPECT_EQ(toolkit.GetText(EditBox::Path),
              dir.File("猫.png") + "\r\n" + dir.File("b.bmp") + "\r\n");
    EXPECT_EQ(toolkit.GetText(EditBox::Save), toolkit.GetText(EditBox::Path));
    for (const ConversionRow& row : kConversions) {
        EXPECT_FALSE(Window()->FormatButton(row.format)->isEnabled()) << row.key;
    }

    WriteTestBmp(dir.File("狗.png"), 31, 17, picture, 4);
    Drop(Window(), {dir.File("狗.png")});
    EXPECT_EQ(BoxText(EditBox::Path), Q(dir.File("狗.png")));
    EXPECT_EQ(BoxText(EditBox::Save), Q(dir.File("狗.png")));
    EXPECT_EQ(BoxText(EditBox::FileName), "狗.png");
    EXPECT_TRUE(Button("按钮_转换bmp")->isEnabled());

    Button("按钮_转换bmp")->click();
    QMessageBox* box = NextWorkerBox();
    EXPECT_EQ(box->windowTitle(), "提示");
    EXPECT_EQ(box->text(), "BMP格式转换成功！");
    const std::string converted = Output("bmp图片", "改-狗-1.bmp");
    EXPECT_EQ(ReadFileBytes(converted), ReadFileBytes(dir.File("狗.png")));
    Until([&] { return BoxText(EditBox::Save) == Q(converted); });
    box->button(QMessageBox::Ok)->click();
    Until([] { return WorkerBoxes().empty(); });

    answerer.Answer(dir.File("saved.bmp"));
    Button("按钮_保存")->click();
    ASSERT_EQ(answerer.dialogs.size(), 2u);
    EXPECT_EQ(answerer.dialogs[1].filters, QStringList{"BMP图片文件（*.bmp） (*.bmp)"});
    EXPECT_EQ(answerer.dialogs[1].fileName, "改-狗-1.bmp");
    Until([&] { return PathExists(dir.File("saved.bmp")); });
    toolkit.Finish();
    EXPECT_EQ(ReadFileBytes(dir.File("saved.bmp")), ReadFileBytes(converted));
    EXPECT_EQ(answerer.boxes.size(), 1u);  // Save As was silent
}

TEST_F(QtWindowTest, SeveralConversionsRunAtOnceWhileTheWindowAnswers) {
    WriteTestBmp(dir.File("大.png"), 800, 600, picture, 9);
    Until([this] { return Window()->acceptDrops(); });
    Drop(Window(), {dir.File("大.png")});
    std::map<std::string, int> presses;
    for (const ConversionRow& row : kConversions) {
        if (row.format == Format::Png) continue;  // the source's own format
        presses[row.key] = row.format == Format::Bmp ? 3 : 1;
    }
    int total = 0;
    for (const auto& [key, count] : presses) {
        for (int i = 0; i < count; ++i, ++total) Button(("按钮_转换" + key).c_str())->click();
    }
    // Every worker now waits in its own box, and the window still takes input.
    Until([&] { return int(WorkerBoxes().size()) == total; });
    Window()->Box(EditBox::Path)->setText("/x/y.sgi");
    EXPECT_FALSE(Button("按钮_转换sgi")->isEnabled());
    EXPECT_TRUE(Button("按钮_转换png")->isEnabled());
    for (QMessageBox* box : WorkerBoxes()) {
        EXPECT_NE(box->text().indexOf("格式转换成功！"), -1) << box->text().toStdString();
        box->button(QMessageBox::Ok)->click();
    }
    toolkit.Finish();
    for (const auto& [key, count] : presses) {
        const ConversionRow& row =
            *std::find_if(kConversions.begin(), kConversions.end(),
                          [&](const ConversionRow& r) { return r.key == key; });
        Bytes first = ReadFileBytes(Output(row.folder, std::string(row.prefix) + "大-1." + key));
        EXPECT_FALSE(first.empty()) << key;
        for (int n = 2; n <= count; ++n) {
            EXPECT_EQ(ReadFileBytes(Output(row.folder, std::string(row.prefix) + "大-" +
                                                           std::to_string(n) + "." + key)),
                      first);
        }
        EXPECT_FALSE(PathExists(Output(
            row.folder, std::string(row.prefix) + "大-" + std::to_string(count + 1) + "." + key)));
    }
}

TEST_F(QtWindowTest, ExitClosesAtOnceAndNeverWaitsForABox) {
    WriteTestBmp(dir.File("猫.png"), 300, 200, picture);
    Until([this] { return Window()->acceptDrops(); });
    Drop(Window(), {dir.File("猫.png")});
    Button("按钮_转换bmp")->click();
    NextWorkerBox();  // a box nobody dismisses
    Button("按钮_转换bmp")->click();
    Button("按钮_退出")->click();
    EXPECT_FALSE(Window()->isVisible());
    toolkit.Finish();  // resolves the box and lets the second conversion complete
    EXPECT_EQ(ReadFileBytes(Output("bmp图片", "改-猫-2.bmp")), ReadFileBytes(dir.File("猫.png")));
    EXPECT_TRUE(WorkerBoxes().empty());
}

TEST(QtProgramTest, StartProgramRunsUntilTheWindowClosesThenEnds) {
    PrivateTempFolder temp;
    ScratchDir dir;
    {
        RasterImage picture;
        WriteTestBmp(dir.File("a.png"), 64, 48, picture);
    }
    QtToolkit toolkit(dir.File("work/tmp"));
    ConverterWindow window(toolkit);
    ModalAnswerer answerer(toolkit);
    // Once the notice is gone: drop, convert and exit at once.
    QTimer script;
    QObject::connect(&script, &QTimer::timeout, [&] {
        MainWindow* mainWindow = toolkit.Window();
        if (mainWindow == nullptr || !mainWindow->acceptDrops()) return;
        script.stop();
        Drop(mainWindow, {dir.File("a.png")});
        mainWindow->FormatButton(Format::Bmp)->click();
        mainWindow->findChild<QPushButton*>("按钮_退出")->click();
    });
    script.start(10);
    EXPECT_EQ(window.StartProgram(), 0);
    EXPECT_EQ(toolkit.Window(), nullptr);
    EXPECT_EQ(ReadFileBytes(dir.File("work/tmp/bmp图片/改-a-1.bmp")),
              ReadFileBytes(dir.File("a.png")));
    EXPECT_EQ(window.BaseName(), "");
    EXPECT_EQ(temp.Leftovers(), std::vector<std::string>{});
}

}  // namespace

// The application lives in main, so that it ends before Qt's own statics do.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt keeps runtime files there; a folder of our own keeps them out of the checked TMPDIR.
    ScratchDir runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
