#include "tests/formats/lib_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "convert/torvenquill.h"

namespace {

void WriteText(const std::string& path, const std::string& header, const Bytes& body) {
    Bytes file(header.begin(), header.end());
    file.insert(file.end(), body.begin(), body.end());
    WriteFileBytes(path, file);
}

}  // namespace

void WritePpm(const std::string& path, int32_t width, int32_t height, const Bytes& rgb) {
    WriteText(path, "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n", rgb);
}

void WritePgm(const std::string& path, int32_t width, int32_t height, uint32_t maxval,
              const std::vector<uint16_t>& samples) {
    Bytes body;
    for (uint16_t s : samples) {
        if (maxval > 255) body.push_back(uint8_t(s >> 8));
        body.push_back(uint8_t(s));
    }
    WriteText(path,
              "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n" +
                  std::to_string(maxval) + "\n",
              body);
}

std::string WritePictureAsPpm(const ScratchDir& dir, const std::string& name,
                              const RasterImage& image) {
    std::string path = dir.File(name);
    WritePpm(path, image.GetWidth(), image.GetHeight(), RgbOf(image));
    return path;
}

bool RunTool(const std::vector<std::string>& argv, const std::string& stdoutPath) {
    CommandResult r = RunProgram(argv);
    std::string line;
    for (const std::string& a : argv) line += a + " ";
    EXPECT_EQ(r.status, 0) << line << "\n" << r.errors;
    if (r.status != 0) return false;
    if (!stdoutPath.empty()) WriteFileBytes(stdoutPath, Bytes(r.output.begin(), r.output.end()));
    return true;
}

std::string PillowMode(const std::string& path) {
    CommandResult r = RunProgram(
        {"/usr/bin/python3", "-c",
         "import sys\nfrom PIL import Image\nprint(Image.open(sys.argv[1]).mode, end='')", path});
    return r.status == 0 ? r.output : "";
}

double Psnr(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size() || a.empty()) return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0) return 1000;
    return 10 * std::log10(255.0 * 255.0 / (sum / double(a.size())));
}

int MaxDifference(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size()) return 256;
    int most = 0;
    for (size_t i = 0; i < a.size(); ++i) most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return most;
}

int32_t LoadFile(const std::string& path, RasterImage& image) {
    return LoadImageFile(path.c_str(), &image);
}

Bytes Truncated(const Bytes& bytes, size_t keep) {
    return Bytes(bytes.begin(), bytes.begin() + long(std::min(keep, bytes.size())));
}
