// The one overflow-checked size computation that every reader calls before allocating.
#pragma once

#include <cstdint>

// The largest pixel memory the library holds: byte counts are unsigned 32-bit.
constexpr uint64_t kMaxImageBytes = 0xFFFFFFFFull;

// Bytes of width x height pixels of bytesPerPixel each (bytesPerPixel may be a scratch element
// size too). 0 when a dimension is below 1 or the product exceeds kMaxImageBytes.
inline uint64_t CheckedImageBytes(int64_t width, int64_t height, int64_t bytesPerPixel) {
    if (width < 1 || height < 1 || bytesPerPixel < 1) return 0;
    if (width > int64_t(kMaxImageBytes) || height > int64_t(kMaxImageBytes)) return 0;
    uint64_t rowBytes = uint64_t(width) * uint64_t(bytesPerPixel);
    if (rowBytes > kMaxImageBytes) return 0;
    uint64_t total = rowBytes * uint64_t(height);  // both factors < 2^32: no 64-bit overflow
    return total > kMaxImageBytes ? 0 : total;
}
