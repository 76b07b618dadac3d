#include "formats/bmp.h"
#include "fuzz/reader_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzReader<BmpCodec>(data, size);
}
