#include "formats/pcx.h"
#include "fuzz/reader_target.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FuzzReader<PcxCodec>(data, size);
}
