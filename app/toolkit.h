// The operations the converter window needs from its desktop toolkit and the operating system.
// The window logic is written against this interface only; app/qt/ implements it with Qt
// Widgets and the tests with a scripted fake, so every handler runs without a screen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/conversion_table.h"

// The edit boxes the logic reads and writes, by role.
enum class EditBox {
    Path,      // 编辑框_路径: the source path, typed, chosen or dropped
    Save,      // 编辑框_保存 (hidden): the file Save As copies
    FileName,  // 编辑框_参数变量 (hidden): the last component of the latest non-empty path
};

enum class FileDialog {
    Open,  // 通用对话框1_路径
    Save,  // 通用对话框1_保存
};

// The window's events, bound to its controls by the toolkit. All run on the window's thread.
class WindowHandlers {
  public:
    virtual ~WindowHandlers() = default;
    virtual void OnWindowCreated() = 0;
    virtual void OnExitClicked() = 0;
    virtual void OnBrowseClicked() = 0;
    // paths: one full path, or several each followed by CR LF.
    virtual void OnFileDropped(const std::string& paths) = 0;
    virtual void OnPathChanged() = 0;
    virtual void OnFormatClicked(Format format) = 0;
    virtual void OnSaveAsClicked() = 0;
};

class Toolkit {
  public:
    virtual ~Toolkit() = default;

    // Creates and shows the window bound to handlers (its created event runs OnWindowCreated),
    // runs the message loop until the window is closed, waits for every routine StartThread
    // began, then runs exitRoutine once. Returns the program's exit status.
    virtual int Run(WindowHandlers& handlers, std::function<void()> exitRoutine) = 0;

    // Texts are UTF-8. Both are callable from any thread. Setting the path box raises its
    // change event; OnPathChanged has finished when the call returns (window thread only).
    virtual std::string GetText(EditBox box) = 0;
    virtual void SetText(EditBox box, const std::string& text) = 0;
    virtual void EnableFormatButton(Format format, bool enabled) = 0;

    // Dialogs belong to the window's thread. The filter is "description|pattern|..."; the file
    // name is what the dialog opens with and, after a confirm, the full path chosen (a cancel
    // leaves it as it was). ShowDialog is modal and returns whether the user confirmed.
    virtual void SetDialogFilter(FileDialog dialog, const std::string& filter) = 0;
    virtual void SetDialogFileName(FileDialog dialog, const std::string& name) = 0;
    virtual std::string GetDialogFileName(FileDialog dialog) = 0;
    virtual bool ShowDialog(FileDialog dialog) = 0;

    // A box with one OK button that blocks the calling thread until dismissed, callable from
    // any thread while the window stays usable. Once the window has closed it returns at once.
    virtual void ShowMessage(const std::string& text, const std::string& title) = 0;
    // Runs routine on a new thread; the caller neither keeps a handle nor waits.
    virtual void StartThread(std::function<void()> routine) = 0;

    virtual void UseThemedLook() = 0;
    virtual void RegisterDropTarget() = 0;
    virtual void FocusWindow() = 0;
    virtual void CloseWindow() = 0;

    // The folder that holds the converted files ("tmp" beside the program, or its stand-in).
    virtual std::string WorkingFolder() = 0;
    // Creates a folder and its missing parents; failure is silent (the command reports it).
    virtual void CreateFolder(const std::string& path) = 0;
    // Whether anything (file, folder, link) has this name.
    virtual bool PathExists(const std::string& path) = 0;
    // The whole file; false when it is missing or cannot be read completely.
    virtual bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) = 0;
    // Replaces path with bytes through a temporary file beside it; false on any failure, and
    // then an existing file at path is left as it was.
    virtual bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) = 0;
};
