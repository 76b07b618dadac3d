// A scripted Toolkit for the window logic: edit boxes and buttons as plain state, dialogs that
// answer from a script, message boxes that are recorded, real threads (which can be held back
// before they begin) that the test joins, and the real file system.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/toolkit.h"
#include "app/worker_threads.h"

class FakeToolkit : public Toolkit {
  public:
    explicit FakeToolkit(std::string workingFolder);
    ~FakeToolkit() override;

    // Binds the window's events, as Run does, without running anything.
    void Attach(WindowHandlers& handlers) { this->handlers = &handlers; }
    // What Run does between the created event and the end of the program.
    void SetSession(std::function<void()> session) { this->session = std::move(session); }

    // The user's actions.
    void Type(const std::string& path) { SetText(EditBox::Path, path); }
    // Presses an enabled format button (a disabled one takes no clicks).
    bool Click(Format format);

    struct DialogAnswer {
        bool confirm = false;
        std::string chosenPath;           // becomes the file name on confirm
        std::function<void()> whileOpen;  // runs while the dialog is showing
    };
    void AnswerNextDialog(DialogAnswer answer);
    struct DialogShowing {
        FileDialog dialog;
        std::string filter;
        std::string fileName;
    };
    std::vector<DialogShowing> DialogsShown();

    struct Message {
        std::string text;
        std::string title;
        bool operator==(const Message&) const = default;
    };
    std::vector<Message> Messages();
    // While held, started routines wait before they begin, until released.
    void HoldThreads();
    void ReleaseThreads();
    void WaitForThreads() { workers.JoinAll(); }

    bool IsEnabled(Format format);
    // The buttons written since the last call, in the order written.
    std::vector<Format> TakeButtonWrites();
    // Toolkit calls in order: "themed look", "message 说明", "drop target", "create <path>",
    // "focus", "close", "exit routine", ...
    std::vector<std::string> Events();
    bool Closed();

    int Run(WindowHandlers& handlers, std::function<void()> exitRoutine) override;
    std::string GetText(EditBox box) override;
    void SetText(EditBox box, const std::string& text) override;
    void EnableFormatButton(Format format, bool enabled) override;
    void SetDialogFilter(FileDialog dialog, const std::string& filter) override;
    void SetDialogFileName(FileDialog dialog, const std::string& name) override;
    std::string GetDialogFileName(FileDialog dialog) override;
    bool ShowDialog(FileDialog dialog) override;
    void ShowMessage(const std::string& text, const std::string& title) override;
    void StartThread(std::function<void()> routine) override;
    void UseThemedLook() override { Log("themed look"); }
    void RegisterDropTarget() override { Log("drop target"); }
    void FocusWindow() override { Log("focus"); }
    void CloseWindow() override;
    std::string WorkingFolder() override { return workingFolder; }
    void CreateFolder(const std::string& path) override;
    bool PathExists(const std::string& path) override;
    bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) override;
    bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) override;

  private:
    void Log(std::string event);

    std::string workingFolder;
    WindowHandlers* handlers = nullptr;
    std::function<void()> session;
    WorkerThreads workers;

    std::mutex lock;
    std::condition_variable changed;
    std::map<EditBox, std::string> texts;
    std::map<Format, bool> enabled;
    std::vector<Format> buttonWrites;
    std::map<FileDialog, std::string> filters;
    std::map<FileDialog, std::string> fileNames;
    std::deque<DialogAnswer> answers;
    std::vector<DialogShowing> dialogsShown;
    std::vector<Message> messages;
    std::vector<std::string> events;
    bool holdThreads = false;
    bool closed = false;
};
