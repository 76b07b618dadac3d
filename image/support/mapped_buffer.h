// Working memory that lives in a private temporary file mapped into the address space: the pixel
// memory of every RasterImage and the large scratch buffers of readers.
#pragma once

#include <cstdint>

#include "image/support/file_util.h"
#include "image/support/text_buffer.h"

class MappedBuffer {
  public:
    MappedBuffer() = default;
    MappedBuffer(const MappedBuffer&) = delete;
    MappedBuffer& operator=(const MappedBuffer&) = delete;
    // Deletes the file: a buffer dropped on an early return must not leave scratch files behind.
    ~MappedBuffer() { Release(1); }

    // A fresh, zero-filled block of exactly size bytes backed by the file tag<n>.tmp in the
    // temporary folder (path null) or by path. Its pages are faulted in, and the file's space
    // reserved, up front: a full disk fails here instead of faulting later when a page is touched.
    int32_t Allocate(uint32_t size, const char* tag, const char* path);
    uint8_t* GetData() const { return view; }
    uint32_t GetSize() const { return size; }
    const char* GetPath() const { return path.GetText(); }
    // Schedules count bytes from address (count 0: the whole view) for writing back, without
    // waiting: the file is scratch, never worth a disk write of its own.
    int32_t Flush(const void* address, uint32_t count);
    // Unmaps and closes; deletes the file when deleteFile is 1, else leaves it on disk.
    int32_t Release(int32_t deleteFile);

  private:
    int32_t CreateFile(const char* tag, const char* givenPath);

    UniqueFd file;
    uint8_t* view = nullptr;
    TextBuffer path;
    uint32_t size = 0;
};
