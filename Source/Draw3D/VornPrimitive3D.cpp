#include "VornPrimitive3D.h"

namespace {

const VornBatch3DTexts kTexts = {
    __FILE__,
    "VornPrimitive3Dクラスの初期化",
    "VornPrimitive3Dクラスの解放",
    "プリミティブ",
    "Primitive3D Destroy [ No.%u ]",
    "VornPrimitive3D::Create",
    "空きプリミティブが見つかりませんでした。",
    "VornPrimitive3D::Release",
};

VornBatch3D g_batch(kTexts, DEVICE_CLASS_PRIMITIVE3D, D3DPT_TRIANGLELIST, 3, true);

}  // namespace

VornBatch3D& VornPrimitive3D::Batch() { return g_batch; }

VornPrimitive3DHandle VornPrimitive3D::Create(uint32_t capacity, VornVertexType3D type)
{
    return g_batch.Create(capacity, type);
}

bool VornPrimitive3D::PushPolygon(VornPrimitive3DHandle handle, const VornVertex3D* vertices, uint32_t triangles)
{
    return g_batch.Append(handle, vertices, triangles, 3);
}

uint32_t VornPrimitive3D::GetPolygonCount(VornPrimitive3DHandle handle) { return g_batch.GetRequested(handle); }

void VornPrimitive3D::SetScale(VornPrimitive3DHandle handle, float x, float y, float z)
{
    if (VornBatch3DRecord* r = g_batch.Transformable(handle)) r->scaling.Scaling(x, y, z);
}
