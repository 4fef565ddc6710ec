#include "VornPrimitive.h"
#include "Vorn3D.h"
#include "VornBatch2D.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cmath>
#include <cstring>

namespace {

void DestroyBatch(VornPrimitiveRecord& r)
{
    VornMemory::Free(r.store);
    VornMemory::Free(r.buckets);
    r.store = nullptr;
    r.buckets = nullptr;
    VornBatch2D::ReleaseBuffer(&r.buffer);
}

VornHandleTable<VornPrimitiveRecord> g_table(DestroyBatch, "Primitive Destroy [ No.%u ]");
VornTransform2D g_transform;

// A sort node is larger than three vertices, so a sorted store can outgrow 32 bits.
uint64_t StoreBytes(const VornPrimitiveRecord& r)
{
    return r.sorted ? static_cast<uint64_t>(r.capacity / 3) * sizeof(VornPrimitiveSortNode)
                    : static_cast<uint64_t>(r.capacity) * r.stride;
}

// Links the triangles of a clip result into the depth buckets; dropped triangles are not counted.
void StoreSorted(VornPrimitiveRecord& r, const VornVertex2D* v, uint32_t n)
{
    for (uint32_t i = 0; i < n; i += 3) {
        const uint32_t bucket = VornPrimitive::DepthBucket(v[i].z, v[i + 1].z, v[i + 2].z);
        if (bucket >= VornPrimitive::kBucketCount) continue;
        auto* node = reinterpret_cast<VornPrimitiveSortNode*>(static_cast<uint8_t*>(r.store) + r.usedBytes);
        for (uint32_t k = 0; k < 3; ++k) memcpy(node->vertices + k * r.stride, &v[i + k], r.stride);
        node->next = r.buckets[bucket];
        r.buckets[bucket] = node;
        r.usedBytes += sizeof(VornPrimitiveSortNode);
        r.count += 3;
    }
}

// Copies n vertices of a fixed stride, so that each copy is a few moves rather than a call.
template <uint32_t kStride>
void CopyVertices(uint8_t* dst, const VornVertex2D* v, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i, dst += kStride) memcpy(dst, &v[i], kStride);
}

// Corner c (0-3: TL, TR, BR, BL) of a rectangle, with `stages` texture-coordinate pairs.
inline void RectCorner(VornVertex2D& v, uint32_t c, const float x[2], const float y[2], float z, float rhw,
                       uint32_t colour, const VornRectUV uv[4], uint32_t stages)
{
    const bool right = c == 1 || c == 2, bottom = c >= 2;
    v.x = x[right];
    v.y = y[bottom];
    v.z = z;
    v.rhw = rhw;
    v.colour = colour;
    for (uint32_t s = 0; s < stages; ++s) v.tex[s] = {right ? uv[s].uR : uv[s].uL, bottom ? uv[s].vB : uv[s].vT};
}

// The rectangle as the triangles (TL, TR, BR) and (BR, BL, TL), each vertex kType pairs long.
template <uint32_t kType>
void WriteRect(uint8_t* dst, const float x[2], const float y[2], float z, float rhw, uint32_t colour,
               const VornRectUV uv[4])
{
    constexpr uint32_t kStride = VornVertexStride2D(kType);
    VornVertex2D corner[4];
    for (uint32_t c = 0; c < 4; ++c) RectCorner(corner[c], c, x, y, z, rhw, colour, uv, kType);
    static constexpr uint8_t kOrder[6] = {0, 1, 2, 2, 3, 0};
    for (uint32_t i = 0; i < 6; ++i) memcpy(dst + i * kStride, &corner[kOrder[i]], kStride);
}

constexpr VornRectWriter kRectWriters[VORN_VERTEX2D_TYPE_MAX + 1] = {WriteRect<0>, WriteRect<1>, WriteRect<2>,
                                                                     WriteRect<3>, WriteRect<4>};

void StoreAppended(VornPrimitiveRecord& r, const VornVertex2D* v, uint32_t n)
{
    uint8_t* dst = static_cast<uint8_t*>(r.store) + r.usedBytes;
    switch (r.vertexType) {
    case 0: CopyVertices<VornVertexStride2D(0)>(dst, v, n); break;
    case 1: CopyVertices<VornVertexStride2D(1)>(dst, v, n); break;
    case 2: CopyVertices<VornVertexStride2D(2)>(dst, v, n); break;
    case 3: CopyVertices<VornVertexStride2D(3)>(dst, v, n); break;
    default: CopyVertices<VornVertexStride2D(4)>(dst, v, n); break;
    }
    r.usedBytes += n * r.stride;
    r.count += n;
}

// One transformed triangle into the batch, clipped when the scissor cuts it. A triangle the
// perspective could not place asks for its three vertices like any other and is then dropped, as
// one outside the depth range is. False when it does not fit.
bool StoreTriangle(VornPrimitiveRecord& r, const VornVertex2D placed[3], bool isPlaced)
{
    VornVertex2D clipped[VornTransform2D::kClipOutputMax];
    const VornVertex2D* v = placed;
    uint32_t n = 3;
    if (isPlaced && g_transform.Cuts(placed)) {
        n = g_transform.ClipTriangle(placed, clipped);
        v = clipped;
    }
    r.requested += n;
    if (r.count + n > r.capacity) return false;
    if (!isPlaced) return true;
    if (r.sorted)
        StoreSorted(r, v, n);
    else
        StoreAppended(r, v, n);
    return true;
}

}  // namespace

void VornPrimitive::SetMax(uint32_t count) { g_table.SetMax(count); }

bool VornPrimitive::Initialize()
{
    if (!g_table.InitializeLogged("VornPrimitiveクラスの初期化", "プリミティブ", __FILE__, __LINE__)) return false;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_PRIMITIVE, OnDeviceLost, OnDeviceRestore);
    Vorn3D::SetTransform2DSetters(TRANSFORM2D_PRIMITIVE, SetPerspective, SetZoom, SetScissoring);
    return true;
}

void VornPrimitive::Finalize()
{
    VornLog::Title("VornPrimitiveクラスの解放");
    if (!g_table.IsInitialized()) return;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_PRIMITIVE, nullptr, nullptr);
    Vorn3D::SetTransform2DSetters(TRANSFORM2D_PRIMITIVE, nullptr, nullptr, nullptr);
    g_table.Finalize();
}

void VornPrimitive::OnDeviceLost() { VornBatch2D::ReleaseBuffers(g_table); }

void VornPrimitive::OnDeviceRestore() { VornBatch2D::RestoreBuffers(g_table, UpdateBuffer); }

VornPrimitiveHandle VornPrimitive::Create(uint32_t capacity, VornVertexType2D type, bool sorted)
{
    VornLog::StrongBlue("VornPrimitive::Create");
    const VornPrimitiveHandle handle = g_table.AllocRecord();
    if (handle == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("空きプリミティブが見つかりませんでした。");
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print(" : [ No.%u ] : ", handle);
    VornPrimitiveRecord& r = g_table[handle];
    if (type > VORN_VERTEX2D_TYPE_MAX) type = VORN_VERTEX2D_TYPE_MAX;
    r.sorted = sorted ? 1 : 0;
    r.vertexType = type;
    r.fvf = VornVertexFVF2D(type);
    r.stride = VornVertexStride2D(type);
    r.capacity = capacity;
    r.bufferSize = capacity * r.stride;
    r.writeRect = sorted ? nullptr : kRectWriters[type];
    bool ok = VornBatch2D::CreateBufferLogged(capacity, r.stride, r.fvf, &r.buffer);
    if (ok && !sorted) {
        r.store = VornBatch2D::AllocStore(StoreBytes(r), "頂点保存用バッファ生成 { ", "頂点用メモリの確保に失敗");
        ok = r.store != nullptr;
    } else if (ok) {
        r.store = VornBatch2D::AllocStore(StoreBytes(r), "頂点ソート用バッファ生成 { ", "頂点ソート用メモリの確保に失敗");
        ok = r.store != nullptr;
        if (ok) {
            VornLog::Print(" } ");
            r.buckets = static_cast<VornPrimitiveSortNode**>(VornBatch2D::AllocStore(
                kBucketCount * sizeof(VornPrimitiveSortNode*), "頂点ソート用リストバッファ生成 { ",
                "頂点ソート用リストメモリの確保に失敗"));
            ok = r.buckets != nullptr;
        }
    }
    if (!ok) {
        VornLog::LineBreak();
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print(" } ");
    VornLog::Print(" VERTEX COUNT [ %u ] : VERTEX SIZE [ %uBYTE ] : ", capacity, r.stride);
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return handle;
}

void VornPrimitive::Release(VornPrimitiveHandle handle)
{
    if (g_table.ReleaseRecord(handle)) VornBatch2D::LogRelease("VornPrimitive::Release", handle);
}

bool VornPrimitive::PushPolygon(VornPrimitiveHandle handle, const VornVertex2D* triangles, uint32_t count)
{
    VornPrimitiveRecord* r = g_table.GetLive(handle);
    if (!r || !triangles) return false;
    const VornTransform2D::Scale scale = VornTransform2D::ScreenScale();
    VornVertex2D placed[3];
    for (uint32_t i = 0; i < count; ++i) {
        memcpy(placed, triangles + 3 * i, sizeof placed);
        const bool isPlaced = g_transform.TransformVertex(placed[0], scale) &&
                              g_transform.TransformVertex(placed[1], scale) &&
                              g_transform.TransformVertex(placed[2], scale);
        if (!StoreTriangle(*r, placed, isPlaced)) return false;
    }
    return true;
}

bool VornPrimitive::PushQuad(VornPrimitiveHandle handle, const VornVertex2D corners[4])
{
    VornPrimitiveRecord* r = g_table.GetLive(handle);
    if (!r || !corners) return false;
    // Each corner is placed once for both triangles.
    const VornTransform2D::Scale scale = VornTransform2D::ScreenScale();
    VornVertex2D q[4];
    memcpy(q, corners, sizeof q);
    bool ok[4];
    for (uint32_t k = 0; k < 4; ++k) ok[k] = g_transform.TransformVertex(q[k], scale);
    if (!StoreTriangle(*r, q, ok[0] && ok[1] && ok[2])) return false;
    const VornVertex2D second[3] = {q[2], q[3], q[0]};
    return StoreTriangle(*r, second, ok[2] && ok[3] && ok[0]);
}

bool VornPrimitive::PushRect(VornPrimitiveHandle handle, float x0, float y0, float x1, float y1, float z,
                             uint32_t colour, const VornRectUV uv[4])
{
    VornPrimitiveRecord* r = g_table.GetLive(handle);
    if (!r) return false;
    float x[2] = {x0, x1}, y[2] = {y0, y1}, placedZ = z, rhw = 1.0f;
    const bool direct = r->writeRect && r->count + 6 <= r->capacity &&
                        g_transform.TransformRect(x, y, placedZ, rhw, VornTransform2D::ScreenScale()) &&
                        !(g_transform.scissorOn && (std::fmin(x[0], x[1]) < g_transform.scissorLeft ||
                                                    std::fmax(x[0], x[1]) > g_transform.scissorRight ||
                                                    std::fmin(y[0], y[1]) < g_transform.scissorTop ||
                                                    std::fmax(y[0], y[1]) > g_transform.scissorBottom));
    if (!direct) {
        // Sorted, full, cut or not placeable: the corners take the general way.
        const float x01[2] = {x0, x1}, y01[2] = {y0, y1};
        VornVertex2D q[4];
        for (uint32_t c = 0; c < 4; ++c) RectCorner(q[c], c, x01, y01, z, 1.0f, colour, uv, 4);
        return PushQuad(handle, q);
    }
    r->writeRect(static_cast<uint8_t*>(r->store) + r->usedBytes, x, y, placedZ, rhw, colour, uv);
    r->usedBytes += 6 * r->stride;
    r->count += 6;
    r->requested += 6;
    return true;
}

void VornPrimitive::ResetBuffer(VornPrimitiveHandle handle)
{
    VornPrimitiveRecord* r = g_table.GetLive(handle);
    if (!r) return;
    r->count = 0;
    r->usedBytes = 0;
    r->requested = 0;
    if (r->buckets) memset(r->buckets, 0, kBucketCount * sizeof(VornPrimitiveSortNode*));
}

void VornPrimitive::UpdateBuffer(VornPrimitiveHandle handle)
{
    VornPrimitiveRecord* r = g_table.GetLive(handle);
    if (!r || r->count == 0 || !r->buffer) return;
    if (!r->sorted) {
        VornBatch2D::Upload(r->buffer, r->usedBytes, r->store, r->usedBytes);
        return;
    }
    void* locked = nullptr;
    if (FAILED(r->buffer->Lock(0, 0, &locked, D3DLOCK_DISCARD)) || !locked) return;
    uint8_t* dst = static_cast<uint8_t*>(locked);
    const uint32_t triangleBytes = 3 * r->stride;
    for (uint32_t b = kBucketCount; b-- > 0;) {
        for (const VornPrimitiveSortNode* node = r->buckets[b]; node; node = node->next) {
            memcpy(dst, node->vertices, triangleBytes);
            dst += triangleBytes;
        }
    }
    r->buffer->Unlock();
}

void VornPrimitive::Rendering(VornPrimitiveHandle handle)
{
    const VornPrimitiveRecord* r = g_table.GetLive(handle);
    if (!r || r->count == 0) return;
    VornBatch2D::Draw(r->buffer, r->fvf, r->stride, D3DPT_TRIANGLELIST, r->count / 3);
}

uint32_t VornPrimitive::GetRequestedVertexCount(VornPrimitiveHandle handle)
{
    return g_table.GetField(handle, &VornPrimitiveRecord::requested);
}

uint32_t VornPrimitive::GetVertexCount(VornPrimitiveHandle handle)
{
    return g_table.GetField(handle, &VornPrimitiveRecord::count);
}

const void* VornPrimitive::GetVertexData(VornPrimitiveHandle handle)
{
    const VornPrimitiveRecord* r = g_table.GetLive(handle);
    return r && !r->sorted ? r->store : nullptr;
}

void VornPrimitive::SetScissoring(bool on, const RECT* rect) { g_transform.SetScissoring(on, rect); }

void VornPrimitive::SetZoom(bool on, float centreX, float centreY, float scale)
{
    g_transform.SetZoom(on, centreX, centreY, scale);
}

void VornPrimitive::SetPerspective(bool on, float centreX, float centreY, float factor)
{
    g_transform.SetPerspective(on, centreX, centreY, factor);
}

const VornTransform2D& VornPrimitive::GetTransform() { return g_transform; }

uint32_t VornPrimitive::DepthBucket(float z0, float z1, float z2)
{
    const float f = (z0 + z1 + z2) * 0.33333334f * 8191.0f;
    // Truncation toward zero: an average just below 0 still lands in bucket 0.
    if (!(f > -1.0f && f < static_cast<float>(kBucketCount))) return kBucketCount;
    return static_cast<uint32_t>(static_cast<int32_t>(f));
}
