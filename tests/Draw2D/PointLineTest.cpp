// VornPoint and VornLine: capacity, scissor, cutting, drawing.
#include "Draw2DFixture.h"
#include <tuple>

using namespace draw2dtest;

namespace {
constexpr float kDepth = 32767.0f;
}

TEST_F(Draw2D, PointListHoldsOneLessThanItsCapacityAndLineListOneLineForFour)
{
    const VornPointHandle p = VornPoint::Create(4);
    const VornLineHandle l = VornLine::Create(4);
    ASSERT_NE(VORN_INVALID_HANDLE, p);
    const VornVertex2D v[4] = {V(10, 10, kDepth, 0xFFFF0000), V(20, 10, kDepth, 0xFFFF0000),
                               V(30, 10, kDepth, 0xFFFF0000), V(40, 10, kDepth, 0xFFFF0000)};
    EXPECT_TRUE(VornPoint::PushPoint(p, v, 3));
    EXPECT_FALSE(VornPoint::PushPoint(p, v + 3, 1));
    EXPECT_EQ(3u, VornPoint::GetVertexCount(p));
    EXPECT_TRUE(VornLine::PushLine(l, v, 1));
    EXPECT_FALSE(VornLine::PushLine(l, v + 2, 1));
    EXPECT_EQ(2u, VornLine::GetVertexCount(l));
    VornPoint::UpdateBuffer(p);
    VornPoint::Rendering(p);
    ASSERT_TRUE(Frame());
    EXPECT_EQ(std::make_tuple(3, 0xFF0000u, 0u), std::make_tuple(frame_.Count(0, 0, kSize, kSize, 0xFF0000), frame_.Rgb(30, 10),
                                                              frame_.Rgb(40, 10)));
    VornPoint::Release(p);
    VornLine::Release(l);
}

TEST_F(Draw2D, ScissorKeepsPointsOnItsEdgeAndCutsLinesThere)
{
    RECT scissor = {0, 0, 100, 100};
    Vorn3D::SetScissoring(true, &scissor);
    const VornPointHandle p = VornPoint::Create(3);
    const VornVertex2D beyond = V(100.1f, 50, kDepth, 0xFFFFFFFF), onEdge = V(100, 50, kDepth, 0xFFFFFFFF),
                       inside = V(50, 50, kDepth, 0xFFFFFFFF);
    EXPECT_TRUE(VornPoint::PushPoint(p, &beyond, 1));   // skipped without using capacity
    EXPECT_EQ(0u, VornPoint::GetVertexCount(p));
    EXPECT_TRUE(VornPoint::PushPoint(p, &onEdge, 1));
    EXPECT_TRUE(VornPoint::PushPoint(p, &inside, 1));
    EXPECT_EQ(2u, VornPoint::GetVertexCount(p));

    const VornLineHandle l = VornLine::Create(8);
    const VornVertex2D crossing[2] = {V(50, 80, kDepth, 0xFF000000), V(150, 80, kDepth, 0xFFFF0000)};
    const VornVertex2D leftOf[2] = {V(-50, 10, kDepth, 0xFFFFFFFF), V(-10, 90, kDepth, 0xFFFFFFFF)};
    EXPECT_TRUE(VornLine::PushLine(l, crossing, 1));
    EXPECT_TRUE(VornLine::PushLine(l, leftOf, 1));
    EXPECT_EQ(2u, VornLine::GetVertexCount(l));
    VornLine::UpdateBuffer(l);
    VornLine::Rendering(l);
    Vorn3D::SetScissoring(false, &scissor);
    ASSERT_TRUE(Frame());
    int lit = 0, rightmost = -1;
    for (int x = 0; x < kSize; ++x) {
        if (frame_.Rgb(x, 80) != 0) {
            ++lit;
            rightmost = x;
        }
    }
    EXPECT_NEAR(99, rightmost, 1);
    EXPECT_NEAR(50, lit, 1);
    // The colour at the cut is halfway from black to red.
    EXPECT_NEAR(0x7F, static_cast<int>(frame_.Rgb(rightmost, 80) >> 16), 4);
    VornPoint::Release(p);
    VornLine::Release(l);
}

TEST_F(Draw2D, ListsTakeTheTransformSettingsFromVorn3D)
{
    // Initialize sets the list's own perspective factor 5; the start's Vorn3D setting reaches all.
    EXPECT_EQ(100.0f, VornPoint::GetTransform().perspectiveFactor);
    EXPECT_EQ(100.0f, VornLine::GetTransform().perspectiveFactor);
    Vorn3D::SetZoom(true, 10.0f, 20.0f, 3.0f);
    EXPECT_EQ(std::make_tuple(3.0f, 3.0f, 3.0f, 20.0f),
              std::make_tuple(VornPoint::GetTransform().zoomScale, VornLine::GetTransform().zoomScale,
                              VornPrimitive::GetTransform().zoomScale, VornLine::GetTransform().zoomY));
    Vorn3D::SetZoom(false, kSize / 2.0f, kSize / 2.0f, 1.0f);
    Vorn3D::EndScene();
}
