#include "VornTangents.h"
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct V3 {
    float x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

V3 Read3(const unsigned char* p)
{
    V3 v;
    memcpy(&v, p, sizeof v);
    return v;
}
void Write3(unsigned char* p, V3 v) { memcpy(p, &v, sizeof v); }

// v made perpendicular to the unit normal n and normalised; false when nothing is left of it.
bool Orthonormal(V3 v, V3 n, V3* out)
{
    v = v - n * Dot(n, v);
    const float length = std::sqrt(Dot(v, v));
    if (!(length > 1e-20f) || !std::isfinite(length)) return false;
    *out = v * (1.0f / length);
    return true;
}

// Some unit vector perpendicular to the unit normal n (along x when n is zero).
V3 AnyPerpendicular(V3 n)
{
    const float ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
    const V3 axis = (ax <= ay && ax <= az) ? V3{1, 0, 0} : (ay <= az ? V3{0, 1, 0} : V3{0, 0, 1});
    V3 out;
    return Orthonormal(axis, n, &out) ? out : V3{1, 0, 0};
}

}  // namespace

bool VornTangents::Compute(void* vertices, uint32_t vertexCount, const VornTangentLayout& layout,
                           const uint32_t* indices, uint32_t triangleCount)
{
    unsigned char* base = static_cast<unsigned char*>(vertices);
    auto at = [&](uint32_t i, uint32_t offset) { return base + static_cast<size_t>(i) * layout.stride + offset; };
    std::vector<V3> sumT(vertexCount, V3{0, 0, 0}), sumB(vertexCount, V3{0, 0, 0});
    bool usable = false;
    for (uint32_t t = 0; t < triangleCount; ++t) {
        const uint32_t* f = indices + static_cast<size_t>(t) * 3;
        if (f[0] >= vertexCount || f[1] >= vertexCount || f[2] >= vertexCount) continue;
        const V3 p0 = Read3(at(f[0], layout.position));
        const V3 e1 = Read3(at(f[1], layout.position)) - p0;
        const V3 e2 = Read3(at(f[2], layout.position)) - p0;
        float uv[3][2];
        for (int c = 0; c < 3; ++c) memcpy(uv[c], at(f[c], layout.uv), sizeof uv[c]);
        const float du1 = uv[1][0] - uv[0][0], dv1 = uv[1][1] - uv[0][1];
        const float du2 = uv[2][0] - uv[0][0], dv2 = uv[2][1] - uv[0][1];
        const float det = du1 * dv2 - du2 * dv1;
        if (!(std::fabs(det) > 1e-12f) || !std::isfinite(det)) continue;   // u, v span no area
        const float r = 1.0f / det;
        const V3 tangent = (e1 * dv2 - e2 * dv1) * r;    // dP/du
        const V3 binormal = (e2 * du1 - e1 * du2) * r;   // dP/dv
        if (!std::isfinite(Dot(tangent, tangent)) || !std::isfinite(Dot(binormal, binormal))) continue;
        usable = true;
        for (int c = 0; c < 3; ++c) {
            sumT[f[c]] = sumT[f[c]] + tangent;
            sumB[f[c]] = sumB[f[c]] + binormal;
        }
    }
    if (!usable) return false;
    for (uint32_t i = 0; i < vertexCount; ++i) {
        V3 n = Read3(at(i, layout.normal));
        const float length = std::sqrt(Dot(n, n));
        n = (length > 0.0f && std::isfinite(length)) ? n * (1.0f / length) : V3{0, 0, 0};
        V3 tangent, binormal;
        if (!Orthonormal(sumT[i], n, &tangent)) tangent = AnyPerpendicular(n);
        if (!Orthonormal(sumB[i], n, &binormal)) {
            binormal = Cross(n, tangent);
            if (!(Dot(binormal, binormal) > 0.0f)) binormal = Cross(tangent, AnyPerpendicular(tangent));
        }
        Write3(at(i, layout.tangent), tangent);
        Write3(at(i, layout.binormal), binormal);
    }
    return true;
}
