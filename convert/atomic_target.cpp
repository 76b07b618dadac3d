#include "convert/atomic_target.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

namespace {

std::atomic<unsigned> sequence{0};

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    size_t slash = path.rfind('/');
    folder = (slash == std::string::npos) ? std::string() : path.substr(0, slash + 1);
    name = (slash == std::string::npos) ? path : path.substr(slash + 1);
}

}  // namespace

bool AtomicTarget::Prepare(const char* path) {
    Discard();
    if (path == nullptr || *path == '\0') return false;
    target = path;
    struct stat st;
    if (::stat(path, &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            target.clear();
            return false;
        }
        // A device, pipe or socket is written in place: there is nothing to replace, and
        // renaming over it would swap the device for a plain file.
        if (!S_ISREG(st.st_mode)) {
            direct = true;
            return true;
        }
        // Through a symbolic link the file it names is replaced, not the link.
        if (char* real = ::realpath(path, nullptr)) {
            target = real;
            std::free(real);
        }
    }
    std::string folder, name;
    SplitPath(target, folder, name);
    if (name.empty()) {
        target.clear();
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder + "." + name + "." + std::to_string(::getpid()) + "-" +
                                std::to_string(sequence.fetch_add(1)) + ".part";
        // 0666 before the umask: the finished file gets the permissions of any new file.
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            temporary = candidate;
            return true;
        }
        if (errno != EEXIST) break;
    }
    target.clear();
    return false;
}

bool AtomicTarget::Commit() {
    if (direct) {
        Discard();
        return true;
    }
    if (temporary.empty()) return false;
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        Discard();
        return false;
    }
    temporary.clear();
    target.clear();
    return true;
}

void AtomicTarget::Discard() {
    if (!temporary.empty()) ::unlink(temporary.c_str());
    direct = false;
    temporary.clear();
    target.clear();
}
