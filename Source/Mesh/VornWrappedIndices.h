// VornWrappedIndices: a mend for X-mesh loaders that keep only the low 16 bits of the first
// corner of every polygon even in a 32-bit index buffer (measured with Wine 10's loader: a
// 160,801-vertex grid came back with each face's first index taken modulo 65,536).
#pragma once
#include <cstdint>

namespace VornWrappedIndices {
// True when the list looks wrapped: the mesh has more than 65,536 vertices, some second or third
// corner lies at 65,536 or above, yet no first corner does.
bool IsWrapped(const uint32_t* indices, uint32_t triangleCount, uint32_t vertexCount);
// Gives each triangle's first corner back its high bits: of the vertices that share its low 16
// bits, the one nearest the triangle's other two corners (positions: float3 at the start of each
// vertex, stride bytes apart). Returns the number of corners changed.
uint32_t Repair(const void* vertices, uint32_t stride, uint32_t vertexCount, uint32_t* indices, uint32_t triangleCount);
}
