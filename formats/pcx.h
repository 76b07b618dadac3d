// ZSoft PCX files, version 5 header with run-length encoded scan lines: 256-colour pictures (one
// plane of indexes, palette at the end of the file) and true-colour pictures (three planes, red,
// green and blue), read and written.
#pragma once

#include <cstdint>

#include "image/progress.h"
#include "image/raster_image.h"
#include "image/support/file_util.h"
#include "image/support/text_buffer.h"

class PcxCodec {
  public:
    static constexpr uint32_t kHeaderSize = 128;
    static constexpr uint32_t kPaletteSize = 768;

    PcxCodec() = default;
    PcxCodec(const PcxCodec&) = delete;
    PcxCodec& operator=(const PcxCodec&) = delete;
    ~PcxCodec() { Close(); }

    // 1 when path is a PCX file of 8 or 24 bits per pixel; the codec is then bound to image.
    int32_t OpenRead(const char* path, RasterImage* image, ProgressCallback callback);
    int32_t Read();
    // depth 8 (256 colours, the picture quantised when it has another form) or 24 (image must
    // be a 24-bit picture). Nothing is created when the picture cannot be written.
    int32_t OpenWrite(const char* path, RasterImage* image, uint32_t depth,
                      ProgressCallback callback);
    int32_t Write();
    int32_t Close();

    // Run-length encodes length bytes of in; out needs room for 2 x length bytes. Returns the
    // number of bytes placed in out.
    static uint32_t EncodeScanLine(uint8_t* out, const uint8_t* in, uint32_t length);
    // Decodes one scan line of exactly length bytes into out from in, which points into the
    // compressed block [dataStart, dataStart + dataSize). Returns the first byte after the scan
    // line, or null when the block ends before the scan line is complete.
    static const uint8_t* DecodeScanLine(uint8_t* out, const uint8_t* in, uint32_t length,
                                         const uint8_t* dataStart, uint64_t dataSize);

  private:
    uint32_t GetPlanes() const;
    uint32_t GetBytesPerLine() const;
    bool LayoutFits(uint64_t dataSize) const;
    bool ReadPalette(uint64_t fileSize);
    bool ReadCompressed(MappedBuffer& data, uint64_t size);
    bool DecodeRows(const MappedBuffer& data, uint64_t dataSize);
    void FillHeader(uint32_t planes, uint32_t bytesPerLine);
    bool WriteRows(const RasterImage& source, uint32_t bytesPerLine);
    bool WritePalette(const RasterImage& source);

    ProgressCallback callback = nullptr;
    BufferedFile file;
    bool readOpen = false;
    bool writeOpen = false;
    uint8_t header[kHeaderSize] = {};
    TextBuffer path;
    uint32_t depth = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    RasterImage* image = nullptr;
};
