// VornRand against the published MT19937 outputs and the standard library's generator. Each test
// case runs in its own process, so the generator starts unseeded in every one.
#include "Checks.h"
#include "VornMath.h"
#include "VornRand.h"
#include <climits>
#include <random>

TEST(VornRand, MatchesTheReferenceOutputsFromTheDefaultSeedAndAcrossRegenerations)
{
    // Drawn before any seed: the default seed's sequence.
    EXPECT_EQ((std::vector<uint32_t>{3499211612u, 581869302u}), (std::vector<uint32_t>{VornRand::GetU32(), VornRand::GetU32()}));
    // Reseeding restarts the sequence; 3000 draws span four regenerations of the state.
    for (uint32_t seed : {5489u, 0u, 1u, 65535u, 0xFFFFFFFFu, 19650218u}) {
        std::mt19937 reference(seed);
        VornRand::Seed(seed);
        for (int i = 0; i < 3000; i++) ASSERT_EQ(reference(), VornRand::GetU32()) << "seed " << seed << " draw " << i;
    }
}

TEST(VornRand, TheFirstDrawOfEachFormAndEmptyRanges)
{
    // The first draw of seed 5489 through each form pins its formula, and with it its range.
    auto first = [](auto draw) { VornRand::Seed(5489); return draw(); };
    EXPECT_EQ(15028999435905310454ull, first(VornRand::GetU64));   // high word first
    EXPECT_DOUBLE_EQ(0.81472369201947, first(VornRand::GetReal));   // (x + 0.5) / 2^32
    EXPECT_DOUBLE_EQ(0.8147236863931789, first(VornRand::GetReal53));
    EXPECT_EQ(2.6294474601745605f, first([] { return VornRand::GetFloat(1.0f, 3.0f); }));
    VornRand::Seed(5489);
    // (3499211612 >> 1) % 100, then -10 + (581869302 >> 1) % 21.
    EXPECT_EQ((std::vector<int32_t>{6, -10}), (std::vector<int32_t>{VornRand::GetInt(0, 99), VornRand::GetInt(-10, 10)}));
    VornRand::Seed(5489);
    // Empty ranges give their low end; the first still drew one number (a braced list draws left to right).
    EXPECT_EQ((std::vector<int64_t>{5, 581869302, INT_MAX}),
              (std::vector<int64_t>{VornRand::GetInt(5, 4), VornRand::GetU32(), VornRand::GetInt(INT_MAX, INT_MIN)}));
}

// Both generators' ranged draws; 2^31 + 1 and 2^32 values do not wrap to an empty range.
TEST(RandomRanges, DrawsStayWithinBothBoundsAndReachThem)
{
    const struct { int32_t low, high; } ranges[] = {{0, 1}, {-10, 10}, {7, 9}, {3, 3}, {-1, INT_MAX}, {INT_MIN, INT_MAX}};
    const std::pair<const char*, int32_t (*)(int32_t, int32_t)> draws[] = {{"VornRand::GetInt", VornRand::GetInt}, {"VornMath::RandInt", VornMath::RandInt}};
    for (const auto& [drawName, draw] : draws)
        for (const auto& r : ranges) {
            SCOPED_TRACE(testing::Message() << drawName << "(" << r.low << ", " << r.high << ")");
            bool low = false, high = false;
            for (int i = 0; i < 200; i++) {
                const int32_t v = draw(r.low, r.high);
                ASSERT_TRUE(vorntest::InRange("draw " + std::to_string(i), v, r.low, r.high));
                low |= v == r.low;
                high |= v == r.high;
            }
            if (int64_t(r.high) - r.low < 30) EXPECT_NAMED({"drew the low bound", low, true}, {"drew the high bound", high, true});
        }
}
