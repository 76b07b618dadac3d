// Depth conversion between the four pixel forms, and the popularity quantiser behind 8-bit
// palette output. Conversions are table lookups or fixed integer formulas: no dithering, no gamma.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "image/raster_image.h"
#include "image/support/heap_block.h"

namespace {

constexpr int kBins = 65536;

struct HistogramBin {
    uint32_t key;
    uint32_t count;
};
static_assert(sizeof(HistogramBin) == 8);

uint32_t EntryKey(uint32_t r, uint32_t g, uint32_t b) { return r + g * 256 + b * 65536; }

// Quicksort of the bins by count, ascending. Equal counts end in the order this partitioning
// leaves them, which decides among equally frequent colours; the ranges are kept on an explicit
// stack so a skewed histogram cannot exhaust a worker thread's stack.
void SortBinsByCount(HistogramBin* bins) {
    std::vector<std::pair<int, int>> pending{{0, kBins - 1}};
    while (!pending.empty()) {
        auto [lo, hi] = pending.back();
        pending.pop_back();
        while (true) {
            uint32_t pivot = bins[(lo + hi) / 2].count;
            int i = lo;
            int j = hi;
            do {
                while (bins[i].count < pivot && i < hi) ++i;
                while (bins[j].count > pivot && j > lo) --j;
                if (i > j) break;
                std::swap(bins[i], bins[j]);
                ++i;
                --j;
            } while (i <= j);
            if (lo < j) pending.push_back({lo, j});
            if (i >= hi) break;
            lo = i;
        }
    }
}

bool CountColours(HistogramBin* bins, const uint8_t* bits, uint32_t bitsPerPixel, int32_t width,
                  int32_t height) {
    uint64_t pixelCount = uint64_t(width) * uint64_t(height);
    switch (bitsPerPixel) {
        case 8:
            for (uint64_t p = 0; p < pixelCount; ++p) ++bins[PackRgb555(bits[p], bits[p], bits[p])].count;
            return true;
        case 16:
            for (uint64_t p = 0; p < pixelCount; ++p) ++bins[bits[2 * p] | (bits[2 * p + 1] << 8)].count;
            return true;
        case 24:
            for (uint64_t p = 0; p < pixelCount; ++p) {
                const uint8_t* px = bits + 3 * p;
                ++bins[PackRgb555(px[0], px[1], px[2])].count;
            }
            return true;
        case 32:
            for (uint64_t p = 0; p < pixelCount; ++p) {
                const uint8_t* px = bits + 4 * p;
                ++bins[PackRgb555(px[1], px[2], px[3])].count;
            }
            return true;
        default:
            return false;
    }
}

// Colour of every possible 8-bit pixel value of source (grey level or palette index); indexes
// beyond the palette read as black rather than outside it.
std::array<uint8_t, 768> ByteColours(const RasterImage& source) {
    std::array<uint8_t, 768> rgb{};
    const PaletteEntry* entries = source.GetPalette();
    int32_t count = source.GetColorCount() > 0 ? source.GetPaletteObject().GetCount() : 0;
    for (int v = 0; v < 256; ++v) {
        uint8_t* c = &rgb[3 * v];
        if (entries == nullptr || source.GetColorCount() == 0) {
            c[0] = c[1] = c[2] = static_cast<uint8_t>(v);
        } else if (v < count) {
            c[0] = entries[v].red;
            c[1] = entries[v].green;
            c[2] = entries[v].blue;
        }
    }
    return rgb;
}

// Reads any source pixel as R, G, B.
class PixelReader {
public:
    explicit PixelReader(const RasterImage& source)
        : bits(source.GetBits()), bitsPerPixel(source.GetBitsPerPixel()), table(ByteColours(source)) {}

    void Get(uint64_t p, uint8_t& r, uint8_t& g, uint8_t& b) const {
        switch (bitsPerPixel) {
            case 8: {
                const uint8_t* c = &table[3 * bits[p]];
                r = c[0], g = c[1], b = c[2];
                return;
            }
            case 16:
                UnpackRgb555(bits[2 * p] | (bits[2 * p + 1] << 8), r, g, b);
                return;
            case 24:
                r = bits[3 * p], g = bits[3 * p + 1], b = bits[3 * p + 2];
                return;
            default:
                r = bits[4 * p + 1], g = bits[4 * p + 2], b = bits[4 * p + 3];
                return;
        }
    }

private:
    const uint8_t* bits;
    uint32_t bitsPerPixel;
    std::array<uint8_t, 768> table;
};

bool HasForm(const RasterImage& source, uint32_t bitsPerPixel, int32_t colorCount) {
    if (source.GetBitsPerPixel() != bitsPerPixel) return false;
    if (bitsPerPixel != 8) return true;
    if (colorCount == 0) return source.GetColorCount() == 0;
    return source.GetColorCount() > 0 && source.GetPaletteObject().GetCount() >= 1;
}

void ConvertPixels(const RasterImage& source, RasterImage& target) {
    const uint64_t pixelCount = uint64_t(source.GetWidth()) * uint64_t(source.GetHeight());
    const PixelReader reader(source);
    uint8_t* out = target.GetBits();
    uint8_t r, g, b;
    switch (target.GetBitsPerPixel()) {
        case 32:
            for (uint64_t p = 0; p < pixelCount; ++p, out += 4) {
                reader.Get(p, r, g, b);
                out[0] = 255, out[1] = r, out[2] = g, out[3] = b;
            }
            break;
        case 24:
            for (uint64_t p = 0; p < pixelCount; ++p, out += 3) {
                reader.Get(p, r, g, b);
                out[0] = r, out[1] = g, out[2] = b;
            }
            break;
        case 16:
            for (uint64_t p = 0; p < pixelCount; ++p, out += 2) {
                reader.Get(p, r, g, b);
                uint16_t w = PackRgb555(r, g, b);
                out[0] = static_cast<uint8_t>(w), out[1] = static_cast<uint8_t>(w >> 8);
            }
            break;
        default:
            for (uint64_t p = 0; p < pixelCount; ++p) {
                reader.Get(p, r, g, b);
                out[p] = GreyLevel(r, g, b);
            }
            break;
    }
}

// Maps pixels to palette indexes; a small direct-mapped cache spares the nearest-colour search
// for the colours a photo repeats.
bool Quantise(const RasterImage& source, RasterImage& target) {
    Palette& palette = target.GetPaletteObject();
    palette.Reset();
    if (!palette.Build(source.GetBits(), source.GetBitsPerPixel(), source.GetColorCount(),
                       source.GetWidth(), source.GetHeight(), target.GetColorCount())) {
        return false;
    }
    constexpr uint32_t kSlots = 4096;
    std::vector<uint32_t> cachedColour(kSlots, 0xFFFFFFFFu);
    std::vector<uint8_t> cachedIndex(kSlots, 0);
    const uint64_t pixelCount = uint64_t(source.GetWidth()) * uint64_t(source.GetHeight());
    const PixelReader reader(source);
    uint8_t* out = target.GetBits();
    uint8_t r, g, b;
    for (uint64_t p = 0; p < pixelCount; ++p) {
        reader.Get(p, r, g, b);
        uint32_t colour = EntryKey(r, g, b);
        uint32_t slot = (colour * 2654435761u) >> 20;
        if (cachedColour[slot] != colour) {
            palette.MapColor(r, g, b, &cachedIndex[slot]);
            cachedColour[slot] = colour;
        }
        out[p] = cachedIndex[slot];
    }
    return true;
}

}  // namespace

int32_t Palette::Build(const uint8_t* bits, uint32_t bitsPerPixel, int32_t /*colorCount*/,
                       int32_t width, int32_t height, int32_t n) {
    Reset();
    if (bits == nullptr || width < 1 || height < 1 || n < 1 || n > 256) return 0;
    HeapBlock histogram;
    if (!histogram.Allocate(kBins * sizeof(HistogramBin))) return 0;
    auto* bins = reinterpret_cast<HistogramBin*>(histogram.GetData());
    for (int k = 0; k < kBins; ++k) bins[k] = {static_cast<uint32_t>(k), 0};
    if (!CountColours(bins, bits, bitsPerPixel, width, height)) return 0;

    int32_t distinct = 0;
    for (int k = 0; k < kBins; ++k) distinct += bins[k].count != 0;
    SortBinsByCount(bins);

    int32_t chosen = std::min(distinct, n);
    if (!Allocate(n)) return 0;
    PaletteEntry* e = GetEntries();
    std::memset(e, 0, uint64_t(n) * sizeof(PaletteEntry));
    for (int32_t i = 0; i < chosen; ++i) {
        UnpackRgb555(bins[kBins - 1 - i].key, e[i].red, e[i].green, e[i].blue);
        e[i].alpha = 255;
        e[i].key = EntryKey(e[i].red, e[i].green, e[i].blue);
    }
    SetCount(chosen);
    for (int32_t pass = 0; pass + 1 < chosen; ++pass) {
        for (int32_t k = 0; k + 1 < chosen; ++k) {
            if (e[k].key > e[k + 1].key) std::swap(e[k], e[k + 1]);
        }
    }
    return 1;
}

void Palette::MapColor(uint8_t red, uint8_t green, uint8_t blue, uint8_t* out) const {
    const PaletteEntry* e = GetEntries();
    if (e == nullptr || count < 1 || out == nullptr) return;
    int32_t best = 0;
    uint32_t bestDistance = 0xFFFFFFFFu;
    for (int32_t i = 0; i < count && bestDistance != 0; ++i) {
        int dr = int(e[i].red) - red, dg = int(e[i].green) - green, db = int(e[i].blue) - blue;
        uint32_t distance = uint32_t(dr * dr + dg * dg + db * db);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    *out = static_cast<uint8_t>(best);
}

void Palette::MapColor16(uint16_t word, uint8_t* out) const {
    uint8_t r, g, b;
    UnpackRgb555(word, r, g, b);
    MapColor(r, g, b, out);
}

int32_t RasterImage::ConvertTo(RasterImage& target, uint32_t targetBits,
                               int32_t targetColours) const {
    if (&target == this) return 0;
    if (width < 1 || height < 1) {
        target.Free();
        return 0;
    }
    if (targetBits == 8 && (targetColours < 0 || targetColours > 256)) return 0;
    if (!target.Create(width, height, targetBits, targetColours)) return 0;
    if (HasForm(*this, targetBits, targetColours)) return target.CopyFrom(*this);
    if (BytesPerPixel(bitsPerPixel) == 0) return 0;
    if (targetBits == 8 && targetColours > 0) return Quantise(*this, target) ? 1 : 0;
    ConvertPixels(*this, target);
    target.Flush();
    return 1;
}
