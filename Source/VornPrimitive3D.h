// VornPrimitive3D: triangle lists in world space with their own world transform (scaling, then the posture).
#pragma once
#include "VornBatch3D.h"
#include "VornVector3.h"
#include <cstdint>

typedef VornHandle VornPrimitive3DHandle;

class VornPrimitive3D
{
public:
    static void SetMax(uint32_t count);
    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();
    static VornPrimitive3DHandle Create(uint32_t capacity, VornVertexType3D type);
    static void Release(VornPrimitive3DHandle handle);
    // Three vertices per triangle; false at the first triangle that no longer fits.
    static bool PushPolygon(VornPrimitive3DHandle handle, const VornVertex3D* vertices, uint32_t triangles);
    static void ResetBuffer(VornPrimitive3DHandle handle);
    static void UpdateBuffer(VornPrimitive3DHandle handle);
    static void Rendering(VornPrimitive3DHandle handle);
    static uint32_t GetVertexCount(VornPrimitive3DHandle handle);   // vertices stored since the last reset
    // Vertices the pushes asked for since the last reset, refused ones included.
    static uint32_t GetPolygonCount(VornPrimitive3DHandle handle);
    static void SetScale(VornPrimitive3DHandle handle, float x, float y, float z);
    static void TransformInit(VornPrimitive3DHandle handle);
    static void TransformUpdate(VornPrimitive3DHandle handle);
    static void LocalRotationX(VornPrimitive3DHandle handle, VornAngle a);
    static void LocalRotationY(VornPrimitive3DHandle handle, VornAngle a);
    static void LocalRotationZ(VornPrimitive3DHandle handle, VornAngle a);
    static void RotationX(VornPrimitive3DHandle handle, VornAngle a);
    static void RotationY(VornPrimitive3DHandle handle, VornAngle a);
    static void RotationZ(VornPrimitive3DHandle handle, VornAngle a);
    static void SetPosition(VornPrimitive3DHandle handle, float x, float y, float z);
    static void LookAt(VornPrimitive3DHandle handle, const VornVector3* eye, const VornVector3* target, const VornVector3* up);
    static const VornBatch3DRecord* GetRecord(VornPrimitive3DHandle handle);
};
