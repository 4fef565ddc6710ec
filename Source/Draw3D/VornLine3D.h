// VornLine3D: line lists in world space (position and colour), posed by their own posture.
#pragma once
#include "VornBatch3D.h"
#include <cstdint>

typedef VornHandle VornLine3DHandle;

class VornLine3D : public VornBatch3DClass<VornLine3D>
{
public:
    static VornLine3DHandle Create(uint32_t capacity);
    // Two ends per line; a list holds at most capacity - 1 vertices.
    static bool PushLine(VornLine3DHandle handle, const VornVertex3D* ends, uint32_t lines);
    static VornBatch3D& Batch();
};
