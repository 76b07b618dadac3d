// The converter window's logic: every handler and worker routine, written against Toolkit.
// Shared state: baseName under one lock, and the ten per-format counters whose increase and
// reading are one atomic step.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "app/conversion_table.h"
#include "app/path_text.h"
#include "app/toolkit.h"

class ConverterWindow : public WindowHandlers {
  public:
    explicit ConverterWindow(Toolkit& toolkit) : toolkit(toolkit) {}
    ConverterWindow(const ConverterWindow&) = delete;
    ConverterWindow& operator=(const ConverterWindow&) = delete;

    // Shows the window and runs it until it closes; returns the exit status.
    int StartProgram();
    void OnProgramExit();

    void OnWindowCreated() override;
    void OnExitClicked() override;
    void OnBrowseClicked() override;
    void OnFileDropped(const std::string& paths) override;
    void OnPathChanged() override;
    // Starts the format's worker routine on a new thread and returns.
    void OnFormatClicked(Format format) override;
    void OnSaveAsClicked() override;

    void UpdateFileNameBox();
    void ComputeBaseName();
    void EnableAllFormatButtons();
    // The worker routine of one format button.
    void RunConversion(Format format);
    // Copies the converted file to the path chosen in the save dialog; both taken at the click.
    void CopyConvertedFile(const std::string& convertedFile, const std::string& chosenPath);

    std::string BaseName() const;
    int32_t Counter(Format format) const;

  private:
    std::string NextTarget(const ConversionRow& row, const std::string& folder);
    void SetFormatButtons(const SourceKind& kind);

    Toolkit& toolkit;
    mutable std::mutex baseNameLock;
    std::string baseName;
    std::array<std::atomic<int32_t>, kFormatCount> counters{};
};
