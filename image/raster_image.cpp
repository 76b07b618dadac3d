#include "image/raster_image.h"

#include <algorithm>
#include <cstring>

#include "image/image_size.h"

int32_t Palette::Allocate(int32_t newCount) {
    Reset();
    if (newCount < 1 || newCount > 65536) return 0;
    if (!entries.Allocate(static_cast<uint32_t>(newCount) * sizeof(PaletteEntry))) return 0;
    count = newCount;
    return 1;
}

int32_t Palette::GetCapacity() const {
    return static_cast<int32_t>(entries.GetSize() / sizeof(PaletteEntry));
}

int32_t Palette::SetCount(int32_t newCount) {
    if (newCount < 0 || newCount > GetCapacity()) return 0;
    count = newCount;
    return 1;
}

void Palette::Reset() {
    entries.Free();
    count = 0;
}

uint32_t RasterImage::GetRowBytes() const {
    return static_cast<uint32_t>(width) * BytesPerPixel(bitsPerPixel);
}

int32_t RasterImage::Free() {
    pixels.Release(1);
    palette.Reset();
    width = height = 0;
    bitsPerPixel = 0;
    bits = nullptr;
    colorCount = 0;
    return 1;
}

int32_t RasterImage::Create(int32_t newWidth, int32_t newHeight, uint32_t newBitsPerPixel,
                            int32_t newColorCount) {
    Free();
    uint32_t bytesPerPixel = BytesPerPixel(newBitsPerPixel);
    if (bytesPerPixel == 0) return 0;
    if (newBitsPerPixel != 8) newColorCount = 0;
    if (newColorCount < 0) return 0;
    uint64_t size = CheckedImageBytes(newWidth, newHeight, bytesPerPixel);
    if (size == 0) return 0;
    if (!pixels.Allocate(static_cast<uint32_t>(size), "VODUVIZO", nullptr)) {
        Free();
        return 0;
    }
    if (newColorCount > 0 && !palette.Allocate(newColorCount)) {
        Free();
        return 0;
    }
    if (newColorCount > 0) {
        std::memset(palette.GetEntries(), 0, uint64_t(newColorCount) * sizeof(PaletteEntry));
    }
    bitsPerPixel = newBitsPerPixel;
    colorCount = newColorCount;
    bits = pixels.GetData();
    width = newWidth;
    height = newHeight;
    return 1;
}

int32_t RasterImage::CopyFrom(const RasterImage& source) {
    if (&source == this) return 1;
    if (source.width < 1 || source.height < 1) return 0;
    if (!Create(source.width, source.height, source.bitsPerPixel, source.colorCount)) return 0;
    std::memcpy(bits, source.bits, GetDataSize());
    if (colorCount > 0 && source.GetPalette() != nullptr) {
        int32_t copied = std::min(source.palette.GetCapacity(), colorCount);
        std::memcpy(GetPalette(), source.GetPalette(), uint64_t(copied) * sizeof(PaletteEntry));
        palette.SetCount(std::min(source.palette.GetCount(), colorCount));
    }
    Flush();
    return 1;
}
