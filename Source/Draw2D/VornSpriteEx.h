// VornSpriteEx: 2D textured triangles without a sprite handle. Every call names its own four
// textures and blending type; triangles are placed by the module's own 2D transform, clipped to the
// scissor rectangle and kept in one list until ResetBuffer. Rendering draws them in order, one draw
// per run of triangles that share textures and blending (at most 64 triangles a draw).
#pragma once
#include "Vorn3D.h"
#include "VornMath.h"
#include "VornTexture.h"
#include "VornTransform2D.h"
#include <cstdint>

// One stored triangle (a list node): placed and clipped vertices, the textures of stages 0-3
// (0xFFFFFFFF none) and the blending type.
struct VornSpriteExTriangle {
    VornVertex2D vertex[3];
    VornTextureHandle texture[4];
    uint32_t blend;   // a VornBlendMode
};

class VornSpriteEx {
public:
    static constexpr uint32_t kGroupTriangles = 64;   // triangles per draw

    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();

    static void SetScissoring(bool on, const RECT* rect);
    static void SetZoom(bool on, float centreX, float centreY, float scale);
    static void SetPerspective(bool on, float centreX, float centreY, float factor);
    static const VornTransform2D& GetTransform();

    // count triangles of three vertices. False when a list node cannot be had: the triangles stored
    // before stay, the rest are dropped. A triangle clipped away or not placeable stores nothing.
    static bool PushPolygon(const VornVertex2D* triangles, uint32_t count, const VornTextureHandle textures[4],
                            uint32_t blend);
    static bool ResetBuffer();
    static void Rendering();
    // The list of stored triangles (VornList index; nodes are VornSpriteExTriangle), for tools.
    static uint32_t GetList();

    // The shapes of VornSprite; every stage whose texture is not none takes coordinates from its
    // source rectangle. False when a piece could not be stored.
    static bool DrawSquare(const VornRect* dst, float z, const VornRect* src, uint32_t colour,
                           const VornTextureHandle textures[4], uint32_t blend);
    static bool DrawSquareRotate(const VornRect* dst, float z, const VornRect* src, uint32_t colour, VornAngle angle,
                                 const VornTextureHandle textures[4], uint32_t blend);
    static bool DrawSquareRotateXYZ(const VornRect* dst, float z, const VornRect* src, uint32_t colour, VornAngle ax,
                                    VornAngle ay, VornAngle az, const VornTextureHandle textures[4], uint32_t blend);
    static bool DrawRing(float cx, float cy, float z, const VornRect* src, float radiusA, float radiusB,
                         uint32_t colourA, uint32_t colourB, uint32_t segments, float vScale,
                         const VornTextureHandle textures[4], uint32_t blend);
    static bool DrawRingRotate(float cx, float cy, float z, const VornRect* src, float radiusA, float radiusB,
                               uint32_t colourA, uint32_t colourB, uint32_t segments, VornAngle angle, float vScale,
                               const VornTextureHandle textures[4], uint32_t blend);
    static bool DrawRingRotateXYZ(float cx, float cy, float z, const VornRect* src, float radiusA, float radiusB,
                                  uint32_t colourA, uint32_t colourB, uint32_t segments, VornAngle ax, VornAngle ay,
                                  VornAngle az, float vScale, const VornTextureHandle textures[4], uint32_t blend);
    static bool DrawCylinder(float cx, float cy, float z, const VornRect* src, float radius, float depth,
                             uint32_t colour, uint32_t segments, float vScale, const VornTextureHandle textures[4],
                             uint32_t blend);
    static bool DrawCylinderRotate(float cx, float cy, float z, const VornRect* src, float radius, float depth,
                                   uint32_t colour, uint32_t segments, VornAngle angle, float vScale,
                                   const VornTextureHandle textures[4], uint32_t blend);
    static bool DrawCylinderRotateXYZ(float cx, float cy, float z, const VornRect* src, float radius, float depth,
                                      uint32_t colour, uint32_t segments, VornAngle ax, VornAngle ay, VornAngle az,
                                      float vScale, const VornTextureHandle textures[4], uint32_t blend);
    // A band through n points; only stage 0 is textured. Fewer than two points draw nothing.
    static bool DrawStrip(const float* x, const float* y, const float* z, const float* halfWidth,
                          const VornAngle* angle, const uint32_t* colour, uint32_t count, const VornRect* src,
                          VornTextureHandle texture, uint32_t blend);
};
