#include "app/qt/qt_toolkit.h"

#include <QApplication>
#include <QFont>
#include <QStyleFactory>
#include <QThread>
#include <QTimer>

#include "app/file_ops.h"
#include "app/window_texts.h"
#include "app/working_folder.h"

namespace {

bool OnWindowThread() { return QThread::currentThread() == QCoreApplication::instance()->thread(); }

// "description|pattern|..." as Qt name filters. "*.*" means every file, as it does on the
// system these filters come from.
QStringList NameFilters(const std::string& filter) {
    QStringList fields = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        QString pattern = fields[i + 1] == "*.*" ? QString("*") : fields[i + 1];
        filters << fields[i] + " (" + pattern + ")";
    }
    return filters;
}

}  // namespace

QtToolkit::QtToolkit(std::string workingFolder)
    : workingFolder(workingFolder.empty() ? DefaultWorkingFolder() : std::move(workingFolder)) {
    // Chinese texts need a font with CJK glyphs wherever the default font lacks them.
    QFont font = QApplication::font();
    font.setFamilies({font.family(), "WenQuanYi Micro Hei"});
    QApplication::setFont(font);
    QApplication::setQuitOnLastWindowClosed(false);
}

QtToolkit::~QtToolkit() { Finish(); }

int QtToolkit::Run(WindowHandlers& windowHandlers, std::function<void()> exitRoutine) {
    Open(windowHandlers);
    QApplication::exec();
    Finish();
    if (exitRoutine) exitRoutine();
    return 0;
}

void QtToolkit::Open(WindowHandlers& windowHandlers) {
    handlers = &windowHandlers;
    {
        std::lock_guard<std::mutex> guard(textLock);
        texts = {{EditBox::Path, kPathHint}, {EditBox::Save, ""}, {EditBox::FileName, ""}};
    }
    window = std::make_unique<MainWindow>(
        windowHandlers, [this] { PathEdited(); }, [] { QCoreApplication::quit(); });
    window->show();
    // The created event runs once the window is on screen, so the notice appears above it.
    QTimer::singleShot(0, window.get(), [this] { handlers->OnWindowCreated(); });
}

void QtToolkit::Finish() {
    if (window != nullptr && window->isVisible()) window->close();
    messageBoxes.ResolveAll();
    // A conversion still running completes its file; its message goes to standard error.
    workers.JoinAll();
    window.reset();
}

void QtToolkit::PathEdited() {
    {
        std::lock_guard<std::mutex> guard(textLock);
        texts[EditBox::Path] = window->Box(EditBox::Path)->text().toStdString();
    }
    handlers->OnPathChanged();
}

std::string QtToolkit::GetText(EditBox box) {
    std::lock_guard<std::mutex> guard(textLock);
    return texts[box];
}

void QtToolkit::SetText(EditBox box, const std::string& text) {
    QString shown = QString::fromStdString(text);
    if (box == EditBox::Path && OnWindowThread()) {
        QLineEdit* pathBox = window->Box(EditBox::Path);
        // Qt raises no change for an unchanged text; the window relies on one for every set.
        if (pathBox->text() == shown) {
            PathEdited();
        } else {
            pathBox->setText(shown);
        }
        return;
    }
    {
        std::lock_guard<std::mutex> guard(textLock);
        texts[box] = text;
    }
    if (OnWindowThread()) {
        window->Box(box)->setText(shown);
    } else {
        QMetaObject::invokeMethod(
            window.get(), [this, box, shown] { window->Box(box)->setText(shown); },
            Qt::QueuedConnection);
    }
}

void QtToolkit::EnableFormatButton(Format format, bool enabled) {
    window->FormatButton(format)->setEnabled(enabled);
}

void QtToolkit::SetDialogFilter(FileDialog dialog, const std::string& filter) {
    State(dialog).filter = filter;
}

void QtToolkit::SetDialogFileName(FileDialog dialog, const std::string& name) {
    State(dialog).fileName = name;
}

std::string QtToolkit::GetDialogFileName(FileDialog dialog) { return State(dialog).fileName; }

bool QtToolkit::ShowDialog(FileDialog which) {
    DialogState& state = State(which);
    QFileDialog dialog(window.get());
    // Qt's own dialog shows the filter texts as they are given and behaves alike everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (which == FileDialog::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    dialog.setNameFilters(NameFilters(state.filter));
    if (!state.fileName.empty()) dialog.selectFile(QString::fromStdString(state.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    state.fileName = dialog.selectedFiles().front().toStdString();
    return true;
}

void QtToolkit::ShowMessage(const std::string& text, const std::string& title) {
    messageBoxes.Show(text, title);
}

void QtToolkit::StartThread(std::function<void()> routine) { workers.Start(std::move(routine)); }

void QtToolkit::UseThemedLook() { QApplication::setStyle(QStyleFactory::create("Fusion")); }

void QtToolkit::RegisterDropTarget() { window->setAcceptDrops(true); }

void QtToolkit::FocusWindow() {
    window->activateWindow();
    window->setFocus();
}

void QtToolkit::CloseWindow() { window->close(); }

std::string QtToolkit::WorkingFolder() { return workingFolder; }

void QtToolkit::CreateFolder(const std::string& path) { files::CreateFolders(path); }

bool QtToolkit::PathExists(const std::string& path) { return files::Exists(path); }

bool QtToolkit::ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    return files::ReadWhole(path, bytes);
}

bool QtToolkit::WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    return files::WriteAtomically(path, bytes);
}
