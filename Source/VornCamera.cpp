#include "VornCamera.h"
#include "Vorn3D.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstring>
#include <new>

namespace {

VornCameraRecord* g_records = nullptr;
VornCameraView g_current;

// Zero, with identity view and a reset posture (the holders point at their own matrices).
void ClearRecord(VornCameraRecord& r)
{
    new (&r) VornCameraRecord();
    r.inUse = 0;
    memset(static_cast<void*>(r.projection.Get()), 0, sizeof(D3DXMATRIX));
    memset(static_cast<void*>(r.viewProjection.Get()), 0, sizeof(D3DXMATRIX));
    r.view.Identity();
    r.position.Set(0.0f, 0.0f, 0.0f);
    r.posture.Init();
    r.fov = r.aspect = r.zNear = r.zFar = 0.0f;
}

VornCameraRecord* Get(VornCameraHandle cam)
{
    return g_records && cam < VornCamera::kTableSize ? &g_records[cam] : nullptr;
}

// The device's view and projection follow the current view.
void UpdateCurrent()
{
    g_current.inverseViewProjection.Inverse(g_current.viewProjection);
    VornMath::TransformBoxCoord(&g_current.volume, VornVector3(-1.0f, -1.0f, 0.0f), VornVector3(1.0f, 1.0f, 1.0f),
                                g_current.inverseViewProjection);
    if (IDirect3DDevice9* device = Vorn3D::GetDevice()) {
        device->SetTransform(D3DTS_VIEW, g_current.view.Get());
        device->SetTransform(D3DTS_PROJECTION, g_current.projection.Get());
    }
}

void CurrentMatrices(D3DXMATRIX* view, D3DXMATRIX* projection)
{
    if (view) *view = *g_current.view.Get();
    if (projection) *projection = *g_current.projection.Get();
}

void ResetCurrent()
{
    g_current.projection.Identity();
    g_current.view.Identity();
    g_current.viewProjection.Identity();
    g_current.inverseViewProjection.Identity();
    g_current.position.Set(0.0f, 0.0f, 0.0f);
    memset(static_cast<void*>(&g_current.volume), 0, sizeof g_current.volume);
}

}  // namespace

bool VornCamera::Initialize()
{
    VornLog::Title("VornCameraクラスの初期化");
    VornLog::Strong("カメラ用メモリ確保");
    VornLog::LineBreak();
    if (!g_records) {
        void* block = VornMemory::AllocZero(kTableSize * static_cast<uint32_t>(sizeof(VornCameraRecord)),
                                            VornMemory::DEFAULT_TAG, __FILE__, __LINE__);
        if (!block) {
            VornLog::StrongRed("　　　カメラ用メモリの確保に失敗");
            VornLog::LineBreak();
            return false;
        }
        g_records = static_cast<VornCameraRecord*>(block);
        for (uint32_t i = 0; i < kTableSize; ++i) ClearRecord(g_records[i]);
    }
    ResetCurrent();
    Vorn3DLinks& links = Vorn3D::Links();
    links.cameraSet = SetCamera;
    links.cameraGetMatrices = CurrentMatrices;
    return true;
}

void VornCamera::Finalize()
{
    VornLog::Title("VornCameraクラスの解放");
    if (!g_records) return;
    Vorn3DLinks& links = Vorn3D::Links();
    links.cameraSet = nullptr;
    links.cameraGetMatrices = nullptr;
    for (uint32_t i = 0; i < kTableSize; ++i) {
        if (!g_records[i].inUse) continue;
        ClearRecord(g_records[i]);
        VornLog::StrongRed("Camera Destroy [ No.%u ]", i);
        VornLog::LineBreak();
    }
    VornMemory::Free(g_records);
    g_records = nullptr;
}

VornCameraHandle VornCamera::Create()
{
    for (uint32_t i = 0; g_records && i < kTableSize; ++i) {
        if (!g_records[i].inUse) {
            g_records[i].inUse = 1;
            return i;
        }
    }
    return VORN_INVALID_HANDLE;
}

void VornCamera::Release(VornCameraHandle cam)
{
    VornCameraRecord* r = Get(cam);
    if (!r || !r->inUse) return;
    ClearRecord(*r);
    VornLog::StrongRed("VornCamera::Release");
    VornLog::Print(" : [ No.%u ]", cam);
    VornLog::LineBreak();
}

void VornCamera::CreateProjection(VornCameraHandle cam, float fov, float zNear, float zFar, float aspect)
{
    VornCameraRecord* r = Get(cam);
    if (!r) return;
    r->fov = fov;
    r->zNear = zNear;
    r->zFar = zFar;
    r->aspect = aspect;
    r->projection.PerspectiveFov(fov, zNear, zFar, aspect);
}

void VornCamera::CreateOrtho(VornCameraHandle cam, float width, float height, float zNear, float zFar)
{
    VornCameraRecord* r = Get(cam);
    if (!r) return;
    r->projection.Ortho(width, height, zNear, zFar);
    r->zNear = zNear;
    r->zFar = zFar;
    r->fov = 1.0f;
    r->aspect = height != 0.0f ? width / height : 0.0f;
}

void VornCamera::TransformInit(VornCameraHandle cam)
{
    if (VornCameraRecord* r = Get(cam)) {
        r->posture.Init();
        r->view.Identity();
    }
}

void VornCamera::TransformUpdate(VornCameraHandle cam)
{
    VornCameraRecord* r = Get(cam);
    if (!r) return;
    r->posture.UpdateMatrices();
    r->position = r->posture.position;
    r->view = r->posture.inverseWorld;
    r->viewProjection.Multiply(r->view, r->projection);
}

void VornCamera::LocalRotationX(VornCameraHandle cam, VornAngle a) { if (VornCameraRecord* r = Get(cam)) r->posture.LocalRotationX(a); }
void VornCamera::LocalRotationY(VornCameraHandle cam, VornAngle a) { if (VornCameraRecord* r = Get(cam)) r->posture.LocalRotationY(a); }
void VornCamera::LocalRotationZ(VornCameraHandle cam, VornAngle a) { if (VornCameraRecord* r = Get(cam)) r->posture.LocalRotationZ(a); }
void VornCamera::RotationX(VornCameraHandle cam, VornAngle a) { if (VornCameraRecord* r = Get(cam)) r->posture.RotationX(a); }
void VornCamera::RotationY(VornCameraHandle cam, VornAngle a) { if (VornCameraRecord* r = Get(cam)) r->posture.RotationY(a); }
void VornCamera::RotationZ(VornCameraHandle cam, VornAngle a) { if (VornCameraRecord* r = Get(cam)) r->posture.RotationZ(a); }

void VornCamera::SetPosition(VornCameraHandle cam, float x, float y, float z)
{
    if (VornCameraRecord* r = Get(cam)) r->posture.SetPosition(x, y, z);
}

void VornCamera::LookAt(VornCameraHandle cam, const VornVector3* eye, const VornVector3* target, const VornVector3* up)
{
    VornCameraRecord* r = Get(cam);
    if (r && eye && target) r->posture.LookAt(*eye, *target, up);
}

void VornCamera::SetFront(VornCameraHandle cam, const VornVector3* v) { VornCameraRecord* r = Get(cam); if (r && v) r->posture.front = *v; }
void VornCamera::SetRight(VornCameraHandle cam, const VornVector3* v) { VornCameraRecord* r = Get(cam); if (r && v) r->posture.right = *v; }
void VornCamera::SetUp(VornCameraHandle cam, const VornVector3* v) { VornCameraRecord* r = Get(cam); if (r && v) r->posture.up = *v; }
void VornCamera::GetFront(VornCameraHandle cam, VornVector3* out) { VornCameraRecord* r = Get(cam); if (r && out) *out = r->posture.front; }
void VornCamera::GetRight(VornCameraHandle cam, VornVector3* out) { VornCameraRecord* r = Get(cam); if (r && out) *out = r->posture.right; }
void VornCamera::GetUp(VornCameraHandle cam, VornVector3* out) { VornCameraRecord* r = Get(cam); if (r && out) *out = r->posture.up; }

VornAngle VornCamera::GetAngleX(VornCameraHandle cam) { VornCameraRecord* r = Get(cam); return r ? r->posture.GetAngleX() : 0; }
VornAngle VornCamera::GetAngleY(VornCameraHandle cam) { VornCameraRecord* r = Get(cam); return r ? r->posture.GetAngleY() : 0; }
VornAngle VornCamera::GetAngleZ(VornCameraHandle cam) { VornCameraRecord* r = Get(cam); return r ? r->posture.GetAngleZ() : 0; }

void VornCamera::SetCamera(VornCameraHandle cam)
{
    VornCameraRecord* r = Get(cam);
    if (!r || !r->inUse) return;   // a released camera keeps the current view as it is
    g_current.position = r->position;
    g_current.view = r->view;
    g_current.projection = r->projection;
    g_current.viewProjection = r->viewProjection;
    UpdateCurrent();
}

void VornCamera::SetCurrentMatrices(const VornMatrix* projection, const VornMatrix* view)
{
    if (projection) g_current.projection = *projection;
    if (view) g_current.view = *view;
    g_current.viewProjection.Multiply(g_current.view, g_current.projection);
    UpdateCurrent();
}

void VornCamera::GetMatrices(VornMatrix* projection, VornMatrix* view, VornMatrix* viewProjection,
                             VornMatrix* inverseViewProjection)
{
    if (projection) *projection = g_current.projection;
    if (view) *view = g_current.view;
    if (viewProjection) *viewProjection = g_current.viewProjection;
    if (inverseViewProjection) *inverseViewProjection = g_current.inverseViewProjection;
}

void VornCamera::GetProjection(VornCameraHandle cam, VornMatrix* out)
{
    if (!out) return;
    const VornCameraRecord* r = static_cast<int32_t>(cam) >= 0 ? Get(cam) : nullptr;
    *out = r ? r->projection : g_current.projection;
}

void VornCamera::GetView(VornCameraHandle cam, VornMatrix* out)
{
    if (!out) return;
    const VornCameraRecord* r = static_cast<int32_t>(cam) >= 0 ? Get(cam) : nullptr;
    *out = r ? r->view : g_current.view;
}

void VornCamera::GetViewProjection(VornCameraHandle cam, VornMatrix* out)
{
    if (!out) return;
    const VornCameraRecord* r = static_cast<int32_t>(cam) >= 0 ? Get(cam) : nullptr;
    *out = r ? r->viewProjection : g_current.viewProjection;
}

void VornCamera::GetPosition(VornCameraHandle cam, VornVector3* out)
{
    if (!out) return;
    const VornCameraRecord* r = static_cast<int32_t>(cam) >= 0 ? Get(cam) : nullptr;
    *out = r ? r->position : g_current.position;
}

bool VornCamera::IsVisible(const VornBox& box)
{
    return VornMath::CollisionFrustumBox(g_current.volume, box);
}

const VornCameraView& VornCamera::GetCurrentView()
{
    return g_current;
}
