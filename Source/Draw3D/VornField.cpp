#include "VornField.h"
#include "Vorn.h"
#include "VornCamera.h"
#include "VornFile.h"
#include "VornLog.h"
#include "VornMath.h"
#include "VornMatrix.h"
#include "VornMemory.h"
#include "VornMeshSplitter.h"
#include "VornTangents.h"
#include "VornXMeshBuilder.h"
#include <algorithm>
#include <cstring>

namespace {

void DestroyField(VornFieldRecord& r);
VornHandleTable<VornFieldRecord> g_table(DestroyField, "Field Destroy [ No.%u ]");

// The parameters the field sets: fog, camera position, mTransform, mWorld, mWorldView, lights.
constexpr uint32_t kSceneFlags = SHADER_FLAG_FOG | SHADER_FLAG_CAMERA_POS | SHADER_FLAG_TRANSFORM |
                                 SHADER_FLAG_WORLD | SHADER_FLAG_WORLD_VIEW | SHADER_FLAG_LIGHTS;

// The clone the conversion reads: the 60-byte layout.
struct CloneVertex {
    float px, py, pz, nx, ny, nz, tx, ty, tz, bx, by, bz;
    D3DCOLOR diffuse;
    float u, v;
};
static_assert(sizeof(CloneVertex) == 60, "clone vertex");

const D3DVERTEXELEMENT9 kElements60[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TANGENT, 0},
    {0, 36, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BINORMAL, 0},
    {0, 48, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 52, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};
const D3DVERTEXELEMENT9 kElements36[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
    {0, 28, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};

template <typename T> void ReleaseCom(T*& p)
{
    if (p) p->Release();
    p = nullptr;
}

void* AllocLogged(size_t bytes, const char* name)
{
    void* p = bytes <= 0xFFFFFFFFu ? VornMemory::AllocZeroQuiet(static_cast<uint32_t>(bytes), VornMemory::DEFAULT_TAG,
                                                                 __FILE__, __LINE__)
                                   : nullptr;
    if (!p) {
        if (strcmp(name, "pFace") == 0)
            VornLog::StrongRed("Out of memory error [ pFace ] %.3lfKB", bytes / 1024.0);
        else
            VornLog::StrongRed("Out of memory error [ %s ] %dKB", name, static_cast<int>(bytes / 1024));
        VornLog::Print(" : ");
    }
    return p;
}

// Conversion scratch from the page allocator (a stage's triangle list outgrows a work area).
void* PageAllocLogged(size_t bytes, const char* name)
{
    void* p = VirtualAlloc(nullptr, bytes ? bytes : 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!p) {
        VornLog::StrongRed("Out of memory error [ %s ] %dKB", name, static_cast<int>(bytes / 1024));
        VornLog::Print(" : ");
    }
    return p;
}

void FreeNode(VornFieldNode* node)
{
    if (!node) return;
    for (VornFieldNode* child : node->child) FreeNode(child);
    VornMemory::Free(node);
}

void ReleaseBlockObjects(VornFieldBlock& b)
{
    ReleaseCom(b.declaration);
    ReleaseCom(b.vertexBuffer);
    ReleaseCom(b.indexBuffer);
}

void DestroyField(VornFieldRecord& r)
{
    FreeNode(r.root);
    r.root = nullptr;
    if (r.blocks) {
        const size_t total = static_cast<size_t>(r.division) * r.division;
        for (size_t i = 0; i < total; ++i) {
            VornFieldBlock& b = r.blocks[i];
            ReleaseBlockObjects(b);
            if (b.vertices) VornMemory::Free(b.vertices);   // vertices, indices and ranges: one block
            if (b.faceNormals) VornMemory::Free(b.faceNormals);
        }
    }
    if (r.materials) {
        for (uint32_t m = 0; m < r.materialCount; ++m)
            for (VornTextureHandle t : r.materials[m].texture) VornTexture::Release(t);
    }
    VornShaderFx::Release(r.effect);
    if (r.materials) VornMemory::Free(r.materials);
    if (r.drawList) VornMemory::Free(r.drawList);
    if (r.blocks) VornMemory::Free(r.blocks);
}

void Fail(const char* text)
{
    VornLog::StrongRed("%s", text);
    VornLog::Print(" : ");
}

// Triangle list for the splitter from the locked clone, in attribute-range order.
struct LockedClone {
    ID3DXMesh* mesh = nullptr;
    CloneVertex* vertices = nullptr;
    void* indices = nullptr;
    ~LockedClone()
    {
        if (!mesh) return;
        if (vertices) mesh->UnlockVertexBuffer();
        if (indices) mesh->UnlockIndexBuffer();
        mesh->Release();
    }
};

float Channel(D3DCOLOR c, int shift) { return static_cast<float>((c >> shift) & 0xFF) / 255.0f; }

uint32_t PackChannel(float f)
{
    const float scaled = f * 255.0f;
    if (!(scaled > 0.0f)) return 0;
    return static_cast<uint32_t>(scaled > 255.0f ? 255.0f : scaled) & 0xFF;
}

bool ConvertMesh(VornFieldRecord& r, ID3DXMesh* mesh, int32_t level, int32_t scale)
{
    r.shaderMajor = 1;
    r.shaderMinor = 1;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    const bool hasDiffuse = (mesh->GetFVF() & D3DFVF_DIFFUSE) != 0;
    LockedClone clone;
    const DWORD options = D3DXMESH_SYSTEMMEM | (mesh->GetOptions() & D3DXMESH_32BIT);
    if (FAILED(mesh->CloneMesh(options, kElements60, device, &clone.mesh))) {
        clone.mesh = nullptr;
        Fail("ERROR CloneMesh");
        return false;
    }
    if (FAILED(clone.mesh->OptimizeInplace(D3DXMESHOPT_ATTRSORT, nullptr, nullptr, nullptr, nullptr))) {
        Fail("ERROR OptimizeInplace");
        return false;
    }
    if (FAILED(D3DXComputeNormals(clone.mesh, nullptr))) {
        Fail("ERROR ::D3DXComputeNormals");
        return false;
    }
    if (FAILED(clone.mesh->LockIndexBuffer(D3DLOCK_READONLY, &clone.indices))) {
        clone.indices = nullptr;
        Fail("ERROR LockIndexBuffer");
        return false;
    }
    void* vertexBits = nullptr;
    if (FAILED(clone.mesh->LockVertexBuffer(0, &vertexBits))) {
        Fail("ERROR LockVertexBuffer");
        return false;
    }
    clone.vertices = static_cast<CloneVertex*>(vertexBits);
    const uint32_t faces = clone.mesh->GetNumFaces();
    const uint32_t vertexCount = clone.mesh->GetNumVertices();
    const bool wide = (clone.mesh->GetOptions() & D3DXMESH_32BIT) != 0;   // asked for at load
    auto index = [&](size_t i) -> uint32_t {
        return wide ? static_cast<const uint32_t*>(clone.indices)[i] : static_cast<const uint16_t*>(clone.indices)[i];
    };

    // Tangents: our own routine (the platform's may end the process).
    const size_t listBytes = static_cast<size_t>(faces) * 3 * sizeof(uint32_t);
    uint32_t* list = static_cast<uint32_t*>(PageAllocLogged(listBytes, "pMeshData"));
    if (!list) return false;
    for (size_t i = 0; i < static_cast<size_t>(faces) * 3; ++i) list[i] = index(i);
    const VornTangentLayout layout = {60, 0, 12, 52, 24, 36};
    // The CPU copy keeps them either way; a mesh without coordinates is a fault only when they were
    // asked for.
    if (!VornTangents::Compute(clone.vertices, vertexCount, layout, list, faces) && r.tangent) {
        VornLog::StrongRed("ERROR ::D3DXComputeTangent");
        VornLog::Print(" : ");
        r.tangent = 0;
    }

    // The splitter's triangles, in attribute-range order.
    DWORD rangeCount = 0;
    clone.mesh->GetAttributeTable(nullptr, &rangeCount);
    D3DXATTRIBUTERANGE* ranges = rangeCount ? static_cast<D3DXATTRIBUTERANGE*>(PageAllocLogged(
                                                  rangeCount * sizeof(D3DXATTRIBUTERANGE), "pMeshData"))
                                            : nullptr;
    VornMeshSplitterTriangle* triangles = static_cast<VornMeshSplitterTriangle*>(
        PageAllocLogged(static_cast<size_t>(faces) * sizeof(VornMeshSplitterTriangle), "pMeshData"));
    uint32_t count = 0;
    if (ranges && triangles) {
        clone.mesh->GetAttributeTable(ranges, &rangeCount);
        for (DWORD a = 0; a < rangeCount; ++a) {
            const DWORD first = ranges[a].FaceStart;
            for (DWORD f = first; f - first < ranges[a].FaceCount && f < faces && count < faces; ++f) {
                VornMeshSplitterTriangle& t = triangles[count++];
                t.material = ranges[a].AttribId;
                for (int c = 0; c < 3; ++c) {
                    const uint32_t vi = list[static_cast<size_t>(f) * 3 + c];
                    const CloneVertex& s = clone.vertices[vi < vertexCount ? vi : 0];
                    VornMeshSplitterVertex& d = t.v[c];
                    memcpy(&d.px, &s.px, 12 * sizeof(float));
                    d.a = Channel(s.diffuse, 24);
                    d.r = Channel(s.diffuse, 16);
                    d.g = Channel(s.diffuse, 8);
                    d.b = Channel(s.diffuse, 0);
                    d.u = s.u;
                    d.v = s.v;
                }
            }
        }
    }
    if (ranges) VirtualFree(ranges, 0, MEM_RELEASE);

    // A field needs ground: no faces, or a level whose grid cannot be counted, fails here.
    VornMeshSplitter splitter;
    double seconds = -1.0;
    if (triangles && count > 0 && level <= VornField::kMaxLevel) {
        const int32_t n = level <= 1 ? 1 : 1 << (level - 1);
        seconds = splitter.Convert(triangles, static_cast<int32_t>(count), n, scale);
    }
    if (triangles) VirtualFree(triangles, 0, MEM_RELEASE);
    VirtualFree(list, 0, MEM_RELEASE);
    if (seconds < 0.0) return false;
    VornLog::Print("ConvertTime [%.3lf秒] : ", seconds);

    const int32_t n = splitter.GetDivision();
    const size_t total = static_cast<size_t>(n) * n;
    r.blocks = static_cast<VornFieldBlock*>(AllocLogged(total * sizeof(VornFieldBlock), "pMeshData"));
    if (!r.blocks) return false;
    r.division = n;
    r.drawList = static_cast<uint8_t*>(AllocLogged(total, "pIsDrawList"));
    if (!r.drawList) return false;
    for (int32_t row = 0; row < n; ++row) {
        for (int32_t column = 0; column < n; ++column) {
            const VornMeshSplitterCell* cell = splitter.GetCell(column, row);
            VornFieldBlock& b = r.blocks[static_cast<size_t>(row) * n + column];
            b.min = cell->min;
            b.max = cell->max;
            b.vertexCount = cell->vertexCount;
            b.indexCount = cell->indexCount;
            const size_t vertexBytes = sizeof(VornFieldVertex) * b.vertexCount;
            const size_t indexBytes = (sizeof(uint16_t) * b.indexCount + 3) & ~static_cast<size_t>(3);
            const size_t rangeBytes = sizeof(VornFieldRange) * r.materialCount;
            char* data = static_cast<char*>(AllocLogged(vertexBytes + indexBytes + rangeBytes + 1, "pMeshData"));
            if (!data) return false;
            b.vertices = reinterpret_cast<VornFieldVertex*>(data);
            b.indices = reinterpret_cast<uint16_t*>(data + vertexBytes);
            b.ranges = reinterpret_cast<VornFieldRange*>(data + vertexBytes + indexBytes);
            if (b.indexCount) memcpy(b.indices, cell->indices, sizeof(uint16_t) * b.indexCount);
            for (uint32_t m = 0; m < r.materialCount && m < cell->materialCount; ++m) {
                b.ranges[m].first = cell->ranges[m].first;
                b.ranges[m].count = cell->ranges[m].count;
            }
            for (uint32_t i = 0; i < b.vertexCount; ++i) {
                const VornMeshSplitterVertex& s = cell->vertices[i];
                VornFieldVertex& d = b.vertices[i];
                memcpy(&d.px, &s.px, 12 * sizeof(float));
                d.diffuse = hasDiffuse ? (PackChannel(s.a) << 24 | PackChannel(s.r) << 16 | PackChannel(s.g) << 8 |
                                          PackChannel(s.b))
                                       : 0xFFFFFFFFu;
                d.u = s.u;
                d.v = s.v;
            }
            const uint32_t triangleCount = b.indexCount / 3;
            b.faceNormals = static_cast<VornVector3*>(
                AllocLogged(sizeof(VornVector3) * triangleCount + 1, "pFace"));
            if (!b.faceNormals) return false;
            for (uint32_t t = 0; t < triangleCount; ++t) {
                const VornFieldVertex& p0 = b.vertices[b.indices[t * 3]];
                const VornFieldVertex& p1 = b.vertices[b.indices[t * 3 + 1]];
                const VornFieldVertex& p2 = b.vertices[b.indices[t * 3 + 2]];
                const VornVector3 e1(p1.px - p0.px, p1.py - p0.py, p1.pz - p0.pz);
                const VornVector3 e2(p2.px - p0.px, p2.py - p0.py, p2.pz - p0.pz);
                VornVector3 normal;
                normal.Cross(e1, e2);
                if (normal.LengthSq() > 0.0f) normal.NormalizeSelf();   // a collinear triangle keeps zero
                b.faceNormals[t] = normal;
            }
        }
    }
    return true;
}

// Declaration and buffers of every block with vertices; a block that fails keeps none and goes undrawn.
void CreateBlockBuffers(VornFieldRecord& r)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device || !r.blocks) return;
    const bool software = Vorn3D::IsSoftwareVertexShader(r.shaderMajor, r.shaderMinor);
    const DWORD usage = software ? (D3DUSAGE_WRITEONLY | D3DUSAGE_SOFTWAREPROCESSING) : (D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY);
    const DWORD indexUsage = usage & ~static_cast<DWORD>(D3DUSAGE_SOFTWAREPROCESSING);
    const D3DPOOL pool = software ? D3DPOOL_SYSTEMMEM : D3DPOOL_DEFAULT;
    const uint32_t stride = r.tangent ? VornField::kStride60 : VornField::kStride36;
    for (int32_t row = 0; row < r.division; ++row) {
        for (int32_t column = 0; column < r.division; ++column) {
            VornFieldBlock& b = r.blocks[static_cast<size_t>(row) * r.division + column];
            if (!b.vertexCount) continue;
            ReleaseBlockObjects(b);
            auto fail = [&](const char* text, HRESULT hr) {
                ReleaseBlockObjects(b);
                if (strstr(text, "%d"))
                    VornLog::StrongRed(text, row, column, Vorn3D::GetErrorText(hr));
                else
                    VornLog::StrongRed(text, Vorn3D::GetErrorText(hr));
                VornLog::LineBreak();
            };
            HRESULT hr = device->CreateVertexDeclaration(r.tangent ? kElements60 : kElements36, &b.declaration);
            if (FAILED(hr)) {
                fail("頂点シェーダ宣言の生成に失敗 [%s]", hr);
                continue;
            }
            hr = device->CreateVertexBuffer(b.vertexCount * stride, usage, 0, pool, &b.vertexBuffer, nullptr);
            if (FAILED(hr)) {
                fail("頂点バッファの生成に失敗 (%d,%d) [%s]", hr);
                continue;
            }
            void* bits = nullptr;
            hr = b.vertexBuffer->Lock(0, 0, &bits, 0);
            if (FAILED(hr)) {
                fail("頂点バッファのロックに失敗 (%d,%d) [%s]", hr);
                continue;
            }
            char* out = static_cast<char*>(bits);
            for (uint32_t i = 0; i < b.vertexCount; ++i, out += stride) {
                const VornFieldVertex& v = b.vertices[i];
                if (r.tangent) {
                    memcpy(out, &v, 60);
                } else {
                    memcpy(out, &v.px, 24);
                    memcpy(out + 24, &v.diffuse, 12);
                }
            }
            b.vertexBuffer->Unlock();
            hr = device->CreateIndexBuffer(b.indexCount * 2 + (b.indexCount ? 0 : 2), indexUsage, D3DFMT_INDEX16, pool,
                                           &b.indexBuffer, nullptr);
            if (FAILED(hr)) {
                fail("インデックスバッファの生成に失敗 (%d,%d) [%s]", hr);
                continue;
            }
            hr = b.indexBuffer->Lock(0, 0, &bits, 0);
            if (FAILED(hr)) {
                fail("インデックスバッファのロックに失敗 (%d,%d) [%s]", hr);
                continue;
            }
            if (b.indexCount) memcpy(bits, b.indices, b.indexCount * 2);
            b.indexBuffer->Unlock();
        }
    }
}

// Node over the blocks (c .. c + s - 1, r .. r + s - 1); false when memory ran out.
bool BuildNode(VornFieldRecord& f, VornFieldNode* node, int32_t c, int32_t r, int32_t s)
{
    node->block = -2;
    bool ok = true;
    if (s == 1) {
        const int32_t index = r * f.division + c;
        const VornFieldBlock& b = f.blocks[index];
        node->block = b.vertexCount ? index : -1;
        node->min = b.min;
        node->max = b.max;
    } else {
        const int32_t h = s / 2;
        const int32_t at[4][2] = {{c, r}, {c + h, r}, {c, r + h}, {c + h, r + h}};
        bool any = false;
        for (int i = 0; i < 4; ++i) {
            VornFieldNode* child = static_cast<VornFieldNode*>(
                VornMemory::AllocZeroQuiet(sizeof(VornFieldNode), VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
            node->child[i] = child;
            if (!child || !BuildNode(f, child, at[i][0], at[i][1], h)) {
                ok = false;
                continue;
            }
            if (child->block == -1) continue;
            if (!any) {
                node->min = child->min;
                node->max = child->max;
                any = true;
                continue;
            }
            node->min = VornVector3(std::min(node->min.x, child->min.x), std::min(node->min.y, child->min.y),
                                    std::min(node->min.z, child->min.z));
            node->max = VornVector3(std::max(node->max.x, child->max.x), std::max(node->max.y, child->max.y),
                                    std::max(node->max.z, child->max.z));
        }
    }
    const VornMatrix identity;
    VornMath::TransformBox(&node->box, node->min, node->max, identity);
    return ok;
}

void Walk(VornFieldRecord& f, const VornFieldNode* node)
{
    if (!node || !VornCamera::IsVisible(node->box)) return;
    if (node->block < 0) {
        for (const VornFieldNode* child : node->child) Walk(f, child);
        return;
    }
    f.drawList[node->block] = 1;
}

int32_t FindBlock(const VornFieldNode* node, const VornVector3& p)
{
    if (!node) return -1;
    if (!(node->min.x <= p.x && p.x <= node->max.x && node->min.z <= p.z && p.z <= node->max.z)) return -1;
    if (node->block >= 0) return node->block;
    for (const VornFieldNode* child : node->child) {
        const int32_t found = FindBlock(child, p);
        if (found != -1) return found;
    }
    return -1;
}

VornTriangle TriangleOf(const VornFieldBlock& b, uint32_t t)
{
    VornTriangle tri;
    VornVector3* corner[3] = {&tri.p0, &tri.p1, &tri.p2};
    for (int c = 0; c < 3; ++c) {
        const VornFieldVertex& v = b.vertices[b.indices[t * 3 + c]];
        *corner[c] = VornVector3(v.px, v.py, v.pz);
    }
    return tri;
}

// The line test over the triangles of one block: the best (smallest) t so far and its outputs.
struct LineHit {
    float best = 1e10f;
    bool result = false;
    void Test(const VornFieldBlock& b, const VornSegment3& line, VornVector3* position, VornVector3* normal,
              float* distance)
    {
        for (uint32_t t = 0; t < b.indexCount / 3; ++t) {
            const VornTriangle tri = TriangleOf(b, t);
            float hit = 0, u = 0, v = 0;
            if (!VornMath::CollisionLineTriangle(line, tri, &hit, &u, &v) || !(hit < best)) continue;
            best = hit;
            if (best < 0.0f) result = true;
            if (position) *position = tri.p0 + (tri.p1 - tri.p0) * u + (tri.p2 - tri.p0) * v;
            if (normal) *normal = b.faceNormals[t];
            if (distance) *distance = hit;
        }
    }
};

}  // namespace

VornHandleTable<VornFieldRecord>& VornField::Table() { return g_table; }

void VornField::SetMax(uint32_t capacity) { g_table.SetMax(capacity); }

bool VornField::Initialize()
{
    if (!g_table.InitializeLogged("VornFieldクラスの初期化", "フィールド", __FILE__, __LINE__)) return false;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_FIELD, OnDeviceLost, OnDeviceRestore);
    return true;
}

void VornField::Finalize()
{
    VornLog::Title("VornFieldクラスの解放");
    VornLog::LineBreak();
    if (!g_table.IsInitialized()) return;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_FIELD, nullptr, nullptr);
    g_table.Finalize();
}

void VornField::OnDeviceLost()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i) {
        VornFieldRecord& r = g_table[i];
        if (!r.inUse || !r.blocks) continue;
        for (size_t k = 0; k < static_cast<size_t>(r.division) * r.division; ++k) {
            ReleaseCom(r.blocks[k].vertexBuffer);
            ReleaseCom(r.blocks[k].indexBuffer);
        }
    }
}

void VornField::OnDeviceRestore()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i)
        if (g_table[i].inUse) CreateBlockBuffers(g_table[i]);
}

VornFieldHandle VornField::CreateFromFile(const char* name, int32_t level, int32_t scale, VornFormatKind textureFormat,
                                          bool tangents)
{
    Vorn::ResetCurrentDirectory();
    VornLog::StrongBlue("VornField::CreateFromFile");
    VornLog::Print(" : [ %s ] : ", name ? name : "");
    void* data = nullptr;
    uint32_t size = 0;
    if (!name || !VornFile::Load(FILE_KIND_MODEL, name, &data, &size)) {
        VornLog::StrongRed("ファイルの読み込みに失敗しました");
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    const VornFieldHandle h = CreateCommon(data, size, level, scale, textureFormat, tangents);
    VornMemory::Free(data);
    return h;
}

VornFieldHandle VornField::CreateFromMemory(const void* data, uint32_t size, int32_t level, int32_t scale,
                                            VornFormatKind textureFormat, bool tangents)
{
    VornLog::StrongBlue("VornField::CreateFromMemory");
    VornLog::Print(" : ");
    return CreateCommon(data, size, level, scale, textureFormat, tangents);
}

VornFieldHandle VornField::CreateCommon(const void* data, uint32_t size, int32_t level, int32_t scale,
                                        VornFormatKind textureFormat, bool tangents)
{
    const VornFieldHandle h = g_table.AllocRecord();
    if (h == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("空きフィールドが見つかりませんでした");
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", h);
    VornFieldRecord& r = g_table[h];
    r.effect = VORN_INVALID_HANDLE;

    // Every mesh of the file as one, with exact 32-bit indices.
    ID3DXMesh* mesh = nullptr;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    VornXDocument doc;
    VornXMeshData merged;
    std::string cause;
    HRESULT hr = E_FAIL;
    if (!device || !data) cause = "no device or no data";
    else if (!doc.Parse(data, size)) cause = doc.Error();
    else if (VornXMesh::ReadMerged(doc, &merged, &cause) &&
             FAILED(hr = VornXMeshBuilder::Create(merged, D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT, device, &mesh, nullptr, nullptr)))
        cause = Vorn3D::GetErrorText(hr);
    if (!mesh) {
        VornLog::StrongRed("Ｘファイルの読み込みに失敗しました");
        VornLog::Print(" [ %s ]", cause.c_str());
        VornLog::LineBreak();
        g_table.ReleaseRecord(h);
        return VORN_INVALID_HANDLE;
    }

    bool ok = true;
    VornLog::Print("{");
    VornLog::LineBreak();
    const uint32_t materialCount = static_cast<uint32_t>(merged.materials.size());
    if (materialCount) {
        r.materials = static_cast<VornFieldMaterial*>(AllocLogged(sizeof(VornFieldMaterial) * materialCount, "pMaterial"));
        ok = r.materials != nullptr;
    }
    if (ok) {
        r.materialCount = materialCount;
        for (uint32_t m = 0; m < materialCount; ++m) {
            for (VornTextureHandle& t : r.materials[m].texture) t = VORN_INVALID_HANDLE;
            const char* file = merged.materials[m].texture.c_str();
            if (!file[0]) continue;
            const char* slash = strrchr(file, '\\');
            VornLog::Print("　");
            r.materials[m].texture[0] = VornTexture::CreateFromFile(slash ? slash + 1 : file, textureFormat, 0);
        }
    }
    VornLog::Print("} : ");
    r.tangent = tangents ? 1 : 0;
    if (ok && !ConvertMesh(r, mesh, level, scale)) {
        VornLog::StrongRed("フィールドデータへのコンバートに失敗しました");
        ok = false;
    }
    if (ok) {
        CreateBlockBuffers(r);
        r.root = static_cast<VornFieldNode*>(
            VornMemory::AllocZeroQuiet(sizeof(VornFieldNode), VornMemory::DEFAULT_TAG, __FILE__, __LINE__));
        ok = r.root && BuildNode(r, r.root, 0, 0, r.division);
        if (!ok) VornLog::StrongRed("Out of memory error [ pNode ] : ");
    }
    ReleaseCom(mesh);
    if (!ok) {
        VornLog::LineBreak();
        g_table.ReleaseRecord(h);
        return VORN_INVALID_HANDLE;
    }
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return h;
}

void VornField::Release(VornFieldHandle field)
{
    VornFieldRecord* r = g_table.GetLive(field);
    if (!r) return;
    if (r->refCount > 1) {
        --r->refCount;
        return;
    }
    g_table.ReleaseRecord(field);
    VornLog::StrongRed("VornField::Release");
    VornLog::Print(" : [ No.%u ]", field);
    VornLog::LineBreak();
}

void VornField::SetShader(VornFieldHandle field, VornShaderFxHandle effect)
{
    VornFieldRecord* r = g_table.GetLive(field);
    if (!r || effect == VORN_INVALID_HANDLE) return;
    // The new reference first: re-binding the one effect must not destroy it on the way.
    VornShaderFx::AddRef(effect);
    VornShaderFx::Release(r->effect);
    r->effect = effect;
    VornShaderFx::GetParameterHandles(effect, r->parameter);
}

void VornField::SetParameterFlags(VornFieldHandle field, uint32_t flags)
{
    if (VornFieldRecord* r = g_table.GetLive(field)) r->flags = flags;
}

void VornField::SetTexture(VornFieldHandle field, uint32_t stage, VornTextureHandle texture, int32_t material)
{
    VornFieldRecord* r = g_table.GetLive(field);
    if (!r || stage >= 4) return;
    const bool every = material < 0 || static_cast<uint32_t>(material) >= r->materialCount;
    for (uint32_t m = 0; m < r->materialCount; ++m) {
        if (!every && m != static_cast<uint32_t>(material)) continue;
        VornTexture::AddRef(texture);   // before the release: the same texture may be set again
        VornTexture::Release(r->materials[m].texture[stage]);
        r->materials[m].texture[stage] = texture;
    }
}

void VornField::UpdateDrawList(VornFieldHandle field)
{
    VornFieldRecord* r = g_table.GetLive(field);
    if (!r || !r->drawList) return;
    memset(r->drawList, 0, static_cast<size_t>(r->division) * r->division);
    Walk(*r, r->root);
}

uint32_t VornField::Rendering(VornFieldHandle field)
{
    VornFieldRecord* r = g_table.GetLive(field);
    if (!r || !r->blocks) return 0;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device) return 0;
    Vorn3D::SelectVertexProcessing(r->shaderMajor, r->shaderMinor);

    VornRenderBlock block = {};
    block.world.Identity();
    VornCamera::GetMatrices(nullptr, &block.worldView, &block.viewProjection, nullptr);
    block.worldViewProjection.Multiply(block.world, block.viewProjection);
    block.lightDirection.Transpose(block.world);
    block.lightPosition.Transpose(block.world);
    VornShaderFx::SetSceneParameters(r->effect, r->parameter, r->flags & kSceneFlags, block);

    uint32_t passes = 0;
    if (!VornShaderFx::Begin(r->effect, &passes)) return 0;
    const uint32_t stride = r->tangent ? kStride60 : kStride36;
    const size_t total = static_cast<size_t>(r->division) * r->division;
    uint32_t drawn = 0;
    for (uint32_t pass = 0; pass < passes; ++pass) {
        VornShaderFx::BeginPass(r->effect, pass);
        for (uint32_t m = 0; m < r->materialCount; ++m) {
            const VornFieldMaterial& material = r->materials[m];
            for (uint32_t stage = 0; stage < 4; ++stage) {
                if (r->flags & SHADER_FLAG_TEXTURES)
                    VornShaderFx::SetTexture(r->effect, r->parameter[SHADER_PARAM_TEXTURE_STAGE0 + stage],
                                             material.texture[stage]);
                Vorn3D::SetTexture(stage, material.texture[stage]);
            }
            // Inside a pass the effect uploads only on commit: without it this material would draw
            // with the previous one's textures.
            if (r->flags & SHADER_FLAG_TEXTURES) VornShaderFx::CommitChanges(r->effect);
            for (size_t i = 0; i < total; ++i) {
                const VornFieldBlock& b = r->blocks[i];
                const VornFieldRange& range = b.ranges[m];
                if (!r->drawList[i] || !range.count || !b.vertexBuffer || !b.indexBuffer || !b.declaration) continue;
                device->SetVertexDeclaration(b.declaration);
                device->SetStreamSource(0, b.vertexBuffer, 0, stride);
                device->SetIndices(b.indexBuffer);
                device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, b.vertexCount, range.first, range.count / 3);
                drawn += range.count / 3;
            }
        }
        VornShaderFx::EndPass(r->effect);
    }
    VornShaderFx::End(r->effect);
    Vorn::AddPolygonCount3D(drawn);
    return drawn;
}

double VornField::RenderingTimed(VornFieldHandle field)
{
    const uint64_t start = Vorn::GetSystemTimer();
    Rendering(field);
    const uint64_t frequency = Vorn::GetSystemTimerFrequency();
    return frequency ? static_cast<double>(Vorn::GetSystemTimer() - start) / static_cast<double>(frequency) : 0.0;
}

int32_t VornField::GetDivision(VornFieldHandle field)
{
    const VornFieldRecord* r = g_table.GetLive(field);
    return r ? r->division : -1;
}

uint8_t VornField::IsDraw(VornFieldHandle field, int32_t column, int32_t row)
{
    const VornFieldRecord* r = g_table.GetLive(field);
    if (!r || !r->drawList) return 0;
    return r->drawList[static_cast<size_t>(row) * r->division + column];
}

int32_t VornField::GetBlockIndex(VornFieldHandle field, const VornVector3& point)
{
    const VornFieldRecord* r = g_table.GetLive(field);
    return r ? FindBlock(r->root, point) : -1;
}

bool VornField::HitCheckDown(VornFieldHandle field, const VornVector3& point, VornVector3* position,
                             VornVector3* normal, float* distance)
{
    const VornFieldRecord* r = g_table.GetLive(field);
    const int32_t index = r ? FindBlock(r->root, point) : -1;
    if (index < 0) return false;
    const VornSegment3 line = {point, point + VornVector3(0.0f, -1.0f, 0.0f)};
    LineHit hit;
    hit.Test(r->blocks[index], line, position, normal, distance);
    return hit.result;
}

bool VornField::HitCheckRay(VornFieldHandle field, const VornVector3& start, const VornVector3& direction,
                            VornVector3* position, VornVector3* normal, float* distance)
{
    const VornFieldRecord* r = g_table.GetLive(field);
    if (!r || !r->blocks || !(direction.LengthSq() > 0.0f)) return false;   // no direction: no line
    const VornSegment3 line = {start, start + direction};
    LineHit hit;
    for (size_t i = 0; i < static_cast<size_t>(r->division) * r->division; ++i)
        hit.Test(r->blocks[i], line, position, normal, distance);
    return hit.result;
}

bool VornField::HitCheckSegment(VornFieldHandle field, const VornVector3& a, const VornVector3& b, VornVector3* point)
{
    const VornFieldRecord* r = g_table.GetLive(field);
    const int32_t index = r ? FindBlock(r->root, a) : -1;
    if (index < 0) return false;
    const VornFieldBlock& block = r->blocks[index];
    const VornSegment3 segment = {a, b};
    VornVector3 crossing;
    for (uint32_t t = 0; t < block.indexCount / 3; ++t) {
        const VornTriangle tri = TriangleOf(block, t);
        const VornVector3& n = block.faceNormals[t];
        const VornPlane plane = {n.x, n.y, n.z, -n.Dot(tri.p0)};
        float hit = 0, u = 0, v = 0;
        if (!VornMath::CollisionSegmentPlane(&crossing, plane, a, b)) continue;
        if (!VornMath::CollisionLineTriangle(segment, tri, &hit, &u, &v)) continue;
        if (point) *point = crossing;
        return true;
    }
    return false;
}
