// The "QXT" font data file and the character-code packing of the glyph sets (2D and 3D font
// sprites). Plain byte-buffer code: the font sprite classes do the file I/O and the textures.
//
// Layout (little-endian, no padding):
//     0      char[4]          "QXT\0"
//     4      u8               font size
//     5      u8               sheet count (at most 32)
//     6      u16              sheet width
//     8      u16              sheet height
//     10     u16              glyph count
//     12     u16[12844]       code-to-glyph table (0xFFFF = no glyph)
//     25700  char[32] x n     sheet image names, NUL-terminated within their 32 bytes
//     ...    12 x glyphs      VornFontGlyph records
#pragma once
#include <cstddef>
#include <cstdint>

// One glyph of a glyph set; the same 12 bytes in memory and in QXT files. The cell lies on sheet
// `sheet` at [left, right) x [top, bottom); the ink starts one pixel right of and below its corner.
struct VornFontGlyph {
    uint8_t sheet;
    uint8_t leftBearing;    // ABC A width
    uint8_t cellWidth;      // ABC B width + 2
    uint8_t rightBearing;   // ABC C width
    uint16_t left;
    uint16_t top;
    uint16_t right;         // left + cellWidth
    uint16_t bottom;        // top + font size + 2
};
static_assert(sizeof(VornFontGlyph) == 12, "a glyph record is 12 bytes in memory and in QXT files");

constexpr uint32_t VORN_FONT_CODE_SLOTS = 12844;   // entries of the code-to-glyph table
constexpr uint32_t VORN_FONT_SHEET_MAX = 32;       // sheets a glyph set may have
constexpr uint16_t VORN_FONT_NO_GLYPH = 0xFFFF;

class VornQxtFormat {
public:
    static constexpr size_t HEADER_SIZE = 12;
    static constexpr size_t CODE_TABLE_OFFSET = 12;
    static constexpr size_t NAMES_OFFSET = CODE_TABLE_OFFSET + VORN_FONT_CODE_SLOTS * 2;   // 25700
    static constexpr size_t NAME_SIZE = 32;
    static constexpr size_t GLYPH_SIZE = 12;

    struct Header {
        uint32_t fontSize;
        uint32_t sheetCount;
        uint32_t sheetWidth;
        uint32_t sheetHeight;
        uint32_t glyphCount;
    };

    enum Result : uint32_t {
        OK,
        NOT_QXT,           // shorter than the magic, or another magic
        TOO_MANY_SHEETS,   // more sheets than a glyph set holds
        TRUNCATED,         // shorter than its header, tables, names and glyphs
        BAD_NAME,          // a sheet name without its terminator within 32 bytes
        BAD_CODE_TABLE,    // an entry that names a glyph beyond the glyph count
        BAD_GLYPH,         // a glyph on a sheet beyond the sheet count
    };

    // The slot of a character code in the code-to-glyph table (the single byte, or lead << 8 |
    // trail of a two-byte Shift-JIS character); VORN_FONT_NO_GLYPH when the code has none.
    // Codes 0xEF00-0xF8A0 share their slots with 0xE55F-0xEEFF, as the file format has it.
    static uint16_t GetCodeIndex(uint16_t code);

    // Bytes of a file with these counts.
    static uint64_t FileSize(uint32_t sheetCount, uint32_t glyphCount);

    // Checks a whole file: magic, sheet count, its length against the counts, every sheet name,
    // every code-table entry and every glyph's sheet. The header is written only when it is OK.
    static Result Check(const uint8_t* data, size_t size, Header* header);

    // Readers of a file that passed Check.
    static void ReadCodeTable(const uint8_t* data, uint16_t* out);   // VORN_FONT_CODE_SLOTS entries
    static const char* GetSheetName(const uint8_t* data, uint32_t index);
    static void ReadGlyphs(const uint8_t* data, uint32_t sheetCount, VornFontGlyph* out, uint32_t count);

    // One glyph record to and from its 12 little-endian bytes.
    static VornFontGlyph DecodeGlyph(const uint8_t* p);
    static void EncodeGlyph(uint8_t* p, const VornFontGlyph& glyph);
};
