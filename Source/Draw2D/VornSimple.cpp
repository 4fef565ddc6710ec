#include "VornSimple.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornBatch2D.h"
#include "VornLog.h"
#include "VornMatrix.h"
#include "VornVector3.h"
#include <cstring>

namespace {

constexpr uint32_t kStride = sizeof(VornVertex2D);
constexpr uint32_t kFVF = VornVertexFVF2D(4);   // 0x444
constexpr uint32_t kBufferBytes = VornSimple::kBufferVertices * kStride;
constexpr uint32_t kEllipseSegments = 128;

IDirect3DVertexBuffer9* g_buffer;

bool CreateBuffer()
{
    const HRESULT hr = VornBatch2D::CreateBuffer(kBufferBytes, kFVF, &g_buffer);
    if (FAILED(hr)) {
        VornLog::StrongRed("頂点バッファの生成に失敗 [%s]", Vorn3D::GetErrorText(hr));
        VornLog::LineBreak();
        return false;
    }
    return true;
}

VornVertex2D ScreenVertex(float x, float y, uint32_t colour)
{
    VornVertex2D v = {};
    v.x = x;
    v.y = y;
    v.rhw = 1.0f;
    v.colour = colour;
    return v;
}

// A point at angle a on the ellipse of radii rx, ry about (cx, cy).
VornVertex2D OnEllipse(float cx, float cy, float rx, float ry, VornAngle a, uint32_t colour)
{
    return ScreenVertex(VornMath::Cos(a) * rx + cx, VornMath::Sin(a) * ry + cy, colour);
}

// The corners TL, TR, BR, BL of a rectangle turned about its centre.
void TurnedCorners(const VornRect& rect, VornAngle angle, uint32_t colour, VornVertex2D out[4])
{
    const float hx = rect.w * 0.5f, hy = rect.h * 0.5f;
    const float cx = rect.x + hx, cy = rect.y + hy;
    const float offsets[4][2] = {{-hx, -hy}, {hx, -hy}, {hx, hy}, {-hx, hy}};
    for (int i = 0; i < 4; ++i) {
        D3DXVECTOR2 p(offsets[i][0], offsets[i][1]);
        VornMath::RotationPoint(&p, angle);
        out[i] = ScreenVertex(p.x + cx, p.y + cy, colour);
    }
}

const VornAngle kTriangleCorners[3] = {49152, 27306, 5461};   // straight up, then clockwise

// Copies the vertices, moves them half a pixel up-left and scales them to the back buffer,
// uploads them, and draws them with the screen-shape states.
bool DrawScreen(const VornVertex2D* v, int32_t count, int32_t minimum, D3DPRIMITIVETYPE type, uint32_t primitives,
                const VornTextureHandle* textures, int32_t stages)
{
    if (!v || count < minimum || count > static_cast<int32_t>(VornSimple::kBufferVertices) || !g_buffer) return false;
    if (!textures || stages < 0) stages = 0;
    if (stages > 4) stages = 4;
    VornVertex2D work[VornSimple::kBufferVertices];
    memcpy(work, v, count * kStride);
    for (int32_t i = 0; i < count; ++i) {
        for (int32_t s = 0; s < stages; ++s) {
            work[i].tex[s].u = VornTexture::PixelToU(textures[s], work[i].tex[s].u);
            work[i].tex[s].v = VornTexture::PixelToV(textures[s], work[i].tex[s].v);
        }
        work[i].x = Vorn::VirtualScaleX(work[i].x - 0.5f);
        work[i].y = Vorn::VirtualScaleY(work[i].y - 0.5f);
    }
    if (!VornBatch2D::Upload(g_buffer, count * kStride, work, count * kStride)) return false;
    for (int32_t s = 0; s < 4; ++s) Vorn3D::SetTexture(s, s < stages ? textures[s] : VORN_INVALID_HANDLE);
    Vorn3D::SetRenderState(D3DRS_ZENABLE, FALSE);
    Vorn3D::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    VornBatch2D::Draw(g_buffer, kFVF, kStride, type, primitives);
    return true;
}

}  // namespace

bool VornSimple::Initialize()
{
    VornLog::Title("VornSimpleクラスの初期化");
    if (!g_buffer && !CreateBuffer()) return false;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_SIMPLE, OnDeviceLost, OnDeviceRestore);
    return true;
}

void VornSimple::Finalize()
{
    VornLog::Title("VornSimpleクラスの解放");
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_SIMPLE, nullptr, nullptr);
    VornBatch2D::ReleaseBuffer(&g_buffer);
}

void VornSimple::OnDeviceLost() { VornBatch2D::ReleaseBuffer(&g_buffer); }

void VornSimple::OnDeviceRestore()
{
    VornBatch2D::ReleaseBuffer(&g_buffer);
    CreateBuffer();
}

bool VornSimple::DrawLineStrip(const VornVertex2D* v, int32_t count)
{
    return DrawScreen(v, count, 2, D3DPT_LINESTRIP, static_cast<uint32_t>(count - 1), nullptr, 0);
}

bool VornSimple::DrawTriangleFan(const VornVertex2D* v, int32_t count, const VornTextureHandle* textures,
                                 int32_t stages)
{
    return DrawScreen(v, count, 3, D3DPT_TRIANGLEFAN, static_cast<uint32_t>(count - 2), textures, stages);
}

void VornSimple::DrawTriangleFrame(const float* centre, float radius, VornAngle angle, uint32_t colour)
{
    if (!centre) return;
    VornVertex2D v[4];
    for (int k = 0; k < 4; ++k)
        v[k] = OnEllipse(centre[0], centre[1], radius, radius, angle + kTriangleCorners[k % 3], colour);
    DrawLineStrip(v, 4);
}

void VornSimple::DrawSquareFrame(const VornRect* rect, VornAngle angle, uint32_t colour)
{
    if (!rect) return;
    VornVertex2D v[5];
    TurnedCorners(*rect, angle, colour, v);
    v[4] = v[0];
    DrawLineStrip(v, 5);
}

void VornSimple::DrawEllipseFrame(const float* centre, float radiusX, float radiusY, uint32_t colour)
{
    if (!centre) return;
    VornVertex2D v[kEllipseSegments + 1];
    for (uint32_t k = 0; k <= kEllipseSegments; ++k)
        v[k] = OnEllipse(centre[0], centre[1], radiusX, radiusY, static_cast<VornAngle>(k * 512), colour);
    DrawLineStrip(v, kEllipseSegments + 1);
}

void VornSimple::DrawTriangle(const float* centre, float radius, VornAngle angle, const float* uv, uint32_t colour,
                              const VornTextureHandle* textures, int32_t stages)
{
    if (!centre) return;
    if (!uv) stages = 0;
    VornVertex2D v[3];
    for (int k = 0; k < 3; ++k) {
        v[k] = OnEllipse(centre[0], centre[1], radius, radius, angle + kTriangleCorners[k], colour);
        for (int32_t s = 0; s < stages && s < 4; ++s) v[k].tex[s] = {uv[6 * s + 2 * k], uv[6 * s + 2 * k + 1]};
    }
    DrawTriangleFan(v, 3, textures, stages);
}

void VornSimple::DrawSquareRotate(const VornRect* dst, VornAngle angle, const VornRect* src, uint32_t colour,
                                  const VornTextureHandle* textures, int32_t stages)
{
    if (!dst) return;
    if (!src) stages = 0;
    VornVertex2D v[4];
    TurnedCorners(*dst, angle, colour, v);
    for (int32_t s = 0; s < stages && s < 4; ++s) {
        const VornRect& q = src[s];
        v[0].tex[s] = {q.x, q.y};
        v[1].tex[s] = {q.x + q.w, q.y};
        v[2].tex[s] = {q.x + q.w, q.y + q.h};
        v[3].tex[s] = {q.x, q.y + q.h};
    }
    DrawTriangleFan(v, 4, textures, stages);
}

void VornSimple::DrawEllipse(const float* centre, float radiusX, float radiusY, VornAngle angle, const VornRect* src,
                             uint32_t colour, const VornTextureHandle* textures, int32_t stages)
{
    if (!centre) return;
    if (!src) stages = 0;
    VornVertex2D v[kEllipseSegments + 2];
    v[0] = ScreenVertex(centre[0], centre[1], colour);
    for (int32_t s = 0; s < stages && s < 4; ++s) v[0].tex[s] = {src[s].x + src[s].w * 0.5f, src[s].y + src[s].h * 0.5f};
    for (uint32_t k = 1; k <= kEllipseSegments + 1; ++k) {
        const VornAngle theta = static_cast<VornAngle>((k - 1) * 512);
        v[k] = OnEllipse(centre[0], centre[1], radiusX, radiusY, theta, colour);
        const float cu = VornMath::Cos(theta - angle) * 0.5f + 0.5f, sv = VornMath::Sin(theta - angle) * 0.5f + 0.5f;
        for (int32_t s = 0; s < stages && s < 4; ++s) v[k].tex[s] = {cu * src[s].w + src[s].x, sv * src[s].h + src[s].y};
    }
    DrawTriangleFan(v, kEllipseSegments + 2, textures, stages);
}

void VornSimple::DrawBoundingBox(const VornVector3* min, const VornVector3* max, const VornMatrix* world,
                                 uint32_t colour)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device || !min || !max || !world) return;
    struct LineVertex {
        float x, y, z;
        uint32_t colour;
    };
    static_assert(sizeof(LineVertex) == 16, "position and colour");
    const float x0 = min->x, y0 = min->y, z0 = min->z, x1 = max->x, y1 = max->y, z1 = max->z;
    const float ends[24][3] = {
        {x0, y0, z0}, {x1, y0, z0}, {x0, y1, z0}, {x1, y1, z0}, {x0, y1, z0}, {x0, y0, z0}, {x1, y1, z0}, {x1, y0, z0},
        {x0, y0, z1}, {x1, y0, z1}, {x0, y1, z1}, {x1, y1, z1}, {x0, y1, z1}, {x0, y0, z1}, {x1, y1, z1}, {x1, y0, z1},
        {x0, y1, z0}, {x0, y1, z1}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z0}, {x0, y0, z1},
    };
    LineVertex lines[24];
    for (int i = 0; i < 24; ++i) lines[i] = {ends[i][0], ends[i][1], ends[i][2], colour};
    device->SetTransform(D3DTS_WORLD, world->Get());
    Vorn3D::SetRenderState(D3DRS_LIGHTING, FALSE);
    Vorn3D::SetRenderState(D3DRS_ZENABLE, TRUE);
    Vorn3D::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetSoftwareVertexProcessing(TRUE);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    for (uint32_t s = 0; s < 4; ++s) Vorn3D::SetTexture(s, VORN_INVALID_HANDLE);
    device->DrawPrimitiveUP(D3DPT_LINELIST, 12, lines, sizeof(LineVertex));
    Vorn::AddPolygonCount(12);
}
