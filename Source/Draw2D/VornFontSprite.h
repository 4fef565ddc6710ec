// VornFontSprite: text drawn from glyph sheets, textures on which each character of a set is
// painted once. A glyph set is built at run time from a VornFont and the text of the characters
// wanted, or loaded from a "QXT" font data file whose sheets are images. Strings are pushed as
// one textured quad per character into one VornSprite per sheet; the caller flushes them with
// ResetBuffer, UpdateBuffer and Rendering like any sprite.
#pragma once
#include <windows.h>
#include <cstdint>
#include "VornFont.h"
#include "VornHandleTable.h"
#include "VornMath.h"
#include "VornQxtFormat.h"
#include "VornSprite.h"
#include "VornTexture.h"

typedef VornHandle VornFontSpriteHandle;

struct VornFontSpriteRecord {
    uint8_t inUse;
    VornTextureHandle sheets[VORN_FONT_SHEET_MAX];   // none when the sheet has no texture
    VornSpriteHandle sprites[VORN_FONT_SHEET_MAX];   // one per sheet, stage 0 bound to it
    VornFontGlyph* glyphs;                           // glyphCount records
    uint16_t codeToGlyph[VORN_FONT_CODE_SLOTS];      // by GetCodeIndex; VORN_FONT_NO_GLYPH = none
    uint32_t sheetWidth, sheetHeight;
    uint32_t sheetCount;
    uint32_t fontSize;                               // also the unit of the layout
    uint32_t glyphCount;
};

// The pen after a layout.
struct VornFontPen {
    int32_t x, y;
};

class VornFontSprite {
public:
    static constexpr uint32_t TABLE_SIZE = 32;
    static constexpr uint32_t FONT_SIZE_LIMIT = 129;   // fonts from this size up are refused

    static bool Initialize();
    static void Finalize();

    static VornFontSpriteHandle Create(const char* text, uint8_t alpha, uint32_t capacity, VornFontHandle font,
                                       uint8_t sort, uint8_t antialias);
    // QXT bytes of the given length. sheetSource: null loads no sheet textures; ".ext" loads each
    // sheet as the file "<name>.ext"; any other string names the QSG archive of the sheets.
    static VornFontSpriteHandle CreateFromMemory(const void* data, uint32_t size, const char* sheetSource,
                                                 uint8_t alpha, uint32_t capacity, uint8_t sort);
    static VornFontSpriteHandle CreateFromFile(const char* name, const char* sheetSource, uint8_t alpha,
                                               uint32_t capacity, uint8_t sort);
    static void Release(VornFontSpriteHandle handle);
    static const VornFontSpriteRecord* GetRecord(VornFontSpriteHandle handle);   // null unless live

    // False for none or a character without a glyph; the outs are optional.
    static bool GetCharInfo(VornFontSpriteHandle handle, const char* character, uint32_t* leftBearing,
                            uint32_t* cellWidth, uint32_t* rightBearing);
    static void GetFontSize(VornFontSpriteHandle handle, uint32_t* out);

    static void ResetBuffer(VornFontSpriteHandle handle);
    static void UpdateBuffer(VornFontSpriteHandle handle);
    static void Rendering(VornFontSpriteHandle handle);

    // Fixed pitch: a single-byte character advances half the font size, a double-byte one the
    // whole size. Proportional: each glyph advances its cell width + 1.
    static void DrawString(VornFontSpriteHandle handle, const char* text, int32_t x, int32_t y, float z,
                           uint32_t colour);
    static void DrawStringProportional(VornFontSpriteHandle handle, const char* text, int32_t x, int32_t y, float z,
                                       uint32_t colour);
    static VornFontPen GetStringEnd(VornFontSpriteHandle handle, const char* text, int32_t x, int32_t y);
    static VornFontPen GetStringEndProportional(VornFontSpriteHandle handle, const char* text, int32_t x, int32_t y);

    // One character's whole cell stretched over dst; the bytes of the character (1 or 2), 0 when it
    // has no glyph.
    static uint32_t DrawChar(VornFontSpriteHandle handle, const char* character, const VornRect* dst, float z,
                             uint32_t colour);
    static uint32_t DrawCharRotate(VornFontSpriteHandle handle, const char* character, const VornRect* dst, float z,
                                   uint32_t colour, VornAngle angle);
    static uint32_t DrawCharRotateXYZ(VornFontSpriteHandle handle, const char* character, const VornRect* dst,
                                      float z, uint32_t colour, VornAngle ax, VornAngle ay, VornAngle az);

    static uint16_t GetCodeIndex(uint16_t code);

    // ---- Glyph sets, for the font-sprite classes (this one and VornFontSprite3D) ----
    // The building and loading steps of Create, CreateFromMemory and CreateFromFile, without the
    // sprites: the class that draws the set makes its own. Each step logs its own failure; what a
    // failed step leaves in the record (sheets, glyphs) goes with the record's release.

    // A record from a font-sprite table, its sheets and sprites none; none (logged) when full.
    static VornHandle TakeRecord(VornHandleTable<VornFontSpriteRecord>& table);
    // Create's checks of the font, made before a record is taken.
    static bool CheckFont(VornFontHandle font);
    // Paints every character of text once onto new sheets: sheets, glyphs, code table and sizes.
    // The font is left writing into the last sheet.
    static bool BuildGlyphSet(VornFontSpriteRecord& r, const char* text, uint8_t alpha, VornFontHandle font,
                              uint8_t antialias);
    // Reads a QXT file's bytes: sizes, sheet textures by the sheet source, code table and glyphs.
    static bool LoadGlyphSet(VornFontSpriteRecord& r, const void* data, uint32_t size, const char* sheetSource,
                             uint8_t alpha);
    // The bytes of a QXT file (font folder), for VornMemory::Free; null (logged) when unreadable.
    static void* LoadGlyphFile(const char* name, uint32_t* size);
    // The closing success line of Create (built) or CreateFromMemory (loaded).
    static void LogCreated(const VornFontSpriteRecord& r, bool loaded);
};
