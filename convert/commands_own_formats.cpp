// The commands for the formats the library codes itself: PCX, the PNM family, Softimage PIC
// and SGI.
#include "convert/command.h"
#include "formats/pcx.h"
#include "formats/pic.h"
#include "formats/pnm.h"
#include "formats/sgi.h"

namespace {

struct PnmOptions {
    int32_t raw;
    int32_t kind;
};

bool WritePcx(const char* path, RasterImage& image, const void*) {
    RasterImage scratch;
    RasterImage* picture = AsDepth24(image, scratch);
    if (picture == nullptr) return false;
    PcxCodec codec;
    return codec.OpenWrite(path, picture, 24, nullptr) == 1 && codec.Write() == 1;
}

bool WritePnm(const char* path, RasterImage& image, const void* options) {
    const auto* pnm = static_cast<const PnmOptions*>(options);
    PnmCodec codec;
    return codec.OpenWrite(path, &image, pnm->kind, pnm->raw, nullptr) == 1 && codec.Write() == 1;
}

bool WritePic(const char* path, RasterImage& image, const void*) {
    PicCodec codec;
    return codec.OpenWrite(path, &image, 24, nullptr) == 1 && codec.Write() == 1;
}

bool WriteSgi(const char* path, RasterImage& image, const void*) {
    SgiCodec codec;
    return codec.OpenWrite(path, &image, 24, 0, nullptr) == 1 && codec.Write() == 1;
}

// The routine behind the PNM commands; its callers check the paths.
int32_t WritePnmFile(const char* source, const char* target, int32_t raw, int32_t kind) {
    const PnmOptions options{raw, kind};
    return RunConversion(source, target, WritePnm, &options);
}

bool HavePaths(const char* source, const char* target) {
    return source != nullptr && target != nullptr;
}

}  // namespace

extern "C" int32_t ConvertToPcx(const char* source, const char* target) {
    return RunConversion(source, target, WritePcx, nullptr);
}

extern "C" int32_t ConvertToPpm(const char* source, const char* target, int32_t raw) {
    if (!HavePaths(source, target)) return TVQ_RESULT_BAD_ARGUMENTS;
    return WritePnmFile(source, target, raw, PnmCodec::kKindPpm);
}

extern "C" int32_t ConvertToPgm(const char* source, const char* target, int32_t raw) {
    if (!HavePaths(source, target)) return TVQ_RESULT_BAD_ARGUMENTS;
    return WritePnmFile(source, target, raw, PnmCodec::kKindPgm);
}

extern "C" int32_t ConvertToPbm(const char* source, const char* target, int32_t raw) {
    if (!HavePaths(source, target)) return TVQ_RESULT_BAD_ARGUMENTS;
    return WritePnmFile(source, target, raw, PnmCodec::kKindPbm);
}

extern "C" int32_t ConvertToPic(const char* source, const char* target) {
    return RunConversion(source, target, WritePic, nullptr);
}

extern "C" int32_t ConvertToSgi(const char* source, const char* target) {
    return RunConversion(source, target, WriteSgi, nullptr);
}
