// Key-frame curves: the eight kinds at keys, between keys and past the end, hand-computed; the
// table; the guarded degenerate keys; the speed helpers (the Bezier and Spline easings are the
// curve kinds 3 to 6).
#include "EngineFixture.h"
#include "MathFixture.h"
#include "VornAnimation.h"
#include "VornLog.h"
#include <cmath>
#include <limits>

namespace {

class AnimationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vorntest::EnsureMathTables();
        VornAnimation::SetMax(8);
        ASSERT_TRUE(VornAnimation::Initialize());
    }
    void TearDown() override { VornAnimation::Finalize(); }

    static VornHandle Curve(std::initializer_list<std::pair<float, float>> keys)
    {
        const VornHandle h = VornAnimation::Create(static_cast<uint32_t>(keys.size()));
        uint32_t i = 0;
        for (const auto& k : keys) VornAnimation::SetKey(h, i++, k.first, k.second);
        return h;
    }
    static VornHandle Sample() { return Curve({{0, 0}, {1, 10}, {3, 4}, {4, 4}, {6, 0}}); }
};

float Value(VornHandle h, float t, uint32_t kind) { return VornAnimation::GetValue(h, t, kind, -999.0f); }

} // namespace

TEST_F(AnimationTest, TheTableLinksKeysAndRefusesZeroKeys)
{
    EXPECT_EQ(VORN_INVALID_HANDLE, VornAnimation::Create(0));
    const VornHandle h = VornAnimation::Create(3);
    ASSERT_EQ(0u, h);
    const VornAnimationData* d = VornAnimation::GetData(h);
    ASSERT_NE(nullptr, d);   // its count: the key writes below
    using Links = std::vector<const VornAnimationKey*>;   // prev and next of the first and the last key
    EXPECT_EQ((Links{nullptr, &d->keys[1], &d->keys[1], nullptr}), (Links{d->keys[0].prev, d->keys[0].next, d->keys[2].prev, d->keys[2].next}));
    VornAnimation::SetKey(h, 4, 2.5f, 7.0f);   // count + 1 writes key 1
    VornAnimation::SetKey(h, 2, 9.0f, 1.0f);
    VornAnimation::SetKey(h, 0, -1.0f, 1.0f);
    EXPECT_EQ((std::vector<float>{2.5f, 7.0f, -1.0f, 9.0f}), (std::vector<float>{d->keys[1].time, d->keys[1].value, d->firstTime, d->lastTime}));

    // Full tables, the lowest free record and ignored releases are the record table's own tests.
    VornAnimation::Release(h);
    EXPECT_EQ(-999.0f, Value(h, 0.5f, 1));
    EXPECT_EQ(h, VornAnimation::Create(4));
    VornAnimation::Delete(h);
    EXPECT_EQ(nullptr, VornAnimation::GetData(h));
}

TEST_F(AnimationTest, EveryKindAtKeysBetweenKeysAndPastTheEnd)
{
    const VornHandle h = Sample();
    const struct { float t; uint32_t kind; float value; } cases[] = {
        {1.0f, 0, 10.0f}, {2.0f, 0, 10.0f}, {1.0f, 1, 10.0f}, {2.0f, 1, 7.0f}, {0.5f, 1, 5.0f}, {5.0f, 1, 2.0f},
        {6.0f, 1, 0.0f}, {8.0f, 1, 7.0f}, {14.0f, 1, 7.0f},   // the last key time wraps to 0
        // t = 1.5: between (1, 10) and (3, 4), f = 0.25: Spline(10, 4, 4), Spline(10, 10, 4), Bezier(10, 4, 4),
        // Bezier(10, 10, 4), Hermite with the tangents 4 * 2 / 3 and -6 * 2 / 3.
        {1.5f, 3, 6.25f}, {1.5f, 4, 10.75f}, {1.5f, 5, 7.375f}, {1.5f, 6, 9.625f}, {1.5f, 7, 9.625f},
        // Hermite with no previous key (start tangent dv = 10; end tangent 4 / 3), with no key after
        // next (end tangent dv = -4; start tangent -4 * 2 / 3); an unknown kind.
        {0.5f, 7, 6.0833333f}, {5.0f, 7, 2.1666667f}, {2.0f, 8, -999.0f}};
    for (const auto& c : cases) EXPECT_FLOAT_EQ(c.value, Value(h, c.t, c.kind)) << "kind " << c.kind << " at " << c.t;
    // At a key every kind gives the key's value; between keys of equal value every kind holds it.
    for (uint32_t kind : {0u, 1u, 3u, 4u, 5u, 6u, 7u}) {
        EXPECT_FLOAT_EQ(4.0f, Value(h, 3.0f, kind)) << kind;
        EXPECT_EQ(4.0f, Value(h, 3.5f, kind)) << kind;
    }
    EXPECT_EQ(-999.0f, Value(VORN_INVALID_HANDLE, 2.0f, 1));
}

TEST_F(AnimationTest, NewtonPolynomialThroughAllKeys)
{
    const VornHandle h = Curve({{0, 1}, {1, 3}, {2, 7}});
    EXPECT_EQ(0.0f, Value(h, 1.5f, 2));   // before ComputeNewton the coefficients are zero
    VornAnimation::ComputeNewton(h);
    const float* c = VornAnimation::GetData(h)->coefficients;
    EXPECT_EQ((std::vector<float>{1, 2, 1}), std::vector<float>(c, c + 3));   // 1 + x + x^2 as divided differences
    EXPECT_EQ((std::vector<float>{4.75f, 3.0f, 1.3125f}), (std::vector<float>{Value(h, 1.5f, 2), Value(h, 1.0f, 2), Value(h, 0.25f, 2)}));
    const VornHandle s = Sample();
    VornAnimation::ComputeNewton(s);
    for (float t : {0.0f, 1.0f, 3.0f, 4.0f}) EXPECT_NEAR(Value(s, t, 0), Value(s, t, 2), 1e-4f) << t;
}

TEST_F(AnimationTest, DegenerateKeysEvaluateWithinTheKeysAndWithoutDividingByZero)
{
    // A last key time of zero or less evaluates at zero.
    const VornHandle before = Curve({{-2, 3}, {0, 9}}), one = Curve({{0, 5}});
    for (float t : {-7.0f, 0.0f, 0.5f, 123.0f}) EXPECT_EQ(9.0f, Value(before, t, 1)) << t;
    EXPECT_EQ(5.0f, Value(one, 3.0f, 7));
    VornAnimation::ComputeNewton(one);
    EXPECT_EQ(5.0f, Value(one, 3.0f, 2));

    // Keys at equal times.
    const VornHandle h = Curve({{0, 1}, {2, 5}, {2, 9}, {4, 0}});
    EXPECT_EQ(9.0f, Value(h, 2.0f, 1));
    EXPECT_FLOAT_EQ(4.8f, Value(h, 1.9f, 1));
    const uint32_t notNewton[] = {0, 1, 3, 4, 5, 6, 7};   // Newton's (2) are checked through its coefficients
    for (uint32_t kind : notNewton)
        for (float t : {0.5f, 1.99f, 2.0f, 3.0f}) EXPECT_TRUE(std::isfinite(Value(h, t, kind))) << "kind " << kind << " at " << t;
    VornAnimation::ComputeNewton(h);
    for (uint32_t i = 0; i < 4; i++) EXPECT_TRUE(std::isfinite(VornAnimation::GetData(h)->coefficients[i])) << i;
    EXPECT_TRUE(std::isfinite(Value(h, 3.0f, 2)));
    // Hermite tangents over keys sharing a time fall back to the step itself.
    EXPECT_TRUE(std::isfinite(Value(Curve({{1, 0}, {1, 2}, {3, 6}}), 2.0f, 7)));

    // The search ends on unsorted, repeated and NaN key times.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const VornAnimationKey sorted[4] = {{0, 0, nullptr, nullptr}, {1, 0, nullptr, nullptr}, {1, 0, nullptr, nullptr}, {3, 0, nullptr, nullptr}};
    // Before, between, the last of equal times, between, at the last, NaN.
    const std::pair<float, int> found[] = {{-1.0f, 0}, {0.5f, 0}, {1.0f, 2}, {2.9f, 2}, {3.0f, 3}, {nan, 0}};
    for (const auto& f : found) EXPECT_EQ(&sorted[f.second], VornAnimation::SearchKey(sorted, f.first, 4)) << f.first;

    const float times[][5] = {{0, 5, 2, 4, 9}, {0, 2, 2, 2, 4}, {0, nan, 4, nan, 8}, {nan, nan, nan, nan, nan}, {4, 3, 2, 1, 0}};
    for (const auto& set : times) {
        SCOPED_TRACE(testing::Message() << "key times " << &set - times);
        const VornHandle curve = VornAnimation::Create(5);
        for (uint32_t i = 0; i < 5; i++) VornAnimation::SetKey(curve, i, set[i], static_cast<float>(i));
        VornAnimation::ComputeNewton(curve);
        const VornAnimationData* d = VornAnimation::GetData(curve);
        for (float t = -1.0f; t < 10.0f; t += 0.25f) {
            const VornAnimationKey* k = VornAnimation::SearchKey(d->keys, t, 5);
            ASSERT_TRUE(vorntest::InRange("key index", k - d->keys, 0, 4)) << "at " << t;
            if (std::isnan(set[0])) continue;
            for (uint32_t kind : notNewton) EXPECT_FALSE(std::isinf(Value(curve, t, kind))) << "kind " << kind << " at " << t;
        }
        VornAnimation::Release(curve);
    }
}

TEST(VornAnimationHelpers, SpeedsOverCountSteps)
{
    // AddSpeed(0, 10, 4, 2) = 10 (2*3/2) / (4*5/2); SubSpeed(0, 10, 4, 1) = 10 ((8 - 1 + 1) * 1 / 2) / 10 and
    // (.., 2) = 10 (7 * 2 / 2) / 10. A count of 0 (or -1, whose triangle number is 0) reaches the end
    // without dividing.
    using Speed = float (*)(float, float, int32_t, int32_t);
    const Speed flat = VornAnimation::FlatSpeed, add = VornAnimation::AddSpeed, sub = VornAnimation::SubSpeed;
    const struct { Speed speed; float from, to; int32_t count, step; float value; } cases[] = {
        {flat, 0, 10, 4, 1, 2.5f}, {flat, 0, 10, 4, 4, 10.0f}, {add, 0, 10, 4, 2, 3.0f}, {add, 2, 12, 3, 3, 12.0f},
        {sub, 0, 10, 4, 1, 4.0f}, {sub, 0, 10, 4, 2, 7.0f}, {sub, 0, 10, 4, 4, 10.0f}, {flat, 0, 10, 0, 3, 10.0f},
        {add, 0, 10, 0, 3, 10.0f}, {add, 0, 10, -1, 3, 10.0f}, {sub, 0, 10, 0, 3, 10.0f}, {sub, 0, 10, -1, 3, 10.0f}};
    for (const auto& c : cases) EXPECT_EQ(c.value, c.speed(c.from, c.to, c.count, c.step)) << &c - cases;
}

TEST(VornAnimationLifecycle, TitlesTheFailedTableAndEveryCurveBackToTheWorkArea)
{
    vorntest::LogCapture log;
    VornMemory::Initialize();   // no work area: the table cannot be had
    EXPECT_FALSE(VornAnimation::Initialize());
    VornAnimation::Finalize();
    vorntest::EnsureMathTables();
    const uint32_t before = VornMemory::GetUsedSize();
    VornAnimation::SetMax(0);   // the default 65536 curves
    ASSERT_TRUE(VornAnimation::Initialize());
    EXPECT_GE(VornMemory::GetUsedSize() - before, 65536u * sizeof(VornAnimationData));
    for (uint32_t n = 1; n < 40; n++) ASSERT_NE(VORN_INVALID_HANDLE, VornAnimation::Create(n)) << n << " keys";
    VornAnimation::Finalize();
    EXPECT_EQ(before, VornMemory::GetUsedSize());
    EXPECT_EQ(VORN_INVALID_HANDLE, VornAnimation::Create(2));   // no table any more
    EXPECT_EQ(7.0f, VornAnimation::GetValue(0, 1.0f, 1, 7.0f));
    VornMath::Finalize();
    EXPECT_TRUE(vorntest::InOrder(log.Text(),
                                  {"VornAnimationクラスの初期化", "アニメーション用メモリ確保",
                                   vorntest::Red("　　　アニメーション用メモリの確保に失敗"), "VornAnimationクラスの解放",
                                   "VornMathクラスの初期化", "VornMathクラスの解放"}));
}
