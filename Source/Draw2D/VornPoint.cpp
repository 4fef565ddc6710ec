#include "VornPoint.h"

namespace {
constexpr VornVertexListTexts kTexts = {
    __FILE__,
    "VornPoint",
    "ポイント",
    "Point Destroy [ No.%u ]",
    "空きポイントが見つかりませんでした。",
};
}  // namespace

template <>
VornVertexList2D VornVertexListClass<VornPoint, DEVICE_CLASS_POINT, TRANSFORM2D_POINT>::List_{kTexts, D3DPT_POINTLIST, 1};

bool VornPoint::PushPoint(VornPointHandle handle, const VornVertex2D* points, uint32_t count)
{
    if (handle == VORN_INVALID_HANDLE || !points) return false;
    for (uint32_t i = 0; i < count; ++i) {
        VornVertex2D v = points[i];
        if (!List_.transform.TransformVertex(v) || !List_.transform.PointInside(v)) continue;
        if (!List_.Append(handle, &v, 1)) return false;
    }
    return true;
}
