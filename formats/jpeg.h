// JPEG through libjpeg: the reader delivers three-component files as 24-bit RGB and
// one-component files as 8-bit grey; the writer makes a baseline JFIF file in colour or grey in
// one Save call. Library errors come back as a failed result, never as a message.
#pragma once

#include <cstdint>
// jpeglib.h uses FILE and size_t without declaring them.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include "image/progress.h"
#include "image/raster_image.h"
#include "image/support/file_util.h"
#include "image/support/text_buffer.h"

class JpegCodec {
  public:
    JpegCodec();
    JpegCodec(const JpegCodec&) = delete;
    JpegCodec& operator=(const JpegCodec&) = delete;
    ~JpegCodec() { Close(); }

    // 1 when path is a JPEG of one or three components; the decompressor is then started and
    // the codec bound to image for Read.
    int32_t OpenRead(const char* path, RasterImage* image, ProgressCallback callback);
    int32_t Read();
    // Writes image to path in one call: quality 1..100, colourFlag 1 for three components (any
    // other value: one grey component), optimizeCoding nonzero for optimised Huffman tables,
    // smoothingFactor 0..100.
    int32_t Save(const char* path, RasterImage* image, int32_t quality, int32_t colourFlag,
                 int32_t optimizeCoding, int32_t smoothingFactor, ProgressCallback callback);
    int32_t Close();

  private:
    bool StartDecompress();
    bool DecodeRows();
    bool Compress(RasterImage& scratch, int32_t optimizeCoding, int32_t smoothingFactor);

    ProgressCallback callback = nullptr;
    BufferedFile file;
    bool readOpen = false;
    bool writeOpen = false;
    jpeg_decompress_struct decompressor;
    jpeg_compress_struct compressor;
    int32_t quality = 100;
    TextBuffer path;
    uint32_t depth = 0;
    int32_t pixelKind = 0;
    int32_t width = 0;
    int32_t height = 0;
    RasterImage* image = nullptr;
};
