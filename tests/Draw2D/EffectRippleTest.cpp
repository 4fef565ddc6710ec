// VornEffect: the vertices each shape, fade and ripple stores in its batch, one frame per family,
// and the work area's memory map.
#include "Draw2DFixture.h"
#include "VornEffect.h"

using namespace draw2dtest;

namespace {

constexpr float k = VornTransform2D::kDepthScale;

class Effect : public Draw2D {
protected:
    void SetUp() override
    {
        Draw2D::SetUp();
        p_ = VornPrimitive::Create(6000, 1, false);
        ASSERT_NE(VORN_INVALID_HANDLE, p_);
    }
    std::vector<VornVertex2D> Stored() const { return StoredVertices(p_, 1); }
    VornPrimitiveHandle p_ = VORN_INVALID_HANDLE;
};

}  // namespace

TEST_F(Effect, ShapesPutTheirCornersColoursAndDepthsWhereTheirFormsSay)
{
    VornEffect::FillCircle(VORN_INVALID_HANDLE, 100, 100, kDepth, 20, 0xFFFFFFFF, 4);   // no batch: nothing
    VornEffect::FillCircle(p_, 100, 100, kDepth, 20, 0xFFFFFFFF, 4);
    VornEffect::FillCircle(p_, 100, 100, kDepth, 20, 0xFFFFFFFF, 0);   // mended: no segments, nothing
    VornEffect::FillRegularTriangle(p_, 50, 50, kDepth, 10, 0xFF00FF00);
    VornEffect::FillRing(p_, 150, 150, kDepth, 10, 30, 0xFFFF0000, 0xFF0000FF, 8);
    VornEffect::FillCylinder(p_, 150, 150, 30000, 40, 1000, 0xFFFFFFFF, 3);
    const VornRect rect = {10, 10, 20, 20};
    VornEffect::FillRectRotateXYZ(p_, &rect, 0, 0xFFFFFFFF, 0, 0, 0);   // mended: rhw finite at z 0
    const std::vector<VornVertex2D> v = Stored();
    ASSERT_EQ(12u + 3 + 48 + 18 + 6, v.size());
    const struct { size_t index; float x, y; } corners[] = {
        {1, 100, 80}, {4, 120, 100}, {7, 100, 120}, {10, 80, 100},   // diamond: top, right, bottom, left
        {12, 50, 40},                                                  // regular triangle: apex up
    };
    for (const auto& c : corners) EXPECT_LT(std::hypot(c.x - v[c.index].x, c.y - v[c.index].y), 1e-3) << "vertex " << c.index;
    // Ring: colour a at radius a, b at b; tube wall: z - depth / 2, then z + depth / 2.
    EXPECT_NAMED({"ring inner colour", Argb{v[15].colour}, Argb{0xFFFF0000}}, {"ring inner radius", std::hypot(v[15].x - 150, v[15].y - 150), 10, 1e-3},
                 {"ring outer colour", Argb{v[16].colour}, Argb{0xFF0000FF}}, {"ring outer radius", std::hypot(v[16].x - 150, v[16].y - 150), 30, 1e-3},
                 {"tube wall depth, near", v[63].z, 29500 * k, 1e-6}, {"tube wall depth, far", v[64].z, 30500 * k, 1e-6});
    EXPECT_EQ(1.0f, v[81].rhw);
}

TEST_F(Effect, FadesCoverTheScreenWithAlphasByRingOrSegment)
{
    const struct {
        bool sweep;
        uint8_t smooth;
        int32_t offset;
        std::set<uint32_t> alphas;
    } cases[] = {
        {false, 1, 0, {255, 192, 128, 64, 0}},
        {false, 0, 0, {255, 192, 128, 64}},   // one alpha per ring
        {true, 1, 0, {255, 192, 128, 64, 0}},
        {false, 1, 100, {255, 228, 164, 100}},
        {true, 1, -300, {0}},
    };
    const VornTextureHandle t = MakeTexture(256, 256, [](uint32_t x, uint32_t) { return x < 128 ? 0xFFFF0000u : 0xFF00FF00u; });
    const VornRect src = {64, 32, 128, 64};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.sweep ? "sweep" : "ring") + " smooth " + std::to_string(c.smooth) + " offset " + std::to_string(c.offset));
        VornPrimitive::ResetBuffer(p_);
        (c.sweep ? VornEffect::FillScreenSweepFade : VornEffect::FillScreenRingFade)(p_, t, &src, 4, 4, c.offset, c.smooth);
        const std::vector<VornVertex2D> v = Stored();
        ASSERT_EQ(4u * 4 * 6, v.size());
        std::set<uint32_t> alphas;
        for (const VornVertex2D& q : v) {
            SCOPED_TRACE("vertex " + std::to_string(&q - v.data()));
            alphas.insert(q.colour >> 24);
            EXPECT_NEAR(kDepth * k, q.z, 1e-6);
            EXPECT_FLOAT_EQ(1.0f / kDepth, q.rhw);
            EXPECT_NEAR((64 + 128 * q.x / kSize) / 256, q.tex[0].u, 1e-5);
            EXPECT_NEAR((32 + 64 * q.y / kSize) / 256, q.tex[0].v, 1e-5);
        }
        EXPECT_EQ(c.alphas, alphas);
    }
    // Sweep segments start straight above the centre.
    EXPECT_TRUE(std::fabs(Stored()[1].x - 128.0f) < 1e-3 && Stored()[1].y < 100.0f) << Stored()[1].x << ", " << Stored()[1].y;
    // Drawn, the screen shows the source rectangle: red on the left, green on the right.
    VornPrimitive::ResetBuffer(p_);
    VornEffect::FillScreenRingFade(p_, t, &src, 16, 2, 0, 0);
    UseTextures();
    Vorn3D::SetTexture(0, t);
    Draw<VornPrimitive>(p_);
    Vorn3D::SetTexture(0, VORN_INVALID_HANDLE);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"top left", frame_.Hex(2, 2), Argb{0xFF0000}}, {"bottom left", frame_.Hex(120, 250), Argb{0xFF0000}},
                 {"top right", frame_.Hex(136, 2), Argb{0x00FF00}}, {"bottom right", frame_.Hex(253, 253), Argb{0x00FF00}});
}

TEST_F(Effect, RippleStepsNormalsAndDrawing)
{
    VornRipple* g = VornEffect::CreateRipple(5, 5, 2, 2);
    ASSERT_NE(nullptr, g);
    VornEffect::UpdateRipple(g, 0x80, 0);
    const float centre = 0.0976201f, side = 0.0001f, diagonal = 0.000494975f;
    const float want[5][5] = {{0, 0, 0, 0, 0},
                              {0, diagonal, side, diagonal, 0},
                              {0, side, centre, side, 0},
                              {0, diagonal, side, diagonal, 0},
                              {0, 0, 0, 0, 0}};
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c) EXPECT_NEAR(want[r][c], g->vertices[r * 5 + c].z, 1e-7) << "row " << r << ", column " << c;
    EXPECT_EQ(Argb{0x80FFFFFF}, Argb{g->vertices[0].colour});
    VornEffect::ReleaseRipple(g);

    // No inner point: nothing moves. Mended: grids without room for their positions or 16-bit
    // indices, and a disturbance outside the grid, are refused and keep nothing.
    g = VornEffect::CreateRipple(4, 4, 1, 1);
    ASSERT_NE(nullptr, g);
    VornEffect::UpdateRipple(g, 0xFF, 1);
    EXPECT_EQ(0.1f, g->vertices[5].z);
    VornEffect::ReleaseRipple(g);
    const uint32_t before = VornMemory::GetFreeSize();
    const uint32_t refused[][4] = {{1, 5, 0, 0}, {5, 1, 0, 0}, {257, 256, 0, 0}, {5, 5, 5, 0}, {5, 5, 0, 5}};
    for (const auto& r : refused) EXPECT_EQ(nullptr, VornEffect::CreateRipple(r[0], r[1], r[2], r[3])) << r[0] << "x" << r[1] << " at " << r[2] << "," << r[3];
    EXPECT_EQ(before, VornMemory::GetFreeSize());
    g = VornEffect::CreateRipple(256, 256, 255, 255);
    ASSERT_NE(nullptr, g);
    EXPECT_EQ(65535, g->indices[g->indexCount - 3]);
    VornEffect::ReleaseRipple(g);

    // A flat grid: the disturbance on a corner that the step leaves alone, then flattened.
    g = VornEffect::CreateRipple(3, 3, 0, 0);
    ASSERT_NE(nullptr, g);
    g->vertices[0].z = 0.0f;
    VornEffect::UpdateRipple(g, 0x40, 1);
    const VornRippleVertex &mid = g->vertices[4], &corner = g->vertices[0];
    EXPECT_NAMED({"middle normal x", mid.nx, 0.0f}, {"y", mid.ny, 0.0f}, {"z", mid.nz, -1.0f}, {"middle u", mid.u, 0.5f, 1e-6}, {"middle v", mid.v, 0.5f, 1e-6},
                 {"corner u", corner.u, 0.0098f, 1e-4}, {"corner v", corner.v, 0.0098f, 1e-4}, {"corner colour", Argb{corner.colour}, Argb{0x40CFCFCF}},
                 {"indices", g->indexCount, 24u});
    const uint16_t cell[6] = {3, 1, 0, 4, 1, 3};
    EXPECT_BYTES_EQ(cell, g->indices, sizeof cell);
    VornEffect::DrawRipple(g, p_);
    const std::vector<VornVertex2D> v = Stored();
    ASSERT_EQ(24u, v.size());
    // Grid (-1, -1) and (1, 1): the top-left and bottom-right screen corners.
    EXPECT_NAMED({"top-left x", v[2].x, 0.0f}, {"top-left y", v[2].y, 0.0f}, {"bottom-right x", v[21].x, kSize}, {"bottom-right y", v[21].y, kSize});
    EXPECT_FLOAT_EQ(1.0f / kDepth, v[0].rhw);   // mended: a surface at rest has a finite rhw
    Draw<VornPrimitive>(p_);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"top left", frame_.Hex(1, 1), Argb{0xCFCFCF}}, {"bottom right", frame_.Hex(254, 254), Argb{0xCFCFCF}});
    VornEffect::ReleaseRipple(g);
}

TEST_F(Effect, MemoryMapDrawsFrameBackgroundAndOneBarPerRun)
{
    // Three separated live runs at the end of the area: five blocks, the second and fourth freed.
    void* blocks[5];
    for (void*& b : blocks) b = VORN_ALLOC(4u << 20);
    VornMemory::Free(blocks[1]);
    VornMemory::Free(blocks[3]);
    VornMemoryRun runs[64];
    const uint32_t count = VornMemory::GetMemoryMap(runs, 64);
    ASSERT_TRUE(count >= 3 && count <= 64) << count;
    Vorn3D::Clear(D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0, nullptr);
    VornMemory::DrawMemoryMap(p_, 8, 100, 240, 20, 0xFF0000FF, 0xFFFF0000);
    Draw<VornPrimitive>(p_);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"frame left", frame_.Hex(7, 110), Argb{0}}, {"frame bottom", frame_.Hex(100, 120), Argb{0}});
    const double total = VornMemory::GetTotalSize();
    for (uint32_t i = 0; i < count; ++i) {
        const double x0 = 8 + 240 * runs[i].start / total, x1 = x0 + 240 * runs[i].length / total;
        if (x1 - x0 >= 3) { EXPECT_EQ(Argb{0xFF0000}, frame_.Hex(static_cast<int>((x0 + x1) / 2), 110)) << "live run " << i; }
        const double next = i + 1 < count ? 8 + 240 * runs[i + 1].start / total : 248;
        if (next - x1 >= 3) { EXPECT_EQ(Argb{0x0000FF}, frame_.Hex(static_cast<int>((x1 + next) / 2), 110)) << "free space after run " << i; }
    }
    for (void* b : {blocks[0], blocks[2], blocks[4]}) VornMemory::Free(b);
}
