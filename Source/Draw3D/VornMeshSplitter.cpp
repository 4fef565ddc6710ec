#include "VornMeshSplitter.h"
#include <windows.h>
#include <mmsystem.h>
#include <cmath>
#include <cstring>

namespace {

using Vertex = VornMeshSplitterVertex;
using Triangle = VornMeshSplitterTriangle;
constexpr int kFloats = 18;
constexpr int kPolygonMax = 16;   // a triangle clipped by four half-planes has at most 7 corners
constexpr uint32_t kNone = 0xFFFFFFFFu;

void* PageAlloc(size_t bytes)
{
    return bytes ? VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE) : nullptr;
}
void PageFree(void* p)
{
    if (p) VirtualFree(p, 0, MEM_RELEASE);
}

// Scratch array on pages; grows by doubling and keeps its contents.
template <typename T> class PageArray
{
public:
    PageArray() = default;
    PageArray(const PageArray&) = delete;
    PageArray& operator=(const PageArray&) = delete;
    ~PageArray() { PageFree(data_); }
    bool Reserve(size_t n)
    {
        if (n <= capacity_) return true;
        const size_t want = n > capacity_ * 2 ? n : capacity_ * 2;
        T* p = static_cast<T*>(PageAlloc(want * sizeof(T)));
        if (!p) return false;
        if (size_) memcpy(static_cast<void*>(p), data_, size_ * sizeof(T));
        PageFree(data_);
        data_ = p;
        capacity_ = want;
        return true;
    }
    bool Resize(size_t n)
    {
        if (!Reserve(n)) return false;
        size_ = n;
        return true;
    }
    void Clear() { size_ = 0; }
    void Push(const T& value) { data_[size_++] = value; }   // room reserved by the caller
    size_t Size() const { return size_; }
    T* Data() { return data_; }
    T& operator[](size_t i) { return data_[i]; }

private:
    T* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

inline float* F(Vertex& v) { return &v.px; }
inline const float* F(const Vertex& v) { return &v.px; }

// Sutherland-Hodgman against one bound on x (axis 0) or z (axis 2); keepAbove keeps coord >= bound.
int ClipAxis(const Vertex* in, int n, Vertex* out, int axis, float bound, bool keepAbove)
{
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const Vertex& a = in[i];
        const Vertex& b = in[(i + 1) % n];
        const float ca = F(a)[axis], cb = F(b)[axis];
        const bool insideA = keepAbove ? ca >= bound : ca <= bound;
        const bool insideB = keepAbove ? cb >= bound : cb <= bound;
        if (insideA) out[m++] = a;
        if (insideA != insideB) {
            const float t = (bound - ca) / (cb - ca);
            Vertex& c = out[m++];
            for (int k = 0; k < kFloats; ++k) F(c)[k] = F(a)[k] + (F(b)[k] - F(a)[k]) * t;
            F(c)[axis] = bound;
        }
    }
    return m;
}

inline bool Near(float a, float b, float tolerance) { return a - tolerance <= b && b <= a + tolerance; }

// Hash of the weld: buckets of position cubes, each a list of survivors in ascending order.
struct WeldBucket {
    int64_t x, y, z;
    uint32_t head, tail;   // kNone: empty slot
};

inline int64_t CubeOf(float value, double inverseSize)
{
    const double c = std::floor(static_cast<double>(value) * inverseSize);
    const double limit = 1e15;
    return static_cast<int64_t>(c < -limit ? -limit : (c > limit ? limit : c));
}

inline uint32_t HashCube(int64_t x, int64_t y, int64_t z, uint32_t mask)
{
    uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full + (h >> 29);
    h ^= static_cast<uint64_t>(z) * 0x165667B19E3779F9ull + (h >> 31);
    return static_cast<uint32_t>(h ^ (h >> 32)) & mask;
}

}  // namespace

VornMeshSplitter::VornMeshSplitter() : division_(0), tolerance_(0.01f), cells_(nullptr) {}

VornMeshSplitter::~VornMeshSplitter() { FreeCells(); }

void VornMeshSplitter::FreeCells()
{
    if (cells_) {
        const size_t total = static_cast<size_t>(division_) * division_;
        for (size_t i = 0; i < total; ++i) PageFree(cells_[i].ranges);   // one block per cell
        PageFree(cells_);
    }
    cells_ = nullptr;
    division_ = 0;
}

int32_t VornMeshSplitter::GetDivision() const { return division_; }

const VornMeshSplitterCell* VornMeshSplitter::GetCell(int32_t x, int32_t z) const
{
    if (!cells_ || x < 0 || z < 0 || x >= division_ || z >= division_) return nullptr;
    return &cells_[static_cast<size_t>(z) * division_ + x];
}

bool VornMeshSplitter::IsWeldable(const Vertex& a, const Vertex& b, float tolerance)
{
    const float* fa = F(a);
    const float* fb = F(b);
    for (int k = 0; k < 12; ++k)
        if (!Near(fa[k], fb[k], tolerance)) return false;
    return Near(a.u, b.u, tolerance) && Near(a.v, b.v, tolerance);
}

uint32_t VornMeshSplitter::WeldPlain(const Vertex* vertices, uint32_t count, float tolerance, uint32_t* remap)
{
    PageArray<uint32_t> survivors;
    if (!survivors.Reserve(count)) return kNone;
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t joined = kNone;
        for (size_t s = 0; s < survivors.Size(); ++s) {
            if (IsWeldable(vertices[survivors[s]], vertices[k], tolerance)) {
                joined = static_cast<uint32_t>(s);
                break;
            }
        }
        if (joined == kNone) {
            joined = static_cast<uint32_t>(survivors.Size());
            survivors.Push(k);
        }
        remap[k] = joined;
    }
    return static_cast<uint32_t>(survivors.Size());
}

uint32_t VornMeshSplitter::WeldHashed(const Vertex* vertices, uint32_t count, float tolerance, uint32_t* remap)
{
    // Cubes twice the tolerance: two weldable positions lie in the same or neighbouring cubes.
    const double inverseSize = tolerance > 0.0f ? 1.0 / (2.0 * tolerance) : 1.0;
    uint32_t slots = 16;
    while (slots < count * 2u) slots <<= 1;
    const uint32_t mask = slots - 1;
    PageArray<WeldBucket> buckets;
    PageArray<uint32_t> next;
    if (!buckets.Resize(slots) || !next.Resize(count)) return kNone;
    for (uint32_t i = 0; i < slots; ++i) buckets[i].head = kNone;

    auto find = [&](int64_t x, int64_t y, int64_t z) -> WeldBucket& {
        uint32_t i = HashCube(x, y, z, mask);
        while (buckets[i].head != kNone && (buckets[i].x != x || buckets[i].y != y || buckets[i].z != z))
            i = (i + 1) & mask;
        return buckets[i];
    };

    uint32_t survivors = 0;
    for (uint32_t k = 0; k < count; ++k) {
        const Vertex& v = vertices[k];
        const int64_t cx = CubeOf(v.px, inverseSize), cy = CubeOf(v.py, inverseSize), cz = CubeOf(v.pz, inverseSize);
        uint32_t best = kNone;
        for (int dz = -1; dz <= 1; ++dz)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const WeldBucket& b = find(cx + dx, cy + dy, cz + dz);
                    for (uint32_t s = b.head; s != kNone && s < best; s = next[s]) {
                        if (IsWeldable(vertices[s], v, tolerance)) {
                            best = s;
                            break;
                        }
                    }
                }
        if (best != kNone) {
            remap[k] = remap[best];
            continue;
        }
        remap[k] = survivors++;
        next[k] = kNone;
        WeldBucket& b = find(cx, cy, cz);
        if (b.head == kNone) {
            b.x = cx;
            b.y = cy;
            b.z = cz;
            b.head = k;
        } else {
            next[b.tail] = k;
        }
        b.tail = k;
    }
    return survivors;
}

double VornMeshSplitter::Convert(const Triangle* triangles, int32_t count, int32_t n, int32_t scale)
{
    const DWORD start = timeGetTime();
    FreeCells();
    if (n < 1) n = 1;
    if (count < 0 || !triangles) count = 0;
    const size_t total = static_cast<size_t>(n) * n;

    // Materials and the X/Z extent.
    uint32_t materials = 0;
    float minX = 0, maxX = 0, minZ = 0, maxZ = 0;
    for (int32_t t = 0; t < count; ++t) {
        const Triangle& tri = triangles[t];
        if (tri.material >= 0x00FFFFFFu) return -1.0;   // a material number no mesh has
        if (tri.material + 1 > materials) materials = tri.material + 1;
        for (const Vertex& v : tri.v) {
            if (t == 0 && &v == &tri.v[0]) {
                minX = maxX = v.px;
                minZ = maxZ = v.pz;
            }
            minX = v.px < minX ? v.px : minX;
            maxX = v.px > maxX ? v.px : maxX;
            minZ = v.pz < minZ ? v.pz : minZ;
            maxZ = v.pz > maxZ ? v.pz : maxZ;
        }
    }

    // Scaling (a zero extent is left alone).
    float factor = 1.0f;
    const float extent = (maxZ - minZ) > (maxX - minX) ? (maxZ - minZ) : (maxX - minX);
    if (scale != -1 && extent > 0.0f) {
        factor = static_cast<float>(scale) / extent;
        const float x0 = minX * factor, x1 = maxX * factor, z0 = minZ * factor, z1 = maxZ * factor;
        minX = x0 < x1 ? x0 : x1;
        maxX = x0 < x1 ? x1 : x0;
        minZ = z0 < z1 ? z0 : z1;
        maxZ = z0 < z1 ? z1 : z0;
    }
    auto scaled = [factor](Vertex v) {
        if (factor != 1.0f) {
            v.px *= factor;
            v.py *= factor;
            v.pz *= factor;
        }
        return v;
    };

    const float dx = (maxX - minX) / static_cast<float>(n);
    const float dz = (maxZ - minZ) / static_cast<float>(n);
    PageArray<float> bounds;   // x0[n], x1[n], z0[n], z1[n]
    if (!bounds.Resize(static_cast<size_t>(n) * 4)) return -1.0;
    float* cellX0 = bounds.Data();
    float* cellX1 = cellX0 + n;
    float* cellZ0 = cellX1 + n;
    float* cellZ1 = cellZ0 + n;
    for (int32_t i = 0; i < n; ++i) {
        cellX0[i] = minX + static_cast<float>(i) * dx;
        cellX1[i] = cellX0[i] + dx;
        cellZ0[i] = minZ + static_cast<float>(i) * dz;
        cellZ1[i] = cellZ0[i] + dz;
    }

    // Binning by box: each cell's list of the triangles its square does not exclude, in input order.
    auto candidates = [n](float lo, float hi, float origin, float size, int32_t* first, int32_t* last) {
        *first = 0;
        *last = n - 1;
        if (!(size > 0.0f)) return;
        const double a = std::floor((static_cast<double>(lo) - origin) / size) - 1.0;
        const double b = std::floor((static_cast<double>(hi) - origin) / size) + 1.0;
        if (a == a && a > 0.0) *first = a > n - 1 ? n - 1 : static_cast<int32_t>(a);
        if (b == b && b < n - 1) *last = b < 0.0 ? 0 : static_cast<int32_t>(b);
    };
    PageArray<uint32_t> binStart, binList;
    if (!binStart.Resize(total + 1)) return -1.0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int32_t t = 0; t < count; ++t) {
            float lx = 0, hx = 0, lz = 0, hz = 0;
            for (int c = 0; c < 3; ++c) {
                const Vertex v = scaled(triangles[t].v[c]);
                if (c == 0 || v.px < lx) lx = v.px;
                if (c == 0 || v.px > hx) hx = v.px;
                if (c == 0 || v.pz < lz) lz = v.pz;
                if (c == 0 || v.pz > hz) hz = v.pz;
            }
            int32_t c0, c1, r0, r1;
            candidates(lx, hx, minX, dx, &c0, &c1);
            candidates(lz, hz, minZ, dz, &r0, &r1);
            for (int32_t r = r0; r <= r1; ++r) {
                if (hz < cellZ0[r] || lz > cellZ1[r]) continue;
                for (int32_t c = c0; c <= c1; ++c) {
                    if (hx < cellX0[c] || lx > cellX1[c]) continue;
                    const size_t cell = static_cast<size_t>(r) * n + c;
                    if (pass == 0)
                        ++binStart[cell + 1];
                    else
                        binList[binStart[cell]++] = static_cast<uint32_t>(t);
                }
            }
        }
        if (pass == 0) {
            for (size_t i = 0; i < total; ++i) binStart[i + 1] += binStart[i];
            if (!binList.Resize(binStart[total] ? binStart[total] : 1)) return -1.0;
        } else {
            for (size_t i = total; i > 0; --i) binStart[i] = binStart[i - 1];   // back to the starts
            binStart[0] = 0;
        }
    }

    cells_ = static_cast<VornMeshSplitterCell*>(PageAlloc(total * sizeof(VornMeshSplitterCell)));
    if (!cells_) return -1.0;
    division_ = n;

    PageArray<Triangle> work;
    PageArray<uint32_t> materialStart, remap;
    PageArray<Vertex> unshared;
    if (!materialStart.Resize(materials + 1)) {
        FreeCells();
        return -1.0;
    }
    for (int32_t z = 0; z < n; ++z) {
        for (int32_t x = 0; x < n; ++x) {
            const size_t index = static_cast<size_t>(z) * n + x;
            VornMeshSplitterCell& cell = cells_[index];
            cell.materialCount = materials;
            const uint32_t* bin = &binList[binStart[index]];
            const size_t binned = binStart[index + 1] - binStart[index];

            // Clipping: up to five triangles from one input triangle.
            work.Clear();
            if (!work.Reserve(binned * 5 + 1)) {
                FreeCells();
                return -1.0;
            }
            for (size_t b = 0; b < binned; ++b) {
                const Triangle& in = triangles[bin[b]];
                Vertex p[kPolygonMax], q[kPolygonMax];
                for (int c = 0; c < 3; ++c) p[c] = scaled(in.v[c]);
                int m = ClipAxis(p, 3, q, 0, cellX0[x], true);
                m = ClipAxis(q, m, p, 0, cellX1[x], false);
                m = ClipAxis(p, m, q, 2, cellZ0[z], true);
                m = ClipAxis(q, m, p, 2, cellZ1[z], false);
                for (int i = 1; i + 1 < m; ++i) work.Push(Triangle{in.material, {p[0], p[i], p[i + 1]}});
            }

            // Unshared vertices gathered by material, in order.
            const size_t triangleCount = work.Size();
            size_t rangeBytes = sizeof(VornMeshSplitterRange) * materials;
            if (triangleCount == 0) {
                cell.ranges = static_cast<VornMeshSplitterRange*>(PageAlloc(rangeBytes));
                if (materials && !cell.ranges) {
                    FreeCells();
                    return -1.0;
                }
                continue;
            }
            const size_t vertexCount = triangleCount * 3;
            if (vertexCount > 0xFFFFFFFFu || !unshared.Resize(vertexCount) || !remap.Resize(vertexCount)) {
                FreeCells();
                return -1.0;
            }
            for (uint32_t m = 0; m <= materials; ++m) materialStart[m] = 0;
            for (size_t t = 0; t < triangleCount; ++t) ++materialStart[work[t].material + 1];
            for (uint32_t m = 0; m < materials; ++m) materialStart[m + 1] += materialStart[m];
            for (size_t t = 0; t < triangleCount; ++t) {
                const uint32_t slot = materialStart[work[t].material]++;
                memcpy(&unshared[slot * 3], work[t].v, sizeof work[t].v);
            }
            // materialStart[m] now holds the end of material m.

            const uint32_t welded = WeldHashed(unshared.Data(), static_cast<uint32_t>(vertexCount), tolerance_, remap.Data());
            if (welded == kNone || welded > static_cast<uint32_t>(kMaxCellVertices)) {
                FreeCells();
                return -1.0;
            }

            // Degenerate triangles dropped; the indices fit in 16 bits from here on.
            uint32_t kept = 0;
            for (size_t t = 0; t < triangleCount; ++t) {
                const uint32_t a = remap[t * 3], b = remap[t * 3 + 1], c = remap[t * 3 + 2];
                if (a != b && b != c && a != c) ++kept;
            }
            const size_t vertexBytes = sizeof(Vertex) * welded;
            rangeBytes = (rangeBytes + 15) & ~static_cast<size_t>(15);
            char* block = static_cast<char*>(PageAlloc(rangeBytes + vertexBytes + sizeof(uint16_t) * 3 * kept));
            if (!block) {
                FreeCells();
                return -1.0;
            }
            cell.ranges = reinterpret_cast<VornMeshSplitterRange*>(block);
            cell.vertices = reinterpret_cast<Vertex*>(block + rangeBytes);
            cell.indices = reinterpret_cast<uint16_t*>(block + rangeBytes + vertexBytes);
            uint32_t out = 0;
            size_t t = 0;
            for (uint32_t m = 0; m < materials; ++m) {
                cell.ranges[m].first = out;
                for (; t < materialStart[m]; ++t) {
                    const uint32_t a = remap[t * 3], b = remap[t * 3 + 1], c = remap[t * 3 + 2];
                    if (a == b || b == c || a == c) continue;
                    cell.indices[out++] = static_cast<uint16_t>(a);
                    cell.indices[out++] = static_cast<uint16_t>(b);
                    cell.indices[out++] = static_cast<uint16_t>(c);
                }
                cell.ranges[m].count = out - cell.ranges[m].first;
            }
            cell.indexCount = out;
            uint32_t survivors = 0;
            for (size_t k = 0; k < vertexCount; ++k) {
                if (remap[k] != survivors) continue;   // welded onto an earlier vertex
                const Vertex& v = unshared[k];
                cell.vertices[survivors++] = v;
                if (survivors == 1) {
                    cell.min = cell.max = VornVector3(v.px, v.py, v.pz);
                    continue;
                }
                cell.min.x = v.px < cell.min.x ? v.px : cell.min.x;
                cell.min.y = v.py < cell.min.y ? v.py : cell.min.y;
                cell.min.z = v.pz < cell.min.z ? v.pz : cell.min.z;
                cell.max.x = v.px > cell.max.x ? v.px : cell.max.x;
                cell.max.y = v.py > cell.max.y ? v.py : cell.max.y;
                cell.max.z = v.pz > cell.max.z ? v.pz : cell.max.z;
            }
            cell.vertexCount = survivors;
        }
    }
    return (timeGetTime() - start) / 1000.0;
}
