// VornFont: GDI fonts whose glyphs (GetGlyphOutlineA, 1-bit or 65 grey levels) are written pixel
// by pixel into a locked texture or, when no texture is chosen, into the back buffer. Text is
// Shift-JIS, printf-style, with line breaks, tabs, back steps and a few control codes.
//
// Calling order: Create, SetDestination, then per batch Begin, draws and measurements, End.
// Every draw locks its destination itself and unlocks it before it returns.
#pragma once
#include <windows.h>
#include <cstdint>
#include "VornHandleTable.h"
#include "VornTexture.h"

typedef VornHandle VornFontHandle;

struct VornFontRecord {
    uint8_t inUse;
    HDC dc;                         // the main window's DC, between Begin and End
    HFONT font;
    HGDIOBJ previousObject;         // what Begin replaced in the DC
    TEXTMETRICA metrics;            // filled by Begin
    uint8_t* glyphBuffer;           // one glyph bitmap, glyphBufferSize bytes
    uint32_t glyphBufferSize;       // (2 x size)^2
    uint32_t size;                  // font height in pixels
    VornTextureHandle destination;  // none: the back buffer
    uint8_t destinationHasAlpha;    // set by Begin: a texture destination of a format with alpha bits
};

// A block of pixels a glyph writer reads or writes: [left, right) x [top, bottom), the row pitch
// in bytes and the first byte of row 0.
struct VornFontGlyphBlit {
    int32_t left, top, right, bottom;
    int32_t pitch;
    uint8_t* bits;
};

class VornFont {
public:
    static constexpr uint32_t TEXT_BUFFER_SIZE = 1024;   // formatted text, terminator included
    static constexpr uint32_t COVERAGE_LEVELS = 65;     // grey levels of an anti-aliased glyph

    static void SetMax(uint32_t count);
    static bool Initialize();
    static void Finalize();

    static VornFontHandle Create(const char* face, uint32_t size, uint8_t italic, uint8_t bold);
    static void Release(VornFontHandle handle);
    static uint32_t GetSize(VornFontHandle handle);
    static void SetDestination(VornFontHandle handle, VornTextureHandle texture);
    static VornTextureHandle GetDestination(VornFontHandle handle);
    static void Begin(VornFontHandle handle);
    static void End(VornFontHandle handle);
    static const VornFontRecord* GetRecord(VornFontHandle handle);   // null unless live

    // Fetches one glyph (GGO_GRAY8_BITMAP when antialias, else GGO_BITMAP) into buffer and
    // returns its byte size; 0 for a glyph without ink, a failure, or a glyph larger than
    // bufferSize (the buffer is then left alone).
    static uint32_t GetGlyph(HDC dc, uint16_t code, GLYPHMETRICS* metrics, uint8_t* buffer, uint32_t bufferSize,
                             uint8_t antialias);

    static void DrawChar(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour, uint16_t code);
    static void DrawCharAntialias(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour, uint16_t code);
    // Each returns the pen's final x minus x: after a line break, the width of the last line.
    static uint32_t DrawText(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour, const char* format, ...);
    static uint32_t DrawTextAntialias(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour,
                                      const char* format, ...);
    // Glyphs edge to edge: no A width before a character, a glyph advances by its B width alone.
    static uint32_t DrawTextPacked(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour,
                                   const char* format, ...);
    static uint32_t DrawTextPackedAntialias(VornFontHandle handle, int32_t x, int32_t y, uint32_t colour,
                                            const char* format, ...);
    // A, B, C widths of one code; B is at least the glyph's ink width.
    static void GetCharMetrics(VornFontHandle handle, uint16_t code, ABC* out);
    static uint32_t GetTextWidth(VornFontHandle handle, const char* format, ...);

    // ---- The pixel writers (plain memory; the draws above call them) ----
    // Entry i = floor(i x 255 / 64): coverage 0..64 to alpha 0..255.
    static const uint8_t* GetCoverageTable();
    // Clips the destination block to [0, width) x [0, height), moving the glyph block's edges
    // alike; false when nothing is left to draw.
    static bool ClipGlyph(VornFontGlyphBlit* dst, VornFontGlyphBlit* glyph, int32_t width, int32_t height);
    // 1-bit glyphs: a set bit writes the pixel, a clear bit leaves it.
    static void WriteGlyph8888(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour);
    static void WriteGlyph565(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour);
    static void WriteGlyph1555(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour);
    static void WriteGlyph4444(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour);
    // 65-level glyphs: every pixel of the block is written, its alpha from the coverage.
    static void WriteGlyphAntialias8888(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour);
    static void WriteGlyphAntialias4444(const VornFontGlyphBlit& dst, const VornFontGlyphBlit& glyph, uint32_t colour);
};
