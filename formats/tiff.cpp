#include "formats/tiff.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "image/image_size.h"
#include "image/support/heap_block.h"
#include "image/support/mapped_buffer.h"

namespace {

constexpr int32_t kGreyAsPalette = 39;
constexpr int32_t kRgb = 40;

// libtiff's handlers are process-wide; null ones drop every message. Set once, before any
// thread opens its first file.
void SilenceLibtiff() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

// Entry i of the grey ramp is i x 256 in all three colours, so white is 65280, not 65535.
void FillGreyRamp(uint16_t* ramp) {
    for (int i = 0; i < 256; ++i) ramp[i] = static_cast<uint16_t>(i * 256);
}

}  // namespace

int32_t TiffCodec::Close() {
    tiff.reset();
    callback = nullptr;
    readOpen = writeOpen = false;
    path.Free();
    depth = 0;
    pixelKind = 0;
    width = height = 0;
    image = nullptr;
    return 1;
}

int32_t TiffCodec::OpenRead(const char* newPath, RasterImage* newImage,
                            ProgressCallback newCallback) {
    Close();
    if (newPath == nullptr || newImage == nullptr) return 0;
    SilenceLibtiff();
    // "m": plain reads, no memory mapping of a file that may be cut short under us.
    tiff.reset(TIFFOpen(newPath, "rm"));
    uint32_t fileWidth = 0, fileHeight = 0;
    if (!tiff || TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &fileWidth) != 1 ||
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &fileHeight) != 1 || fileWidth < 1 ||
        fileHeight < 1) {
        Close();
        return 0;
    }
    width = fileWidth;
    height = fileHeight;
    callback = newCallback;
    path.Assign(newPath);
    pixelKind = kRgb;
    readOpen = true;
    image = newImage;
    return 1;
}

// libtiff's RGBA reader decodes the whole picture, whatever its layout, into a raster whose
// first row is the bottom one; each raster row lands in its picture row, R, G, B kept.
bool TiffCodec::DecodeRaster() {
    const uint64_t rasterBytes = CheckedImageBytes(width, height, 4);
    if (rasterBytes == 0) return false;
    const int32_t w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);
    bool sized =
        image->GetWidth() == w && image->GetHeight() == h && image->GetBitsPerPixel() == 24;
    if (!sized && !image->Create(w, h, 24, 0)) return false;
    MappedBuffer raster;
    if (!raster.Allocate(static_cast<uint32_t>(rasterBytes), "VODUVIZO", nullptr)) return false;
    auto* pixels = reinterpret_cast<uint32_t*>(raster.GetData());
    // Stopping at the first damaged strip or tile: a picture with holes is not a decoded one.
    if (TIFFReadRGBAImage(tiff.get(), width, height, pixels, 1) == 0) return false;
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* source = pixels + uint64_t(h - 1 - y) * width;
        uint8_t* row = image->GetRow(y);
        for (uint32_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(TIFFGetR(source[x]));
            row[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(source[x]));
            row[3 * x + 2] = static_cast<uint8_t>(TIFFGetB(source[x]));
        }
        ReportProgress(callback, 1, y, h);
    }
    image->Flush();
    return true;
}

int32_t TiffCodec::Read() {
    bool ok = readOpen && DecodeRaster();
    ReportProgress(callback, 1, int32_t(height) - 1, int32_t(height));
    Close();
    return ok ? 1 : 0;
}

int32_t TiffCodec::OpenWrite(const char* newPath, RasterImage* newImage, uint32_t newDepth,
                             ProgressCallback newCallback) {
    Close();
    if ((newDepth != 8 && newDepth != 24) || newPath == nullptr || newImage == nullptr ||
        newImage->GetWidth() < 1 || newImage->GetHeight() < 1) {
        return 0;
    }
    SilenceLibtiff();
    // "l": little-endian; "m": no memory mapping. The host's bit order ("H") is not asked for:
    // on this machine it would reverse the bits of every byte written without saying so in
    // the file, and every reader would see other pixels.
    tiff.reset(TIFFOpen(newPath, "wlm"));
    if (!tiff) {
        Close();
        return 0;
    }
    depth = newDepth;
    callback = newCallback;
    writeOpen = true;
    path.Assign(newPath);
    image = newImage;
    width = uint32_t(newImage->GetWidth());
    height = uint32_t(newImage->GetHeight());
    pixelKind = newDepth == 8 ? kGreyAsPalette : kRgb;
    return 1;
}

void TiffCodec::SetTags(uint16_t photometric, const uint16_t* greyRamp) {
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, depth == 8 ? 1 : 3);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    if (depth == 8) TIFFSetField(t, TIFFTAG_COLORMAP, greyRamp, greyRamp, greyRamp);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    // No preference: libtiff picks about 8 KB of rows per strip, at least one.
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, UINT32_MAX));
}

bool TiffCodec::WriteStrips() {
    // Grey levels (never palette indexes) for 8 bits; plain RGB for 24.
    RasterImage scratch;
    const RasterImage* source = image;
    bool ready = depth == 8 ? image->GetBitsPerPixel() == 8 && image->GetColorCount() == 0
                            : image->GetBitsPerPixel() == 24 && image->GetColorCount() == 0;
    if (!ready) {
        if (!image->ConvertTo(scratch, depth, 0)) return false;
        source = &scratch;
    }
    uint16_t greyRamp[256];
    FillGreyRamp(greyRamp);
    SetTags(depth == 8 ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB, greyRamp);

    const uint32_t rowBytes = source->GetRowBytes();
    const tmsize_t scanlineBytes = TIFFScanlineSize(tiff.get());
    if (scanlineBytes <= 0 || uint64_t(scanlineBytes) > UINT32_MAX - 4) return false;
    HeapBlock buffer;
    if (!buffer.Allocate(std::max(rowBytes, uint32_t(scanlineBytes)) + 4)) return false;
    std::memset(buffer.GetData(), 0, buffer.GetSize());
    const int32_t h = static_cast<int32_t>(height);
    for (int32_t y = 0; y < h; ++y) {
        std::memcpy(buffer.GetData(), source->GetRow(y), rowBytes);
        if (TIFFWriteScanline(tiff.get(), buffer.GetData(), uint32_t(y), 0) < 0) return false;
        ReportProgress(callback, 0, y, h);
    }
    return true;
}

int32_t TiffCodec::Write() {
    bool ok = writeOpen && WriteStrips();
    // libtiff writes the directory when the file is flushed; doing it here rather than in
    // TIFFClose lets a failed write of the directory fail the whole write.
    if (ok) ok = TIFFFlush(tiff.get()) == 1;
    ReportProgress(callback, 0, int32_t(height) - 1, int32_t(height));
    Close();
    return ok ? 1 : 0;
}
