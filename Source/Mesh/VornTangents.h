// VornTangents: per-vertex tangent frames from positions, normals and texture coordinates, our
// own routine on every platform (the platform's tangent function is not usable everywhere).
//
// For each triangle with usable texture coordinates the tangent is dP/du and the binormal dP/dv;
// a triangle whose u, v span no area adds nothing. Each vertex sums the frames of its triangles,
// then both vectors are orthogonalised against the vertex normal and normalised; a tangent that
// comes out zero becomes a unit vector perpendicular to the normal, and such a binormal becomes
// normal x tangent.
#pragma once
#include <cstdint>

struct VornTangentLayout {
    uint32_t stride;     // bytes from one vertex to the next
    uint32_t position;   // offsets of the float3 / float2 members within a vertex
    uint32_t normal;
    uint32_t uv;
    uint32_t tangent;    // written
    uint32_t binormal;   // written
};

namespace VornTangents {
// Fills the tangent and binormal of every vertex. indices: three per triangle, each below
// vertexCount (others are skipped). False, with nothing written, when no triangle has usable u, v.
bool Compute(void* vertices, uint32_t vertexCount, const VornTangentLayout& layout, const uint32_t* indices,
             uint32_t triangleCount);
}
