// VornSprite3D: textured shapes in world space (quads, rings, tubes, strips) built on a
// VornPrimitive3D batch, with the textures of stages 0-3 bound when the sprite is drawn.
#pragma once
#include "VornPrimitive3D.h"
#include "VornPosture.h"
#include "VornTransform2D.h"
#include <cstdint>

typedef VornHandle VornSprite3DHandle;

struct VornSprite3DRecord {
    uint8_t inUse;
    VornHandle texture[4];   // 0xFFFFFFFF: none
    VornPrimitive3DHandle primitive;
    uint32_t vertexType;
    uint32_t capacity;
};

class VornSprite3D
{
public:
    static void SetMax(uint32_t count);
    static bool Initialize();
    static void Finalize();
    static VornSprite3DHandle Create(uint32_t capacity, VornVertexType3D type);
    static void Release(VornSprite3DHandle handle);
    static VornPrimitive3DHandle GetPrimitive(VornSprite3DHandle handle);
    static void SetTexture(VornSprite3DHandle handle, int32_t stage, VornHandle texture);
    static VornHandle GetTexture(VornSprite3DHandle handle, int32_t stage);
    static void ResetBuffer(VornSprite3DHandle handle);
    static void UpdateBuffer(VornSprite3DHandle handle);
    static void Rendering(VornSprite3DHandle handle);

    // src: one source rectangle (texture pixels) per stage, stages in use = stageCount.
    static void DrawSquare(VornSprite3DHandle handle, const VornPosture* posture, float x, float y, float z, float width,
                           float height, const VornRect* src, uint32_t colour, uint32_t stageCount);
    static void DrawRing(VornSprite3DHandle handle, const VornPosture* posture, float x, float y, float z,
                         const VornRect* src, float radiusA, float radiusB, uint32_t colourA, uint32_t colourB,
                         uint32_t segments, float vScale, uint32_t stageCount);
    static void DrawCylinder(VornSprite3DHandle handle, const VornPosture* posture, float x, float y, float z,
                             const VornRect* src, float radius, float depth, uint32_t colour, uint32_t segments,
                             float vScale, uint32_t stageCount);
    // Strips through n points (fewer than 2 draw nothing), stage 0 only.
    static void DrawStripXY(VornSprite3DHandle handle, const float* x, const float* y, const float* z,
                            const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t n,
                            const VornRect* src);
    static void DrawStripYZ(VornSprite3DHandle handle, const float* x, const float* y, const float* z,
                            const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t n,
                            const VornRect* src);
    static void DrawStripXZ(VornSprite3DHandle handle, const float* x, const float* y, const float* z,
                            const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t n,
                            const VornRect* src);
};
