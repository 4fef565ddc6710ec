// VornPoint3D: point lists in world space (position and colour), posed by their own posture.
#pragma once
#include "VornBatch3D.h"
#include "VornVector3.h"
#include <cstdint>

typedef VornHandle VornPoint3DHandle;

class VornPoint3D
{
public:
    static void SetMax(uint32_t count);
    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();
    static VornPoint3DHandle Create(uint32_t capacity);
    static void Release(VornPoint3DHandle handle);
    // A list holds at most capacity - 1 points.
    static bool PushPoint(VornPoint3DHandle handle, const VornVertex3D* points, uint32_t count);
    static void ResetBuffer(VornPoint3DHandle handle);
    static void UpdateBuffer(VornPoint3DHandle handle);
    static void Rendering(VornPoint3DHandle handle);
    static uint32_t GetVertexCount(VornPoint3DHandle handle);   // vertices stored since the last reset
    static void TransformInit(VornPoint3DHandle handle);
    static void TransformUpdate(VornPoint3DHandle handle);
    static void LocalRotationX(VornPoint3DHandle handle, VornAngle a);
    static void LocalRotationY(VornPoint3DHandle handle, VornAngle a);
    static void LocalRotationZ(VornPoint3DHandle handle, VornAngle a);
    static void RotationX(VornPoint3DHandle handle, VornAngle a);
    static void RotationY(VornPoint3DHandle handle, VornAngle a);
    static void RotationZ(VornPoint3DHandle handle, VornAngle a);
    static void SetPosition(VornPoint3DHandle handle, float x, float y, float z);
    static void LookAt(VornPoint3DHandle handle, const VornVector3* eye, const VornVector3* target, const VornVector3* up);
    static const VornBatch3DRecord* GetRecord(VornPoint3DHandle handle);
};
