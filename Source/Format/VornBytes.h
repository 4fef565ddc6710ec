// Byte-level helpers of the engine's file formats: little-endian fields at any alignment and the
// Shift-JIS byte classes. Plain inline code with no Windows header, shared by every byte-format
// reader (VornSystem forwards its byte-order and lead-byte helpers here).
#pragma once
#include <cstdint>

namespace VornBytes
{
inline uint16_t ReadLE16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t ReadLE32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void WriteLE16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void WriteLE32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// The first byte of a two-byte Shift-JIS character.
inline bool IsSjisLeadByte(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFE); }
// A byte that may follow a lead byte: 0x40-0x7E or 0x80-0xFC (never '/', ':' or a control byte).
inline bool IsSjisTrailByte(uint8_t c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
}
