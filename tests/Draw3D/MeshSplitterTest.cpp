// The mesh grid splitter on plain arrays: binning, clipping at cell borders, welding, slivers,
// scaling, the edge inputs and the 16-bit limits.
#include "Checks.h"
#include "VornMeshSplitter.h"
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using Tri = VornMeshSplitterTriangle;
using Vtx = VornMeshSplitterVertex;

Vtx At(float x, float y, float z) { return Vtx{x, y, z, 0, 1, 0, 1, 0, 0, 0, 0, 1, 1, 1, 1, 1, x, z}; }
Tri Make(uint32_t material, Vtx a, Vtx b, Vtx c) { return Tri{material, {a, b, c}}; }

}  // namespace

TEST(MeshSplitter, OneCellWithoutScaleHoldsTheWholeMeshWelded)
{
    const std::vector<Tri> quad = {Make(0, At(0, 0, 0), At(0, 0, 4), At(4, 0, 4)),
                                   Make(0, At(0, 0, 0), At(4, 0, 4), At(4, 0, 0))};
    VornMeshSplitter s;
    EXPECT_EQ(0, s.GetDivision());
    ASSERT_GE(s.Convert(quad.data(), 2, 0, -1), 0.0);   // N below 1 counts as 1: cell (0, 0) and no (1, 0)
    const VornMeshSplitterCell* c = s.GetCell(0, 0);
    ASSERT_NE(nullptr, c);
    ASSERT_NAMED({"vertices", c->vertexCount, 4}, {"indices", c->indexCount, 6}, {"max x", c->max.x, 4.0f});
    EXPECT_NAMED({"index 3 (welded)", c->indices[3], c->indices[0]}, {"cell (1, 0)", s.GetCell(1, 0), nullptr}, {"cell (-1, 0)", s.GetCell(-1, 0), nullptr});
}

TEST(MeshSplitter, TriangleAcrossABorderIsCutExactlyThereInBothCells)
{
    const Tri t = Make(0, At(0, 0, 0), At(0, 0, 2), At(2, 0, 0));
    VornMeshSplitter s;
    ASSERT_GE(s.Convert(&t, 1, 2, -1), 0.0);
    std::vector<float> borderZ[2];
    for (int x = 0; x < 2; ++x) {
        const VornMeshSplitterCell* c = s.GetCell(x, 0);
        ASSERT_GT(c->indexCount, 0u);
        for (uint32_t i = 0; i < c->vertexCount; ++i)
            if (c->vertices[i].px == 1.0f) borderZ[x].push_back(c->vertices[i].pz);
        std::sort(borderZ[x].begin(), borderZ[x].end());
    }
    EXPECT_NAMED({"border z in cell 0", borderZ[0], std::vector<float>{0, 1}}, {"border z in cell 1", borderZ[1], std::vector<float>{0, 1}});
    EXPECT_EQ(0u, s.GetCell(1, 1)->indexCount);   // touches only the corner (1, 1)
}

TEST(MeshSplitter, WeldsWithinTheToleranceAndIgnoresTheColour)
{
    struct Case { float delta, colour; uint32_t vertices; } cases[] = {{0.005f, 0, 4}, {0.02f, 0, 6}, {0.005f, 0.5f, 4}};
    for (const Case& k : cases) {
        auto off = [&k](Vtx v) {
            for (float* f = &v.px; f <= &v.v; ++f) *f += (f >= &v.a && f <= &v.b) ? k.colour : k.delta;
            return v;
        };
        const Tri t[2] = {Make(0, At(0, 0, 0), At(0, 0, 1), At(1, 0, 0)),
                          Make(0, off(At(1, 0, 0)), off(At(0, 0, 1)), At(1, 0, 1))};
        VornMeshSplitter s;
        ASSERT_GE(s.Convert(t, 2, 1, -1), 0.0);
        EXPECT_EQ(k.vertices, s.GetCell(0, 0)->vertexCount) << k.delta << " " << k.colour;
    }
}

TEST(MeshSplitter, SliverIsDroppedAndTheRangesShift)
{
    const Tri t[2] = {Make(0, At(0, 0, 0), At(0.005f, 0, 0), At(4, 0, 4)), Make(1, At(0, 0, 0), At(4, 0, 0), At(4, 0, 4))};
    VornMeshSplitter s;
    ASSERT_GE(s.Convert(t, 2, 1, -1), 0.0);
    const VornMeshSplitterCell* c = s.GetCell(0, 0);
    ASSERT_EQ(2u, c->materialCount);
    // Three indices left; the second range's first index was 3.
    EXPECT_NAMED({"indices", c->indexCount, 3}, {"range 0 first", c->ranges[0].first, 0}, {"range 0 count", c->ranges[0].count, 0},
                 {"range 1 first", c->ranges[1].first, 0}, {"range 1 count", c->ranges[1].count, 3});
}

TEST(MeshSplitter, ScaleMakesTheLargerExtent500AndZeroExtentsOrNoInputStayFinite)
{
    const Tri t = Make(0, At(-1, 1, 0), At(1, 1, 0), At(0, 1, 0.5f));
    VornMeshSplitter s;
    ASSERT_GE(s.Convert(&t, 1, 1, 500), 0.0);
    const VornMeshSplitterCell* c = s.GetCell(0, 0);
    EXPECT_NAMED({"x extent", c->max.x - c->min.x, 500.0f}, {"z extent", c->max.z - c->min.z, 125.0f}, {"max y", c->max.y, 250.0f});
    const Tri line = Make(0, At(0, 0, 0), At(0, 1, 0), At(0, 2, 0));
    ASSERT_GE(s.Convert(&line, 1, 2, 500), 0.0);
    EXPECT_EQ(2.0f, s.GetCell(0, 0)->vertices[2].py);   // unscaled, no division by zero
    ASSERT_GE(s.Convert(nullptr, 0, 2, 500), 0.0);
    ASSERT_EQ(2, s.GetDivision());
    EXPECT_NAMED({"materials of (1, 1)", s.GetCell(1, 1)->materialCount, 0}, {"vertices of (1, 1)", s.GetCell(1, 1)->vertexCount, 0});
}

TEST(MeshSplitter, SlantedEdgeCellsKeepEveryPieceWithinTheirSquares)
{
    // Up to five triangles per input in one cell: a list of twice the input count overflowed.
    const Tri t = Make(0, At(0, 0, 0), At(100, 0, 0), At(37, 0, 100));
    VornMeshSplitter s;
    ASSERT_GE(s.Convert(&t, 1, 16, -1), 0.0);
    double area = 0;
    for (int z = 0; z < 16; ++z)
        for (int x = 0; x < 16; ++x) {
            const VornMeshSplitterCell* c = s.GetCell(x, z);
            for (uint32_t i = 0; i < c->indexCount; i += 3) {
                const Vtx &p = c->vertices[c->indices[i]], &q = c->vertices[c->indices[i + 1]], &r = c->vertices[c->indices[i + 2]];
                area += std::fabs((q.px - p.px) * (r.pz - p.pz) - (r.px - p.px) * (q.pz - p.pz)) / 2;
            }
            if (!c->vertexCount) continue;
            SCOPED_TRACE("cell " + std::to_string(x) + ", " + std::to_string(z));
            EXPECT_GE(c->min.x, x * 6.25f - 1e-3f);
            EXPECT_LE(c->max.x, (x + 1) * 6.25f + 1e-3f);
            EXPECT_GE(c->min.z, z * 6.25f - 1e-3f);
            EXPECT_LE(c->max.z, (z + 1) * 6.25f + 1e-3f);
        }
    EXPECT_NEAR(5000.0, area, 0.05);
}

TEST(MeshSplitter, IndicesStay32BitUntilTheWeldAndOverfullCellsFail)
{
    // 21,846 triangles make 65,538 unshared vertices: a 16-bit index before the weld wraps.
    std::vector<Tri> same(21846, Make(0, At(0, 0, 0), At(0, 0, 1), At(1, 0, 0)));
    VornMeshSplitter s;
    ASSERT_GE(s.Convert(same.data(), 21846, 1, -1), 0.0);
    const VornMeshSplitterCell* c = s.GetCell(0, 0);
    ASSERT_NAMED({"vertices", c->vertexCount, 3}, {"indices", c->indexCount, 3u * 21846});
    EXPECT_EQ(c->indices[0], c->indices[3 * 21845]);
    for (size_t i = 0; i < same.size(); ++i)
        for (Vtx& v : same[i].v) v.py = static_cast<float>(i);
    EXPECT_LT(s.Convert(same.data(), 21846, 1, -1), 0.0);   // 65,538 distinct vertices
    EXPECT_NAMED({"division", s.GetDivision(), 0}, {"cell (0, 0)", s.GetCell(0, 0), nullptr});
}

TEST(MeshSplitter, HashedWeldEqualsThePlainWeldOnJitteredInput)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> grid(0, 8), jitter(-0.012f, 0.012f);
    std::vector<Vtx> v(6000);
    for (Vtx& p : v) {
        p = At(std::floor(grid(random)) * 0.01f, std::floor(grid(random)) * 0.01f, 0);
        for (float* f = &p.px; f <= &p.v; ++f)
            if (random() % 3 == 0) *f += jitter(random);
    }
    std::vector<uint32_t> plain(v.size()), hashed(v.size());
    const uint32_t n = VornMeshSplitter::WeldPlain(v.data(), 6000, 0.01f, plain.data());
    EXPECT_EQ(n, VornMeshSplitter::WeldHashed(v.data(), 6000, 0.01f, hashed.data()));
    EXPECT_EQ(plain, hashed);
    EXPECT_TRUE(vorntest::InRange("welded vertices (the input does weld)", n, 101, 4999));
}
