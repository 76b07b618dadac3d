#include "app/working_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace {

bool IsWritableFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           ::access(path.c_str(), W_OK | X_OK) == 0;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
    if (const passwd* user = ::getpwuid(::getuid()); user != nullptr && user->pw_dir != nullptr) {
        return user->pw_dir;
    }
    return "/tmp";
}

}  // namespace

std::string ProgramDirectory() {
    std::vector<char> buffer(4096);
    for (;;) {
        ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return ".";
        if (static_cast<size_t>(length) < buffer.size()) {
            std::string program(buffer.data(), static_cast<size_t>(length));
            size_t slash = program.rfind('/');
            if (slash == std::string::npos) return ".";
            return slash == 0 ? "/" : program.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string ChooseWorkingFolder(const std::string& programDirectory,
                                const std::string& xdgCacheHome, const std::string& home) {
    std::string besideProgram = programDirectory + "/tmp";
    struct stat info;
    bool exists = ::lstat(besideProgram.c_str(), &info) == 0;
    if (exists ? IsWritableFolder(besideProgram) : IsWritableFolder(programDirectory)) {
        return besideProgram;
    }
    std::string cacheHome =
        !xdgCacheHome.empty() && xdgCacheHome[0] == '/' ? xdgCacheHome : home + "/.cache";
    return cacheHome + "/lumenvex/tmp";
}

std::string DefaultWorkingFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    return ChooseWorkingFolder(ProgramDirectory(), xdg ? xdg : "", HomeFolder());
}
