// A plain heap block that knows its size: row buffers, palettes, header blocks.
#pragma once

#include <cstdint>

class HeapBlock {
public:
    HeapBlock() = default;
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    ~HeapBlock() { Free(); }

    // Frees any previous memory and obtains n bytes (not cleared). 1 on success; on failure the
    // block is empty. A request of 0 bytes fails.
    int32_t Allocate(uint32_t n);
    void Free();
    uint8_t* GetData() const { return data; }
    uint32_t GetSize() const { return size; }

private:
    uint32_t size = 0;
    uint8_t* data = nullptr;
};
