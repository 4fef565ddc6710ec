#include "VornQxtFormat.h"
#include "VornBytes.h"
#include <cstring>

namespace {

using VornBytes::ReadLE16;
using VornBytes::WriteLE16;

// The three packed ranges, tried in order: slot = (code - base) mod 65536 when not above limit.
struct CodeRange {
    uint16_t base;
    uint16_t limit;
};
constexpr CodeRange kRanges[3] = {{0x8041, 8126}, {0xC082, 11901}, {0xCA23, 12844}};

}  // namespace

uint16_t VornQxtFormat::GetCodeIndex(uint16_t code)
{
    if (code <= 0xFF) return code;
    for (const CodeRange& range : kRanges) {
        const uint16_t slot = static_cast<uint16_t>(code - range.base);
        if (slot <= range.limit) {
            // 0xFC4F packs to 12844, one past the table: no glyph.
            return slot < VORN_FONT_CODE_SLOTS ? slot : VORN_FONT_NO_GLYPH;
        }
    }
    return VORN_FONT_NO_GLYPH;
}

uint64_t VornQxtFormat::FileSize(uint32_t sheetCount, uint32_t glyphCount)
{
    return NAMES_OFFSET + static_cast<uint64_t>(sheetCount) * NAME_SIZE + static_cast<uint64_t>(glyphCount) * GLYPH_SIZE;
}

VornQxtFormat::Result VornQxtFormat::Check(const uint8_t* data, size_t size, Header* header)
{
    static const uint8_t kMagic[4] = {'Q', 'X', 'T', 0};
    if (!data || size < 4 || memcmp(data, kMagic, 4) != 0) return NOT_QXT;
    if (size < HEADER_SIZE) return TRUNCATED;
    Header h;
    h.fontSize = data[4];
    h.sheetCount = data[5];
    h.sheetWidth = ReadLE16(data + 6);
    h.sheetHeight = ReadLE16(data + 8);
    h.glyphCount = ReadLE16(data + 10);
    if (h.sheetCount > VORN_FONT_SHEET_MAX) return TOO_MANY_SHEETS;
    if (size < FileSize(h.sheetCount, h.glyphCount)) return TRUNCATED;
    for (uint32_t i = 0; i < h.sheetCount; ++i) {
        if (!memchr(data + NAMES_OFFSET + i * NAME_SIZE, 0, NAME_SIZE)) return BAD_NAME;
    }
    for (uint32_t i = 0; i < VORN_FONT_CODE_SLOTS; ++i) {
        const uint16_t glyph = ReadLE16(data + CODE_TABLE_OFFSET + i * 2);
        if (glyph != VORN_FONT_NO_GLYPH && glyph >= h.glyphCount) return BAD_CODE_TABLE;
    }
    const uint8_t* glyphs = data + NAMES_OFFSET + h.sheetCount * NAME_SIZE;
    for (uint32_t i = 0; i < h.glyphCount; ++i) {
        if (glyphs[i * GLYPH_SIZE] >= h.sheetCount) return BAD_GLYPH;
    }
    if (header) *header = h;
    return OK;
}

void VornQxtFormat::ReadCodeTable(const uint8_t* data, uint16_t* out)
{
    for (uint32_t i = 0; i < VORN_FONT_CODE_SLOTS; ++i) out[i] = ReadLE16(data + CODE_TABLE_OFFSET + i * 2);
}

const char* VornQxtFormat::GetSheetName(const uint8_t* data, uint32_t index)
{
    return reinterpret_cast<const char*>(data + NAMES_OFFSET + index * NAME_SIZE);
}

void VornQxtFormat::ReadGlyphs(const uint8_t* data, uint32_t sheetCount, VornFontGlyph* out, uint32_t count)
{
    const uint8_t* p = data + NAMES_OFFSET + sheetCount * NAME_SIZE;
    for (uint32_t i = 0; i < count; ++i, p += GLYPH_SIZE) out[i] = DecodeGlyph(p);
}

VornFontGlyph VornQxtFormat::DecodeGlyph(const uint8_t* p)
{
    VornFontGlyph g;
    g.sheet = p[0];
    g.leftBearing = p[1];
    g.cellWidth = p[2];
    g.rightBearing = p[3];
    g.left = ReadLE16(p + 4);
    g.top = ReadLE16(p + 6);
    g.right = ReadLE16(p + 8);
    g.bottom = ReadLE16(p + 10);
    return g;
}

void VornQxtFormat::EncodeGlyph(uint8_t* p, const VornFontGlyph& glyph)
{
    p[0] = glyph.sheet;
    p[1] = glyph.leftBearing;
    p[2] = glyph.cellWidth;
    p[3] = glyph.rightBearing;
    WriteLE16(p + 4, glyph.left);
    WriteLE16(p + 6, glyph.top);
    WriteLE16(p + 8, glyph.right);
    WriteLE16(p + 10, glyph.bottom);
}
