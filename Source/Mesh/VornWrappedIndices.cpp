#include "VornWrappedIndices.h"
#include <cstring>

namespace {

struct P {
    float x, y, z;
};

P At(const void* vertices, uint32_t stride, uint32_t i)
{
    P p;
    memcpy(&p, static_cast<const unsigned char*>(vertices) + static_cast<size_t>(i) * stride, sizeof p);
    return p;
}

float DistanceSq(P a, P b) { return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z); }

}  // namespace

bool VornWrappedIndices::IsWrapped(const uint32_t* indices, uint32_t triangleCount, uint32_t vertexCount)
{
    if (vertexCount <= 65536) return false;
    bool highOther = false;
    for (uint32_t t = 0; t < triangleCount; ++t) {
        if (indices[t * 3] >= 65536) return false;
        highOther = highOther || indices[t * 3 + 1] >= 65536 || indices[t * 3 + 2] >= 65536;
    }
    return highOther;
}

uint32_t VornWrappedIndices::Repair(const void* vertices, uint32_t stride, uint32_t vertexCount, uint32_t* indices,
                                    uint32_t triangleCount)
{
    uint32_t changed = 0;
    for (uint32_t t = 0; t < triangleCount; ++t) {
        uint32_t* f = indices + static_cast<size_t>(t) * 3;
        if (f[1] >= vertexCount || f[2] >= vertexCount) continue;
        const P b = At(vertices, stride, f[1]), c = At(vertices, stride, f[2]);
        uint32_t best = f[0];
        float bestDistance = 3.4e38f;
        for (uint64_t candidate = f[0] & 0xFFFFu; candidate < vertexCount; candidate += 65536) {
            const P a = At(vertices, stride, static_cast<uint32_t>(candidate));
            const float d = DistanceSq(a, b) + DistanceSq(a, c);
            if (d < bestDistance) {
                bestDistance = d;
                best = static_cast<uint32_t>(candidate);
            }
        }
        if (best != f[0]) ++changed;
        f[0] = best;
    }
    return changed;
}
