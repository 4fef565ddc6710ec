// QXT font files: the whole check, then the code table, sheet names and glyphs read as the font
// sprites read them. Every table entry of an accepted file names a glyph that exists, and every glyph
// a sheet that exists.
#include "FuzzCheck.h"
#include "VornQxtFormat.h"
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Character codes from the first bytes, as text would bring them.
    for (size_t i = 0; i + 1 < size && i < 8; i += 2) {
        const uint16_t slot = VornQxtFormat::GetCodeIndex(uint16_t(data[i] << 8 | data[i + 1]));
        FUZZ_CHECK(slot < VORN_FONT_CODE_SLOTS || slot == VORN_FONT_NO_GLYPH);
    }

    VornQxtFormat::Header h;
    if (VornQxtFormat::Check(data, size, &h) != VornQxtFormat::OK) return 0;
    FUZZ_CHECK(VornQxtFormat::FileSize(h.sheetCount, h.glyphCount) <= size && h.sheetCount <= VORN_FONT_SHEET_MAX);
    std::vector<uint16_t> table(VORN_FONT_CODE_SLOTS);
    VornQxtFormat::ReadCodeTable(data, table.data());
    for (uint16_t glyph : table) FUZZ_CHECK(glyph == VORN_FONT_NO_GLYPH || glyph < h.glyphCount);
    for (uint32_t i = 0; i < h.sheetCount; ++i)
        FUZZ_CHECK(strlen(VornQxtFormat::GetSheetName(data, i)) < VornQxtFormat::NAME_SIZE);
    std::vector<VornFontGlyph> glyphs(h.glyphCount);
    VornQxtFormat::ReadGlyphs(data, h.sheetCount, glyphs.data(), h.glyphCount);
    for (const VornFontGlyph& g : glyphs) FUZZ_CHECK(g.sheet < h.sheetCount);
    return 0;
}
