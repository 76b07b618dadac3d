// Stateless file-system helpers of the library, and the RAII owners of C streams and descriptors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "image/support/heap_block.h"
#include "image/support/text_buffer.h"

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// A C stream that moves a megabyte per read or write. The page cache builds its folios as large
// as each write, and with a stream's default 4 KiB buffer writing a large picture costs about a
// third more. glibc honours setvbuf's size only for a buffer of the caller's, so the stream owns
// one; the stream is closed before its buffer goes.
class BufferedFile {
  public:
    static constexpr uint32_t kBufferBytes = uint32_t(1) << 20;

    BufferedFile() = default;
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;
    ~BufferedFile() { Reset(); }

    // fopen's modes. Without memory for the large buffer the stream keeps its own small one, as
    // it does when asked to (large false): a decoder that reads a few kilobytes at a time takes
    // them straight from the file that way, without a megabyte copied through the cache first.
    bool Open(const char* path, const char* mode, bool large = true);
    FILE* Get() const { return file.get(); }
    bool IsOpen() const { return file != nullptr; }
    // Ends a write: true when written is true and closing the stream, which sends what is still
    // buffered, succeeds too (a full disk may show only then). On failure the partial file at
    // deleteOnFailure, when one is named, is removed.
    bool FinishWrite(bool written, const char* deleteOnFailure = nullptr);
    // Closes the stream, if any, whatever the outcome.
    void Reset();

  private:
    HeapBlock buffer;
    FilePtr file;
};

// Owns a POSIX file descriptor.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd; }
    bool Valid() const { return fd >= 0; }
    int Release() {
        int old = fd;
        fd = -1;
        return old;
    }
    void Reset(int newFd = -1);

  private:
    int fd = -1;
};

class FileUtil {
  public:
    // 1 when anything (file, directory, device) exists at path.
    static int32_t FileExists(const char* path);
    // 1 when path, with one trailing "/" removed, names an existing directory.
    static int32_t IsDirectory(const char* path);
    // 1 when there is no such file or it was deleted; 0 when deleting it failed or path names
    // something other than a file (a device, a folder).
    static int32_t DeleteIfExists(const char* path);
    // Size of an open stream, found by seeking to its end; the stream is left at offset 0.
    static uint64_t GetStreamSize(FILE* stream);

    // The user's temporary folder: $TMPDIR when it names a directory, else /tmp.
    static int32_t GetTempFolder(TextBuffer& out);
    // A path dir/prefix<n>.tmp, lowest n first, that names no existing file (dir null or empty:
    // the temporary folder). The name may be taken by someone else before it is used.
    static int32_t MakeTempFileName(TextBuffer& out, const char* prefix, const char* dir);
    // Chooses the lowest free dir/prefix<n>.tmp and creates it in the same step (O_EXCL), so
    // that concurrent callers, in this process or others, never receive the same file.
    static int32_t CreateTempFile(TextBuffer& out, UniqueFd& fd, const char* prefix,
                                  const char* dir);

    static int32_t AddTrailingSeparator(TextBuffer& text);
    static int32_t RemoveTrailingSeparator(TextBuffer& text);
};
