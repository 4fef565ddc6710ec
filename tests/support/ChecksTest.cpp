// The named checks' own messages: what every other test's failure will read like.
#include "Checks.h"

#include <gtest/gtest-spi.h>

#include <vector>

namespace {

enum Scene { kTitle, kPlay };

TEST(NamedChecks, NameEveryDifferingValueWithExpectedAndGot)
{
    EXPECT_NONFATAL_FAILURE(EXPECT_NAMED({"scene", kTitle, kPlay}, {"kills", 3u, 3}, {"handle", uint32_t(5), -1}),
                            "values differ:\n  scene: expected 1, got 0\n  handle: expected 4294967295, got 5");
    EXPECT_NONFATAL_FAILURE(EXPECT_NAMED({"pixel", vorntest::Argb{0xFF00FF00}, vorntest::Argb{0x80FF0000}}),
                            "pixel: expected 0x80FF0000, got 0xFF00FF00");
    const char name[8] = "boss";
    EXPECT_NONFATAL_FAILURE(EXPECT_NAMED({"name", name, "bos"}), "name: expected \"bos\", got \"boss\"");
    EXPECT_NONFATAL_FAILURE(EXPECT_NAMED({"x", 1.5f, 1.0f, 0.25f}), "x: expected 1 (within 0.25), got 1.5");
    const uint8_t a[] = {1, 2, 3, 4}, b[] = {1, 2, 9, 8};
    EXPECT_NONFATAL_FAILURE(EXPECT_BYTES_EQ(a, b, sizeof a), "2 of 4 bytes differ; the first at offset 2: expected 0x03, got 0x09");
    EXPECT_NONFATAL_FAILURE(EXPECT_TRUE(vorntest::InRange("draw", 10, 0, 9)), "draw = 10: above its high bound 9");
    EXPECT_NONFATAL_FAILURE(EXPECT_TRUE(vorntest::InRange("u", -0.5f, 0, 1)), "u = -0.5: below its low bound 0");
    // Equal values pass, texts by their characters, numbers in the type that came.
    EXPECT_TRUE(EXPECT_NAMED({"name", name, std::string("boss").c_str()}, {"count", size_t(2), 2}, {"x", 1.1f, 1.0f, 0.2f}));
    EXPECT_TRUE(vorntest::InRange("edge", 9u, 0, 9));
}

}  // namespace
