#include "VornPrimitive3D.h"

namespace {

const VornBatch3DTexts kTexts = {
    __FILE__,
    "VornPrimitive3D",
    "プリミティブ用メモリ確保",
    "　　　プリミティブ用メモリの確保に失敗",
    "Primitive3D Destroy [ No.%u ]",
    "VornPrimitive3D::Create",
    "空きプリミティブが見つかりませんでした。",
    "VornPrimitive3D::Release",
};

VornBatch3D g_batch(kTexts, DEVICE_CLASS_PRIMITIVE3D, D3DPT_TRIANGLELIST, 3, true);

}  // namespace

void VornPrimitive3D::SetMax(uint32_t count) { g_batch.SetMax(count); }
bool VornPrimitive3D::Initialize() { return g_batch.Initialize(OnDeviceLost, OnDeviceRestore); }
void VornPrimitive3D::Finalize() { g_batch.Finalize(); }
void VornPrimitive3D::OnDeviceLost() { g_batch.OnDeviceLost(); }
void VornPrimitive3D::OnDeviceRestore() { g_batch.OnDeviceRestore(); }
VornPrimitive3DHandle VornPrimitive3D::Create(uint32_t capacity, VornVertexType3D type) { return g_batch.Create(capacity, type); }
void VornPrimitive3D::Release(VornPrimitive3DHandle handle) { g_batch.Release(handle); }
bool VornPrimitive3D::PushPolygon(VornPrimitive3DHandle handle, const VornVertex3D* vertices, uint32_t triangles)
{
    return g_batch.Append(handle, vertices, triangles, 3);
}
void VornPrimitive3D::ResetBuffer(VornPrimitive3DHandle handle) { g_batch.ResetBuffer(handle); }
void VornPrimitive3D::UpdateBuffer(VornPrimitive3DHandle handle) { g_batch.UpdateBuffer(handle); }
void VornPrimitive3D::Rendering(VornPrimitive3DHandle handle) { g_batch.Rendering(handle); }
uint32_t VornPrimitive3D::GetVertexCount(VornPrimitive3DHandle handle) { return g_batch.GetCount(handle); }
const VornBatch3DRecord* VornPrimitive3D::GetRecord(VornPrimitive3DHandle handle) { return g_batch.GetRecord(handle); }
void VornPrimitive3D::TransformInit(VornPrimitive3DHandle handle) { g_batch.TransformInit(handle); }
void VornPrimitive3D::TransformUpdate(VornPrimitive3DHandle handle) { g_batch.TransformUpdate(handle); }
void VornPrimitive3D::LocalRotationX(VornPrimitive3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.LocalRotationX(a); }
void VornPrimitive3D::LocalRotationY(VornPrimitive3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.LocalRotationY(a); }
void VornPrimitive3D::LocalRotationZ(VornPrimitive3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.LocalRotationZ(a); }
void VornPrimitive3D::RotationX(VornPrimitive3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.RotationX(a); }
void VornPrimitive3D::RotationY(VornPrimitive3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.RotationY(a); }
void VornPrimitive3D::RotationZ(VornPrimitive3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.RotationZ(a); }
void VornPrimitive3D::SetPosition(VornPrimitive3DHandle handle, float x, float y, float z) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.SetPosition(x, y, z); }

void VornPrimitive3D::LookAt(VornPrimitive3DHandle handle, const VornVector3* eye, const VornVector3* target, const VornVector3* up)
{
    VornBatch3DTransform* t = g_batch.Transform(handle);
    if (t && eye && target) t->posture.LookAt(*eye, *target, up);
}
uint32_t VornPrimitive3D::GetPolygonCount(VornPrimitive3DHandle handle) { return g_batch.GetRequested(handle); }

void VornPrimitive3D::SetScale(VornPrimitive3DHandle handle, float x, float y, float z)
{
    if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->scaling.Scaling(x, y, z);
}
