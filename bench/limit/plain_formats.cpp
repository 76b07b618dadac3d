// The formats a plain loop reads or writes: BMP both ways; PPM, PGM, PBM, PCX, PIC and SGI
// written. Headers carry the same fields as torvenquill's writers, so the outputs compare.
#include <cstring>
#include <string>
#include <vector>

#include "bench/limit/limit.h"
#include "image/support/byte_order.h"

namespace {

constexpr char kComment[] = "\n#Created by Quennelbrightwax 1.0\n";

uint32_t BmpStride(uint32_t width) { return (width * 3 + 3) & ~3u; }

uint8_t Grey(const uint8_t* p) {
    return static_cast<uint8_t>((306 * p[0] + 601 * p[1] + 117 * p[2]) >> 10);
}

bool WritePnmHeader(FILE* file, const char* magic, const Picture& picture, bool maxValue) {
    std::string header = std::string(magic) + kComment + std::to_string(picture.width) + " " +
                         std::to_string(picture.height) + (maxValue ? " 255\n" : "\n");
    return std::fwrite(header.data(), 1, header.size(), file) == header.size();
}

// One PCX scan line: runs of up to 63 equal bytes, and single bytes of 192 or more as runs of 1.
size_t EncodePcxLine(uint8_t* out, const uint8_t* in, size_t length) {
    size_t o = 0;
    for (size_t pos = 0; pos < length;) {
        uint8_t v = in[pos];
        size_t n = 1;
        while (n < 63 && pos + n < length && in[pos + n] == v) ++n;
        if (n >= 2 || v >= 192) out[o++] = static_cast<uint8_t>(192 + n);
        out[o++] = v;
        pos += n;
    }
    return o;
}

}  // namespace

bool ReadBmp(const char* path, Picture& picture) {
    File file = OpenFile(path, "rb");
    uint8_t header[54];
    if (!file || std::fread(header, 1, sizeof header, file.get()) != sizeof header) return false;
    int32_t width = GetI32le(header + 18);
    int32_t height = GetI32le(header + 22);
    if (GetU16le(header + 28) != 24 || GetU32le(header + 30) != 0 || width < 1 || height == 0) {
        return false;
    }
    bool bottomUp = height > 0;
    uint32_t rows = bottomUp ? height : -height;
    if (!picture.Allocate(width, rows)) return false;
    if (std::fseek(file.get(), GetU32le(header + 10), SEEK_SET) != 0) return false;
    std::vector<uint8_t> line(BmpStride(width));
    for (uint32_t i = 0; i < rows; ++i) {
        if (std::fread(line.data(), 1, line.size(), file.get()) != line.size()) return false;
        uint8_t* dest = picture.Row(bottomUp ? rows - 1 - i : i);
        for (int32_t x = 0; x < width; ++x) {
            dest[3 * x] = line[3 * x + 2];
            dest[3 * x + 1] = line[3 * x + 1];
            dest[3 * x + 2] = line[3 * x];
        }
    }
    return true;
}

bool WriteBmp(const char* path, const Picture& picture) {
    File file = OpenFile(path, "wb");
    if (!file) return false;
    const uint32_t stride = BmpStride(picture.width);
    uint8_t header[54] = {'B', 'M'};
    PutU32le(header + 2, 54 + stride * picture.height);
    PutU32le(header + 10, 54);
    PutU32le(header + 14, 40);
    PutU32le(header + 18, picture.width);
    PutU32le(header + 22, picture.height);
    PutU16le(header + 26, 1);
    PutU16le(header + 28, 24);
    if (std::fwrite(header, 1, sizeof header, file.get()) != sizeof header) return false;
    std::vector<uint8_t> line(stride, 0);
    for (uint32_t i = 0; i < picture.height; ++i) {
        const uint8_t* src = picture.Row(picture.height - 1 - i);
        for (uint32_t x = 0; x < picture.width; ++x) {
            line[3 * x] = src[3 * x + 2];
            line[3 * x + 1] = src[3 * x + 1];
            line[3 * x + 2] = src[3 * x];
        }
        if (std::fwrite(line.data(), 1, stride, file.get()) != stride) return false;
    }
    return std::fclose(file.release()) == 0;
}

bool WritePpm(const char* path, const Picture& picture) {
    File file = OpenFile(path, "wb");
    if (!file || !WritePnmHeader(file.get(), "P6", picture, true)) return false;
    const size_t bytes = size_t(picture.width) * picture.height * 3;
    if (std::fwrite(picture.rgb.get(), 1, bytes, file.get()) != bytes) return false;
    return std::fclose(file.release()) == 0;
}

bool WritePgm(const char* path, const Picture& picture) {
    File file = OpenFile(path, "wb");
    if (!file || !WritePnmHeader(file.get(), "P5", picture, true)) return false;
    std::vector<uint8_t> line(picture.width);
    for (uint32_t y = 0; y < picture.height; ++y) {
        const uint8_t* src = picture.Row(y);
        for (uint32_t x = 0; x < picture.width; ++x) line[x] = Grey(src + 3 * x);
        if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size()) return false;
    }
    return std::fclose(file.release()) == 0;
}

bool WritePbm(const char* path, const Picture& picture) {
    File file = OpenFile(path, "wb");
    if (!file || !WritePnmHeader(file.get(), "P4", picture, false)) return false;
    std::vector<uint8_t> line((picture.width + 7) / 8);
    for (uint32_t y = 0; y < picture.height; ++y) {
        std::memset(line.data(), 0, line.size());
        const uint8_t* src = picture.Row(y);
        for (uint32_t x = 0; x < picture.width; ++x) {
            if (Grey(src + 3 * x) < 128) line[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size()) return false;
    }
    return std::fclose(file.release()) == 0;
}

bool WritePcx(const char* path, const Picture& picture) {
    File file = OpenFile(path, "wb");
    if (!file) return false;
    const uint32_t planeBytes = picture.width + (picture.width & 1);
    uint8_t header[128] = {10, 5, 1, 8};
    PutU16le(header + 8, picture.width - 1);
    PutU16le(header + 10, picture.height - 1);
    PutU16le(header + 12, 300);
    PutU16le(header + 14, 300);
    header[65] = 3;
    PutU16le(header + 66, planeBytes);
    PutU16le(header + 70, 800);
    PutU16le(header + 72, 600);
    if (std::fwrite(header, 1, sizeof header, file.get()) != sizeof header) return false;
    std::vector<uint8_t> line(3 * planeBytes, 0), out(6 * planeBytes);
    for (uint32_t y = 0; y < picture.height; ++y) {
        const uint8_t* src = picture.Row(y);
        for (uint32_t x = 0; x < picture.width; ++x) {
            line[x] = src[3 * x];
            line[planeBytes + x] = src[3 * x + 1];
            line[2 * planeBytes + x] = src[3 * x + 2];
        }
        size_t n = EncodePcxLine(out.data(), line.data(), line.size());
        if (std::fwrite(out.data(), 1, n, file.get()) != n) return false;
    }
    return std::fclose(file.release()) == 0;
}

bool WritePic(const char* path, const Picture& picture) {
    File file = OpenFile(path, "wb");
    if (!file) return false;
    uint8_t header[108] = {0x53, 0x80, 0xF6, 0x34};
    std::memcpy(header + 8, "Create byOskelbrimth", 20);
    std::memcpy(header + 88, "PICT", 4);
    PutU16be(header + 92, picture.width);
    PutU16be(header + 94, picture.height);
    PutF32be(header + 96, float(picture.width) / float(picture.height));
    PutU16be(header + 100, 3);
    header[105] = 8;     // bits per channel
    header[107] = 0xE0;  // red, green and blue, uncompressed
    if (std::fwrite(header, 1, sizeof header, file.get()) != sizeof header) return false;
    const size_t bytes = size_t(picture.width) * picture.height * 3;
    if (std::fwrite(picture.rgb.get(), 1, bytes, file.get()) != bytes) return false;
    return std::fclose(file.release()) == 0;
}

bool WriteSgi(const char* path, const Picture& picture) {
    File file = OpenFile(path, "wb");
    if (!file) return false;
    uint8_t header[512] = {0x01, 0xDA, 0, 1};
    PutU16be(header + 4, 3);
    PutU16be(header + 6, picture.width);
    PutU16be(header + 8, picture.height);
    PutU16be(header + 10, 3);
    PutU32be(header + 16, 255);
    std::memcpy(header + 24, "Quennelbrightwax SGI Exports", 28);
    if (std::fwrite(header, 1, sizeof header, file.get()) != sizeof header) return false;
    std::vector<uint8_t> line(picture.width);
    for (int channel = 0; channel < 3; ++channel) {
        for (uint32_t i = 0; i < picture.height; ++i) {
            const uint8_t* src = picture.Row(picture.height - 1 - i) + channel;
            for (uint32_t x = 0; x < picture.width; ++x) line[x] = src[3 * x];
            if (std::fwrite(line.data(), 1, line.size(), file.get()) != line.size()) return false;
        }
    }
    return std::fclose(file.release()) == 0;
}
