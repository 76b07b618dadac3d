// An image pack is at least 200 KB, far beyond a useful fuzz input, so the input is spread over
// one: the first byte picks the resolution, the next two the file's length as a share of what
// that resolution needs, and the rest, repeated, fills the file around the signature.
#include <cstring>
#include <vector>

#include "formats/photocd.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    static const size_t kNeeded[] = {0x2000 + 192 * 128 * 3 / 2, 0xB800 + 384 * 256 * 3 / 2,
                                     0x30000 + 768 * 512 * 3 / 2};
    const int resolution = data[0] % 3;
    const size_t share = size_t(data[1]) | (size_t(data[2]) << 8);
    const size_t length = kNeeded[resolution] - 4096 + (share * 8192) / 65535;
    std::vector<uint8_t> file(length);
    for (size_t i = 0; i < length; ++i) file[i] = data[3 + i % (size - 3)];
    std::memcpy(&file[2048], "PCD_IPI", 7);
    FuzzInput input(file.data(), file.size());
    RasterImage image;
    PhotoCdReader reader;
    if (reader.OpenRead(input.Path(), &image, resolution, nullptr) == 1) reader.Read();
    return 0;
}
