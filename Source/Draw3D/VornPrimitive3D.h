// VornPrimitive3D: triangle lists in world space with their own world transform (scaling, then the posture).
#pragma once
#include "VornBatch3D.h"
#include <cstdint>

typedef VornHandle VornPrimitive3DHandle;

class VornPrimitive3D : public VornBatch3DClass<VornPrimitive3D>
{
public:
    static VornPrimitive3DHandle Create(uint32_t capacity, VornVertexType3D type);
    // Three vertices per triangle; false at the first triangle that no longer fits.
    static bool PushPolygon(VornPrimitive3DHandle handle, const VornVertex3D* vertices, uint32_t triangles);
    // Vertices the pushes asked for since the last reset, refused ones included.
    static uint32_t GetPolygonCount(VornPrimitive3DHandle handle);
    static void SetScale(VornPrimitive3DHandle handle, float x, float y, float z);
    static VornBatch3D& Batch();
};
