// VornXMeshBuilder: a mesh read by VornXMesh as the platform's mesh objects: an ID3DXMesh (position,
// normal when the file has normals, diffuse when it has vertex colours, one texture coordinate when
// it has them), its attribute table, its adjacency and, when the mesh has bones, its skin info.
#pragma once
#include "VornXMesh.h"
#include <d3dx9.h>

class VornXMeshBuilder
{
public:
    // options: D3DXMESH_* (32-bit indices are added when the vertices need them). adjacency and
    // skin may be null when not wanted; skin stays null for a mesh without bones.
    static HRESULT Create(const VornXMeshData& data, DWORD options, IDirect3DDevice9* device, ID3DXMesh** mesh,
                          ID3DXBuffer** adjacency, ID3DXSkinInfo** skin);
    // The materials as the platform's records (texture names point into data).
    static void Materials(const VornXMeshData& data, std::vector<D3DXMATERIAL>* out);
};
