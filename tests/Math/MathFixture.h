// The work area and the math tables, set up once for the whole math test program, and the checks
// the math tests share.
#pragma once
#include "Checks.h"
#include "VornCollision.h"
#include "VornMath.h"
#include "VornMatrix.h"
#include "VornMemory.h"
#include <d3dx9.h>
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

inline const D3DXMATRIX kIdentity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);

// EXPECT_VECTOR(x, y, z, v[, tolerance]) and EXPECT_MATRIX_NEAR(expected, actual[, tolerance]): a
// failure names each component that differed at the caller's line, or each element under its trace.
inline bool CheckVector(const char* file, int line, float x, float y, float z, const D3DXVECTOR3& v, float tolerance = 1e-6f)
{
    return CheckNamed(file, line, false, {{"x", v.x, x, tolerance}, {"y", v.y, y, tolerance}, {"z", v.z, z, tolerance}});
}
inline void CheckMatrixNear(const char* file, int line, const D3DXMATRIX& expected, const VornMatrix& actual, float tolerance = 2e-6f)
{
    const ::testing::ScopedTrace caller(file, line, "the matrix compared here");
    for (int i = 0; i < 16; i++) EXPECT_NEAR((&expected._11)[i], actual.GetElement(i / 4, i % 4), tolerance) << "row " << i / 4 << " column " << i % 4;
}

// Each row holds the answer expected of f for its input: EXPECT_TRUE(Rows<T>(f, {{answer, input}, ...}))
// fails at the caller's line, listing every row that differed with its input.
template <typename T, typename R = bool, typename F>
[[nodiscard]] ::testing::AssertionResult Rows(F f, std::initializer_list<std::pair<R, T>> rows)
{
    std::ostringstream failed;
    int i = 0;
    for (const auto& r : rows) {
        const R got = f(r.second);
        if (!(got == r.first))
            failed << "\n  row " << i << " " << ::testing::PrintToString(r.second) << ": expected " << ::testing::PrintToString(r.first)
                   << ", got " << ::testing::PrintToString(got);
        ++i;
    }
    if (failed.tellp() == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "rows differ:" << failed.str();
}

} // namespace vorntest

// The shapes as the rows' failures print them.
inline void PrintTo(const VornVector3& v, std::ostream* os) { *os << "(" << v.x << ", " << v.y << ", " << v.z << ")"; }
inline void PrintTo(const VornVector2& v, std::ostream* os) { *os << "(" << v.x << ", " << v.y << ")"; }
inline void PrintTo(const VornSphere& s, std::ostream* os) { *os << "sphere (" << s.x << ", " << s.y << ", " << s.z << ") r " << s.r; }
inline void PrintTo(const VornSegment3& s, std::ostream* os) { *os << ::testing::PrintToString(s.start) << " to " << ::testing::PrintToString(s.end); }
inline void PrintTo(const VornBox& b, std::ostream* os) { *os << "box " << ::testing::PrintToString(b.corner[0]) << " to " << ::testing::PrintToString(b.corner[7]); }
inline void PrintTo(const VornCircle& c, std::ostream* os) { *os << "circle (" << c.x << ", " << c.y << ") r " << c.r; }
inline void PrintTo(const VornSegment2& l, std::ostream* os) { *os << "(" << l.x0 << ", " << l.y0 << ") to (" << l.x1 << ", " << l.y1 << ")"; }
inline void PrintTo(const VornCollisionRect& r, std::ostream* os) { *os << "rect (" << r.left << ", " << r.top << ")-(" << r.right << ", " << r.bottom << ")"; }
inline void PrintTo(const VornPolygon& p, std::ostream* os) { *os << "polygon of " << p.count << " points from " << ::testing::PrintToString(p.points ? p.points[0] : VornVector2(0, 0)); }

#define EXPECT_VECTOR(...) vorntest::CheckVector(__FILE__, __LINE__, __VA_ARGS__)
#define EXPECT_MATRIX_NEAR(...) vorntest::CheckMatrixNear(__FILE__, __LINE__, __VA_ARGS__)
