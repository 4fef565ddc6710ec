#include "VornSpriteEx.h"
#include "Vorn.h"
#include "VornBatch2D.h"
#include "VornList.h"
#include "VornLog.h"
#include "VornSpriteShape.h"
#include <cstring>

namespace {

constexpr uint32_t kStride = sizeof(VornVertex2D);                       // 52
constexpr uint32_t kBufferBytes = 3 * VornSpriteEx::kGroupTriangles * kStride;   // 9984
constexpr uint32_t kFVF = VornVertexFVF2D(4);                            // 0x444

uint32_t g_list = VornList::NONE;
IDirect3DVertexBuffer9* g_buffer;
VornTransform2D g_transform;
VornVertex2D g_staging[3 * VornSpriteEx::kGroupTriangles];

HRESULT CreateBuffer() { return VornBatch2D::CreateBuffer(kBufferBytes, 0, &g_buffer); }

// The textures and blending of one call: the sink context of the shapes.
struct Key {
    VornTextureHandle texture[4];
    uint32_t blend;
};

bool SameKey(const VornSpriteExTriangle& t, const Key& k)
{
    return t.blend == k.blend && memcmp(t.texture, k.texture, sizeof k.texture) == 0;
}

bool PushKeyed(void* context, const VornVertex2D* triangles, uint32_t count)
{
    const Key& k = *static_cast<const Key*>(context);
    return VornSpriteEx::PushPolygon(triangles, count, k.texture, k.blend);
}

// The shape context of a call: a sink over its key, and the textures every stage of which is
// textured unless none.
struct Shape {
    Key key;
    VornShapeSink sink;
    VornShapeTextures textures;

    Shape(const VornTextureHandle* t, uint32_t blend)
    {
        for (uint32_t s = 0; s < 4; ++s) key.texture[s] = t ? t[s] : VORN_INVALID_HANDLE;
        key.blend = blend;
        sink = {PushKeyed, &key, nullptr};
        memcpy(textures.texture, key.texture, sizeof key.texture);
        textures.stages = 4;
    }
};

}  // namespace

bool VornSpriteEx::Initialize()
{
    VornLog::Title("VornSpriteExクラスの初期化");
    if (g_list == VornList::NONE) g_list = VornList::Create();
    if (g_list == VornList::NONE) {
        VornLog::StrongRed("リストの生成に失敗");
        VornLog::LineBreak();
        return false;
    }
    const HRESULT hr = CreateBuffer();
    if (FAILED(hr)) {
        VornLog::StrongRed("頂点バッファの生成に失敗 [%s]", Vorn3D::GetErrorText(hr));
        VornLog::LineBreak();
        return false;
    }
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_SPRITEEX, OnDeviceLost, OnDeviceRestore);
    Vorn3D::SetTransform2DSetters(TRANSFORM2D_SPRITEEX, SetPerspective, SetZoom, SetScissoring);
    return true;
}

void VornSpriteEx::Finalize()
{
    VornLog::Title("VornSpriteExクラスの解放");
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_SPRITEEX, nullptr, nullptr);
    Vorn3D::SetTransform2DSetters(TRANSFORM2D_SPRITEEX, nullptr, nullptr, nullptr);
    VornBatch2D::ReleaseBuffer(&g_buffer);
    if (g_list != VornList::NONE) VornList::Release(g_list);
    g_list = VornList::NONE;
}

void VornSpriteEx::OnDeviceLost() { VornBatch2D::ReleaseBuffer(&g_buffer); }

void VornSpriteEx::OnDeviceRestore()
{
    if (g_list == VornList::NONE) return;
    VornBatch2D::RestoreBuffer(kBufferBytes, 0, &g_buffer);
}

void VornSpriteEx::SetScissoring(bool on, const RECT* rect) { g_transform.SetScissoring(on, rect); }

void VornSpriteEx::SetZoom(bool on, float centreX, float centreY, float scale)
{
    g_transform.SetZoom(on, centreX, centreY, scale);
}

void VornSpriteEx::SetPerspective(bool on, float centreX, float centreY, float factor)
{
    g_transform.SetPerspective(on, centreX, centreY, factor);
}

const VornTransform2D& VornSpriteEx::GetTransform() { return g_transform; }

bool VornSpriteEx::PushPolygon(const VornVertex2D* triangles, uint32_t count, const VornTextureHandle textures[4],
                               uint32_t blend)
{
    if (!triangles) return count == 0;
    VornVertex2D placed[3];
    VornVertex2D clipped[VornTransform2D::kClipOutputMax];
    for (uint32_t i = 0; i < count; ++i) {
        if (!g_transform.TransformTriangle(placed, triangles + 3 * i)) continue;
        const uint32_t n = g_transform.ClipTriangle(placed, clipped);
        for (uint32_t k = 0; k < n; k += 3) {
            auto* node = static_cast<VornSpriteExTriangle*>(
                VornList::Insert(g_list, sizeof(VornSpriteExTriangle), VornList::INSERT_TAIL, nullptr));
            if (!node) return false;
            memcpy(node->vertex, clipped + k, sizeof node->vertex);
            for (uint32_t s = 0; s < 4; ++s) node->texture[s] = textures ? textures[s] : VORN_INVALID_HANDLE;
            node->blend = blend;
        }
    }
    return true;
}

bool VornSpriteEx::ResetBuffer() { return VornList::Clear(g_list); }

void VornSpriteEx::Rendering()
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    const auto* node = static_cast<const VornSpriteExTriangle*>(VornList::GetTop(g_list));
    if (!device || !node) return;
    Vorn3D::SelectVertexProcessing(0, 0);
    device->SetFVF(kFVF);
    while (node) {
        const Key key = {{node->texture[0], node->texture[1], node->texture[2], node->texture[3]}, node->blend};
        uint32_t n = 0;
        for (; node && n < kGroupTriangles && SameKey(*node, key);
             node = static_cast<const VornSpriteExTriangle*>(VornList::GetNext(node)))
            memcpy(&g_staging[3 * n++], node->vertex, sizeof node->vertex);
        if (!VornBatch2D::Upload(g_buffer, n * 3 * kStride, g_staging, n * 3 * kStride)) continue;
        Vorn3D::SetBlendMode(key.blend);
        for (uint32_t s = 0; s < 4; ++s) Vorn3D::SetTexture(s, key.texture[s]);
        device->SetStreamSource(0, g_buffer, 0, kStride);
        device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, n);
        Vorn::AddPolygonCount(n);
    }
}

uint32_t VornSpriteEx::GetList() { return g_list; }

bool VornSpriteEx::DrawSquare(const VornRect* dst, float z, const VornRect* src, uint32_t colour,
                              const VornTextureHandle textures[4], uint32_t blend)
{
    const Shape s(textures, blend);
    return !dst || VornSpriteShape::Square(s.sink, s.textures, *dst, z, src, colour);
}

bool VornSpriteEx::DrawSquareRotate(const VornRect* dst, float z, const VornRect* src, uint32_t colour,
                                    VornAngle angle, const VornTextureHandle textures[4], uint32_t blend)
{
    const Shape s(textures, blend);
    return !dst || VornSpriteShape::SquareRotate(s.sink, s.textures, *dst, z, src, colour, angle);
}

bool VornSpriteEx::DrawSquareRotateXYZ(const VornRect* dst, float z, const VornRect* src, uint32_t colour,
                                       VornAngle ax, VornAngle ay, VornAngle az, const VornTextureHandle textures[4],
                                       uint32_t blend)
{
    const Shape s(textures, blend);
    return !dst || VornSpriteShape::SquareRotateXYZ(s.sink, s.textures, *dst, z, src, colour, ax, ay, az);
}

bool VornSpriteEx::DrawRing(float cx, float cy, float z, const VornRect* src, float radiusA, float radiusB,
                            uint32_t colourA, uint32_t colourB, uint32_t segments, float vScale,
                            const VornTextureHandle textures[4], uint32_t blend)
{
    const Shape s(textures, blend);
    return VornSpriteShape::Ring(s.sink, s.textures, cx, cy, z, src, radiusA, radiusB, colourA, colourB, segments, 0,
                                 nullptr, vScale);
}

bool VornSpriteEx::DrawRingRotate(float cx, float cy, float z, const VornRect* src, float radiusA, float radiusB,
                                  uint32_t colourA, uint32_t colourB, uint32_t segments, VornAngle angle,
                                  float vScale, const VornTextureHandle textures[4], uint32_t blend)
{
    const Shape s(textures, blend);
    return VornSpriteShape::Ring(s.sink, s.textures, cx, cy, z, src, radiusA, radiusB, colourA, colourB, segments,
                                 angle, nullptr, vScale);
}

bool VornSpriteEx::DrawRingRotateXYZ(float cx, float cy, float z, const VornRect* src, float radiusA, float radiusB,
                                     uint32_t colourA, uint32_t colourB, uint32_t segments, VornAngle ax,
                                     VornAngle ay, VornAngle az, float vScale, const VornTextureHandle textures[4],
                                     uint32_t blend)
{
    const Shape s(textures, blend);
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    return VornSpriteShape::Ring(s.sink, s.textures, cx, cy, z, src, radiusA, radiusB, colourA, colourB, segments, 0,
                                 &m, vScale);
}

bool VornSpriteEx::DrawCylinder(float cx, float cy, float z, const VornRect* src, float radius, float depth,
                                uint32_t colour, uint32_t segments, float vScale, const VornTextureHandle textures[4],
                                uint32_t blend)
{
    const Shape s(textures, blend);
    return VornSpriteShape::Cylinder(s.sink, s.textures, cx, cy, z, src, radius, depth, colour, segments, 0, nullptr,
                                     vScale);
}

bool VornSpriteEx::DrawCylinderRotate(float cx, float cy, float z, const VornRect* src, float radius, float depth,
                                      uint32_t colour, uint32_t segments, VornAngle angle, float vScale,
                                      const VornTextureHandle textures[4], uint32_t blend)
{
    const Shape s(textures, blend);
    return VornSpriteShape::Cylinder(s.sink, s.textures, cx, cy, z, src, radius, depth, colour, segments, angle,
                                     nullptr, vScale);
}

bool VornSpriteEx::DrawCylinderRotateXYZ(float cx, float cy, float z, const VornRect* src, float radius, float depth,
                                         uint32_t colour, uint32_t segments, VornAngle ax, VornAngle ay, VornAngle az,
                                         float vScale, const VornTextureHandle textures[4], uint32_t blend)
{
    const Shape s(textures, blend);
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    return VornSpriteShape::Cylinder(s.sink, s.textures, cx, cy, z, src, radius, depth, colour, segments, 0, &m,
                                     vScale);
}

bool VornSpriteEx::DrawStrip(const float* x, const float* y, const float* z, const float* halfWidth,
                             const VornAngle* angle, const uint32_t* colour, uint32_t count, const VornRect* src,
                             VornTextureHandle texture, uint32_t blend)
{
    const VornTextureHandle textures[4] = {texture, VORN_INVALID_HANDLE, VORN_INVALID_HANDLE, VORN_INVALID_HANDLE};
    const Shape s(textures, blend);
    return VornSpriteShape::Strip(s.sink, texture, x, y, z, halfWidth, angle, colour, count, src);
}
