#include "VornEffect.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMatrix.h"
#include "VornMemory.h"
#include "VornSpriteShape.h"
#include "VornVector3.h"
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using VornSpriteShape::CirclePoint;
using VornSpriteShape::SegmentAngle;

constexpr float kFadeDepth = 32767.0f;

// The rhw of a vertex at depth z of the XYZ forms: z below 1 (0 included) counts as 1.
float RhwOf(float z) { return 1.0f / std::max(z, 1.0f); }

VornVertex2D Vertex(float x, float y, float z, float rhw, uint32_t colour)
{
    VornVertex2D v = {};
    v.x = x;
    v.y = y;
    v.z = z;
    v.rhw = rhw;
    v.colour = colour;
    return v;
}

// A point of a circle at (cx, cy, z): turned by m when given (rhw from its depth), else rhw 1.
VornVertex2D OnCircle(float cx, float cy, float z, VornAngle a, float radius, float depth, const VornMatrix* m,
                      uint32_t colour)
{
    const D3DXVECTOR3 p = CirclePoint(a, radius, depth, m);
    const float pz = p.z + z;
    return Vertex(p.x + cx, p.y + cy, pz, m ? RhwOf(pz) : 1.0f, colour);
}

void Push(VornPrimitiveHandle p, const VornVertex2D* v, uint32_t triangles) { VornPrimitive::PushPolygon(p, v, triangles); }

void PushQuad(VornPrimitiveHandle p, const VornVertex2D& a, const VornVertex2D& b, const VornVertex2D& c,
              const VornVertex2D& d)
{
    const VornVertex2D v[6] = {a, b, c, c, d, a};
    Push(p, v, 2);
}

// Each corner's offset from the centroid turned, plus the centroid and the corner's own z; colours
// and texture coordinates kept.
void Triangle(VornPrimitiveHandle p, const VornVertex2D* a, const VornVertex2D* b, const VornVertex2D* c,
              VornAngle ax, VornAngle ay, VornAngle az)
{
    if (p == VORN_INVALID_HANDLE || !a || !b || !c) return;
    const float mx = (a->x + b->x + c->x) / 3.0f, my = (a->y + b->y + c->y) / 3.0f;
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    const VornVertex2D* in[3] = {a, b, c};
    VornVertex2D v[3];
    for (uint32_t k = 0; k < 3; ++k) {
        v[k] = *in[k];
        VornVector3 q(in[k]->x - mx, in[k]->y - my, 0.0f);
        q.TransformSelf(m);
        v[k].x = q.x + mx;
        v[k].y = q.y + my;
        v[k].z = in[k]->z + q.z;
        v[k].rhw = RhwOf(v[k].z);
    }
    Push(p, v, 1);
}

void RegularTriangle(VornPrimitiveHandle p, float cx, float cy, float z, float radius, uint32_t colour,
                     VornAngle turn, const VornMatrix* m)
{
    if (p == VORN_INVALID_HANDLE) return;
    static const VornAngle kCorner[3] = {-16384, 5461, 27306};
    VornVertex2D v[3];
    for (uint32_t k = 0; k < 3; ++k) v[k] = OnCircle(cx, cy, z, kCorner[k] + turn, radius, 0.0f, m, colour);
    Push(p, v, 1);
}

void Rect(VornPrimitiveHandle p, const VornRect* r, float z, uint32_t colour, VornAngle angle, const VornMatrix* m)
{
    if (p == VORN_INVALID_HANDLE || !r) return;
    const float cx = r->x + r->w * 0.5f, cy = r->y + r->h * 0.5f;
    const float hw = r->w * 0.5f, hh = r->h * 0.5f;
    auto at = [&](float dx, float dy) {
        if (m) {
            VornVector3 q(dx, dy, 0.0f);
            q.TransformSelf(*m);
            return Vertex(q.x + cx, q.y + cy, q.z + z, RhwOf(q.z + z), colour);
        }
        if (angle == 0) return Vertex(cx + dx, cy + dy, z, 1.0f, colour);
        D3DXVECTOR2 q(dx, dy);
        VornMath::RotationPoint(&q, angle);
        return Vertex(q.x + cx, q.y + cy, z, 1.0f, colour);
    };
    if (!m && angle == 0) {
        // Plain: the corners as given, not through the centre.
        const float x0 = r->x, y0 = r->y, x1 = r->x + r->w, y1 = r->y + r->h;
        PushQuad(p, Vertex(x0, y0, z, 1.0f, colour), Vertex(x1, y0, z, 1.0f, colour), Vertex(x1, y1, z, 1.0f, colour),
                 Vertex(x0, y1, z, 1.0f, colour));
        return;
    }
    PushQuad(p, at(-hw, -hh), at(hw, -hh), at(hw, hh), at(-hw, hh));
}

void Circle(VornPrimitiveHandle p, float cx, float cy, float z, float radius, uint32_t colour, uint32_t n,
            VornAngle turn, const VornMatrix* m)
{
    if (p == VORN_INVALID_HANDLE) return;
    const VornVertex2D centre = Vertex(cx, cy, z, m ? RhwOf(z) : 1.0f, colour);
    for (uint32_t i = 0; i < n; ++i) {
        const VornVertex2D v[3] = {centre, OnCircle(cx, cy, z, SegmentAngle(i, n) + turn, radius, 0.0f, m, colour),
                                   OnCircle(cx, cy, z, SegmentAngle(i + 1, n) + turn, radius, 0.0f, m, colour)};
        Push(p, v, 1);
    }
}

void Ring(VornPrimitiveHandle p, float cx, float cy, float z, float ra, float rb, uint32_t ca, uint32_t cb,
          uint32_t n, VornAngle turn, const VornMatrix* m)
{
    if (p == VORN_INVALID_HANDLE) return;
    for (uint32_t i = 0; i < n; ++i) {
        const VornAngle a0 = SegmentAngle(i, n) + turn, a1 = SegmentAngle(i + 1, n) + turn;
        const VornVertex2D v[6] = {OnCircle(cx, cy, z, a0, ra, 0.0f, m, ca), OnCircle(cx, cy, z, a0, rb, 0.0f, m, cb),
                                   OnCircle(cx, cy, z, a1, rb, 0.0f, m, cb), OnCircle(cx, cy, z, a1, rb, 0.0f, m, cb),
                                   OnCircle(cx, cy, z, a1, ra, 0.0f, m, ca), OnCircle(cx, cy, z, a0, ra, 0.0f, m, ca)};
        Push(p, v, 2);
    }
}

// The wall per segment: (a0, -h), (a0, +h), (a1, +h), (a1, -h).
void Cylinder(VornPrimitiveHandle p, float cx, float cy, float z, float radius, float depth, uint32_t colour,
              uint32_t n, VornAngle turn, const VornMatrix* m)
{
    if (p == VORN_INVALID_HANDLE) return;
    const float h = depth * 0.5f;
    for (uint32_t i = 0; i < n; ++i) {
        const VornAngle a0 = SegmentAngle(i, n) + turn, a1 = SegmentAngle(i + 1, n) + turn;
        PushQuad(p, OnCircle(cx, cy, z, a0, radius, -h, m, colour), OnCircle(cx, cy, z, a0, radius, h, m, colour),
                 OnCircle(cx, cy, z, a1, radius, h, m, colour), OnCircle(cx, cy, z, a1, radius, -h, m, colour));
    }
}

// 255 - k x 255 / count (integer) plus the offset, clamped to 0..255, as the alpha of white.
uint32_t FadeColour(uint32_t k, uint32_t count, int32_t offset)
{
    const int64_t a = 255 - static_cast<int64_t>(k) * 255 / count + offset;
    return static_cast<uint32_t>(std::clamp<int64_t>(a, 0, 255)) << 24 | 0xFFFFFF;
}

void ScreenFade(VornPrimitiveHandle p, VornTextureHandle texture, const VornRect* src, uint32_t segments,
                uint32_t rings, int32_t offset, uint8_t smooth, bool sweep)
{
    if (p == VORN_INVALID_HANDLE || !src || segments == 0 || rings == 0) return;
    uint32_t width = 0, height = 0;
    Vorn::GetScreenInfo(&width, &height, nullptr);
    if (width == 0 || height == 0) return;
    const float W = static_cast<float>(width), H = static_cast<float>(height);
    const float cx = static_cast<float>(width / 2), cy = static_cast<float>(height / 2);
    const float R = 1.2f * std::sqrt(cx * cx + cy * cy);
    const float u0 = VornTexture::PixelToU(texture, src->x), uw = VornTexture::PixelToU(texture, src->w);
    const float v0 = VornTexture::PixelToV(texture, src->y), vh = VornTexture::PixelToV(texture, src->h);
    const VornAngle start = sweep ? -16384 : 0;
    auto at = [&](uint32_t ring, uint32_t segment, uint32_t colour) {
        const float r = static_cast<float>(ring) * R / static_cast<float>(rings);
        const VornAngle a = static_cast<VornAngle>(static_cast<int64_t>(segment) * 65536 / segments) + start;
        VornVertex2D v = Vertex(cx + VornMath::Cos(a) * r, cy + VornMath::Sin(a) * r, kFadeDepth, 1.0f / kFadeDepth,
                                colour);
        v.tex[0] = {u0 + uw * v.x / W, v0 + vh * v.y / H};
        return v;
    };
    for (uint32_t i = 0; i < rings; ++i) {
        for (uint32_t j = 0; j < segments; ++j) {
            // The colours of the inner and outer edge (ring fade) or the first and second (sweep).
            const uint32_t k = sweep ? j : i, count = sweep ? segments : rings;
            const uint32_t first = FadeColour(k, count, offset);
            const uint32_t second = smooth ? FadeColour(k + 1, count, offset) : first;
            const uint32_t in0 = first, out0 = sweep ? first : second, out1 = second, in1 = sweep ? second : first;
            PushQuad(p, at(i, j, in0), at(i + 1, j, out0), at(i + 1, j + 1, out1), at(i, j + 1, in1));
        }
    }
}

}  // namespace

void VornEffect::FillTriangleRotate(VornPrimitiveHandle p, const VornVertex2D* a, const VornVertex2D* b,
                                    const VornVertex2D* c, VornAngle angle)
{
    Triangle(p, a, b, c, 0, 0, angle);
}

void VornEffect::FillTriangleRotateXYZ(VornPrimitiveHandle p, const VornVertex2D* a, const VornVertex2D* b,
                                       const VornVertex2D* c, VornAngle ax, VornAngle ay, VornAngle az)
{
    Triangle(p, a, b, c, ax, ay, az);
}

void VornEffect::FillRegularTriangle(VornPrimitiveHandle p, float cx, float cy, float z, float radius, uint32_t colour)
{
    RegularTriangle(p, cx, cy, z, radius, colour, 0, nullptr);
}

void VornEffect::FillRegularTriangleRotate(VornPrimitiveHandle p, float cx, float cy, float z, float radius,
                                           uint32_t colour, VornAngle angle)
{
    RegularTriangle(p, cx, cy, z, radius, colour, angle, nullptr);
}

void VornEffect::FillRegularTriangleRotateXYZ(VornPrimitiveHandle p, float cx, float cy, float z, float radius,
                                              uint32_t colour, VornAngle ax, VornAngle ay, VornAngle az)
{
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    RegularTriangle(p, cx, cy, z, radius, colour, 0, &m);
}

void VornEffect::FillRect(VornPrimitiveHandle p, const VornRect* rect, float z, uint32_t colour)
{
    Rect(p, rect, z, colour, 0, nullptr);
}

void VornEffect::FillRectRotate(VornPrimitiveHandle p, const VornRect* rect, float z, uint32_t colour, VornAngle angle)
{
    Rect(p, rect, z, colour, angle, nullptr);
}

void VornEffect::FillRectRotateXYZ(VornPrimitiveHandle p, const VornRect* rect, float z, uint32_t colour,
                                   VornAngle ax, VornAngle ay, VornAngle az)
{
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    Rect(p, rect, z, colour, 0, &m);
}

void VornEffect::FillCircle(VornPrimitiveHandle p, float cx, float cy, float z, float radius, uint32_t colour,
                            uint32_t segments)
{
    Circle(p, cx, cy, z, radius, colour, segments, 0, nullptr);
}

void VornEffect::FillCircleRotate(VornPrimitiveHandle p, float cx, float cy, float z, float radius, uint32_t colour,
                                  uint32_t segments, VornAngle angle)
{
    Circle(p, cx, cy, z, radius, colour, segments, angle, nullptr);
}

void VornEffect::FillCircleRotateXYZ(VornPrimitiveHandle p, float cx, float cy, float z, float radius,
                                     uint32_t colour, uint32_t segments, VornAngle ax, VornAngle ay, VornAngle az)
{
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    Circle(p, cx, cy, z, radius, colour, segments, 0, &m);
}

void VornEffect::FillRing(VornPrimitiveHandle p, float cx, float cy, float z, float radiusA, float radiusB,
                          uint32_t colourA, uint32_t colourB, uint32_t segments)
{
    Ring(p, cx, cy, z, radiusA, radiusB, colourA, colourB, segments, 0, nullptr);
}

void VornEffect::FillRingRotate(VornPrimitiveHandle p, float cx, float cy, float z, float radiusA, float radiusB,
                                uint32_t colourA, uint32_t colourB, uint32_t segments, VornAngle angle)
{
    Ring(p, cx, cy, z, radiusA, radiusB, colourA, colourB, segments, angle, nullptr);
}

void VornEffect::FillRingRotateXYZ(VornPrimitiveHandle p, float cx, float cy, float z, float radiusA, float radiusB,
                                   uint32_t colourA, uint32_t colourB, uint32_t segments, VornAngle ax, VornAngle ay,
                                   VornAngle az)
{
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    Ring(p, cx, cy, z, radiusA, radiusB, colourA, colourB, segments, 0, &m);
}

void VornEffect::FillCylinder(VornPrimitiveHandle p, float cx, float cy, float z, float radius, float depth,
                              uint32_t colour, uint32_t segments)
{
    Cylinder(p, cx, cy, z, radius, depth, colour, segments, 0, nullptr);
}

void VornEffect::FillCylinderRotate(VornPrimitiveHandle p, float cx, float cy, float z, float radius, float depth,
                                    uint32_t colour, uint32_t segments, VornAngle angle)
{
    Cylinder(p, cx, cy, z, radius, depth, colour, segments, angle, nullptr);
}

void VornEffect::FillCylinderRotateXYZ(VornPrimitiveHandle p, float cx, float cy, float z, float radius, float depth,
                                       uint32_t colour, uint32_t segments, VornAngle ax, VornAngle ay, VornAngle az)
{
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    Cylinder(p, cx, cy, z, radius, depth, colour, segments, 0, &m);
}

void VornEffect::FillScreenRingFade(VornPrimitiveHandle p, VornTextureHandle texture, const VornRect* src,
                                    uint32_t segments, uint32_t rings, int32_t alphaOffset, uint8_t smooth)
{
    ScreenFade(p, texture, src, segments, rings, alphaOffset, smooth, false);
}

void VornEffect::FillScreenSweepFade(VornPrimitiveHandle p, VornTextureHandle texture, const VornRect* src,
                                     uint32_t segments, uint32_t rings, int32_t alphaOffset, uint8_t smooth)
{
    ScreenFade(p, texture, src, segments, rings, alphaOffset, smooth, true);
}

// ---------------------------------------------------------------------------------------------
// Ripple

VornRipple* VornEffect::CreateRipple(uint32_t columns, uint32_t rows, uint32_t column, uint32_t row)
{
    // Positions divide by columns - 1 and rows - 1; indices are 16-bit; the disturbance is written
    // into the grid.
    if (columns < 2 || rows < 2 || static_cast<uint64_t>(columns) * rows > 65536 || column >= columns || row >= rows) {
        VornLog::StrongRed("VornEffect::CreateRipple");
        VornLog::Print(" : [ %u x %u ] [ %u, %u ] : 作成できない格子です", columns, rows, column, row);
        VornLog::LineBreak();
        return nullptr;
    }
    auto* g = static_cast<VornRipple*>(VORN_ALLOC_ZERO_QUIET(sizeof(VornRipple)));
    if (!g) return nullptr;
    const uint32_t n = columns * rows;
    g->columns = columns;
    g->rows = rows;
    g->vertexCount = n;
    g->indexCount = (columns - 1) * (rows - 1) * 6;
    g->force = static_cast<float*>(VORN_ALLOC_ZERO_QUIET(n * sizeof(float)));
    g->velocity = static_cast<float*>(VORN_ALLOC_ZERO_QUIET(n * sizeof(float)));
    g->vertices = static_cast<VornRippleVertex*>(VORN_ALLOC_ZERO_QUIET(n * sizeof(VornRippleVertex)));
    g->indices = static_cast<uint16_t*>(VORN_ALLOC_ZERO_QUIET(g->indexCount * sizeof(uint16_t)));
    if (!g->force || !g->velocity || !g->vertices || !g->indices) {
        ReleaseRipple(g);
        return nullptr;
    }
    for (uint32_t r = 0; r < rows; ++r) {
        for (uint32_t c = 0; c < columns; ++c) {
            VornRippleVertex& v = g->vertices[r * columns + c];
            v.x = -1.0f + 2.0f * static_cast<float>(c) / static_cast<float>(columns - 1);
            v.y = -1.0f + 2.0f * static_cast<float>(r) / static_cast<float>(rows - 1);
            v.nz = -1.0f;
        }
    }
    g->vertices[row * columns + column].z = 0.1f;
    uint16_t* out = g->indices;
    for (uint32_t r = 0; r + 1 < rows; ++r) {
        for (uint32_t c = 0; c + 1 < columns; ++c) {
            const uint32_t k = r * columns + c, w = columns;
            const uint32_t cell[6] = {k + w, k + 1, k, k + w + 1, k + 1, k + w};
            for (uint32_t i : cell) *out++ = static_cast<uint16_t>(i);
        }
    }
    ComputeRippleNormals(g);
    return g;
}

void VornEffect::ReleaseRipple(VornRipple* grid)
{
    if (!grid) return;
    VornMemory::FreeQuiet(grid->force);
    VornMemory::FreeQuiet(grid->velocity);
    VornMemory::FreeQuiet(grid->vertices);
    VornMemory::FreeQuiet(grid->indices);
    VornMemory::FreeQuiet(grid);
}

void VornEffect::UpdateRipple(VornRipple* grid, uint8_t alpha, uint8_t lit)
{
    if (!grid) return;
    const int32_t w = static_cast<int32_t>(grid->columns), h = static_cast<int32_t>(grid->rows);
    VornRippleVertex* v = grid->vertices;
    memset(grid->force, 0, grid->vertexCount * sizeof(float));
    // Left, up, right, down, down-right, up-left, down-left, up-right; the diagonals pull harder.
    static const int32_t kDr[8] = {0, -1, 0, 1, 1, -1, 1, -1}, kDc[8] = {-1, 0, 1, 0, 1, -1, -1, 1};
    for (int32_t r = 2; r <= h - 3; ++r) {
        for (int32_t c = 2; c <= w - 3; ++c) {
            const int32_t k = r * w + c;
            for (int32_t i = 0; i < 8; ++i) {
                const int32_t n = (r + kDr[i]) * w + c + kDc[i];
                float d = v[k].z - v[n].z;
                if (i >= 4) d *= 4.9497476f;
                grid->force[k] -= d;
                grid->force[n] += d;
            }
        }
    }
    for (uint32_t k = 0; k < grid->vertexCount; ++k) grid->velocity[k] += grid->force[k] * 0.001f;
    for (uint32_t k = 0; k < grid->vertexCount; ++k) v[k].z += grid->velocity[k];
    ComputeRippleNormals(grid);
    ComputeRippleTexCoords(grid);
    ComputeRippleColours(grid, alpha, lit);
}

void VornEffect::ComputeRippleNormals(VornRipple* grid)
{
    if (!grid) return;
    const int32_t w = static_cast<int32_t>(grid->columns), h = static_cast<int32_t>(grid->rows);
    VornRippleVertex* v = grid->vertices;
    for (int32_t r = 0; r < h; ++r) {
        for (int32_t c = 0; c < w; ++c) {
            // Beyond the edge a column repeats the point's own, a row is the point's own height.
            auto at = [&](int32_t rr, int32_t cc) {
                if (rr < 0 || rr >= h) return v[r * w + c].z;
                if (cc < 0 || cc >= w) cc = c;
                return v[rr * w + cc].z;
            };
            const float below = at(r + 1, c - 1) + 2.0f * at(r + 1, c) + at(r + 1, c + 1);
            const float above = at(r - 1, c - 1) + 2.0f * at(r - 1, c) + at(r - 1, c + 1);
            const float right = at(r - 1, c + 1) + 2.0f * at(r, c + 1) + at(r + 1, c + 1);
            const float left = at(r - 1, c - 1) + 2.0f * at(r, c - 1) + at(r + 1, c - 1);
            VornVector3 n(below - above, right - left, -1.0f);
            n.NormalizeSelf();
            VornRippleVertex& p = v[r * w + c];
            p.nx = n.x;
            p.ny = n.y;
            p.nz = n.z;
        }
    }
}

void VornEffect::ComputeRippleTexCoords(VornRipple* grid)
{
    if (!grid) return;
    for (uint32_t k = 0; k < grid->vertexCount; ++k) {
        VornRippleVertex& p = grid->vertices[k];
        VornVector3 e(p.x, p.y, p.z - 10.0f);
        e.NormalizeSelf();
        VornVector3 r;
        r.Reflect(VornVector3(p.nx, p.ny, p.nz), e);
        p.u = 0.5f - 2.5f * r.x;
        p.v = 0.5f - 2.5f * r.y;
    }
}

void VornEffect::ComputeRippleColours(VornRipple* grid, uint8_t alpha, uint8_t lit)
{
    if (!grid) return;
    VornVector3 light(1.0f, 1.0f, 3.0f);
    light.NormalizeSelf();
    for (uint32_t k = 0; k < grid->vertexCount; ++k) {
        VornRippleVertex& p = grid->vertices[k];
        if (!lit) {
            p.colour = static_cast<uint32_t>(alpha) << 24 | 0xFFFFFF;
            continue;
        }
        const float t = std::clamp(std::pow(0.07f - light.Dot(VornVector3(p.nx, p.ny, p.nz)), 8.0f), 0.0f, 1.0f);
        const uint32_t grey = static_cast<uint32_t>(t * 255.0f);
        p.colour = static_cast<uint32_t>(alpha) << 24 | grey << 16 | grey << 8 | grey;
    }
}

void VornEffect::DrawRipple(const VornRipple* grid, VornPrimitiveHandle p)
{
    if (!grid || p == VORN_INVALID_HANDLE) return;
    uint32_t width = 0, height = 0;
    Vorn::GetScreenInfo(&width, &height, nullptr);
    const float hw = static_cast<float>(width / 2), hh = static_cast<float>(height / 2);
    for (uint32_t i = 0; i + 2 < grid->indexCount; i += 3) {
        VornVertex2D v[3];
        for (uint32_t k = 0; k < 3; ++k) {
            const VornRippleVertex& q = grid->vertices[grid->indices[i + k]];
            // The depth of the height about the middle; rhw from it as the XYZ shapes do, so that
            // a surface at rest carries 1 / 32767.
            const float z = q.z * 100.0f + 32767.0f;
            v[k] = Vertex(hw * q.x + hw, hh * q.y + hh, z, RhwOf(z), q.colour);
            v[k].tex[0] = {q.u, q.v};
        }
        Push(p, v, 1);
    }
}
