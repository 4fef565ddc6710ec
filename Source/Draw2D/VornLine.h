// VornLine: lists of screen-space lines (vertex type 0), placed by the class's own 2D transform
// and cut at the scissor rectangle. A list holds at most capacity - 1 vertices.
#pragma once
#include "VornBatch2D.h"

typedef VornHandle VornLineHandle;

class VornLine : public VornVertexListClass<VornLine, DEVICE_CLASS_LINE, TRANSFORM2D_LINE> {
public:
    // ends: two vertices per line. False for none, or when a line does not fit (it and the rest
    // are dropped). Lines wholly outside the scissor rectangle, or that cannot be placed, store
    // nothing and are not a failure.
    static bool PushLine(VornLineHandle handle, const VornVertex2D* ends, uint32_t count);
};

template <>
VornVertexList2D VornVertexListClass<VornLine, DEVICE_CLASS_LINE, TRANSFORM2D_LINE>::List_;
