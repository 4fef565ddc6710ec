// The work area and the math tables, set up once for the whole math test program, and the checks
// the math tests share.
#pragma once
#include "VornMath.h"
#include "VornMatrix.h"
#include "VornMemory.h"
#include <d3dx9.h>
#include <gtest/gtest.h>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

namespace vorntest {

inline void EnsureMathTables()
{
    static bool ready = false;
    if (ready) return;
    VornMemory::Initialize();
    ASSERT_TRUE(VornMemory::SetWorkArea(0x1000000, false));
    ASSERT_TRUE(VornMath::Initialize());
    ready = true;
}

class MathTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureMathTables(); }
};

inline uint32_t Bits(float f)
{
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}

// Matrices and vectors compared bit for bit.
inline bool SameBits(const D3DXMATRIX& a, const D3DXMATRIX& b) { return memcmp(&a, &b, sizeof a) == 0; }
inline bool SameBits(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return memcmp(&a, &b, sizeof a) == 0; }

inline void ExpectVector(float x, float y, float z, const D3DXVECTOR3& v, float tolerance = 1e-6f)
{
    EXPECT_NEAR(x, v.x, tolerance);
    EXPECT_NEAR(y, v.y, tolerance);
    EXPECT_NEAR(z, v.z, tolerance);
}

inline const D3DXMATRIX kIdentity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);

// Every element of actual within tolerance of expected; a failure names the element.
inline void ExpectMatrixNear(const D3DXMATRIX& expected, const VornMatrix& actual, float tolerance = 2e-6f)
{
    for (int i = 0; i < 16; i++) EXPECT_NEAR((&expected._11)[i], actual.GetElement(i / 4, i % 4), tolerance) << "row " << i / 4 << " column " << i % 4;
}

// Each row holds the answer expected of f for its input; a failure names the row.
template <typename T, typename R = bool, typename F>
void ExpectRows(F f, std::initializer_list<std::pair<R, T>> rows)
{
    int i = 0;
    for (const auto& r : rows) EXPECT_EQ(r.first, f(r.second)) << "row " << i++;
}

} // namespace vorntest

// Exactly equal floats, shown with their bits on failure.
#define EXPECT_FLOAT_BITS(expected, actual) \
    EXPECT_EQ(vorntest::Bits(expected), vorntest::Bits(actual)) << (expected) << " vs " << (actual)
