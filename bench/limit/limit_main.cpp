// tvq_limit SOURCE TARGET: decodes SOURCE (BMP, JPEG, PNG or TIFF, chosen by its first bytes)
// into heap memory and writes TARGET in the format its extension names.
#include <strings.h>

#include <cstring>
#include <new>

#include "bench/limit/limit.h"

namespace {

using Reader = bool (*)(const char*, Picture&);
using Writer = bool (*)(const char*, const Picture&);

struct WriterRow {
    const char* extension;
    Writer write;
};

constexpr WriterRow kWriters[] = {
    {"bmp", WriteBmp}, {"jpg", WriteJpeg}, {"png", WritePng}, {"tif", WriteTiff}, {"ppm", WritePpm},
    {"pgm", WritePgm}, {"pbm", WritePbm},  {"pcx", WritePcx}, {"pic", WritePic},  {"sgi", WriteSgi},
};

Reader ChooseReader(const char* path) {
    unsigned char magic[4] = {};
    File file = OpenFile(path, "rb");
    if (!file || std::fread(magic, 1, 4, file.get()) != 4) return nullptr;
    if (magic[0] == 'B' && magic[1] == 'M') return ReadBmp;
    if (magic[0] == 0xFF && magic[1] == 0xD8) return ReadJpeg;
    if (magic[0] == 0x89 && magic[1] == 'P') return ReadPng;
    if ((magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M')) {
        return ReadTiff;
    }
    return nullptr;
}

Writer ChooseWriter(const char* path) {
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr) return nullptr;
    for (const WriterRow& row : kWriters) {
        if (strcasecmp(dot + 1, row.extension) == 0) return row.write;
    }
    return nullptr;
}

}  // namespace

File OpenFile(const char* path, const char* mode) {
    // One file of each direction is open at a time.
    static char readBuffer[1 << 20], writeBuffer[1 << 20];
    File file(std::fopen(path, mode));
    char* buffer = mode[0] == 'r' ? readBuffer : writeBuffer;
    if (file) std::setvbuf(file.get(), buffer, _IOFBF, sizeof readBuffer);
    return file;
}

bool Picture::Allocate(uint32_t w, uint32_t h) {
    if (w == 0 || h == 0 || uint64_t(w) * h > (uint64_t(1) << 32)) return false;
    width = w;
    height = h;
    rgb.reset(new (std::nothrow) uint8_t[uint64_t(w) * h * 3]);
    return rgb != nullptr;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: tvq_limit SOURCE TARGET\n", stderr);
        return 2;
    }
    Reader read = ChooseReader(argv[1]);
    Writer write = ChooseWriter(argv[2]);
    if (read == nullptr || write == nullptr) {
        std::fputs("tvq_limit: unknown source or target format\n", stderr);
        return 2;
    }
    Picture picture;
    if (!read(argv[1], picture)) {
        std::fprintf(stderr, "tvq_limit: cannot read %s\n", argv[1]);
        return 3;
    }
    if (!write(argv[2], picture)) {
        std::fprintf(stderr, "tvq_limit: cannot write %s\n", argv[2]);
        return 4;
    }
    return 0;
}
