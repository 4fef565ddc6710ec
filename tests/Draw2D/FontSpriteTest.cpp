// VornFontSprite on the engine's device: glyph sets built from a font, QXT files written by the
// test and loaded back, broken files, the two layouts and drawing through the sheet sprites.
#include "Draw2DFixture.h"
#include "QxtTestFile.h"

using namespace draw2dtest;

using fonttest::FontTest;
using fonttest::QxtFile;

namespace {

class FontSprite : public FontTest {
protected:
    // The glyph of a character in a set, or null.
    static const VornFontGlyph* Glyph(const VornFontSpriteRecord* r, uint16_t code)
    {
        const uint16_t slot = VornFontSprite::GetCodeIndex(code);
        if (slot == VORN_FONT_NO_GLYPH || r->codeToGlyph[slot] == VORN_FONT_NO_GLYPH) return nullptr;
        return &r->glyphs[r->codeToGlyph[slot]];
    }
    // The QXT image of a set.
    static std::vector<uint8_t> ToQxt(const VornFontSpriteRecord* r, const std::vector<std::string>& names)
    {
        return QxtFile{static_cast<uint8_t>(r->fontSize), static_cast<uint16_t>(r->sheetWidth), static_cast<uint16_t>(r->sheetHeight),
                       names, {r->codeToGlyph, r->codeToGlyph + VORN_FONT_CODE_SLOTS}, {r->glyphs, r->glyphs + r->glyphCount}}.Bytes();
    }
    // Draws through the sheet sprites with the texture's own colours and reads the frame.
    bool Render(VornFontSpriteHandle fs)
    {
        UseTextures();
        Draw<VornFontSprite>(fs);
        return Frame();
    }
};

// A set read from QXT bytes without sheet images.
VornFontSpriteHandle FromBytes(const std::vector<uint8_t>& bytes, uint32_t size = 16)
{
    return VornFontSprite::CreateFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr, 0, size, 0);
}

// The pixels of a glyph sheet (A8R8G8B8 or a 16-bit format with alpha) as words, rows of width.
std::vector<uint32_t> SheetPixels(VornTextureHandle sheet, uint32_t* width, uint32_t* height)
{
    const std::vector<uint32_t> out = VornTexture::GetFormat(sheet) == D3DFMT_A8R8G8B8 ? ReadTexture<uint32_t>(sheet, width)
                                                                                   : ReadTexture<uint16_t, uint32_t>(sheet, width);
    *height = *width ? static_cast<uint32_t>(out.size()) / *width : 0;
    return out;
}

// A small valid file: 'A' and あ on one sheet.
QxtFile SmallFile()
{
    QxtFile f;
    f.sheetNames = {"sheet0"};
    f.Add('A', 0, 0, 0, 1, 12, 2);
    f.Add(0x82A0, 0, 12, 0, 0, 18, 0);
    return f;
}

}  // namespace

TEST_F(FontSprite, RepeatedCharactersAreHeldOnceAndOneCharacterGivesA32Sheet)
{
    LogCapture log;
    const VornFontSpriteHandle fs = VornFontSprite::Create("あいあいAAい", 1, 64, small_, 0, 0);
    ASSERT_NE(kNone, fs);
    const VornFontSpriteRecord* r = VornFontSprite::GetRecord(fs);
    EXPECT_NAMED({"glyphs", r->glyphCount, 3u}, {"sheets", r->sheetCount, 1u}, {"font size", r->fontSize, 16u});
    // Each of the three characters has a glyph of its own.
    auto glyphOf = [r](uint16_t code) { return r->codeToGlyph[VornFontSprite::GetCodeIndex(code)]; };
    EXPECT_EQ((std::set<uint16_t>{0, 1, 2}), (std::set<uint16_t>{glyphOf(0x82A0), glyphOf(0x82A2), glyphOf('A')}));
    uint32_t a = 99, w = 99, c = 99;
    EXPECT_TRUE(VornFontSprite::GetCharInfo(fs, "あ", &a, &w, &c));
    VornFont::Begin(small_);
    EXPECT_EQ(Metrics(0x82A0, small_).abcB + 2, w);
    VornFont::End(small_);
    EXPECT_FALSE(VornFontSprite::GetCharInfo(fs, "う", nullptr, nullptr, nullptr)) << "a character without a glyph";
    EXPECT_FALSE(VornFontSprite::GetCharInfo(kNone, "あ", nullptr, nullptr, nullptr)) << "no set";
    VornFontSprite::Release(fs);
    EXPECT_NAMED({"released set", VornFontSprite::GetRecord(fs), nullptr}, {"its sheet", VornTexture::GetRecord(r->sheets[0]), nullptr});
    EXPECT_NE(std::string::npos, log.Text().find(" } SHEET COUNT [ 1 ] : " + vorntest::Green("Success")));

    // One character of 16 pixels: a 32 x 32 sheet, the cell at its corner, and the font writes into it.
    const VornFontSpriteHandle one = VornFontSprite::Create("A", 1, 16, small_, 0, 0);
    ASSERT_NE(kNone, one);
    r = VornFontSprite::GetRecord(one);
    const VornFontGlyph& g = r->glyphs[0];
    EXPECT_NAMED({"sheet width", r->sheetWidth, 32u}, {"sheet height", r->sheetHeight, 32u}, {"texture width", VornTexture::GetWidth(r->sheets[0]), 32u},
                 {"glyphs", r->glyphCount, 1u}, {"glyph sheet", int(g.sheet), 0}, {"left", g.left, 0}, {"top", g.top, 0}, {"right", g.right, g.cellWidth},
                 {"bottom", g.bottom, 18}, {"sprite made", r->sprites[0] != kNone, true}, {"second sheet", r->sheets[1], kNone},
                 {"second sprite", r->sprites[1], kNone}, {"the font's destination", VornFont::GetDestination(small_), r->sheets[0]});
}

// count distinct double-byte characters from 亜 on.
std::string Kanji(int count)
{
    std::string text;
    for (int lead = 0x88; count > 0; lead = lead == 0x9F ? 0xE0 : lead + 1)
        for (int trail = lead == 0x88 ? 0x9F : 0x40; trail <= 0xFC && count > 0; ++trail)
            if (trail != 0x7F) {
                text += static_cast<char>(lead);
                text += static_cast<char>(trail);
                --count;
            }
    return text;
}

// No two cells of a set overlap, and every cell lies on its sheet.
::testing::AssertionResult CellsApart(const VornFontSpriteRecord* r)
{
    for (uint32_t i = 0; i < r->glyphCount; ++i) {
        const VornFontGlyph& a = r->glyphs[i];
        if (a.sheet >= r->sheetCount || a.right > r->sheetWidth || a.bottom > r->sheetHeight)
            return ::testing::AssertionFailure() << "glyph " << i << " off its sheet";
        for (uint32_t j = i + 1; j < r->glyphCount; ++j) {
            const VornFontGlyph& b = r->glyphs[j];
            if (a.sheet == b.sheet && a.right > b.left && b.right > a.left && a.bottom > b.top && b.bottom > a.top)
                return ::testing::AssertionFailure() << "glyphs " << i << " and " << j << " overlap";
        }
    }
    return ::testing::AssertionSuccess();
}

TEST_F(FontSprite, CellsOfManyCharacterSetsStayApartAndUseMoreThanThirtyTwoLines)
{
    // 150 kanji of 18 x 18 cells: 97200 pixels, a 512 x 512 sheet. 4000 kanji: a 2048 x 2048 sheet
    // of 113 lines, of which more than 32 are filled.
    const struct {
        int count;
        uint32_t capacity, antialias, sheet, lowestAtLeast;
    } cases[] = {{150, 1024, 1, 512, 0}, {4000, 16, 0, 2048, 32 * 18}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.count) + " kanji");
        const VornFontSpriteHandle fs = VornFontSprite::Create(Kanji(c.count).c_str(), 1, c.capacity, small_, 0,
                                                               static_cast<uint8_t>(c.antialias));
        ASSERT_NE(kNone, fs);
        const VornFontSpriteRecord* r = VornFontSprite::GetRecord(fs);
        ASSERT_EQ(static_cast<uint32_t>(c.count), r->glyphCount);
        EXPECT_EQ(c.sheet, r->sheetWidth);
        uint32_t lowest = 0;
        for (uint32_t i = 0; i < r->glyphCount; ++i) lowest = std::max<uint32_t>(lowest, r->glyphs[i].top);
        EXPECT_GE(lowest, c.lowestAtLeast);
        EXPECT_TRUE(CellsApart(r));
        VornFontSprite::Release(fs);
    }
}

TEST_F(FontSprite, SheetHoldsThePaintedGlyphInItsCell)
{
    const VornFontSpriteHandle fs = VornFontSprite::Create("手", 1, 16, small_, 0, 1);
    ASSERT_NE(kNone, fs);
    const VornFontSpriteRecord* r = VornFontSprite::GetRecord(fs);
    const VornFontGlyph* g = Glyph(r, 0x8EE8);
    ASSERT_NE(nullptr, g);
    // Whatever the format with alpha chosen, ink has alpha and the rest is clear.
    uint32_t width = 0, height = 0;
    const std::vector<uint32_t> pixels = SheetPixels(r->sheets[0], &width, &height);
    ASSERT_EQ(width * height, pixels.size());
    int inside = 0, outside = 0;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            if (pixels[y * width + x]) ++(x > g->left && x < g->right && y > g->top && y < g->bottom ? inside : outside);
    EXPECT_EQ(std::make_pair(true, 0), std::make_pair(inside > 20, outside)) << inside;
}

TEST_F(FontSprite, FixedPitchAndProportionalPens)
{
    const VornFontSpriteHandle fs = VornFontSprite::Create("abあ", 1, 64, small_, 0, 0);
    ASSERT_NE(kNone, fs);
    uint32_t size = 0;
    VornFontSprite::GetFontSize(kNone, &size);
    EXPECT_EQ(0xFFFFFFFFu, size);

    auto end = [&](const char* text) { return VornFontSprite::GetStringEnd(fs, text, 10, 20); };
    // Half the size each; the whole size; no glyph: the whole size; space, tab, back step.
    const VornFontPen lines = end("ab\na"), none = VornFontSprite::GetStringEnd(kNone, "ab", 10, 20);
    EXPECT_NAMED({"ab", end("ab").x, 26}, {"あ", end("あ").x, 26}, {"う (no glyph)", end("う").x, 26}, {"space", end(" ").x, 18}, {"tab", end("\t").x, 74},
                 {"back step", end("\b").x, -6}, {"two lines x", lines.x, 18}, {"two lines y", lines.y, 36}, {"no set x", none.x, 10},
                 {"no set y", none.y, 20});

    uint32_t wa = 0, wb = 0;
    ASSERT_TRUE(VornFontSprite::GetCharInfo(fs, "a", nullptr, &wa, nullptr));
    ASSERT_TRUE(VornFontSprite::GetCharInfo(fs, "b", nullptr, &wb, nullptr));
    // Without a glyph the proportional pen moves half the size, measured as drawn.
    EXPECT_NAMED({"ab", VornFontSprite::GetStringEndProportional(fs, "ab", 10, 20).x, 10 + wa + 1 + wb + 1},
                 {"う (no glyph)", VornFontSprite::GetStringEndProportional(fs, "う", 10, 20).x, 18},
                 {"two lines y", VornFontSprite::GetStringEndProportional(fs, "a\nb", 10, 20).y, 36});
}

TEST_F(FontSprite, StringsDrawThroughTheSheetSpritesAsTheFontDrawsThem)
{
    const VornFontSpriteHandle fs = VornFontSprite::Create("手あA", 1, 256, small_, 0, 0);
    ASSERT_NE(kNone, fs);
    const VornFontGlyph* g = Glyph(VornFontSprite::GetRecord(fs), 0x8EE8);
    ASSERT_NE(nullptr, g);
    VornFontSprite::ResetBuffer(fs);
    const VornRect cell = {40, 40, static_cast<float>(g->right - g->left), static_cast<float>(g->bottom - g->top)};
    // The bytes each character takes; none for a character without a glyph or a set that is not there.
    auto bytes = [&](VornFontSpriteHandle h, const char* c) { return VornFontSprite::DrawChar(h, c, &cell, kDepth, 0xFFFFFFFF); };
    EXPECT_EQ((std::vector<uint32_t>{2, 1, 0, 0}), (std::vector<uint32_t>{bytes(fs, "手"), bytes(fs, "A"), bytes(fs, "う"), bytes(kNone, "手")}));
    // The font straight into the back buffer, at the ink corner of the same cell.
    VornFont::SetDestination(small_, kNone);
    VornFont::Begin(small_);
    VornFont::DrawChar(small_, 41, 41, 0xFFFFFFFF, 0x8EE8);
    VornFont::End(small_);
    ASSERT_TRUE(Frame());
    const vorntest::Readback font = frame_;

    ASSERT_TRUE(NewScene());
    VornFontSprite::ResetBuffer(fs);   // keep only what follows
    VornFontSprite::DrawChar(fs, "手", &cell, kDepth, 0xFFFFFFFF);
    VornFontSprite::DrawString(fs, "手あA", 20, 120, kDepth, 0xFFFFFFFF);
    ASSERT_TRUE(Render(fs));
    const int ink = 40 * 40 - font.Count(30, 30, 70, 70, 0);
    int differ = 0;
    for (int y = 30; y < 70; ++y)
        for (int x = 30; x < 70; ++x) differ += font.Rgb(x, y) != frame_.Rgb(x, y);
    EXPECT_EQ(std::make_pair(true, 0), std::make_pair(ink > 20, differ)) << ink;
    // The string: ink in each character's advance on its line, nothing elsewhere below the cell.
    EXPECT_TRUE(Ink(20, 120, 36, 138) > 20 && Ink(36, 120, 52, 138) > 20 && Ink(52, 120, 64, 138) > 5)
        << Ink(20, 120, 36, 138) << " " << Ink(36, 120, 52, 138) << " " << Ink(52, 120, 64, 138);
    EXPECT_EQ(Ink(0, 0, 256, 256), Ink(30, 30, 70, 70) + Ink(0, 120, 256, 138));
}

TEST_F(FontSprite, QxtFileWrittenByTheTestLoadsBack)
{
    const VornFontSpriteHandle made = VornFontSprite::Create("手あA", 1, 64, small_, 0, 0);
    ASSERT_NE(kNone, made);
    const VornFontSpriteRecord* m = VornFontSprite::GetRecord(made);
    // The sheet as a 24-bit image (the glyphs were painted white on clear black).
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> pixels = SheetPixels(m->sheets[0], &width, &height);
    ASSERT_EQ(width * height, pixels.size());
    for (uint32_t& p : pixels) p = p ? 0xFFFFFF : 0;
    UseFiles({{"fsheet0.bmp", MakeBmp(static_cast<int>(width), static_cast<int>(height), pixels)},
              {"glyphs.qxt", ToQxt(m, {"fsheet0"})}});

    LogCapture log;
    const VornFontSpriteHandle loaded = VornFontSprite::CreateFromFile("glyphs.qxt", ".bmp", 1, 64, 0);
    ASSERT_NE(kNone, loaded);
    const VornFontSpriteRecord* l = VornFontSprite::GetRecord(loaded);
    EXPECT_NAMED({"font size", l->fontSize, m->fontSize}, {"sheets", l->sheetCount, 1u}, {"sheet width", l->sheetWidth, m->sheetWidth},
                 {"sheet height", l->sheetHeight, m->sheetHeight}, {"second sheet", l->sheets[1], kNone});
    ASSERT_EQ(m->glyphCount, l->glyphCount);
    EXPECT_BYTES_EQ(m->codeToGlyph, l->codeToGlyph, sizeof m->codeToGlyph);
    EXPECT_BYTES_EQ(m->glyphs, l->glyphs, m->glyphCount * sizeof(VornFontGlyph));
    EXPECT_NE(std::string::npos,
              log.Text().find(" } FONT COUNT [ 3 ] : " + vorntest::Green("SHEET COUNT [ 1 ] : ")));

    // Both sets draw the same pixels: the loaded sheet and its sprite are there.
    const VornRect at = {30, 30, 20, 20}, at2 = {130, 30, 20, 20};
    VornFontSprite::ResetBuffer(made);
    VornFontSprite::ResetBuffer(loaded);
    VornFontSprite::DrawChar(made, "手", &at, kDepth, 0xFFFFFFFF);
    VornFontSprite::DrawChar(loaded, "手", &at2, kDepth, 0xFFFFFFFF);
    UseTextures();
    Draw<VornFontSprite>(made);
    ASSERT_TRUE(Render(loaded));
    EXPECT_GT(Ink(30, 30, 50, 50), 20);
    for (int y = 30; y < 50; ++y)
        for (int x = 30; x < 50; ++x) ASSERT_EQ(frame_.Hex(x, y), frame_.Hex(x + 100, y)) << "made at " << x << "," << y << ", loaded 100 right";
}

TEST_F(FontSprite, BadMagicAndMalformedFilesFailCleanlyAndAGoodFileLoadsWithoutSheets)
{
    LogCapture log;
    const std::vector<uint8_t> good = SmallFile().Bytes();
    std::vector<uint8_t> badMagic = good, openMagic = good, openName = good, longer = good;
    badMagic[0] = 'P';
    openMagic[3] = '!';   // the magic is compared with its terminator
    memset(openName.data() + VornQxtFormat::NAMES_OFFSET, 'x', VornQxtFormat::NAME_SIZE);
    longer.push_back(0);
    QxtFile many, badSheet = SmallFile(), badCode = SmallFile();
    for (int i = 0; i < 33; ++i) many.sheetNames.push_back("s" + std::to_string(i));
    badSheet.glyphs[1].sheet = 1;   // a sheet the file does not have
    badCode.codeToGlyph[VORN_FONT_CODE_SLOTS - 1] = 2;   // a glyph the file does not have
    // Other magics, cuts of the file, 33 sheets, a bad sheet, a code beyond the glyphs, a name without end.
    for (const std::vector<uint8_t>& bytes :
         {badMagic, openMagic, std::vector<uint8_t>(good.begin(), good.begin() + 3),
          std::vector<uint8_t>(good.begin(), good.begin() + 25699), std::vector<uint8_t>(good.begin(), good.end() - 1),
          many.Bytes(), badSheet.Bytes(), badCode.Bytes(), openName})
        EXPECT_EQ(kNone, FromBytes(bytes)) << "case of " << bytes.size() << " bytes";
    EXPECT_EQ(kNone, VornFontSprite::CreateFromFile("missing.qxt", nullptr, 0, 16, 0));
    many.sheetNames.pop_back();   // 32 sheets are allowed
    ASSERT_EQ(0u, FromBytes(many.Bytes()));
    VornFontSprite::Release(0);
    // No record was kept: the next good file (bytes after its glyphs allowed) takes the first one.
    // Without a sheet source only the glyph data loads.
    ASSERT_EQ(0u, FromBytes(longer));
    const VornFontSpriteRecord* r = VornFontSprite::GetRecord(0);
    uint32_t a = 0, w = 0, c = 0;
    EXPECT_TRUE(VornFontSprite::GetCharInfo(0, "A", &a, &w, &c));
    EXPECT_NAMED({"glyphs", r->glyphCount, 2u}, {"sheet", r->sheets[0], kNone}, {"sprite made", r->sprites[0] != kNone, true},
                 {"A's a", a, 1u}, {"width", w, 12u}, {"c", c, 2u});

    EXPECT_NAMED({"too many sheets", log.Count(Red("シート数が32を超えました")), 1},
                 {"not QXT (the magics, 3 bytes)", log.Count(Red("ＱＸＴファイルではありません")), 3},
                 {"broken", log.Count(Red("ＱＸＴファイルが壊れています")), 5}, {"not read", log.Count(Red("ファイルの読み込みに失敗しました")), 1});
}

TEST_F(FontSprite, CreateRefusesBadFontsAndAFullTable)
{
    LogCapture log;
    EXPECT_EQ(kNone, VornFontSprite::Create("A", 1, 16, kNone, 0, 0));
    const VornFontHandle huge = VornFont::Create(fonttest::kFace, 129, 0, 0);
    ASSERT_NE(kNone, huge);
    EXPECT_EQ(kNone, VornFontSprite::Create("A", 1, 16, huge, 0, 0));

    const std::vector<uint8_t> good = SmallFile().Bytes();
    for (uint32_t i = 0; i < VornFontSprite::TABLE_SIZE; ++i) ASSERT_EQ(i, FromBytes(good, 8));
    EXPECT_EQ(kNone, FromBytes(good, 8));
    EXPECT_EQ(kNone, VornFontSprite::Create("A", 1, 16, small_, 0, 0));
    // Finalize releases every set still alive.
    VornFontSprite::Finalize();
    const std::string text = log.Text();
    EXPECT_TRUE(HasAll(text, {Red(" : 無効なフォントハンドルです"), Red(" : フォントサイズがでかすぎます")}));
    EXPECT_NAMED({"full table", log.Count(Red(" : 空きフォントスプライトが見つかりませんでした")), 2},
                 {"the last set destroyed", log.Count(Red("FontSprite Destroy [ No.31 ]")), 1});
    ASSERT_TRUE(VornFontSprite::Initialize());
}

TEST_F(FontSprite, NegativeBearingsAreKeptAsZero)
{
    // A face and character whose A or C width is negative.
    char text[2] = {};
    ABC abc = {};
    VornFontHandle italic = kNone;
    for (const char* face : {"ＭＳ ゴシック", "Tahoma", "Times New Roman", "Courier New", "Symbol"}) {
        italic = VornFont::Create(face, 48, 1, 1);
        ASSERT_NE(kNone, italic) << face;
        VornFont::Begin(italic);
        for (int c = 0x21; c < 0x7F && !text[0]; ++c) {
            abc = Metrics(static_cast<uint16_t>(c), italic);
            if (abc.abcA < 0 || abc.abcC < 0) text[0] = static_cast<char>(c);
        }
        VornFont::End(italic);
        if (text[0]) break;
        VornFont::Release(italic);
        italic = kNone;
    }
    if (!text[0]) GTEST_SKIP() << "no negative bearings in this face";
    const VornFontSpriteHandle fs = VornFontSprite::Create(text, 1, 16, italic, 0, 0);
    ASSERT_NE(kNone, fs);
    uint32_t a = 999, c = 999;
    ASSERT_TRUE(VornFontSprite::GetCharInfo(fs, text, &a, nullptr, &c));
    SCOPED_TRACE(text);
    EXPECT_NAMED({"a", a, std::max(abc.abcA, 0)}, {"c", c, std::max(abc.abcC, 0)});
}
