// VornFont on the engine's device: glyphs written into the back buffer and into textures of each
// pixel format, anti-aliasing, the text layout and its control codes, clipping, Japanese text.
// Glyph shapes come from the installed Japanese font: the tests check relations, not shapes.
#include "Draw2DFixture.h"

using namespace draw2dtest;

using fonttest::FontTest;

namespace {

// An empty texture of exactly this format, filled with fill; none when the device has no such format.
VornTextureHandle ExactTexture(D3DFORMAT format, uint32_t size, D3DCOLOR fill)
{
    const VornTextureHandle t = VornTexture::Create(size, size, VORN_FORMAT_EXACT | format);
    if (t != VORN_INVALID_HANDLE && VornTexture::GetFormat(t) != format) {
        VornTexture::Release(t);
        return VORN_INVALID_HANDLE;
    }
    if (t != VORN_INVALID_HANDLE) VornTexture::ColorFill(t, fill);
    return t;
}

}  // namespace

TEST_F(FontTest, CreateLogsFaceAndSizeReleaseForgetsItAndFinalizeLogsEveryFontAlive)
{
    LogCapture log;
    const VornFontHandle bold = VornFont::Create(fonttest::kFace, 16, 1, 1);
    ASSERT_NE(kNone, bold);
    VornFont::Release(bold);
    EXPECT_NAMED({"size of the released font", VornFont::GetSize(bold), 0u}, {"size of none", VornFont::GetSize(kNone), 0u},
                 {"width with none", VornFont::GetTextWidth(kNone, "A"), 0u}, {"drawn with none", VornFont::DrawText(kNone, 0, 0, 0xFFFFFFFF, "A"), 0u});
    VornFont::Finalize();
    const std::string destroy = "Font Destroy [ No." + std::to_string(font_) + " ]";
    font_ = kNone;
    const std::string text = log.Text();
    EXPECT_TRUE(HasAll(text, {" FONT FACE [ ＭＳ ゴシック ] : FONT SIZE [ 16 ] : ", Green("Success"), Red("VornFont::Release")}));
    EXPECT_NAMED({"the 24-pixel font's line", log.Count(vorntest::Red(destroy)), 1}, {"lines with the 16-pixel one", log.Count("Font Destroy"), 2});
    ASSERT_TRUE(VornFont::Initialize());
}

TEST_F(FontTest, JapaneseCaptionHasInkInEveryCharacterCell)
{
    const char* caption = "順調な日々…しかし";
    VornFont::Begin(font_);
    const VornFontRecord* r = VornFont::GetRecord(font_);
    EXPECT_EQ(SHIFTJIS_CHARSET, r->metrics.tmCharSet);
    EXPECT_NEAR(24, r->metrics.tmHeight, 2);
    const uint32_t advance = VornFont::DrawText(font_, 0, 20, 0xFFFFFFFF, "%s", caption);
    // The cells of the characters, walked as the layout walks them.
    std::vector<std::pair<int, int>> cells;
    int32_t pen = 0;
    for (const uint8_t* p = reinterpret_cast<const uint8_t*>(caption); *p;) {
        uint16_t code;
        p += VornSystem::ReadSjisChar(p, &code);
        const ABC abc = Metrics(code);
        pen += abc.abcA;
        cells.push_back({pen, pen + static_cast<int32_t>(abc.abcB)});
        pen += abc.abcB + abc.abcC;
    }
    const int32_t h = Height();
    VornFont::End(font_);
    EXPECT_EQ(nullptr, VornFont::GetRecord(font_)->dc);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(static_cast<uint32_t>(pen), advance);
    ASSERT_EQ(9u, cells.size());
    for (size_t i = 0; i < cells.size(); ++i)
        EXPECT_GE(Ink(cells[i].first, 20, cells[i].second, 20 + h), i == 5 ? 3 : 20) << "character " << i;
    // Real glyphs, not one box for all: the two し (cells 6 and 8) look alike, and unlike か (cell 7).
    auto bitmap = [&](size_t i) {
        std::string bits;
        for (int y = 20; y < 20 + h; ++y)
            for (int x = cells[i].first; x < cells[i].second; ++x) bits += frame_.Rgb(x, y) ? '#' : '.';
        return bits;
    };
    EXPECT_EQ(bitmap(6), bitmap(8));
    EXPECT_NE(bitmap(6), bitmap(7));
}

TEST_F(FontTest, LayoutOfLinesTabsBackStepsAndControlCodes)
{
    VornFont::Begin(font_);
    const int32_t h = Height();
    ASSERT_GT(h, 0);
    const ABC a = Metrics('A'), b = Metrics('B'), tab = Metrics(9), back = Metrics(8), two = Metrics(2),
              space = Metrics(0x8140);
    const int32_t widthA = a.abcA + static_cast<int32_t>(a.abcB) + a.abcC;
    const int32_t widthB = b.abcA + static_cast<int32_t>(b.abcB) + b.abcC;

    // After a line break (its A width comes before it) the width starts again; a tab, a back step,
    // code 2 and the full-width space move by their A width and four, minus one, a half and one line height.
    const std::pair<const char*, int32_t> widths[] = {{"AB", widthA + widthB}, {"AB\n", 0}, {"\t", tab.abcA + 4 * h},
        {"A\b", widthA + back.abcA - h}, {"\x02", two.abcA + h / 2}, {"　", space.abcA + h}};
    for (const auto& w : widths) EXPECT_EQ(static_cast<uint32_t>(w.second), VornFont::GetTextWidth(font_, w.first)) << w.first;
    // Several lines measure the last line only.
    EXPECT_EQ(VornFont::GetTextWidth(font_, "C"), VornFont::GetTextWidth(font_, "AB\nC"));

    // Drawing returns what measuring gives; the packed layout advances by B alone.
    EXPECT_EQ(VornFont::GetTextWidth(font_, "AB\nC"), VornFont::DrawText(font_, 10, 10, 0xFFFFFFFF, "AB\nC"));
    EXPECT_EQ(a.abcB + b.abcB, VornFont::DrawTextPacked(font_, 10, 100, 0xFFFFFFFF, "AB"));
    EXPECT_EQ(static_cast<uint32_t>(4 * h + static_cast<int32_t>(a.abcB)),
              VornFont::DrawTextPacked(font_, 10, 150, 0xFFFFFFFF, "\tA"));
    VornFont::End(font_);
    ASSERT_TRUE(Frame());
    // The second line starts again at the start x, one line height down.
    EXPECT_GT(Ink(10, 10 + h, 10 + widthB, 10 + 2 * h), 10);
}

TEST_F(FontTest, GlyphsOutsideTheTargetAdvanceThePenAndDrawNothing)
{
    VornFont::Begin(font_);
    const uint32_t width = VornFont::GetTextWidth(font_, "ABCあい");
    const int32_t outside[][2] = {{1000, 10}, {-1000, 10}, {10, 5000}, {10, -5000}};
    for (const auto& at : outside) EXPECT_EQ(width, VornFont::DrawText(font_, at[0], at[1], 0xFFFFFFFF, "ABCあい")) << at[0] << "," << at[1];
    // A text that starts outside and runs in is drawn from where it enters.
    const uint32_t partial = VornFont::DrawText(font_, -static_cast<int32_t>(VornFont::GetTextWidth(font_, "ABC")),
                                                100, 0xFFFFFFFF, "ABCあい");
    VornFont::End(font_);
    EXPECT_EQ(width, partial);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(std::make_pair(0, true), std::make_pair(Ink(0, 0, 256, 90), Ink(0, 90, 256, 140) > 50));
}

TEST_F(FontTest, OverhangingGlyphShowsItsVisiblePart)
{
    VornFont::Begin(font_);
    VornFont::DrawChar(font_, -7, -9, 0xFFFFFFFF, 0x8EE8);   // 手, cut at the top-left corner
    VornFont::DrawChar(font_, 100, 100, 0xFFFFFFFF, 0x8EE8);
    VornFont::End(font_);
    ASSERT_TRUE(Frame());
    EXPECT_GT(Ink(0, 0, 40, 40), 10);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(frame_.Hex(x + 107, y + 109), frame_.Hex(x, y)) << "cut glyph at " << x << "," << y;
}

TEST_F(FontTest, AntialiasedTextWritesTheBlackBoxWithCoverageAlpha)
{
    const VornTextureHandle t = ExactTexture(D3DFMT_A8R8G8B8, 64, 0xFF102030);
    ASSERT_NE(kNone, t);
    VornFont::SetDestination(font_, t);
    VornFont::Begin(font_);
    const VornFontRecord* r = VornFont::GetRecord(font_);
    const uint16_t code = 0x8EE8;   // 手
    VornFont::DrawCharAntialias(font_, 8, 4, 0x80FFEEDD, code);
    // The same glyph fetched by the test.
    GLYPHMETRICS gm;
    std::vector<uint8_t> grey(r->glyphBufferSize);
    const uint32_t bytes = VornFont::GetGlyph(r->dc, code, &gm, grey.data(), r->glyphBufferSize, 1);
    const int32_t top = 4 + r->metrics.tmAscent - gm.gmptGlyphOrigin.y;
    VornFont::End(font_);
    ASSERT_GT(bytes, 0u);
    const uint32_t pitch = (bytes / gm.gmBlackBoxY) & ~3u;

    uint32_t width = 0;
    const std::vector<uint32_t> pixels = ReadTexture<uint32_t>(t, &width);
    ASSERT_EQ(64u * 64u, pixels.size());
    const uint8_t* table = VornFont::GetCoverageTable();
    int partial = 0, opaque = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const uint32_t p = pixels[y * width + x];
            const int gx = x - 8, gy = y - top;
            if (gx >= 0 && gx < static_cast<int>(gm.gmBlackBoxX) && gy >= 0 && gy < static_cast<int>(gm.gmBlackBoxY)) {
                const uint8_t alpha = table[grey[gy * pitch + gx]];
                ASSERT_EQ(Argb{0xFFEEDDu | static_cast<uint32_t>(alpha) << 24}, Argb{p}) << "black box at " << x << "," << y;
                partial += alpha > 0 && alpha < 255;
                opaque += alpha == 255;
            } else {
                ASSERT_EQ(Argb{0xFF102030}, Argb{p}) << "around the black box at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(std::min(partial, opaque), 10);
}

// One-bit text has exactly the two colours, also when drawn antialiased into the back buffer.
TEST_F(FontTest, AntialiasedTextIntoTheBackBufferIsThePlainText)
{
    VornFont::Begin(font_);
    EXPECT_EQ(0, VornFont::GetRecord(font_)->destinationHasAlpha);
    const uint32_t a = VornFont::DrawTextAntialias(font_, 4, 4, 0xFF40C080, "Vorn 123 あいう漢字%d", 7);
    const uint32_t b = VornFont::DrawTextPackedAntialias(font_, 4, 40, 0xFF40C080, "Wあ%d", 7);
    VornFont::End(font_);
    ASSERT_TRUE(Frame());
    vorntest::Readback antialiased = frame_;

    ASSERT_TRUE(NewScene());
    VornFont::Begin(font_);
    EXPECT_EQ(a, VornFont::DrawText(font_, 4, 4, 0xFF40C080, "Vorn 123 あいう漢字%d", 7));
    EXPECT_EQ(b, VornFont::DrawTextPacked(font_, 4, 40, 0xFF40C080, "Wあ%d", 7));
    VornFont::End(font_);
    ASSERT_TRUE(Frame());
    EXPECT_GT(a, 150u);
    // Exactly the two colours above y 80, nothing below.
    const int ink = frame_.Count(0, 0, 256, 80, 0x40C080);
    EXPECT_TRUE(ink < 256 * 80 && ink + frame_.Count(0, 0, 256, 80, 0) == 256 * 80) << ink;
    EXPECT_EQ(std::make_pair(true, 0), std::make_pair(frame_.Count(0, 0, 256, 40, 0x40C080) > 200, Ink(0, 80, 256, 256)));
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 256; ++x) ASSERT_EQ(frame_.Hex(x, y), antialiased.Hex(x, y)) << "antialiased at " << x << "," << y;
}

TEST_F(FontTest, SixteenBitFormatsGetTheirOwnPixelsAnd4444TakesCoverageNibbles)
{
    const struct {
        D3DFORMAT format;
        uint16_t pixel;   // of the colour 0x80FF8040: alpha full whatever the colour's
    } cases[] = {{D3DFMT_R5G6B5, 0xFC08}, {D3DFMT_X1R5G5B5, 0xFE08}, {D3DFMT_A1R5G5B5, 0xFE08}, {D3DFMT_A4R4G4B4, 0xFF84}};
    int tried = 0;
    auto hex = [](const std::set<uint16_t>& words) { return Hex(std::vector<uint32_t>(words.begin(), words.end())); };
    for (const auto& c : cases) {
        SCOPED_TRACE(Vorn3D::GetFormatName(c.format));
        const VornTextureHandle t = ExactTexture(c.format, 32, 0xFF204060);
        if (t == kNone) continue;
        ++tried;
        const uint16_t fill = ReadTexture<uint16_t>(t).at(0);
        VornFont::SetDestination(font_, t);
        VornFont::Begin(font_);
        VornFont::DrawChar(font_, 2, 2, 0x80FF8040, 'W');
        VornFont::End(font_);
        std::vector<uint16_t> pixels = ReadTexture<uint16_t>(t);
        // Ink in the colour, and every other pixel as it was.
        EXPECT_EQ(hex({fill, c.pixel}), hex(std::set<uint16_t>(pixels.begin(), pixels.end())));
        if (c.format == D3DFMT_A4R4G4B4) {
            VornTexture::ColorFill(t, 0xFFFFFFFF);
            VornFont::Begin(font_);
            VornFont::DrawTextAntialias(font_, 2, 2, 0xFFFF8040, "W");
            VornFont::End(font_);
            pixels = ReadTexture<uint16_t>(t);
            std::set<uint16_t> alphas;
            for (uint16_t p : pixels) {
                if (p == 0xFFFF) continue;   // outside the black box
                EXPECT_EQ(Argb{0x0F84}, Argb{p & 0x0FFFu}) << "colour of a pixel of alpha " << (p >> 12);
                alphas.insert(p >> 12);
            }
            EXPECT_NAMED({"pixels of alpha 0", alphas.count(0), 1u}, {"of alpha 15", alphas.count(15), 1u});
            EXPECT_GE(alphas.size(), 4u) << "alphas";
        }
    }
    EXPECT_GE(tried, 2);
}

// Mended: a back buffer another caller holds locked is not drawn into, and that lock stays.
TEST_F(FontTest, GlyphsWithoutInkAndALockedDestinationLeaveTheTargetUntouched)
{
    const VornTextureHandle t = ExactTexture(D3DFMT_A8R8G8B8, 32, 0xFF808080);
    ASSERT_NE(kNone, t);
    VornFont::SetDestination(font_, t);
    VornFont::Begin(font_);
    const VornFontRecord* r = VornFont::GetRecord(font_);
    GLYPHMETRICS gm;
    std::vector<uint8_t> buffer(r->glyphBufferSize);
    EXPECT_EQ(0u, VornFont::GetGlyph(r->dc, ' ', &gm, buffer.data(), r->glyphBufferSize, 1));
    VornFont::DrawCharAntialias(font_, 2, 2, 0xFFFFFFFF, ' ');
    VornFont::DrawChar(font_, 2, 2, 0xFFFFFFFF, ' ');
    EXPECT_GT(VornFont::DrawTextAntialias(font_, 2, 2, 0xFFFFFFFF, "  "), 0u);
    void* bits;
    int32_t pitch;
    ASSERT_TRUE(VornTexture::Lock(t, &bits, &pitch, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, VornFont::DrawText(font_, 2, 2, 0xFFFFFFFF, "W"));
    VornFont::DrawChar(font_, 2, 2, 0xFFFFFFFF, 'W');
    VornTexture::Unlock(t);
    EXPECT_GT(VornFont::GetTextWidth(font_, "W"), 0u);
    EXPECT_EQ(std::vector<Argb>(32 * 32, Argb{0xFF808080}), Hex(ReadTexture<uint32_t>(t)));
    VornFont::SetDestination(font_, kNone);

    void* outer = nullptr;
    ASSERT_TRUE(Vorn3D::LockBackBuffer(&outer, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, VornFont::DrawText(font_, 2, 2, 0xFFFFFFFF, "W"));
    VornFont::DrawChar(font_, 40, 2, 0xFFFFFFFF, 'W');
    void* inner = nullptr;
    EXPECT_TRUE(Vorn3D::LockBackBuffer(&inner, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(nullptr, inner);   // still held by the outer lock
    Vorn3D::UnlockBackBuffer();
    Vorn3D::UnlockBackBuffer();
    VornFont::End(font_);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(0, Ink(0, 0, draw2dtest::kSize, draw2dtest::kSize));
}

TEST_F(FontTest, GlyphLargerThanTheBufferIsRefused)
{
    VornFont::Begin(font_);
    const VornFontRecord* r = VornFont::GetRecord(font_);
    EXPECT_EQ(48u * 48u, r->glyphBufferSize);
    GLYPHMETRICS gm;
    std::vector<uint8_t> buffer(r->glyphBufferSize, 0xAB);
    const uint32_t need = VornFont::GetGlyph(r->dc, 0x8EE8, &gm, buffer.data(), r->glyphBufferSize, 1);
    ASSERT_GT(need, 16u);
    std::vector<uint8_t> small(need + 16, 0xAB);
    EXPECT_EQ(0u, VornFont::GetGlyph(r->dc, 0x8EE8, &gm, small.data(), need - 1, 1));
    EXPECT_EQ(std::vector<uint8_t>(need + 16, 0xAB), small);
    EXPECT_EQ(need, VornFont::GetGlyph(r->dc, 0x8EE8, &gm, small.data(), need, 1));
    EXPECT_EQ(0xAB, small[need]);
    EXPECT_EQ(0u, VornFont::GetGlyph(r->dc, 0x8EE8, &gm, nullptr, 0, 1));
    VornFont::End(font_);
}

TEST_F(FontTest, FormattedTextIsCutAtTheBuffer)
{
    const std::string longText(3000, 'i');
    VornFont::Begin(font_);
    const uint32_t cut = VornFont::GetTextWidth(font_, "%s", longText.substr(0, VornFont::TEXT_BUFFER_SIZE - 1).c_str());
    EXPECT_EQ(cut, VornFont::GetTextWidth(font_, "%s", longText.c_str())) << "measured";
    EXPECT_EQ(cut, VornFont::DrawText(font_, 0, 0, 0xFFFFFFFF, "%s", longText.c_str())) << "drawn";
    EXPECT_GT(cut, VornFont::GetTextWidth(font_, "%s", longText.substr(0, 1000).c_str()));
    // A cut never leaves half a double-byte character behind.
    std::string pairs;
    for (int i = 0; i < 600; ++i) pairs += "あ";
    const uint32_t whole = VornFont::GetTextWidth(font_, "%s", pairs.substr(0, 1022).c_str());
    EXPECT_EQ(whole, VornFont::GetTextWidth(font_, "%s", pairs.c_str()));
    VornFont::End(font_);
}
