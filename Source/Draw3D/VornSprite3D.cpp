#include "VornSprite3D.h"
#include "Vorn3D.h"
#include "VornBatch2D.h"
#include "VornLog.h"
#include "VornMath.h"
#include "VornTexture.h"
#include "VornVector2.h"
#include "VornVector3.h"
#include <cstring>

namespace {

void DestroySprite(VornSprite3DRecord& r)
{
    VornPrimitive3D::Release(r.primitive);
    r.primitive = VORN_INVALID_HANDLE;
}

VornHandleTable<VornSprite3DRecord> g_table(DestroySprite, "Sprite3D Destroy [ No.%u ]");

// Texture coordinates of the stages in use; the others stay 0.
struct StageCoords {
    float uL[4] = {}, uR[4] = {}, vT[4] = {}, vB[4] = {};
};

StageCoords Coords(const VornSprite3DRecord& r, const VornRect* src, uint32_t stageCount, float vScale)
{
    StageCoords c;
    if (!src) return c;
    const float ti = VornTexture::GetTexelInset();
    for (uint32_t s = 0; s < stageCount && s < 4; ++s) {
        const VornHandle t = r.texture[s];
        c.uL[s] = VornTexture::PixelToU(t, src[s].x + ti);
        c.uR[s] = VornTexture::PixelToU(t, src[s].x + src[s].w - ti);
        c.vT[s] = VornTexture::PixelToV(t, (src[s].y + ti) * vScale);
        c.vB[s] = VornTexture::PixelToV(t, (src[s].y + src[s].h - ti) * vScale);
    }
    return c;
}

// One vertex: position, colour, and per stage the chosen u and v (left/right, top/bottom).
VornVertex3D Vertex(const D3DXVECTOR3& p, uint32_t colour, const StageCoords& c, bool right, bool bottom)
{
    VornVertex3D v;
    memset(&v, 0, sizeof v);
    v.x = p.x;
    v.y = p.y;
    v.z = p.z;
    v.colour = colour;
    for (int s = 0; s < 4; ++s) {
        v.uv[s][0] = right ? c.uR[s] : c.uL[s];
        v.uv[s][1] = bottom ? c.vB[s] : c.vT[s];
    }
    return v;
}

// Pushes the quad q0 q1 q2, q2 q3 q0.
void PushQuad(const VornSprite3DRecord& r, const VornVertex3D& q0, const VornVertex3D& q1, const VornVertex3D& q2,
              const VornVertex3D& q3)
{
    const VornVertex3D tri[6] = {q0, q1, q2, q2, q3, q0};
    VornPrimitive3D::PushPolygon(r.primitive, tri, 2);
}

// A point of the posture's plane in world space: with the posture's translation or without it.
D3DXVECTOR3 Place(const VornMatrix& m, float lx, float ly, float lz, bool translate, float x, float y, float z)
{
    VornVector3 p(lx, ly, lz);
    if (translate) p.TransformSelf(m);
    else p.TransformNormalSelf(m);
    return D3DXVECTOR3(p.x + x, p.y + y, p.z + z);
}

int32_t SegmentAngle(uint32_t i, uint32_t n)
{
    return static_cast<int32_t>((static_cast<int64_t>(i) * 65536) / static_cast<int64_t>(n)) - 16384;
}

enum class StripPlane { XY, YZ, XZ };

void DrawStrip(VornSprite3DHandle handle, StripPlane plane, const float* x, const float* y, const float* z,
               const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t n, const VornRect* src)
{
    const VornSprite3DRecord* r = g_table.GetLive(handle);
    if (!r || n < 2 || !x || !y || !z || !halfWidth || !angle || !colour) return;
    const StageCoords c = Coords(*r, src, 1, 1.0f);
    auto side = [&](uint32_t i, float sign) {
        D3DXVECTOR2 d(0.0f, halfWidth[i]);
        VornMath::RotationPoint(&d, angle[i]);
        d *= sign;
        switch (plane) {
        case StripPlane::XY: return D3DXVECTOR3(x[i] + d.x, y[i] + d.y, z[i]);
        case StripPlane::YZ: return D3DXVECTOR3(x[i], y[i] + d.y, z[i] + d.x);
        default: return D3DXVECTOR3(x[i] + d.x, y[i], z[i] + d.y);
        }
    };
    auto vertex = [&](uint32_t i, bool right) {
        VornVertex3D v = Vertex(side(i, right ? 1.0f : -1.0f), colour[i], c, right, false);
        v.uv[0][1] = c.vT[0] + static_cast<float>(i) * (c.vB[0] - c.vT[0]) / static_cast<float>(n - 1);
        return v;
    };
    for (uint32_t i = 0; i + 1 < n; ++i) {
        const VornVertex3D tri[6] = {vertex(i, false),     vertex(i, true),     vertex(i + 1, false),
                                     vertex(i + 1, false), vertex(i + 1, true), vertex(i, true)};
        VornPrimitive3D::PushPolygon(r->primitive, tri, 2);
    }
}

}  // namespace

void VornSprite3D::SetMax(uint32_t count) { g_table.SetMax(count); }

bool VornSprite3D::Initialize()
{
    return g_table.InitializeLogged("VornSprite3Dクラスの初期化", "スプライト", __FILE__, __LINE__);
}

void VornSprite3D::Finalize()
{
    VornLog::Title("VornSprite3Dクラスの解放");
    g_table.Finalize();
}

VornSprite3DHandle VornSprite3D::Create(uint32_t capacity, VornVertexType3D type)
{
    VornLog::StrongBlue("VornSprite3D::Create");
    const VornSprite3DHandle h = g_table.AllocRecord();
    if (h == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("空きスプライトが見つかりませんでした。");
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", h);
    VornLog::Print("スプライト用プリミティブ取得 { ");
    VornLog::Print("　　");
    VornSprite3DRecord& r = g_table[h];
    r.primitive = VornPrimitive3D::Create(capacity, type);
    if (r.primitive == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("空きプリミティブが見つかりませんでした。");
        VornLog::LineBreak();
        g_table.ClearRecord(h);
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print(" } : ");
    r.vertexType = type;
    r.capacity = capacity;
    for (VornHandle& t : r.texture) t = VORN_INVALID_HANDLE;
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return h;
}

void VornSprite3D::Release(VornSprite3DHandle handle)
{
    if (g_table.ReleaseRecord(handle)) VornBatch2D::LogRelease("VornSprite3D::Release", handle);
}

VornPrimitive3DHandle VornSprite3D::GetPrimitive(VornSprite3DHandle handle)
{
    const VornSprite3DRecord* r = g_table.GetLive(handle);
    return r ? r->primitive : VORN_INVALID_HANDLE;
}

void VornSprite3D::SetTexture(VornSprite3DHandle handle, int32_t stage, VornHandle texture)
{
    VornSprite3DRecord* r = g_table.GetLive(handle);
    if (r && stage >= 0 && stage < 4) r->texture[stage] = texture;
}

VornHandle VornSprite3D::GetTexture(VornSprite3DHandle handle, int32_t stage)
{
    const VornSprite3DRecord* r = g_table.GetLive(handle);
    return r && stage >= 0 && stage < 4 ? r->texture[stage] : VORN_INVALID_HANDLE;
}

void VornSprite3D::ResetBuffer(VornSprite3DHandle handle)
{
    if (const VornSprite3DRecord* r = g_table.GetLive(handle)) VornPrimitive3D::ResetBuffer(r->primitive);
}

void VornSprite3D::UpdateBuffer(VornSprite3DHandle handle)
{
    if (const VornSprite3DRecord* r = g_table.GetLive(handle)) VornPrimitive3D::UpdateBuffer(r->primitive);
}

void VornSprite3D::Rendering(VornSprite3DHandle handle)
{
    const VornSprite3DRecord* r = g_table.GetLive(handle);
    if (!r) return;
    for (uint32_t s = 0; s < 4; ++s) Vorn3D::SetTexture(s, r->texture[s]);
    VornPrimitive3D::Rendering(r->primitive);
}

void VornSprite3D::DrawSquare(VornSprite3DHandle handle, const VornPosture* posture, float x, float y, float z,
                              float width, float height, const VornRect* src, uint32_t colour, uint32_t stageCount)
{
    const VornSprite3DRecord* r = g_table.GetLive(handle);
    if (!r || !posture) return;
    const StageCoords c = Coords(*r, src, stageCount, 1.0f);
    const VornMatrix& m = posture->world;
    const float w = width * 0.5f, h = height * 0.5f;
    PushQuad(*r, Vertex(Place(m, w, h, 0, true, x, y, z), colour, c, false, false),
             Vertex(Place(m, -w, h, 0, true, x, y, z), colour, c, true, false),
             Vertex(Place(m, -w, -h, 0, true, x, y, z), colour, c, true, true),
             Vertex(Place(m, w, -h, 0, true, x, y, z), colour, c, false, true));
}

void VornSprite3D::DrawRing(VornSprite3DHandle handle, const VornPosture* posture, float x, float y, float z,
                            const VornRect* src, float radiusA, float radiusB, uint32_t colourA, uint32_t colourB,
                            uint32_t segments, float vScale, uint32_t stageCount)
{
    const VornSprite3DRecord* r = g_table.GetLive(handle);
    if (!r || !posture || segments == 0) return;
    const StageCoords c = Coords(*r, src, stageCount, vScale);
    const VornMatrix& m = posture->world;
    for (uint32_t i = 0; i < segments; ++i) {
        const VornAngle a0 = SegmentAngle(i, segments), a1 = SegmentAngle(i + 1, segments);
        auto at = [&](VornAngle a, float radius) {
            return Place(m, VornMath::Cos(a) * radius, VornMath::Sin(a) * radius, 0, false, x, y, z);
        };
        PushQuad(*r, Vertex(at(a0, radiusB), colourB, c, false, true), Vertex(at(a1, radiusB), colourB, c, false, false),
                 Vertex(at(a1, radiusA), colourA, c, true, false), Vertex(at(a0, radiusA), colourA, c, true, true));
    }
}

void VornSprite3D::DrawCylinder(VornSprite3DHandle handle, const VornPosture* posture, float x, float y, float z,
                                const VornRect* src, float radius, float depth, uint32_t colour, uint32_t segments,
                                float vScale, uint32_t stageCount)
{
    const VornSprite3DRecord* r = g_table.GetLive(handle);
    if (!r || !posture || segments == 0) return;
    const StageCoords c = Coords(*r, src, stageCount, vScale);
    const VornMatrix& m = posture->world;
    const float d = depth * 0.5f;
    for (uint32_t i = 0; i < segments; ++i) {
        const VornAngle a0 = SegmentAngle(i, segments), a1 = SegmentAngle(i + 1, segments);
        auto at = [&](VornAngle a, float dz) {
            return Place(m, VornMath::Cos(a) * radius, VornMath::Sin(a) * radius, dz, false, x, y, z);
        };
        PushQuad(*r, Vertex(at(a0, -d), colour, c, true, false), Vertex(at(a0, d), colour, c, false, false),
                 Vertex(at(a1, d), colour, c, false, true), Vertex(at(a1, -d), colour, c, true, true));
    }
}

void VornSprite3D::DrawStripXY(VornSprite3DHandle handle, const float* x, const float* y, const float* z,
                               const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t n,
                               const VornRect* src)
{
    DrawStrip(handle, StripPlane::XY, x, y, z, halfWidth, angle, colour, n, src);
}

void VornSprite3D::DrawStripYZ(VornSprite3DHandle handle, const float* x, const float* y, const float* z,
                               const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t n,
                               const VornRect* src)
{
    DrawStrip(handle, StripPlane::YZ, x, y, z, halfWidth, angle, colour, n, src);
}

void VornSprite3D::DrawStripXZ(VornSprite3DHandle handle, const float* x, const float* y, const float* z,
                               const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t n,
                               const VornRect* src)
{
    DrawStrip(handle, StripPlane::XZ, x, y, z, halfWidth, angle, colour, n, src);
}
