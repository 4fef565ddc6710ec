#include "VornSpriteShape.h"
#include "VornVector3.h"

namespace {

// The coordinates of stages below the stage count from their source rectangles, moved inwards by
// the texel inset (v scaled before the conversion); the other stages get 0.
void SourceUV(const VornShapeTextures& t, const VornRect* src, float vScale, VornRectUV uv[4])
{
    const float ti = VornTexture::GetTexelInset();
    for (uint32_t s = 0; s < 4; ++s) {
        if (s >= t.stages || !src) {
            uv[s] = {0.0f, 0.0f, 0.0f, 0.0f};
            continue;
        }
        // PixelToU(x) is x times the texture's 1 / width (0 for none): looked up once per stage.
        const VornRect& q = src[s];
        const float toU = VornTexture::PixelToU(t.texture[s], 1.0f), toV = VornTexture::PixelToV(t.texture[s], 1.0f);
        uv[s].uL = (q.x + ti) * toU;
        uv[s].vT = (q.y + ti) * vScale * toV;
        uv[s].uR = (q.x + q.w - ti) * toU;
        uv[s].vB = (q.y + q.h - ti) * vScale * toV;
    }
}

VornVertex2D Corner(float x, float y, float z, uint32_t colour, const VornRectUV uv[4], bool right, bool bottom)
{
    VornVertex2D v;
    v.x = x;
    v.y = y;
    v.z = z;
    v.rhw = 1.0f;
    v.colour = colour;
    for (uint32_t s = 0; s < 4; ++s) v.tex[s] = {right ? uv[s].uR : uv[s].uL, bottom ? uv[s].vB : uv[s].vT};
    return v;
}

// The quad as the triangles (p0, p1, p2) and (p2, p3, p0), in one call of the sink.
bool PushQuad(const VornShapeSink& out, const VornVertex2D& p0, const VornVertex2D& p1, const VornVertex2D& p2,
              const VornVertex2D& p3)
{
    if (out.pushQuad) {
        const VornVertex2D q[4] = {p0, p1, p2, p3};
        return out.pushQuad(out.context, q);
    }
    const VornVertex2D v[6] = {p0, p1, p2, p2, p3, p0};
    return out.push(out.context, v, 2);
}

}  // namespace

D3DXVECTOR3 VornSpriteShape::CirclePoint(VornAngle a, float r, float d, const VornMatrix* m)
{
    VornVector3 p(VornMath::Cos(a) * r, VornMath::Sin(a) * r, d);
    if (m) p.TransformSelf(*m);
    return p;
}

bool VornSpriteShape::Square(const VornShapeSink& out, const VornShapeTextures& t, const VornRect& dst, float z,
                             const VornRect* src, uint32_t colour)
{
    VornRectUV uv[4];
    SourceUV(t, src, 1.0f, uv);
    const float po = VornTexture::GetPixelOffset();
    const float x0 = dst.x + po, y0 = dst.y + po;
    const float x1 = dst.x + dst.w + po, y1 = dst.y + dst.h + po;
    if (out.pushRect) return out.pushRect(out.context, x0, y0, x1, y1, z, colour, uv);
    return PushQuad(out, Corner(x0, y0, z, colour, uv, false, false), Corner(x1, y0, z, colour, uv, true, false),
                    Corner(x1, y1, z, colour, uv, true, true), Corner(x0, y1, z, colour, uv, false, true));
}

bool VornSpriteShape::SquareRotate(const VornShapeSink& out, const VornShapeTextures& t, const VornRect& dst, float z,
                                   const VornRect* src, uint32_t colour, VornAngle angle)
{
    VornRectUV uv[4];
    SourceUV(t, src, 1.0f, uv);
    const float po = VornTexture::GetPixelOffset();
    const float cx = (dst.x + (dst.x + dst.w)) * 0.5f, cy = (dst.y + (dst.y + dst.h)) * 0.5f;
    auto at = [&](float x, float y, bool right, bool bottom) {
        D3DXVECTOR2 p(x + po - cx, y + po - cy);
        VornMath::RotationPoint(&p, angle);
        return Corner(p.x + cx, p.y + cy, z, colour, uv, right, bottom);
    };
    const float x0 = dst.x, y0 = dst.y, x1 = dst.x + dst.w, y1 = dst.y + dst.h;
    return PushQuad(out, at(x0, y0, false, false), at(x1, y0, true, false), at(x1, y1, true, true),
                    at(x0, y1, false, true));
}

bool VornSpriteShape::SquareRotateXYZ(const VornShapeSink& out, const VornShapeTextures& t, const VornRect& dst,
                                      float z, const VornRect* src, uint32_t colour, VornAngle ax, VornAngle ay,
                                      VornAngle az)
{
    VornRectUV uv[4];
    SourceUV(t, src, 1.0f, uv);
    // The pixel offset moves the centre, so that with all angles 0 the quad lies where Square
    // puts it.
    const float po = VornTexture::GetPixelOffset();
    const float cx = (dst.x + (dst.x + dst.w)) * 0.5f + po, cy = (dst.y + (dst.y + dst.h)) * 0.5f + po;
    const float hw = dst.w * 0.5f, hh = dst.h * 0.5f;
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    auto at = [&](float x, float y, bool right, bool bottom) {
        VornVector3 p(x, y, 0.0f);
        p.TransformSelf(m);
        return Corner(p.x + cx, p.y + cy, p.z + z, colour, uv, right, bottom);
    };
    return PushQuad(out, at(-hw, -hh, false, false), at(hw, -hh, true, false), at(hw, hh, true, true),
                    at(-hw, hh, false, true));
}

bool VornSpriteShape::Ring(const VornShapeSink& out, const VornShapeTextures& t, float cx, float cy, float z,
                           const VornRect* src, float radiusA, float radiusB, uint32_t colourA, uint32_t colourB,
                           uint32_t segments, VornAngle turn, const VornMatrix* m, float vScale)
{
    VornRectUV uv[4];
    SourceUV(t, src, vScale, uv);
    const float po = VornTexture::GetPixelOffset();
    cx += po;
    cy += po;
    auto at = [&](VornAngle a, float radius, uint32_t colour, bool right, bool bottom) {
        const D3DXVECTOR3 p = CirclePoint(a, radius, 0.0f, m);
        return Corner(p.x + cx, p.y + cy, p.z + z, colour, uv, right, bottom);
    };
    bool all = true;
    for (uint32_t i = 0; i < segments; ++i) {
        const VornAngle a0 = SegmentAngle(i, segments) + turn;
        const VornAngle a1 = SegmentAngle(i + 1, segments) + turn;
        all &= PushQuad(out, at(a0, radiusB, colourB, false, true), at(a1, radiusB, colourB, false, false),
                        at(a1, radiusA, colourA, true, false), at(a0, radiusA, colourA, true, true));
    }
    return all;
}

// Tubes: the plain and turned forms walk the wall as T0..T3 of (a0, -h), (a0, +h), (a1, +h),
// (a1, -h); the XYZ form (m given) as (a0, -h), (a1, -h), (a1, +h), (a0, +h), each with its own
// texture corners.
bool VornSpriteShape::Cylinder(const VornShapeSink& out, const VornShapeTextures& t, float cx, float cy, float z,
                               const VornRect* src, float radius, float depth, uint32_t colour, uint32_t segments,
                               VornAngle turn, const VornMatrix* m, float vScale)
{
    VornRectUV uv[4];
    SourceUV(t, src, vScale, uv);
    const float h = depth * 0.5f;
    auto at = [&](VornAngle a, float d, bool right, bool bottom) {
        const D3DXVECTOR3 p = CirclePoint(a, radius, m ? d : 0.0f, m);
        return Corner(p.x + cx, p.y + cy, m ? p.z + z : z + d, colour, uv, right, bottom);
    };
    bool all = true;
    for (uint32_t i = 0; i < segments; ++i) {
        const VornAngle a0 = SegmentAngle(i, segments) + turn;
        const VornAngle a1 = SegmentAngle(i + 1, segments) + turn;
        if (m)
            all &= PushQuad(out, at(a0, -h, false, true), at(a1, -h, false, false), at(a1, h, true, false),
                            at(a0, h, true, true));
        else
            all &= PushQuad(out, at(a0, -h, true, false), at(a0, h, false, false), at(a1, h, false, true),
                            at(a1, -h, true, true));
    }
    return all;
}

bool VornSpriteShape::TriangleRotateXYZ(const VornShapeSink& out, VornTextureHandle texture0, const VornVertex2D& a,
                                        const VornVertex2D& b, const VornVertex2D& c, VornAngle ax, VornAngle ay,
                                        VornAngle az)
{
    const float mx = (a.x + b.x + c.x) / 3.0f, my = (a.y + b.y + c.y) / 3.0f;
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    const VornVertex2D* corners[3] = {&a, &b, &c};
    VornVertex2D v[3] = {};
    for (uint32_t k = 0; k < 3; ++k) {
        const VornVertex2D& p = *corners[k];
        VornVector3 q(p.x - mx, p.y - my, 0.0f);
        q.TransformSelf(m);
        v[k].x = q.x + mx;
        v[k].y = q.y + my;
        v[k].z = p.z + q.z;
        v[k].rhw = 1.0f;
        v[k].colour = p.colour;
        v[k].tex[0] = {VornTexture::PixelToU(texture0, p.tex[0].u), VornTexture::PixelToV(texture0, p.tex[0].v)};
    }
    return out.push(out.context, v, 1);
}

bool VornSpriteShape::Strip(const VornShapeSink& out, VornTextureHandle texture0, const float* x, const float* y,
                            const float* z, const float* halfWidth, const VornAngle* angle, const uint32_t* colour,
                            uint32_t count, const VornRect* src)
{
    if (count < 2 || !x || !y || !z || !halfWidth || !angle || !colour) return true;
    const VornShapeTextures t = {{texture0, VORN_INVALID_HANDLE, VORN_INVALID_HANDLE, VORN_INVALID_HANDLE}, 1};
    VornRectUV uv[4];
    SourceUV(t, src, 1.0f, uv);
    const float step = uv[0].vB - uv[0].vT;
    const float last = static_cast<float>(count - 1);
    auto side = [&](uint32_t j, bool right) {
        D3DXVECTOR2 d(0.0f, halfWidth[j]);
        VornMath::RotationPoint(&d, angle[j]);
        const float sign = right ? 1.0f : -1.0f;
        VornVertex2D v = Corner(x[j] + sign * d.x, y[j] + sign * d.y, z[j], colour[j], uv, right, false);
        v.tex[0].v = uv[0].vT + static_cast<float>(j) * step / last;
        return v;
    };
    bool all = true;
    for (uint32_t i = 0; i + 1 < count; ++i) {
        const VornVertex2D l0 = side(i, false), r0 = side(i, true);
        const VornVertex2D l1 = side(i + 1, false), r1 = side(i + 1, true);
        const VornVertex2D v[6] = {l0, r0, l1, l1, r1, r0};
        all &= out.push(out.context, v, 2);
    }
    return all;
}
