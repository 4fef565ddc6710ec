// VornRand against the published MT19937 outputs and the standard library's generator. Each test
// case runs in its own process, so the generator starts unseeded in every one.
#include "VornRand.h"
#include <gtest/gtest.h>
#include <climits>
#include <random>

TEST(VornRand, ReferenceOutputsForSeed5489)
{
    VornRand::Seed(5489);
    const uint32_t expected[] = {3499211612u, 581869302u, 3890346734u, 3586334585u, 545404204u,
                                 4161255391u, 3922919429u, 949333985u, 2715962298u, 1323567403u};
    for (uint32_t e : expected)
        EXPECT_EQ(e, VornRand::GetU32());
    // The 10000th output of the default seed, as the C++ standard pins it.
    for (int i = 11; i < 10000; i++)
        VornRand::GetU32();
    EXPECT_EQ(4123659995u, VornRand::GetU32());
}

TEST(VornRand, MatchesTheStandardGeneratorAcrossRegenerations)
{
    for (uint32_t seed : {0u, 1u, 65535u, 0xFFFFFFFFu, 19650218u}) {
        std::mt19937 reference(seed);
        VornRand::Seed(seed);
        for (int i = 0; i < 3000; i++)
            ASSERT_EQ(reference(), VornRand::GetU32()) << "seed " << seed << " draw " << i;
    }
}

TEST(VornRand, DrawingBeforeAnySeedGivesTheDefaultSeededSequence)
{
    EXPECT_EQ(3499211612u, VornRand::GetU32());
    EXPECT_EQ(581869302u, VornRand::GetU32());
    uint32_t zeros = 0;
    for (int i = 0; i < 1000; i++)
        zeros += VornRand::GetU32() == 0;
    EXPECT_LT(zeros, 2u);
}

TEST(VornRand, SeedRestartsTheSequence)
{
    VornRand::Seed(65535);
    uint32_t first[700];
    for (uint32_t& v : first)
        v = VornRand::GetU32();
    VornRand::Seed(65535);
    for (uint32_t v : first)
        ASSERT_EQ(v, VornRand::GetU32());
}

TEST(VornRand, WideAndRealDraws)
{
    VornRand::Seed(5489);
    EXPECT_EQ(15028999435905310454ull, VornRand::GetU64());   // high word first
    VornRand::Seed(5489);
    EXPECT_DOUBLE_EQ(0.81472369201947, VornRand::GetReal());
    VornRand::Seed(5489);
    EXPECT_EQ((3499211612.0 + 0.5) / 4294967296.0, VornRand::GetReal());
    VornRand::Seed(5489);
    EXPECT_EQ(((3499211612u >> 5) * 67108864.0 + (581869302u >> 6)) / 9007199254740992.0, VornRand::GetReal53());
    VornRand::Seed(5489);
    EXPECT_EQ(2.6294474601745605f, VornRand::GetFloat(1.0f, 3.0f));
    VornRand::Seed(1);
    for (int i = 0; i < 5000; i++) {
        const double r = VornRand::GetReal();
        ASSERT_GT(r, 0.0);
        ASSERT_LT(r, 1.0);
        const double r53 = VornRand::GetReal53();
        ASSERT_GE(r53, 0.0);
        ASSERT_LT(r53, 1.0);
    }
}

TEST(VornRand, GetIntTakesTheSignedRemainderOfThirtyOneBits)
{
    VornRand::Seed(5489);
    EXPECT_EQ(6, VornRand::GetInt(0, 99));          // (3499211612 >> 1) % 100
    EXPECT_EQ(-10 + 581869302 / 2 % 21, VornRand::GetInt(-10, 10));
    for (int i = 0; i < 1000; i++) {
        const int32_t v = VornRand::GetInt(-3, 4);
        ASSERT_GE(v, -3);
        ASSERT_LE(v, 4);
        ASSERT_EQ(7, VornRand::GetInt(7, 7));
    }
}

TEST(VornRand, GetIntWithAnEmptyOrHugeRangeDoesNotDivideByZero)
{
    VornRand::Seed(5489);
    EXPECT_EQ(5, VornRand::GetInt(5, 4));
    EXPECT_EQ(581869302u, VornRand::GetU32());   // the empty range still drew one number
    EXPECT_EQ(INT_MAX, VornRand::GetInt(INT_MAX, INT_MIN));
    for (int i = 0; i < 100; i++) {
        EXPECT_GE(VornRand::GetInt(INT_MIN, INT_MAX), INT_MIN);
        EXPECT_GE(VornRand::GetInt(-1, INT_MAX), -1);
    }
}

TEST(VornRand, GetFloatStaysBetweenItsLimits)
{
    VornRand::Seed(42);
    for (int i = 0; i < 5000; i++) {
        const float f = VornRand::GetFloat(-1.5f, 2.5f);
        ASSERT_GE(f, -1.5f);
        ASSERT_LE(f, 2.5f);
    }
}
