#include "image/support/mapped_buffer.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Pictures up to this size get all their pages at once; larger ones only reserve their blocks
// and fault pages in as rows arrive, so a small file whose header claims a huge picture costs
// disk reservations, not memory, before its decoding fails.
constexpr uint32_t kPopulateLimit = 256u << 20;

// Gives the mapping all its pages, writable, in one call. Every user writes its buffer in full,
// and one trap per 4 KiB page taken in the writer's own order (a bottom-up BMP runs backwards,
// which also keeps the kernel from handing out large folios) costs more than the pixels are
// worth. Faulting the pages in also reserves their room in the file system, so a full disk or
// temporary folder fails here with an error instead of raising SIGBUS when a page is touched.
bool PopulateWritable(int fd, void* view, uint32_t size) {
    // No huge-page hint: once other programs have fragmented memory, each 2 MiB folio it asks
    // for can stall in direct compaction, charged to this process, and conversions beside other
    // busy programs then took two to four times as long.
    if (size <= kPopulateLimit && ::madvise(view, size, MADV_POPULATE_WRITE) == 0) return true;
    if (size <= kPopulateLimit && errno != EINVAL) return false;
    // Large buffers, and kernels before 5.14 that lack the call: reserve the blocks instead,
    // where the file system can.
    int rc = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    return rc == 0 || rc == EOPNOTSUPP || rc == EINVAL;
}

// A picture larger than the free space of the temporary folder is refused before anything is
// mapped, so a header that merely claims a huge size costs nothing.
bool HasRoomFor(int fd, uint32_t size) {
    struct statvfs fs;
    if (::fstatvfs(fd, &fs) != 0) return true;  // unknown: let the reservation decide
    return uint64_t(fs.f_bavail) * uint64_t(fs.f_frsize) >= size;
}

}  // namespace

int32_t MappedBuffer::CreateFile(const char* tag, const char* givenPath) {
    if (givenPath == nullptr) return FileUtil::CreateTempFile(path, file, tag, nullptr);
    if (!path.Assign(givenPath)) return 0;
    FileUtil::DeleteIfExists(givenPath);
    file.Reset(::open(givenPath, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    return file.Valid() ? 1 : 0;
}

int32_t MappedBuffer::Allocate(uint32_t newSize, const char* tag, const char* givenPath) {
    Release(0);
    if (newSize == 0) {
        Release(1);
        return 0;
    }
    if (tag == nullptr || *tag == '\0') return 0;
    if (!CreateFile(tag, givenPath)) {
        Release(1);
        return 0;
    }
    if (!HasRoomFor(file.Get(), newSize) ||
        ::ftruncate(file.Get(), static_cast<off_t>(newSize)) != 0) {
        Release(1);
        return 0;
    }
    void* mapped = ::mmap(nullptr, newSize, PROT_READ | PROT_WRITE, MAP_SHARED, file.Get(), 0);
    if (mapped == MAP_FAILED) {
        Release(1);
        return 0;
    }
    view = static_cast<uint8_t*>(mapped);
    size = newSize;
    if (!PopulateWritable(file.Get(), view, newSize)) {
        Release(1);
        return 0;
    }
    return 1;
}

int32_t MappedBuffer::Flush(const void* address, uint32_t count) {
    if (view == nullptr) return 0;
    if (count == 0) return ::msync(view, size, MS_ASYNC) == 0 ? 1 : 0;
    // msync wants a page-aligned start; widen the range down to its page.
    const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    uintptr_t start = reinterpret_cast<uintptr_t>(address);
    uintptr_t begin = reinterpret_cast<uintptr_t>(view);
    uintptr_t end = begin + size;
    if (start < begin || start >= end) return 0;
    if (count > end - start) count = static_cast<uint32_t>(end - start);
    uintptr_t aligned = start & ~(page - 1);
    return ::msync(reinterpret_cast<void*>(aligned), count + (start - aligned), MS_ASYNC) == 0 ? 1
                                                                                               : 0;
}

int32_t MappedBuffer::Release(int32_t deleteFile) {
    if (view != nullptr) ::munmap(view, size);
    view = nullptr;
    size = 0;
    file.Reset();
    if (deleteFile == 1 && !path.IsEmpty()) ::unlink(path.GetText());
    path.Free();
    return 1;
}
