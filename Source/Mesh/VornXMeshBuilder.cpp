#include "VornXMeshBuilder.h"
#include <cstring>

HRESULT VornXMeshBuilder::Create(const VornXMeshData& data, DWORD options, IDirect3DDevice9* device, ID3DXMesh** mesh,
                                 ID3DXBuffer** adjacency, ID3DXSkinInfo** skin)
{
    *mesh = nullptr;
    if (adjacency) *adjacency = nullptr;
    if (skin) *skin = nullptr;
    const DWORD vertexCount = data.VertexCount(), faceCount = data.TriangleCount();
    if (vertexCount == 0 || faceCount == 0) return E_FAIL;
    if (vertexCount > 65535) options |= D3DXMESH_32BIT;
    const bool normals = !data.normals.empty(), colours = !data.colours.empty(), uvs = !data.uvs.empty();
    const DWORD fvf = D3DFVF_XYZ | (normals ? D3DFVF_NORMAL : 0) | (colours ? D3DFVF_DIFFUSE : 0) | (uvs ? D3DFVF_TEX1 : 0);
    HRESULT hr = D3DXCreateMeshFVF(faceCount, vertexCount, options, fvf, device, mesh);
    if (FAILED(hr)) return hr;
    ID3DXMesh* m = *mesh;
    BYTE* v = nullptr;
    if (SUCCEEDED(hr = m->LockVertexBuffer(0, reinterpret_cast<void**>(&v)))) {
        for (DWORD i = 0; i < vertexCount; ++i) {
            memcpy(v, &data.positions[3 * i], 12);
            v += 12;
            if (normals) {
                memcpy(v, &data.normals[3 * i], 12);
                v += 12;
            }
            if (colours) {
                memcpy(v, &data.colours[i], 4);
                v += 4;
            }
            if (uvs) {
                memcpy(v, &data.uvs[2 * i], 8);
                v += 8;
            }
        }
        m->UnlockVertexBuffer();
    }
    void* ib = nullptr;
    if (SUCCEEDED(hr) && SUCCEEDED(hr = m->LockIndexBuffer(0, &ib))) {
        if (m->GetOptions() & D3DXMESH_32BIT) {
            memcpy(ib, data.indices.data(), data.indices.size() * 4);
        } else {
            WORD* out = static_cast<WORD*>(ib);
            for (uint32_t i : data.indices) *out++ = static_cast<WORD>(i);
        }
        m->UnlockIndexBuffer();
    }
    DWORD* attributes = nullptr;
    if (SUCCEEDED(hr) && SUCCEEDED(hr = m->LockAttributeBuffer(0, &attributes))) {
        memcpy(attributes, data.attributes.data(), faceCount * 4);
        m->UnlockAttributeBuffer();
    }
    if (SUCCEEDED(hr)) {
        // The triangles come sorted by material: one range per material used.
        std::vector<D3DXATTRIBUTERANGE> table;
        for (DWORD f = 0; f < faceCount; ++f) {
            if (table.empty() || table.back().AttribId != data.attributes[f]) table.push_back({data.attributes[f], f, 0, 0, 0});
            ++table.back().FaceCount;
        }
        for (D3DXATTRIBUTERANGE& r : table) {
            DWORD lo = UINT32_MAX, hi = 0;
            for (DWORD i = r.FaceStart * 3; i < (r.FaceStart + r.FaceCount) * 3; ++i) {
                lo = data.indices[i] < lo ? data.indices[i] : lo;
                hi = data.indices[i] > hi ? data.indices[i] : hi;
            }
            r.VertexStart = lo;
            r.VertexCount = hi - lo + 1;
        }
        hr = m->SetAttributeTable(table.data(), static_cast<DWORD>(table.size()));
    }
    // Our own adjacency: the platform's search grows with the square of the faces along one edge.
    if (SUCCEEDED(hr) && adjacency && SUCCEEDED(hr = D3DXCreateBuffer(faceCount * 3 * sizeof(DWORD), adjacency))) {
        std::vector<uint32_t> faces;
        VornXMesh::Adjacency(data, &faces);
        memcpy((*adjacency)->GetBufferPointer(), faces.data(), faces.size() * sizeof(DWORD));
    }
    if (SUCCEEDED(hr) && skin && !data.bones.empty()) {
        const DWORD bones = static_cast<DWORD>(data.bones.size());
        hr = D3DXCreateSkinInfoFVF(vertexCount, fvf, bones, skin);
        for (DWORD b = 0; SUCCEEDED(hr) && b < bones; ++b) {
            const VornXBone& bone = data.bones[b];
            const std::vector<DWORD> vertices(bone.vertices.begin(), bone.vertices.end());
            hr = (*skin)->SetBoneName(b, bone.name.c_str());
            // A bone that moves nothing in this mesh keeps the none it starts with (the platform
            // refuses an empty list).
            if (SUCCEEDED(hr) && !vertices.empty())
                hr = (*skin)->SetBoneInfluence(b, static_cast<DWORD>(vertices.size()), vertices.data(), bone.weights.data());
            if (SUCCEEDED(hr)) hr = (*skin)->SetBoneOffsetMatrix(b, reinterpret_cast<const D3DXMATRIX*>(bone.offset));
        }
    }
    if (FAILED(hr)) {
        m->Release();
        *mesh = nullptr;
        if (adjacency && *adjacency) (*adjacency)->Release(), *adjacency = nullptr;
        if (skin && *skin) (*skin)->Release(), *skin = nullptr;
    }
    return hr;
}

void VornXMeshBuilder::Materials(const VornXMeshData& data, std::vector<D3DXMATERIAL>* out)
{
    out->assign(data.materials.size(), D3DXMATERIAL());
    for (size_t i = 0; i < data.materials.size(); ++i) {
        const VornXMaterial& x = data.materials[i];
        D3DMATERIAL9& m = (*out)[i].MatD3D;
        m = D3DMATERIAL9();
        m.Diffuse = {x.diffuse[0], x.diffuse[1], x.diffuse[2], x.diffuse[3]};
        m.Power = x.power;
        m.Specular = {x.specular[0], x.specular[1], x.specular[2], 1.0f};
        m.Emissive = {x.emissive[0], x.emissive[1], x.emissive[2], 1.0f};
        (*out)[i].pTextureFilename = x.texture.empty() ? nullptr : const_cast<char*>(x.texture.c_str());
    }
}
