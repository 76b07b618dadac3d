// Portable anymap files, written only: PGM (grey), PPM (colour) and PBM (black and white), each
// in the raw form (samples as bytes, "P5", "P6", "P4") or the plain form (decimal text, "P2",
// "P3", "P1").
#pragma once

#include <cstdint>
#include <cstdio>

#include "image/progress.h"
#include "image/raster_image.h"
#include "image/support/file_util.h"
#include "image/support/text_buffer.h"

class PnmCodec {
  public:
    static constexpr int32_t kKindPgm = 1;
    static constexpr int32_t kKindPpm = 2;
    static constexpr int32_t kKindPbm = 3;

    PnmCodec() = default;
    PnmCodec(const PnmCodec&) = delete;
    PnmCodec& operator=(const PnmCodec&) = delete;
    ~PnmCodec() { Close(); }

    // kind 1 PGM, 2 PPM or 3 PBM; raw 1 selects the raw form, any other value the plain form.
    // An unknown kind is refused before any file is created.
    int32_t OpenWrite(const char* path, RasterImage* image, int32_t kind, int32_t raw,
                      ProgressCallback callback);
    int32_t Write();
    int32_t Close();

    // The decimal text of value and then a line feed (lineEnd 1) or a blank, in one write to
    // stream: 0 on success, -1 when the write fails.
    static int32_t WriteNumber(FILE* stream, uint32_t value, int32_t lineEnd);

  private:
    bool WriteHeader();
    const RasterImage* ChooseSource(RasterImage& temporary) const;
    bool WritePlainRow(const uint8_t* samples, uint32_t& counter);
    bool WriteSampleRows(const RasterImage& source);
    bool WriteBitmapRows(const RasterImage& source);

    ProgressCallback callback = nullptr;
    BufferedFile file;
    bool writeOpen = false;
    TextBuffer path;
    int32_t kind = 0;
    uint32_t depth = 0;  // 8 for PGM, 24 for PPM, 1 for PBM
    bool plainText = false;
    uint32_t width = 0;
    uint32_t height = 0;
    RasterImage* image = nullptr;
};
