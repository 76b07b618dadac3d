// Shared by the JPEG, PNG and TIFF tests: source pictures written for the independent encoders,
// running those encoders, and comparing what comes back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/raster_image.h"
#include "tests/support/test_support.h"

// A binary PPM of R, G, B bytes (three per pixel).
void WritePpm(const std::string& path, int32_t width, int32_t height, const Bytes& rgb);
// A binary PGM of one sample per pixel, maxval up to 65535 (two bytes per sample above 255).
void WritePgm(const std::string& path, int32_t width, int32_t height, uint32_t maxval,
              const std::vector<uint16_t>& samples);
// The picture's pixels written as a PPM; its path.
std::string WritePictureAsPpm(const ScratchDir& dir, const std::string& name,
                              const RasterImage& image);

// Runs argv; true when it exited with status 0. Its standard output goes to stdoutPath when one
// is given. A failure is reported as a test failure with the tool's messages.
bool RunTool(const std::vector<std::string>& argv, const std::string& stdoutPath = "");

// Pillow's mode for the file ("RGB", "L", "P", ...); empty when it cannot open it.
std::string PillowMode(const std::string& path);

// Peak signal-to-noise ratio of two equally long 8-bit sample arrays, in dB (1000 when equal).
double Psnr(const Bytes& a, const Bytes& b);
// Largest difference between corresponding samples (256 when the lengths differ).
int MaxDifference(const Bytes& a, const Bytes& b);

// The picture in the form a reader produces, decoded from path through LoadImageFile.
int32_t LoadFile(const std::string& path, RasterImage& image);

// A copy of bytes with the first keep bytes only.
Bytes Truncated(const Bytes& bytes, size_t keep);
