#include "VornLine.h"

namespace {
constexpr VornVertexListTexts kTexts = {
    __FILE__,
    "VornLine",
    "ライン",
    "Line Destroy [ No.%u ]",
    "空きラインが見つかりませんでした。",
};
}  // namespace

template <>
VornVertexList2D VornVertexListClass<VornLine, DEVICE_CLASS_LINE, TRANSFORM2D_LINE>::List_{kTexts, D3DPT_LINELIST, 2};

bool VornLine::PushLine(VornLineHandle handle, const VornVertex2D* ends, uint32_t count)
{
    if (handle == VORN_INVALID_HANDLE || !ends) return false;
    for (uint32_t i = 0; i < count; ++i) {
        VornVertex2D line[2] = {ends[2 * i], ends[2 * i + 1]};
        const bool kept = List_.transform.TransformVertex(line[0]) && List_.transform.TransformVertex(line[1]) &&
                          List_.transform.ClipLine(line[0], line[1]);
        if (!List_.Append(handle, line, kept ? 2 : 0)) return false;
    }
    return true;
}
