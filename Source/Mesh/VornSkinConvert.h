// Our skin converter: turns per-vertex bone influences of a mesh into indexed-blending data
// (bone combinations of at most a palette of bones, vertices duplicated per combination, blend
// indices as palette slots). Plain C++; the model class feeds it from ID3DXSkinInfo.
//
// Choices: a vertex's influences are sorted by weight, largest first (ties by bone number);
// zero weights are dropped; over four, the four largest are kept and renormalised to sum 1.
// Faces go in attribute order (stable), grouped greedily: a face joins the open combination
// when it has the same attribute and the union of bones still fits the palette, otherwise a new
// combination starts. A vertex is written once per combination whose faces use it.
#pragma once
#include <cstdint>
#include <vector>

struct VornSkinInfluence {
    uint32_t bone;
    float weight;
};

constexpr uint32_t VORN_SKIN_MAX_PALETTE = 32;
constexpr uint32_t VORN_SKIN_MAX_INFLUENCES = 4;
constexpr uint32_t VORN_SKIN_UNUSED_BONE = 0xFFFFFFFFu;

struct VornSkinCombination {
    uint32_t attribute;
    uint32_t faceStart, faceCount;
    uint32_t vertexStart, vertexCount;
    uint32_t bone[VORN_SKIN_MAX_PALETTE];   // palette slot -> bone; unused slots VORN_SKIN_UNUSED_BONE
};

struct VornSkinVertex {
    uint32_t source;                              // vertex of the input mesh
    uint8_t slot[VORN_SKIN_MAX_INFLUENCES];       // palette slots, largest weight first
    float weight[VORN_SKIN_MAX_INFLUENCES];
};

struct VornSkinResult {
    std::vector<VornSkinCombination> combinations;
    std::vector<VornSkinVertex> vertices;
    std::vector<uint32_t> indices;               // three per face, in combination order
    std::vector<uint32_t> faceSource;            // input face of each output face
    uint32_t maxInfluences = 0;                  // 1 .. 4
};

class VornSkinConvert
{
public:
    // indices: three per face; attributes: one per face (null: all 0); influences: one list per
    // vertex. False when an index or a bone is out of range or the palette size is not 1 .. 32.
    static bool Convert(uint32_t vertexCount, uint32_t faceCount, const uint32_t* indices, const uint32_t* attributes,
                        const std::vector<std::vector<VornSkinInfluence>>& influences, uint32_t boneCount,
                        uint32_t paletteSize, VornSkinResult* out);
    // Sorts, cuts to four and renormalises one vertex's list as above.
    static void PrepareInfluences(std::vector<VornSkinInfluence>* list);
};
