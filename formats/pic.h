// Softimage PIC files, written only: a 104-byte big-endian header, one channel description for
// uncompressed 8-bit red, green and blue, then the rows top first as R, G, B bytes.
#pragma once

#include <cstdint>

#include "image/progress.h"
#include "image/raster_image.h"
#include "image/support/file_util.h"
#include "image/support/text_buffer.h"

class PicCodec {
  public:
    static constexpr uint32_t kHeaderSize = 104;
    static constexpr uint32_t kChannelInfoSize = 4;

    PicCodec() = default;
    PicCodec(const PicCodec&) = delete;
    PicCodec& operator=(const PicCodec&) = delete;
    ~PicCodec() { Close(); }

    // depth must be 24; a picture of another depth is converted by Write.
    int32_t OpenWrite(const char* path, RasterImage* image, uint32_t depth,
                      ProgressCallback callback);
    int32_t Write();
    int32_t Close();

  private:
    void FillHeader();

    ProgressCallback callback = nullptr;
    BufferedFile file;
    bool writeOpen = false;
    uint8_t header[kHeaderSize] = {};
    uint8_t channelInfo[kChannelInfoSize] = {};
    TextBuffer path;
    uint32_t depth = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    RasterImage* image = nullptr;
};
