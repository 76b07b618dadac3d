// The rows of the ten format buttons and the library command each one runs.
#include "app/conversion_table.h"

#include "convert/torvenquill.h"

namespace {

// Colour, quality 99, optimised Huffman tables, smoothing 50.
int32_t ToJpg(const char* source, const char* target) {
    return ConvertToJpg(source, target, 0, 99, 1, 50);
}
int32_t ToBmp(const char* source, const char* target) { return ConvertToBmp(source, target); }
// 24-bit colour, not grey.
int32_t ToTif(const char* source, const char* target) { return ConvertToTif(source, target, 0); }
int32_t ToPng(const char* source, const char* target) { return ConvertToPng(source, target, 24); }
// The PNM family in its raw (binary) form; PBM is a true bitmap, not a copy of PGM.
int32_t ToPpm(const char* source, const char* target) { return ConvertToPpm(source, target, 1); }
int32_t ToPgm(const char* source, const char* target) { return ConvertToPgm(source, target, 1); }
int32_t ToPbm(const char* source, const char* target) { return ConvertToPbm(source, target, 1); }
int32_t ToPcx(const char* source, const char* target) { return ConvertToPcx(source, target); }
int32_t ToPic(const char* source, const char* target) { return ConvertToPic(source, target); }
int32_t ToSgi(const char* source, const char* target) { return ConvertToSgi(source, target); }

}  // namespace

const std::array<ConversionRow, kFormatCount> kConversions = {{
    {Format::Jpg, "jpg", "转换JPG", "jpg图片", "转-", "JPG格式转换成功！", "JPG格式转换失败！",
     "JEPG图片文件（*.jpg）", ToJpg},
    {Format::Bmp, "bmp", "转换BMP", "bmp图片", "改-", "BMP格式转换成功！", "BMP格式转换失败！",
     "BMP图片文件（*.bmp）", ToBmp},
    {Format::Tif, "tif", "转换TIF", "tif图片", "改-", "TIF格式转换成功！", "TIF格式转换失败！",
     "TIF图片文件（*.tif）", ToTif},
    {Format::Png, "png", "转换PNG", "png图片", "改-", "PNG格式转换成功！", "PNG格式转换失败！",
     "PNG图片文件（*.png）", ToPng},
    {Format::Ppm, "ppm", "转换PPM", "ppm图片", "改-", "PPM格式转换成功！", "PPM格式转换失败！",
     "PPM图片文件（*.ppm）", ToPpm},
    {Format::Pgm, "pgm", "转换PGM", "pgm图片", "改-", "PGM格式转换成功！", "PGM格式转换失败！",
     "PGM图片文件（*.pgm）", ToPgm},
    {Format::Pbm, "pbm", "转换PBM", "pbm图片", "改-", "PBM格式转换成功！", "PBM格式转换失败！",
     "PBM图片文件（*.pbm）", ToPbm},
    {Format::Pcx, "pcx", "转换PCX", "pcx图片", "改-", "PCX格式转换成功！", "PCX格式转换失败！",
     "PCX图片文件（*.pcx）", ToPcx},
    {Format::Pic, "pic", "转换PIC", "pic图片", "改-", "PIC格式转换成功！", "PIC格式转换失败！",
     "PIC图片文件（*.pic）", ToPic},
    {Format::Sgi, "sgi", "转换SGI", "sgi图片", "改-", "SGI格式转换成功！", "SGI格式转换失败！",
     "SGI图片文件（*.sgi）", ToSgi},
}};
