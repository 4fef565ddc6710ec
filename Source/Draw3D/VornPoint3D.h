// VornPoint3D: point lists in world space (position and colour), posed by their own posture.
#pragma once
#include "VornBatch3D.h"
#include <cstdint>

typedef VornHandle VornPoint3DHandle;

class VornPoint3D : public VornBatch3DClass<VornPoint3D>
{
public:
    static VornPoint3DHandle Create(uint32_t capacity);
    // A list holds at most capacity - 1 points.
    static bool PushPoint(VornPoint3DHandle handle, const VornVertex3D* points, uint32_t count);
    static VornBatch3D& Batch();
};
