#include "formats/bmp.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    RasterImage image;
    BmpCodec codec;
    if (codec.OpenRead(input.Path(), &image, nullptr) == 1) codec.Read();
    return 0;
}
