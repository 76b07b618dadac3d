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

int32_t ToPcx(const char* source, const char* target, const CliOptions&) {
    return ConvertToPcx(source, target);
}

int32_t ToPpm(const char* source, const char* target, const CliOptions& options) {
    return ConvertToPpm(source, target, options.plain ? 0 : 1);
}

int32_t ToPgm(const char* source, const char* target, const CliOptions& options) {
    return ConvertToPgm(source, target, options.plain ? 0 : 1);
}

int32_t ToPbm(const char* source, const char* target, const CliOptions& options) {
    return ConvertToPbm(source, target, options.plain ? 0 : 1);
}

int32_t ToPic(const char* source, const char* target, const CliOptions&) {
    return ConvertToPic(source, target);
}

int32_t ToSgi(const char* source, const char* target, const CliOptions&) {
    return ConvertToSgi(source, target);
}

constexpr TargetFormat kFormats[] = {
    {"jpg", {"jpeg", "jpe", nullptr}, kFlagQuality | kFlagSmoothing | kFlagGrey | kFlagNoOptimize,
     ToJpg},
    {"bmp", {nullptr}, 0, ToBmp},
    {"tif", {"tiff", nullptr}, kFlagGrey, ToTif},
    {"png", {nullptr}, 0, ToPng},
    {"pcx", {nullptr}, 0, ToPcx},
    {"ppm", {nullptr}, kFlagPlain, ToPpm},
    {"pgm", {nullptr}, kFlagPlain, ToPgm},
    {"pbm", {nullptr}, kFlagPlain, ToPbm},
    {"pic", {nullptr}, 0, ToPic},
    {"sgi", {nullptr}, 0, ToSgi},
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
