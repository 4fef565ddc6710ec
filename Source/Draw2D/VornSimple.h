// VornSimple: immediate 2D drawing from one shared dynamic vertex buffer (outlines as line strips,
// textured fans), and the edges of a 3D box. Screen shapes are only scaled from virtual to real
// pixels and moved by half a pixel: no depth perspective, zoom or scissor. Every screen shape
// leaves depth testing and culling off (through the state cache) for whatever is drawn next.
#pragma once
#include "VornMath.h"
#include "VornTexture.h"
#include "VornTransform2D.h"
#include <cstdint>

class VornVector3;
class VornMatrix;

class VornSimple {
public:
    static constexpr uint32_t kBufferVertices = 256;

    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();

    // The caller's vertices are read, never changed. False (nothing drawn) for fewer vertices than
    // one primitive needs, more than kBufferVertices, or no buffer.
    static bool DrawLineStrip(const VornVertex2D* v, int32_t count);
    // Texture coordinates in texture pixels of each stage's texture.
    static bool DrawTriangleFan(const VornVertex2D* v, int32_t count, const VornTextureHandle* textures,
                                int32_t stages);

    static void DrawTriangleFrame(const float* centre, float radius, VornAngle angle, uint32_t colour);
    static void DrawSquareFrame(const VornRect* rect, VornAngle angle, uint32_t colour);
    static void DrawEllipseFrame(const float* centre, float radiusX, float radiusY, uint32_t colour);
    // uv: six texture-pixel values (three corners) per stage.
    static void DrawTriangle(const float* centre, float radius, VornAngle angle, const float* uv, uint32_t colour,
                             const VornTextureHandle* textures, int32_t stages);
    // src: one rectangle per stage, in texture pixels.
    static void DrawSquareRotate(const VornRect* dst, VornAngle angle, const VornRect* src, uint32_t colour,
                                 const VornTextureHandle* textures, int32_t stages);
    // The texture turns by -angle against the shape.
    static void DrawEllipse(const float* centre, float radiusX, float radiusY, VornAngle angle, const VornRect* src,
                            uint32_t colour, const VornTextureHandle* textures, int32_t stages);
    // The box's 12 edges in 3D through the world matrix, depth tested.
    static void DrawBoundingBox(const VornVector3* min, const VornVector3* max, const VornMatrix* world,
                                uint32_t colour);
};
