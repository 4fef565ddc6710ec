// Collision tests, each at touching, inside, outside and its degenerate inputs.
#include "MathFixture.h"
#include "VornCollision.h"
#include "VornMatrix.h"
#include <initializer_list>
#include <vector>

using vorntest::ExpectVector;
using vorntest::MathTest;
using V2 = VornVector2;
using V3 = VornVector3;

namespace {

VornBox AxisBox(float x0, float y0, float z0, float x1, float y1, float z1)
{
    VornBox box;
    VornMath::TransformBox(&box, V3(x0, y0, z0), V3(x1, y1, z1), VornMatrix());
    return box;
}

VornBox TurnedCube(VornAngle z, float x, float y, float zOffset)
{
    VornMatrix m;
    m.RotationZ(z).MultiplySelf(VornMatrix().Translation(x, y, zOffset));
    VornBox box;
    VornMath::TransformBox(&box, V3(-1, -1, -1), V3(1, 1, 1), m);
    return box;
}

VornSegment3 Seg(float x0, float y0, float z0, float x1, float y1, float z1)
{
    return {V3(x0, y0, z0), V3(x1, y1, z1)};
}

// The square (0,0)-(2,2) in the plane z = 0, and that plane; a triangle in it.
const VornQuad kFloor = {{V3(0, 0, 0), V3(2, 0, 0), V3(2, 2, 0), V3(0, 2, 0)}};
const VornPlane kFloorPlane = {0, 0, 1, 0};
const VornTriangle kTriangle = {V3(0, 0, 0), V3(2, 0, 0), V3(0, 2, 0)};

struct Shape {
    Shape(std::initializer_list<V2> list) : points(list)
    {
        points.push_back(points.front());
        polygon = {static_cast<uint32_t>(points.size()), points.data()};
    }
    std::vector<V2> points;
    VornPolygon polygon;
};

} // namespace

// --- 3D ---

TEST(Collision3D, SpheresPointsAndPlanes)
{
    EXPECT_FALSE(VornMath::CollisionSphereSphere(VornSphere(0, 0, 0, 1), VornSphere(3, 0, 0, 2)));   // touching
    EXPECT_TRUE(VornMath::CollisionSphereSphere(VornSphere(0, 0, 0, 1), VornSphere(3, 0, 0, 2.1f)));
    EXPECT_TRUE(VornMath::CollisionSphereSphere(VornSphere(1, 1, 1, 0.5f), VornSphere(1, 1, 1, 3)));   // inside
    EXPECT_FALSE(VornMath::CollisionSphereSphere(VornSphere(0, 0, 0, 0), VornSphere(0, 0, 0, 0)));   // two points
    const VornSphere s(V3(0, 0, 0), 2.0f);
    EXPECT_FALSE(VornMath::CollisionPointSphere(V3(0, 2, 0), s));
    EXPECT_TRUE(VornMath::CollisionPointSphere(V3(0, 1.99f, 0), s));
    EXPECT_TRUE(VornMath::CollisionPointPoint3D(V3(1, 2, 3), V3(1, 2, 3)));
    EXPECT_FALSE(VornMath::CollisionPointPoint3D(V3(1, 2, 3), V3(1, 2, 3.0000002f)));

    VornPlane p;
    VornMath::PlaneFromPoints(&p, V3(0, 0, 5), V3(1, 0, 5), V3(0, 1, 5));
    EXPECT_TRUE(p.a == 0.0f && p.b == 0.0f && p.c == 1.0f && p.d == -5.0f) << p.a << " " << p.b << " " << p.c << " " << p.d;
    VornMath::PlaneFromPointNormal(&p, V3(1, 2, 3), V3(0, 2, 0));   // n as given
    EXPECT_TRUE(p.b == 2.0f && p.d == -4.0f) << p.b << " " << p.d;
}

TEST_F(MathTest, PointInBoxReportsTheFacesItIsOutside)
{
    const VornBox box = AxisBox(-1, -1, -1, 1, 1, 1);
    ExpectVector(1, -1, 1, box.corner[5], 0);   // bit 0 x max, bit 1 y max, bit 2 z max
    const struct { V3 point; uint32_t faces; } cases[] = {
        {V3(0, 0, 0), 0}, {V3(1, 0, 0), 0}, {V3(1, 1, -1), 0},   // inside, on a face, on a corner
        {V3(0, 0, -2), 1u << 0}, {V3(0, 0, 2), 1u << 1}, {V3(-2, 0, 0), 1u << 2},
        {V3(2, 0, 0), 1u << 3}, {V3(0, 2, 0), 1u << 4}, {V3(0, -2, 0), 1u << 5},
        {V3(2, 2, 2), (1u << 3) | (1u << 4) | (1u << 1)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.faces, VornMath::IsPointInBox(c.point, box)) << c.point.x << " " << c.point.y << " " << c.point.z;
    EXPECT_TRUE(VornMath::CollisionPointBox(V3(0.5f, -0.5f, 0.99f), box));
    EXPECT_FALSE(VornMath::CollisionPointBox(V3(0.5f, -0.5f, 1.01f), box));
    // Turned a quarter about y and moved: the box's x extent now lies along world z.
    VornMatrix m;
    m.RotationY(16384).MultiplySelf(VornMatrix().Translation(10, 0, 0));
    VornBox turned;
    VornMath::TransformBox(&turned, V3(-3, -1, -1), V3(3, 1, 1), m);
    EXPECT_TRUE(VornMath::CollisionPointBox(V3(10, 0, 2.5f), turned));
    EXPECT_FALSE(VornMath::CollisionPointBox(V3(12.5f, 0, 0), turned));
}

TEST(Collision3D, SphereAgainstSegment)
{
    const VornSegment3 seg = Seg(-5, 0, 0, 5, 0, 0);
    EXPECT_TRUE(VornMath::CollisionSphereSegment(VornSphere(0, 2, 0, 2), seg));    // touching the middle
    EXPECT_FALSE(VornMath::CollisionSphereSegment(VornSphere(0, 2, 0, 1.9f), seg));
    EXPECT_TRUE(VornMath::CollisionSphereSegment(VornSphere(5.5f, 0, 0, 1), seg));   // an end inside
    EXPECT_FALSE(VornMath::CollisionSphereSegment(VornSphere(6, 0, 0, 1), seg));     // touching an end
    EXPECT_FALSE(VornMath::CollisionSphereSegment(VornSphere(8, 0, 0, 1), seg));     // on the line, beyond
    EXPECT_FALSE(VornMath::CollisionSphereSegment(VornSphere(7, 1, 0, 1.5f), seg));  // near the line, beyond
    // Centre on the segment itself (given either way round).
    EXPECT_TRUE(VornMath::CollisionSphereSegment(VornSphere(0, 0, 0, 0.5f), seg));
    EXPECT_TRUE(VornMath::CollisionSphereSegment(VornSphere(1, 2, 3, 0.01f), Seg(2, 4, 6, 0, 0, 0)));
    // A zero-length segment is a point.
    EXPECT_TRUE(VornMath::CollisionSphereSegment(VornSphere(0, 0.5f, 0, 1), Seg(0, 0, 0, 0, 0, 0)));
    EXPECT_FALSE(VornMath::CollisionSphereSegment(VornSphere(0, 2, 0, 1), Seg(0, 0, 0, 0, 0, 0)));
    EXPECT_TRUE(VornMath::CollisionPointSegment(V3(1, 0.5f, 0), seg));   // radius 1
    EXPECT_FALSE(VornMath::CollisionPointSegment(V3(1, 1.5f, 0), seg));
}

TEST(Collision3D, SegmentAgainstPlane)
{
    V3 hit(9, 9, 9);
    EXPECT_TRUE(VornMath::CollisionSegmentPlane(&hit, kFloorPlane, V3(1, 2, -1), V3(3, 2, 3)));
    ExpectVector(1.5f, 2, 0, hit, 0);
    EXPECT_FALSE(VornMath::CollisionSegmentPlane(&hit, kFloorPlane, V3(1, 2, 1), V3(3, 2, 3)));
    EXPECT_FALSE(VornMath::CollisionSegmentPlane(&hit, kFloorPlane, V3(1, 2, -1), V3(3, 2, -3)));
    EXPECT_TRUE(VornMath::CollisionSegmentPlane(&hit, kFloorPlane, V3(4, 5, 6), V3(7, 8, 0)));
    ExpectVector(7, 8, 0, hit, 0);   // an end on the plane
    // Both ends in the plane: the segment meets it at its start.
    EXPECT_TRUE(VornMath::CollisionSegmentPlane(&hit, kFloorPlane, V3(1, 1, 0), V3(5, -2, 0)));
    ExpectVector(1, 1, 0, hit, 0);
}

TEST(Collision3D, SegmentAgainstQuadAndTriangle)
{
    V3 hit;
    EXPECT_TRUE(VornMath::CollisionSegmentQuad(Seg(1, 1, 1, 1, 1, -1), kFloor, kFloorPlane, &hit));
    ExpectVector(1, 1, 0, hit, 0);
    EXPECT_FALSE(VornMath::CollisionSegmentQuad(Seg(3, 1, 1, 3, 1, -1), kFloor, kFloorPlane, &hit));
    ExpectVector(3, 1, 0, hit, 0);   // written although the test failed
    EXPECT_TRUE(VornMath::CollisionSegmentQuad(Seg(2, 1, 1, 2, 1, -1), kFloor, kFloorPlane, nullptr));   // on an edge
    EXPECT_TRUE(VornMath::CollisionSegmentQuad(Seg(0.5f, 0.5f, 1, 0.5f, 0.5f, 0), kFloor, kFloorPlane, nullptr));
    hit.Set(7, 7, 7);
    EXPECT_FALSE(VornMath::CollisionSegmentQuad(Seg(1, 1, 1, 1, 1, 0.5f), kFloor, kFloorPlane, &hit));
    ExpectVector(7, 7, 7, hit, 0);   // not reached: both ends on one side
    // Quads facing x and y are projected on the other two axes.
    const VornQuad wallX = {{V3(1, 0, 0), V3(1, 2, 0), V3(1, 2, 2), V3(1, 0, 2)}};
    const VornPlane planeX = {-1, 0, 0, 1};
    EXPECT_TRUE(VornMath::CollisionSegmentQuad(Seg(0, 1, 1, 2, 1, 1), wallX, planeX, nullptr));
    EXPECT_FALSE(VornMath::CollisionSegmentQuad(Seg(0, 3, 1, 2, 3, 1), wallX, planeX, nullptr));
    EXPECT_FALSE(VornMath::CollisionSegmentQuad(Seg(0, 1, 2.5f, 2, 1, 2.5f), wallX, planeX, nullptr));
    const VornQuad wallY = {{V3(0, 3, 0), V3(0, 3, 2), V3(2, 3, 2), V3(2, 3, 0)}};
    const VornPlane planeY = {0, 1, 0, -3};
    EXPECT_TRUE(VornMath::CollisionSegmentQuad(Seg(1, 0, 1, 1, 5, 1), wallY, planeY, nullptr));
    EXPECT_FALSE(VornMath::CollisionSegmentQuad(Seg(-1, 0, 1, -1, 5, 1), wallY, planeY, nullptr));

    EXPECT_TRUE(VornMath::CollisionSegmentTriangle(Seg(0.5f, 0.5f, 1, 0.5f, 0.5f, -3), kFloorPlane, kTriangle, &hit));
    ExpectVector(0.5f, 0.5f, 0, hit, 0);
    EXPECT_FALSE(VornMath::CollisionSegmentTriangle(Seg(1.5f, 1.5f, 1, 1.5f, 1.5f, -1), kFloorPlane, kTriangle, &hit));
    ExpectVector(1.5f, 1.5f, 0, hit, 0);
    EXPECT_TRUE(VornMath::CollisionSegmentTriangle(Seg(1, 1, 1, 1, 1, -1), kFloorPlane, kTriangle, nullptr));   // on the long edge
    // An end on the plane is no crossing here (product 0).
    EXPECT_FALSE(VornMath::CollisionSegmentTriangle(Seg(0.5f, 0.5f, 1, 0.5f, 0.5f, 0), kFloorPlane, kTriangle, nullptr));
    EXPECT_FALSE(VornMath::CollisionSegmentTriangle(Seg(0.5f, 0.5f, 1, 0.5f, 0.5f, 2), kFloorPlane, kTriangle, nullptr));
}

TEST(Collision3D, LineAgainstTriangleFromEitherSide)
{
    float t = 0, u = 0, v = 0;
    const struct { VornSegment3 line; float t, u, v; } hits[] = {
        {Seg(0.5f, 0.5f, 3, 0.5f, 0.5f, -1), 3.0f, 0.25f, 0.25f},
        {Seg(0.5f, 1.0f, -2, 0.5f, 1.0f, 10), 2.0f, 0.25f, 0.5f},
        {Seg(0.5f, 0.5f, 3, 0.5f, 0.5f, 2.5f), 3.0f, 0.25f, 0.25f},   // t is not limited to the segment
        {Seg(0.5f, 0.5f, 0, 3.5f, 0.5f, 4), 0.0f, 0.25f, 0.25f},
    };
    for (const auto& h : hits) {
        ASSERT_TRUE(VornMath::CollisionLineTriangle(h.line, kTriangle, &t, &u, &v)) << &h - hits;
        EXPECT_FLOAT_EQ(h.t, t);
        EXPECT_FLOAT_EQ(h.u, u);
        EXPECT_FLOAT_EQ(h.v, v);
    }
    const VornSegment3 misses[] = {
        Seg(1.5f, 1.5f, 3, 1.5f, 1.5f, -1), Seg(-0.5f, 0.5f, 3, -0.5f, 0.5f, -1),
        Seg(0, 0, 1, 1, 0, 1), Seg(0, 0.5f, 0, 1, 0.5f, 0),   // parallel to the triangle
        Seg(0.5f, 0.5f, 0, 0.5f, 0.5f, 0), Seg(0.5f, 0.5f, 3, 0.5f, 0.5f, 3),   // no direction
    };
    for (const VornSegment3& m : misses)
        EXPECT_FALSE(VornMath::CollisionLineTriangle(m, kTriangle, &t, &u, &v)) << &m - misses;
}

TEST_F(MathTest, SegmentsQuadsAndBoxesAgainstBoxesAndQuads)
{
    const VornBox box = AxisBox(0, 0, 0, 2, 2, 2);
    EXPECT_TRUE(VornMath::CollisionSegmentBox(Seg(1, 1, 1, 5, 5, 5), box));     // an end inside
    EXPECT_TRUE(VornMath::CollisionSegmentBox(Seg(-1, 1, 1, 3, 1, 1), box));    // straight through
    EXPECT_TRUE(VornMath::CollisionSegmentBox(Seg(-1, 1, 1, 0, 1, 1), box));    // ending on a face
    EXPECT_TRUE(VornMath::CollisionSegmentBox(Seg(-1, -1, 1, 3, 3, 1), box));   // diagonally, no end inside
    EXPECT_FALSE(VornMath::CollisionSegmentBox(Seg(-1, 3, 1, 3, 3, 1), box));
    EXPECT_FALSE(VornMath::CollisionSegmentBox(Seg(-1, -1, 1, 1, -3, 1), box));
    EXPECT_FALSE(VornMath::CollisionSegmentBox(Seg(5, 5, 5, 5, 5, 5), box));    // a point outside

    const VornQuad wall = {{V3(1, 1, -1), V3(1, 1, 1), V3(1, -1, 1), V3(1, -1, -1)}};
    const VornPlane wallPlane = {1, 0, 0, -1};
    EXPECT_TRUE(VornMath::CollisionQuadQuad(kFloor, kFloorPlane, wall, wallPlane));   // crossing
    EXPECT_TRUE(VornMath::CollisionQuadQuad(wall, wallPlane, kFloor, kFloorPlane));
    const VornQuad high = {{V3(0, 0, 1), V3(2, 0, 1), V3(2, 2, 1), V3(0, 2, 1)}};
    EXPECT_FALSE(VornMath::CollisionQuadQuad(kFloor, kFloorPlane, high, VornPlane{0, 0, 1, -1}));   // parallel
    const VornQuad away = {{V3(5, 1, -1), V3(5, 1, 1), V3(5, -1, 1), V3(5, -1, -1)}};
    EXPECT_FALSE(VornMath::CollisionQuadQuad(kFloor, kFloorPlane, away, VornPlane{1, 0, 0, -5}));

    EXPECT_TRUE(VornMath::CollisionBoxBox(box, AxisBox(1, 1, 1, 3, 3, 3)));       // corners inside
    EXPECT_TRUE(VornMath::CollisionBoxBox(box, AxisBox(2, 0, 0, 4, 2, 2)));       // touching faces
    EXPECT_TRUE(VornMath::CollisionBoxBox(box, AxisBox(0.5f, 0.5f, 0.5f, 1, 1, 1)));   // inside
    EXPECT_TRUE(VornMath::CollisionBoxBox(AxisBox(0.5f, 0.5f, 0.5f, 1, 1, 1), box));   // enclosing
    EXPECT_FALSE(VornMath::CollisionBoxBox(box, AxisBox(2.1f, 0, 0, 4, 2, 2)));
    // A cross of two bars: no corner of either inside the other.
    EXPECT_TRUE(VornMath::CollisionBoxBox(AxisBox(-5, -1, -1, 5, 1, 1), AxisBox(-1, -5, -0.5f, 1, 5, 0.5f)));
    // Turned an eighth and apart along the diagonal: no face plane separates all corners.
    EXPECT_FALSE(VornMath::CollisionBoxBox(box, TurnedCube(8192, 4.0f, 4.0f, 0)));
    EXPECT_TRUE(VornMath::CollisionBoxBox(box, TurnedCube(8192, 3.3f, 1.0f, 1.0f)));
}

TEST_F(MathTest, ViewVolumeAgainstBoxes)
{
    VornMatrix view, projection, viewProjection, inverse;
    view.LookAt(D3DXVECTOR3(0, 0, -10), D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0));
    projection.PerspectiveFov(0.8f, 1.0f, 100.0f, 1.0f);
    viewProjection.Multiply(view, projection);
    inverse.Inverse(viewProjection);
    VornBox volume;
    VornMath::TransformBoxCoord(&volume, V3(-1, -1, 0), V3(1, 1, 1), inverse);
    ExpectVector(0, 0, -9, (volume.corner[0] + volume.corner[3]) * 0.5f, 1e-4f);   // near plane centre
    EXPECT_TRUE(VornMath::CollisionPointBox(V3(0, 0, 0), volume));
    EXPECT_FALSE(VornMath::CollisionPointBox(V3(0, 0, -11), volume));   // behind the camera

    EXPECT_TRUE(VornMath::CollisionFrustumBox(volume, AxisBox(-1, -1, -1, 1, 1, 1)));       // inside
    EXPECT_FALSE(VornMath::CollisionFrustumBox(volume, AxisBox(-1, -1, -15, 1, 1, -12)));   // behind
    EXPECT_FALSE(VornMath::CollisionFrustumBox(volume, AxisBox(50, -1, -1, 52, 1, 1)));     // beside
    // A bar across the whole view, none of its corners inside.
    EXPECT_TRUE(VornMath::CollisionFrustumBox(volume, AxisBox(-500, -0.1f, 5, 500, 0.1f, 6)));
    // A box lying across the far top-right corner of the volume, none of its corners inside.
    const V3 farCorner = volume.corner[7];
    const VornBox across = AxisBox(farCorner.x - 0.3f, farCorner.y - 0.3f, farCorner.z - 1, farCorner.x + 50, farCorner.y + 50, farCorner.z + 5);
    for (const V3& corner : across.corner)
        ASSERT_FALSE(VornMath::CollisionPointBox(corner, volume));
    EXPECT_TRUE(VornMath::CollisionFrustumBox(volume, across));
    // A box enclosing the whole volume is visible.
    EXPECT_TRUE(VornMath::CollisionFrustumBox(volume, AxisBox(-1000, -1000, -1000, 1000, 1000, 1000)));
}

// --- 2D ---

TEST(Collision2D, PointsAgainstPointsLinesRectsCirclesAndPolygons)
{
    EXPECT_TRUE(VornMath::CollisionPointPoint(V2(0, 0), V2(1.9f, 0)));
    EXPECT_FALSE(VornMath::CollisionPointPoint(V2(0, 0), V2(2, 0)));   // touching radius-1 circles
    const VornSegment2 line = {0, 0, 10, 0};
    EXPECT_TRUE(VornMath::CollisionPointLine(V2(5, 0.05f), line));
    EXPECT_TRUE(VornMath::CollisionPointLine(V2(10.05f, 0), line));
    EXPECT_FALSE(VornMath::CollisionPointLine(V2(5, 0.2f), line));
    EXPECT_FALSE(VornMath::CollisionPointLine(V2(10.2f, 0), line));
    const VornCollisionRect rect = {1, 2, 3, 4};
    EXPECT_TRUE(VornMath::CollisionPointRect(V2(1, 2), rect));   // edges inclusive
    EXPECT_TRUE(VornMath::CollisionPointRect(V2(3, 4), rect));
    EXPECT_FALSE(VornMath::CollisionPointRect(V2(3.01f, 3), rect));
    EXPECT_FALSE(VornMath::CollisionPointRect(V2(2, 1.99f), rect));
    const VornCircle circle = {1, 1, 5};
    EXPECT_TRUE(VornMath::CollisionPointCircle(V2(4, 5), circle));   // on the circle
    EXPECT_FALSE(VornMath::CollisionPointCircle(V2(4, 5.01f), circle));

    // Convex polygons of either winding.
    const Shape ccw{V2(0, 0), V2(4, 0), V2(0, 4)};
    const Shape cw{V2(0, 0), V2(0, 4), V2(4, 0)};
    for (const Shape* p : {&ccw, &cw}) {
        EXPECT_TRUE(VornMath::CollisionPointPolygon(V2(1, 1), p->polygon));
        EXPECT_TRUE(VornMath::CollisionPointPolygon(V2(2, 2), p->polygon));   // on an edge
        EXPECT_TRUE(VornMath::CollisionPointPolygon(V2(0, 0), p->polygon));   // a vertex
        EXPECT_FALSE(VornMath::CollisionPointPolygon(V2(2.1f, 2), p->polygon));
        EXPECT_FALSE(VornMath::CollisionPointPolygon(V2(-1, 1), p->polygon));
    }
    // Fewer than three edges, or no points: nothing is inside.
    V2 two[3] = {V2(0, 0), V2(4, 0), V2(0, 0)};
    EXPECT_FALSE(VornMath::CollisionPointPolygon(V2(1, 0), VornPolygon{3, two}));
    EXPECT_FALSE(VornMath::CollisionPointPolygon(V2(0, 0), VornPolygon{0, two}));
    EXPECT_FALSE(VornMath::CollisionPointPolygon(V2(0, 0), VornPolygon{5, nullptr}));
}

TEST(Collision2D, RectanglesAgainstRectanglesCirclesLinesAndPolygons)
{
    const VornCollisionRect rect = {0, 0, 4, 2};
    EXPECT_TRUE(VornMath::CollisionRectRect(rect, {3, 1, 6, 6}));
    EXPECT_TRUE(VornMath::CollisionRectRect(rect, {4, 2, 6, 6}));    // touching corners
    EXPECT_TRUE(VornMath::CollisionRectRect(rect, {1, 0.5f, 2, 1})); // inside
    EXPECT_FALSE(VornMath::CollisionRectRect(rect, {4.1f, 0, 6, 2}));
    EXPECT_FALSE(VornMath::CollisionRectRect(rect, {0, 2.1f, 4, 3}));

    EXPECT_TRUE(VornMath::CollisionRectCircle(rect, {2, 1, 0.1f}));   // centre inside
    EXPECT_TRUE(VornMath::CollisionRectCircle(rect, {5, 1, 1}));      // touching the right edge
    EXPECT_TRUE(VornMath::CollisionRectCircle(rect, {2, 1, 50}));     // rectangle inside the circle
    EXPECT_FALSE(VornMath::CollisionRectCircle(rect, {5, 4, 1}));     // near the corner, outside

    EXPECT_TRUE(VornMath::CollisionRectLine(rect, {-1, 1, 5, 1}));
    EXPECT_TRUE(VornMath::CollisionRectLine(rect, {-1, 3, 1, -1}));
    EXPECT_TRUE(VornMath::CollisionRectLine(rect, {1, 0.5f, 3, 1.5f}));   // wholly inside
    EXPECT_TRUE(VornMath::CollisionRectLine(rect, {4, 1, 6, 1}));         // starting on an edge
    EXPECT_FALSE(VornMath::CollisionRectLine(rect, {5, -1, 5, 3}));

    const Shape diamond{V2(5, 1), V2(6, 0), V2(7, 1), V2(6, 2)};
    EXPECT_FALSE(VornMath::CollisionRectPolygon(rect, diamond.polygon));
    const Shape overlapping{V2(3, 1), V2(6, 0), V2(7, 1), V2(6, 2)};
    EXPECT_TRUE(VornMath::CollisionRectPolygon(rect, overlapping.polygon));
}

TEST(Collision2D, CirclesAgainstCirclesLinesAndPolygons)
{
    EXPECT_FALSE(VornMath::CollisionCircleCircle({0, 0, 1}, {3, 0, 2}));   // touching
    EXPECT_TRUE(VornMath::CollisionCircleCircle({0, 0, 1}, {3, 0, 2.1f}));
    EXPECT_TRUE(VornMath::CollisionCircleCircle({0, 0, 5}, {1, 1, 1}));   // inside
    const VornSegment2 line = {0, 0, 10, 0};
    EXPECT_TRUE(VornMath::CollisionCircleLine({5, 3, 3}, line));    // touching
    EXPECT_FALSE(VornMath::CollisionCircleLine({5, 3, 2.9f}, line));
    EXPECT_TRUE(VornMath::CollisionCircleLine({5, 0, 0.5f}, line)); // centre on the segment
    EXPECT_TRUE(VornMath::CollisionCircleLine({13, 4, 5}, line));   // the end point is the nearest
    EXPECT_FALSE(VornMath::CollisionCircleLine({13, 4, 4.9f}, line));
    EXPECT_TRUE(VornMath::CollisionCircleLine({1, 1, 2}, {0, 0, 0, 0}));   // a zero-length segment
    EXPECT_FALSE(VornMath::CollisionCircleLine({3, 0, 2}, {0, 0, 0, 0}));
    const Shape square{V2(0, 0), V2(2, 0), V2(2, 2), V2(0, 2)};
    EXPECT_TRUE(VornMath::CollisionCirclePolygon({1, 1, 0.1f}, square.polygon));   // centre inside
    EXPECT_TRUE(VornMath::CollisionCirclePolygon({3, 1, 1}, square.polygon));      // touching an edge
    EXPECT_FALSE(VornMath::CollisionCirclePolygon({3, 3, 1}, square.polygon));
}

TEST(Collision2D, SegmentsAndPolygonsAgainstSegmentsAndPolygons)
{
    EXPECT_TRUE(VornMath::CollisionLineLine({0, 0, 4, 4}, {0, 4, 4, 0}));      // crossing
    EXPECT_TRUE(VornMath::CollisionLineLine({0, 0, 4, 0}, {2, 0, 2, 3}));      // touching (T)
    EXPECT_FALSE(VornMath::CollisionLineLine({0, 0, 4, 0}, {2, 0.1f, 2, 3}));
    EXPECT_FALSE(VornMath::CollisionLineLine({0, 0, 4, 0}, {5, -1, 5, 1}));    // beyond the end
    EXPECT_FALSE(VornMath::CollisionLineLine({0, 0, 4, 0}, {0, 1, 4, 1}));     // parallel
    EXPECT_TRUE(VornMath::CollisionLineLine({0, 0, 4, 0}, {3, 0, 6, 0}));      // collinear, overlapping
    EXPECT_TRUE(VornMath::CollisionLineLine({0, 0, 4, 0}, {4, 0, 6, 0}));      // collinear, end to end
    EXPECT_FALSE(VornMath::CollisionLineLine({0, 0, 4, 0}, {5, 0, 6, 0}));     // collinear, apart
    EXPECT_TRUE(VornMath::CollisionLineLine({1, 1, 1, 1}, {0, 0, 2, 2}));      // a point on the segment
    EXPECT_FALSE(VornMath::CollisionLineLine({0.5f, 0.8f, 0.5f, 0.8f}, {0, 0, 2, 2}));   // a point off it

    const Shape square{V2(0, 0), V2(2, 0), V2(2, 2), V2(0, 2)};
    EXPECT_TRUE(VornMath::CollisionLinePolygon({1, 1, 5, 5}, square.polygon));    // an end inside
    EXPECT_TRUE(VornMath::CollisionLinePolygon({-1, 1, 3, 1}, square.polygon));   // through
    EXPECT_TRUE(VornMath::CollisionLinePolygon({0.5f, 0.5f, 1.5f, 1.5f}, square.polygon));
    EXPECT_FALSE(VornMath::CollisionLinePolygon({3, 0, 3, 2}, square.polygon));

    const Shape inner{V2(0.5f, 0.5f), V2(1, 0.5f), V2(1, 1)};
    EXPECT_TRUE(VornMath::CollisionPolygonPolygon(square.polygon, inner.polygon));   // one inside the other
    EXPECT_TRUE(VornMath::CollisionPolygonPolygon(inner.polygon, square.polygon));
    const Shape crossing{V2(1, 1), V2(3, 1), V2(3, 3)};
    EXPECT_TRUE(VornMath::CollisionPolygonPolygon(square.polygon, crossing.polygon));
    const Shape touching{V2(2, 0), V2(4, 0), V2(4, 2)};
    EXPECT_TRUE(VornMath::CollisionPolygonPolygon(square.polygon, touching.polygon));
    // Bounding boxes overlap, shapes do not.
    const Shape a{V2(0, 0), V2(4, 0), V2(0, 4)};
    const Shape b{V2(4, 4), V2(4, 1), V2(1, 4)};
    EXPECT_FALSE(VornMath::CollisionPolygonPolygon(a.polygon, b.polygon));
    EXPECT_FALSE(VornMath::CollisionPolygonPolygon(a.polygon, VornPolygon{0, nullptr}));
}
