// Skinning on the CPU (the skin information's own update is not implemented here). The influence
// lists are built once from the skin information; each update writes
//     position := sum of weight x (source position x bone matrix)
//     normal   := sum of weight x (source normal x bone matrix, without translation), normalised
// and copies every other element. A vertex no bone influences keeps its source values.
#pragma once
#include <d3dx9.h>
#include <cstdint>
#include <vector>

class VornCpuSkin
{
public:
    // Null when the skin information or the vertex layout cannot be read.
    static VornCpuSkin* Create(ID3DXSkinInfo* skin, ID3DXMesh* mesh);

    // Skins source into target (same layout and vertex count); bones: one matrix per bone.
    void Update(const D3DXMATRIX* bones, const void* source, void* target) const;

private:
    struct Influence { uint32_t bone; float weight; };
    std::vector<uint32_t> first_;     // vertex v's influences: first_[v] .. first_[v + 1] - 1
    std::vector<Influence> influences_;
    uint32_t vertexCount_ = 0, stride_ = 0, position_ = 0, normal_ = 0xFFFFFFFFu;
};
