// The code index and the glyph bytes of the QXT font data file (whole files are read back, and
// every refusal met, by the font sprite tests; the qxt fuzz target checks what an accepted file holds).
#include "EngineFixture.h"
#include "VornQxtFormat.h"

TEST(QxtCodeIndex, PinnedCodesSharedSlotsAndEveryCodeInsideTheTable)
{
    const uint16_t pinned[][2] = {{0x41, 0x41},     {0xFF, 0xFF},     {0x8140, 255},   {0x9FFC, 8123},
                                  {0xE040, 8126},   {0xEEFC, 11898},  {0xF040, 9757},  {0xFA40, 12317},
                                  {0xFC4B, 12840},  {0xFC4E, 12843},
                                  // 0xFC4F packs to 12844, the first slot beyond the table.
                                  {0xFC4F, VORN_FONT_NO_GLYPH}, {0x8040, VORN_FONT_NO_GLYPH},
                                  {0xFC50, VORN_FONT_NO_GLYPH}, {0xFFFF, VORN_FONT_NO_GLYPH}};
    for (const auto& p : pinned) EXPECT_EQ(p[1], VornQxtFormat::GetCodeIndex(p[0])) << std::hex << p[0];
    EXPECT_EQ(VornQxtFormat::GetCodeIndex(0xE69F), VornQxtFormat::GetCodeIndex(0xF040));   // overlapping ranges
    EXPECT_EQ(VornQxtFormat::GetCodeIndex(0xE55F), VornQxtFormat::GetCodeIndex(0xEF00));
    // Every code lands inside the table or on no glyph: the qxt fuzz target's check.
}

TEST(QxtFile, GlyphsAreTwelveLittleEndianBytes)
{
    const VornFontGlyph g = {3, 1, 20, 2, 0x1234, 0x0102, 0x1248, 0x0116};
    uint8_t glyphBytes[12];
    VornQxtFormat::EncodeGlyph(glyphBytes, g);
    const uint8_t expected[12] = {3, 1, 20, 2, 0x34, 0x12, 0x02, 0x01, 0x48, 0x12, 0x16, 0x01};
    EXPECT_EQ(0, memcmp(expected, glyphBytes, 12));
    const VornFontGlyph back = VornQxtFormat::DecodeGlyph(glyphBytes);
    EXPECT_EQ(0, memcmp(&g, &back, sizeof g));
}

