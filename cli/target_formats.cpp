#include "cli/target_formats.h"

#include <strings.h>

#include "convert/torvenquill.h"

namespace {

int32_t ToBmp(const char* source, const char* target, const CliOptions&) {
    return ConvertToBmp(source, target);
}

int32_t ToJpg(const char* source, const char* target, const CliOptions& options) {
    return ConvertToJpg(source, target, options.grey ? 1 : 0, options.quality,
                        options.optimize ? 1 : 0, options.smoothing);
}

int32_t ToTif(const char* source, const char* target, const CliOptions& options) {
    return ConvertToTif(source, target, options.grey ? 1 : 0);
}

int32_t ToPng(const char* source, const char* target, const CliOptions&) {
    return ConvertToPng(source, target, 24);
}

constexpr TargetFormat kFormats[] = {
    {"jpg", {"jpeg", "jpe", nullptr}, kFlagQuality | kFlagSmoothing | kFlagGrey | kFlagNoOptimize,
     ToJpg},
    {"bmp", {nullptr}, 0, ToBmp},
    {"tif", {"tiff", nullptr}, kFlagGrey, ToTif},
    {"png", {nullptr}, 0, ToPng},
};

}  // namespace

std::span<const TargetFormat> TargetFormats() { return kFormats; }

const TargetFormat* FindTargetFormat(const std::string& text) {
    for (const TargetFormat& format : kFormats) {
        if (strcasecmp(format.name, text.c_str()) == 0) return &format;
        for (const char* alias : format.aliases) {
            if (alias == nullptr) break;
            if (strcasecmp(alias, text.c_str()) == 0) return &format;
        }
    }
    return nullptr;
}
