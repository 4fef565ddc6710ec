#include "VornLine3D.h"

namespace {

const VornBatch3DTexts kTexts = {
    __FILE__,
    "VornLine3D",
    "ライン用メモリ確保",
    "　　　ライン用メモリの確保に失敗",
    "Line3D Destroy [ No.%u ]",
    "VornLine3D::Create",
    "空きラインが見つかりませんでした。",
    "VornLine3D::Release",
};

VornBatch3D g_batch(kTexts, DEVICE_CLASS_LINE3D, D3DPT_LINELIST, 2, false);

}  // namespace

void VornLine3D::SetMax(uint32_t count) { g_batch.SetMax(count); }
bool VornLine3D::Initialize() { return g_batch.Initialize(OnDeviceLost, OnDeviceRestore); }
void VornLine3D::Finalize() { g_batch.Finalize(); }
void VornLine3D::OnDeviceLost() { g_batch.OnDeviceLost(); }
void VornLine3D::OnDeviceRestore() { g_batch.OnDeviceRestore(); }
VornLine3DHandle VornLine3D::Create(uint32_t capacity) { return g_batch.Create(capacity, 0); }
void VornLine3D::Release(VornLine3DHandle handle) { g_batch.Release(handle); }
bool VornLine3D::PushLine(VornLine3DHandle handle, const VornVertex3D* ends, uint32_t lines)
{
    return g_batch.Append(handle, ends, lines, 2);
}
void VornLine3D::ResetBuffer(VornLine3DHandle handle) { g_batch.ResetBuffer(handle); }
void VornLine3D::UpdateBuffer(VornLine3DHandle handle) { g_batch.UpdateBuffer(handle); }
void VornLine3D::Rendering(VornLine3DHandle handle) { g_batch.Rendering(handle); }
uint32_t VornLine3D::GetVertexCount(VornLine3DHandle handle) { return g_batch.GetCount(handle); }
const VornBatch3DRecord* VornLine3D::GetRecord(VornLine3DHandle handle) { return g_batch.GetRecord(handle); }
void VornLine3D::TransformInit(VornLine3DHandle handle) { g_batch.TransformInit(handle); }
void VornLine3D::TransformUpdate(VornLine3DHandle handle) { g_batch.TransformUpdate(handle); }
void VornLine3D::LocalRotationX(VornLine3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.LocalRotationX(a); }
void VornLine3D::LocalRotationY(VornLine3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.LocalRotationY(a); }
void VornLine3D::LocalRotationZ(VornLine3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.LocalRotationZ(a); }
void VornLine3D::RotationX(VornLine3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.RotationX(a); }
void VornLine3D::RotationY(VornLine3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.RotationY(a); }
void VornLine3D::RotationZ(VornLine3DHandle handle, VornAngle a) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.RotationZ(a); }
void VornLine3D::SetPosition(VornLine3DHandle handle, float x, float y, float z) { if (VornBatch3DTransform* t = g_batch.Transform(handle)) t->posture.SetPosition(x, y, z); }

void VornLine3D::LookAt(VornLine3DHandle handle, const VornVector3* eye, const VornVector3* target, const VornVector3* up)
{
    VornBatch3DTransform* t = g_batch.Transform(handle);
    if (t && eye && target) t->posture.LookAt(*eye, *target, up);
}
