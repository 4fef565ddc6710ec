// VornSprite: 2D shapes (squares, rings, tubes, triangles, strips) built from virtual-screen
// rectangles, texture-pixel source rectangles and colours, pushed into a VornPrimitive batch of the
// sprite's own and drawn with its textures of stages 0-3. Per frame: ResetBuffer, shapes,
// UpdateBuffer, Rendering (the blend mode and other states are the caller's).
#pragma once
#include "VornHandleTable.h"
#include "VornMath.h"
#include "VornPrimitive.h"
#include "VornTexture.h"
#include "VornTransform2D.h"
#include <cstdint>

typedef VornHandle VornSpriteHandle;

struct VornSpriteRecord {
    uint8_t inUse;
    VornTextureHandle texture[4];
    VornPrimitiveHandle primitive;
    uint32_t vertexType;   // the stage count given at creation
    uint32_t capacity;     // vertices
};

class VornSprite {
public:
    static void SetMax(uint32_t count);
    static bool Initialize();
    static void Finalize();

    static VornSpriteHandle Create(uint32_t capacity, uint32_t stages, bool sorted);
    static void Release(VornSpriteHandle handle);
    static VornPrimitiveHandle GetPrimitive(VornSpriteHandle handle);
    static void SetTexture(VornSpriteHandle handle, int32_t stage, VornTextureHandle texture);
    static void Rendering(VornSpriteHandle handle);
    static void ResetBuffer(VornSpriteHandle handle);
    static void UpdateBuffer(VornSpriteHandle handle);

    // Shapes. src is one rectangle per stage (texture pixels); stages below the stage count take
    // texture coordinates from it, the others 0. z is on the 0..65535 depth scale.
    static void DrawSquare(VornSpriteHandle handle, const VornRect* dst, float z, const VornRect* src,
                           uint32_t colour, uint32_t stages);
    // Turned clockwise on screen about the rectangle's centre.
    static void DrawSquareRotate(VornSpriteHandle handle, const VornRect* dst, float z, const VornRect* src,
                                 uint32_t colour, VornAngle angle, uint32_t stages);
    // Turned by VornMatrix::RotationXYZ; the turned depth joins z (a tilted quad is foreshortened
    // by the depth perspective). With all angles 0 it covers what DrawSquare covers.
    static void DrawSquareRotateXYZ(VornSpriteHandle handle, const VornRect* dst, float z, const VornRect* src,
                                    uint32_t colour, VornAngle ax, VornAngle ay, VornAngle az, uint32_t stages);
    // Rings of segments from straight above the centre, clockwise; colour a at radius a, b at b.
    static void DrawRing(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src, float radiusA,
                         float radiusB, uint32_t colourA, uint32_t colourB, uint32_t segments, float vScale,
                         uint32_t stages);
    static void DrawRingRotate(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                               float radiusA, float radiusB, uint32_t colourA, uint32_t colourB, uint32_t segments,
                               VornAngle angle, float vScale, uint32_t stages);
    static void DrawRingRotateXYZ(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                  float radiusA, float radiusB, uint32_t colourA, uint32_t colourB,
                                  uint32_t segments, VornAngle ax, VornAngle ay, VornAngle az, float vScale,
                                  uint32_t stages);
    // Tubes along the depth axis, depth deep about z.
    static void DrawCylinder(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src, float radius,
                             float depth, uint32_t colour, uint32_t segments, float vScale, uint32_t stages);
    static void DrawCylinderRotate(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                   float radius, float depth, uint32_t colour, uint32_t segments, VornAngle angle,
                                   float vScale, uint32_t stages);
    static void DrawCylinderRotateXYZ(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                      float radius, float depth, uint32_t colour, uint32_t segments, VornAngle ax,
                                      VornAngle ay, VornAngle az, float vScale, uint32_t stages);
    // One triangle turned counter-clockwise on screen about its centroid; stage 0 texture
    // coordinates are the corners' own, in texture pixels.
    static void DrawTriangleRotate(VornSpriteHandle handle, const VornVertex2D* a, const VornVertex2D* b,
                                   const VornVertex2D* c, VornAngle angle);
    static void DrawTriangleRotateXYZ(VornSpriteHandle handle, const VornVertex2D* a, const VornVertex2D* b,
                                      const VornVertex2D* c, VornAngle ax, VornAngle ay, VornAngle az);
    // A band through n points, half width wide on each side, turned by each point's angle.
    static void DrawStrip(VornSpriteHandle handle, const float* x, const float* y, const float* z,
                          const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t count,
                          const VornRect* src);
};
