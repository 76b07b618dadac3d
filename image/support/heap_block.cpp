#include "image/support/heap_block.h"

#include <cstdlib>

int32_t HeapBlock::Allocate(uint32_t n) {
    Free();
    if (n == 0) return 0;
    data = static_cast<uint8_t*>(std::malloc(n));
    if (data == nullptr) return 0;
    size = n;
    return 1;
}

void HeapBlock::Free() {
    std::free(data);
    data = nullptr;
    size = 0;
}
