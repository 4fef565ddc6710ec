// VornMeshSplitter: cuts a triangle list into an N x N grid of cells over the X/Z plane. Each
// triangle overlapping a cell is clipped at the cell's borders and re-triangulated; each cell's
// triangles are gathered by material, near-identical vertices welded and degenerate triangles
// dropped, giving a vertex array and a 16-bit index array per cell. Its memory comes from the
// page allocator, not from the work area.
#pragma once
#include "VornVector3.h"
#include <cstdint>

struct VornMeshSplitterVertex {
    float px, py, pz;
    float nx, ny, nz;
    float tx, ty, tz;   // tangent
    float bx, by, bz;   // binormal
    float a, r, g, b;   // colour, 0 to 1
    float u, v;
};
static_assert(sizeof(VornMeshSplitterVertex) == 18 * 4, "18 floats");

struct VornMeshSplitterTriangle {
    uint32_t material;
    VornMeshSplitterVertex v[3];
};
static_assert(sizeof(VornMeshSplitterTriangle) == 220, "the input triangle is 220 bytes");

struct VornMeshSplitterRange {
    uint32_t first;   // first index
    uint32_t count;   // index count
};

struct VornMeshSplitterCell {
    VornVector3 min, max;   // box of the vertex positions after welding (zero when empty)
    uint32_t materialCount;
    VornMeshSplitterRange* ranges;
    uint32_t vertexCount;
    VornMeshSplitterVertex* vertices;
    uint32_t indexCount;
    uint16_t* indices;
};

class VornMeshSplitter
{
public:
    static constexpr int32_t kMaxCellVertices = 65536;   // what 16-bit indices can address

    VornMeshSplitter();
    virtual ~VornMeshSplitter();
    VornMeshSplitter(const VornMeshSplitter&) = delete;
    VornMeshSplitter& operator=(const VornMeshSplitter&) = delete;

    // Builds the grid (any earlier one is let go). n below 1 counts as 1; a scale other than -1
    // scales the positions so that the larger of the X and Z extents becomes scale (the input
    // itself is not changed). Returns the seconds it took, or a negative value when it failed: a
    // cell that welds to more than 65536 vertices, or memory that could not be had. A failed
    // conversion leaves no grid (division 0).
    virtual double Convert(const VornMeshSplitterTriangle* triangles, int32_t count, int32_t n, int32_t scale);
    virtual int32_t GetDivision() const;
    // Cell (x, z), element z x N + x; null outside 0..N-1.
    virtual const VornMeshSplitterCell* GetCell(int32_t x, int32_t z) const;

    // The weld: each vertex in order joins the earliest surviving vertex before it whose fourteen
    // compared floats (all but the colour) are each within tolerance; otherwise it survives.
    // remap[k] receives the new index of vertex k; returns the number of survivors. The plain
    // form compares every pair; the hashed form finds the same partners through a spatial hash
    // on position, so both give the same remap.
    static uint32_t WeldPlain(const VornMeshSplitterVertex* vertices, uint32_t count, float tolerance,
                              uint32_t* remap);
    static uint32_t WeldHashed(const VornMeshSplitterVertex* vertices, uint32_t count, float tolerance,
                               uint32_t* remap);
    static bool IsWeldable(const VornMeshSplitterVertex& a, const VornMeshSplitterVertex& b, float tolerance);

private:
    void FreeCells();

    int32_t division_;
    float tolerance_;
    VornMeshSplitterCell* cells_;
};
