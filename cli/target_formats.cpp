#include "cli/target_formats.h"

#include <strings.h>

#include "convert/torvenquill.h"

namespace {

int32_t ToBmp(const char* source, const char* target, const CliOptions&) {
    return ConvertToBmp(source, target);
}

constexpr TargetFormat kFormats[] = {
    {"bmp", {nullptr}, 0, ToBmp},
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
