// The QXT font data file and the code index, on plain bytes.
#include "QxtTestFile.h"
#include "VornQxtFormat.h"
#include <gtest/gtest.h>

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

TEST(QxtCodeIndex, PinnedCodes)
{
    EXPECT_EQ(0x41, VornQxtFormat::GetCodeIndex(0x41));
    EXPECT_EQ(0xFF, VornQxtFormat::GetCodeIndex(0xFF));
    EXPECT_EQ(255, VornQxtFormat::GetCodeIndex(0x8140));
    EXPECT_EQ(8123, VornQxtFormat::GetCodeIndex(0x9FFC));
    EXPECT_EQ(8126, VornQxtFormat::GetCodeIndex(0xE040));
    EXPECT_EQ(11898, VornQxtFormat::GetCodeIndex(0xEEFC));
    EXPECT_EQ(9757, VornQxtFormat::GetCodeIndex(0xF040));
    EXPECT_EQ(12317, VornQxtFormat::GetCodeIndex(0xFA40));
    EXPECT_EQ(12840, VornQxtFormat::GetCodeIndex(0xFC4B));
    EXPECT_EQ(12843, VornQxtFormat::GetCodeIndex(0xFC4E));
    // 0xFC4F packs to 12844, the first slot beyond the table.
    EXPECT_EQ(VORN_FONT_NO_GLYPH, VornQxtFormat::GetCodeIndex(0xFC4F));
    EXPECT_EQ(VORN_FONT_NO_GLYPH, VornQxtFormat::GetCodeIndex(0x8040));
    EXPECT_EQ(VORN_FONT_NO_GLYPH, VornQxtFormat::GetCodeIndex(0xFC50));
    EXPECT_EQ(VORN_FONT_NO_GLYPH, VornQxtFormat::GetCodeIndex(0xFFFF));
}

TEST(QxtCodeIndex, OverlappingRangesShareSlots)
{
    EXPECT_EQ(VornQxtFormat::GetCodeIndex(0xE69F), VornQxtFormat::GetCodeIndex(0xF040));
    EXPECT_EQ(VornQxtFormat::GetCodeIndex(0xE55F), VornQxtFormat::GetCodeIndex(0xEF00));
}

TEST(QxtCodeIndex, EveryCodeStaysInsideTheTable)
{
    for (uint32_t code = 0; code <= 0xFFFF; ++code) {
        const uint16_t slot = VornQxtFormat::GetCodeIndex(static_cast<uint16_t>(code));
        ASSERT_TRUE(slot == VORN_FONT_NO_GLYPH || slot < VORN_FONT_CODE_SLOTS) << std::hex << code;
    }
}

TEST(QxtGlyph, TwelveLittleEndianBytes)
{
    const VornFontGlyph g = {3, 1, 20, 2, 0x1234, 0x0102, 0x1248, 0x0116};
    uint8_t bytes[12];
    VornQxtFormat::EncodeGlyph(bytes, g);
    const uint8_t expected[12] = {3, 1, 20, 2, 0x34, 0x12, 0x02, 0x01, 0x48, 0x12, 0x16, 0x01};
    EXPECT_EQ(0, memcmp(expected, bytes, 12));
    const VornFontGlyph back = VornQxtFormat::DecodeGlyph(bytes);
    EXPECT_EQ(0, memcmp(&g, &back, sizeof g));
}

TEST(QxtFile, WholeFileReadsBack)
{
    const QxtFile f = TwoSheetFile();
    const std::vector<uint8_t> bytes = f.Bytes();
    ASSERT_EQ(VornQxtFormat::FileSize(2, 2), bytes.size());
    EXPECT_EQ(25700u + 64 + 24, bytes.size());
    VornQxtFormat::Header h = {};
    ASSERT_EQ(VornQxtFormat::OK, VornQxtFormat::Check(bytes.data(), bytes.size(), &h));
    EXPECT_EQ(16u, h.fontSize);
    EXPECT_EQ(2u, h.sheetCount);
    EXPECT_EQ(64u, h.sheetWidth);
    EXPECT_EQ(64u, h.sheetHeight);
    EXPECT_EQ(2u, h.glyphCount);
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

TEST(QxtFile, BadMagicIsNotQxt)
{
    std::vector<uint8_t> bytes = TwoSheetFile().Bytes();
    VornQxtFormat::Header h = {};
    bytes[2] = 'S';
    EXPECT_EQ(VornQxtFormat::NOT_QXT, VornQxtFormat::Check(bytes.data(), bytes.size(), &h));
    bytes[2] = 'T';
    bytes[3] = '!';   // the magic is compared with its terminator
    EXPECT_EQ(VornQxtFormat::NOT_QXT, VornQxtFormat::Check(bytes.data(), bytes.size(), &h));
    EXPECT_EQ(VornQxtFormat::NOT_QXT, VornQxtFormat::Check(bytes.data(), 3, &h));
    EXPECT_EQ(VornQxtFormat::NOT_QXT, VornQxtFormat::Check(nullptr, 0, &h));
}

TEST(QxtFile, EveryShorterLengthIsRefused)
{
    const std::vector<uint8_t> bytes = TwoSheetFile().Bytes();
    for (size_t n = 4; n < bytes.size(); ++n) {
        VornQxtFormat::Header h = {};
        ASSERT_EQ(VornQxtFormat::TRUNCATED, VornQxtFormat::Check(bytes.data(), n, &h)) << n;
        ASSERT_EQ(0u, h.glyphCount);   // not written on failure
    }
}

TEST(QxtFile, MoreSheetsThanTheArraysHoldAreRefused)
{
    QxtFile f;
    for (int i = 0; i < 33; ++i) f.sheetNames.push_back("s" + std::to_string(i));
    std::vector<uint8_t> bytes = f.Bytes();
    EXPECT_EQ(VornQxtFormat::TOO_MANY_SHEETS, VornQxtFormat::Check(bytes.data(), bytes.size(), nullptr));
    f.sheetNames.pop_back();
    bytes = f.Bytes();
    EXPECT_EQ(VornQxtFormat::OK, VornQxtFormat::Check(bytes.data(), bytes.size(), nullptr));
}

TEST(QxtFile, GlyphOnAMissingSheetIsRefused)
{
    QxtFile f = TwoSheetFile();
    f.glyphs[1].sheet = 2;
    const std::vector<uint8_t> bytes = f.Bytes();
    EXPECT_EQ(VornQxtFormat::BAD_GLYPH, VornQxtFormat::Check(bytes.data(), bytes.size(), nullptr));
}

TEST(QxtFile, CodeTableEntryBeyondTheGlyphsIsRefused)
{
    QxtFile f = TwoSheetFile();
    f.codeToGlyph[VORN_FONT_CODE_SLOTS - 1] = 2;
    const std::vector<uint8_t> bytes = f.Bytes();
    EXPECT_EQ(VornQxtFormat::BAD_CODE_TABLE, VornQxtFormat::Check(bytes.data(), bytes.size(), nullptr));
}

TEST(QxtFile, SheetNameWithoutTerminatorIsRefused)
{
    std::vector<uint8_t> bytes = TwoSheetFile().Bytes();
    memset(bytes.data() + VornQxtFormat::NAMES_OFFSET + 32, 'x', 32);
    EXPECT_EQ(VornQxtFormat::BAD_NAME, VornQxtFormat::Check(bytes.data(), bytes.size(), nullptr));
}
