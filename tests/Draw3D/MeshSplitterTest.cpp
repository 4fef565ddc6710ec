// The mesh grid splitter on plain arrays: binning, clipping at cell borders, welding, slivers,
// scaling, the edge inputs and the 16-bit limits.
#include "VornMeshSplitter.h"
#include <gtest/gtest.h>
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
    ASSERT_EQ(std::make_tuple(4u, 6u, 4.0f), std::make_tuple(c->vertexCount, c->indexCount, c->max.x));
    EXPECT_EQ(std::make_tuple(c->indices[0], nullptr, nullptr), std::make_tuple(c->indices[3], s.GetCell(1, 0), s.GetCell(-1, 0)));
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
    EXPECT_EQ(std::make_pair(std::vector<float>{0, 1}, std::vector<float>{0, 1}), std::make_pair(borderZ[0], borderZ[1]));
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
    EXPECT_EQ((std::vector<uint32_t>{3, 0, 0, 0, 3}),
              (std::vector<uint32_t>{c->indexCount, c->ranges[0].first, c->ranges[0].count, c->ranges[1].first, c->ranges[1].count}));
}

TEST(MeshSplitter, ScaleMakesTheLargerExtent500AndZeroExtentsOrNoInputStayFinite)
{
    const Tri t = Make(0, At(-1, 1, 0), At(1, 1, 0), At(0, 1, 0.5f));
    VornMeshSplitter s;
    ASSERT_GE(s.Convert(&t, 1, 1, 500), 0.0);
    const VornMeshSplitterCell* c = s.GetCell(0, 0);
    EXPECT_EQ(std::make_tuple(500.0f, 125.0f, 250.0f), std::make_tuple(c->max.x - c->min.x, c->max.z - c->min.z, c->max.y));
    const Tri line = Make(0, At(0, 0, 0), At(0, 1, 0), At(0, 2, 0));
    ASSERT_GE(s.Convert(&line, 1, 2, 500), 0.0);
    EXPECT_EQ(2.0f, s.GetCell(0, 0)->vertices[2].py);   // unscaled, no division by zero
    ASSERT_GE(s.Convert(nullptr, 0, 2, 500), 0.0);
    ASSERT_EQ(2, s.GetDivision());
    EXPECT_EQ(std::make_pair(0u, 0u), std::make_pair(s.GetCell(1, 1)->materialCount, s.GetCell(1, 1)->vertexCount));
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
            EXPECT_TRUE(c->min.x >= x * 6.25f - 1e-3f && c->max.x <= (x + 1) * 6.25f + 1e-3f && c->min.z >= z * 6.25f - 1e-3f &&
                        c->max.z <= (z + 1) * 6.25f + 1e-3f) << x << ", " << z;
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
    ASSERT_EQ(std::make_pair(3u, 3u * 21846), std::make_pair(c->vertexCount, c->indexCount));
    EXPECT_EQ(c->indices[0], c->indices[3 * 21845]);
    for (size_t i = 0; i < same.size(); ++i)
        for (Vtx& v : same[i].v) v.py = static_cast<float>(i);
    EXPECT_LT(s.Convert(same.data(), 21846, 1, -1), 0.0);   // 65,538 distinct vertices
    EXPECT_TRUE(s.GetDivision() == 0 && s.GetCell(0, 0) == nullptr);
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
    EXPECT_TRUE(n > 100u && n < 5000u) << n;   // the input does weld
}
