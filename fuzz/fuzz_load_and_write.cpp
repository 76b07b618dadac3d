// Whatever the loader makes of the input must be writable by every writer: the readers may
// hand over any depth, any size, any palette.
#include <string>

#include "convert/command.h"
#include "convert/torvenquill.h"
#include "formats/bmp.h"
#include "formats/jpeg.h"
#include "formats/pcx.h"
#include "formats/pic.h"
#include "formats/png.h"
#include "formats/pnm.h"
#include "formats/sgi.h"
#include "formats/tiff.h"
#include "fuzz/fuzz_input.h"

namespace {

// Writers hold whole pictures; a huge but valid header would only measure the disk.
constexpr uint64_t kLargestPicture = 4u << 20;

void WriteEveryFormat(RasterImage& image, const std::string& folder) {
    auto out = [&](const char* name) { return folder + "/out." + name; };
    RasterImage scratch;
    if (RasterImage* rgb = AsDepth24(image, scratch)) {
        BmpCodec bmp;
        if (bmp.OpenWrite(out("bmp").c_str(), rgb, 24, nullptr)) bmp.Write();
        PcxCodec pcx;
        if (pcx.OpenWrite(out("pcx").c_str(), rgb, 24, nullptr)) pcx.Write();
    }
    JpegCodec jpeg;
    jpeg.Save(out("jpg").c_str(), &image, 99, 1, 1, 50, nullptr);
    PngCodec png;
    if (png.OpenWrite(out("png").c_str(), &image, 24, 0, nullptr)) png.Write();
    TiffCodec tiff;
    if (tiff.OpenWrite(out("tif").c_str(), &image, 8, nullptr)) tiff.Write();
    for (int32_t kind : {PnmCodec::kKindPgm, PnmCodec::kKindPpm, PnmCodec::kKindPbm}) {
        PnmCodec pnm;
        if (pnm.OpenWrite(out("pnm").c_str(), &image, kind, kind != 2, nullptr)) pnm.Write();
    }
    PicCodec pic;
    if (pic.OpenWrite(out("pic").c_str(), &image, 24, nullptr)) pic.Write();
    SgiCodec sgi;
    if (sgi.OpenWrite(out("sgi").c_str(), &image, 24, 0, nullptr)) sgi.Write();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    RasterImage image;
    if (LoadImageFile(input.Path(), &image) != TVQ_RESULT_OK) return 0;
    if (image.GetDataSize() <= kLargestPicture) WriteEveryFormat(image, input.Folder());
    return 0;
}
