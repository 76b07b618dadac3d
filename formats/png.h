// PNG through libpng's row interface. The reader takes 1- to 8-bit files: palette as 8-bit
// indexes with the file's palette, RGB as 24 bits, RGB with alpha as 32 bits (alpha first), grey
// (with any alpha dropped) as 8-bit grey. The writer makes an Adam7-interlaced 8-bit file from a
// palette, 24-bit or 32-bit picture.
#pragma once

#include <png.h>

#include <cstdint>

#include "image/progress.h"
#include "image/raster_image.h"
#include "image/support/file_util.h"
#include "image/support/text_buffer.h"

class PngCodec {
  public:
    PngCodec() = default;
    PngCodec(const PngCodec&) = delete;
    PngCodec& operator=(const PngCodec&) = delete;
    ~PngCodec() { Close(); }

    // 1 when libpng accepted the header and the file has at most 8 bits per sample.
    int32_t OpenRead(const char* path, RasterImage* image, ProgressCallback callback);
    int32_t Read();
    // depth 8 (colorCount 1..256), 24 or 32; creates the file at path.
    int32_t OpenWrite(const char* path, RasterImage* image, uint32_t depth, int32_t colorCount,
                      ProgressCallback callback);
    int32_t Write();
    int32_t Close();

  private:
    // The IHDR values in the order png_get_IHDR returns them.
    struct Header {
        png_uint_32 width = 0;
        png_uint_32 height = 0;
        int colorType = 0;
        int bitDepth = 0;
        int interlaceMethod = 0;
        int filterMethod = 0;
        int compressionMethod = 0;
    };

    bool ReadHeader();
    void ChooseReadForm();
    bool DecodeRows();
    bool CopyPalette();
    void SetUpGamma();
    bool Encode(RasterImage& scratch);
    int ChooseWriteForm(const RasterImage& source, png_color* palette);

    ProgressCallback callback = nullptr;
    BufferedFile file;
    bool readOpen = false;
    bool writeOpen = false;
    Header header;
    png_structp pngStruct = nullptr;
    png_infop pngInfo = nullptr;
    TextBuffer path;
    uint32_t depth = 0;
    int32_t pixelKind = 0;
    int32_t colorCount = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    RasterImage* image = nullptr;
};
