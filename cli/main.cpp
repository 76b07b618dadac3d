// torvenquill SOURCE TARGET: the library's conversion commands from a shell.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/target_formats.h"
#include "convert/torvenquill.h"

namespace {

// Exit statuses, one per ResultCode; usage errors share the bad-arguments status.
constexpr int kExitSourceNotFound = 2;
constexpr int kExitSourceUnreadable = 3;
constexpr int kExitTargetNotWritten = 4;
constexpr int kExitBadArguments = 7;

const char* kUsage =
    "Usage: torvenquill [OPTIONS] SOURCE TARGET\n"
    "Converts the image SOURCE into TARGET. The target format comes from TARGET's extension\n"
    "(any case) or from --to.\n"
    "\n"
    "Options:\n"
    "  --to FORMAT       write FORMAT whatever TARGET's extension is\n"
    "  --quality N       JPEG quality, 1 to 100 (default 99)\n"
    "  --smoothing N     JPEG smoothing, 0 to 100 (default 50)\n"
    "  --no-optimize     JPEG without optimised Huffman tables\n"
    "  --grey            JPEG or TIFF in grey levels\n"
    "  --plain           PPM, PGM or PBM in the plain (text) form\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "Exit status: 0 success, 2 source not found, 3 source not readable, 4 target not written,\n"
    "7 invalid arguments.\n";

struct Arguments {
    std::vector<std::string> paths;
    std::optional<std::string> format;
    CliOptions options;
    unsigned flagsUsed = 0;
};

[[noreturn]] void Fail(int status, const std::string& message) {
    std::fprintf(stderr, "torvenquill: %s\n", message.c_str());
    std::exit(status);
}

int32_t ParseNumber(const std::string& flag, const char* text, int32_t lo, int32_t hi) {
    char* end = nullptr;
    errno = 0;
    long value = text ? std::strtol(text, &end, 10) : 0;
    if (text == nullptr || *text == '\0' || *end != '\0' || errno != 0 || value < lo || value > hi) {
        Fail(kExitBadArguments, "invalid option: " + flag + " needs a whole number from " +
                                    std::to_string(lo) + " to " + std::to_string(hi));
    }
    return static_cast<int32_t>(value);
}

Arguments ParseArguments(int argc, char** argv) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char* next = (i + 1 < argc) ? argv[i + 1] : nullptr;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (a == "--version") {
            std::printf("torvenquill %s\n", TorvenquillVersion());
            std::exit(0);
        } else if (a == "--to") {
            if (next == nullptr) Fail(kExitBadArguments, "invalid option: --to needs a format");
            args.format = argv[++i];
        } else if (a == "--quality") {
            args.options.quality = ParseNumber(a, next, 1, 100), ++i;
            args.flagsUsed |= kFlagQuality;
        } else if (a == "--smoothing") {
            args.options.smoothing = ParseNumber(a, next, 0, 100), ++i;
            args.flagsUsed |= kFlagSmoothing;
        } else if (a == "--grey" || a == "--gray") {
            args.options.grey = true;
            args.flagsUsed |= kFlagGrey;
        } else if (a == "--plain") {
            args.options.plain = true;
            args.flagsUsed |= kFlagPlain;
        } else if (a == "--no-optimize") {
            args.options.optimize = false;
            args.flagsUsed |= kFlagNoOptimize;
        } else if (a == "--") {
            for (++i; i < argc; ++i) args.paths.push_back(argv[i]);
        } else if (a.size() > 1 && a[0] == '-') {
            Fail(kExitBadArguments, "invalid option: " + a + " (see --help)");
        } else {
            args.paths.push_back(a);
        }
    }
    if (args.paths.size() != 2) {
        Fail(kExitBadArguments, "expected a SOURCE and a TARGET (see --help)");
    }
    return args;
}

std::string Extension(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot + 1);
}

const TargetFormat& ChooseFormat(const Arguments& args) {
    const std::string& target = args.paths[1];
    std::string wanted = args.format ? *args.format : Extension(target);
    if (wanted.empty()) {
        Fail(kExitBadArguments, target + ": no extension to tell the format; use --to FORMAT");
    }
    const TargetFormat* format = FindTargetFormat(wanted);
    if (format == nullptr) {
        std::string known;
        for (const TargetFormat& f : TargetFormats()) known += (known.empty() ? "" : ", ") + std::string(f.name);
        Fail(kExitBadArguments, "cannot write " + wanted + " files; formats written: " + known);
    }
    return *format;
}

std::string TargetProblem(const std::string& target) {
    size_t slash = target.rfind('/');
    std::string folder = (slash == std::string::npos) ? "." : target.substr(0, slash + 1);
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return " (the folder does not exist)";
    if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return " (it is a folder)";
    if (::access(folder.c_str(), W_OK) != 0) return " (the folder is not writable)";
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args = ParseArguments(argc, argv);
    const TargetFormat& format = ChooseFormat(args);
    unsigned unsupported = args.flagsUsed & ~format.flags;
    if (unsupported != 0) {
        Fail(kExitBadArguments,
             std::string("invalid option: a flag given does not apply to ") + format.name + " files");
    }
    const std::string& source = args.paths[0];
    const std::string& target = args.paths[1];
    int32_t result = format.convert(source.c_str(), target.c_str(), args.options);
    switch (result) {
        case TVQ_RESULT_OK:
            return 0;
        case TVQ_RESULT_SOURCE_NOT_FOUND:
            Fail(kExitSourceNotFound, source + ": no such file");
        case TVQ_RESULT_SOURCE_UNREADABLE:
            Fail(kExitSourceUnreadable, source + ": not an image this program can read");
        case TVQ_RESULT_TARGET_NOT_WRITTEN:
            Fail(kExitTargetNotWritten, target + ": cannot write the target" + TargetProblem(target));
        case TVQ_RESULT_BAD_ARGUMENTS:
            Fail(kExitBadArguments, "invalid option for " + std::string(format.name));
        default:
            Fail(1, "unexpected result " + std::to_string(result));
    }
}
