#include "VornRand.h"

namespace {

constexpr uint32_t N = 624;
constexpr uint32_t M = 397;
constexpr uint32_t MATRIX_A = 0x9908B0DFu;
constexpr uint32_t UPPER = 0x80000000u;
constexpr uint32_t LOWER = 0x7FFFFFFFu;

uint32_t state[N];
uint32_t index = N + 1;   // N + 1: never seeded

void Regenerate()
{
    uint32_t i = 0;
    for (; i < N - M; i++) {
        uint32_t y = (state[i] & UPPER) | (state[i + 1] & LOWER);
        state[i] = state[i + M] ^ (y >> 1) ^ ((y & 1u) ? MATRIX_A : 0u);
    }
    for (; i < N - 1; i++) {
        uint32_t y = (state[i] & UPPER) | (state[i + 1] & LOWER);
        state[i] = state[i + M - N] ^ (y >> 1) ^ ((y & 1u) ? MATRIX_A : 0u);
    }
    uint32_t y = (state[N - 1] & UPPER) | (state[0] & LOWER);
    state[N - 1] = state[M - 1] ^ (y >> 1) ^ ((y & 1u) ? MATRIX_A : 0u);
    index = 0;
}

} // namespace

void VornRand::Seed(uint32_t seed)
{
    state[0] = seed;
    for (uint32_t i = 1; i < N; i++)
        state[i] = 1812433253u * (state[i - 1] ^ (state[i - 1] >> 30)) + i;
    index = N;
}

uint32_t VornRand::GetU32()
{
    if (index > N)
        Seed(5489u);
    if (index >= N)
        Regenerate();
    uint32_t y = state[index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

uint64_t VornRand::GetU64()
{
    uint64_t high = GetU32();
    uint64_t low = GetU32();
    return (high << 32) | low;
}

double VornRand::GetReal()
{
    return (static_cast<double>(GetU32()) + 0.5) * (1.0 / 4294967296.0);
}

double VornRand::GetReal53()
{
    uint32_t a = GetU32() >> 5;
    uint32_t b = GetU32() >> 6;
    return (a * 67108864.0 + b) * (1.0 / 9007199254740992.0);
}

int32_t VornRand::GetInt(int32_t min, int32_t max)
{
    int32_t x = static_cast<int32_t>(GetU32() >> 1);
    int64_t range = static_cast<int64_t>(max) + 1 - min;
    if (range <= 0)
        return min;
    return static_cast<int32_t>(min + x % range);
}

float VornRand::GetFloat(float min, float max)
{
    return min + (max - min) * static_cast<float>(GetReal());
}
