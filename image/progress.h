// The optional progress report that every codec accepts when it is opened.
#pragma once

#include <cstdint>

// direction: 1 while reading, 0 while writing; percent of rows done; row just finished; 0.
using ProgressCallback = void (*)(int32_t direction, int32_t percent, int32_t row, int32_t zero);

inline void ReportProgress(ProgressCallback callback, int32_t direction, int32_t row,
                           int32_t height) {
    if (callback == nullptr || height <= 0) return;
    double percent = (static_cast<double>(row) + 1.0) / static_cast<double>(height) * 100.0;
    callback(direction, static_cast<int32_t>(percent), row, 0);
}
