#include "VornCamera.h"
#include "Vorn3D.h"
#include "VornLog.h"
#include <cstring>

namespace {

VornHandleTable<VornCameraRecord> g_table(nullptr, "Camera Destroy [ No.%u ]");
VornCameraView g_current;

// A cleared record (zero bytes) made whole: identity view and a reset posture; projection and
// view x projection stay zero.
void ResetRecord(VornCameraHandle cam)
{
    if (VornCameraRecord* r = g_table.Get(cam)) {
        r->view.Identity();
        r->posture.Init();
    }
}

// Any record of the table, in use or not (the camera operations do not look at the in-use byte).
VornCameraRecord* Get(VornCameraHandle cam) { return g_table.Get(cam); }

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
    g_table.SetMax(kTableSize);
    if (!g_table.InitializeLogged("VornCameraクラスの初期化", "カメラ", __FILE__, __LINE__)) return false;
    for (uint32_t i = 0; i < g_table.Count(); ++i) ResetRecord(i);
    ResetCurrent();
    Vorn3DLinks& links = Vorn3D::Links();
    links.cameraSet = SetCamera;
    links.cameraGetMatrices = CurrentMatrices;
    return true;
}

void VornCamera::Finalize()
{
    VornLog::Title("VornCameraクラスの解放");
    if (!g_table.IsInitialized()) return;
    Vorn3DLinks& links = Vorn3D::Links();
    links.cameraSet = nullptr;
    links.cameraGetMatrices = nullptr;
    g_table.Finalize();
}

VornCameraHandle VornCamera::Create()
{
    const VornCameraHandle cam = g_table.AllocRecord();
    ResetRecord(cam);
    return cam;
}

void VornCamera::Release(VornCameraHandle cam)
{
    if (!g_table.ReleaseRecord(cam)) return;
    ResetRecord(cam);
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
    const VornCameraRecord* r = g_table.GetLive(cam);
    if (!r) return;   // a released camera keeps the current view as it is
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
