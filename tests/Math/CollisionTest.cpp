// Collision tests, each at touching, inside, outside and its degenerate inputs.
#include "MathFixture.h"
#include "VornCollision.h"
#include "VornMatrix.h"
#include <cmath>
#include <initializer_list>
#include <vector>

using vorntest::Rows;
using vorntest::MathTest;
using V2 = VornVector2;
using V3 = VornVector3;

namespace {

// The box (x0, y0, z0)-(x1, y1, z1) moved by m.
VornBox AxisBox(float x0, float y0, float z0, float x1, float y1, float z1, const VornMatrix& m = VornMatrix())
{
    VornBox box;
    VornMath::TransformBox(&box, V3(x0, y0, z0), V3(x1, y1, z1), m);
    return box;
}

// The cube (-1, -1, -1)-(1, 1, 1) turned by z about z, then moved.
VornBox TurnedCube(VornAngle z, float x, float y, float zOffset)
{
    return AxisBox(-1, -1, -1, 1, 1, 1, VornMatrix().RotationZ(z).MultiplySelf(VornMatrix().Translation(x, y, zOffset)));
}

VornSegment3 Seg(float x0, float y0, float z0, float x1, float y1, float z1) { return {V3(x0, y0, z0), V3(x1, y1, z1)}; }

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

TEST(Collision3D, SpheresPointsSegmentsAndPlanes)
{
    using SS = std::pair<VornSphere, VornSphere>;   // touching, crossing, inside, two points
    EXPECT_TRUE(Rows<SS>([](const SS& s) { return VornMath::CollisionSphereSphere(s.first, s.second); },
                   {{false, {VornSphere(0, 0, 0, 1), VornSphere(3, 0, 0, 2)}}, {true, {VornSphere(0, 0, 0, 1), VornSphere(3, 0, 0, 2.1f)}},
                    {true, {VornSphere(1, 1, 1, 0.5f), VornSphere(1, 1, 1, 3)}}, {false, {VornSphere(0, 0, 0, 0), VornSphere(0, 0, 0, 0)}}}));
    const VornSphere s(V3(0, 0, 0), 2.0f);
    EXPECT_TRUE(Rows<V3>([&](const V3& p) { return VornMath::CollisionPointSphere(p, s); }, {{false, V3(0, 2, 0)}, {true, V3(0, 1.99f, 0)}}));
    EXPECT_TRUE(Rows<V3>([](const V3& p) { return VornMath::CollisionPointPoint3D(V3(1, 2, 3), p); },
                   {{true, V3(1, 2, 3)}, {false, V3(1, 2, 3.0000002f)}}));
    VornPlane p;
    VornMath::PlaneFromPoints(&p, V3(0, 0, 5), V3(1, 0, 5), V3(0, 1, 5));
    EXPECT_NAMED({"a", p.a, 0.0f}, {"b", p.b, 0.0f}, {"c", p.c, 1.0f}, {"d", p.d, -5.0f});
    VornMath::PlaneFromPointNormal(&p, V3(1, 2, 3), V3(0, 2, 0));   // n as given
    EXPECT_NAMED({"b", p.b, 2.0f}, {"d", p.d, -4.0f});
    const VornSegment3 seg = Seg(-5, 0, 0, 5, 0, 0), point = Seg(0, 0, 0, 0, 0, 0);
    using SG = std::pair<VornSphere, VornSegment3>;
    // Touching the middle, just apart; an end inside, touching an end; on the line and near it,
    // beyond; the centre on the segment (given either way round); a zero-length segment is a point.
    EXPECT_TRUE(Rows<SG>([](const SG& c) { return VornMath::CollisionSphereSegment(c.first, c.second); },
                   {{true, {VornSphere(0, 2, 0, 2), seg}}, {false, {VornSphere(0, 2, 0, 1.9f), seg}},
                    {true, {VornSphere(5.5f, 0, 0, 1), seg}}, {false, {VornSphere(6, 0, 0, 1), seg}},
                    {false, {VornSphere(8, 0, 0, 1), seg}}, {false, {VornSphere(7, 1, 0, 1.5f), seg}},
                    {true, {VornSphere(0, 0, 0, 0.5f), seg}}, {true, {VornSphere(1, 2, 3, 0.01f), Seg(2, 4, 6, 0, 0, 0)}},
                    {true, {VornSphere(0, 0.5f, 0, 1), point}}, {false, {VornSphere(0, 2, 0, 1), point}}}));
    EXPECT_TRUE(Rows<V3>([&](const V3& p) { return VornMath::CollisionPointSegment(p, seg); }, {{true, V3(1, 0.5f, 0)}, {false, V3(1, 1.5f, 0)}}));   // radius 1
}

TEST_F(MathTest, PointInBoxReportsTheFacesItIsOutside)
{
    const VornBox box = AxisBox(-1, -1, -1, 1, 1, 1);
    EXPECT_VECTOR(1, -1, 1, box.corner[5], 0);   // bit 0 x max, bit 1 y max, bit 2 z max
    // Inside, on a face, on a corner; then outside one face or three.
    EXPECT_TRUE((Rows<V3, uint32_t>([&](const V3& p) { return VornMath::IsPointInBox(p, box); },
                             {{0, V3(0, 0, 0)}, {0, V3(1, 0, 0)}, {0, V3(1, 1, -1)}, {1u << 0, V3(0, 0, -2)}, {1u << 1, V3(0, 0, 2)},
                              {1u << 2, V3(-2, 0, 0)}, {1u << 3, V3(2, 0, 0)}, {1u << 4, V3(0, 2, 0)}, {1u << 5, V3(0, -2, 0)},
                              {(1u << 3) | (1u << 4) | (1u << 1), V3(2, 2, 2)}})));
    // Turned a quarter about y and moved: the box's x extent now lies along world z.
    const VornBox turned = AxisBox(-3, -1, -1, 3, 1, 1, VornMatrix().RotationY(16384).MultiplySelf(VornMatrix().Translation(10, 0, 0)));
    using PB = std::pair<V3, VornBox>;
    EXPECT_TRUE(Rows<PB>([](const PB& c) { return VornMath::CollisionPointBox(c.first, c.second); },
                         {{true, {V3(0.5f, -0.5f, 0.99f), box}}, {false, {V3(0.5f, -0.5f, 1.01f), box}},
                          {true, {V3(10, 0, 2.5f), turned}}, {false, {V3(12.5f, 0, 0), turned}}}));
}

TEST(Collision3D, SegmentsAgainstPlanesQuadsAndTriangles)
{
    // The point each test writes. The plane: a crossing; both ends above, both below; an end on the
    // plane; both ends in the plane, which the segment meets at its start. A quad and a triangle on
    // the floor: through, and beside (written although the test failed). A miss of the plane, or
    // both ends on one side, leaves the point as it was.
    using Hit = bool (*)(const VornSegment3&, V3*);
    const Hit plane = [](const VornSegment3& s, V3* at) { return VornMath::CollisionSegmentPlane(at, kFloorPlane, s.start, s.end); };
    const Hit quad = [](const VornSegment3& s, V3* at) { return VornMath::CollisionSegmentQuad(s, kFloor, kFloorPlane, at); };
    const Hit triangle = [](const VornSegment3& s, V3* at) { return VornMath::CollisionSegmentTriangle(s, kFloorPlane, kTriangle, at); };
    const struct { Hit test; VornSegment3 s; bool hit; V3 at; } points[] = {
        {plane, Seg(1, 2, -1, 3, 2, 3), true, V3(1.5f, 2, 0)}, {plane, Seg(1, 2, 1, 3, 2, 3), false, V3(9, 9, 9)},
        {plane, Seg(1, 2, -1, 3, 2, -3), false, V3(9, 9, 9)}, {plane, Seg(4, 5, 6, 7, 8, 0), true, V3(7, 8, 0)},
        {plane, Seg(1, 1, 0, 5, -2, 0), true, V3(1, 1, 0)}, {quad, Seg(1, 1, 1, 1, 1, -1), true, V3(1, 1, 0)},
        {quad, Seg(3, 1, 1, 3, 1, -1), false, V3(3, 1, 0)}, {quad, Seg(1, 1, 1, 1, 1, 0.5f), false, V3(9, 9, 9)},
        {triangle, Seg(0.5f, 0.5f, 1, 0.5f, 0.5f, -3), true, V3(0.5f, 0.5f, 0)},
        {triangle, Seg(1.5f, 1.5f, 1, 1.5f, 1.5f, -1), false, V3(1.5f, 1.5f, 0)}};
    for (const auto& c : points) {
        SCOPED_TRACE(testing::Message() << "row " << &c - points << " " << testing::PrintToString(c.s));
        V3 hit(9, 9, 9);
        EXPECT_EQ(c.hit, c.test(c.s, &hit));
        EXPECT_VECTOR(c.at.x, c.at.y, c.at.z, hit, 0);
    }
    // On an edge, an end on the floor; quads facing x and y are projected on the other two axes.
    // Quad 0 is the floor, 1 a wall facing x, 2 a wall facing y.
    static const std::pair<VornQuad, VornPlane> quads[] = {
        {kFloor, kFloorPlane},
        {{{V3(1, 0, 0), V3(1, 2, 0), V3(1, 2, 2), V3(1, 0, 2)}}, {-1, 0, 0, 1}},
        {{{V3(0, 3, 0), V3(0, 3, 2), V3(2, 3, 2), V3(2, 3, 0)}}, {0, 1, 0, -3}}};
    using SQ = std::pair<VornSegment3, int>;
    EXPECT_TRUE(Rows<SQ>([](const SQ& c) { return VornMath::CollisionSegmentQuad(c.first, quads[c.second].first, quads[c.second].second, nullptr); },
                         {{true, {Seg(2, 1, 1, 2, 1, -1), 0}}, {true, {Seg(0.5f, 0.5f, 1, 0.5f, 0.5f, 0), 0}},
                          {true, {Seg(0, 1, 1, 2, 1, 1), 1}}, {false, {Seg(0, 3, 1, 2, 3, 1), 1}},
                          {false, {Seg(0, 1, 2.5f, 2, 1, 2.5f), 1}}, {true, {Seg(1, 0, 1, 1, 5, 1), 2}},
                          {false, {Seg(-1, 0, 1, -1, 5, 1), 2}}}));

    // On the long edge; an end on the plane is no crossing here (product 0); both ends above.
    EXPECT_TRUE(Rows<VornSegment3>([](const VornSegment3& s) { return VornMath::CollisionSegmentTriangle(s, kFloorPlane, kTriangle, nullptr); },
                             {{true, Seg(1, 1, 1, 1, 1, -1)}, {false, Seg(0.5f, 0.5f, 1, 0.5f, 0.5f, 0)}, {false, Seg(0.5f, 0.5f, 1, 0.5f, 0.5f, 2)}}));
}

TEST(Collision3D, LineAgainstTriangleFromEitherSide)
{
    float t = 0, u = 0, v = 0;
    // From above, from below; t is not limited to the segment; from the plane.
    const struct { VornSegment3 line; float t, u, v; } hits[] = {
        {Seg(0.5f, 0.5f, 3, 0.5f, 0.5f, -1), 3.0f, 0.25f, 0.25f}, {Seg(0.5f, 1.0f, -2, 0.5f, 1.0f, 10), 2.0f, 0.25f, 0.5f},
        {Seg(0.5f, 0.5f, 3, 0.5f, 0.5f, 2.5f), 3.0f, 0.25f, 0.25f}, {Seg(0.5f, 0.5f, 0, 3.5f, 0.5f, 4), 0.0f, 0.25f, 0.25f}};
    for (const auto& h : hits) {
        SCOPED_TRACE(testing::Message() << "row " << &h - hits << " " << testing::PrintToString(h.line));
        ASSERT_TRUE(VornMath::CollisionLineTriangle(h.line, kTriangle, &t, &u, &v));
        EXPECT_NAMED({"t", t, h.t}, {"u", u, h.u}, {"v", v, h.v});
    }
    // Beside; parallel to the triangle; no direction.
    const VornSegment3 misses[] = {Seg(1.5f, 1.5f, 3, 1.5f, 1.5f, -1), Seg(-0.5f, 0.5f, 3, -0.5f, 0.5f, -1), Seg(0, 0, 1, 1, 0, 1),
                                   Seg(0, 0.5f, 0, 1, 0.5f, 0), Seg(0.5f, 0.5f, 0, 0.5f, 0.5f, 0), Seg(0.5f, 0.5f, 3, 0.5f, 0.5f, 3)};
    for (const VornSegment3& m : misses) EXPECT_FALSE(VornMath::CollisionLineTriangle(m, kTriangle, &t, &u, &v)) << testing::PrintToString(m);
}

TEST_F(MathTest, SegmentsQuadsAndBoxesAgainstBoxesAndQuads)
{
    const VornBox box = AxisBox(0, 0, 0, 2, 2, 2);
    // An end inside, straight through, ending on a face, diagonally with no end inside; beside,
    // below, a point outside.
    EXPECT_TRUE(Rows<VornSegment3>([&](const VornSegment3& s) { return VornMath::CollisionSegmentBox(s, box); },
                             {{true, Seg(1, 1, 1, 5, 5, 5)}, {true, Seg(-1, 1, 1, 3, 1, 1)}, {true, Seg(-1, 1, 1, 0, 1, 1)},
                              {true, Seg(-1, -1, 1, 3, 3, 1)}, {false, Seg(-1, 3, 1, 3, 3, 1)}, {false, Seg(-1, -1, 1, 1, -3, 1)},
                              {false, Seg(5, 5, 5, 5, 5, 5)}}));

    const VornQuad wall = {{V3(1, 1, -1), V3(1, 1, 1), V3(1, -1, 1), V3(1, -1, -1)}};
    const VornQuad high = {{V3(0, 0, 1), V3(2, 0, 1), V3(2, 2, 1), V3(0, 2, 1)}};
    const VornQuad away = {{V3(5, 1, -1), V3(5, 1, 1), V3(5, -1, 1), V3(5, -1, -1)}};
    const VornPlane wallPlane = {1, 0, 0, -1};
    // Crossing (either way round), parallel, apart.
    EXPECT_NAMED({"floor, wall", VornMath::CollisionQuadQuad(kFloor, kFloorPlane, wall, wallPlane), true},
                 {"wall, floor", VornMath::CollisionQuadQuad(wall, wallPlane, kFloor, kFloorPlane), true},
                 {"floor, parallel above", VornMath::CollisionQuadQuad(kFloor, kFloorPlane, high, VornPlane{0, 0, 1, -1}), false},
                 {"floor, wall apart", VornMath::CollisionQuadQuad(kFloor, kFloorPlane, away, VornPlane{1, 0, 0, -5}), false});

    // Corners inside, touching faces, inside, enclosing, apart; a cross of two bars (no corner of
    // either inside the other); turned an eighth, apart along the diagonal (no face plane
    // separates all corners) and overlapping.
    using BB = std::pair<VornBox, VornBox>;
    const VornBox small = AxisBox(0.5f, 0.5f, 0.5f, 1, 1, 1);
    EXPECT_TRUE(Rows<BB>([](const BB& b) { return VornMath::CollisionBoxBox(b.first, b.second); },
                   {{true, {box, AxisBox(1, 1, 1, 3, 3, 3)}}, {true, {box, AxisBox(2, 0, 0, 4, 2, 2)}}, {true, {box, small}},
                    {true, {small, box}}, {false, {box, AxisBox(2.1f, 0, 0, 4, 2, 2)}},
                    {true, {AxisBox(-5, -1, -1, 5, 1, 1), AxisBox(-1, -5, -0.5f, 1, 5, 0.5f)}},
                    {false, {box, TurnedCube(8192, 4.0f, 4.0f, 0)}}, {true, {box, TurnedCube(8192, 3.3f, 1.0f, 1.0f)}}}));
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
    EXPECT_VECTOR(0, 0, -9, (volume.corner[0] + volume.corner[3]) * 0.5f, 1e-4f);   // near plane centre
    const float farHalf = 100.0f * std::tan(0.4f);   // the far top-right corner, at distance 100
    EXPECT_VECTOR(farHalf, farHalf, 90, volume.corner[7], 1e-2f);
    EXPECT_NAMED({"the origin inside", VornMath::CollisionPointBox(V3(0, 0, 0), volume), true},
                 {"behind the camera inside", VornMath::CollisionPointBox(V3(0, 0, -11), volume), false});

    // A box lying across the far top-right corner of the volume, none of its corners inside.
    const V3 farCorner = volume.corner[7];
    const VornBox across = AxisBox(farCorner.x - 0.3f, farCorner.y - 0.3f, farCorner.z - 1, farCorner.x + 50, farCorner.y + 50, farCorner.z + 5);
    for (const V3& corner : across.corner) ASSERT_FALSE(VornMath::CollisionPointBox(corner, volume)) << "corner " << &corner - across.corner;
    // Inside, behind, beside; a bar across the whole view (none of its corners inside), the box
    // across the corner and a box enclosing the whole volume are visible.
    EXPECT_TRUE(Rows<VornBox>([&](const VornBox& b) { return VornMath::CollisionFrustumBox(volume, b); },
                        {{true, AxisBox(-1, -1, -1, 1, 1, 1)}, {false, AxisBox(-1, -1, -15, 1, 1, -12)}, {false, AxisBox(50, -1, -1, 52, 1, 1)},
                         {true, AxisBox(-500, -0.1f, 5, 500, 0.1f, 6)}, {true, across}, {true, AxisBox(-1000, -1000, -1000, 1000, 1000, 1000)}}));
}

// --- 2D ---

TEST(Collision2D, PointsAndRectanglesAgainstEveryShape)
{
    // Touching radius-1 circles do not collide; lines are 0.1 thick; rectangle edges and the circle
    // itself count as inside.
    EXPECT_TRUE(Rows<V2>([](const V2& p) { return VornMath::CollisionPointPoint(V2(0, 0), p); }, {{true, V2(1.9f, 0)}, {false, V2(2, 0)}}));
    EXPECT_TRUE(Rows<V2>([](const V2& p) { return VornMath::CollisionPointLine(p, {0, 0, 10, 0}); },
                   {{true, V2(5, 0.05f)}, {true, V2(10.05f, 0)}, {false, V2(5, 0.2f)}, {false, V2(10.2f, 0)}}));
    EXPECT_TRUE(Rows<V2>([](const V2& p) { return VornMath::CollisionPointRect(p, {1, 2, 3, 4}); },
                   {{true, V2(1, 2)}, {true, V2(3, 4)}, {false, V2(3.01f, 3)}, {false, V2(2, 1.99f)}}));
    EXPECT_TRUE(Rows<V2>([](const V2& p) { return VornMath::CollisionPointCircle(p, {1, 1, 5}); }, {{true, V2(4, 5)}, {false, V2(4, 5.01f)}}));
    // Convex polygons of either winding: inside, on an edge, a vertex; outside.
    const Shape ccw{V2(0, 0), V2(4, 0), V2(0, 4)}, cw{V2(0, 0), V2(0, 4), V2(4, 0)};
    for (const Shape* p : {&ccw, &cw})
        EXPECT_TRUE(Rows<V2>([&](const V2& q) { return VornMath::CollisionPointPolygon(q, p->polygon); },
                       {{true, V2(1, 1)}, {true, V2(2, 2)}, {true, V2(0, 0)}, {false, V2(2.1f, 2)}, {false, V2(-1, 1)}}))
            << (p == &ccw ? "counter-clockwise" : "clockwise");
    // Fewer than three edges, or no points: nothing is inside.
    V2 two[3] = {V2(0, 0), V2(4, 0), V2(0, 0)};
    EXPECT_NAMED({"two edges", VornMath::CollisionPointPolygon(V2(1, 0), VornPolygon{3, two}), false},
                 {"no points", VornMath::CollisionPointPolygon(V2(0, 0), VornPolygon{0, two}), false},
                 {"null points", VornMath::CollisionPointPolygon(V2(0, 0), VornPolygon{5, nullptr}), false});
    const VornCollisionRect rect = {0, 0, 4, 2};
    // Overlapping, touching corners, inside; apart.
    EXPECT_TRUE(Rows<VornCollisionRect>([&](const VornCollisionRect& r) { return VornMath::CollisionRectRect(rect, r); },
                                  {{true, {3, 1, 6, 6}}, {true, {4, 2, 6, 6}}, {true, {1, 0.5f, 2, 1}}, {false, {4.1f, 0, 6, 2}}, {false, {0, 2.1f, 4, 3}}}));
    // Centre inside, touching the right edge, the rectangle inside the circle; near the corner, outside.
    EXPECT_TRUE(Rows<VornCircle>([&](const VornCircle& c) { return VornMath::CollisionRectCircle(rect, c); },
                           {{true, {2, 1, 0.1f}}, {true, {5, 1, 1}}, {true, {2, 1, 50}}, {false, {5, 4, 1}}}));
    // Across, diagonally, wholly inside, starting on an edge; beside.
    EXPECT_TRUE(Rows<VornSegment2>([&](const VornSegment2& l) { return VornMath::CollisionRectLine(rect, l); },
                             {{true, {-1, 1, 5, 1}}, {true, {-1, 3, 1, -1}}, {true, {1, 0.5f, 3, 1.5f}}, {true, {4, 1, 6, 1}}, {false, {5, -1, 5, 3}}}));
    const Shape diamond{V2(5, 1), V2(6, 0), V2(7, 1), V2(6, 2)}, overlapping{V2(3, 1), V2(6, 0), V2(7, 1), V2(6, 2)};
    EXPECT_NAMED({"diamond", VornMath::CollisionRectPolygon(rect, diamond.polygon), false}, {"overlapping", VornMath::CollisionRectPolygon(rect, overlapping.polygon), true});
}

TEST(Collision2D, CirclesSegmentsAndPolygonsAgainstThemselvesAndEachOther)
{
    // Touching, crossing, inside.
    EXPECT_TRUE(Rows<VornCircle>([](const VornCircle& c) { return VornMath::CollisionCircleCircle({0, 0, 1}, c); },
                           {{false, {3, 0, 2}}, {true, {3, 0, 2.1f}}}));
    EXPECT_TRUE(VornMath::CollisionCircleCircle({0, 0, 5}, {1, 1, 1}));
    // Touching, just apart, centre on the segment; the end point is the nearest.
    EXPECT_TRUE(Rows<VornCircle>([](const VornCircle& c) { return VornMath::CollisionCircleLine(c, {0, 0, 10, 0}); },
                           {{true, {5, 3, 3}}, {false, {5, 3, 2.9f}}, {true, {5, 0, 0.5f}}, {true, {13, 4, 5}}, {false, {13, 4, 4.9f}}}));
    EXPECT_TRUE(Rows<VornCircle>([](const VornCircle& c) { return VornMath::CollisionCircleLine(c, {0, 0, 0, 0}); },   // a zero-length segment
                           {{true, {1, 1, 2}}, {false, {3, 0, 2}}}));
    const Shape square{V2(0, 0), V2(2, 0), V2(2, 2), V2(0, 2)};
    // Centre inside, touching an edge; apart.
    EXPECT_TRUE(Rows<VornCircle>([&](const VornCircle& c) { return VornMath::CollisionCirclePolygon(c, square.polygon); },
                           {{true, {1, 1, 0.1f}}, {true, {3, 1, 1}}, {false, {3, 3, 1}}}));
    // Crossing, touching (T), just apart, beyond the end, parallel; collinear overlapping, end to
    // end and apart.
    EXPECT_TRUE(Rows<VornSegment2>([](const VornSegment2& l) { return VornMath::CollisionLineLine({0, 0, 4, 0}, l); },
                             {{true, {2, 0, 2, 3}}, {false, {2, 0.1f, 2, 3}}, {false, {5, -1, 5, 1}}, {false, {0, 1, 4, 1}},
                              {true, {3, 0, 6, 0}}, {true, {4, 0, 6, 0}}, {false, {5, 0, 6, 0}}}));
    // A point on the segment and off it.
    EXPECT_TRUE(Rows<VornSegment2>([](const VornSegment2& l) { return VornMath::CollisionLineLine(l, {0, 0, 2, 2}); },
                             {{true, {1, 1, 1, 1}}, {false, {0.5f, 0.8f, 0.5f, 0.8f}}}));
    EXPECT_TRUE(VornMath::CollisionLineLine({0, 0, 4, 4}, {0, 4, 4, 0}));

    // An end inside, through, wholly inside; beside.
    EXPECT_TRUE(Rows<VornSegment2>([&](const VornSegment2& l) { return VornMath::CollisionLinePolygon(l, square.polygon); },
                             {{true, {1, 1, 5, 5}}, {true, {-1, 1, 3, 1}}, {true, {0.5f, 0.5f, 1.5f, 1.5f}}, {false, {3, 0, 3, 2}}}));

    // One inside the other (both ways), crossing, touching; bounding boxes overlapping, shapes not;
    // no points.
    const Shape inner{V2(0.5f, 0.5f), V2(1, 0.5f), V2(1, 1)}, crossing{V2(1, 1), V2(3, 1), V2(3, 3)}, touching{V2(2, 0), V2(4, 0), V2(4, 2)};
    const Shape a{V2(0, 0), V2(4, 0), V2(0, 4)}, b{V2(4, 4), V2(4, 1), V2(1, 4)};
    using PP = std::pair<VornPolygon, VornPolygon>;
    EXPECT_TRUE(Rows<PP>([](const PP& p) { return VornMath::CollisionPolygonPolygon(p.first, p.second); },
                   {{true, {square.polygon, inner.polygon}}, {true, {inner.polygon, square.polygon}}, {true, {square.polygon, crossing.polygon}},
                    {true, {square.polygon, touching.polygon}}, {false, {a.polygon, b.polygon}}, {false, {a.polygon, VornPolygon{0, nullptr}}}}));
}
