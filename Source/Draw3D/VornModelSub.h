// VornModelSub: the hierarchy allocator of static models, handed to the platform's hierarchy
// loader. It makes frames (with a combined matrix) and mesh containers (with normals, material
// textures loaded through VornTexture, the source mesh and bone offsets of a skinned mesh, the
// box and sphere) from the work area, counts what it made and lets go of them again.
#pragma once
#include "VornCollision.h"
#include "VornHandleTable.h"
#include "VornVector3.h"
#include <d3dx9.h>
#include <cstdint>

class VornCpuSkin;

struct VornModelFrame : D3DXFRAME {
    D3DXMATRIX combined;
};

struct VornModelContainer : D3DXMESHCONTAINER {
    ID3DXMesh* sourceMesh;            // skinned: the loaded mesh (MeshData holds the drawn clone)
    D3DXATTRIBUTERANGE* attributes;
    uint32_t attributeCount;
    const D3DXMATRIX** boneFrames;    // the bone frames' combined matrices, linked by the model
    D3DXMATRIX* boneMatrices;
    D3DXMATRIX* boneOffsets;
    uint32_t boneCount;
    VornHandle* textures;             // one per material, -1 none
    VornVector3 boxMin, boxMax;
    float radius;
    VornVector3 centre;
    uint32_t vertexCount, faceCount;
    VornCpuSkin* skin;                // the influence lists of a skinned mesh
    VornBox cullingBox;
    D3DXMATRIX matrix;
};

class VornModelSub : public ID3DXAllocateHierarchy
{
public:
    STDMETHOD(CreateFrame)(THIS_ const char* name, D3DXFRAME** out) override;
    STDMETHOD(CreateMeshContainer)(THIS_ const char* name, const D3DXMESHDATA* meshData, const D3DXMATERIAL* materials,
                                   const D3DXEFFECTINSTANCE* effects, DWORD materialCount, const DWORD* adjacency,
                                   ID3DXSkinInfo* skinInfo, D3DXMESHCONTAINER** out) override;
    STDMETHOD(DestroyFrame)(THIS_ D3DXFRAME* frame) override;
    STDMETHOD(DestroyMeshContainer)(THIS_ D3DXMESHCONTAINER* container) override;
    virtual ~VornModelSub() = default;

    uint32_t GetFrameCount() const { return frameCount_; }
    uint32_t GetMeshContainerCount() const { return containerCount_; }

    // Shared with the model's built-in shapes: a zeroed container named name, and the mesh with
    // normals (the mesh itself with one more reference when it has them).
    static VornModelContainer* NewContainer(const char* name);
    static HRESULT WithNormals(ID3DXMesh* mesh, ID3DXMesh** out);
    // The box and sphere of the container's mesh, with their log lines.
    static HRESULT ComputeBounds(VornModelContainer* c);

private:
    uint32_t frameCount_ = 0;
    uint32_t containerCount_ = 0;
};
