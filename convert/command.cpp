#include "convert/command.h"

#include "convert/atomic_target.h"

int32_t RunConversion(const char* source, const char* target, WriterStep write,
                      const void* options) {
    if (source == nullptr || target == nullptr || *target == '\0') return TVQ_RESULT_BAD_ARGUMENTS;
    RasterImage image;
    int32_t loaded = LoadImageFile(source, &image);
    if (loaded != TVQ_RESULT_OK) return loaded;
    AtomicTarget output;
    if (!output.Prepare(target)) return TVQ_RESULT_TARGET_NOT_WRITTEN;
    if (!write(output.GetWritePath(), image, options)) return TVQ_RESULT_TARGET_NOT_WRITTEN;
    return output.Commit() ? TVQ_RESULT_OK : TVQ_RESULT_TARGET_NOT_WRITTEN;
}

RasterImage* AsDepth24(RasterImage& image, RasterImage& scratch) {
    if (image.GetBitsPerPixel() == 24) return &image;
    return image.ConvertTo(scratch, 24, 0) ? &scratch : nullptr;
}
