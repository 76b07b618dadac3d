// JPEG through libjpeg: default decoding; encoding baseline at quality 99 with optimised Huffman
// tables, smoothing 50 and the library's default 4:2:0 subsampling.
#include <csetjmp>
#include <cstdio>

#include "bench/limit/limit.h"

// jpeglib.h wants FILE and size_t declared before it.
#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void ErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

}  // namespace

bool ReadJpeg(const char* path, Picture& picture) {
    File file = OpenFile(path, "rb");
    if (!file) return false;
    jpeg_decompress_struct info;
    ErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = ErrorExit;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file.get());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (!picture.Allocate(info.output_width, info.output_height)) longjmp(error.jump, 1);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = picture.Row(info.output_scanline);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

bool WriteJpeg(const char* path, const Picture& picture) {
    File file = OpenFile(path, "wb");
    if (!file) return false;
    jpeg_compress_struct info;
    ErrorManager error;
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = ErrorExit;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file.get());
    info.image_width = picture.width;
    info.image_height = picture.height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    info.optimize_coding = TRUE;
    info.smoothing_factor = 50;
    jpeg_set_quality(&info, 99, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = picture.Row(info.next_scanline);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file.release()) == 0;
}
