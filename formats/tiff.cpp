#include "formats/tiff.h"

#include <sys/stat.h>

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

// libtiff's own allocations (strip tables, one strip's data) stay below this; a picture's
// pixels never pass through them.
constexpr tmsize_t kLargestLibtiffBlock = tmsize_t(256) << 20;

struct OpenOptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

int DropMessage(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// A warning while strips or tiles are decoded means their data ran out or did not fit: libtiff
// completes such a picture with made-up rows (a fax strip cut short becomes white to the end),
// so the picture is refused, as a damaged strip is.
int NoteWarning(TIFF*, void* user, const char*, const char*, va_list) {
    auto* stream = static_cast<TiffStream*>(user);
    if (stream->decoding) stream->damaged = true;
    return 1;
}

// Entry i of the grey ramp is i x 256 in all three colours, so white is 65280, not 65535.
void FillGreyRamp(uint16_t* ramp) {
    for (int i = 0; i < 256; ++i) ramp[i] = static_cast<uint16_t>(i * 256);
}

TiffStream* StreamOf(thandle_t handle) { return static_cast<TiffStream*>(handle); }

tmsize_t ReadStream(thandle_t handle, void* data, tmsize_t size) {
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(std::fread(data, 1, size_t(size), StreamOf(handle)->file.Get()));
}

tmsize_t WriteStream(thandle_t handle, void* data, tmsize_t size) {
    if (size <= 0) return 0;
    TiffStream* stream = StreamOf(handle);
    FILE* file = stream->file.Get();
    const size_t written = std::fwrite(data, 1, size_t(size), file);
    const off_t at = ftello(file);
    if (at > 0 && uint64_t(at) > stream->end) stream->end = uint64_t(at);
    return static_cast<tmsize_t>(written);
}

// Asking the stream where it is costs nothing; moving it (even to where it is) sends out what is
// buffered, so a seek to the current place goes no further.
toff_t SeekStream(thandle_t handle, toff_t offset, int whence) {
    TiffStream* stream = StreamOf(handle);
    FILE* file = stream->file.Get();
    const off_t current = ftello(file);
    uint64_t target = offset;
    if (whence == SEEK_END && stream->writing) {
        target = stream->end + offset;
    } else if (whence != SEEK_SET) {
        if (fseeko(file, static_cast<off_t>(offset), whence) != 0) return toff_t(-1);
        const off_t at = ftello(file);
        return at < 0 ? toff_t(-1) : toff_t(at);
    }
    if (current >= 0 && uint64_t(current) == target) return target;
    if (target > uint64_t(INT64_MAX) || fseeko(file, static_cast<off_t>(target), SEEK_SET) != 0) {
        return toff_t(-1);
    }
    return target;
}

// The stream is closed by its owner, after libtiff has finished with it.
int CloseStream(thandle_t) { return 0; }

toff_t StreamSize(thandle_t handle) {
    TiffStream* stream = StreamOf(handle);
    if (stream->writing) return stream->end;
    struct stat st;
    if (fstat(fileno(stream->file.Get()), &st) != 0 || st.st_size < 0) return 0;
    return toff_t(st.st_size);
}

// Files are read and written through the stream, never mapped.
int MapNothing(thandle_t, void**, toff_t*) { return 0; }
void UnmapNothing(thandle_t, void*, toff_t) {}

// The vertical flip libtiff's RGBA reader makes to deliver a file's rows top row first: for the
// orientations whose first row is the bottom one.
bool FlipsRowsForTopLeft(uint16_t orientation) {
    return orientation == ORIENTATION_BOTLEFT || orientation == ORIENTATION_BOTRIGHT ||
           orientation == ORIENTATION_LEFTBOT || orientation == ORIENTATION_RIGHTBOT;
}

// A block of RGBA rows about this many pixels (4 MiB) is decoded at a time.
constexpr uint64_t kBlockPixels = uint64_t(1) << 20;
constexpr uint64_t kLargestBlockPixels = uint64_t(1) << 24;

// Ends an RGBA reading whatever way the decoding leaves.
struct RgbaImageEnd {
    TIFFRGBAImage* image;
    ~RgbaImageEnd() { TIFFRGBAImageEnd(image); }
};

}  // namespace

int32_t TiffCodec::Close() {
    tiff.reset();
    stream.file.Reset();
    stream.writing = false;
    stream.end = 0;
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
    uint32_t fileWidth = 0, fileHeight = 0;
    if (!OpenTiff(newPath, false) ||
        TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &fileWidth) != 1 ||
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

// libtiff over the buffered stream. "l": little-endian, for a file written; "m": no memory
// mapping, of a file that may be cut short under us either. The host's bit order ("H") is not
// asked for: on this machine it would reverse the bits of every byte written without saying so
// in the file, and every reader would see other pixels.
bool TiffCodec::OpenTiff(const char* newPath, bool writing) {
    stream.writing = writing;
    stream.end = 0;
    stream.decoding = stream.damaged = false;
    // Strips are read whole, straight from the file; written ones gather into megabyte writes.
    if (!stream.file.Open(newPath, writing ? "wb" : "rb", writing)) return false;
    std::unique_ptr<TIFFOpenOptions, OpenOptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) return false;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kLargestLibtiffBlock);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), DropMessage, &stream);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), NoteWarning, &stream);
    tiff.reset(TIFFClientOpenExt(newPath, writing ? "wlm" : "rm", &stream, ReadStream, WriteStream,
                                 SeekStream, CloseStream, StreamSize, MapNothing, UnmapNothing,
                                 options.get()));
    return tiff != nullptr;
}

// 8-bit RGB in contiguous strips, top row first, coded in one of the common ways: what libtiff's
// RGBA reader would deliver sample for sample.
bool TiffCodec::IsPlainRgb() {
    TIFF* t = tiff.get();
    uint16_t photometric = 0, planar = 0, bits = 0, samples = 0, orientation = 0, compression = 0;
    if (TIFFIsTiled(t) || TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
        photometric != PHOTOMETRIC_RGB) {
        return false;
    }
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    uint16_t extraSamples = 0;
    const uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extraSamples, &extraKinds);
    const bool plainCoding = compression == COMPRESSION_NONE || compression == COMPRESSION_LZW ||
                             compression == COMPRESSION_ADOBE_DEFLATE ||
                             compression == COMPRESSION_DEFLATE ||
                             compression == COMPRESSION_PACKBITS;
    return planar == PLANARCONFIG_CONTIG && bits == 8 && samples == 3 && extraSamples == 0 &&
           orientation == ORIENTATION_TOPLEFT && plainCoding &&
           TIFFScanlineSize64(t) == uint64_t(width) * 3;
}

// libtiff's RGBA reader decodes any layout it knows, a block of whole strips or tile rows at a
// time, its rows delivered top row first; R, G and B of each pixel land in the picture's row.
// Such strips are decoded straight into the picture's rows, which lie back to back.
bool TiffCodec::DecodeRgbStrips() {
    TIFF* t = tiff.get();
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::min(rowsPerStrip, height);
    const tmsize_t rowBytes = static_cast<tmsize_t>(width) * 3;
    const int32_t h = static_cast<int32_t>(height);
    for (uint32_t first = 0; first < height; first += rowsPerStrip) {
        const uint32_t rows = std::min(rowsPerStrip, height - first);
        const tmsize_t bytes = rowBytes * rows;
        // A strip that decodes short leaves a hole: refused, as the RGBA reader refuses it.
        if (TIFFReadEncodedStrip(t, TIFFComputeStrip(t, first, 0),
                                 image->GetRow(static_cast<int32_t>(first)), bytes) != bytes) {
            return false;
        }
        ReportProgress(callback, 1, static_cast<int32_t>(first + rows) - 1, h);
    }
    return true;
}

bool TiffCodec::DecodeRgbaBlocks() {
    TIFF* t = tiff.get();
    char message[1024];
    TIFFRGBAImage rgba;
    // Stopping at the first damaged strip or tile: a picture with holes is not a decoded one.
    if (TIFFRGBAImageBegin(&rgba, t, 1, message) == 0) return false;
    RgbaImageEnd end{&rgba};
    rgba.req_orientation = ORIENTATION_TOPLEFT;
    const bool flip = FlipsRowsForTopLeft(rgba.orientation);
    uint32_t unit = 0;
    if (TIFFIsTiled(t))
        TIFFGetField(t, TIFFTAG_TILELENGTH, &unit);
    else
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &unit);
    unit = std::clamp<uint32_t>(unit, 1, height);
    const uint64_t units = std::max<uint64_t>(1, kBlockPixels / (uint64_t(unit) * width));
    uint64_t rowsWanted = units * unit;
    // A strip or tile row too tall to hold whole is taken in parts: libtiff decodes the strip
    // again from its start for each part, but a small file claiming one vast strip no longer
    // costs a whole-picture block before its data is found wanting.
    if (rowsWanted * width > kLargestBlockPixels) {
        rowsWanted = std::max<uint64_t>(1, kLargestBlockPixels / width);
    }
    const uint32_t blockRows = static_cast<uint32_t>(std::min<uint64_t>(rowsWanted, height));
    const uint64_t blockBytes = CheckedImageBytes(width, blockRows, 4);
    HeapBlock block;
    if (blockBytes == 0 || !block.Allocate(static_cast<uint32_t>(blockBytes))) return false;
    auto* pixels = reinterpret_cast<uint32_t*>(block.GetData());
    const int32_t h = static_cast<int32_t>(height);
    for (uint32_t first = 0; first < height; first += blockRows) {
        const uint32_t rows = std::min(blockRows, height - first);
        rgba.row_offset = static_cast<int>(first);
        rgba.col_offset = 0;
        if (TIFFRGBAImageGet(&rgba, pixels, width, rows) == 0 || stream.damaged) return false;
        // The block holds file rows first.. first + rows; a file stored bottom row first
        // delivers them as the picture rows counted that far from its bottom.
        const uint32_t top = flip ? height - first - rows : first;
        for (uint32_t i = 0; i < rows; ++i) {
            const uint32_t* source = pixels + uint64_t(i) * width;
            uint8_t* row = image->GetRow(static_cast<int32_t>(top + i));
            for (uint32_t x = 0; x < width; ++x) {
                row[3 * x] = static_cast<uint8_t>(TIFFGetR(source[x]));
                row[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(source[x]));
                row[3 * x + 2] = static_cast<uint8_t>(TIFFGetB(source[x]));
            }
        }
        ReportProgress(callback, 1, static_cast<int32_t>(first + rows) - 1, h);
    }
    return true;
}

bool TiffCodec::DecodePicture() {
    if (CheckedImageBytes(width, height, 4) == 0) return false;
    const int32_t w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);
    bool sized =
        image->GetWidth() == w && image->GetHeight() == h && image->GetBitsPerPixel() == 24;
    if (!sized && !image->Create(w, h, 24, 0)) return false;
    // Only what the RGBA reader accepts is read, whichever way it is decoded.
    char message[1024];
    stream.decoding = true;
    bool ok = TIFFRGBAImageOK(tiff.get(), message) != 0 &&
              (IsPlainRgb() ? DecodeRgbStrips() : DecodeRgbaBlocks()) && !stream.damaged;
    stream.decoding = false;
    if (ok) image->Flush();
    return ok;
}

int32_t TiffCodec::Read() {
    bool ok = readOpen && DecodePicture();
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
    if (!OpenTiff(newPath, true)) {
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
    tiff.reset();
    // What the stream still buffers meets a full disk only when it is closed.
    ok = stream.file.FinishWrite(ok);
    ReportProgress(callback, 0, int32_t(height) - 1, int32_t(height));
    Close();
    return ok ? 1 : 0;
}
