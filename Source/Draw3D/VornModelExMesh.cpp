// VornModelEx: mesh conversion into the working vertices, the eight vertex layouts, the device
// buffers, morph targets and the release of mesh containers.
#include "VornModelEx.h"
#include "Vorn3D.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornModelExWalk.h"
#include "VornSkinConvert.h"
#include "VornTexture.h"
#include <cstring>

namespace {

const uint32_t kStride[MODELEX_VERTEX_TYPE_COUNT] = {36, 60, 44, 48, 52, 68, 72, 76};
const uint32_t kMorphOf[MODELEX_VERTEX_TYPE_COUNT] = {1, 1, 5, 6, 7, 5, 6, 7};
const uint32_t kTypeOfInfluences[5] = {0, 2, 2, 3, 4};
constexpr uint32_t kMaxVertices = 65536;   // every index fits 16 bits

bool IsMorph(uint32_t type) { return type == 1 || type >= 5; }
uint32_t WeightCount(uint32_t type) { return type >= 5 ? type - 4 : (type >= 2 ? type - 1 : 0); }

void Red(const char* text)
{
    VornLog::StrongRed("%s", text);
    VornLog::LineBreak();
}

bool Check(HRESULT hr, const char* text)
{
    if (SUCCEEDED(hr)) return true;
    VornLog::StrongRed("%s [%s]", text, Vorn3D::GetErrorText(hr));
    VornLog::LineBreak();
    return false;
}

// The vertex as read from the D3DX mesh.
struct SourceVertex {
    float px, py, pz, nx, ny, nz;
    D3DCOLOR colour;
    float u, v;
};
constexpr DWORD kSourceFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// A readable copy of the mesh: vertices, 32-bit indices and face attributes.
struct SourceMesh {
    std::vector<SourceVertex> vertices;
    std::vector<uint32_t> indices;
    std::vector<uint32_t> attributes;
};

bool ReadSource(ID3DXMesh* mesh, SourceMesh* out)
{
    ID3DXMesh* clone = nullptr;
    const DWORD options = (mesh->GetOptions() & ~(D3DXMESH_MANAGED | D3DXMESH_DYNAMIC)) | D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT;
    if (!Check(mesh->CloneMeshFVF(options, kSourceFvf, Vorn3D::GetDevice(), &clone), "メッシュのコンバートに失敗"))
        return false;
    const bool hasColour = (mesh->GetFVF() & D3DFVF_DIFFUSE) != 0;
    const DWORD vertexCount = clone->GetNumVertices(), faceCount = clone->GetNumFaces();
    bool ok = true;
    void* bytes = nullptr;
    if ((ok = Check(clone->LockVertexBuffer(D3DLOCK_READONLY, &bytes), "頂点データのロックに失敗"))) {
        out->vertices.assign(static_cast<const SourceVertex*>(bytes), static_cast<const SourceVertex*>(bytes) + vertexCount);
        clone->UnlockVertexBuffer();
        if (!hasColour)
            for (SourceVertex& v : out->vertices) v.colour = 0xFFFFFFFFu;
    }
    if (ok && (ok = Check(clone->LockIndexBuffer(D3DLOCK_READONLY, &bytes), "頂点データのロックに失敗"))) {
        out->indices.assign(static_cast<const uint32_t*>(bytes), static_cast<const uint32_t*>(bytes) + faceCount * 3);
        clone->UnlockIndexBuffer();
    }
    DWORD* attributes = nullptr;
    if (ok && (ok = Check(clone->LockAttributeBuffer(D3DLOCK_READONLY, &attributes), "頂点データのロックに失敗"))) {
        out->attributes.assign(attributes, attributes + faceCount);
        clone->UnlockAttributeBuffer();
    }
    clone->Release();
    return ok;
}

// CPU copies of the working vertices and the 16-bit indices; false (with a line) when memory or
// the 16-bit range runs out.
bool AllocCopies(VornModelExMesh* mesh, size_t vertexCount, size_t indexCount)
{
    if (vertexCount > kMaxVertices) {
        VornLog::StrongRed("頂点数が多すぎます [%u]", static_cast<uint32_t>(vertexCount));
        VornLog::LineBreak();
        return false;
    }
    mesh->vertexCount = static_cast<uint32_t>(vertexCount);
    mesh->indexCount = static_cast<uint32_t>(indexCount);
    mesh->vertices = static_cast<VornModelExVertex*>(VORN_ALLOC_ZERO(static_cast<uint32_t>(vertexCount * sizeof(VornModelExVertex) + 1)));
    if (!mesh->vertices) {
        Red("頂点用メモリの確保に失敗");
        return false;
    }
    mesh->indices = static_cast<uint16_t*>(VORN_ALLOC_ZERO(static_cast<uint32_t>(indexCount * sizeof(uint16_t) + 1)));
    if (!mesh->indices) {
        Red("インデックス用メモリの確保に失敗");
        return false;
    }
    return true;
}

void WorkingVertex(VornModelExVertex* w, const SourceVertex& s, bool normalise)
{
    D3DXVECTOR3 n(s.nx, s.ny, s.nz);
    if (normalise) D3DXVec3Normalize(&n, &n);
    w->px = w->px1 = s.px;
    w->py = w->py1 = s.py;
    w->pz = w->pz1 = s.pz;
    w->nx = w->nx1 = n.x;
    w->ny = w->ny1 = n.y;
    w->nz = w->nz1 = n.z;
    w->colour = s.colour;
    w->u = s.u;
    w->v = s.v;
}

// Box (0.002 thick at least on every axis) and sphere of the working vertices.
void ComputeBounds(VornModelExMesh* mesh)
{
    if (mesh->vertexCount == 0) return;
    D3DXVECTOR3 lo, hi, centre;
    D3DXComputeBoundingBox(reinterpret_cast<const D3DXVECTOR3*>(&mesh->vertices->px), mesh->vertexCount,
                           sizeof(VornModelExVertex), &lo, &hi);
    float* mins[3] = {&lo.x, &lo.y, &lo.z};
    float* maxs[3] = {&hi.x, &hi.y, &hi.z};
    for (uint32_t a = 0; a < 3; ++a) {
        if (*mins[a] == *maxs[a]) {
            *mins[a] -= 0.001f;
            *maxs[a] += 0.001f;
        }
    }
    mesh->boxMin = lo;
    mesh->boxMax = hi;
    float radius = 0.0f;
    D3DXComputeBoundingSphere(reinterpret_cast<const D3DXVECTOR3*>(&mesh->vertices->px), mesh->vertexCount,
                              sizeof(VornModelExVertex), &centre, &radius);
    mesh->centre = centre;
    mesh->radius = radius;
}

bool ConvertRigid(VornModelExMesh* mesh)
{
    mesh->skinned = 0;
    ID3DXMesh* optimised = nullptr;
    // VERTEXCACHE is not offered by every platform; attribute sorting is what drawing needs.
    if (!Check(mesh->mesh->Optimize(D3DXMESHOPT_ATTRSORT | D3DXMESH_SYSTEMMEM,
                                    mesh->adjacency ? static_cast<const DWORD*>(mesh->adjacency->GetBufferPointer()) : nullptr,
                                    nullptr, nullptr, nullptr, &optimised),
               "メッシュの最適化に失敗"))
        return false;
    mesh->mesh->Release();
    mesh->mesh = optimised;
    SourceMesh source;
    if (!ReadSource(mesh->mesh, &source)) return false;
    if (!AllocCopies(mesh, source.vertices.size(), source.indices.size())) return false;
    DWORD count = 0;
    if (!Check(mesh->mesh->GetAttributeTable(nullptr, &count), "属性テーブルのサイズの取得に失敗")) return false;
    mesh->attributes = static_cast<D3DXATTRIBUTERANGE*>(VORN_ALLOC_ZERO(static_cast<uint32_t>((count + 1) * sizeof(D3DXATTRIBUTERANGE))));
    if (!mesh->attributes) {
        Red("メモリの確保に失敗");
        return false;
    }
    if (!Check(mesh->mesh->GetAttributeTable(mesh->attributes, &count), "属性テーブルの取得に失敗")) return false;
    mesh->attributeCount = count;
    mesh->vertexType = MODELEX_VERTEX_RIGID;
    for (size_t i = 0; i < source.vertices.size(); ++i) WorkingVertex(&mesh->vertices[i], source.vertices[i], false);
    for (size_t i = 0; i < source.indices.size(); ++i) mesh->indices[i] = static_cast<uint16_t>(source.indices[i]);
    return true;
}

// The bone combinations as the platform's D3DXBONECOMBINATION records in one buffer, each
// followed by its palette of bone numbers (UINT_MAX unused).
struct BoneCombination {
    DWORD attribute, faceStart, faceCount, vertexStart, vertexCount;
    DWORD* bones;
};
static_assert(sizeof(BoneCombination) == sizeof(D3DXBONECOMBINATION), "the platform's bone combination layout");

bool StoreCombinations(VornModelExMesh* mesh, const VornSkinResult& result)
{
    const uint32_t n = static_cast<uint32_t>(result.combinations.size());
    const uint32_t size = n * static_cast<uint32_t>(sizeof(BoneCombination) + mesh->paletteSize * sizeof(DWORD));
    if (!Check(D3DXCreateBuffer(size ? size : 1, &mesh->combinations), "メモリの確保に失敗")) return false;
    BoneCombination* out = static_cast<BoneCombination*>(mesh->combinations->GetBufferPointer());
    DWORD* bones = reinterpret_cast<DWORD*>(out + n);
    for (uint32_t i = 0; i < n; ++i) {
        const VornSkinCombination& c = result.combinations[i];
        out[i] = {c.attribute, c.faceStart, c.faceCount, c.vertexStart, c.vertexCount, bones};
        for (uint32_t s = 0; s < mesh->paletteSize; ++s) *bones++ = c.bone[s];
    }
    mesh->combinationCount = n;
    return true;
}

bool ConvertSkinned(VornModelExMesh* mesh)
{
    ID3DXSkinInfo* skin = mesh->skinInfo;
    mesh->skinned = 1;
    mesh->boneCount = skin->GetNumBones();
    mesh->boneOffsets = static_cast<VornMatrix*>(VORN_ALLOC_ZERO(mesh->boneCount * static_cast<uint32_t>(sizeof(VornMatrix))));
    if (!mesh->boneOffsets) {
        Red("メモリの確保に失敗");
        return false;
    }
    for (uint32_t b = 0; b < mesh->boneCount; ++b) {
        const D3DXMATRIX* offset = skin->GetBoneOffsetMatrix(b);
        if (offset) mesh->boneOffsets[b].Set(offset);
        else mesh->boneOffsets[b].Identity();
    }
    mesh->paletteSize = mesh->boneCount <= MODELEX_PALETTE_SIZE ? mesh->boneCount : MODELEX_PALETTE_SIZE;
    VornLog::Print("LoadMesh -> Bone [%d]", static_cast<int>(mesh->paletteSize));
    VornLog::LineBreak();

    SourceMesh source;
    if (!ReadSource(mesh->mesh, &source)) return false;
    const uint32_t vertexCount = static_cast<uint32_t>(source.vertices.size());
    std::vector<std::vector<VornSkinInfluence>> influences(vertexCount);
    std::vector<DWORD> vertices;
    std::vector<float> weights;
    for (uint32_t b = 0; b < mesh->boneCount; ++b) {
        const DWORD n = skin->GetNumBoneInfluences(b);
        if (n == 0) continue;
        vertices.assign(n, 0);
        weights.assign(n, 0.0f);
        if (FAILED(skin->GetBoneInfluence(b, vertices.data(), weights.data()))) continue;
        for (DWORD i = 0; i < n; ++i)
            if (vertices[i] < vertexCount) influences[vertices[i]].push_back({b, weights[i]});
    }
    VornSkinResult result;
    if (!VornSkinConvert::Convert(vertexCount, static_cast<uint32_t>(source.indices.size() / 3), source.indices.data(),
                                  source.attributes.data(), influences, mesh->boneCount, mesh->paletteSize, &result)) {
        Red("インデックスブレンディングメッシュへの変換に失敗");
        return false;
    }
    if (!StoreCombinations(mesh, result)) return false;
    if (!AllocCopies(mesh, result.vertices.size(), result.indices.size())) return false;
    mesh->maxInfluences = result.maxInfluences;
    mesh->vertexType = kTypeOfInfluences[result.maxInfluences];
    for (size_t i = 0; i < result.vertices.size(); ++i) {
        const VornSkinVertex& s = result.vertices[i];
        VornModelExVertex* w = &mesh->vertices[i];
        WorkingVertex(w, source.vertices[s.source], true);
        for (uint32_t k = 0; k < 3; ++k) w->weight[k] = s.weight[k];
        memcpy(w->index, s.slot, 4);
    }
    for (size_t i = 0; i < result.indices.size(); ++i) mesh->indices[i] = static_cast<uint16_t>(result.indices[i]);
    return true;
}

// The layout's declaration: position, normal, [position1, normal1], [weights, indices], colour, uv.
void BuildDeclaration(uint32_t type, D3DVERTEXELEMENT9* out)
{
    WORD offset = 0;
    uint32_t n = 0;
    auto add = [&](BYTE declType, BYTE usage, BYTE index, WORD size) {
        out[n++] = {0, offset, declType, D3DDECLMETHOD_DEFAULT, usage, index};
        offset = static_cast<WORD>(offset + size);
    };
    add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0, 12);
    add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0, 12);
    if (IsMorph(type)) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 1, 12);
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 1, 12);
    }
    if (const uint32_t w = WeightCount(type)) {
        add(static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + (w - 1)), D3DDECLUSAGE_BLENDWEIGHT, 0, static_cast<WORD>(4 * w));
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_BLENDINDICES, 0, 4);
    }
    add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0, 4);
    add(D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0, 8);
    out[n] = D3DDECL_END();
}

// One working vertex in the layout of type.
uint8_t* WriteVertex(uint8_t* out, const VornModelExVertex& v, uint32_t type)
{
    auto put = [&out](const void* p, size_t n) {
        memcpy(out, p, n);
        out += n;
    };
    put(&v.px, 24);
    if (IsMorph(type)) put(&v.px1, 24);
    if (const uint32_t w = WeightCount(type)) {
        put(v.weight, 4 * w);
        put(v.index, 4);
    }
    put(&v.colour, 4);
    put(&v.u, 8);
    return out;
}

}  // namespace

uint32_t VornModelEx::GetVertexSize(uint32_t type) { return type < MODELEX_VERTEX_TYPE_COUNT ? kStride[type] : 0; }

bool VornModelEx::ConvertMesh(VornModelExMesh* mesh, uint32_t vsVersion)
{
    mesh->vsMajor = static_cast<uint16_t>((vsVersion >> 8) & 0xFF);
    mesh->vsMinor = static_cast<uint16_t>(vsVersion & 0xFF);
    if (!(mesh->mesh->GetFVF() & D3DFVF_NORMAL)) {
        ID3DXMesh* clone = nullptr;
        if (!Check(mesh->mesh->CloneMeshFVF(mesh->mesh->GetOptions(), mesh->mesh->GetFVF() | D3DFVF_NORMAL,
                                            Vorn3D::GetDevice(), &clone),
                   "メッシュのコンバートに失敗"))
            return false;
        mesh->mesh->Release();
        mesh->mesh = clone;
        if (!Check(D3DXComputeNormals(mesh->mesh, nullptr), "メッシュの法線算出に失敗")) return false;
    }
    const bool skinned = mesh->skinInfo && mesh->skinInfo->GetNumBones() > 0;
    if (!(skinned ? ConvertSkinned(mesh) : ConvertRigid(mesh))) return false;
    mesh->stride = kStride[mesh->vertexType];
    ComputeBounds(mesh);
    if (!CreateVertexBuffer(mesh) || !CreateIndexBuffer(mesh)) return false;
    mesh->ready = 1;
    return true;
}

bool VornModelEx::CreateVertexBuffer(VornModelExMesh* mesh)
{
    if (mesh->vertexBuffer) mesh->vertexBuffer->Release();
    if (mesh->declaration) mesh->declaration->Release();
    mesh->vertexBuffer = nullptr;
    mesh->declaration = nullptr;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device || mesh->vertexCount == 0) return false;
    const bool software = Vorn3D::IsSoftwareVertexShader(mesh->vsMajor, mesh->vsMinor);
    const DWORD usage = software ? D3DUSAGE_WRITEONLY | D3DUSAGE_SOFTWAREPROCESSING : D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC;
    if (!Check(device->CreateVertexBuffer(mesh->stride * mesh->vertexCount, usage, 0,
                                          software ? D3DPOOL_SYSTEMMEM : D3DPOOL_DEFAULT, &mesh->vertexBuffer, nullptr),
               "頂点バッファの生成に失敗"))
        return false;
    void* bytes = nullptr;
    if (!Check(mesh->vertexBuffer->Lock(0, 0, &bytes, 0), "頂点バッファのロックに失敗")) return false;
    uint8_t* out = static_cast<uint8_t*>(bytes);
    for (uint32_t i = 0; i < mesh->vertexCount; ++i) out = WriteVertex(out, mesh->vertices[i], mesh->vertexType);
    mesh->vertexBuffer->Unlock();
    D3DVERTEXELEMENT9 elements[10];
    BuildDeclaration(mesh->vertexType, elements);
    return Check(device->CreateVertexDeclaration(elements, &mesh->declaration), "頂点シェーダ宣言の生成に失敗");
}

bool VornModelEx::CreateIndexBuffer(VornModelExMesh* mesh)
{
    if (mesh->indexBuffer) mesh->indexBuffer->Release();
    mesh->indexBuffer = nullptr;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device || mesh->indexCount == 0) return false;
    const bool software = Vorn3D::IsSoftwareVertexShader(mesh->vsMajor, mesh->vsMinor);
    if (!Check(device->CreateIndexBuffer(mesh->indexCount * 2, D3DUSAGE_WRITEONLY, D3DFMT_INDEX16,
                                         software ? D3DPOOL_SYSTEMMEM : D3DPOOL_DEFAULT, &mesh->indexBuffer, nullptr),
               "インデックスバッファの生成に失敗"))
        return false;
    void* bytes = nullptr;
    if (!Check(mesh->indexBuffer->Lock(0, 0, &bytes, 0), "インデックスバッファのロックに失敗")) return false;
    memcpy(bytes, mesh->indices, mesh->indexCount * 2);
    mesh->indexBuffer->Unlock();
    return true;
}

void VornModelEx::ReleaseMeshChain(VornModelExMesh* mesh)
{
    while (mesh) {
        for (uint32_t i = 0; i < mesh->materialCount; ++i)
            for (uint32_t s = 0; s < 4; ++s) VornTexture::Release(mesh->materials[i].texture[s]);
        IUnknown* objects[] = {mesh->declaration, mesh->vertexBuffer, mesh->indexBuffer, mesh->skinInfo, mesh->mesh,
                               mesh->effectInstances, mesh->combinations, mesh->adjacency};
        for (IUnknown* o : objects)
            if (o) o->Release();
        VORN_FREE(mesh->vertices);
        VORN_FREE(mesh->indices);
        VORN_FREE(mesh->attributes);
        VORN_FREE(mesh->materials);
        VORN_FREE(mesh->boneOffsets);
        VORN_FREE(mesh->boneMatrices);
        VornShaderFx::Release(mesh->effect);
        VornModelExMesh* next = mesh->next;
        VORN_FREE(mesh);
        mesh = next;
    }
}

namespace {

bool MorphPair(VornModelExMesh* mesh, const VornModelExMesh* source)
{
    if (!mesh || !source || !mesh->ready || !source->ready || mesh->vertexCount != source->vertexCount) return false;
    for (uint32_t i = 0; i < mesh->vertexCount; ++i) {
        VornModelExVertex& v = mesh->vertices[i];
        const VornModelExVertex& s = source->vertices[i];
        memcpy(&v.px1, &s.px, 24);
    }
    mesh->vertexType = kMorphOf[mesh->vertexType];
    mesh->stride = kStride[mesh->vertexType];
    return VornModelEx::CreateVertexBuffer(mesh);
}

}  // namespace

bool VornModelEx::SetMorphTarget(VornModelExHandle model, int32_t mesh, VornModelExHandle source, int32_t sourceMesh)
{
    VornModelExRecord* r = Live(model);
    const VornModelExRecord* s = Live(source);
    if (!r || !s) return false;
    if (mesh < 0 && sourceMesh < 0) {
        if (r->meshCount != s->meshCount) return true;
        for (uint32_t i = 0; i < r->meshCount; ++i)
            if (!MorphPair(r->meshList[i], s->meshList[i])) return false;
        return true;
    }
    if (mesh >= 0 && sourceMesh >= 0) return MorphPair(MeshAt(r, mesh), MeshAt(s, sourceMesh));
    return true;
}
