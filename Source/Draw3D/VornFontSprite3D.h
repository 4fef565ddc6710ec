// VornFontSprite3D: the glyph sets of VornFontSprite drawn in the world: a string is laid out in
// the plane of a posture, centred on its position, one VornSprite3D quad per character.
#pragma once
#include "VornFontSprite.h"
#include "VornPosture.h"
#include "VornSprite3D.h"
#include <cstdint>

typedef VornHandle VornFontSprite3DHandle;

class VornFontSprite3D
{
public:
    static constexpr uint32_t TABLE_SIZE = 64;

    static bool Initialize();
    static void Finalize();

    // As VornFontSprite's; the record's sprites are VornSprite3D sprites (vertex type 1) of
    // `capacity` vertices, one per sheet.
    static VornFontSprite3DHandle Create(const char* text, uint8_t alpha, uint32_t capacity, VornFontHandle font,
                                         uint8_t antialias);
    static VornFontSprite3DHandle CreateFromMemory(const void* data, uint32_t size, const char* sheetSource,
                                                   uint8_t alpha, uint32_t capacity);
    static VornFontSprite3DHandle CreateFromFile(const char* name, const char* sheetSource, uint8_t alpha,
                                                 uint32_t capacity);
    static void Release(VornFontSprite3DHandle handle);
    static const VornFontSpriteRecord* GetRecord(VornFontSprite3DHandle handle);   // null unless live

    static void ResetBuffer(VornFontSprite3DHandle handle);
    static void UpdateBuffer(VornFontSprite3DHandle handle);
    static void Rendering(VornFontSprite3DHandle handle);

    static uint16_t GetCodeIndex(uint16_t code);
    // The longest line in bytes; lines end at '\n', a '\t' counts 4.
    static int32_t GetLongestLine(const char* text);
    // Fixed pitch: single-byte characters advance half the font size, double-byte ones the whole.
    // A character without a glyph is skipped and advances the same.
    static void DrawString(VornFontSprite3DHandle handle, const char* text, const VornPosture* posture, float size,
                           uint32_t colour);
    // Each glyph advances its cell width + 1.
    static void DrawStringProportional(VornFontSprite3DHandle handle, const char* text, const VornPosture* posture,
                                       float size, uint32_t colour);
};
