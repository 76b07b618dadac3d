// Kodak Photo CD image packs, read only: one of the three base resolutions (192 x 128, 384 x 256,
// 768 x 512), stored as row pairs of luma with chroma subsampled by two, into a 24-bit picture.
#pragma once

#include <cstdint>

#include "image/progress.h"
#include "image/raster_image.h"
#include "image/support/file_util.h"
#include "image/support/text_buffer.h"

class PhotoCdReader {
  public:
    PhotoCdReader() = default;
    PhotoCdReader(const PhotoCdReader&) = delete;
    PhotoCdReader& operator=(const PhotoCdReader&) = delete;
    ~PhotoCdReader() { Close(); }

    // resolution 0, 1 or 2 (only its low eight bits count). 1 when path is an image pack that
    // holds the whole of that resolution; the reader is then bound to image for Read.
    int32_t OpenRead(const char* path, RasterImage* image, int32_t resolution,
                     ProgressCallback callback);
    int32_t Read();
    int32_t Close();

  private:
    bool HasSignature(uint64_t fileSize);
    bool DecodeRecords();

    ProgressCallback callback = nullptr;
    BufferedFile file;
    bool readOpen = false;
    bool writeOpen = false;  // there is no write side
    TextBuffer path;
    uint32_t depth = 0;
    uint32_t resolution = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t dataOffset = 0;
    RasterImage* image = nullptr;
};
