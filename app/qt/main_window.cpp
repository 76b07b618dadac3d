#include "app/qt/main_window.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

#include "app/window_texts.h"

namespace {

// Places of the format buttons: JPG, BMP, TIF, PNG, PIC above; PPM, PGM, PBM, PCX, SGI below.
struct ButtonPlace {
    Format format;
    QRect place;
};
const ButtonPlace kFormatButtonPlaces[] = {
    {Format::Jpg, {56, 72, 72, 32}},   {Format::Bmp, {144, 72, 72, 32}},
    {Format::Tif, {232, 72, 72, 32}},  {Format::Png, {323, 72, 72, 32}},
    {Format::Pic, {416, 72, 72, 32}},  {Format::Ppm, {56, 128, 72, 32}},
    {Format::Pgm, {144, 128, 72, 32}}, {Format::Pbm, {232, 128, 72, 32}},
    {Format::Pcx, {323, 128, 72, 32}}, {Format::Sgi, {416, 128, 72, 32}},
};

// The client area that a 541 x 257 window has inside a standard frame (8-pixel borders, a
// 31-pixel caption); every control lies within it.
constexpr QSize kClientSize(525, 218);
constexpr QPoint kWindowPlace(50, 50);

// The local paths of a drop, or none when anything dropped is not a local file.
QStringList DroppedFiles(const QMimeData* data) {
    QStringList files;
    if (data == nullptr || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) return {};
        files << url.toLocalFile();
    }
    return files;
}

}  // namespace

MainWindow::MainWindow(WindowHandlers& handlers, std::function<void()> pathEdited,
                       std::function<void()> closed)
    : handlers(handlers), closed(std::move(closed)) {
    setWindowTitle(QString::fromUtf8(kCaption));
    setFixedSize(kClientSize);
    move(kWindowPlace);

    AddLabel("标签_路径", "图片路径：", {31, 16, 64, 32}, true);
    pathBox = AddEditBox("编辑框_路径", kPathHint, {102, 16, 328, 32}, true);
    QPushButton* browse = AddButton("按钮_浏览", "浏览", {440, 16, 64, 32});
    for (const ButtonPlace& button : kFormatButtonPlaces) {
        const ConversionRow& row = RowOf(button.format);
        QPushButton* widget =
            AddButton((std::string("按钮_转换") + row.key).c_str(), row.buttonText, button.place);
        formatButtons[static_cast<size_t>(button.format)] = widget;
        connect(widget, &QPushButton::clicked, this,
                [this, format = button.format] { this->handlers.OnFormatClicked(format); });
    }
    QPushButton* saveAs = AddButton("按钮_保存", "另存为", {187, 184, 72, 32});
    QPushButton* exit = AddButton("按钮_退出", "退出", {278, 184, 72, 32});
    AddLabel("标签_保存", "保存：", {8, 104, 40, 32}, false);
    saveBox = AddEditBox("编辑框_保存", "", {5, 136, 43, 32}, false);
    fileNameBox = AddEditBox("编辑框_参数变量", "", {5, 176, 43, 32}, false);

    connect(pathBox, &QLineEdit::textChanged, this, std::move(pathEdited));
    connect(browse, &QPushButton::clicked, this, [this] { this->handlers.OnBrowseClicked(); });
    connect(saveAs, &QPushButton::clicked, this, [this] { this->handlers.OnSaveAsClicked(); });
    connect(exit, &QPushButton::clicked, this, [this] { this->handlers.OnExitClicked(); });
}

QPushButton* MainWindow::AddButton(const char* name, const char* text, QRect place) {
    auto* button = new QPushButton(QString::fromUtf8(text), this);
    button->setObjectName(QString::fromUtf8(name));
    button->setGeometry(place);
    return button;
}

QLineEdit* MainWindow::AddEditBox(const char* name, const char* text, QRect place, bool visible) {
    auto* box = new QLineEdit(QString::fromUtf8(text), this);
    box->setObjectName(QString::fromUtf8(name));
    box->setGeometry(place);
    box->setVisible(visible);
    return box;
}

void MainWindow::AddLabel(const char* name, const char* text, QRect place, bool visible) {
    auto* label = new QLabel(QString::fromUtf8(text), this);
    label->setObjectName(QString::fromUtf8(name));
    label->setGeometry(place);
    label->setVisible(visible);
}

QLineEdit* MainWindow::Box(EditBox box) const {
    switch (box) {
        case EditBox::Path:
            return pathBox;
        case EditBox::Save:
            return saveBox;
        case EditBox::FileName:
            return fileNameBox;
    }
    return nullptr;
}

QPushButton* MainWindow::FormatButton(Format format) const {
    return formatButtons[static_cast<size_t>(format)];
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (acceptDrops() && !DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    // Files arrive only once the window has become a drop target.
    QStringList files = acceptDrops() ? DroppedFiles(event->mimeData()) : QStringList();
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    // One file arrives as its path; several as their paths, each followed by CR LF.
    QString text = files.size() == 1 ? files.front() : files.join("\r\n") + "\r\n";
    handlers.OnFileDropped(text.toStdString());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (closed) closed();
}
