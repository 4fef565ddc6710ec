#include "VornModelSub.h"
#include "VornCpuSkin.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornTexture.h"
#include <cstring>

namespace {

char* CopyName(const char* name, bool* ok)
{
    *ok = true;
    if (!name) return nullptr;
    const size_t length = strlen(name);
    char* copy = static_cast<char*>(VORN_ALLOC_ZERO(static_cast<uint32_t>(length + 1)));
    if (copy) memcpy(copy, name, length);
    else *ok = false;
    return copy;
}

template <typename T> T* ZeroArray(uint32_t count)
{
    return static_cast<T*>(VORN_ALLOC_ZERO(count * static_cast<uint32_t>(sizeof(T))));
}

}  // namespace

HRESULT VornModelSub::CreateFrame(const char* name, D3DXFRAME** out)
{
    *out = nullptr;
    VornModelFrame* f = ZeroArray<VornModelFrame>(1);
    if (!f) return E_OUTOFMEMORY;
    bool ok;
    f->Name = CopyName(name, &ok);
    if (!ok) {
        VORN_FREE(f);
        return E_OUTOFMEMORY;
    }
    D3DXMatrixIdentity(&f->TransformationMatrix);
    *out = f;
    ++frameCount_;
    return S_OK;
}

VornModelContainer* VornModelSub::NewContainer(const char* name)
{
    VornModelContainer* c = ZeroArray<VornModelContainer>(1);
    if (!c) return nullptr;
    bool ok;
    c->Name = CopyName(name, &ok);
    if (!ok) {
        VORN_FREE(c);
        return nullptr;
    }
    c->MeshData.Type = D3DXMESHTYPE_MESH;
    D3DXMatrixIdentity(&c->matrix);
    return c;
}

HRESULT VornModelSub::WithNormals(ID3DXMesh* mesh, ID3DXMesh** out)
{
    if (mesh->GetFVF() & D3DFVF_NORMAL) {
        mesh->AddRef();
        *out = mesh;
        return S_OK;
    }
    IDirect3DDevice9* device = nullptr;
    mesh->GetDevice(&device);
    HRESULT hr = mesh->CloneMeshFVF(mesh->GetOptions(), mesh->GetFVF() | D3DFVF_NORMAL, device, out);
    if (device) device->Release();
    if (SUCCEEDED(hr) && FAILED(hr = D3DXComputeNormals(*out, nullptr))) {
        (*out)->Release();
        *out = nullptr;
    }
    return hr;
}

HRESULT VornModelSub::ComputeBounds(VornModelContainer* c)
{
    ID3DXMesh* mesh = c->MeshData.pMesh;
    void* vertices = nullptr;
    HRESULT hr = mesh->LockVertexBuffer(D3DLOCK_READONLY, &vertices);
    if (FAILED(hr)) return hr;
    const DWORD count = mesh->GetNumVertices(), stride = mesh->GetNumBytesPerVertex();
    const D3DXVECTOR3* p = static_cast<const D3DXVECTOR3*>(vertices);
    if (SUCCEEDED(hr = D3DXComputeBoundingBox(p, count, stride, &c->boxMin, &c->boxMax))) {
        VornLog::Print("BOX [ (%.3lf,%.3lf,%.3lf)-(%.3lf,%.3lf,%.3lf) ] : ", c->boxMin.x, c->boxMin.y, c->boxMin.z,
                       c->boxMax.x, c->boxMax.y, c->boxMax.z);
        if (SUCCEEDED(hr = D3DXComputeBoundingSphere(p, count, stride, &c->centre, &c->radius)))
            VornLog::Print("SPHERE [ %.3lf (%.3lf,%.3lf.%.3lf) ] : ", c->radius, c->centre.x, c->centre.y, c->centre.z);
    }
    mesh->UnlockVertexBuffer();
    return hr;
}

HRESULT VornModelSub::CreateMeshContainer(const char* name, const D3DXMESHDATA* meshData, const D3DXMATERIAL* materials,
                                          const D3DXEFFECTINSTANCE*, DWORD materialCount, const DWORD* adjacency,
                                          ID3DXSkinInfo* skinInfo, D3DXMESHCONTAINER** out)
{
    VornLog::Print("　　LOAD MESH : %s", name ? name : "");
    *out = nullptr;
    HRESULT hr = S_OK;
    VornModelContainer* c = nullptr;
    if (meshData->Type != D3DXMESHTYPE_MESH) {
        VornLog::Print("TYPE NOT MESH");
        hr = E_FAIL;
    } else if (meshData->pMesh->GetFVF() == 0) {
        VornLog::StrongRed("FVF is 0");
        hr = E_FAIL;
    } else if (!(c = NewContainer(name))) {
        VornLog::StrongRed("MEMORY INSUFFICIENT");
        hr = E_OUTOFMEMORY;
    } else {
        hr = WithNormals(meshData->pMesh, &c->MeshData.pMesh);
    }
    if (SUCCEEDED(hr)) {
        ID3DXMesh* mesh = c->MeshData.pMesh;
        c->vertexCount = mesh->GetNumVertices();
        c->faceCount = mesh->GetNumFaces();
        VornLog::Print("POLYGON [ %u ] : VERTEX [ %u ] : ", c->faceCount, c->vertexCount);
        c->NumMaterials = materialCount ? materialCount : 1;
        c->textures = ZeroArray<VornHandle>(c->NumMaterials);
        c->pMaterials = ZeroArray<D3DXMATERIAL>(c->NumMaterials);
        for (DWORD i = 0; c->textures && i < c->NumMaterials; ++i) c->textures[i] = VORN_INVALID_HANDLE;
        if (adjacency) c->pAdjacency = ZeroArray<DWORD>(c->faceCount * 3);
        if (!c->textures || !c->pMaterials || (adjacency && !c->pAdjacency)) hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) {
        if (adjacency) memcpy(c->pAdjacency, adjacency, c->faceCount * 3 * sizeof(DWORD));
        if (materialCount == 0 || !materials) {
            D3DMATERIAL9& m = c->pMaterials[0].MatD3D;
            m.Diffuse.r = m.Diffuse.g = m.Diffuse.b = 0.5f;
            m.Specular = m.Diffuse;
        } else {
            for (DWORD i = 0; i < materialCount; ++i) {
                c->pMaterials[i] = materials[i];
                D3DMATERIAL9& m = c->pMaterials[i].MatD3D;
                m.Ambient.r = m.Diffuse.r * 0.25f;
                m.Ambient.g = m.Diffuse.g * 0.25f;
                m.Ambient.b = m.Diffuse.b * 0.25f;
                if (materials[i].pTextureFilename && materials[i].pTextureFilename[0])
                    c->textures[i] = VornTexture::CreateFromFile(materials[i].pTextureFilename, 1, 0);
                c->pMaterials[i].pTextureFilename = nullptr;
            }
        }
    }
    if (SUCCEEDED(hr) && skinInfo) {
        c->sourceMesh = meshData->pMesh;
        c->sourceMesh->AddRef();
        c->pSkinInfo = skinInfo;
        skinInfo->AddRef();
        // The drawn mesh: a clone of the loaded one, skinned into on every draw.
        ID3DXMesh* drawn = nullptr;
        IDirect3DDevice9* device = nullptr;
        c->sourceMesh->GetDevice(&device);
        hr = c->sourceMesh->CloneMeshFVF(c->sourceMesh->GetOptions(), c->sourceMesh->GetFVF(), device, &drawn);
        if (device) device->Release();
        if (SUCCEEDED(hr)) {
            c->MeshData.pMesh->Release();
            c->MeshData.pMesh = drawn;
            DWORD count = 0;
            hr = drawn->GetAttributeTable(nullptr, &count);
            c->attributeCount = count;
            if (SUCCEEDED(hr) && count) {
                c->attributes = ZeroArray<D3DXATTRIBUTERANGE>(count);
                hr = c->attributes ? drawn->GetAttributeTable(c->attributes, &count) : E_OUTOFMEMORY;
            }
        }
        if (SUCCEEDED(hr)) {
            c->boneCount = skinInfo->GetNumBones();
            VornLog::Print("BONE [ %u ] : ", c->boneCount);
            const uint32_t bones = c->boneCount ? c->boneCount : 1;
            c->boneMatrices = ZeroArray<D3DXMATRIX>(bones);
            c->boneFrames = ZeroArray<const D3DXMATRIX*>(bones);
            c->boneOffsets = ZeroArray<D3DXMATRIX>(bones);
            if (!c->boneMatrices || !c->boneFrames || !c->boneOffsets) hr = E_OUTOFMEMORY;
            for (uint32_t i = 0; SUCCEEDED(hr) && i < c->boneCount; ++i) c->boneOffsets[i] = *skinInfo->GetBoneOffsetMatrix(i);
        }
        if (SUCCEEDED(hr) && !(c->skin = VornCpuSkin::Create(skinInfo, c->sourceMesh))) hr = E_FAIL;
    }
    if (SUCCEEDED(hr)) hr = ComputeBounds(c);
    VornLog::LineBreak();
    if (FAILED(hr)) {
        // The loader never destroys a container it did not receive.
        if (c) DestroyMeshContainer(c);
        return hr;
    }
    *out = c;
    ++containerCount_;
    return S_OK;
}

HRESULT VornModelSub::DestroyFrame(D3DXFRAME* frame)
{
    if (!frame) return S_OK;
    VORN_FREE(frame->Name);
    VORN_FREE(frame);
    return S_OK;
}

HRESULT VornModelSub::DestroyMeshContainer(D3DXMESHCONTAINER* container)
{
    VornModelContainer* c = static_cast<VornModelContainer*>(container);
    if (!c) return S_OK;
    for (DWORD i = 0; c->textures && i < c->NumMaterials; ++i) VornTexture::Release(c->textures[i]);
    if (c->MeshData.pMesh) c->MeshData.pMesh->Release();
    if (c->pSkinInfo) c->pSkinInfo->Release();
    if (c->sourceMesh) c->sourceMesh->Release();
    delete c->skin;
    VORN_FREE(c->Name);
    VORN_FREE(c->textures);
    VORN_FREE(c->pAdjacency);
    VORN_FREE(c->pMaterials);
    VORN_FREE(c->attributes);
    VORN_FREE(c->boneMatrices);
    VORN_FREE(c->boneOffsets);
    VORN_FREE(c->boneFrames);
    VORN_FREE(c);
    return S_OK;
}
