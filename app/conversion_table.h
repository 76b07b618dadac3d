// The window's ten target formats, one row each, in the order in which the handlers test and
// set the format buttons. A worker routine, the button states and Save As are all driven by
// these rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

enum class Format { Jpg, Bmp, Tif, Png, Ppm, Pgm, Pbm, Pcx, Pic, Sgi };
inline constexpr size_t kFormatCount = 10;

// A library command with the window's fixed arguments bound: returns a ResultCode.
using ConversionCommand = int32_t (*)(const char* source, const char* target);

struct ConversionRow {
    Format format;
    const char* key;                // "png": the extension and the suffix of the button's name
    const char* buttonText;         // "转换PNG"
    const char* folder;             // "png图片", inside the working folder
    const char* prefix;             // "改-" (JPG files are named "转-")
    const char* success;            // "PNG格式转换成功！"
    const char* failure;            // "PNG格式转换失败！"
    const char* filterDescription;  // "PNG图片文件（*.png）", the Save As filter
    ConversionCommand command;      // null when the library offers no such command
};

extern const std::array<ConversionRow, kFormatCount> kConversions;

inline const ConversionRow& RowOf(Format format) {
    return kConversions[static_cast<size_t>(format)];
}
