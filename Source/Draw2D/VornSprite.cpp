#include "VornSprite.h"
#include "Vorn3D.h"
#include "VornBatch2D.h"
#include "VornLog.h"
#include "VornMatrix.h"
#include "VornSpriteShape.h"

namespace {

void DestroySprite(VornSpriteRecord& r) { VornPrimitive::Release(r.primitive); }

VornHandleTable<VornSpriteRecord> g_table(DestroySprite, "Sprite Destroy [ No.%u ]");

bool PushToBatch(void* context, const VornVertex2D* triangles, uint32_t count)
{
    return VornPrimitive::PushPolygon(*static_cast<const VornPrimitiveHandle*>(context), triangles, count);
}

bool PushQuadToBatch(void* context, const VornVertex2D corners[4])
{
    return VornPrimitive::PushQuad(*static_cast<const VornPrimitiveHandle*>(context), corners);
}

bool PushRectToBatch(void* context, float x0, float y0, float x1, float y1, float z, uint32_t colour,
                     const VornRectUV uv[4])
{
    return VornPrimitive::PushRect(*static_cast<const VornPrimitiveHandle*>(context), x0, y0, x1, y1, z, colour, uv);
}

// The live sprite's sink and textures; false for none.
struct Shape {
    VornShapeSink sink;
    VornShapeTextures textures;
    VornPrimitiveHandle primitive;
    const VornSpriteRecord* r;

    Shape(VornSpriteHandle handle, uint32_t stages) : r(g_table.GetLive(handle))
    {
        if (!r) return;
        primitive = r->primitive;
        sink = {PushToBatch, &primitive, PushQuadToBatch, PushRectToBatch};
        textures.stages = stages;
        for (uint32_t s = 0; s < 4; ++s) textures.texture[s] = r->texture[s];
    }
    explicit operator bool() const { return r != nullptr; }
};

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
    if (Shape shape{handle, stages}; shape && dst) VornSpriteShape::Square(shape.sink, shape.textures, *dst, z, src, colour);
}

void VornSprite::DrawSquareRotate(VornSpriteHandle handle, const VornRect* dst, float z, const VornRect* src,
                                  uint32_t colour, VornAngle angle, uint32_t stages)
{
    if (Shape shape{handle, stages}; shape && dst)
        VornSpriteShape::SquareRotate(shape.sink, shape.textures, *dst, z, src, colour, angle);
}

void VornSprite::DrawSquareRotateXYZ(VornSpriteHandle handle, const VornRect* dst, float z, const VornRect* src,
                                     uint32_t colour, VornAngle ax, VornAngle ay, VornAngle az, uint32_t stages)
{
    if (Shape shape{handle, stages}; shape && dst)
        VornSpriteShape::SquareRotateXYZ(shape.sink, shape.textures, *dst, z, src, colour, ax, ay, az);
}

void VornSprite::DrawRing(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src, float radiusA,
                          float radiusB, uint32_t colourA, uint32_t colourB, uint32_t segments, float vScale,
                          uint32_t stages)
{
    if (Shape shape{handle, stages})
        VornSpriteShape::Ring(shape.sink, shape.textures, cx, cy, z, src, radiusA, radiusB, colourA, colourB, segments,
                              0, nullptr, vScale);
}

void VornSprite::DrawRingRotate(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                float radiusA, float radiusB, uint32_t colourA, uint32_t colourB, uint32_t segments,
                                VornAngle angle, float vScale, uint32_t stages)
{
    if (Shape shape{handle, stages})
        VornSpriteShape::Ring(shape.sink, shape.textures, cx, cy, z, src, radiusA, radiusB, colourA, colourB, segments,
                              angle, nullptr, vScale);
}

void VornSprite::DrawRingRotateXYZ(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                   float radiusA, float radiusB, uint32_t colourA, uint32_t colourB,
                                   uint32_t segments, VornAngle ax, VornAngle ay, VornAngle az, float vScale,
                                   uint32_t stages)
{
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    if (Shape shape{handle, stages})
        VornSpriteShape::Ring(shape.sink, shape.textures, cx, cy, z, src, radiusA, radiusB, colourA, colourB, segments,
                              0, &m, vScale);
}

void VornSprite::DrawCylinder(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src, float radius,
                              float depth, uint32_t colour, uint32_t segments, float vScale, uint32_t stages)
{
    if (Shape shape{handle, stages})
        VornSpriteShape::Cylinder(shape.sink, shape.textures, cx, cy, z, src, radius, depth, colour, segments, 0,
                                  nullptr, vScale);
}

void VornSprite::DrawCylinderRotate(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                    float radius, float depth, uint32_t colour, uint32_t segments, VornAngle angle,
                                    float vScale, uint32_t stages)
{
    if (Shape shape{handle, stages})
        VornSpriteShape::Cylinder(shape.sink, shape.textures, cx, cy, z, src, radius, depth, colour, segments, angle,
                                  nullptr, vScale);
}

void VornSprite::DrawCylinderRotateXYZ(VornSpriteHandle handle, float cx, float cy, float z, const VornRect* src,
                                       float radius, float depth, uint32_t colour, uint32_t segments, VornAngle ax,
                                       VornAngle ay, VornAngle az, float vScale, uint32_t stages)
{
    VornMatrix m;
    m.RotationXYZ(ax, ay, az);
    if (Shape shape{handle, stages})
        VornSpriteShape::Cylinder(shape.sink, shape.textures, cx, cy, z, src, radius, depth, colour, segments, 0, &m,
                                  vScale);
}

void VornSprite::DrawTriangleRotate(VornSpriteHandle handle, const VornVertex2D* a, const VornVertex2D* b,
                                    const VornVertex2D* c, VornAngle angle)
{
    DrawTriangleRotateXYZ(handle, a, b, c, 0, 0, angle);
}

void VornSprite::DrawTriangleRotateXYZ(VornSpriteHandle handle, const VornVertex2D* a, const VornVertex2D* b,
                                       const VornVertex2D* c, VornAngle ax, VornAngle ay, VornAngle az)
{
    if (Shape shape{handle, 1}; shape && a && b && c)
        VornSpriteShape::TriangleRotateXYZ(shape.sink, shape.textures.texture[0], *a, *b, *c, ax, ay, az);
}

void VornSprite::DrawStrip(VornSpriteHandle handle, const float* x, const float* y, const float* z,
                           const float* halfWidth, const VornAngle* angle, const uint32_t* colour, uint32_t count,
                           const VornRect* src)
{
    if (Shape shape{handle, 1})
        VornSpriteShape::Strip(shape.sink, shape.textures.texture[0], x, y, z, halfWidth, angle, colour, count, src);
}
