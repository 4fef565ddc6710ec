#include "VornSprite.h"
#include "Vorn3D.h"
#include "VornBatch2D.h"
#include "VornLog.h"
#include "VornMatrix.h"
#include "VornVector3.h"

namespace {

void DestroySprite(VornSpriteRecord& r) { VornPrimitive::Release(r.primitive); }

VornHandleTable<VornSpriteRecord> g_table(DestroySprite, "Sprite Destroy [ No.%u ]");

// Texture coordinates of the four corners of a source rectangle, for one stage.
struct StageUV {
    float uL, vT, uR, vB;
};

// The coordinates of stages below the stage count from their source rectangles, moved inwards by
// the texel inset (v scaled before the conversion); the other stages get 0.
void SourceUV(const VornSpriteRecord& r, const VornRect* src, uint32_t stages, float vScale, StageUV uv[4])
{
    const float ti = VornTexture::GetTexelInset();
    for (uint32_t s = 0; s < 4; ++s) {
        if (s >= stages || !src) {
            uv[s] = {0.0f, 0.0f, 0.0f, 0.0f};
            continue;
        }
        const VornTextureHandle t = r.texture[s];
        const VornRect& q = src[s];
        uv[s].uL = VornTexture::PixelToU(t, q.x + ti);
        uv[s].vT = VornTexture::PixelToV(t, (q.y + ti) * vScale);
        uv[s].uR = VornTexture::PixelToU(t, q.x + q.w - ti);
        uv[s].vB = VornTexture::PixelToV(t, (q.y + q.h - ti) * vScale);
    }
}

VornVertex2D Corner(float x, float y, float z, uint32_t colour, const StageUV uv[4], bool right, bool bottom)
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

// The quad as the triangles (p0, p1, p2) and (p2, p3, p0), pushed by one call; a quad that does
// not fit is dropped and the caller goes on.
void PushQuad(const VornSpriteRecord& r, const VornVertex2D& p0, const VornVertex2D& p1, const VornVertex2D& p2,
              const VornVertex2D& p3)
{
    const VornVertex2D v[6] = {p0, p1, p2, p2, p3, p0};
    VornPrimitive::PushPolygon(r.primitive, v, 2);
}

// Segment i of n starts at straight above the centre and runs clockwise on screen.
VornAngle SegmentAngle(uint32_t i, uint32_t n)
{
    return static_cast<VornAngle>(static_cast<int64_t>(i) * 65536 / static_cast<int64_t>(n) - 16384);
}

// A point at angle a and radius r about the origin, turned by m when there is one.
D3DXVECTOR3 CirclePoint(VornAngle a, float r, float depth, const VornMatrix* m)
{
    VornVector3 p(VornMath::Cos(a) * r, VornMath::Sin(a) * r, depth);
    if (m) p.TransformSelf(*m);
    return p;
}

void Ring(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src, float radiusA, float radiusB,
          uint32_t colourA, uint32_t colourB, uint32_t segments, VornAngle turn, const VornMatrix* m, float vScale,
          uint32_t stages)
{
    const VornSpriteRecord* r = g_table.GetLive(handle);
    if (!r || segments == 0) return;
    StageUV uv[4];
    SourceUV(*r, src, stages, vScale, uv);
    const float po = VornTexture::GetPixelOffset();
    cx += po;
    cy += po;
    auto at = [&](VornAngle a, float radius, uint32_t colour, bool right, bool bottom) {
        const D3DXVECTOR3 p = CirclePoint(a, radius, 0.0f, m);
        return Corner(p.x + cx, p.y + cy, p.z + z, colour, uv, right, bottom);
    };
    for (uint32_t i = 0; i < segments; ++i) {
        const VornAngle a0 = SegmentAngle(i, segments) + turn;
        const VornAngle a1 = SegmentAngle(i + 1, segments) + turn;
        PushQuad(*r, at(a0, radiusB, colourB, false, true), at(a1, radiusB, colourB, false, false),
                 at(a1, radiusA, colourA, true, false), at(a0, radiusA, colourA, true, true));
    }
}

// Tubes: the plain and turned forms walk the wall as T0..T3 of (a0, -h), (a0, +h), (a1, +h),
// (a1, -h); the XYZ form (m given) as (a0, -h), (a1, -h), (a1, +h), (a0, +h), each with its own
// texture corners.
void Cylinder(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src, float radius, float depth,
              uint32_t colour, uint32_t segments, VornAngle turn, const VornMatrix* m, float vScale, uint32_t stages)
{
    const VornSpriteRecord* r = g_table.GetLive(handle);
    if (!r || segments == 0) return;
    StageUV uv[4];
    SourceUV(*r, src, stages, vScale, uv);
    const float h = depth * 0.5f;
    auto at = [&](VornAngle a, float d, bool right, bool bottom) {
        const D3DXVECTOR3 p = CirclePoint(a, radius, m ? d : 0.0f, m);
        return Corner(p.x + cx, p.y + cy, m ? p.z + z : z + d, colour, uv, right, bottom);
    };
    for (uint32_t i = 0; i < segments; ++i) {
        const VornAngle a0 = SegmentAngle(i, segments) + turn;
        const VornAngle a1 = SegmentAngle(i + 1, segments) + turn;
        if (m)
            PushQuad(*r, at(a0, -h, false, true), at(a1, -h, false, false), at(a1, h, true, false),
                     at(a0, h, true, true));
        else
            PushQuad(*r, at(a0, -h, true, false), at(a0, h, false, false), at(a1, h, false, true),
                     at(a1, -h, true, true));
    }
}

}  // namespace

void VornSprite::SetMax(uint32_t count) { g_table.SetMax(count); }

bool VornSprite::Initialize()
{
    return g_table.InitializeLogged("VornSpriteクラスの初期化", "スプライト", __FILE__, __LINE__);
}

void VornSprite::Finalize()
{
    VornLog::Title("VornSpriteクラスの解放");
    g_table.Finalize();
}

VornSpriteHandle VornSprite::Create(uint32_t capacity, uint32_t stages, bool sorted)
{
    VornLog::StrongBlue("VornSprite::Create");
    const VornSpriteHandle handle = g_table.AllocRecord();
    if (handle == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("空きスプライトが見つかりませんでした。");
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", handle);
    VornLog::Print("スプライト用プリミティブ取得 { ");
    VornLog::Print("　　");
    if (stages > VORN_VERTEX2D_TYPE_MAX) stages = VORN_VERTEX2D_TYPE_MAX;
    const VornPrimitiveHandle primitive = VornPrimitive::Create(capacity, stages, sorted);
    VornSpriteRecord& r = g_table[handle];
    if (primitive == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("空きプリミティブが見つかりませんでした。");
        VornLog::LineBreak();
        r.primitive = VORN_INVALID_HANDLE;
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print(" } : ");
    r.primitive = primitive;
    r.vertexType = stages;
    r.capacity = capacity;
    for (VornTextureHandle& t : r.texture) t = VORN_INVALID_HANDLE;
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return handle;
}

void VornSprite::Release(VornSpriteHandle handle)
{
    if (g_table.ReleaseRecord(handle)) VornBatch2D::LogRelease("VornSprite::Release", handle);
}

VornPrimitiveHandle VornSprite::GetPrimitive(VornSpriteHandle handle)
{
    return g_table.GetField(handle, &VornSpriteRecord::primitive, VORN_INVALID_HANDLE);
}

void VornSprite::SetTexture(VornSpriteHandle handle, int32_t stage, VornTextureHandle texture)
{
    VornSpriteRecord* r = g_table.GetLive(handle);
    if (r && stage >= 0 && stage < 4) r->texture[stage] = texture;
}

void VornSprite::Rendering(VornSpriteHandle handle)
{
    const VornSpriteRecord* r = g_table.GetLive(handle);
    if (!r) return;
    for (uint32_t s = 0; s < 4; ++s) Vorn3D::SetTexture(s, r->texture[s]);
    VornPrimitive::Rendering(r->primitive);
}

void VornSprite::ResetBuffer(VornSpriteHandle handle)
{
    if (const VornSpriteRecord* r = g_table.GetLive(handle)) VornPrimitive::ResetBuffer(r->primitive);
}

void VornSprite::UpdateBuffer(VornSpriteHandle handle)
{
    if (const VornSpriteRecord* r = g_table.GetLive(handle)) VornPrimitive::UpdateBuffer(r->primitive);
}

void VornSprite::DrawSquare(VornSpriteHandle handle, const VornRect* dst, float z, const VornRect* src,
                            uint32_t colour, uint32_t stages)
{
    const VornSpriteRecord* r = g_table.GetLive(handle);
    if (!r || !dst) return;
    StageUV uv[4];
    SourceUV(*r, src, stages, 1.0f, uv);
    const float po = VornTexture::GetPixelOffset();
    const float x0 = dst->x + po, y0 = dst->y + po;
    const float x1 = dst->x + dst->w + po, y1 = dst->y + dst->h + po;
    PushQuad(*r, Corner(x0, y0, z, colour, uv, false, false), Corner(x1, y0, z, colour, uv, true, false),
             Corner(x1, y1, z, colour, uv, true, true), Corner(x0, y1, z, colour, uv, false, true));
}

void VornSprite::DrawSquareRotate(VornSpriteHandle handle, const VornRect* dst, float z, const VornRect* src,
                                  uint32_t colour, VornAngle angle, uint32_t stages)
{
    const VornSpriteRecord* r = g_table.GetLive(handle);
    if (!r || !dst) return;
    StageUV uv[4];
    SourceUV(*r, src, stages, 1.0f, uv);
    const float po = VornTexture::GetPixelOffset();
    const float cx = (dst->x + (dst->x + dst->w)) * 0.5f, cy = (dst->y + (dst->y + dst->h)) * 0.5f;
    auto at = [&](float x, float y, bool right, bool bottom) {
        D3DXVECTOR2 p(x + po - cx, y + po - cy);
        VornMath::RotationPoint(&p, angle);
        return Corner(p.x + cx, p.y + cy, z, colour, uv, right, bottom);
    };
    const float x0 = dst->x, y0 = dst->y, x1 = dst->x + dst->w, y1 = dst->y + dst->h;
    PushQuad(*r, at(x0, y0, false, false), at(x1, y0, true, false), at(x1, y1, true, true), at(x0, y1, false, true));
}

void VornSprite::DrawSquareRotateXYZ(VornSpriteHandle handle, const VornRect* dst, float z, const VornRect* src,
                                     uint32_t colour, VornAngle ax, VornAngle ay, VornAngle az, uint32_t stages)
{
    const VornSpriteRecord* r = g_table.GetLive(handle);
    if (!r || !dst) return;
    StageUV uv[4];
    SourceUV(*r, src, stages, 1.0f, uv);
    // The pixel offset moves the centre, so that with all angles 0 the quad lies where DrawSquare
    // puts it.
    const float po = VornTexture::GetPixelOffset();
    const float cx = (dst->x + (dst->x + dst->w)) * 0.5f + po, cy = (dst->y + (dst->y + dst->h)) * 0.5f + po;
    const float hw = dst->w * 0.5f, hh = dst->h * 0.5f;
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    auto at = [&](float x, float y, bool right, bool bottom) {
        VornVector3 p(x, y, 0.0f);
        p.TransformSelf(m);
        return Corner(p.x + cx, p.y + cy, p.z + z, colour, uv, right, bottom);
    };
    PushQuad(*r, at(-hw, -hh, false, false), at(hw, -hh, true, false), at(hw, hh, true, true),
             at(-hw, hh, false, true));
}

void VornSprite::DrawRing(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src, float radiusA,
                          float radiusB, uint32_t colourA, uint32_t colourB, uint32_t segments, float vScale,
                          uint32_t stages)
{
    Ring(handle, cx, cy, z, src, radiusA, radiusB, colourA, colourB, segments, 0, nullptr, vScale, stages);
}

void VornSprite::DrawRingRotate(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                float radiusA, float radiusB, uint32_t colourA, uint32_t colourB, uint32_t segments,
                                VornAngle angle, float vScale, uint32_t stages)
{
    Ring(handle, cx, cy, z, src, radiusA, radiusB, colourA, colourB, segments, angle, nullptr, vScale, stages);
}

void VornSprite::DrawRingRotateXYZ(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                   float radiusA, float radiusB, uint32_t colourA, uint32_t colourB,
                                   uint32_t segments, VornAngle ax, VornAngle ay, VornAngle az, float vScale,
                                   uint32_t stages)
{
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    Ring(handle, cx, cy, z, src, radiusA, radiusB, colourA, colourB, segments, 0, &m, vScale, stages);
}

void VornSprite::DrawCylinder(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src, float radius,
                              float depth, uint32_t colour, uint32_t segments, float vScale, uint32_t stages)
{
    Cylinder(handle, cx, cy, z, src, radius, depth, colour, segments, 0, nullptr, vScale, stages);
}

void VornSprite::DrawCylinderRotate(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                    float radius, float depth, uint32_t colour, uint32_t segments, VornAngle angle,
                                    float vScale, uint32_t stages)
{
    Cylinder(handle, cx, cy, z, src, radius, depth, colour, segments, angle, nullptr, vScale, stages);
}

void VornSprite::DrawCylinderRotateXYZ(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                       float radius, float depth, uint32_t colour, uint32_t segments, VornAngle ax,
                                       VornAngle ay, VornAngle az, float vScale, uint32_t stages)
{
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    Cylinder(handle, cx, cy, z, src, radius, depth, colour, segments, 0, &m, vScale, stages);
}

void VornSprite::DrawTriangleRotate(VornSpriteHandle handle, const VornVertex2D* a, const VornVertex2D* b,
                                    const VornVertex2D* c, VornAngle angle)
{
    DrawTriangleRotateXYZ(handle, a, b, c, 0, 0, angle);
}

void VornSprite::DrawTriangleRotateXYZ(VornSpriteHandle handle, const VornVertex2D* a, const VornVertex2D* b,
                                       const VornVertex2D* c, VornAngle ax, VornAngle ay, VornAngle az)
{
    const VornSpriteRecord* r = g_table.GetLive(handle);
    if (!r || !a || !b || !c) return;
    const float mx = (a->x + b->x + c->x) / 3.0f, my = (a->y + b->y + c->y) / 3.0f;
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    const VornVertex2D* corners[3] = {a, b, c};
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
        v[k].tex[0] = {VornTexture::PixelToU(r->texture[0], p.tex[0].u), VornTexture::PixelToV(r->texture[0], p.tex[0].v)};
    }
    VornPrimitive::PushPolygon(r->primitive, v, 1);
}

void VornSprite::DrawStrip(VornSpriteHandle handle, const float* x, const float* y, const float* z,
                           const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t count,
                           const VornRect* src)
{
    const VornSpriteRecord* r = g_table.GetLive(handle);
    if (!r || count < 2 || !x || !y || !z || !halfWidth || !angle || !colour) return;
    StageUV uv[4];
    SourceUV(*r, src, 1, 1.0f, uv);
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
    for (uint32_t i = 0; i + 1 < count; ++i) {
        const VornVertex2D l0 = side(i, false), r0 = side(i, true);
        const VornVertex2D l1 = side(i + 1, false), r1 = side(i + 1, true);
        const VornVertex2D v[6] = {l0, r0, l1, l1, r1, r0};
        VornPrimitive::PushPolygon(r->primitive, v, 2);
    }
}
