// VornModelEx: segment picking against the meshes' triangles into the one hit-result buffer, and
// mesh-against-mesh tests.
#include "VornModelEx.h"
#include "Vorn3D.h"
#include "VornMath.h"
#include "VornModelExWalk.h"
#include <cstring>

using namespace vorn_modelex;

namespace {

struct HitSlot {
    uint32_t count;
    uint32_t faces[MODELEX_HIT_SLOTS];
    VornVector3 localPoints[MODELEX_HIT_SLOTS], worldPoints[MODELEX_HIT_SLOTS];
    VornVector3 localNormals[MODELEX_HIT_SLOTS], worldNormals[MODELEX_HIT_SLOTS];
};

struct HitResult {
    uint32_t meshCount;
    uint32_t meshes[MODELEX_HIT_SLOTS];
    HitSlot slots[MODELEX_HIT_SLOTS];
};

HitResult g_hits;

VornVector3 At(const VornModelExVertex& v) { return VornVector3(v.px, v.py, v.pz); }

// True when some coordinate is >= lo and some is <= hi.
bool Overlaps(float a, float b, float c, float lo, float hi) { return (a >= lo || b >= lo || c >= lo) && (a <= hi || b <= hi || c <= hi); }

void HitCheckMesh(const VornModelExMesh* m, const VornVector3& start, const VornVector3& end, bool normals, HitSlot* slot)
{
    VornMatrix inverse;
    InvertOrIdentity(inverse.Get(), m->combined.Get());
    VornVector3 s, e;
    s.Transform(start, inverse);
    e.Transform(end, inverse);
    VornVector3 d = e - s;
    const float length = d.Length();
    if (!(length > 0.0f)) return;   // a point hits nothing
    const VornVector3 lo(s.x < e.x ? s.x : e.x, s.y < e.y ? s.y : e.y, s.z < e.z ? s.z : e.z);
    const VornVector3 hi(s.x > e.x ? s.x : e.x, s.y > e.y ? s.y : e.y, s.z > e.z ? s.z : e.z);
    VornVector3 dir;
    dir.Normalize(d);
    const VornSegment3 segment = {s, e};
    for (uint32_t i = 0; i + 2 < m->indexCount && slot->count < MODELEX_HIT_SLOTS; i += 3) {
        const VornModelExVertex& a = m->vertices[m->indices[i]];
        const VornModelExVertex& b = m->vertices[m->indices[i + 1]];
        const VornModelExVertex& c = m->vertices[m->indices[i + 2]];
        if (!Overlaps(a.px, b.px, c.px, lo.x, hi.x) || !Overlaps(a.py, b.py, c.py, lo.y, hi.y) ||
            !Overlaps(a.pz, b.pz, c.pz, lo.z, hi.z))
            continue;
        const VornTriangle triangle = {At(a), At(b), At(c)};
        float t = 0.0f, u = 0.0f, v = 0.0f;
        if (!VornMath::CollisionLineTriangle(segment, triangle, &t, &u, &v) || t < 0.0f || t > length) continue;
        const uint32_t k = slot->count++;
        VornVector3 step = dir;
        step *= t;
        slot->localPoints[k] = s + step;
        slot->worldPoints[k].Transform(slot->localPoints[k], m->combined);
        slot->faces[k] = i / 3;
        if (normals) {
            VornVector3 n;
            n.Cross(triangle.p1 - triangle.p0, triangle.p2 - triangle.p0);
            slot->localNormals[k].Normalize(n);
            slot->worldNormals[k].TransformNormal(slot->localNormals[k], m->combined);
        }
    }
}

VornVector3 SphereCentre(const VornModelExMesh* m)
{
    VornVector3 c;
    c.Transform(m->centre, m->combined);
    return c;
}

}  // namespace

bool VornModelEx::HitCheck(VornModelExHandle model, int32_t mesh, const VornVector3& start, const VornVector3& end, bool,
                           bool normals)
{
    memset(static_cast<void*>(&g_hits), 0, sizeof g_hits);   // plain data: vectors and counts
    VornModelExRecord* r = Live(model);
    if (!r) return false;
    auto test = [&](uint32_t index) {
        const VornModelExMesh* m = r->meshList[index];
        if (!m->ready || g_hits.meshCount >= MODELEX_HIT_SLOTS) return;
        HitSlot* slot = &g_hits.slots[g_hits.meshCount];
        HitCheckMesh(m, start, end, normals, slot);
        if (slot->count) g_hits.meshes[g_hits.meshCount++] = index;
    };
    if (MeshAt(r, mesh)) test(static_cast<uint32_t>(mesh));
    else
        for (uint32_t i = 0; i < r->meshCount; ++i) test(i);
    return g_hits.meshCount > 0;
}

bool VornModelEx::HitCheckByScreen(VornModelExHandle model, int32_t mesh, float x, float y, bool unused, bool normals)
{
    D3DXVECTOR3 nearScreen(x, y, 0.0f), farScreen(x, y, 1.0f), start, end;
    Vorn3D::ScreenToWorld(&start, &nearScreen);
    Vorn3D::ScreenToWorld(&end, &farScreen);
    return HitCheck(model, mesh, start, end, unused, normals);
}

uint32_t VornModelEx::GetHitMeshList(uint32_t* out)
{
    if (out) memcpy(out, g_hits.meshes, g_hits.meshCount * sizeof(uint32_t));
    return g_hits.meshCount;
}

uint32_t VornModelEx::GetHitFaceList(uint32_t slot, uint32_t* out)
{
    if (slot >= g_hits.meshCount) return 0;
    const HitSlot& s = g_hits.slots[slot];
    if (out) memcpy(out, s.faces, s.count * sizeof(uint32_t));
    return s.count;
}

void VornModelEx::GetHitPoint(uint32_t slot, uint32_t n, VornVector3* local, VornVector3* world)
{
    if (slot >= MODELEX_HIT_SLOTS || n >= MODELEX_HIT_SLOTS) return;
    if (local) *local = g_hits.slots[slot].localPoints[n];
    if (world) *world = g_hits.slots[slot].worldPoints[n];
}

void VornModelEx::GetHitNormal(uint32_t slot, uint32_t n, VornVector3* local, VornVector3* world)
{
    if (slot >= MODELEX_HIT_SLOTS || n >= MODELEX_HIT_SLOTS) return;
    if (local) *local = g_hits.slots[slot].localNormals[n];
    if (world) *world = g_hits.slots[slot].worldNormals[n];
}

bool VornModelEx::HitCheckBoxByScreen(VornModelExHandle model, int32_t mesh, float x, float y)
{
    VornModelExRecord* r = Live(model);
    if (!r) return false;
    VornVector3 lo, hi;
    GetBoundingBox(model, mesh, &lo, &hi);
    VornBox box;
    r->posture.UpdateMatrices();
    VornMath::TransformBox(&box, lo, hi, r->posture.world);
    D3DXVECTOR3 nearScreen(x, y, 0.0f), farScreen(x, y, 1.0f), start, end;
    Vorn3D::ScreenToWorld(&start, &nearScreen);
    Vorn3D::ScreenToWorld(&end, &farScreen);
    const VornSegment3 segment = {start, end};
    return VornMath::CollisionSegmentBox(segment, box);
}

bool VornModelEx::HitCheckModel(uint32_t mode, VornModelExHandle a, int32_t meshA, VornModelExHandle b, int32_t meshB,
                                float scale)
{
    const VornModelExRecord* ra = Live(a);
    const VornModelExRecord* rb = Live(b);
    const VornModelExMesh* ma = ra ? MeshAt(ra, meshA) : nullptr;
    const VornModelExMesh* mb = rb ? MeshAt(rb, meshB) : nullptr;
    if (!ma || !mb) return false;
    switch (mode) {
    case 0: {
        const VornVector3 d = SphereCentre(ma) - SphereCentre(mb);
        const float sum = ma->radius * scale + mb->radius * scale;
        return d.LengthSq() < sum * sum;
    }
    case 1: {
        const VornVector3 ca = SphereCentre(ma), cb = SphereCentre(mb);
        const VornVector3 minA = ma->boxMin + ca, maxA = ma->boxMax + ca, minB = mb->boxMin + cb, maxB = mb->boxMax + cb;
        return maxA.x >= minB.x && minA.x <= maxB.x && maxA.y >= minB.y && minA.y <= maxB.y && maxA.z >= minB.z &&
               minA.z <= maxB.z;
    }
    case 2:
        return VornMath::CollisionBoxBox(ma->cullingBox, mb->cullingBox);
    default:
        return false;
    }
}
