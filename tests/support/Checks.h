// Named checks: a failure says which value differed, what was expected and what came, at the
// caller's line.
//
//   EXPECT_NAMED({"scene", director->GetScene(), SCENE_PLAY}, {"kills", director->killCount, 0});
//     -> "scene: expected 2, got 1"  (one failure listing every value that differed)
//   EXPECT_NAMED({"pixel (3, 4)", Argb{read}, Argb{0xFF00FF00}});   colours in hex
//   EXPECT_NAMED({"x", v.x, 1.0f, 1e-5f});                          within a tolerance
//   EXPECT_BYTES_EQ(expected, actual, size);  -> the first differing offset, both bytes, and how many differ
//   EXPECT_TRUE(InRange("GetInt(0, 9)", v, 0, 9));  -> "GetInt(0, 9) = 10: above its high bound 9"
//
// The values of one call are read left to right (a braced list), but a check still reads values,
// never changes state: make the calls first, then name their results.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace vorntest {

// A 32-bit colour (or any word best read in hex), printed as 0xAARRGGBB.
struct Argb {
    uint32_t value;
};
inline bool operator==(Argb a, Argb b) { return a.value == b.value; }
inline bool operator!=(Argb a, Argb b) { return a.value != b.value; }
inline std::ostream& operator<<(std::ostream& os, Argb c)
{
    std::ios::fmtflags flags = os.flags();
    os << "0x" << std::hex << std::uppercase << std::setw(8) << std::setfill('0') << c.value;
    os.flags(flags);
    return os;
}
inline void PrintTo(Argb c, std::ostream* os) { *os << c; }
// Words (a row of pixels, texels) as colours, to compare as one list printed in hex.
inline std::vector<Argb> Hex(const std::vector<uint32_t>& words)
{
    std::vector<Argb> out;
    for (uint32_t w : words) out.push_back(Argb{w});
    return out;
}

namespace checks {
template <class T> constexpr bool kText = std::is_convertible_v<const T&, const char*>;
template <class G, class W> constexpr bool kNumber = (std::is_arithmetic_v<G> || std::is_enum_v<G>) && std::is_convertible_v<W, G>;
// Texts compare by their characters; numbers and enums in the type of what the test got (a literal
// 3 against a u32, -1 against a handle); everything else through its own ==.
template <class G, class W> bool Same(const G& got, const W& want)
{
    if constexpr (kText<G> && kText<W>) {
        const char *g = got, *w = want;
        return g && w ? std::strcmp(g, w) == 0 : g == w;
    } else if constexpr (kNumber<G, W>) {
        return got == static_cast<G>(want);
    } else {
        return got == want;
    }
}
template <class T> std::string Shown(const T& value)
{
    if constexpr (kText<T>) {
        const char* text = value;
        return text ? testing::PrintToString(std::string(text)) : "null";
    } else {
        return testing::PrintToString(value);
    }
}
template <class G, class W> std::string ShownAs(const W& want)
{
    if constexpr (kNumber<G, W> && !std::is_same_v<G, bool>) return Shown(static_cast<G>(want));
    else return Shown(want);
}
}  // namespace checks

// One named value: what the test got and what it expected.
struct Named {
    template <class G, class W>
    Named(const char* name, const G& got, const W& want)
        : name(name), same(checks::Same(got, want)), got(checks::Shown(got)), want(checks::ShownAs<G>(want))
    {
    }
    // A number within tolerance of what was expected.
    Named(const char* name, double got, double want, double tolerance)
        : name(name), same(std::fabs(got - want) <= tolerance), got(testing::PrintToString(got)),
          want(testing::PrintToString(want) + " (within " + testing::PrintToString(tolerance) + ")")
    {
    }
    const char* name;
    bool same;
    std::string got, want;
};

// Reports every value that differed as one failure at file:line; true when none did.
inline bool CheckNamed(const char* file, int line, bool fatal, std::initializer_list<Named> values)
{
    std::ostringstream text;
    for (const Named& v : values)
        if (!v.same) text << "\n  " << v.name << ": expected " << v.want << ", got " << v.got;
    if (text.tellp() == 0) return true;
    GTEST_MESSAGE_AT_(file, line, ("values differ:" + text.str()).c_str(),
                      fatal ? testing::TestPartResult::kFatalFailure : testing::TestPartResult::kNonFatalFailure);
    return false;
}

// The first differing byte of two buffers, both bytes in hex, and how many bytes differ in all.
inline bool CheckBytes(const char* file, int line, const void* expected, const void* actual, size_t size)
{
    const auto* e = static_cast<const uint8_t*>(expected);
    const auto* a = static_cast<const uint8_t*>(actual);
    size_t first = size, count = 0;
    for (size_t i = 0; i < size; i++)
        if (e[i] != a[i] && count++ == 0) first = i;
    if (count == 0) return true;
    std::ostringstream text;
    text << count << " of " << size << " bytes differ; the first at offset " << first << ": expected 0x" << std::hex
         << std::setw(2) << std::setfill('0') << int(e[first]) << ", got 0x" << std::setw(2) << int(a[first]);
    GTEST_MESSAGE_AT_(file, line, text.str().c_str(), testing::TestPartResult::kNonFatalFailure);
    return false;
}

// low <= value <= high, compared in the value's type; a failure names the value and the bound it crossed.
template <class T, class L, class H>
testing::AssertionResult InRange(const std::string& name, const T& value, const L& low, const H& high)
{
    if (value < static_cast<T>(low))
        return testing::AssertionFailure() << name << " = " << checks::Shown(value) << ": below its low bound " << checks::ShownAs<T>(low);
    if (static_cast<T>(high) < value)
        return testing::AssertionFailure() << name << " = " << checks::Shown(value) << ": above its high bound " << checks::ShownAs<T>(high);
    return testing::AssertionSuccess();
}

}  // namespace vorntest

#define EXPECT_NAMED(...) vorntest::CheckNamed(__FILE__, __LINE__, false, {__VA_ARGS__})
#define ASSERT_NAMED(...) \
    do { \
        if (!vorntest::CheckNamed(__FILE__, __LINE__, true, {__VA_ARGS__})) return; \
    } while (0)
#define EXPECT_BYTES_EQ(expected, actual, size) vorntest::CheckBytes(__FILE__, __LINE__, (expected), (actual), (size))
