// The library's in-memory picture: unpadded rows, top row first, at 8 (grey or palette), 16
// (RGB 5-5-5 shifted left by one), 24 (R, G, B) or 32 (A, R, G, B) bits per pixel. Pixel memory
// is always a MappedBuffer; the palette of an 8-bit picture lives on the heap.
#pragma once

#include <cstdint>

#include "image/support/heap_block.h"
#include "image/support/mapped_buffer.h"

struct PaletteEntry {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t alpha;
    uint32_t key;  // red + green * 256 + blue * 65536, kept by the quantiser
};
static_assert(sizeof(PaletteEntry) == 8);

inline uint16_t PackRgb555(uint32_t r, uint32_t g, uint32_t b) {
    return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 3) << 6) | ((b >> 3) << 1));
}
inline void UnpackRgb555(uint32_t v, uint8_t& r, uint8_t& g, uint8_t& b) {
    r = static_cast<uint8_t>((v >> 8) & 0xF8);
    g = static_cast<uint8_t>((v >> 3) & 0xF8);
    b = static_cast<uint8_t>((v << 2) & 0xF8);
}
// Grey level with weights adding up to 1024, so white stays 255; truncated, never rounded.
inline uint8_t GreyLevel(uint32_t r, uint32_t g, uint32_t b) {
    return static_cast<uint8_t>((306 * r + 601 * g + 117 * b) >> 10);
}

class Palette {
public:
    Palette() = default;
    Palette(const Palette&) = delete;
    Palette& operator=(const Palette&) = delete;

    PaletteEntry* GetEntries() const {
        return reinterpret_cast<PaletteEntry*>(entries.GetData());
    }
    // Entries in use; the memory may hold more (GetCapacity), as after quantising.
    int32_t GetCount() const { return count; }
    int32_t GetCapacity() const;
    int32_t SetCount(int32_t newCount);
    // Releases old entries and obtains count entries (not initialised).
    int32_t Allocate(int32_t newCount);
    void Reset();

    // Popularity quantiser: picks at most n colours of the picture by a 15-bit histogram and
    // leaves them sorted by key; the entries' memory keeps room for n.
    int32_t Build(const uint8_t* bits, uint32_t bitsPerPixel, int32_t colorCount, int32_t width,
                  int32_t height, int32_t n);
    // The exact entry when the colour is in the palette, else the nearest by squared RGB
    // distance (lowest index on ties). Writes nothing when the palette is empty.
    void MapColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t* out) const;
    void MapColor16(uint16_t word, uint8_t* out) const;

private:
    HeapBlock entries;
    int32_t count = 0;
};

// Declared a struct so that the C interface can name it.
struct RasterImage {
public:
    RasterImage() = default;
    RasterImage(const RasterImage&) = delete;
    RasterImage& operator=(const RasterImage&) = delete;
    ~RasterImage() { Free(); }

    // A new zero-filled picture; whatever the image held before is gone even on failure.
    int32_t Create(int32_t width, int32_t height, uint32_t bitsPerPixel, int32_t colorCount);
    int32_t Free();

    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }
    uint32_t GetBitsPerPixel() const { return bitsPerPixel; }
    int32_t GetColorCount() const { return colorCount; }
    uint8_t* GetBits() const { return bits; }
    uint8_t* GetRow(int32_t row) const { return bits + uint64_t(row) * GetRowBytes(); }
    PaletteEntry* GetPalette() const { return palette.GetEntries(); }
    Palette& GetPaletteObject() { return palette; }
    const Palette& GetPaletteObject() const { return palette; }
    uint32_t GetRowBytes() const;
    uint32_t GetDataSize() const { return pixels.GetSize(); }
    bool IsEmpty() const { return bits == nullptr; }
    int32_t Flush() { return pixels.Flush(bits, 0); }

    int32_t CopyFrom(const RasterImage& source);
    // Builds target at the requested depth (8 with colorCount 0: grey; 8 with 1..256: palette).
    int32_t ConvertTo(RasterImage& target, uint32_t bitsPerPixel, int32_t colorCount) const;

private:
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bitsPerPixel = 0;
    uint8_t* bits = nullptr;
    int32_t colorCount = 0;
    MappedBuffer pixels;
    Palette palette;
};

// 1, 2, 3 or 4 for 8, 16, 24 or 32; 0 for any other depth.
inline uint32_t BytesPerPixel(uint32_t bitsPerPixel) {
    switch (bitsPerPixel) {
        case 8: return 1;
        case 16: return 2;
        case 24: return 3;
        case 32: return 4;
        default: return 0;
    }
}
