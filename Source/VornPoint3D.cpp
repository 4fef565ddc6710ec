#include "VornPoint3D.h"

namespace {

const VornBatch3DTexts kTexts = {
    __FILE__,
    "VornPoint3D",
    "ポイント用メモリ確保",
    "　　　ポイント用メモリの確保に失敗",
    "Point Destroy [ No.%u ]",
    "VornPoint3D::Create",
    "空きポイントが見つかりませんでした。",
    "VornPoint3D::Release",
};

VornBatch3D g_batch(kTexts, DEVICE_CLASS_POINT3D, D3DPT_POINTLIST, 1, false);

}  // namespace

void VornPoint3D::SetMax(uint32_t count) { g_batch.SetMax(count); }
bool VornPoint3D::Initialize() { return g_batch.Initialize(OnDeviceLost, OnDeviceRestore); }
void VornPoint3D::Finalize() { g_batch.Finalize(); }
void VornPoint3D::OnDeviceLost() { g_batch.OnDeviceLost(); }
void VornPoint3D::OnDeviceRestore() { g_batch.OnDeviceRestore(); }
VornPoint3DHandle VornPoint3D::Create(uint32_t capacity) { return g_batch.Create(capacity, 0); }
void VornPoint3D::Release(VornPoint3DHandle handle) { g_batch.Release(handle); }
bool VornPoint3D::PushPoint(VornPoint3DHandle handle, const VornVertex3D* points, uint32_t count)
{
    return g_batch.Append(handle, points, count, 1);
}
void VornPoint3D::ResetBuffer(VornPoint3DHandle handle) { g_batch.ResetBuffer(handle); }
void VornPoint3D::UpdateBuffer(VornPoint3DHandle handle) { g_batch.UpdateBuffer(handle); }
void VornPoint3D::Rendering(VornPoint3DHandle handle) { g_batch.Rendering(handle); }
uint32_t VornPoint3D::GetVertexCount(VornPoint3DHandle handle) { return g_batch.GetCount(handle); }
const VornBatch3DRecord* VornPoint3D::GetRecord(VornPoint3DHandle handle) { return g_batch.GetRecord(handle); }
void VornPoint3D::TransformInit(VornPoint3DHandle handle) { g_batch.TransformInit(handle); }
void VornPoint3D::TransformUpdate(VornPoint3DHandle handle) { g_batch.TransformUpdate(handle); }
void VornPoint3D::LocalRotationX(VornPoint3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.LocalRotationX(a); }
void VornPoint3D::LocalRotationY(VornPoint3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.LocalRotationY(a); }
void VornPoint3D::LocalRotationZ(VornPoint3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.LocalRotationZ(a); }
void VornPoint3D::RotationX(VornPoint3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.RotationX(a); }
void VornPoint3D::RotationY(VornPoint3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.RotationY(a); }
void VornPoint3D::RotationZ(VornPoint3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.RotationZ(a); }
void VornPoint3D::SetPosition(VornPoint3DHandle handle, float x, float y, float z) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.SetPosition(x, y, z); }

void VornPoint3D::LookAt(VornPoint3DHandle handle, const VornVector3* eye, const VornVector3* target, const VornVector3* up)
{
    VornBatch3DTransform* t = g_batch.Transform(handle);
    if (t && eye && target) t->posture.LookAt(*eye, *target, up);
}
