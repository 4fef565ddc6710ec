// VornSheet: images larger than a texture, cut into pieces of at most 256x256 pixels, each in a
// 256x256 texture of its own, drawn side by side as one picture (plain, scaled, turned, or turned
// and scaled). A file or QSG entry loaded again gives the same sheet with one more reference.
// Drawing sets the vertex format and textures only: blending and the other states are the caller's.
#pragma once
#include "Vorn3D.h"
#include "VornHandleTable.h"
#include "VornMath.h"
#include "VornTexture.h"
#include <cstdint>

typedef VornHandle VornSheetHandle;

// One vertex of a piece (FVF XYZRHW | DIFFUSE | TEX1).
struct VornSheetVertex {
    float x, y, z, rhw;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(VornSheetVertex) == 28, "the 28-byte sheet vertex");

struct VornSheetPiece {
    int32_t x, y;                  // top-left corner in the image, multiples of 256
    int32_t w, h;                  // at most 256
    VornTextureHandle texture;     // none when it could not be made: the piece is not drawn
    VornSheetVertex vertex[4];     // top-left, top-right, bottom-right, bottom-left
};

struct VornSheetRecord {
    uint8_t inUse;
    uint32_t refCount;
    char name[VORN_RECORD_NAME_SIZE];   // file name, "archive:entry", or empty (from memory)
    VornSheetPiece* pieces;             // rows x columns, row by row
    int32_t columns, rows;
    int32_t width, height;
};

class VornSheet : public VornTableClass<VornSheet, VornSheetRecord> {
    friend VornTableClass;
    static VornHandleTable<VornSheetRecord>& Table();
    static constexpr const char* kReleaseName = "VornSheet::Release";

public:
    static constexpr uint32_t kPieceSize = 256;

    static bool Initialize();
    static void Finalize();

    static VornSheetHandle CreateFromFile(const char* name, VornFormatKind kind, D3DCOLOR colourKey);
    static VornSheetHandle CreateFromMemory(const void* data, uint32_t size, VornFormatKind kind, D3DCOLOR colourKey);
    static VornSheetHandle CreateFromQSG(const char* archive, const char* entry, VornFormatKind kind);

    // Image size; 0xFFFFFFFF for none or a handle that is not a live sheet.
    static uint32_t GetWidth(VornSheetHandle handle);
    static uint32_t GetHeight(VornSheetHandle handle);

    static void Draw(VornSheetHandle handle, float x, float y, uint32_t colour);
    // Scaled about the image's centre (integer halves).
    static void DrawScale(VornSheetHandle handle, float x, float y, float scale, uint32_t colour);
    // Turned about (x + offset x, y + offset y), clockwise on screen.
    static void DrawRotate(VornSheetHandle handle, float x, float y, VornAngle angle, float offsetX, float offsetY,
                           uint32_t colour);
    static void DrawRotateScale(VornSheetHandle handle, float x, float y, VornAngle angle, float scale, float offsetX,
                                float offsetY, uint32_t colour);
};
