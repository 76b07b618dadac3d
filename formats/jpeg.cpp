#include "formats/jpeg.h"

#include <jerror.h>

#include <csetjmp>
#include <cstring>

namespace {

constexpr int32_t kThreeComponents = 14;  // 24-bit RGB rows
constexpr int32_t kOneComponent = 15;     // 8-bit grey rows

// libjpeg reports an error by calling error_exit, which must not return. Each operation that
// calls the library keeps one of these in its own frame, so an error always lands in the
// operation that is running; the manager comes first so libjpeg's pointer to it finds the jump.
struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void JumpToTrap(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->jump, 1);
}

void DropMessage(j_common_ptr) {}

void CountWarning(j_common_ptr info, int level) {
    if (level < 0) ++info->err->num_warnings;
}

// Warnings never reach the user. Two of them are failures all the same: the file, or the
// compressed data before the next marker, ends before the picture does, and libjpeg would
// complete the picture with made-up grey rows (from a few hundred bytes, a gigapixel of them).
void FailOnEarlyEnd(j_common_ptr info, int level) {
    CountWarning(info, level);
    const int code = info->err->msg_code;
    if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) JumpToTrap(info);
}

jpeg_error_mgr* QuietManager(jpeg_error_mgr& manager) {
    jpeg_std_error(&manager);
    manager.output_message = DropMessage;
    manager.emit_message = CountWarning;
    return &manager;
}

jpeg_error_mgr* ArmedManager(ErrorTrap& trap) {
    QuietManager(trap.manager);
    trap.manager.emit_message = FailOnEarlyEnd;
    trap.manager.error_exit = JumpToTrap;
    return &trap.manager;
}

}  // namespace

JpegCodec::JpegCodec() {
    std::memset(&decompressor, 0, sizeof decompressor);
    std::memset(&compressor, 0, sizeof compressor);
}

int32_t JpegCodec::Close() {
    // The error manager of the last operation lived in its frame; destroying needs none that
    // raises, but it must not point at a dead one.
    jpeg_error_mgr quiet;
    if (readOpen) {
        decompressor.err = QuietManager(quiet);
        jpeg_destroy_decompress(&decompressor);
    } else if (writeOpen) {
        compressor.err = QuietManager(quiet);
        jpeg_destroy_compress(&compressor);
    }
    file.Reset();
    std::memset(&decompressor, 0, sizeof decompressor);
    std::memset(&compressor, 0, sizeof compressor);
    callback = nullptr;
    readOpen = writeOpen = false;
    quality = 100;
    path.Free();
    depth = 0;
    pixelKind = 0;
    width = height = 0;
    image = nullptr;
    return 1;
}

// Reads the header and starts the decompressor with every setting at libjpeg's default, so a
// three-component file comes out as RGB and a grey one as grey.
bool JpegCodec::StartDecompress() {
    ErrorTrap trap;
    decompressor.err = ArmedManager(trap);
    readOpen = true;
    if (setjmp(trap.jump) != 0) return false;
    jpeg_create_decompress(&decompressor);
    jpeg_stdio_src(&decompressor, file.Get());
    jpeg_read_header(&decompressor, TRUE);
    jpeg_start_decompress(&decompressor);
    return true;
}

int32_t JpegCodec::OpenRead(const char* newPath, RasterImage* newImage,
                            ProgressCallback newCallback) {
    Close();
    if (newPath == nullptr || newImage == nullptr) return 0;
    // libjpeg reads 4 KiB at a time: straight from the file, not through a large buffer.
    file.Open(newPath, "rb", false);
    uint8_t marker[2] = {};
    bool started = file.IsOpen() && std::fread(marker, 2, 1, file.Get()) == 1 &&
                   marker[0] == 0xFF && marker[1] == 0xD8 && fseeko(file.Get(), 0, SEEK_SET) == 0 &&
                   StartDecompress();
    int components = decompressor.out_color_components;
    if (!started || decompressor.output_width < 1 || decompressor.output_height < 1 ||
        (components != 1 && components != 3)) {
        Close();
        return 0;
    }
    width = static_cast<int32_t>(decompressor.output_width);
    height = static_cast<int32_t>(decompressor.output_height);
    pixelKind = components == 3 ? kThreeComponents : kOneComponent;
    callback = newCallback;
    path.Assign(newPath);
    image = newImage;
    return 1;
}

// libjpeg decodes straight into the picture's rows, one scanline per call.
bool JpegCodec::DecodeRows() {
    ErrorTrap trap;
    decompressor.err = ArmedManager(trap);
    if (setjmp(trap.jump) != 0) return false;
    uint32_t bits = pixelKind == kThreeComponents ? 24 : 8;
    if (!image->Create(width, height, bits, 0)) return false;
    while (decompressor.output_scanline < decompressor.output_height) {
        JSAMPROW row = image->GetRow(static_cast<int32_t>(decompressor.output_scanline));
        if (jpeg_read_scanlines(&decompressor, &row, 1) != 1) return false;
        ReportProgress(callback, 1, static_cast<int32_t>(decompressor.output_scanline) - 1, height);
    }
    image->Flush();
    return true;
}

int32_t JpegCodec::Read() {
    bool ok =
        readOpen && (pixelKind == kThreeComponents || pixelKind == kOneComponent) && DecodeRows();
    ReportProgress(callback, 1, height - 1, height);
    Close();
    return ok ? 1 : 0;
}

bool JpegCodec::Compress(RasterImage& scratch, int32_t optimizeCoding, int32_t smoothingFactor) {
    ErrorTrap trap;
    compressor.err = ArmedManager(trap);
    if (setjmp(trap.jump) != 0) return false;
    jpeg_create_compress(&compressor);
    writeOpen = true;
    file.Open(path.GetText(), "wb");
    if (!file.IsOpen()) return false;
    jpeg_stdio_dest(&compressor, file.Get());
    compressor.image_width = static_cast<JDIMENSION>(width);
    compressor.image_height = static_cast<JDIMENSION>(height);
    bool colour = pixelKind == kThreeComponents;
    compressor.input_components = colour ? 3 : 1;
    compressor.in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&compressor);
    compressor.optimize_coding = optimizeCoding;
    compressor.smoothing_factor = smoothingFactor;
    jpeg_set_quality(&compressor, quality, TRUE);
    jpeg_start_compress(&compressor, TRUE);

    // The rows handed to libjpeg must already be RGB or grey levels (never palette indexes).
    const RasterImage* source = image;
    bool ready = colour ? image->GetBitsPerPixel() == 24
                        : image->GetBitsPerPixel() == 8 && image->GetColorCount() == 0;
    if (!ready) {
        if (!image->ConvertTo(scratch, depth, 0)) return false;
        source = &scratch;
    }
    while (compressor.next_scanline < compressor.image_height) {
        JSAMPROW row = source->GetRow(static_cast<int32_t>(compressor.next_scanline));
        if (jpeg_write_scanlines(&compressor, &row, 1) != 1) return false;
        ReportProgress(callback, 0, static_cast<int32_t>(compressor.next_scanline) - 1, height);
    }
    jpeg_finish_compress(&compressor);
    return true;
}

int32_t JpegCodec::Save(const char* newPath, RasterImage* newImage, int32_t newQuality,
                        int32_t colourFlag, int32_t optimizeCoding, int32_t smoothingFactor,
                        ProgressCallback newCallback) {
    Close();
    if (newPath == nullptr || newImage == nullptr || newQuality < 1 || newQuality > 100 ||
        newImage->GetWidth() < 1 || newImage->GetHeight() < 1 || smoothingFactor < 0 ||
        smoothingFactor > 100) {
        return 0;
    }
    width = newImage->GetWidth();
    height = newImage->GetHeight();
    depth = colourFlag == 1 ? 24 : 8;
    pixelKind = colourFlag == 1 ? kThreeComponents : kOneComponent;
    callback = newCallback;
    path.Assign(newPath);
    image = newImage;
    quality = newQuality;
    RasterImage scratch;
    bool ok = Compress(scratch, optimizeCoding, smoothingFactor);
    // Data still in the stream's buffer meets a full disk only when the stream is closed.
    ok = file.FinishWrite(ok);
    scratch.Free();
    ReportProgress(callback, 0, height - 1, height);
    Close();
    return ok ? 1 : 0;
}
