// VornPoint: lists of screen-space points (vertex type 0), placed by the class's own 2D transform
// and skipped when outside the scissor rectangle. A list holds at most capacity - 1 points.
#pragma once
#include "VornBatch2D.h"

typedef VornHandle VornPointHandle;

class VornPoint : public VornVertexListClass<VornPoint, DEVICE_CLASS_POINT, TRANSFORM2D_POINT> {
public:
    // False for none, or when a point does not fit (it and the rest are dropped). Points outside
    // the scissor rectangle, or that cannot be placed, are skipped without using capacity.
    static bool PushPoint(VornPointHandle handle, const VornVertex2D* points, uint32_t count);
};

template <>
VornVertexList2D VornVertexListClass<VornPoint, DEVICE_CLASS_POINT, TRANSFORM2D_POINT>::List_;
