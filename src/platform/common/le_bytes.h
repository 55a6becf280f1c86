// Little-endian byte access: the settings file, the save slots, the lists and the WAV headers
// store their numbers low byte first whatever the machine's own order.
#pragma once

#include <cstdint>

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline int32_t LeI32(const uint8_t* p) { return static_cast<int32_t>(Le32(p)); }

inline void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline void PutLeI32(uint8_t* p, int32_t v) { PutLe32(p, static_cast<uint32_t>(v)); }
