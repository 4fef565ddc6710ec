// The QXT font data file and the code index, on plain bytes.
#include "EngineFixture.h"
#include "QxtTestFile.h"

using fonttest::QxtFile;

namespace {

QxtFile TwoSheetFile()
{
    QxtFile f;
    f.sheetNames = {"sheet0", "sheet1"};
    f.Add('A', 0, 0, 0, 1, 12, 2);
    f.Add(0x82A0, 1, 18, 36, 0, 18, 0);   // あ
    return f;
}

}  // namespace

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

TEST(QxtFile, GlyphsAreTwelveLittleEndianBytesAndTheWholeFileReadsBack)
{
    const VornFontGlyph g = {3, 1, 20, 2, 0x1234, 0x0102, 0x1248, 0x0116};
    uint8_t glyphBytes[12];
    VornQxtFormat::EncodeGlyph(glyphBytes, g);
    const uint8_t expected[12] = {3, 1, 20, 2, 0x34, 0x12, 0x02, 0x01, 0x48, 0x12, 0x16, 0x01};
    EXPECT_EQ(0, memcmp(expected, glyphBytes, 12));
    const VornFontGlyph back = VornQxtFormat::DecodeGlyph(glyphBytes);
    EXPECT_EQ(0, memcmp(&g, &back, sizeof g));

    const QxtFile f = TwoSheetFile();
    const std::vector<uint8_t> bytes = f.Bytes();
    ASSERT_EQ(VornQxtFormat::FileSize(2, 2), bytes.size());
    EXPECT_EQ(25700u + 64 + 24, bytes.size());
    VornQxtFormat::Header h = {};
    ASSERT_EQ(VornQxtFormat::OK, VornQxtFormat::Check(bytes.data(), bytes.size(), &h));
    EXPECT_EQ(std::make_tuple(16u, 2u, 64u, 64u, 2u),
              std::make_tuple(h.fontSize, h.sheetCount, h.sheetWidth, h.sheetHeight, h.glyphCount));
    EXPECT_STREQ("sheet1", VornQxtFormat::GetSheetName(bytes.data(), 1));
    std::vector<uint16_t> table(VORN_FONT_CODE_SLOTS);
    VornQxtFormat::ReadCodeTable(bytes.data(), table.data());
    EXPECT_EQ(f.codeToGlyph, table);
    VornFontGlyph glyphs[2];
    VornQxtFormat::ReadGlyphs(bytes.data(), 2, glyphs, 2);
    EXPECT_EQ(0, memcmp(f.glyphs.data(), glyphs, sizeof glyphs));
    // Bytes after the glyphs are allowed.
    std::vector<uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_EQ(VornQxtFormat::OK, VornQxtFormat::Check(longer.data(), longer.size(), &h));
}

// Every shorter length refused: the qxt fuzz target accepts no file shorter than its size, and the
// font sprite tests pin the cut files' log line.
TEST(QxtFile, DamagedFilesAreRefusedWithTheirReason)
{
    QxtFile sheets32, sheets33, missingSheet = TwoSheetFile(), beyondGlyphs = TwoSheetFile();
    for (int i = 0; i < 33; ++i) sheets33.sheetNames.push_back("s" + std::to_string(i));
    sheets32.sheetNames.assign(sheets33.sheetNames.begin(), sheets33.sheetNames.end() - 1);
    missingSheet.glyphs[1].sheet = 2;
    beyondGlyphs.codeToGlyph[VORN_FONT_CODE_SLOTS - 1] = 2;
    std::vector<uint8_t> otherMagic = TwoSheetFile().Bytes(), noTerminator = otherMagic, unterminatedMagic = otherMagic;
    otherMagic[2] = 'S';
    unterminatedMagic[3] = '!';   // the magic is compared with its terminator
    memset(noTerminator.data() + VornQxtFormat::NAMES_OFFSET + 32, 'x', 32);
    const struct {
        std::vector<uint8_t> bytes;
        VornQxtFormat::Result result;
    } cases[] = {{otherMagic, VornQxtFormat::NOT_QXT},
                 {unterminatedMagic, VornQxtFormat::NOT_QXT},
                 {sheets33.Bytes(), VornQxtFormat::TOO_MANY_SHEETS},
                 {sheets32.Bytes(), VornQxtFormat::OK},
                 {missingSheet.Bytes(), VornQxtFormat::BAD_GLYPH},
                 {beyondGlyphs.Bytes(), VornQxtFormat::BAD_CODE_TABLE},
                 {noTerminator, VornQxtFormat::BAD_NAME}};
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(cases[i].result, VornQxtFormat::Check(cases[i].bytes.data(), cases[i].bytes.size(), nullptr)) << i;
}
