// The formats the torvenquill command writes: one row per format, naming its extensions, the
// option flags that apply to it, and how the command is called.
#pragma once

#include <cstdint>
#include <span>
#include <string>

struct CliOptions {
    int32_t quality = 99;
    int32_t smoothing = 50;
    bool grey = false;
    bool plain = false;
    bool optimize = true;
};

// Flags a format accepts, or'ed together.
enum CliFlag : unsigned {
    kFlagQuality = 1u << 0,
    kFlagSmoothing = 1u << 1,
    kFlagGrey = 1u << 2,
    kFlagPlain = 1u << 3,
    kFlagNoOptimize = 1u << 4,
};

struct TargetFormat {
    const char* name;        // as given to --to, and the main extension
    const char* aliases[3];  // further extensions, null-terminated
    unsigned flags;
    int32_t (*convert)(const char* source, const char* target, const CliOptions& options);
};

std::span<const TargetFormat> TargetFormats();
// The row whose name or alias equals text without regard to case; null when none.
const TargetFormat* FindTargetFormat(const std::string& text);
