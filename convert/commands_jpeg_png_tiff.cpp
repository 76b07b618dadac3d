// The commands whose writers are the library-backed codecs: JPEG, PNG and TIFF. Each writer
// converts the loaded picture to the depth it needs itself.
#include "convert/command.h"
#include "formats/jpeg.h"
#include "formats/png.h"
#include "formats/tiff.h"

namespace {

struct JpegOptions {
    int32_t colourFlag;
    int32_t quality;
    int32_t optimizeCoding;
    int32_t smoothingFactor;
};

bool WriteJpeg(const char* path, RasterImage& image, const void* options) {
    const auto& o = *static_cast<const JpegOptions*>(options);
    JpegCodec codec;
    int32_t saved = codec.Save(path, &image, o.quality, o.colourFlag, o.optimizeCoding,
                               o.smoothingFactor, nullptr);
    codec.Close();
    return saved == 1;
}

bool WriteTiff(const char* path, RasterImage& image, const void* options) {
    const uint32_t bits = *static_cast<const uint32_t*>(options);
    TiffCodec codec;
    return codec.OpenWrite(path, &image, bits, nullptr) == 1 && codec.Write() == 1;
}

bool WritePng(const char* path, RasterImage& image, const void*) {
    PngCodec codec;
    return codec.OpenWrite(path, &image, 24, 0, nullptr) == 1 && codec.Write() == 1;
}

}  // namespace

extern "C" int32_t ConvertToJpg(const char* source, const char* target, int32_t grayscale,
                                int32_t quality, int32_t optimizeCoding, int32_t smoothingFactor) {
    if (quality < 1 || quality > 100 || smoothingFactor < 0 || smoothingFactor > 100) {
        return TVQ_RESULT_BAD_ARGUMENTS;
    }
    const JpegOptions options{grayscale == 1 ? 0 : 1, quality, optimizeCoding, smoothingFactor};
    return RunConversion(source, target, WriteJpeg, &options);
}

extern "C" int32_t ConvertToTif(const char* source, const char* target, int32_t grayscale) {
    const uint32_t bits = grayscale == 1 ? 8 : 24;
    return RunConversion(source, target, WriteTiff, &bits);
}

extern "C" int32_t ConvertToPng(const char* source, const char* target, int32_t bitsPerPixel) {
    if (bitsPerPixel != 24) return TVQ_RESULT_BAD_ARGUMENTS;
    return RunConversion(source, target, WritePng, nullptr);
}
