// VornLZSS: the "LZSS" stream (4096-byte zero-filled window, matches of 3 to 16 bytes).
// Decoding is re-entrant (its window lives on the caller's stack).
#pragma once
#include <cstdint>

class VornLZSS
{
public:
    static constexpr uint32_t HEADER_SIZE = 8;
    static constexpr uint32_t INVALID_SIZE = 0xFFFFFFFF;

    static bool Initialize();
    static void Finalize();

    static bool IsCompressed(const void* src, uint32_t srcSize);
    // The decoded size from the header; INVALID_SIZE when the buffer is shorter than the header,
    // lacks the magic, or is too short to decode to that size (at most 144 bytes per 17).
    static uint32_t GetDecodedSize(const void* src, uint32_t srcSize);
    // Writes exactly the decoded size into dst; false when the magic is missing, dst is smaller
    // than the decoded size, or the stream ends early.
    static bool Decode(const void* src, uint32_t srcSize, void* dst, uint32_t dstSize);
    // A headerless stream body of exactly dstSize output bytes (the packing of QSG entries).
    static bool DecodeRaw(const void* src, uint32_t srcSize, void* dst, uint32_t dstSize);
    // Capacity Encode needs for size input bytes.
    static uint32_t GetEncodeBound(uint32_t size);
    // Writes the whole stream (header included) and its length. False for empty input, or when
    // the stream would grow past twice the input size (then nothing usable was written).
    static bool Encode(const void* src, uint32_t size, void* dst, uint32_t dstCapacity, uint32_t* outSize);
    // The body alone (no header), as DecodeRaw reads it.
    static bool EncodeRaw(const void* src, uint32_t size, void* dst, uint32_t dstCapacity, uint32_t* outSize);
};
