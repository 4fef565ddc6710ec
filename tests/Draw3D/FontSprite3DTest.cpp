// Font sprites in 3D: glyph sets built and loaded as the 2D ones are, the layout in a posture's plane.
#include "EngineFixture.h"
#include "../Draw2D/QxtTestFile.h"
#include "VornFontSprite3D.h"
#include "VornMath.h"

using namespace vorntest;

namespace {

// A QXT set of font size 16 on one 64 x 64 sheet with 'A' (cell 10 wide, bearing 1) and 'B' (12).
std::vector<uint8_t> TwoGlyphSet()
{
    fonttest::QxtFile f;
    f.sheetNames = {"sheet"};
    f.Add('A', 0, 0, 0, 1, 10, 0);
    f.Add('B', 0, 10, 0, 0, 12, 0);
    return f.Bytes();
}

class FontSprite3D : public EngineWith<VornMath, VornTexture, VornFont, VornPrimitive3D, VornSprite3D, VornFontSprite3D> {
protected:
    void SetUp() override
    {
        EngineWith::SetUp();
        LogCapture log;
        const std::vector<uint8_t> set = TwoGlyphSet();
        font_ = VornFontSprite3D::CreateFromMemory(set.data(), static_cast<uint32_t>(set.size()), nullptr, 0, 96);
        ASSERT_NE(VORN_INVALID_HANDLE, font_) << log.Text();
    }
    // The batch of the sheet's sprite.
    VornPrimitive3DHandle Batch() { return VornSprite3D::GetPrimitive(VornFontSprite3D::GetRecord(font_)->sprites[0]); }
    // Lays two characters of text out from a posture at (x, 0, 0) into the emptied batch: corner Q0
    // (x, y, z) of their quads in a and b.
    ::testing::AssertionResult Lay(const char* text, float x, float size, bool proportional, float a[3], float b[3])
    {
        VornFontSprite3D::ResetBuffer(font_);
        VornPosture posture;
        posture.SetPosition(x, 0, 0);
        posture.UpdateMatrices();
        (proportional ? VornFontSprite3D::DrawStringProportional : VornFontSprite3D::DrawString)(font_, text, &posture, size, 0xFFFFFFFF);
        const VornBatch3DRecord* r = VornPrimitive3D::GetRecord(Batch());
        const uint32_t vertices = VornPrimitive3D::GetVertexCount(Batch());
        if (vertices != 12) return ::testing::AssertionFailure() << "\"" << text << "\": " << vertices << " vertices, not 12";
        memcpy(a, r->store, 12);
        memcpy(b, static_cast<const uint8_t*>(r->store) + 6 * r->stride, 12);
        return ::testing::AssertionSuccess();
    }
    VornFontSprite3DHandle font_ = VORN_INVALID_HANDLE;
};

}  // namespace

// The sets are the class's own (no 2D font sprite or sprite is started here), logged as the 2D
// class logs them under the 3D operation names.
TEST_F(FontSprite3D, GlyphSetsAreItsOwnWithTheFontSpriteLines)
{
    const VornFontSpriteRecord* r = VornFontSprite3D::GetRecord(font_);
    ASSERT_NE(nullptr, r);
    EXPECT_NAMED({"sprite 0 made", r->sprites[0] != VORN_INVALID_HANDLE, true}, {"sprite 1 (one sheet)", r->sprites[1], VORN_INVALID_HANDLE});

    LogCapture log;
    const std::vector<uint8_t> set = TwoGlyphSet();
    const uint8_t junk[8] = {'Q', 'X', 'X', 0};
    EXPECT_EQ(VORN_INVALID_HANDLE, VornFontSprite3D::CreateFromMemory(junk, 8, nullptr, 0, 96));
    EXPECT_EQ(1u, VornFontSprite3D::CreateFromMemory(set.data(), static_cast<uint32_t>(set.size()), nullptr, 0, 96));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornFontSprite3D::CreateFromFile("missing.qxt", nullptr, 0, 96));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornFontSprite3D::Create("A", 1, 96, VORN_INVALID_HANDLE, 0));
    const VornFontHandle font = VornFont::Create("ＭＳ ゴシック", 16, 0, 0);
    // Cells of 18: 4 bytes want 1296 pixels, a 64 x 64 sheet; A is held once.
    EXPECT_EQ(2u, VornFontSprite3D::Create("AあA", 1, 96, font, 1));
    const VornFontSpriteRecord* built = VornFontSprite3D::GetRecord(2);
    ASSERT_NE(nullptr, built);
    EXPECT_NAMED({"sheet width", built->sheetWidth, 64}, {"glyphs", built->glyphCount, 2}, {"sheet 0 made", built->sheets[0] != VORN_INVALID_HANDLE, true},
                 {"sprite 0 made", built->sprites[0] != VORN_INVALID_HANDLE, true});
    VornFontSprite3D::Finalize();

    // The bad file takes record 1 and gives it back to the good one.
    EXPECT_EQ(2, log.Count(Blue("VornFontSprite3D::CreateFromMemory") + " : [ No.1 ] : { "));
    for (const std::string& line : {Red("ＱＸＴファイルではありません"), " } FONT COUNT [ 2 ] : " + Green("SHEET COUNT [ 1 ] : "),
                                    Blue("VornFontSprite3D::CreateFromFile") + " : [ missing.qxt ] : " + Red("ファイルの読み込みに失敗しました"),
                                    Blue("VornFontSprite3D::Create") + Red(" : 無効なフォントハンドルです"),
                                    Blue("VornFontSprite3D::Create") + " : [ No.2 ] : { ", " } SHEET COUNT [ 1 ] : " + Green("Success"),
                                    Red("FontSprite Destroy [ No.0 ]"), Red("FontSprite Destroy [ No.1 ]"), Red("FontSprite Destroy [ No.2 ]")})
        EXPECT_EQ(1, log.Count(line)) << line;
    EXPECT_EQ(0, log.Count("VornFontSprite::")) << "no 2D font sprite lines";
    ASSERT_TRUE(VornFontSprite3D::Initialize());
    font_ = VORN_INVALID_HANDLE;
}

TEST_F(FontSprite3D, LayoutCentresLinesAdvancesOverMissingGlyphsAndScales)
{
    EXPECT_NAMED({"longest line of ab, tab cdef", VornFontSprite3D::GetLongestLine("ab\n\tcdef\n"), 8}, {"of nothing", VornFontSprite3D::GetLongestLine(""), 0});
    // "AZB": 3 bytes start 12 left of the centre; Z has no glyph and moves the pen half a size.
    float a[3], b[3];
    ASSERT_TRUE(Lay("AZB", 100, 16.0f, false, a, b));
    // The plane is seen from the posture's back: pen x runs to world -x about the position. A's x:
    // centre 100 - (1 - 12 + 5), plus half the 10 wide quad; its y: 18 / 2 + 8, plus half the 16 high
    // quad; B's x: centre 100 - (0 + 4 + 6), plus 6.
    EXPECT_NAMED({"A x", a[0], 111.0f}, {"A y", a[1], 25.0f}, {"B x", b[0], 96.0f}, {"A z", a[2], 0.0, 1e-5});
    // A line break lowers the pen by the font size, scaled.
    ASSERT_TRUE(Lay("A\nA", 0, 32.0f, false, a, b));
    EXPECT_NAMED({"second line x", b[0], a[0]}, {"second line y", b[1], a[1] - 32.0f});   // one font size, scaled by 2
    ASSERT_TRUE(Lay("AB", 0, 16.0f, true, a, b));
    // Centres 3 and -9 (the pen moved 10 + 1, the half widths 5 and 6); Q0 lies half a width towards +x.
    EXPECT_NAMED({"A x", a[0], 8.0f}, {"B x", b[0], -3.0f});
    VornPosture posture;
    VornFontSprite3D::DrawString(VORN_INVALID_HANDLE, "A", &posture, 16.0f, 0);
    VornFontSprite3D::DrawString(font_, nullptr, &posture, 16.0f, 0);
}
