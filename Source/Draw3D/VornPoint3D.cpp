#include "VornPoint3D.h"

namespace {

const VornBatch3DTexts kTexts = {
    __FILE__,
    "VornPoint3Dクラスの初期化",
    "VornPoint3Dクラスの解放",
    "ポイント",
    "Point Destroy [ No.%u ]",
    "VornPoint3D::Create",
    "空きポイントが見つかりませんでした。",
    "VornPoint3D::Release",
};

VornBatch3D g_batch(kTexts, DEVICE_CLASS_POINT3D, D3DPT_POINTLIST, 1, false);

}  // namespace

VornBatch3D& VornPoint3D::Batch() { return g_batch; }

VornPoint3DHandle VornPoint3D::Create(uint32_t capacity) { return g_batch.Create(capacity, 0); }

bool VornPoint3D::PushPoint(VornPoint3DHandle handle, const VornVertex3D* points, uint32_t count)
{
    return g_batch.Append(handle, points, count, 1);
}

