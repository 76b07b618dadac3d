// Little- and big-endian field access for file headers: every codec assembles and parses its
// headers through these, never through packed structs.
#pragma once

#include <cstdint>
#include <cstring>

inline void PutU16le(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32le(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline void PutU16be(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void PutU32be(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline void PutF32be(uint8_t* p, float f) {
    uint32_t v;
    std::memcpy(&v, &f, sizeof v);
    PutU32be(p, v);
}
inline uint32_t GetU16le(const uint8_t* p) { return p[0] | (uint32_t(p[1]) << 8); }
inline uint32_t GetU32le(const uint8_t* p) {
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint32_t GetU16be(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }
inline uint32_t GetU32be(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline int32_t GetI32le(const uint8_t* p) { return static_cast<int32_t>(GetU32le(p)); }
