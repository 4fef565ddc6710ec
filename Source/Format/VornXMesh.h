// VornXMesh: one Mesh object of a parsed X file as triangle lists with 32-bit indices, plain C++.
// Polygons become fans; a vertex used with different normals is split (the copies follow the file's
// vertices, in the order they are met); the triangles are sorted by material, keeping their order
// within one. The material list follows the format: fewer face indices than faces repeat the last,
// more are ignored. Skin weights carry over to the split copies. A mesh or list the reader kept short
// gives what it holds. A refusal gives its cause (naming the mesh) for the caller's one line; a part
// ignored is a log line of its own.
#pragma once
#include "VornXFormat.h"
#include <cstdint>
#include <string>
#include <vector>

struct VornXMaterial {
    float diffuse[4];
    float power;
    float specular[3];
    float emissive[3];
    std::string texture;   // empty when none
};

struct VornXBone {
    std::string name;
    std::vector<uint32_t> vertices;
    std::vector<float> weights;
    float offset[16];
};

struct VornXMeshData {
    std::string name;
    std::vector<float> positions;       // 3 per vertex
    std::vector<float> normals;         // 3 per vertex; empty when the file gives none
    std::vector<float> uvs;             // 2 per vertex; empty when none
    std::vector<uint32_t> colours;      // A8R8G8B8 per vertex; empty when none
    std::vector<uint32_t> indices;      // 3 per triangle
    std::vector<uint32_t> attributes;   // the material of each triangle, ascending
    std::vector<VornXMaterial> materials;
    std::vector<VornXBone> bones;
    uint32_t VertexCount() const { return static_cast<uint32_t>(positions.size() / 3); }
    uint32_t TriangleCount() const { return static_cast<uint32_t>(attributes.size()); }
};

class VornXMesh
{
public:
    // false, with the cause in *cause, when the mesh's data do not hold together.
    static bool Read(const VornXDocument& doc, const VornXObject& mesh, VornXMeshData* out, std::string* cause);
    // Every mesh of the file as one, each placed by its frames' matrices (normals turned with them)
    // in every frame that holds it, its materials after those of the meshes before it. A mesh refused
    // is a log line; false, with the cause, when no mesh can be read.
    static bool ReadMerged(const VornXDocument& doc, VornXMeshData* out, std::string* cause);
    // Per triangle edge (e from corner e to corner e + 1), the first other triangle that runs along
    // it the other way, vertices at one position counting as one; UINT32_MAX none. Linear in the
    // triangles, however many share an edge.
    static void Adjacency(const VornXMeshData& data, std::vector<uint32_t>* out);
    // The frame matrix of a FrameTransformMatrix object (identity when it is short).
    static void ReadMatrix(const VornXDocument& doc, const VornXObject& o, float* out);
};
