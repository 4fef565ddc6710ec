// VornPrimitive, VornPoint and VornLine on the device: capacity, clipping, depth sort, device reset.
#include "Draw2DFixture.h"
#include <cmath>

using namespace draw2dtest;

namespace {

constexpr float kNear = 0.25f * 65535.0f;
constexpr float kFar = 0.75f * 65535.0f;

// Pushes the two triangles covering [x0, x1) x [y0, y1).
bool PushSquare(VornPrimitiveHandle p, float x0, float y0, float x1, float y1, float z, uint32_t colour)
{
    const VornVertex2D a = V(x0, y0, z, colour), b = V(x1, y0, z, colour), c = V(x1, y1, z, colour),
                       d = V(x0, y1, z, colour);
    const VornVertex2D square[6] = {a, b, c, c, d, a};
    return VornPrimitive::PushPolygon(p, square, 2);
}

}  // namespace

TEST_F(Draw2D, CapacityStopsAtTheTriangleThatDoesNotFit)
{
    const VornPrimitiveHandle p = VornPrimitive::Create(5, 0, false);
    ASSERT_NE(VORN_INVALID_HANDLE, p);
    const VornVertex2D tri[3] = {V(10, 10), V(50, 10), V(10, 50)};
    // Of several triangles in one push, those before the one that does not fit stay. (A refused
    // triangle counted as requested is the perspective case's small batch.)
    EXPECT_FALSE(PushSquare(p, 10, 10, 50, 50, kDepth, 0xFFFF0000));
    EXPECT_EQ(3u, VornPrimitive::GetVertexCount(p));
    Draw<VornPrimitive>(p);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"first triangle", frame_.Hex(40, 15), Argb{0xFF0000}}, {"second, dropped", frame_.Hex(15, 40), Argb{0}},
                 {"push into no batch", VornPrimitive::PushPolygon(VORN_INVALID_HANDLE, tri, 1), false},
                 {"its requested count", VornPrimitive::GetRequestedVertexCount(VORN_INVALID_HANDLE), 0u});
}

// Mended: turning the scissor off through Vorn3D with no rectangle turns it off.
TEST_F(Draw2D, TriangleHalfOutsideTheScissorDrawsOnlyInsideAndOffWithoutARectangleClipsNothing)
{
    RECT scissor = {0, 0, 100, 100};
    Vorn3D::SetScissoring(true, &scissor);
    const VornPrimitiveHandle p = VornPrimitive::Create(30, 0, false);
    const VornVertex2D tri[3] = {V(60, 20, kDepth, 0xFFFF0000), V(140, 20, kDepth, 0xFF0000FF),
                                 V(60, 80, kDepth, 0xFFFF0000)};
    EXPECT_TRUE(VornPrimitive::PushPolygon(p, tri, 1));   // cut into two triangles
    // Wholly outside: nothing stored and nothing requested.
    EXPECT_TRUE(PushSquare(p, 120, 20, 140, 80, kDepth, 0xFFFFFFFF));
    EXPECT_NAMED({"stored", VornPrimitive::GetVertexCount(p), 6u}, {"requested", VornPrimitive::GetRequestedVertexCount(p), 6u});
    Draw<VornPrimitive>(p);
    ASSERT_TRUE(Frame());
    EXPECT_EQ((kSize - 100) * kSize, frame_.Count(100, 0, kSize, kSize, 0));   // nothing right of the edge
    // Up to the edge, the colour runs from red towards blue.
    EXPECT_GT(frame_.Rgb(61, 22) >> 16, 0xF0u);
    const uint32_t atEdge = frame_.Rgb(99, 22);
    EXPECT_TRUE((atEdge & 0xFF) > 0x60u && ((atEdge >> 16) & 0xFF) > 0x60u) << Argb{atEdge};

    Vorn3D::SetScissoring(false, nullptr);
    ASSERT_TRUE(NewScene());
    VornPrimitive::ResetBuffer(p);
    EXPECT_TRUE(PushSquare(p, 0, 0, kSize, kSize, kDepth, 0xFF00FF00));
    Draw<VornPrimitive>(p);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(kSize * kSize, frame_.Count(0, 0, kSize, kSize, 0x00FF00));
}

// Mended: a triangle behind the eye (or not finite) is never divided or mirrored; like a triangle
// outside a sorted batch's depth range it counts its three vertices as requested, stores nothing,
// and the push goes on.
TEST_F(Draw2D, PerspectiveDropsTrianglesItCannotPlace)
{
    Vorn3D::SetPerspective(true, kSize / 2.0f, kSize / 2.0f, 100.0f);
    const VornPrimitiveHandle plain = VornPrimitive::Create(30, 0, false);
    const VornPrimitiveHandle sorted = VornPrimitive::Create(30, 0, true);
    const VornVertex2D pushed[9] = {V(10, 10, 0.0f), V(200, 10, 0.0f), V(10, 200, 0.0f),   // behind
        V(100, 100, kDepth, 0xFF00FF00), V(140, 100, kDepth, 0xFF00FF00), V(100, 140, kDepth, 0xFF00FF00),
        V(10, 10), V(50, 10), V(10, std::nanf(""))};
    for (VornPrimitiveHandle p : {plain, sorted}) {
        SCOPED_TRACE(p == plain ? "plain" : "sorted");
        EXPECT_TRUE(VornPrimitive::PushPolygon(p, pushed, 3));
        EXPECT_NAMED({"stored", VornPrimitive::GetVertexCount(p), 3u}, {"requested", VornPrimitive::GetRequestedVertexCount(p), 9u});
    }
    // Dropped or not, a triangle is tested against the capacity first.
    const VornPrimitiveHandle small = VornPrimitive::Create(5, 0, false);
    EXPECT_EQ((std::vector<bool>{true, false}), (std::vector<bool>{VornPrimitive::PushPolygon(small, pushed + 3, 1), VornPrimitive::PushPolygon(small, pushed, 1)}));
    EXPECT_EQ(6u, VornPrimitive::GetRequestedVertexCount(small));
    Draw<VornPrimitive>(plain);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"white pixels", frame_.Count(0, 0, kSize, kSize, 0xFFFFFF), 0}, {"the placed triangle", frame_.Hex(105, 105), Argb{0x00FF00}});
}

TEST_F(Draw2D, SortedBatchDrawsFarFirstAndLaterPushesFirstWithinABucketAndAPlainOneInPushOrder)
{
    const VornPrimitiveHandle p = VornPrimitive::Create(60, 0, true), plain = VornPrimitive::Create(12, 0, false);
    ASSERT_NE(VORN_INVALID_HANDLE, p);
    // Left: near pushed before far. Right: two squares in one bucket, blue pushed before yellow.
    // Below, in the plain batch: near pushed before far again.
    PushSquare(plain, 20, 140, 60, 180, kNear, 0xFF00FF00);
    PushSquare(plain, 40, 160, 80, 200, kFar, 0xFFFF0000);
    // The last, of average depth 1.0, is not drawn.
    EXPECT_EQ(std::vector<bool>(5, true), (std::vector<bool>{PushSquare(p, 20, 20, 60, 60, kNear, 0xFF00FF00),
              PushSquare(p, 40, 40, 80, 80, kFar, 0xFFFF0000), PushSquare(p, 140, 20, 180, 60, kDepth, 0xFF0000FF),
              PushSquare(p, 160, 40, 200, 80, kDepth, 0xFFFFFF00), PushSquare(p, 0, 0, 256, 256, 65535.0f, 0xFFFFFFFF)}));
    EXPECT_NAMED({"stored", VornPrimitive::GetVertexCount(p), 24u}, {"requested", VornPrimitive::GetRequestedVertexCount(p), 30u});
    Draw<VornPrimitive>(p);
    Draw<VornPrimitive>(plain);
    ASSERT_TRUE(Frame());
    // The near square on top; in one bucket the earlier push on top; without sorting the later push.
    EXPECT_NAMED({"near over far", frame_.Hex(50, 50), Argb{0x00FF00}}, {"earlier push in a bucket", frame_.Hex(170, 50), Argb{0x0000FF}},
                 {"unsorted later push", frame_.Hex(50, 170), Argb{0xFF0000}}, {"white pixels", frame_.Count(0, 0, kSize, kSize, 0xFFFFFF), 0});

    // ResetBuffer forgets the last frame's buckets and counts.
    VornPrimitive::ResetBuffer(p);
    EXPECT_NAMED({"stored", VornPrimitive::GetVertexCount(p), 0u}, {"requested", VornPrimitive::GetRequestedVertexCount(p), 0u});
    PushSquare(p, 100, 100, 140, 140, kDepth, 0xFFFF00FF);
    ASSERT_TRUE(NewScene());
    Draw<VornPrimitive>(p);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"last frame's green", frame_.Count(0, 0, kSize, kSize, 0x00FF00), 0}, {"new square", frame_.Count(0, 0, kSize, kSize, 0xFF00FF), 40 * 40});
}

// Batches, lists and the immediate drawing's shared buffer all come back with the device.
TEST_F(Draw2D, StoredFramesSurviveADeviceReset)
{
    const VornPrimitiveHandle sorted = VornPrimitive::Create(6, 0, true);
    const VornPrimitiveHandle plain = VornPrimitive::Create(6, 0, false);
    const VornPointHandle p = VornPoint::Create(8);
    const VornLineHandle l = VornLine::Create(8);
    PushSquare(sorted, 10, 10, 50, 50, kDepth, 0xFFFF0000);
    PushSquare(plain, 100, 10, 140, 50, kDepth, 0xFF00FF00);
    const VornVertex2D point = V(20, 100, kDepth, 0xFF0000FF);
    const VornVertex2D ends[2] = {V(10, 160, kDepth, 0xFFFFFF00), V(60, 160, kDepth, 0xFFFFFF00)};
    VornPoint::PushPoint(p, &point, 1);
    VornLine::PushLine(l, ends, 1);
    for (VornPrimitiveHandle h : {sorted, plain}) VornPrimitive::UpdateBuffer(h);
    VornPoint::UpdateBuffer(p);
    VornLine::UpdateBuffer(l);
    Vorn3D::EndScene();
    Vorn3D::ResetDevice(true);
    ASSERT_TRUE(Vorn3D::BeginScene());
    Vorn3D::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    for (VornPrimitiveHandle h : {sorted, plain}) VornPrimitive::Rendering(h);
    VornPoint::Rendering(p);
    VornLine::Rendering(l);
    const VornVertex2D strip[2] = {V(10, 200, 0, 0xFFFFFFFF), V(60, 200, 0, 0xFFFFFFFF)};
    EXPECT_TRUE(VornSimple::DrawLineStrip(strip, 2));
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"sorted batch", frame_.Count(0, 0, kSize, kSize, 0xFF0000), 40 * 40}, {"plain batch", frame_.Count(0, 0, kSize, kSize, 0x00FF00), 40 * 40},
                 {"point", frame_.Hex(20, 100), Argb{0x0000FF}});
    EXPECT_NEAR(50, frame_.Count(0, 155, kSize, 165, 0xFFFF00), 1);
    EXPECT_NEAR(50, frame_.Count(0, 195, kSize, 205, 0xFFFFFF), 1);
}

// A rectangle pushed straight into the batch stores the bytes, counts and refusals that its four
// corners pushed as a quad store, whatever the vertex type, transform, scissor, capacity or corner
// values (each type's rectangle writer against its copy of whole vertices).
TEST_F(Draw2D, PushRectStoresWhatPushQuadOfItsCornersStores)
{
    const VornRectUV uv[4] = {{0.1f, 0.2f, 0.3f, 0.4f}, {1.1f, 1.2f, 1.3f, 1.4f}, {2.1f, 2.2f, 2.3f, 2.4f}, {3.1f, 3.2f, 3.3f, 3.4f}};
    RECT cut = {0, 0, 40, 40}, whole = {0, 0, kSize, kSize};
    const struct {
        bool perspective, zoom;
        RECT* scissor;
        float x0;
    } cases[] = {{false, false, nullptr, 10.5f}, {true, true, nullptr, 10.5f}, {true, false, &whole, 10.5f},
                 {false, true, &cut, 10.5f}, {false, false, nullptr, NAN}, {true, false, nullptr, -INFINITY}};
    for (uint32_t type = 0; type <= 4; ++type) {
        for (const auto& c : cases) {
            SCOPED_TRACE("type " + std::to_string(type) + (c.perspective ? ", perspective" : "") + (c.zoom ? ", zoom" : "") +
                         (c.scissor ? ", scissor" : "") + ", x0 " + std::to_string(c.x0));
            Vorn3D::SetPerspective(c.perspective, 100, 90, 100);
            Vorn3D::SetZoom(c.zoom, 30, 20, 1.5f);
            Vorn3D::SetScissoring(c.scissor != nullptr, c.scissor);
            const VornPrimitiveHandle quads = VornPrimitive::Create(9, type, false), rects = VornPrimitive::Create(9, type, false);
            for (float z : {kNear, kFar}) {   // the second does not fit in 9 vertices
                const float x[2] = {c.x0, 60.25f}, y[2] = {15, 50};
                VornVertex2D q[4];
                for (uint32_t k = 0; k < 4; ++k) {
                    const bool right = k == 1 || k == 2, bottom = k >= 2;
                    q[k] = V(x[right], y[bottom], z, 0xFF102030);
                    for (uint32_t s = 0; s < 4; ++s) q[k].tex[s] = {right ? uv[s].uR : uv[s].uL, bottom ? uv[s].vB : uv[s].vT};
                }
                EXPECT_EQ(VornPrimitive::PushQuad(quads, q), VornPrimitive::PushRect(rects, x[0], y[0], x[1], y[1], z, 0xFF102030, uv)) << "z " << z;
            }
            const uint32_t count = VornPrimitive::GetVertexCount(quads);
            EXPECT_NAMED({"stored", VornPrimitive::GetVertexCount(rects), count},
                         {"requested", VornPrimitive::GetRequestedVertexCount(rects), VornPrimitive::GetRequestedVertexCount(quads)});
            EXPECT_BYTES_EQ(VornPrimitive::GetVertexData(quads), VornPrimitive::GetVertexData(rects), count * VornVertexStride2D(type));
        }
    }
}

TEST_F(Draw2D, PointListHoldsOneLessThanItsCapacityAndLineListOneLineForFour)
{
    const VornPointHandle p = VornPoint::Create(4);
    const VornLineHandle l = VornLine::Create(4);
    ASSERT_NE(VORN_INVALID_HANDLE, p);
    const VornVertex2D v[4] = {V(10, 10, kDepth, 0xFFFF0000), V(20, 10, kDepth, 0xFFFF0000),
                               V(30, 10, kDepth, 0xFFFF0000), V(40, 10, kDepth, 0xFFFF0000)};
    EXPECT_EQ((std::vector<bool>{true, false, true, false}), (std::vector<bool>{VornPoint::PushPoint(p, v, 3), VornPoint::PushPoint(p, v + 3, 1),
                                                                           VornLine::PushLine(l, v, 1), VornLine::PushLine(l, v + 2, 1)}));
    EXPECT_NAMED({"points", VornPoint::GetVertexCount(p), 3u}, {"line ends", VornLine::GetVertexCount(l), 2u});
    Draw<VornPoint>(p);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"red pixels", frame_.Count(0, 0, kSize, kSize, 0xFF0000), 3}, {"third point", frame_.Hex(30, 10), Argb{0xFF0000}},
                 {"refused fourth", frame_.Hex(40, 10), Argb{0}});
}

TEST_F(Draw2D, ScissorKeepsPointsOnItsEdgeAndCutsLinesThere)
{
    RECT scissor = {0, 0, 100, 100};
    Vorn3D::SetScissoring(true, &scissor);
    const VornPointHandle p = VornPoint::Create(3);
    const VornVertex2D beyond = V(100.1f, 50), onEdge = V(100, 50), inside = V(50, 50);
    EXPECT_TRUE(VornPoint::PushPoint(p, &beyond, 1));   // skipped without using capacity: room for the next two
    const bool edgePushed = VornPoint::PushPoint(p, &onEdge, 1), insidePushed = VornPoint::PushPoint(p, &inside, 1);
    EXPECT_NAMED({"on the edge", edgePushed, true}, {"inside", insidePushed, true}, {"points stored", VornPoint::GetVertexCount(p), 2u});

    const VornLineHandle l = VornLine::Create(8);
    const VornVertex2D crossing[2] = {V(50, 80, kDepth, 0xFF000000), V(150, 80, kDepth, 0xFFFF0000)};
    const VornVertex2D leftOf[2] = {V(-50, 10, kDepth, 0xFFFFFFFF), V(-10, 90, kDepth, 0xFFFFFFFF)};
    const bool crossingPushed = VornLine::PushLine(l, crossing, 1), leftPushed = VornLine::PushLine(l, leftOf, 1);
    EXPECT_NAMED({"crossing line", crossingPushed, true}, {"line left of it", leftPushed, true}, {"ends stored", VornLine::GetVertexCount(l), 2u});
    Draw<VornLine>(l);
    ASSERT_TRUE(Frame());
    // Row 80's lit pixels and the rightmost of them.
    int rightmost = kSize - 1;
    while (rightmost >= 0 && frame_.Rgb(rightmost, 80) == 0) --rightmost;
    EXPECT_NEAR(99, rightmost, 1);
    EXPECT_NEAR(50, kSize - frame_.Count(0, 80, kSize, 81, 0), 1);
    // The colour at the cut is halfway from black to red.
    EXPECT_NEAR(0x7F, static_cast<int>(frame_.Rgb(rightmost, 80) >> 16), 4);
}
