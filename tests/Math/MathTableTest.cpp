// Angles: the sine and arctangent tables, Atan in every branch, points turned by an angle, and the
// runtime library's random numbers.
#include "MathFixture.h"
#include "VornVector2.h"
#include <climits>
#include <limits>

using vorntest::MathTest;
using vorntest::Argb;
using vorntest::Bits;
using vorntest::InRange;

TEST_F(MathTest, SineTableHoldsTheDoubleProductOfTheFloatTwoPi)
{
    // Sin(32768) is not 0 (-8.742278e-8): 2 pi as a float is a little large. The table is not
    // symmetric: Cos(8192) differs from Sin(8192) in the last bit.
    const struct { VornAngle angle; uint32_t sin; } sines[] = {
        {0, 0}, {1, 0x38C90FDBu}, {8192, 0x3F3504F3u}, {16384, Bits(1.0f)}, {32768, 0xB3BBBD2Eu},
        {49152, Bits(-1.0f)}, {65535, 0xB8C8B1FCu}, {12345, 0x3F6D0B85u}};
    for (const auto& s : sines) EXPECT_EQ(s.sin, Bits(VornMath::Sin(s.angle))) << s.angle;
    EXPECT_EQ(0x3F3504F2u, Bits(VornMath::Cos(8192)));
    // Only the low sixteen bits of an angle count; Cos (Cos(0) = Sin(16384) = 1 among them) and SinCos
    // read the same table.
    for (VornAngle a = -70000; a < 70000; a += 7) {
        SCOPED_TRACE(testing::Message() << "angle " << a);
        ASSERT_EQ(Bits(VornMath::Sin(a & 0xFFFF)), Bits(VornMath::Sin(a)));
        ASSERT_EQ(Bits(VornMath::Sin(a + 16384)), Bits(VornMath::Cos(a)));
        float s, c;
        VornMath::SinCos(a, &s, &c);
        ASSERT_NAMED({"SinCos sine", Argb{Bits(s)}, Argb{Bits(VornMath::Sin(a))}}, {"SinCos cosine", Argb{Bits(c)}, Argb{Bits(VornMath::Cos(a))}});
    }
}

TEST_F(MathTest, ArctangentTableTruncatesTowardZeroAndAtanReadsItInEveryBranchForAnyArguments)
{
    // 8192 (45 degrees) truncates to 8191.
    const std::pair<uint32_t, int32_t> entries[] = {{0, 0}, {1, 1}, {1000, 1266}, {4096, 4836}, {8191, 8191}, {8192, 8191}};
    for (const auto& e : entries) EXPECT_EQ(e.second, VornMath::AtanTable(e.first)) << e.first;
    for (uint32_t i = 1; i < VornMath::ATAN_TABLE_SIZE; i++) ASSERT_LE(VornMath::AtanTable(i - 1), VornMath::AtanTable(i)) << "entry " << i;
    const int32_t t = 4836;   // table entry for a ratio of one half
    const struct { int32_t x, y, angle; } cases[] = {
        {0, 0, 16384}, {0, 5, 16384}, {0, -5, 49152}, {5, 0, 0}, {-5, 0, 32768}, {1, 1, 8191},
        {2, 1, t}, {1, 2, 16384 - t}, {-2, 1, 32768 - t}, {-1, 2, 16384 + t},
        {-2, -1, 32768 + t}, {-1, -2, 49152 - t}, {2, -1, 65536 - t}, {1, -2, 49152 + t},
        {3, 1, VornMath::AtanTable(2730)},   // 8192 / 3 truncated
        // Large arguments stay in the table.
        {2000000000, 1000000000, 4836}, {1000000000, 2000000000, 16384 - 4836}, {300000, 300000, 8191},
        {INT_MIN, INT_MIN, 32768 + 8191}, {INT_MAX, 1, 0}, {INT_MAX, INT_MIN + 1, 65536 - 8191}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "x " << c.x << ", y " << c.y);
        EXPECT_NAMED({"Atan", VornMath::Atan(c.x, c.y), c.angle}, {"AtanF", VornMath::AtanF(float(c.x), float(c.y)), c.angle});
    }
    // Just below +x; minus zero; the smallest angle.
    EXPECT_EQ((std::vector<int32_t>{65536, 16384, VornMath::AtanTable(1)}),
              (std::vector<int32_t>{VornMath::Atan(100000, -1), VornMath::AtanF(-0.0f, 2.0f), VornMath::AtanF(1e6f, 130.0f)}));
    for (int32_t k = 1; k < 200; k += 13)   // same results as in range
        EXPECT_EQ(VornMath::Atan(3 * k, 2 * k), VornMath::Atan(3 * k * 10000, 2 * k * 10000)) << k;

    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const struct { float x, y; int32_t angle; } odd[] = {
        {nan, 1.0f, 0}, {1.0f, nan, 0}, {-nan, -nan, 0}, {inf, inf, 8191}, {-inf, -inf, 32768 + 8191},
        {inf, 1.0f, 0}, {1.0f, inf, 16384}, {3e38f, 3e38f, 8191}};
    for (const auto& c : odd) EXPECT_EQ(c.angle, VornMath::AtanF(c.x, c.y)) << c.x << ", " << c.y;
}

TEST_F(MathTest, RotationPointTurnsFromXTowardsY)
{
    // Both coordinates from the table values of the one angle, x and y read before either is written.
    VornVector2 q(3.0f, 1.0f);
    VornMath::RotationPoint(&q, 8192);
    EXPECT_NAMED({"x bits (cos 3 - sin 1)", Argb{Bits(q.x)}, Argb{0x3FB504F2u}}, {"y bits (sin 3 + cos 1)", Argb{Bits(q.y)}, Argb{0x403504F2u}});
}

TEST_F(MathTest, RuntimeRandomNumbersRepeatAndStayInTheirRanges)
{
    int32_t first[16];
    VornMath::RandSeed(777);
    for (int32_t& v : first) v = VornMath::Rand();
    VornMath::RandSeed(777);
    for (int i = 0; i < 16; i++) EXPECT_EQ(first[i], VornMath::Rand()) << "draw " << i;
    for (int i = 0; i < 2000; i++) {
        const int32_t r = VornMath::Rand();
        const float u = VornMath::Rand01(), f = VornMath::RandFloat(-2.0f, 6.0f);
        ASSERT_TRUE(InRange("Rand()", r, 0, 1073676289));
        ASSERT_TRUE(InRange("Rand01()", u, 0, 1));
        ASSERT_TRUE(InRange("RandFloat(-2, 6)", f, -2, 6));
    }
    // An empty range does not divide by zero.
    EXPECT_EQ((std::vector<int32_t>{5, 10, INT_MAX}), (std::vector<int32_t>{VornMath::RandInt(5, 4), VornMath::RandInt(10, -10), VornMath::RandInt(INT_MAX, INT_MIN)}));
}

TEST(MathLifecycle, TablesComeFromTheWorkAreaAndGoBack)
{
    VornMemory::Initialize();
    EXPECT_FALSE(VornMath::Initialize());   // no work area yet
    ASSERT_TRUE(VornMemory::SetWorkArea(0x200000, true));
    const uint32_t before = VornMemory::GetUsedSize();
    ASSERT_TRUE(VornMath::Initialize());
    const uint32_t used = VornMemory::GetUsedSize() - before;
    EXPECT_GE(used, 0x40000u + 32772u);
    ASSERT_TRUE(VornMath::Initialize());   // again: rebuilt, not leaked
    EXPECT_NAMED({"used", VornMemory::GetUsedSize(), before + used}, {"AtanTable(4096)", VornMath::AtanTable(4096), 4836});
    VornMath::Finalize();
    EXPECT_EQ(before, VornMemory::GetUsedSize());
    VornMath::Finalize();   // a second Finalize is harmless
    EXPECT_TRUE(VornMemory::CheckOverAccess());
}
