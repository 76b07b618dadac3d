// The body every single-reader fuzz target shares: offer the input to the reader, decode it
// when the reader accepts it.
#pragma once

#include "fuzz/fuzz_input.h"
#include "image/raster_image.h"

template <class Codec>
int FuzzReader(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    RasterImage image;
    Codec codec;
    if (codec.OpenRead(input.Path(), &image, nullptr) == 1) codec.Read();
    return 0;
}
