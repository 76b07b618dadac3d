// The library's conversion commands: each validates its own arguments and supplies the writer
// step that RunConversion drives.
#include "convert/command.h"
#include "formats/bmp.h"

namespace {

bool WriteBmp(const char* path, RasterImage& image, const void*) {
    RasterImage scratch;
    RasterImage* picture = AsDepth24(image, scratch);
    if (picture == nullptr) return false;
    BmpCodec codec;
    return codec.OpenWrite(path, picture, 24, nullptr) == 1 && codec.Write() == 1;
}

}  // namespace

extern "C" const char* TorvenquillVersion(void) { return LUMENVEX_VERSION; }

extern "C" int32_t ConvertToBmp(const char* source, const char* target) {
    return RunConversion(source, target, WriteBmp, nullptr);
}
