#include "formats/png.h"

#include <csetjmp>
#include <cstring>

namespace {

// No ancillary chunk a picture needs comes near this size.
constexpr png_alloc_size_t kLargestChunk = 8u << 20;
// Names of the chunks never read, five bytes each (name and terminator), as libpng wants them.
constexpr png_byte kSkippedChunks[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0pCAL\0sCAL\0hIST";

constexpr int32_t kGrey = 31;
constexpr int32_t kRgb = 33;
constexpr int32_t kRgbAlpha = 34;
constexpr int32_t kPalette = 38;

constexpr double kScreenGamma = 2.2;
constexpr double kSrgbGamma = 0.45455;

// libpng calls the error routine with a message nobody sees; the running operation's setjmp
// takes over from here.
[[noreturn]] void Fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void IgnoreWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep data, size_t length) {
    if (length == 0) return;
    auto* stream = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fread(data, length, 1, stream) == 0) png_error(png, "reading png image error");
}

void WriteData(png_structp png, png_bytep data, size_t length) {
    if (length == 0) return;
    auto* stream = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fwrite(data, length, 1, stream) == 0) png_error(png, "write png image error");
}

void FlushData(png_structp png) {
    auto* stream = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fflush(stream) != 0) png_error(png, "fulsh file error");
}

}  // namespace

int32_t PngCodec::Close() {
    if (pngStruct != nullptr) {
        if (readOpen)
            png_destroy_read_struct(&pngStruct, pngInfo ? &pngInfo : nullptr, nullptr);
        else
            png_destroy_write_struct(&pngStruct, pngInfo ? &pngInfo : nullptr);
    }
    file.Reset();
    callback = nullptr;
    readOpen = writeOpen = false;
    header = Header();
    pngStruct = nullptr;
    pngInfo = nullptr;
    path.Free();
    depth = 0;
    pixelKind = 0;
    colorCount = 0;
    width = height = 0;
    image = nullptr;
    return 1;
}

// Grey files, with or without alpha and at any bit depth, all become one byte per pixel: the
// low depths are scaled up without turning a transparency chunk into an alpha channel, and a
// real alpha channel is stripped, so libpng never delivers more than a row holds.
void PngCodec::ChooseReadForm() {
    png_set_packing(pngStruct);
    if (header.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        png_get_PLTE(pngStruct, pngInfo, &entries, &count);
        depth = 8;
        pixelKind = kPalette;
        colorCount = count;
    } else if ((header.colorType & PNG_COLOR_MASK_COLOR) != 0) {
        bool alpha = (header.colorType & PNG_COLOR_MASK_ALPHA) != 0;
        depth = alpha ? 32 : 24;
        pixelKind = alpha ? kRgbAlpha : kRgb;
        colorCount = 0;
    } else {
        if (header.bitDepth < 8) png_set_expand_gray_1_2_4_to_8(pngStruct);
        if ((header.colorType & PNG_COLOR_MASK_ALPHA) != 0) png_set_strip_alpha(pngStruct);
        depth = 8;
        pixelKind = kGrey;
        colorCount = 0;
    }
}

bool PngCodec::ReadHeader() {
    if (setjmp(png_jmpbuf(pngStruct)) != 0) return false;
    png_set_read_fn(pngStruct, file.Get(), ReadData);
    png_read_info(pngStruct, pngInfo);
    png_get_IHDR(pngStruct, pngInfo, &header.width, &header.height, &header.bitDepth,
                 &header.colorType, &header.interlaceMethod, &header.compressionMethod,
                 &header.filterMethod);
    if (header.bitDepth > 8) return false;
    ChooseReadForm();
    return true;
}

int32_t PngCodec::OpenRead(const char* newPath, RasterImage* newImage,
                           ProgressCallback newCallback) {
    Close();
    if (newPath == nullptr || newImage == nullptr) return 0;
    // libpng reads 8 KiB at a time: straight from the file, not through a large buffer.
    file.Open(newPath, "rb", false);
    if (!file.IsOpen() || fseeko(file.Get(), 0, SEEK_SET) != 0) {
        Close();
        return 0;
    }
    pngStruct = png_create_read_struct(PNG_LIBPNG_VER_STRING, file.Get(), Fail, IgnoreWarning);
    if (pngStruct == nullptr) {
        Close();
        return 0;
    }
    // Text, profile and other variable-length chunks play no part in the picture, and libpng
    // reads each whole into memory: a few bytes claiming a 2 GB text chunk would be allocated.
    // They are skipped unread instead, and any other chunk is held to a sane size.
    png_set_keep_unknown_chunks(pngStruct, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks,
                                sizeof kSkippedChunks / 5);
    png_set_chunk_malloc_max(pngStruct, kLargestChunk);
    readOpen = true;
    pngInfo = png_create_info_struct(pngStruct);
    if (pngInfo == nullptr || !ReadHeader()) {
        Close();
        return 0;
    }
    callback = newCallback;
    path.Assign(newPath);
    width = header.width;
    height = header.height;
    image = newImage;
    return 1;
}

// The palette as the file stores it, taken before any gamma correction is set up.
bool PngCodec::CopyPalette() {
    png_colorp entries = nullptr;
    int count = 0;
    png_get_PLTE(pngStruct, pngInfo, &entries, &count);
    if (count < 1 || count > 256 || count != colorCount || entries == nullptr) return false;
    PaletteEntry* palette = image->GetPalette();
    for (int i = 0; i < count; ++i) {
        palette[i].red = entries[i].red;
        palette[i].green = entries[i].green;
        palette[i].blue = entries[i].blue;
    }
    return true;
}

// libpng corrects only when file gamma times screen gamma is more than 5% away from 1, so files
// without gamma information, sRGB files and files near 1/2.2 keep their samples.
void PngCodec::SetUpGamma() {
    int intent = 0;
    double fileGamma = kSrgbGamma;
    double stored = 0;
    if (png_get_sRGB(pngStruct, pngInfo, &intent) == 0 &&
        png_get_gAMA(pngStruct, pngInfo, &stored) != 0) {
        fileGamma = stored;
    }
    png_set_gamma(pngStruct, kScreenGamma, fileGamma);
}

// libpng decodes straight into the picture's rows; in an interlaced file every pass visits
// every row and libpng merges that pass's pixels into it.
bool PngCodec::DecodeRows() {
    if (setjmp(png_jmpbuf(pngStruct)) != 0) return false;
    bool sized = image->GetBitsPerPixel() == depth && image->GetColorCount() == colorCount &&
                 uint32_t(image->GetWidth()) == width && uint32_t(image->GetHeight()) == height;
    if (width > INT32_MAX || height > INT32_MAX) return false;
    if (!sized && !image->Create(int32_t(width), int32_t(height), depth, colorCount)) return false;
    if (pixelKind == kPalette && !CopyPalette()) return false;
    SetUpGamma();
    png_set_swap_alpha(pngStruct);
    int passes = png_set_interlace_handling(pngStruct);
    png_read_update_info(pngStruct, pngInfo);
    if (png_get_rowbytes(pngStruct, pngInfo) != image->GetRowBytes()) return false;
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < height; ++y) {
            png_bytep row = image->GetRow(int32_t(y));
            png_read_rows(pngStruct, &row, nullptr, 1);
            ReportProgress(callback, 1, int32_t(y), int32_t(height));
        }
    }
    png_read_end(pngStruct, pngInfo);
    image->Flush();
    return true;
}

int32_t PngCodec::Read() {
    bool ok = readOpen && DecodeRows();
    ReportProgress(callback, 1, int32_t(height) - 1, int32_t(height));
    Close();
    return ok ? 1 : 0;
}

int32_t PngCodec::OpenWrite(const char* newPath, RasterImage* newImage, uint32_t newDepth,
                            int32_t newColorCount, ProgressCallback newCallback) {
    Close();
    if (newDepth == 8 && newColorCount >= 1 && newColorCount <= 256)
        pixelKind = kPalette;
    else if (newDepth == 24)
        pixelKind = kRgb;
    else if (newDepth == 32)
        pixelKind = kRgbAlpha;
    if (pixelKind == 0 || newPath == nullptr || newImage == nullptr) {
        Close();
        return 0;
    }
    file.Open(newPath, "wb");
    if (!file.IsOpen()) {
        Close();
        return 0;
    }
    colorCount = newDepth == 8 ? newColorCount : 0;
    depth = newDepth;
    callback = newCallback;
    writeOpen = true;
    path.Assign(newPath);
    width = uint32_t(newImage->GetWidth());
    height = uint32_t(newImage->GetHeight());
    image = newImage;
    if (newImage->GetWidth() < 1 || newImage->GetHeight() < 1) {
        Close();
        return 0;
    }
    return 1;
}

// Colour type of the file for the source picture; for palette output also its first colorCount
// colours.
int PngCodec::ChooseWriteForm(const RasterImage& source, png_color* palette) {
    if (depth == 24) return PNG_COLOR_TYPE_RGB;
    if (depth == 32) return PNG_COLOR_TYPE_RGB_ALPHA;
    const PaletteEntry* entries = source.GetPalette();
    if (entries == nullptr || source.GetPaletteObject().GetCapacity() < colorCount) return -1;
    for (int32_t i = 0; i < colorCount; ++i) {
        palette[i].red = entries[i].red;
        palette[i].green = entries[i].green;
        palette[i].blue = entries[i].blue;
    }
    return PNG_COLOR_TYPE_PALETTE;
}

// libpng's defaults everywhere but the interlacing: no level, strategy, filter or extra chunk is
// set, so the file holds IHDR, PLTE for palette pictures, IDAT and IEND only.
bool PngCodec::Encode(RasterImage& scratch) {
    pngStruct = png_create_write_struct(PNG_LIBPNG_VER_STRING, file.Get(), Fail, IgnoreWarning);
    if (pngStruct == nullptr) return false;
    pngInfo = png_create_info_struct(pngStruct);
    if (pngInfo == nullptr) return false;
    png_set_write_fn(pngStruct, file.Get(), WriteData, FlushData);
    if (setjmp(png_jmpbuf(pngStruct)) != 0) return false;
    const RasterImage* source = image;
    bool ready = image->GetBitsPerPixel() == depth && image->GetColorCount() == colorCount;
    if (!ready) {
        if (!image->ConvertTo(scratch, depth, colorCount)) return false;
        source = &scratch;
    }
    png_color palette[256];
    int colorType = ChooseWriteForm(*source, palette);
    if (colorType < 0) return false;
    png_set_IHDR(pngStruct, pngInfo, width, height, 8, colorType, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(pngStruct, pngInfo, palette, colorCount);
    png_write_info(pngStruct, pngInfo);
    // A 32-bit picture holds alpha first and PNG wants it last: libpng moves it in its own copy
    // of each row, so the caller's picture is never touched.
    if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_swap_alpha(pngStruct);
    int passes = png_set_interlace_handling(pngStruct);
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < height; ++y) {
            png_bytep row = source->GetRow(int32_t(y));
            png_write_rows(pngStruct, &row, 1);
            ReportProgress(callback, 0, int32_t(y), int32_t(height));
        }
    }
    png_write_end(pngStruct, pngInfo);
    return true;
}

int32_t PngCodec::Write() {
    RasterImage scratch;
    bool ok = writeOpen && Encode(scratch);
    // Data still in the stream's buffer meets a full disk only when the stream is closed.
    ok = file.FinishWrite(ok);
    scratch.Free();
    ReportProgress(callback, 0, int32_t(height) - 1, int32_t(height));
    Close();
    return ok ? 1 : 0;
}
