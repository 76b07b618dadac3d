// TIFF through libtiff: contiguous 8-bit RGB read by scanline; written uncompressed in strips of
// libtiff's default size, one scanline at a time.
#include <tiffio.h>

#include <memory>

#include "bench/limit/limit.h"

namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using Tiff = std::unique_ptr<TIFF, TiffCloser>;

}  // namespace

bool ReadTiff(const char* path, Picture& picture) {
    Tiff tiff(TIFFOpen(path, "r"));
    if (!tiff) return false;
    uint32_t width = 0, height = 0;
    uint16_t samples = 0, bits = 0, planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar);
    if (samples != 3 || bits != 8 || planar != PLANARCONFIG_CONTIG) return false;
    if (!picture.Allocate(width, height)) return false;
    for (uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tiff.get(), picture.Row(y), y, 0) < 0) return false;
    }
    return true;
}

bool WriteTiff(const char* path, const Picture& picture) {
    Tiff tiff(TIFFOpen(path, "wl"));
    if (!tiff) return false;
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, picture.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, picture.height);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, uint32_t(-1)));
    for (uint32_t y = 0; y < picture.height; ++y) {
        if (TIFFWriteScanline(t, picture.Row(y), y, 0) < 0) return false;
    }
    return TIFFFlush(t) == 1;  // writes the directory, so a full disk shows here
}
