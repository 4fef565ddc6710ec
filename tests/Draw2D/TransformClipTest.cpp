// The 2D transform and the shared clipper, without a device.
#include "Draw2DFixture.h"
#include <limits>

using draw2dtest::V;

namespace {

VornTransform2D Scissor(LONG left, LONG top, LONG right, LONG bottom)
{
    VornTransform2D t = {};
    const RECT r = {left, top, right, bottom};
    t.SetScissoring(true, &r);
    return t;
}

}  // namespace

TEST(Vertex2D, LayoutAndTypes)
{
    EXPECT_NAMED({"size", sizeof(VornVertex2D), 52u}, {"colour offset", offsetof(VornVertex2D, colour), 16u}, {"texture offset", offsetof(VornVertex2D, tex), 20u});
    for (uint32_t type = 0; type <= 4; ++type)   // stride and FVF
        EXPECT_EQ(std::make_pair(20 + 8 * type, uint32_t(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | (type << 8))),
                  std::make_pair(VornVertexStride2D(type), VornVertexFVF2D(type))) << "type " << type;
}

// The depth scale without perspective, and the rhw it leaves, are read in the stored vertices of the
// effect, sorted batch and sprite tube cases.
TEST(Transform2D, ZoomAndTheVirtualScreenLast)
{
    VornTransform2D t = {};
    t.SetZoom(true, 320.0f, 240.0f, 2.0f);
    VornVertex2D v = V(330.0f, 230.0f, 0.0f);
    ASSERT_TRUE(t.TransformVertex(v));
    EXPECT_EQ(std::make_tuple(340.0f, 220.0f), std::make_tuple(v.x, v.y));

    Vorn::SetVirtualScreenSize(640, 480, 320, 240);
    t.SetZoom(true, 100.0f, 100.0f, 2.0f);
    v = V(110.0f, 90.0f);
    EXPECT_TRUE(t.TransformVertex(v));   // not ASSERT: the screen is put back below
    EXPECT_EQ(std::make_tuple(240.0f, 160.0f), std::make_tuple(v.x, v.y));
    Vorn::SetVirtualScreenSize(640, 480, 640, 480);   // the engine's unscaled screen again
}

TEST(Transform2D, PerspectiveKeepsTheMiddleDepthAndGrowsNearerVertices)
{
    VornTransform2D t = {};
    t.SetPerspective(true, 320.0f, 240.0f, 1.0f);
    VornVertex2D middle = V(420.0f, 140.0f, 32767.0f), nearer = V(420.0f, 140.0f, 16383.0f),
                 farther = V(420.0f, 140.0f, 49151.0f);
    ASSERT_TRUE(t.TransformVertex(middle));
    ASSERT_TRUE(t.TransformVertex(nearer));
    ASSERT_TRUE(t.TransformVertex(farther));
    EXPECT_NAMED({"middle x", middle.x, 420.0f}, {"middle y", middle.y, 140.0f}, {"middle z", middle.z, 32767.0f / 65535.0f},
                 {"middle rhw", middle.rhw, 1.0f / middle.z});
    EXPECT_TRUE(nearer.x > 420.0f && nearer.y < 140.0f && farther.x < 420.0f && nearer.z < middle.z && farther.z > middle.z)
        << "nearer " << nearer.x << "," << nearer.y << "," << nearer.z << ", farther " << farther.x << "," << farther.z;
}

// Mended: a vertex behind the eye or with a non-finite result is never divided or mirrored.
TEST(Transform2D, VerticesThatCannotBePlacedAreRefused)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const struct { bool on; float factor; VornVertex2D v; } cases[] = {
        {true, 100.0f, V(10, 10, 0.0f)},       // (0 - 32767) * 100 + 65535 < 0
        {true, 1.0f, V(10, 10, -32768.0f)},    // denominator exactly 0
        {true, 1.0f, V(10, 10, 0.0f)},         // z 0: rhw would be 1 / 0
        {true, 1.0f, V(nan, 10)},
        {false, 0.0f, V(10, inf)},
    };
    for (const auto& c : cases) {
        VornTransform2D t = {};
        t.SetPerspective(c.on, 320.0f, 240.0f, c.factor);
        VornVertex2D v = c.v;
        EXPECT_FALSE(t.TransformVertex(v)) << v.x << " " << v.y << " " << v.z;
    }
    const VornVertex2D tri[3] = {V(0, 0), V(10, 0), V(0, nan)};
    VornVertex2D out[3];
    EXPECT_FALSE(VornTransform2D{}.TransformTriangle(out, tri));
}

TEST(Clip2D, CoveringTriangleIsTheRectangleAndSevenCornersFiveTriangles)
{
    VornVertex2D out[VornTransform2D::kClipOutputMax];
    const VornVertex2D covering[3] = {V(-100, -100), V(400, -100), V(-100, 400)};
    ASSERT_EQ(6u, Scissor(10, 20, 110, 70).ClipTriangle(covering, out));
    std::set<std::pair<float, float>> corners;
    for (int i = 0; i < 6; ++i) corners.insert({out[i].x, out[i].y});
    EXPECT_EQ((std::set<std::pair<float, float>>{{10, 20}, {110, 20}, {110, 70}, {10, 70}}), corners);

    // Each triangle edge cuts a corner off the square and one square corner lies inside.
    const VornVertex2D tri[3] = {V(-30, 50), V(50, -30), V(150, 150)};
    ASSERT_EQ(15u, Scissor(0, 0, 100, 100).ClipTriangle(tri, out));
    double area = 0.0;
    for (int i = 0; i < 15; i += 3) {
        for (int k = 0; k < 3; ++k)
            EXPECT_TRUE(out[i + k].x >= 0.0f && out[i + k].x <= 100.0f && out[i + k].y >= 0.0f && out[i + k].y <= 100.0f)
                << "corner " << i + k << " at " << out[i + k].x << "," << out[i + k].y;
        area += 0.5 * std::fabs((out[i + 1].x - out[i].x) * (out[i + 2].y - out[i].y) -
                                (out[i + 2].x - out[i].x) * (out[i + 1].y - out[i].y));
    }
    // The square less three corners: 20 x 20 / 2 at (0,0), 100 x 33.3 / 2 at (100,0) and at (0,100).
    EXPECT_NEAR(7800.0, area, 0.05);
    // The corners start at the crossing of the left edge, in the order the passes produce them.
    EXPECT_EQ(0.0f, out[0].x);
    EXPECT_FLOAT_EQ(20.0f, out[0].y);
}

// Half-outside triangles and lines, points on an edge, wholly outside shapes and the scissor turned
// off are read back as pixels in the primitive tests (their colours at the cut too).
TEST(Clip2D, VerticesOnAnEdgeAreInsideAndALineOutsideAfterAnEarlierCutIsDropped)
{
    VornTransform2D t = Scissor(0, 0, 100, 100);
    const VornVertex2D onEdge[3] = {V(0, 0), V(100, 0), V(100, 100)};
    VornVertex2D out[VornTransform2D::kClipOutputMax];
    ASSERT_EQ(3u, t.ClipTriangle(onEdge, out));
    EXPECT_EQ(std::make_tuple(100.0f, 100.0f), std::make_tuple(out[2].x, out[2].y));
    VornVertex2D a = V(-50, 20), b = V(20, -50);   // passes left of the top-left corner
    EXPECT_FALSE(t.ClipLine(a, b));
    a = V(-50, 50);
    b = V(150, 50);
    ASSERT_TRUE(t.ClipLine(a, b));   // crossing the whole rectangle: both ends are cut
    EXPECT_EQ(std::make_tuple(0.0f, 100.0f), std::make_tuple(a.x, b.x));
}

TEST(DepthBucket, RangeAndTruncation)
{
    const struct { float depth; uint32_t bucket; } cases[] = {
        {0.0f, 0}, {0.5f, 4095}, {0.9999f, 8190}, {1.0f, VornPrimitive::kBucketCount},
        // Just below 0 truncates to bucket 0; an average at or below -1/8191 is out of range.
        {-0.00005f, 0}, {-0.0002f, VornPrimitive::kBucketCount},
    };
    for (const auto& c : cases) EXPECT_EQ(c.bucket, VornPrimitive::DepthBucket(c.depth, c.depth, c.depth)) << c.depth;
}
