// VornSimple and VornTexture's blits: immediate shapes, the caller's vertices, the states left.
#include "Draw2DFixture.h"
#include "VornMatrix.h"
#include "VornVector3.h"

using namespace draw2dtest;

namespace {
constexpr uint32_t kWhite = 0xFFFFFFFF;
}

// Mended: the shapes work on a copy, so the same array drawn twice lands twice at the same place,
// neither moved another half pixel nor with its pixel UVs converted twice.
TEST_F(Draw2D, ImmediateDrawingWorksOnACopyOfTheCallersVertices)
{
    // Pixel texture coordinates.
    VornVertex2D fan[4] = {V(20, 20, 0, kWhite), V(84, 20, 0, kWhite, 64, 0), V(84, 84, 0, kWhite, 64, 64), V(20, 84, 0, kWhite, 0, 64)};
    VornVertex2D line[2] = {V(100, 150, 0, kWhite), V(150, 150, 0, kWhite)};
    VornVertex2D fanBefore[4], lineBefore[2];
    memcpy(fanBefore, fan, sizeof fan);
    memcpy(lineBefore, line, sizeof line);
    ASSERT_TRUE(VornSimple::DrawLineStrip(line, 2));
    ASSERT_TRUE(VornSimple::DrawLineStrip(line, 2));
    UseTextures();
    const VornTextureHandle t = MakeTexture(64, 64, [](uint32_t x, uint32_t) { return x < 32 ? 0xFFFF0000u : 0xFF0000FFu; });
    ASSERT_TRUE(VornSimple::DrawTriangleFan(fan, 4, &t, 1));
    ASSERT_TRUE(VornSimple::DrawTriangleFan(fan, 4, &t, 1));
    EXPECT_BYTES_EQ(fanBefore, fan, sizeof fan);
    EXPECT_BYTES_EQ(lineBefore, line, sizeof line);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"red half", frame_.Count(0, 0, kSize, kSize, 0xFF0000), 32 * 64}, {"blue half", frame_.Count(0, 0, kSize, kSize, 0x0000FF), 32 * 64});
    // One line on one row near 149 (y 150 - 0.5), from x 99.5.
    int x0, y0, x1, y1;
    ASSERT_TRUE(frame_.Bounds(0xFFFFFF, &x0, &y0, &x1, &y1));
    EXPECT_EQ(y0, y1);
    EXPECT_TRUE(BoxIs(frame_, 0xFFFFFF, 100, 149, 149, 149, 1));
}

TEST_F(Draw2D, ImmediateDrawingRefusesCountsTheBufferCannotTake)
{
    static VornVertex2D many[VornSimple::kBufferVertices + 1];
    for (VornVertex2D& v : many) v = V(10, 10, 0, kWhite);
    const uint32_t most = VornSimple::kBufferVertices;
    const struct { const char* call; bool got, drawn; } calls[] = {   // called in this order
        {"strip past the buffer", VornSimple::DrawLineStrip(many, most + 1), false}, {"strip of one", VornSimple::DrawLineStrip(many, 1), false},
        {"strip of nothing", VornSimple::DrawLineStrip(nullptr, 2), false}, {"fan of two", VornSimple::DrawTriangleFan(many, 2, nullptr, 0), false},
        {"fan past the buffer", VornSimple::DrawTriangleFan(many, most + 1, nullptr, 0), false},
        {"strip of the whole buffer", VornSimple::DrawLineStrip(many, most), true}, {"fan of three", VornSimple::DrawTriangleFan(many, 3, nullptr, 0), true}};
    for (const auto& c : calls) EXPECT_EQ(c.drawn, c.got) << c.call;
}

TEST_F(Draw2D, FramesAreClosedLineStripsAndLeaveDepthAndCullingOff)
{
    Vorn3D::SetRenderState(D3DRS_ZENABLE, TRUE);
    Vorn3D::SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    const VornRect rect = {20, 20, 100, 60};
    VornSimple::DrawSquareFrame(&rect, 0, kWhite);
    EXPECT_NAMED({"depth test", Vorn3D::GetRenderState(D3DRS_ZENABLE), FALSE}, {"culling", Vorn3D::GetRenderState(D3DRS_CULLMODE), D3DCULL_NONE});
    const float triangleCentre[2] = {190, 60};
    VornSimple::DrawTriangleFrame(triangleCentre, 40, 0, 0xFF00FF00);
    const float ellipseCentre[2] = {128, 180};
    VornSimple::DrawEllipseFrame(ellipseCentre, 60, 30, 0xFFFF0000);
    ASSERT_TRUE(Frame());
    // More than so many pixels of the colour in each piece: the square's four sides, the left one
    // being the closing segment; the triangle's left and right sides and its base, the last side
    // back to the apex; the ellipse above and below its rightmost point, where it is closed.
    const struct { int x0, y0, x1, y1; uint32_t rgb; int more; } pieces[] = {
        {18, 30, 22, 70, 0xFFFFFF, 30}, {118, 30, 122, 70, 0xFFFFFF, 30}, {30, 18, 110, 22, 0xFFFFFF, 70}, {30, 78, 110, 82, 0xFFFFFF, 70},
        {160, 30, 188, 80, 0x00FF00, 20}, {192, 30, 225, 80, 0x00FF00, 20}, {160, 78, 225, 82, 0x00FF00, 50},
        {180, 170, 190, 180, 0xFF0000, 0}, {180, 180, 190, 190, 0xFF0000, 0}};
    for (const auto& p : pieces) EXPECT_GT(frame_.Count(p.x0, p.y0, p.x1, p.y1, p.rgb), p.more) << "piece at " << p.x0 << "," << p.y0 << " of " << Argb{p.rgb};
    EXPECT_EQ(0, frame_.Count(30, 30, 110, 70, 0xFFFFFF));
    // The triangle's apex straight up; the ellipse's extent.
    int x0, y0, x1, y1;
    ASSERT_TRUE(frame_.Bounds(0x00FF00, &x0, &y0, &x1, &y1));
    EXPECT_NEAR(19, y0, 1);
    ASSERT_TRUE(frame_.Bounds(0xFF0000, &x0, &y0, &x1, &y1));
    EXPECT_NEAR(67, x0, 1);
    EXPECT_NEAR(187, x1, 1);
}

TEST_F(Draw2D, TextureDrawShowsTheSourceRectangleOneToOne)
{
    UseTextures();
    // 64x64 blocks of distinct colours on a 256x256 texture.
    const VornTextureHandle t = MakeTexture(256, 256, [](uint32_t x, uint32_t y) {
        return 0xFF000000u | ((x / 64) * 0x40u << 16) | ((y / 64) * 0x40u << 8) | 0x20u;
    });
    const VornRect dst = {0, 0, 64, 64}, src = {0, 0, 64, 64};
    VornTexture::Draw(t, &dst, &src, kWhite);
    VornTexture::Draw(VORN_INVALID_HANDLE, &dst, &src, 0xFFFF00FF);   // draws nothing
    const VornRect dst2 = {128, 128, 64, 64}, src2 = {64, 128, 64, 64};
    VornTexture::DrawMultiTexture(&t, &dst2, &src2, kWhite, 1);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"first block", frame_.Count(0, 0, kSize, kSize, 0x000020), 64 * 64}, {"second block", frame_.Count(128, 128, 192, 192, 0x408020), 64 * 64},
                 {"drawn without a texture", frame_.Count(0, 0, kSize, kSize, 0xFF00FF), 0});
}

// The ellipse turns its texture with the shape; the triangle takes six pixel coordinates per stage.
TEST_F(Draw2D, TexturedEllipseAndTriangle)
{
    UseTextures();
    const VornTextureHandle t = MakeTexture(64, 64, [](uint32_t x, uint32_t) { return x < 32 ? 0xFFFF0000u : 0xFF0000FFu; });
    const VornRect src = {0, 0, 64, 64};
    const float left[2] = {64, 128}, right[2] = {192, 128}, centre[2] = {128, 128};
    VornSimple::DrawEllipse(left, 50, 50, 0, &src, kWhite, &t, 1);
    VornSimple::DrawEllipse(right, 50, 50, 16384, &src, kWhite, &t, 1);
    ASSERT_TRUE(Frame());
    // Unturned: red on the left, blue on the right. A quarter turn: red above, blue below.
    EXPECT_NAMED({"unturned left", frame_.Hex(34, 128), Argb{0xFF0000}}, {"unturned right", frame_.Hex(94, 128), Argb{0x0000FF}},
                 {"turned top", frame_.Hex(192, 98), Argb{0xFF0000}}, {"turned bottom", frame_.Hex(192, 158), Argb{0x0000FF}});

    ASSERT_TRUE(NewScene());
    const float uv[6] = {0, 0, 16, 64, 0, 64};   // the red half only
    VornSimple::DrawTriangle(centre, 60, 0, uv, kWhite, &t, 1);
    ASSERT_TRUE(Frame());
    int x0, y0, x1, y1;
    ASSERT_TRUE(frame_.Bounds(0xFF0000, &x0, &y0, &x1, &y1));
    EXPECT_NEAR(68, y0, 1);    // apex straight up
    EXPECT_NEAR(157, y1, 1);   // base at 128 + 60 sin 30
    EXPECT_EQ(0, frame_.Count(0, 0, kSize, kSize, 0x0000FF));
}

TEST_F(Draw2D, BoundingBoxDrawsTwelveEdgesWithDepthTestOn)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_PROJECTION, &identity);
    const VornVector3 min(-0.5f, -0.5f, 0.25f), max(0.5f, 0.5f, 0.75f);
    const VornMatrix world;
    VornSimple::DrawBoundingBox(&min, &max, &world, 0xFFFFFF00);
    EXPECT_NAMED({"depth test", Vorn3D::GetRenderState(D3DRS_ZENABLE), TRUE}, {"lighting", Vorn3D::GetRenderState(D3DRS_LIGHTING), FALSE});
    Vorn3D::SetRenderState(D3DRS_ZENABLE, FALSE);
    ASSERT_TRUE(Frame());
    // Seen straight on, the box is the square of clip space [-0.5, 0.5]: screen 64..192.
    EXPECT_TRUE(BoxIs(frame_, 0xFFFF00, 64, 64, 192, 192, 1));
    EXPECT_EQ(0, frame_.Count(70, 70, 186, 186, 0xFFFF00));
}
