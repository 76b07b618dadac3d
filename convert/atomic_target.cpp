#include "convert/atomic_target.h"

#include <errno.h>
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
    // The writer creates the file itself inside a folder that only this process can enter. A
    // placeholder file would be truncated by the writer's open, and on ext4 a truncated file is
    // written back as soon as it is closed, in the writer's time, instead of in the background.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder + "." + name + "." + std::to_string(::getpid()) + "-" +
                                std::to_string(sequence.fetch_add(1)) + ".part";
        if (::mkdir(candidate.c_str(), 0700) == 0) {
            workFolder = candidate;
            temporary = candidate + "/" + name;
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
    Discard();
    return true;
}

void AtomicTarget::Discard() {
    if (!temporary.empty()) ::unlink(temporary.c_str());
    if (!workFolder.empty()) ::rmdir(workFolder.c_str());
    direct = false;
    workFolder.clear();
    temporary.clear();
    target.clear();
}
