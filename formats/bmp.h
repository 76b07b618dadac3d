// Windows bitmap files, uncompressed 24 bits per pixel in both directions: the reader accepts
// Windows and OS/2 core headers, bottom-up or top-down; the writer makes a 40-byte info header
// with bottom-up rows padded to four bytes.
#pragma once

#include <cstdint>

#include "image/progress.h"
#include "image/raster_image.h"
#include "image/support/file_util.h"
#include "image/support/heap_block.h"
#include "image/support/text_buffer.h"

class BmpCodec {
  public:
    BmpCodec() = default;
    BmpCodec(const BmpCodec&) = delete;
    BmpCodec& operator=(const BmpCodec&) = delete;
    ~BmpCodec() { Close(); }

    // 1 when path is a 24-bit uncompressed BMP; the codec is then bound to image for Read.
    int32_t OpenRead(const char* path, RasterImage* image, ProgressCallback callback);
    int32_t Read();
    // Creates the file at path; image must be a 24-bit picture and bitsPerPixel 24.
    int32_t OpenWrite(const char* path, RasterImage* image, uint32_t bitsPerPixel,
                      ProgressCallback callback);
    int32_t Write();
    int32_t Close();

  private:
    bool ReadHeaders();
    bool ParseInfoHeader();
    bool ReadRows(uint32_t stride);
    bool WriteRows(uint32_t stride);

    ProgressCallback callback = nullptr;
    BufferedFile file;
    bool readOpen = false;
    bool writeOpen = false;
    uint8_t fileHeader[14] = {};
    HeapBlock headerBlock;
    TextBuffer path;
    uint32_t bitsPerPixel = 0;
    bool isCoreHeader = false;
    bool bottomUp = true;
    uint32_t compression = 0;
    uint64_t fileSize = 0;
    uint32_t pixelOffset = 0;
    int32_t width = 0;
    int32_t height = 0;
    RasterImage* image = nullptr;
};
