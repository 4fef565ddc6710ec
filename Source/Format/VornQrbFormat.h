// VornQrbFormat: the "QRB" scrambled file, over plain memory (VornSystem does the file I/O).
//   "QRB\0", u32 body size (little-endian), then the body: byte i stored as the nibble swap of
//   (byte ^ key), the key starting at the low byte of the body size and growing by one a byte.
#pragma once
#include <cstdint>

class VornQrbFormat
{
public:
    static constexpr uint32_t HEADER_SIZE = 8;

    static void WriteHeader(uint8_t* head, uint32_t size);
    // Whether the 8-byte head is a QRB head announcing a body of exactly size bytes.
    static bool CheckHeader(const uint8_t* head, uint32_t size);

    // The first key of a body of size bytes; the Run functions return the key for the bytes after
    // theirs, so a body may be scrambled in pieces.
    static uint8_t FirstKey(uint32_t size) { return uint8_t(size); }
    static uint8_t ScrambleRun(const uint8_t* in, uint8_t* out, uint32_t n, uint8_t key);
    static uint8_t UnscrambleRun(const uint8_t* in, uint8_t* out, uint32_t n, uint8_t key);
    // A whole body (in place allowed).
    static void Scramble(const uint8_t* in, uint8_t* out, uint32_t size) { ScrambleRun(in, out, size, FirstKey(size)); }
    static void Unscramble(const uint8_t* in, uint8_t* out, uint32_t size) { UnscrambleRun(in, out, size, FirstKey(size)); }
};
