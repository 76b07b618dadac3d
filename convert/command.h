// The shape every conversion command shares: validate, load, write through an AtomicTarget,
// and turn each outcome into a ResultCode. A command supplies only its writer step.
#pragma once

#include <cstdint>

#include "convert/torvenquill.h"
#include "image/raster_image.h"

// Writes image to path (the temporary file beside the target); true on success.
using WriterStep = bool (*)(const char* path, RasterImage& image, const void* options);

int32_t RunConversion(const char* source, const char* target, WriterStep write,
                      const void* options);

// The picture at 24 bits per pixel: image itself, or its conversion into scratch. Null when the
// conversion fails.
RasterImage* AsDepth24(RasterImage& image, RasterImage& scratch);
