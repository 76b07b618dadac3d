#include "app/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <new>

namespace {

// Closes the descriptor when the scope ends.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd; }
    bool Close() {
        if (fd < 0) return true;
        int result = ::close(fd);
        fd = -1;
        return result == 0;
    }

  private:
    int fd;
};

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// A fresh name beside path; mode 0666 lets the umask decide the copy's permissions, as for any
// file the user creates.
int CreateTemporaryBeside(const std::string& path, std::string& temporary) {
    static std::atomic<unsigned> serial{0};
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder + "." + name + "." + std::to_string(::getpid()) + "-" +
                    std::to_string(serial.fetch_add(1)) + ".part";
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

namespace files {

bool CreateFolders(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    return !error && std::filesystem::is_directory(path, error);
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    try {
        bytes.reserve(static_cast<size_t>(info.st_size));
        uint8_t chunk[65536];
        for (;;) {
            ssize_t got = ::read(file.Get(), chunk, sizeof chunk);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return false;
            if (got == 0) return true;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return false;
    }
}

bool WriteAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string temporary;
    Descriptor file(CreateTemporaryBeside(path, temporary));
    if (file.Get() < 0) return false;
    // fsync before the rename, so that a crash cannot leave an empty file in place of the copy.
    bool written = WriteAll(file.Get(), bytes.data(), bytes.size()) && ::fsync(file.Get()) == 0;
    if (file.Close() && written && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace files
