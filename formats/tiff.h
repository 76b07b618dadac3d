// TIFF through libtiff. The reader takes the first picture of any file that libtiff's RGBA
// reader understands and delivers 24-bit RGB (alpha dropped); the writer makes an uncompressed,
// little-endian file in strips: 24-bit RGB, or 8-bit grey stored as a palette with a grey ramp.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>

#include "image/progress.h"
#include "image/raster_image.h"
#include "image/support/file_util.h"
#include "image/support/text_buffer.h"

struct TiffCloser {
    void operator()(TIFF* tiff) const {
        if (tiff != nullptr) TIFFClose(tiff);
    }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// The buffered stream libtiff reads or writes through. libtiff asks where the file ends before
// every strip it writes; answering from end, the furthest byte written, spares the stream the
// seek that would send its buffer out a strip at a time.
struct TiffStream {
    BufferedFile file;
    bool writing = false;
    uint64_t end = 0;
    bool decoding = false;  // strips or tiles are being decoded
    bool damaged = false;   // libtiff warned while they were
};

class TiffCodec {
  public:
    TiffCodec() = default;
    TiffCodec(const TiffCodec&) = delete;
    TiffCodec& operator=(const TiffCodec&) = delete;
    ~TiffCodec() { Close(); }

    // 1 when libtiff opened path as a TIFF whose first picture is at least 1 x 1.
    int32_t OpenRead(const char* path, RasterImage* image, ProgressCallback callback);
    int32_t Read();
    // depth 24 (RGB) or 8 (grey levels as a palette picture); creates the file at path.
    int32_t OpenWrite(const char* path, RasterImage* image, uint32_t depth,
                      ProgressCallback callback);
    int32_t Write();
    int32_t Close();

  private:
    bool OpenTiff(const char* path, bool writing);
    bool IsPlainRgb();
    bool DecodeRgbStrips();
    bool DecodeRgbaBlocks();
    bool DecodePicture();
    bool WriteStrips();
    void SetTags(uint16_t photometric, const uint16_t* greyRamp);

    ProgressCallback callback = nullptr;
    TiffStream stream;
    TiffPtr tiff;  // closed before the stream, which it may still write to
    bool readOpen = false;
    bool writeOpen = false;
    TextBuffer path;
    uint32_t depth = 0;
    int32_t pixelKind = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    RasterImage* image = nullptr;
};
