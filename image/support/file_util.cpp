#include "image/support/file_util.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// Temporary names run from 0 up to this number, as they always have.
constexpr int64_t kLastTempNumber = 2047483647;

int32_t ResolveFolder(TextBuffer& folder, const char* dir) {
    if (dir != nullptr && *dir != '\0') {
        folder.Assign(dir);
    } else if (!FileUtil::GetTempFolder(folder)) {
        return 0;
    }
    if (!FileUtil::IsDirectory(folder.GetText())) return 0;
    return FileUtil::AddTrailingSeparator(folder);
}

std::string Candidate(const TextBuffer& folder, const char* prefix, int64_t n) {
    return std::string(folder.GetText()) + prefix + std::to_string(n) + ".tmp";
}

}  // namespace

bool BufferedFile::Open(const char* path, const char* mode, bool large) {
    file.reset();
    file.reset(std::fopen(path, mode));
    if (!file) return false;
    if (!large) {
        buffer.Free();
    } else if (buffer.GetSize() == kBufferBytes || buffer.Allocate(kBufferBytes)) {
        std::setvbuf(file.get(), reinterpret_cast<char*>(buffer.GetData()), _IOFBF,
                     buffer.GetSize());
    }
    return true;
}

bool BufferedFile::FinishWrite(bool written, const char* deleteOnFailure) {
    const bool closed = file && std::fclose(file.release()) == 0;
    const bool ok = written && closed;
    if (!ok && deleteOnFailure != nullptr) FileUtil::DeleteIfExists(deleteOnFailure);
    buffer.Free();
    return ok;
}

void BufferedFile::Reset() {
    file.reset();
    buffer.Free();
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

void UniqueFd::Reset(int newFd) {
    if (fd >= 0) ::close(fd);
    fd = newFd;
}

int32_t FileUtil::FileExists(const char* path) {
    if (path == nullptr || *path == '\0') return 0;
    struct stat st;
    return ::stat(path, &st) == 0 ? 1 : 0;
}

int32_t FileUtil::IsDirectory(const char* path) {
    if (path == nullptr || *path == '\0') return 0;
    struct stat st;
    return (::stat(path, &st) == 0 && S_ISDIR(st.st_mode)) ? 1 : 0;
}

int32_t FileUtil::DeleteIfExists(const char* path) {
    if (path == nullptr || *path == '\0') return 1;
    struct stat st;
    if (::lstat(path, &st) != 0) return errno == ENOENT ? 1 : 0;
    // Only files are ever ours to delete: a writer given a device such as /dev/full must not
    // remove the device node when its write fails.
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return 0;
    return (::unlink(path) == 0 || errno == ENOENT) ? 1 : 0;
}

uint64_t FileUtil::GetStreamSize(FILE* stream) {
    if (stream == nullptr) return 0;
    if (fseeko(stream, 0, SEEK_END) != 0) return 0;
    off_t size = ftello(stream);
    if (fseeko(stream, 0, SEEK_SET) != 0 || size < 0) return 0;
    return static_cast<uint64_t>(size);
}

int32_t FileUtil::GetTempFolder(TextBuffer& out) {
    const char* env = std::getenv("TMPDIR");
    if (env != nullptr && IsDirectory(env)) return out.Assign(env);
    return out.Assign("/tmp");
}

int32_t FileUtil::MakeTempFileName(TextBuffer& out, const char* prefix, const char* dir) {
    if (prefix == nullptr || *prefix == '\0') return 0;
    TextBuffer folder;
    if (!ResolveFolder(folder, dir)) return 0;
    for (int64_t n = 0; n <= kLastTempNumber; ++n) {
        std::string name = Candidate(folder, prefix, n);
        if (!FileExists(name.c_str())) return out.Assign(name.c_str());
    }
    return 0;
}

int32_t FileUtil::CreateTempFile(TextBuffer& out, UniqueFd& fd, const char* prefix,
                                 const char* dir) {
    if (prefix == nullptr || *prefix == '\0') return 0;
    TextBuffer folder;
    if (!ResolveFolder(folder, dir)) return 0;
    for (int64_t n = 0; n <= kLastTempNumber; ++n) {
        std::string name = Candidate(folder, prefix, n);
        int created = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (created >= 0) {
            fd.Reset(created);
            if (out.Assign(name.c_str())) return 1;
            ::unlink(name.c_str());
            fd.Reset();
            return 0;
        }
        if (errno != EEXIST) return 0;  // read-only folder, no space, no rights: no name will do
    }
    return 0;
}

int32_t FileUtil::AddTrailingSeparator(TextBuffer& text) {
    TextBuffer last;
    if (text.Right(last, 1) && last.Equals("/", 0)) return 1;
    text.Append("/");
    return 1;
}

int32_t FileUtil::RemoveTrailingSeparator(TextBuffer& text) {
    if (text.GetCharCount() == 0) return 0;
    TextBuffer last;
    if (text.Right(last, 1) && last.Equals("/", 0)) {
        TextBuffer rest;
        text.Left(rest, text.GetCharCount() - 1);
        text = rest;
    }
    return 1;
}
