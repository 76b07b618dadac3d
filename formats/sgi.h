// SGI image files, written only: a 512-byte big-endian header, then verbatim (uncompressed)
// 8-bit channels red, green and blue one after the other, each from the bottom row up.
#pragma once

#include <cstdint>

#include "image/progress.h"
#include "image/raster_image.h"
#include "image/support/file_util.h"
#include "image/support/text_buffer.h"

class SgiCodec {
  public:
    static constexpr uint32_t kHeaderSize = 512;

    SgiCodec() = default;
    SgiCodec(const SgiCodec&) = delete;
    SgiCodec& operator=(const SgiCodec&) = delete;
    ~SgiCodec() { Close(); }

    // depth and option have no effect: the file always has three 8-bit channels, and a picture
    // of another depth is converted by Write.
    int32_t OpenWrite(const char* path, RasterImage* image, uint32_t depth, int32_t option,
                      ProgressCallback callback);
    // On failure the partly written file is deleted.
    int32_t Write();
    int32_t Close();

  private:
    void FillHeader();
    bool WriteChannels(const RasterImage& source);

    ProgressCallback callback = nullptr;
    BufferedFile file;
    bool writeOpen = false;
    uint8_t header[kHeaderSize] = {};
    TextBuffer path;
    uint32_t depth = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    RasterImage* image = nullptr;
};
