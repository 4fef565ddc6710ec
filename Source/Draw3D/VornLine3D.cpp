#include "VornLine3D.h"

namespace {

const VornBatch3DTexts kTexts = {
    __FILE__,
    "VornLine3Dクラスの初期化",
    "VornLine3Dクラスの解放",
    "ライン",
    "Line3D Destroy [ No.%u ]",
    "VornLine3D::Create",
    "空きラインが見つかりませんでした。",
    "VornLine3D::Release",
};

VornBatch3D g_batch(kTexts, DEVICE_CLASS_LINE3D, D3DPT_LINELIST, 2, false);

}  // namespace

VornBatch3D& VornLine3D::Batch() { return g_batch; }

VornLine3DHandle VornLine3D::Create(uint32_t capacity) { return g_batch.Create(capacity, 0); }

bool VornLine3D::PushLine(VornLine3DHandle handle, const VornVertex3D* ends, uint32_t lines)
{
    return g_batch.Append(handle, ends, lines, 2);
}

