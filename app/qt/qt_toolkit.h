// The Toolkit of the real program, on Qt 6 Widgets. Handlers run on the window's thread; worker
// threads read the edit boxes from a copy kept under a lock, and their writes to the hidden
// boxes reach the widgets through the window's event queue, so no worker ever waits for the
// window's thread except in a message box.
#pragma once

#include <QFileDialog>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "app/qt/main_window.h"
#include "app/qt/message_boxes.h"
#include "app/toolkit.h"
#include "app/worker_threads.h"

class QtToolkit : public Toolkit {
  public:
    // workingFolder: where converted files go; empty for the folder beside the program (or the
    // per-user cache when that cannot be written). A QApplication must exist.
    explicit QtToolkit(std::string workingFolder = {});
    ~QtToolkit() override;

    int Run(WindowHandlers& handlers, std::function<void()> exitRoutine) override;
    // The two halves of Run, for driving the window from a test: Open creates and shows the
    // window and posts its created event; Finish closes it if need be, resolves every pending
    // message box and waits for the worker threads.
    void Open(WindowHandlers& handlers);
    void Finish();
    MainWindow* Window() const { return window.get(); }

    std::string GetText(EditBox box) override;
    void SetText(EditBox box, const std::string& text) override;
    void EnableFormatButton(Format format, bool enabled) override;
    void SetDialogFilter(FileDialog dialog, const std::string& filter) override;
    void SetDialogFileName(FileDialog dialog, const std::string& name) override;
    std::string GetDialogFileName(FileDialog dialog) override;
    bool ShowDialog(FileDialog dialog) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    void StartThread(std::function<void()> routine) override;
    void UseThemedLook() override;
    void RegisterDropTarget() override;
    void FocusWindow() override;
    void CloseWindow() override;
    std::string WorkingFolder() override;
    void CreateFolder(const std::string& path) override;
    bool PathExists(const std::string& path) override;
    bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) override;
    bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) override;

  private:
    struct DialogState {
        std::string filter;
        std::string fileName;
    };
    void PathEdited();
    DialogState& State(FileDialog dialog) { return dialogs[static_cast<size_t>(dialog)]; }

    std::string workingFolder;
    WindowHandlers* handlers = nullptr;
    std::unique_ptr<MainWindow> window;
    MessageBoxes messageBoxes;
    WorkerThreads workers;
    std::array<DialogState, 2> dialogs;
    std::mutex textLock;
    std::map<EditBox, std::string> texts;  // what the boxes hold, for every thread
};
