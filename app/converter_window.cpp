#include "app/converter_window.h"

#include <utility>
#include <vector>

#include "app/window_texts.h"
#include "convert/torvenquill.h"

namespace {

// The second line of a failed conversion's message.
std::string CauseOf(int32_t result, const std::string& source, const std::string& target) {
    switch (result) {
        case TVQ_RESULT_SOURCE_NOT_FOUND:
            return kCauseSourceMissing + source;
        case TVQ_RESULT_SOURCE_UNREADABLE:
            return kCauseSourceUnreadable + source;
        case TVQ_RESULT_BAD_ARGUMENTS:
            return kCauseBadArguments;
        default:
            return kCauseTargetNotWritten + target;
    }
}

}  // namespace

int ConverterWindow::StartProgram() {
    return toolkit.Run(*this, [this] { OnProgramExit(); });
}

void ConverterWindow::OnProgramExit() {
    std::lock_guard<std::mutex> guard(baseNameLock);
    std::string().swap(baseName);
}

void ConverterWindow::OnWindowCreated() {
    toolkit.UseThemedLook();
    toolkit.ShowMessage(kNotice, kNoticeTitle);
    toolkit.RegisterDropTarget();
    toolkit.CreateFolder(toolkit.WorkingFolder());
    for (auto& counter : counters) counter.store(0);
    toolkit.FocusWindow();
}

void ConverterWindow::OnExitClicked() { toolkit.CloseWindow(); }

void ConverterWindow::OnBrowseClicked() {
    toolkit.SetDialogFilter(FileDialog::Open, kOpenFilter);
    // A cancel leaves the dialog's file name at the last confirmed path, which goes back into
    // the path box.
    toolkit.ShowDialog(FileDialog::Open);
    toolkit.SetText(EditBox::Path, toolkit.GetDialogFileName(FileDialog::Open));
    if (toolkit.GetText(EditBox::Path).empty()) EnableAllFormatButtons();
}

void ConverterWindow::OnFileDropped(const std::string& paths) {
    // Emptying the box first makes a drop of the same path run OnPathChanged again.
    toolkit.SetText(EditBox::Path, "");
    toolkit.SetText(EditBox::Path, paths);
    // The save box now equals the path box: Save As reads that as "not converted yet".
    toolkit.SetText(EditBox::Save, toolkit.GetText(EditBox::Path));
}

void ConverterWindow::OnPathChanged() {
    UpdateFileNameBox();
    ComputeBaseName();
    SetFormatButtons(RecognizeExtension(toolkit.GetText(EditBox::Path)));
}

void ConverterWindow::UpdateFileNameBox() {
    std::vector<std::string> pieces = SplitText(toolkit.GetText(EditBox::Path), '/');
    if (!pieces.empty()) toolkit.SetText(EditBox::FileName, pieces.back());
}

void ConverterWindow::ComputeBaseName() {
    std::string computed = BaseNameOf(toolkit.GetText(EditBox::FileName));
    std::lock_guard<std::mutex> guard(baseNameLock);
    baseName.swap(computed);
}

void ConverterWindow::SetFormatButtons(const SourceKind& kind) {
    if (kind.photoCd) {
        EnableAllFormatButtons();
        return;
    }
    for (const ConversionRow& row : kConversions) {
        toolkit.EnableFormatButton(row.format, kind.format && *kind.format != row.format);
    }
}

void ConverterWindow::EnableAllFormatButtons() {
    for (const ConversionRow& row : kConversions) toolkit.EnableFormatButton(row.format, true);
}

void ConverterWindow::OnFormatClicked(Format format) {
    toolkit.StartThread([this, format] { RunConversion(format); });
}

std::string ConverterWindow::NextTarget(const ConversionRow& row, const std::string& folder) {
    const std::string base = BaseName();
    std::atomic<int32_t>& counter = counters[static_cast<size_t>(row.format)];
    // Counters restart at 0 with the program; names that an earlier run left are passed over
    // rather than replaced.
    for (;;) {
        int32_t number = counter.fetch_add(1) + 1;
        std::string target =
            folder + "/" + row.prefix + base + "-" + std::to_string(number) + "." + row.key;
        if (!toolkit.PathExists(target)) return target;
    }
}

void ConverterWindow::RunConversion(Format format) {
    const ConversionRow& row = RowOf(format);
    if (toolkit.GetText(EditBox::Path) == kPathHint) {
        toolkit.ShowMessage(kChooseSourceFirst, kMessageTitle);
        return;
    }
    const std::string folder = toolkit.WorkingFolder() + "/" + row.folder;
    toolkit.CreateFolder(folder);
    const std::string target = NextTarget(row, folder);
    const std::string source = toolkit.GetText(EditBox::Path);
    int32_t result = row.command != nullptr ? row.command(source.c_str(), target.c_str())
                                            : TVQ_RESULT_TARGET_NOT_WRITTEN;
    if (result == TVQ_RESULT_OK) {
        toolkit.SetText(EditBox::Save, target);
        toolkit.ShowMessage(row.success, kMessageTitle);
    } else {
        toolkit.ShowMessage(std::string(row.failure) + "\n" + CauseOf(result, source, target),
                            kMessageTitle);
    }
}

void ConverterWindow::OnSaveAsClicked() {
    const std::string converted = toolkit.GetText(EditBox::Save);
    if (converted.empty()) {
        toolkit.ShowMessage(kNothingConverted, kMessageTitle);
        return;
    }
    if (converted == toolkit.GetText(EditBox::Path)) {
        toolkit.ShowMessage(kSourceNotConverted, kMessageTitle);
        return;
    }
    SourceKind kind = RecognizeExtension(converted);
    if (!kind.format) return;
    const ConversionRow& row = RowOf(*kind.format);
    const std::string pattern = std::string("*.") + row.key;
    toolkit.SetDialogFilter(FileDialog::Save, row.filterDescription + ("|" + pattern));
    toolkit.SetDialogFileName(
        FileDialog::Save,
        "改-" + BaseName() + "-" + std::to_string(Counter(row.format)) + "." + row.key);
    if (!toolkit.ShowDialog(FileDialog::Save)) return;
    std::string chosen = toolkit.GetDialogFileName(FileDialog::Save);
    toolkit.StartThread(
        [this, converted, chosen = std::move(chosen)] { CopyConvertedFile(converted, chosen); });
}

void ConverterWindow::CopyConvertedFile(const std::string& convertedFile,
                                        const std::string& chosenPath) {
    std::vector<uint8_t> bytes;
    if (!toolkit.ReadWholeFile(convertedFile, bytes)) {
        toolkit.ShowMessage(std::string(kSaveFailed) + "\n" + convertedFile, kMessageTitle);
    } else if (!toolkit.WriteWholeFile(chosenPath, bytes)) {
        toolkit.ShowMessage(std::string(kSaveFailed) + "\n" + chosenPath, kMessageTitle);
    }
}

std::string ConverterWindow::BaseName() const {
    std::lock_guard<std::mutex> guard(baseNameLock);
    return baseName;
}

int32_t ConverterWindow::Counter(Format format) const {
    return counters[static_cast<size_t>(format)].load();
}
