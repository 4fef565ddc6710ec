// VornCamera: a table of cameras (a posture with a projection each) and the one current view that
// every 3D class reads: projection, view, their product and its inverse, the camera position and
// the culling volume of the view frustum.
#pragma once
#include "VornCollision.h"
#include "VornHandleTable.h"
#include "VornMatrix.h"
#include "VornPosture.h"
#include "VornVector3.h"
#include <cstdint>

using VornCameraHandle = VornHandle;

struct VornCameraView {
    VornMatrix projection;
    VornMatrix view;
    VornMatrix viewProjection;
    VornMatrix inverseViewProjection;
    VornVector3 position;
    VornBox volume;   // the frustum in world space
};

struct VornCameraRecord {
    uint8_t inUse;
    VornMatrix projection;
    VornMatrix view;
    VornMatrix viewProjection;
    VornVector3 position;   // the posture's, as of the last TransformUpdate
    VornPosture posture;
    float fov;
    float aspect;
    float zNear;
    float zFar;
};

class VornCamera
{
public:
    static constexpr uint32_t kTableSize = 32;

    static bool Initialize();
    static void Finalize();

    static VornCameraHandle Create();
    static void Release(VornCameraHandle cam);
    static void CreateProjection(VornCameraHandle cam, float fov, float zNear, float zFar, float aspect);
    static void CreateOrtho(VornCameraHandle cam, float width, float height, float zNear, float zFar);
    static void TransformInit(VornCameraHandle cam);
    static void TransformUpdate(VornCameraHandle cam);

    static void LocalRotationX(VornCameraHandle cam, VornAngle a);
    static void LocalRotationY(VornCameraHandle cam, VornAngle a);
    static void LocalRotationZ(VornCameraHandle cam, VornAngle a);
    static void RotationX(VornCameraHandle cam, VornAngle a);
    static void RotationY(VornCameraHandle cam, VornAngle a);
    static void RotationZ(VornCameraHandle cam, VornAngle a);
    static void SetPosition(VornCameraHandle cam, float x, float y, float z);
    static void LookAt(VornCameraHandle cam, const VornVector3* eye, const VornVector3* target, const VornVector3* up);
    static void SetFront(VornCameraHandle cam, const VornVector3* v);
    static void SetRight(VornCameraHandle cam, const VornVector3* v);
    static void SetUp(VornCameraHandle cam, const VornVector3* v);
    static void GetFront(VornCameraHandle cam, VornVector3* out);
    static void GetRight(VornCameraHandle cam, VornVector3* out);
    static void GetUp(VornCameraHandle cam, VornVector3* out);
    static VornAngle GetAngleX(VornCameraHandle cam);
    static VornAngle GetAngleY(VornCameraHandle cam);
    static VornAngle GetAngleZ(VornCameraHandle cam);

    // Makes a camera in use current; also sets the device's view and projection transforms.
    static void SetCamera(VornCameraHandle cam);
    static void SetCurrentMatrices(const VornMatrix* projection, const VornMatrix* view);
    static void GetMatrices(VornMatrix* projection, VornMatrix* view, VornMatrix* viewProjection,
                            VornMatrix* inverseViewProjection);
    // The camera's own matrix, or the current view's for a negative (none) handle.
    static void GetProjection(VornCameraHandle cam, VornMatrix* out);
    static void GetView(VornCameraHandle cam, VornMatrix* out);
    static void GetViewProjection(VornCameraHandle cam, VornMatrix* out);
    static void GetPosition(VornCameraHandle cam, VornVector3* out);
    static bool IsVisible(const VornBox& box);
    static const VornCameraView& GetCurrentView();
};
