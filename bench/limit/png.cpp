// PNG through libpng: 8-bit RGB both ways; written Adam7-interlaced at libpng's default
// compression level and filters.
#include <png.h>

#include <vector>

#include "bench/limit/limit.h"

namespace {

std::vector<png_bytep> RowPointers(const Picture& picture) {
    std::vector<png_bytep> rows(picture.height);
    for (uint32_t y = 0; y < picture.height; ++y) rows[y] = picture.Row(y);
    return rows;
}

}  // namespace

bool ReadPng(const char* path, Picture& picture) {
    File file = OpenFile(path, "rb");
    if (!file) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file.get());
    png_read_info(png, info);
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB || png_get_bit_depth(png, info) != 8 ||
        !picture.Allocate(png_get_image_width(png, info), png_get_image_height(png, info))) {
        png_error(png, "only 8-bit RGB");
    }
    std::vector<png_bytep> rows = RowPointers(picture);
    png_read_image(png, rows.data());  // sets up the interlace handling itself
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool WritePng(const char* path, const Picture& picture) {
    File file = OpenFile(path, "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_bytep> rows = RowPointers(picture);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file.release()) == 0;
}
