// VornSpriteShape: the shapes of the sprite classes (squares, rings, tubes, triangles, strips) turned
// into VornVertex2D triangles. Texture coordinates come from per-stage texture handles and source
// rectangles; the triangles go to a sink, one call per quad (two triangles) or triangle. VornSprite
// sinks into its batch, VornSpriteEx into its triangle list; VornEffect shares the segment angles
// and circle points.
#pragma once
#include "VornMath.h"
#include "VornMatrix.h"
#include "VornTexture.h"
#include "VornTransform2D.h"
#include <cstdint>

// Where the triangles of a shape go: count triangles of three vertices. A false answer drops that
// piece only; the shape goes on with the next one.
struct VornShapeSink {
    bool (*push)(void* context, const VornVertex2D* triangles, uint32_t count);
    void* context;
    // Optional: a quad as the triangles (c0, c1, c2) and (c2, c3, c0), for sinks that place each
    // corner once. Without it a quad goes to push as six vertices.
    bool (*pushQuad)(void* context, const VornVertex2D corners[4]);
    // Optional: an axis-aligned rectangle at one depth, as pushQuad of its corners TL, TR, BR, BL.
    bool (*pushRect)(void* context, float x0, float y0, float x1, float y1, float z, uint32_t colour,
                     const VornRectUV uv[4]);
};

// The textures of a shape: stages below `stages` take coordinates from their handle (none gives 0,
// as VornTexture::PixelToU does), the others 0.
struct VornShapeTextures {
    VornTextureHandle texture[4];
    uint32_t stages;
};

namespace VornSpriteShape {

// Segment i of n starts straight above the centre (-16384) and runs clockwise on screen.
inline VornAngle SegmentAngle(uint32_t i, uint32_t n)
{
    return static_cast<VornAngle>(static_cast<int64_t>(i) * 65536 / static_cast<int64_t>(n) - 16384);
}
// The point at angle a and radius r about the origin, at depth d, turned by m when there is one.
D3DXVECTOR3 CirclePoint(VornAngle a, float r, float d, const VornMatrix* m);

// Each shape returns true when every piece was taken by the sink.
bool Square(const VornShapeSink& out, const VornShapeTextures& t, const VornRect& dst, float z, const VornRect* src,
            uint32_t colour);
bool SquareRotate(const VornShapeSink& out, const VornShapeTextures& t, const VornRect& dst, float z,
                  const VornRect* src, uint32_t colour, VornAngle angle);
bool SquareRotateXYZ(const VornShapeSink& out, const VornShapeTextures& t, const VornRect& dst, float z,
                     const VornRect* src, uint32_t colour, VornAngle ax, VornAngle ay, VornAngle az);
// m: the turn of the XYZ forms (null for the plain and turned ones); turn: added to every angle.
bool Ring(const VornShapeSink& out, const VornShapeTextures& t, float cx, float cy, float z, const VornRect* src,
          float radiusA, float radiusB, uint32_t colourA, uint32_t colourB, uint32_t segments, VornAngle turn,
          const VornMatrix* m, float vScale);
bool Cylinder(const VornShapeSink& out, const VornShapeTextures& t, float cx, float cy, float z, const VornRect* src,
              float radius, float depth, uint32_t colour, uint32_t segments, VornAngle turn, const VornMatrix* m,
              float vScale);
// Stage 0 coordinates are the corners' own, in pixels of texture0.
bool TriangleRotateXYZ(const VornShapeSink& out, VornTextureHandle texture0, const VornVertex2D& a,
                       const VornVertex2D& b, const VornVertex2D& c, VornAngle ax, VornAngle ay, VornAngle az);
// Fewer than two points draw nothing (and count as taken).
bool Strip(const VornShapeSink& out, VornTextureHandle texture0, const float* x, const float* y, const float* z,
           const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t count,
           const VornRect* src);

}  // namespace VornSpriteShape
