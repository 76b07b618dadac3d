// Rows of a picture written to a stream exactly as the picture holds them, for the formats whose
// pixel data is the picture's own bytes in order.
#pragma once

#include <cstdio>

#include "image/progress.h"
#include "image/raster_image.h"

// Every row of source, top first, straight from the picture's memory in one write each, with
// progress after each row. false at the first write that fails.
bool WritePictureRows(FILE* stream, const RasterImage& source, ProgressCallback callback);
