#include "VornFrameSphere.h"
#include <vector>

void VornFrameSphere(const VornFrameSphereItem* items, uint32_t count, D3DXVECTOR3* centre, float* radius)
{
    *centre = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    *radius = 0.0f;
    if (count == 0) return;
    std::vector<D3DXVECTOR3> moved(count);
    for (uint32_t i = 0; i < count; ++i) {
        moved[i] = items[i].centre;
        if (items[i].matrix) D3DXVec3TransformCoord(&moved[i], &items[i].centre, items[i].matrix);
        *centre += moved[i];
    }
    *centre /= static_cast<float>(count);
    for (uint32_t i = 0; i < count; ++i) {
        const D3DXVECTOR3 d = moved[i] - *centre;
        const float r = D3DXVec3Length(&d) + items[i].radius;
        if (r > *radius) *radius = r;
    }
}
