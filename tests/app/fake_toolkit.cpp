#include "tests/app/fake_toolkit.h"

#include <gtest/gtest.h>

#include "app/file_ops.h"
#include "app/window_texts.h"

FakeToolkit::FakeToolkit(std::string workingFolder) : workingFolder(std::move(workingFolder)) {
    texts = {{EditBox::Path, kPathHint}, {EditBox::Save, ""}, {EditBox::FileName, ""}};
    for (const ConversionRow& row : kConversions) enabled[row.format] = true;
}

FakeToolkit::~FakeToolkit() {
    ReleaseThreads();
    workers.JoinAll();
}

void FakeToolkit::Log(std::string event) {
    std::lock_guard<std::mutex> guard(lock);
    events.push_back(std::move(event));
}

bool FakeToolkit::Click(Format format) {
    if (!IsEnabled(format)) return false;
    handlers->OnFormatClicked(format);
    return true;
}

void FakeToolkit::AnswerNextDialog(DialogAnswer answer) {
    std::lock_guard<std::mutex> guard(lock);
    answers.push_back(std::move(answer));
}

std::vector<FakeToolkit::DialogShowing> FakeToolkit::DialogsShown() {
    std::lock_guard<std::mutex> guard(lock);
    return dialogsShown;
}

std::vector<FakeToolkit::Message> FakeToolkit::Messages() {
    std::lock_guard<std::mutex> guard(lock);
    return messages;
}

void FakeToolkit::HoldThreads() {
    std::lock_guard<std::mutex> guard(lock);
    holdThreads = true;
}

void FakeToolkit::ReleaseThreads() {
    std::lock_guard<std::mutex> guard(lock);
    holdThreads = false;
    changed.notify_all();
}

bool FakeToolkit::IsEnabled(Format format) {
    std::lock_guard<std::mutex> guard(lock);
    return enabled[format];
}

std::vector<Format> FakeToolkit::TakeButtonWrites() {
    std::lock_guard<std::mutex> guard(lock);
    return std::exchange(buttonWrites, {});
}

std::vector<std::string> FakeToolkit::Events() {
    std::lock_guard<std::mutex> guard(lock);
    return events;
}

bool FakeToolkit::Closed() {
    std::lock_guard<std::mutex> guard(lock);
    return closed;
}

int FakeToolkit::Run(WindowHandlers& windowHandlers, std::function<void()> exitRoutine) {
    handlers = &windowHandlers;
    handlers->OnWindowCreated();
    if (session) session();
    workers.JoinAll();
    Log("exit routine");
    exitRoutine();
    return 0;
}

std::string FakeToolkit::GetText(EditBox box) {
    std::lock_guard<std::mutex> guard(lock);
    return texts[box];
}

void FakeToolkit::SetText(EditBox box, const std::string& text) {
    {
        std::lock_guard<std::mutex> guard(lock);
        texts[box] = text;
    }
    if (box == EditBox::Path) handlers->OnPathChanged();
}

void FakeToolkit::EnableFormatButton(Format format, bool on) {
    std::lock_guard<std::mutex> guard(lock);
    enabled[format] = on;
    buttonWrites.push_back(format);
}

void FakeToolkit::SetDialogFilter(FileDialog dialog, const std::string& filter) {
    std::lock_guard<std::mutex> guard(lock);
    filters[dialog] = filter;
}

void FakeToolkit::SetDialogFileName(FileDialog dialog, const std::string& name) {
    std::lock_guard<std::mutex> guard(lock);
    fileNames[dialog] = name;
}

std::string FakeToolkit::GetDialogFileName(FileDialog dialog) {
    std::lock_guard<std::mutex> guard(lock);
    return fileNames[dialog];
}

bool FakeToolkit::ShowDialog(FileDialog dialog) {
    DialogAnswer answer;
    {
        std::lock_guard<std::mutex> guard(lock);
        dialogsShown.push_back({dialog, filters[dialog], fileNames[dialog]});
        if (answers.empty()) {
            ADD_FAILURE() << "a dialog was shown that the test did not expect";
            return false;
        }
        answer = std::move(answers.front());
        answers.pop_front();
    }
    if (answer.whileOpen) answer.whileOpen();
    if (!answer.confirm) return false;
    SetDialogFileName(dialog, answer.chosenPath);
    return true;
}

void FakeToolkit::ShowMessage(const std::string& text, const std::string& title) {
    std::lock_guard<std::mutex> guard(lock);
    messages.push_back({text, title});
    events.push_back("message " + title);
}

void FakeToolkit::StartThread(std::function<void()> routine) {
    workers.Start([this, routine = std::move(routine)] {
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [this] { return !holdThreads; });
        }
        routine();
    });
}

void FakeToolkit::CloseWindow() {
    Log("close");
    std::lock_guard<std::mutex> guard(lock);
    closed = true;
}

void FakeToolkit::CreateFolder(const std::string& path) {
    Log("create " + path);
    files::CreateFolders(path);
}

bool FakeToolkit::PathExists(const std::string& path) { return files::Exists(path); }

bool FakeToolkit::ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    return files::ReadWhole(path, bytes);
}

bool FakeToolkit::WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    return files::WriteAtomically(path, bytes);
}
