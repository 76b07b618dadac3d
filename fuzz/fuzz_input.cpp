#include "fuzz/fuzz_input.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// One folder per process, on disk rather than in memory: a header may legitimately claim a
// picture of gigabytes, whose reserved blocks must not count against the fuzzer's memory limit.
const std::string& ProcessFolder() {
    static const std::string folder = [] {
        const char* base = std::getenv("LUMENVEX_FUZZ_TMP") ? std::getenv("LUMENVEX_FUZZ_TMP") : "/tmp";
        std::string pattern = std::string(base) + "/lumenvex-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        setenv("TMPDIR", pattern.c_str(), 1);
        return pattern;
    }();
    return folder;
}

}  // namespace

FuzzInput::FuzzInput(const uint8_t* data, size_t size)
    : folder(ProcessFolder()), path(folder + "/input") {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

FuzzInput::~FuzzInput() {
    unlink(path.c_str());
    // Anything else left in the folder is a file the library failed to remove.
    DIR* d = opendir(folder.c_str());
    while (dirent* e = d ? readdir(d) : nullptr) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0 &&
            std::strncmp(e->d_name, "out", 3) != 0) {
            std::fprintf(stderr, "left behind: %s\n", e->d_name);
            std::abort();
        }
    }
    if (d) closedir(d);
}
