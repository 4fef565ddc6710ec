// The 2D transform and the shared clipper, without a device.
#include "Draw2DFixture.h"
#include <cmath>
#include <limits>
#include <set>
#include <utility>

using draw2dtest::V;

namespace {

VornTransform2D Scissor(LONG left, LONG top, LONG right, LONG bottom)
{
    VornTransform2D t = {};
    const RECT r = {left, top, right, bottom};
    t.SetScissoring(true, &r);
    return t;
}

class Transform2D : public ::testing::Test {
protected:
    void SetUp() override { Vorn::SetVirtualScreenSize(640, 480, 640, 480); }
    void TearDown() override { Vorn::SetVirtualScreenSize(640, 480, 640, 480); }
};

}  // namespace

TEST(Vertex2D, LayoutAndTypes)
{
    EXPECT_EQ(52u, sizeof(VornVertex2D));
    EXPECT_EQ(16u, offsetof(VornVertex2D, colour));
    EXPECT_EQ(20u, offsetof(VornVertex2D, tex));
    const uint32_t strides[5] = {20, 28, 36, 44, 52};
    const uint32_t fvfs[5] = {0x044, 0x144, 0x244, 0x344, 0x444};
    for (uint32_t type = 0; type <= 4; ++type) {
        EXPECT_EQ(strides[type], VornVertexStride2D(type));
        EXPECT_EQ(fvfs[type], VornVertexFVF2D(type));
    }
    EXPECT_EQ(static_cast<DWORD>(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX4), VornVertexFVF2D(4));
}

TEST_F(Transform2D, PlainDepthScaleKeepsRhwAndZoomsAboutItsCentre)
{
    VornTransform2D t = {};
    VornVertex2D v = V(100.0f, 50.0f, 65535.0f);
    v.rhw = 0.25f;
    ASSERT_TRUE(t.TransformVertex(v));
    EXPECT_FLOAT_EQ(1.0f, v.z);
    EXPECT_EQ(0.25f, v.rhw);
    EXPECT_EQ(100.0f, v.x);

    t.SetZoom(true, 320.0f, 240.0f, 2.0f);
    v = V(330.0f, 230.0f, 0.0f);
    ASSERT_TRUE(t.TransformVertex(v));
    EXPECT_EQ(340.0f, v.x);
    EXPECT_EQ(220.0f, v.y);
    EXPECT_EQ(0.0f, v.z);
}

TEST_F(Transform2D, PerspectiveKeepsTheMiddleDepthAndGrowsNearerVertices)
{
    VornTransform2D t = {};
    t.SetPerspective(true, 320.0f, 240.0f, 1.0f);
    VornVertex2D middle = V(420.0f, 140.0f, 32767.0f);
    ASSERT_TRUE(t.TransformVertex(middle));
    EXPECT_FLOAT_EQ(420.0f, middle.x);
    EXPECT_FLOAT_EQ(140.0f, middle.y);
    EXPECT_FLOAT_EQ(32767.0f / 65535.0f, middle.z);
    EXPECT_FLOAT_EQ(1.0f / middle.z, middle.rhw);

    VornVertex2D nearer = V(420.0f, 140.0f, 16383.0f);
    VornVertex2D farther = V(420.0f, 140.0f, 49151.0f);
    ASSERT_TRUE(t.TransformVertex(nearer));
    ASSERT_TRUE(t.TransformVertex(farther));
    EXPECT_GT(nearer.x, 420.0f);
    EXPECT_LT(nearer.y, 140.0f);
    EXPECT_LT(farther.x, 420.0f);
    EXPECT_GT(farther.y, 140.0f);
    EXPECT_LT(nearer.z, middle.z);
    EXPECT_GT(farther.z, middle.z);
}

TEST_F(Transform2D, VirtualScreenScaleComesLast)
{
    Vorn::SetVirtualScreenSize(640, 480, 320, 240);
    VornTransform2D t = {};
    t.SetZoom(true, 100.0f, 100.0f, 2.0f);
    VornVertex2D v = V(110.0f, 90.0f);
    ASSERT_TRUE(t.TransformVertex(v));
    EXPECT_EQ(240.0f, v.x);
    EXPECT_EQ(160.0f, v.y);
}

// Mended: a vertex behind the eye or with a non-finite result is never divided or mirrored.
TEST_F(Transform2D, VerticesThatCannotBePlacedAreRefused)
{
    VornTransform2D t = {};
    t.SetPerspective(true, 320.0f, 240.0f, 100.0f);
    VornVertex2D v = V(10.0f, 10.0f, 0.0f);   // (0 - 32767) * 100 + 65535 < 0
    EXPECT_FALSE(t.TransformVertex(v));
    t.SetPerspective(true, 320.0f, 240.0f, 1.0f);
    v = V(10.0f, 10.0f, -32768.0f);           // denominator exactly 0
    EXPECT_FALSE(t.TransformVertex(v));
    v = V(10.0f, 10.0f, 0.0f);                // z 0: rhw would be 1 / 0
    EXPECT_FALSE(t.TransformVertex(v));
    v = V(std::numeric_limits<float>::quiet_NaN(), 10.0f);
    EXPECT_FALSE(t.TransformVertex(v));
    t.SetPerspective(false, 0.0f, 0.0f, 0.0f);
    v = V(10.0f, std::numeric_limits<float>::infinity());
    EXPECT_FALSE(t.TransformVertex(v));

    const VornVertex2D tri[3] = {V(0, 0), V(10, 0), V(0, std::numeric_limits<float>::quiet_NaN())};
    VornVertex2D out[3];
    EXPECT_FALSE(t.TransformTriangle(out, tri));
}

TEST(Clip2D, ScissorSetterKeepsEdgesWhenTurnedOff)
{
    VornTransform2D t = Scissor(1, 2, 3, 4);
    EXPECT_EQ(1, t.scissorOn);
    t.SetScissoring(false, nullptr);
    EXPECT_EQ(0, t.scissorOn);
    EXPECT_EQ(1.0f, t.scissorLeft);
    EXPECT_EQ(4.0f, t.scissorBottom);
}

TEST(Clip2D, TriangleHalfOutsideBecomesAFanWithInterpolatedValues)
{
    const VornTransform2D t = Scissor(0, 0, 100, 100);
    const VornVertex2D tri[3] = {V(60, 20, 0.25f, 0xFF0000FF, 0.0f, 0.0f), V(140, 20, 0.75f, 0x80FF0000, 1.0f, 0.5f),
                                 V(60, 80, 0.25f, 0xFF00FF00, 0.0f, 1.0f)};
    VornVertex2D out[VornTransform2D::kClipOutputMax];
    ASSERT_EQ(6u, t.ClipTriangle(tri, out));
    // Corners: A, the crossing of A->B, the crossing of B->C, C; as the fan (A, AB, BC), (A, BC, C).
    const VornVertex2D& a = out[0];
    const VornVertex2D& ab = out[1];
    const VornVertex2D& bc = out[2];
    EXPECT_EQ(60.0f, a.x);
    EXPECT_EQ(100.0f, ab.x);
    EXPECT_EQ(20.0f, ab.y);
    EXPECT_EQ(0.5f, ab.z);
    EXPECT_EQ(0xBF7F007Fu, ab.colour);   // each byte truncated: 191.5, 127.5, 0, 127.5
    EXPECT_EQ(0.5f, ab.tex[0].u);
    EXPECT_EQ(0.25f, ab.tex[0].v);
    EXPECT_EQ(100.0f, bc.x);
    EXPECT_EQ(50.0f, bc.y);
    EXPECT_EQ(0xBF7F7F00u, bc.colour);
    EXPECT_EQ(0.75f, bc.tex[0].v);
    EXPECT_EQ(60.0f, out[3].x);
    EXPECT_EQ(100.0f, out[4].x);
    EXPECT_EQ(50.0f, out[4].y);
    EXPECT_EQ(80.0f, out[5].y);
    EXPECT_EQ(0xFF00FF00u, out[5].colour);
}

TEST(Clip2D, VertexOnAnEdgeIsInsideAndWhollyOutsideIsNothing)
{
    const VornTransform2D t = Scissor(0, 0, 100, 100);
    const VornVertex2D onEdge[3] = {V(0, 0), V(100, 0), V(100, 100)};
    VornVertex2D out[VornTransform2D::kClipOutputMax];
    ASSERT_EQ(3u, t.ClipTriangle(onEdge, out));
    EXPECT_EQ(100.0f, out[2].x);
    EXPECT_EQ(100.0f, out[2].y);

    const VornVertex2D beyond[3] = {V(100.5f, 0), V(200, 0), V(150, 50)};
    EXPECT_EQ(0u, t.ClipTriangle(beyond, out));
    const VornVertex2D above[3] = {V(-50, -1), V(200, -1), V(150, -50)};
    EXPECT_EQ(0u, t.ClipTriangle(above, out));

    VornTransform2D off = {};
    const VornVertex2D distant[3] = {V(-500, -500), V(-400, -500), V(-500, -400)};
    EXPECT_EQ(3u, off.ClipTriangle(distant, out));
}

TEST(Clip2D, CoveringTriangleBecomesTheRectangle)
{
    const VornTransform2D t = Scissor(10, 20, 110, 70);
    const VornVertex2D tri[3] = {V(-100, -100), V(400, -100), V(-100, 400)};
    VornVertex2D out[VornTransform2D::kClipOutputMax];
    ASSERT_EQ(6u, t.ClipTriangle(tri, out));
    std::set<std::pair<float, float>> corners;
    for (int i = 0; i < 6; ++i) corners.insert({out[i].x, out[i].y});
    const std::set<std::pair<float, float>> expected = {{10, 20}, {110, 20}, {110, 70}, {10, 70}};
    EXPECT_EQ(expected, corners);
}

TEST(Clip2D, SevenCornersGiveFiveTriangles)
{
    // Each triangle edge cuts a corner off the square and one square corner lies inside.
    const VornTransform2D t = Scissor(0, 0, 100, 100);
    const VornVertex2D tri[3] = {V(-30, 50), V(50, -30), V(150, 150)};
    VornVertex2D out[VornTransform2D::kClipOutputMax];
    ASSERT_EQ(15u, t.ClipTriangle(tri, out));
    double area = 0.0;
    for (int i = 0; i < 15; i += 3) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_GE(out[i + k].x, 0.0f);
            EXPECT_LE(out[i + k].x, 100.0f);
            EXPECT_GE(out[i + k].y, 0.0f);
            EXPECT_LE(out[i + k].y, 100.0f);
        }
        area += 0.5 * std::fabs((out[i + 1].x - out[i].x) * (out[i + 2].y - out[i].y) -
                                (out[i + 2].x - out[i].x) * (out[i + 1].y - out[i].y));
    }
    // The square less three corners: 20 x 20 / 2 at (0,0), 100 x 33.3 / 2 at (100,0) and at (0,100).
    EXPECT_NEAR(7800.0, area, 0.05);
    // The corners start at the crossing of the left edge, in the order the passes produce them.
    EXPECT_EQ(0.0f, out[0].x);
    EXPECT_FLOAT_EQ(20.0f, out[0].y);
}

TEST(Clip2D, LineIsCutAtTheEdgeWithItsColourInterpolated)
{
    const VornTransform2D t = Scissor(0, 0, 100, 100);
    VornVertex2D a = V(50, 50, 0.0f, 0xFF000000), b = V(150, 50, 0.0f, 0xFFFF0000);
    ASSERT_TRUE(t.ClipLine(a, b));
    EXPECT_EQ(50.0f, a.x);
    EXPECT_EQ(100.0f, b.x);
    EXPECT_EQ(50.0f, b.y);
    EXPECT_EQ(0xFF7F0000u, b.colour);

    // Crossing the whole rectangle: both ends are cut, each from the first end towards the second.
    a = V(-50, 50);
    b = V(150, 50);
    ASSERT_TRUE(t.ClipLine(a, b));
    EXPECT_EQ(0.0f, a.x);
    EXPECT_EQ(100.0f, b.x);

    a = V(-50, 10);
    b = V(-1, 90);
    EXPECT_FALSE(t.ClipLine(a, b));
    // Outside after an earlier cut: passes left of the top-left corner.
    a = V(-50, 20);
    b = V(20, -50);
    EXPECT_FALSE(t.ClipLine(a, b));
}

TEST(Clip2D, PointOnTheEdgeIsInsideAndATenthBeyondIsNot)
{
    const VornTransform2D t = Scissor(0, 0, 100, 100);
    EXPECT_TRUE(t.PointInside(V(100.0f, 100.0f)));
    EXPECT_TRUE(t.PointInside(V(0.0f, 0.0f)));
    EXPECT_FALSE(t.PointInside(V(100.1f, 50.0f)));
    EXPECT_FALSE(t.PointInside(V(50.0f, -0.1f)));
    EXPECT_TRUE(VornTransform2D{}.PointInside(V(-1000.0f, 5000.0f)));
}

TEST(DepthBucket, RangeAndTruncation)
{
    EXPECT_EQ(0u, VornPrimitive::DepthBucket(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(4095u, VornPrimitive::DepthBucket(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(8190u, VornPrimitive::DepthBucket(0.9999f, 0.9999f, 0.9999f));
    EXPECT_EQ(VornPrimitive::kBucketCount, VornPrimitive::DepthBucket(1.0f, 1.0f, 1.0f));
    // Just below 0 truncates to bucket 0; an average at or below -1/8191 is out of range.
    EXPECT_EQ(0u, VornPrimitive::DepthBucket(-0.00005f, -0.00005f, -0.00005f));
    EXPECT_EQ(VornPrimitive::kBucketCount, VornPrimitive::DepthBucket(-0.0002f, -0.0002f, -0.0002f));
}
