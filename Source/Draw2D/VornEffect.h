// VornEffect: free generators of screen-space geometry pushed into a VornPrimitive batch (whose
// perspective, zoom, scissor and sorting apply; the caller renders it): filled shapes in plain,
// turned and 3D-turned forms, two screen-covering fades of a texture, and a water ripple simulated
// on a spring grid. Every shape draws nothing for the batch handle 0xFFFFFFFF. The XYZ forms turn
// offsets from the shape's centre by VornMatrix::RotationXYZ and give each vertex rhw 1 / max(z, 1).
#pragma once
#include "VornMath.h"
#include "VornPrimitive.h"
#include "VornTexture.h"
#include "VornTransform2D.h"
#include <cstdint>

struct VornRippleVertex {
    float x, y;      // grid position, -1..1
    float z;         // height
    float nx, ny, nz;
    float u, v;
    uint32_t colour;
};

// One ripple grid, w columns by h rows of points, from the work area.
struct VornRipple {
    uint32_t columns, rows;
    float* force;
    float* velocity;
    uint32_t vertexCount;   // w x h
    uint32_t indexCount;    // (w - 1) x (h - 1) x 6
    VornRippleVertex* vertices;
    uint16_t* indices;
};

class VornEffect {
public:
    static void FillTriangleRotate(VornPrimitiveHandle p, const VornVertex2D* a, const VornVertex2D* b,
                                   const VornVertex2D* c, VornAngle angle);
    static void FillTriangleRotateXYZ(VornPrimitiveHandle p, const VornVertex2D* a, const VornVertex2D* b,
                                      const VornVertex2D* c, VornAngle ax, VornAngle ay, VornAngle az);
    // Apex up.
    static void FillRegularTriangle(VornPrimitiveHandle p, float cx, float cy, float z, float radius, uint32_t colour);
    static void FillRegularTriangleRotate(VornPrimitiveHandle p, float cx, float cy, float z, float radius,
                                          uint32_t colour, VornAngle angle);
    static void FillRegularTriangleRotateXYZ(VornPrimitiveHandle p, float cx, float cy, float z, float radius,
                                             uint32_t colour, VornAngle ax, VornAngle ay, VornAngle az);
    static void FillRect(VornPrimitiveHandle p, const VornRect* rect, float z, uint32_t colour);
    static void FillRectRotate(VornPrimitiveHandle p, const VornRect* rect, float z, uint32_t colour, VornAngle angle);
    static void FillRectRotateXYZ(VornPrimitiveHandle p, const VornRect* rect, float z, uint32_t colour, VornAngle ax,
                                  VornAngle ay, VornAngle az);
    // n triangles from the centre; segment 0 starts straight above it. No segments draw nothing.
    static void FillCircle(VornPrimitiveHandle p, float cx, float cy, float z, float radius, uint32_t colour,
                           uint32_t segments);
    static void FillCircleRotate(VornPrimitiveHandle p, float cx, float cy, float z, float radius, uint32_t colour,
                                 uint32_t segments, VornAngle angle);
    static void FillCircleRotateXYZ(VornPrimitiveHandle p, float cx, float cy, float z, float radius, uint32_t colour,
                                    uint32_t segments, VornAngle ax, VornAngle ay, VornAngle az);
    static void FillRing(VornPrimitiveHandle p, float cx, float cy, float z, float radiusA, float radiusB,
                         uint32_t colourA, uint32_t colourB, uint32_t segments);
    static void FillRingRotate(VornPrimitiveHandle p, float cx, float cy, float z, float radiusA, float radiusB,
                               uint32_t colourA, uint32_t colourB, uint32_t segments, VornAngle angle);
    static void FillRingRotateXYZ(VornPrimitiveHandle p, float cx, float cy, float z, float radiusA, float radiusB,
                                  uint32_t colourA, uint32_t colourB, uint32_t segments, VornAngle ax, VornAngle ay,
                                  VornAngle az);
    // The wall of a tube along the depth axis, from z - depth / 2 to z + depth / 2.
    static void FillCylinder(VornPrimitiveHandle p, float cx, float cy, float z, float radius, float depth,
                             uint32_t colour, uint32_t segments);
    static void FillCylinderRotate(VornPrimitiveHandle p, float cx, float cy, float z, float radius, float depth,
                                   uint32_t colour, uint32_t segments, VornAngle angle);
    static void FillCylinderRotateXYZ(VornPrimitiveHandle p, float cx, float cy, float z, float radius, float depth,
                                      uint32_t colour, uint32_t segments, VornAngle ax, VornAngle ay, VornAngle az);
    // A disc over the whole screen in rings x segments cells showing the source rectangle of the
    // texture stretched over the screen, white with alphas falling from 255 by ring (RingFade) or
    // by segment from the top (SweepFade), plus the offset, clamped to 0..255.
    static void FillScreenRingFade(VornPrimitiveHandle p, VornTextureHandle texture, const VornRect* src,
                                   uint32_t segments, uint32_t rings, int32_t alphaOffset, uint8_t smooth);
    static void FillScreenSweepFade(VornPrimitiveHandle p, VornTextureHandle texture, const VornRect* src,
                                    uint32_t segments, uint32_t rings, int32_t alphaOffset, uint8_t smooth);

    // Null, keeping nothing, when an allocation fails, the grid is below 2 x 2 or above 65,536
    // points, or the disturbance point lies outside it.
    static VornRipple* CreateRipple(uint32_t columns, uint32_t rows, uint32_t column, uint32_t row);
    static void UpdateRipple(VornRipple* grid, uint8_t alpha, uint8_t lit);
    static void DrawRipple(const VornRipple* grid, VornPrimitiveHandle p);
    static void ReleaseRipple(VornRipple* grid);
    static void ComputeRippleNormals(VornRipple* grid);
    static void ComputeRippleTexCoords(VornRipple* grid);
    static void ComputeRippleColours(VornRipple* grid, uint8_t alpha, uint8_t lit);
};
