// VornLine3D: line lists in world space (position and colour), posed by their own posture.
#pragma once
#include "VornBatch3D.h"
#include "VornVector3.h"
#include <cstdint>

typedef VornHandle VornLine3DHandle;

class VornLine3D
{
public:
    static void SetMax(uint32_t count);
    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();
    static VornLine3DHandle Create(uint32_t capacity);
    static void Release(VornLine3DHandle handle);
    // Two ends per line; a list holds at most capacity - 1 vertices.
    static bool PushLine(VornLine3DHandle handle, const VornVertex3D* ends, uint32_t lines);
    static void ResetBuffer(VornLine3DHandle handle);
    static void UpdateBuffer(VornLine3DHandle handle);
    static void Rendering(VornLine3DHandle handle);
    static uint32_t GetVertexCount(VornLine3DHandle handle);   // vertices stored since the last reset
    static void TransformInit(VornLine3DHandle handle);
    static void TransformUpdate(VornLine3DHandle handle);
    static void LocalRotationX(VornLine3DHandle handle, VornAngle a);
    static void LocalRotationY(VornLine3DHandle handle, VornAngle a);
    static void LocalRotationZ(VornLine3DHandle handle, VornAngle a);
    static void RotationX(VornLine3DHandle handle, VornAngle a);
    static void RotationY(VornLine3DHandle handle, VornAngle a);
    static void RotationZ(VornLine3DHandle handle, VornAngle a);
    static void SetPosition(VornLine3DHandle handle, float x, float y, float z);
    static void LookAt(VornLine3DHandle handle, const VornVector3* eye, const VornVector3* target, const VornVector3* up);
    static const VornBatch3DRecord* GetRecord(VornLine3DHandle handle);
};
