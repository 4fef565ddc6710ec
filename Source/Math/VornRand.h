// VornRand: the Mersenne Twister MT19937, a generator separate from the runtime library's.
#pragma once
#include <cstdint>

class VornRand {
public:
    static void Seed(uint32_t seed);
    // Drawing before any seed seeds the generator with 5489 first (the generator's usual default).
    static uint32_t GetU32();
    static uint64_t GetU64();     // first draw is the high word
    static double GetReal();      // (x + 0.5) / 2^32: open interval 0..1
    static double GetReal53();    // 53-bit resolution in [0, 1)
    static int32_t GetInt(int32_t min, int32_t max);   // max < min gives min
    static float GetFloat(float min, float max);
};
