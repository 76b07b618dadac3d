#include "formats/picture_rows.h"

bool WritePictureRows(FILE* stream, const RasterImage& source, ProgressCallback callback) {
    const uint32_t rowBytes = source.GetRowBytes();
    const int32_t height = source.GetHeight();
    for (int32_t r = 0; r < height; ++r) {
        if (std::fwrite(source.GetRow(r), 1, rowBytes, stream) != rowBytes) return false;
        ReportProgress(callback, 0, r, height);
    }
    return true;
}
