// The limit reference: the least a program must do for each conversion the benchmark times, with
// the bare libraries and plain loops and the picture held in heap memory. The benchmark quotes
// every tool's time as a ratio to this one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::unique_ptr<uint8_t[]> rgb;  // rows top first, R G B, no padding; not zero-filled

    bool Allocate(uint32_t w, uint32_t h);
    uint8_t* Row(uint32_t y) const { return rgb.get() + uint64_t(y) * width * 3; }
};

// FILE* closed on every return.
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// fopen with a 1 MiB stream buffer: what any careful program does for large files, so that the
// limit measures the work, not the size of its writes.
File OpenFile(const char* path, const char* mode);

bool ReadBmp(const char* path, Picture& picture);
bool ReadJpeg(const char* path, Picture& picture);
bool ReadPng(const char* path, Picture& picture);
bool ReadTiff(const char* path, Picture& picture);

bool WriteBmp(const char* path, const Picture& picture);
bool WriteJpeg(const char* path, const Picture& picture);
bool WritePng(const char* path, const Picture& picture);
bool WriteTiff(const char* path, const Picture& picture);
bool WritePpm(const char* path, const Picture& picture);
bool WritePgm(const char* path, const Picture& picture);
bool WritePbm(const char* path, const Picture& picture);
bool WritePcx(const char* path, const Picture& picture);
bool WritePic(const char* path, const Picture& picture);
bool WriteSgi(const char* path, const Picture& picture);
