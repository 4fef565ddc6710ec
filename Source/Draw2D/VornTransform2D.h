// The screen-space vertex every 2D drawing class takes, the vertex types of 2D batches, and the 2D
// transform block (depth perspective, zoom, scissor) with the one clipper that the batched 2D
// classes share: triangles, lines and points are placed and clipped here.
#pragma once
#include <windows.h>
#include <cstdint>

// One texture coordinate pair, in texture units (0..1).
struct VornTexCoord {
    float u, v;
};

// The working 2D vertex (D3D FVF XYZRHW | DIFFUSE | TEX4, 52 bytes). x and y are virtual-screen
// pixels and z is on the 0..65535 depth scale (32767 the middle) until the transform places them.
struct VornVertex2D {
    float x, y, z, rhw;
    uint32_t colour;       // D3DCOLOR, A8R8G8B8
    VornTexCoord tex[4];   // stages 0-3
};
static_assert(sizeof(VornVertex2D) == 52, "VornVertex2D is the 52-byte XYZRHW|DIFFUSE|TEX4 vertex");

// A rectangle of the 2D drawing classes: destinations in virtual-screen pixels, sources in texture
// pixels.
struct VornRect {
    float x, y, w, h;
};

// Texture coordinates of a source rectangle's four edges, for one stage.
struct VornRectUV {
    float uL, vT, uR, vB;
};

// The vertex type of a 2D batch: how many texture-coordinate pairs (0-4) its vertices keep. Only
// the first VornVertexStride2D(type) bytes of each VornVertex2D are stored and uploaded.
typedef uint32_t VornVertexType2D;
constexpr VornVertexType2D VORN_VERTEX2D_TYPE_MAX = 4;
constexpr uint32_t VORN_FVF_2D_BASE = 0x044;   // D3DFVF_XYZRHW | D3DFVF_DIFFUSE

constexpr uint32_t VornVertexStride2D(VornVertexType2D type) { return 20 + 8 * type; }
constexpr uint32_t VornVertexFVF2D(VornVertexType2D type) { return VORN_FVF_2D_BASE | (type << 8); }

// Per-class copy of the 2D transform settings that Vorn3D sets on all batched 2D classes together.
struct VornTransform2D {
    uint8_t perspectiveOn;
    float perspectiveX, perspectiveY, perspectiveFactor;
    uint8_t zoomOn;
    float zoomX, zoomY, zoomScale;
    uint8_t scissorOn;
    float scissorLeft, scissorTop, scissorRight, scissorBottom;

    // Depth scale of the transform: 1/65535 as an f32.
    static constexpr float kDepthScale = 1.0f / 65535.0f;
    // Largest number of vertices a clipped triangle gives (5 triangles).
    static constexpr uint32_t kClipOutputMax = 15;

    void SetPerspective(bool on, float centreX, float centreY, float factor);
    void SetZoom(bool on, float centreX, float centreY, float scale);
    // On: stores the rectangle's edges as floats. Off: keeps the stored edges. Null rectangle with
    // on is taken as off.
    void SetScissoring(bool on, const RECT* rect);

    // Perspective (or plain depth scaling), zoom, then the virtual-to-real screen scale, in place.
    // False when the vertex cannot be placed: the perspective denominator is not positive, or a
    // result is not finite. The caller drops whatever the vertex belongs to.
    bool TransformVertex(VornVertex2D& v) const;
    // The same with the virtual-to-real scale taken once for many vertices (ScreenScale()).
    struct Scale {
        float x, y;
    };
    static Scale ScreenScale();
    bool TransformVertex(VornVertex2D& v, Scale scale) const;
    // An axis-aligned rectangle's two x, two y and its one depth (rhw 1 before), placed as
    // TransformVertex places each corner: corners of one depth share the perspective's scale.
    // False when a corner cannot be placed.
    bool TransformRect(float x[2], float y[2], float& z, float& rhw, Scale scale) const;
    // The three vertices of in[] transformed into out[]; false when any of them cannot be placed.
    bool TransformTriangle(VornVertex2D out[3], const VornVertex2D in[3]) const;

    // Clips a transformed triangle against the scissor rectangle (a vertex on an edge is inside)
    // and writes the result as a fan of triangles into out: 0 or a multiple of 3 vertices, at most
    // kClipOutputMax. Without the scissor the triangle is copied as it is.
    uint32_t ClipTriangle(const VornVertex2D in[3], VornVertex2D out[kClipOutputMax]) const;
    // True when the scissor is on and some corner of the transformed triangle lies outside it:
    // only then does ClipTriangle change anything.
    bool Cuts(const VornVertex2D in[3]) const;
    // Cuts a transformed line at the scissor edges (left, right, top, bottom), replacing an end
    // outside an edge by the crossing point; false when nothing of the line is inside.
    bool ClipLine(VornVertex2D& a, VornVertex2D& b) const;
    // True when a transformed point lies inside the scissor rectangle or on its edge, or when the
    // scissor is off.
    bool PointInside(const VornVertex2D& v) const;

    // a + (b - a) * t for position, rhw and the eight texture coordinates; each colour byte takes
    // the integer part of the same interpolation.
    static void LerpVertex(VornVertex2D& out, const VornVertex2D& a, const VornVertex2D& b, float t);

private:
    // N x and N y values with one depth: the steps of TransformVertex, the finite test of x and y
    // left to the caller.
    template <uint32_t N>
    bool Place(float* x, float* y, float& z, float& rhw, Scale scale) const;
};
