// The glyph clipper and the pixel writers of VornFont, on plain memory (the 16-bit one-bit writers and
// the clipped offsets are checked through the font on the device).
#include "EngineFixture.h"
#include "VornFont.h"
#include <algorithm>

using vorntest::Argb;

namespace {

// A 1-bit glyph of 10 x 3 pixels, rows padded to 4 bytes:
//   row 0: X.X.X.X.X.     row 1: XXXXXXXXXX     row 2: .........X
const uint8_t kBits[12] = {0xAA, 0x80, 0, 0, 0xFF, 0xC0, 0, 0, 0x00, 0x40, 0, 0};
bool Ink(int x, int y)
{
    return (kBits[y * 4 + (x >> 3)] & (0x80 >> (x & 7))) != 0;
}

VornFontGlyphBlit GlyphBlock(const uint8_t* bits, int32_t w, int32_t h, int32_t pitch)
{
    return {0, 0, w, h, pitch, const_cast<uint8_t*>(bits)};
}

// A surface of w x h pixels of the given type with a padded pitch, filled with fill.
template <typename Pixel>
struct Surface {
    int32_t width, height, pitchPixels;
    std::vector<Pixel> pixels;
    Surface(int32_t w, int32_t h, Pixel fill) : width(w), height(h), pitchPixels(w + 3), pixels((w + 3) * h, fill) {}
    VornFontGlyphBlit At(int32_t x, int32_t y, int32_t w, int32_t h)
    {
        return {x, y, x + w, y + h, pitchPixels * static_cast<int32_t>(sizeof(Pixel)),
                reinterpret_cast<uint8_t*>(pixels.data())};
    }
    Pixel& operator()(int32_t x, int32_t y) { return pixels[y * pitchPixels + x]; }
};

}  // namespace

TEST(GlyphCoverage, SixtyFiveLevelsToAlpha)
{
    const uint8_t* t = VornFont::GetCoverageTable();
    const int pinned[][2] = {{0, 0}, {1, 3}, {2, 7}, {32, 127}, {63, 251}, {64, 255}};
    for (const auto& p : pinned) EXPECT_EQ(p[1], t[p[0]]) << p[0];
    for (int i = 1; i < 65; ++i) EXPECT_LT(t[i - 1], t[i]) << i;
}

TEST(GlyphClip, OverhangsMoveBothBlocksAndWhollyOutsideIsSkipped)
{
    // destination block, then the clipped destination and glyph blocks (left, top, right, bottom) on 20 x 20.
    const struct { VornFontGlyphBlit dst; bool drawn; std::vector<int32_t> after; } cases[] = {
        {{5, 6, 15, 9, 0, nullptr}, true, {5, 6, 15, 9, 0, 0, 10, 3}},   // inside: unchanged
        {{-3, -1, 7, 2, 0, nullptr}, true, {0, 0, 7, 2, 3, 1, 10, 3}},
        {{15, 18, 25, 21, 0, nullptr}, true, {15, 18, 20, 20, 0, 0, 5, 2}},
        {{-20, 0, -10, 3, 0, nullptr}, false, {}},
        {{30, 0, 40, 3, 0, nullptr}, false, {}},
        {{0, -9, 10, -6, 0, nullptr}, false, {}},
        {{0, 20, 10, 23, 0, nullptr}, false, {}}};
    for (const auto& c : cases) {
        VornFontGlyphBlit dst = c.dst, glyph = GlyphBlock(kBits, 10, 3, 4);
        SCOPED_TRACE("block at " + std::to_string(c.dst.left) + "," + std::to_string(c.dst.top));
        ASSERT_EQ(c.drawn, VornFont::ClipGlyph(&dst, &glyph, 20, 20));
        if (!c.drawn) continue;
        EXPECT_EQ(c.after, (std::vector<int32_t>{dst.left, dst.top, dst.right, dst.bottom, glyph.left, glyph.top, glyph.right, glyph.bottom}));
    }
}

TEST(GlyphWriter, OneBit8888WritesSetBitsOnly)
{
    Surface<uint32_t> s(16, 8, 0x11223344u);
    VornFont::WriteGlyph8888(s.At(2, 1, 10, 3), GlyphBlock(kBits, 10, 3, 4), 0x00FF8040u);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 2 && x < 12 && y >= 1 && y < 4;
            const uint32_t want = inside && Ink(x - 2, y - 1) ? 0xFFFF8040u : 0x11223344u;
            ASSERT_EQ(Argb{want}, Argb{s(x, y)}) << x << "," << y;
        }
    }
    // The padding beyond the width is never touched.
    EXPECT_EQ(Argb{0x11223344}, Argb{s.pixels[16]});
}

// Coverage 0 to 64, then 65 and 200, in a 14 x 5 block (pitch 16) inside a destination full of white:
// each antialiased writer sets the colour with the table's alpha, opaque above 64, and leaves the
// pixels around the block as they were.
TEST(GlyphWriter, AntialiasedWritersTakeAlphaFromTheCoverageTableAndStayOpaqueAboveSixtyFour)
{
    uint8_t grey[16 * 5] = {};
    for (int i = 0; i < 70; ++i) grey[(i / 14) * 16 + i % 14] = static_cast<uint8_t>(i < 65 ? i : i == 65 ? 65 : 200);
    const uint8_t* table = VornFont::GetCoverageTable();
    auto check = [&](const char* format, auto& surface, auto write, auto want, auto untouched) {
        SCOPED_TRACE(format);
        write(surface.At(1, 1, 14, 5), GlyphBlock(grey, 14, 5, 16), 0x00FF8040u);
        for (int i = 0; i < 70; ++i) EXPECT_EQ(Argb{want(table[std::min(i, 64)])}, Argb{surface(1 + i % 14, 1 + i / 14)}) << "block pixel " << i;
        EXPECT_NAMED({"left of the block", Argb{surface(0, 1)}, Argb{untouched}}, {"right of it", Argb{surface(15, 1)}, Argb{untouched}},
                     {"above it", Argb{surface(1, 0)}, Argb{untouched}});
    };
    Surface<uint16_t> q(16, 6, 0xFFFF);
    check("4444", q, VornFont::WriteGlyphAntialias4444, [](uint8_t a) { return uint16_t((a >> 4) << 12 | 0xF84); }, uint16_t(0xFFFF));
    Surface<uint32_t> s(16, 6, 0xFFFFFFFFu);
    check("8888", s, VornFont::WriteGlyphAntialias8888, [](uint8_t a) { return uint32_t(a) << 24 | 0xFF8040u; }, 0xFFFFFFFFu);
}
