// VornSprite: where the shapes put their vertices and pixels; the sense of every rotation.
#include "Draw2DFixture.h"

using namespace draw2dtest;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

// The vertices a sprite of this vertex type holds.
std::vector<VornVertex2D> Stored(VornSpriteHandle s, uint32_t type) { return StoredVertices(VornSprite::GetPrimitive(s), type); }

}  // namespace

// Cells of 4 x 2 pixels, the last drawn by the unturned XYZ form: every square covers exactly its
// pixels, a width and a height swapped would not.
TEST_F(Draw2D, SquaresOfBothFormsCoverExactlyTheirPixelsInALongListDrawnThroughItsPieces)
{
    constexpr int kSquares = 1100;   // 2,200 triangles: three draw calls
    const VornSpriteHandle s = VornSprite::Create(kSquares * 6, 0, false);
    ASSERT_NE(VORN_INVALID_HANDLE, s);
    for (int i = 0; i < kSquares - 1; ++i) {
        const VornRect dst = {float(i % 64 * 4), float(i / 64 * 2), 4, 2};
        VornSprite::DrawSquare(s, &dst, kDepth, nullptr, kRed, 0);
    }
    const int x = (kSquares - 1) % 64 * 4, y = (kSquares - 1) / 64 * 2;
    const VornRect last = {float(x), float(y), 4, 2};
    VornSprite::DrawSquareRotateXYZ(s, &last, kDepth, nullptr, kBlue, 0, 0, 0, 0);
    Draw<VornSprite>(s);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"red pixels", frame_.Count(0, 0, kSize, kSize, 0xFF0000), (kSquares - 1) * 8}, {"blue pixels", frame_.Count(0, 0, kSize, kSize, 0x0000FF), 8});
    EXPECT_TRUE(BoxIs(frame_, 0x0000FF, x, y, x + 3, y + 1));
}

TEST_F(Draw2D, SourceRectanglesAreInsetByHalfATexel)
{
    const VornTextureHandle t = MakeTexture(256, 256, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    ASSERT_NE(VORN_INVALID_HANDLE, t);
    const VornSpriteHandle s = VornSprite::Create(12, 2, false);
    VornSprite::SetTexture(s, 0, t);
    VornSprite::SetTexture(s, 1, t);
    VornSprite::SetTexture(s, 4, VORN_INVALID_HANDLE);    // no such stage: nothing changes
    VornSprite::SetTexture(s, -1, VORN_INVALID_HANDLE);
    const VornRect dst = {10, 20, 30, 40};
    const VornRect src[2] = {{0, 0, 256, 256}, {64, 0, 64, 128}};
    VornSprite::DrawSquare(s, &dst, kDepth, src, 0xFFFFFFFF, 2);
    const VornVertex2D tl = Stored(s, 2).at(0), br = Stored(s, 2).at(2);
    // (The inset of every side: the tube corners' u and v, through the same source rectangles.)
    EXPECT_NAMED({"stage 1 left", tl.tex[1].u, 64.5f / 256}, {"stage 1 bottom", br.tex[1].v, 127.5f / 256});
    // A stage count of 0 leaves every coordinate 0 even with textures set.
    VornSprite::DrawSquare(s, &dst, kDepth, src, 0xFFFFFFFF, 0);
    const VornVertex2D none = Stored(s, 2).at(8);
    EXPECT_NAMED({"stage 0 u", none.tex[0].u, 0.0f}, {"stage 1 v", none.tex[1].v, 0.0f});
}

// A 64x64 texture, red top half and blue bottom half, drawn by each form in turn. Where its red top
// half lands tells the sense: above (no turn), right (clockwise), left (counter-clockwise).
TEST_F(Draw2D, AsymmetricTextureShowsTheSenseOfEachTurn)
{
    UseTextures();
    const VornTextureHandle t = MakeTexture(64, 64, [](uint32_t, uint32_t y) { return y < 32 ? kRed : kBlue; });
    const VornSpriteHandle s = VornSprite::Create(6, 1, false);
    VornSprite::SetTexture(s, 0, t);
    const VornRect dst = {64, 64, 128, 128}, src = {0, 0, 64, 64};
    // The red half's spot: (128, 80) above, (176, 128) right of or (80, 128) left of the centre; the
    // blue half's spot mirrored through (128, 128). The sprite forms then draw the sprite.
    const struct { const char* form; int redX, redY; std::function<void()> draw; } forms[] = {
        {"DrawSquare", 128, 80, [&] { VornSprite::DrawSquare(s, &dst, kDepth, &src, 0xFFFFFFFF, 1); }},
        {"DrawSquareRotate", 176, 128, [&] { VornSprite::DrawSquareRotate(s, &dst, kDepth, &src, 0xFFFFFFFF, 16384, 1); }},
        {"DrawSquareRotateXYZ", 80, 128, [&] { VornSprite::DrawSquareRotateXYZ(s, &dst, kDepth, &src, 0xFFFFFFFF, 0, 0, 16384, 1); }},
        {"VornTexture::DrawRotate", 176, 128, [&] { VornTexture::DrawRotate(t, &dst, &src, 0xFFFFFFFF, 16384); }}};
    for (const auto& f : forms) {
        SCOPED_TRACE(f.form);
        if (&f != forms) { ASSERT_TRUE(NewScene()); }
        VornSprite::ResetBuffer(s);
        f.draw();
        if (&f != forms + 3) Draw<VornSprite>(s);
        ASSERT_TRUE(Frame());
        EXPECT_NAMED({"red half's spot", frame_.Hex(f.redX, f.redY), Argb{0xFF0000}}, {"blue half's spot", frame_.Hex(256 - f.redX, 256 - f.redY), Argb{0x0000FF}});
        if (&f == forms) { EXPECT_EQ(128 * 64, frame_.Count(0, 0, kSize, kSize, 0xFF0000)); }
    }
}

TEST_F(Draw2D, TriangleRotateTurnsCounterClockwise)
{
    const VornSpriteHandle s = VornSprite::Create(3, 0, false);
    // A wedge about (128, 128) pointing right; turned a quarter, it points up.
    const VornVertex2D a = V(188, 128), b = V(98, 108), c = V(98, 148);
    VornSprite::DrawTriangleRotate(s, &a, &b, &c, 16384);
    Draw<VornSprite>(s);
    ASSERT_TRUE(Frame());
    EXPECT_TRUE(BoxIs(frame_, 0xFFFFFF, 108, 68, 148, 158, 2));
}

TEST_F(Draw2D, RingSegmentZeroStartsAboveTheCentre)
{
    // Room for one segment only: the first one pushed.
    const VornSpriteHandle s = VornSprite::Create(6, 0, false);
    VornSprite::DrawRing(s, 128, 128, kDepth, nullptr, 20, 60, 0xFFFFFFFF, 0xFFFFFFFF, 4, 1.0f, 0);
    // Each later segment is tried: its first triangle counts as requested, then its push stops.
    const VornPrimitiveHandle p = VornSprite::GetPrimitive(s);
    EXPECT_NAMED({"requested", VornPrimitive::GetRequestedVertexCount(p), 6u + 3 * 3}, {"stored", VornPrimitive::GetVertexCount(p), 6u});
    Draw<VornSprite>(s);
    ASSERT_TRUE(Frame());
    // Only the quarter up and right of the centre, from just right of straight above.
    EXPECT_NAMED({"up right", frame_.Hex(128 + 25, 128 - 25), Argb{0xFFFFFF}}, {"up left", frame_.Hex(128 - 25, 128 - 25), Argb{0}},
                 {"down right", frame_.Hex(128 + 25, 128 + 25), Argb{0}}, {"down left", frame_.Hex(128 - 25, 128 + 25), Argb{0}},
                 {"just right of straight up", frame_.Hex(128 + 3, 128 - 40), Argb{0xFFFFFF}});
}

// Segment 0 of 4 of each tube form and the turned ring: corners in push order with their texture
// corners, colours and depths (a 64-texel texture, v scale 2); then one quad per piece.
TEST_F(Draw2D, RingTubeAndStripPushOneQuadPerPiece)
{
    const VornTextureHandle t = MakeTexture(64, 64, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    const VornSpriteHandle s = VornSprite::Create(600, 1, false);
    VornSprite::SetTexture(s, 0, t);
    const VornRect src = {0, 0, 64, 64};
    constexpr float Z = kDepth, uL = 0.5f / 64, uR = 63.5f / 64, vT = 1.0f / 64, vB = 127.0f / 64;
    const float b45 = 30 * 0.70710678f, a45 = 10 * 0.70710678f;
    struct Corner { float x, y, z, u, v; uint32_t colour; };
    const struct { std::function<void()> draw; Corner corners[6]; } forms[] = {
        // DrawCylinder: T0 (a0, -h), T1 (a0, +h), T2 (a1, +h), T2, T3 (a1, -h), T0; no pixel offset.
        {[&] { VornSprite::DrawCylinder(s, 128, 128, Z, &src, 40, 20, kRed, 4, 2.0f, 1); },
         {{128, 88, Z - 10, uR, vT, kRed}, {128, 88, Z + 10, uL, vT, kRed}, {168, 128, Z + 10, uL, vB, kRed},
          {168, 128, Z + 10, uL, vB, kRed}, {168, 128, Z - 10, uR, vB, kRed}, {128, 88, Z - 10, uR, vT, kRed}}},
        // DrawCylinderRotate by a quarter: the same from a0 = 0.
        {[&] { VornSprite::DrawCylinderRotate(s, 128, 128, Z, &src, 40, 20, kRed, 4, 16384, 2.0f, 1); },
         {{168, 128, Z - 10, uR, vT, kRed}, {168, 128, Z + 10, uL, vT, kRed}, {128, 168, Z + 10, uL, vB, kRed},
          {128, 168, Z + 10, uL, vB, kRed}, {128, 168, Z - 10, uR, vB, kRed}, {168, 128, Z - 10, uR, vT, kRed}}},
        // DrawCylinderRotateXYZ a quarter about x, (x, y, d) -> (x, d, -y): P(a0, -h) (uL, vB),
        // P(a1, -h) (uL, vT), P(a1, +h) (uR, vT), the same, P(a0, +h) (uR, vB), P(a0, -h).
        {[&] { VornSprite::DrawCylinderRotateXYZ(s, 128, 128, Z, &src, 40, 20, kRed, 4, 16384, 0, 0, 2.0f, 1); },
         {{128, 118, Z + 40, uL, vB, kRed}, {168, 118, Z, uL, vT, kRed}, {168, 138, Z, uR, vT, kRed},
          {168, 138, Z, uR, vT, kRed}, {128, 138, Z + 40, uR, vB, kRed}, {128, 118, Z + 40, uL, vB, kRed}}},
        // DrawRingRotateXYZ an eighth about x, radii 10 (red) and 30 (blue), centre shifted by the pixel
        // offset: R0 (a0, b), R1 (a1, b), R2 (a1, a), R2, R3 (a0, a), R0.
        {[&] { VornSprite::DrawRingRotateXYZ(s, 128, 128, Z, &src, 10, 30, kRed, kBlue, 4, 8192, 0, 0, 2.0f, 1); },
         {{127.5f, 127.5f - b45, Z + b45, uL, vB, kBlue}, {157.5f, 127.5f, Z, uL, vT, kBlue},
          {137.5f, 127.5f, Z, uR, vT, kRed}, {137.5f, 127.5f, Z, uR, vT, kRed},
          {127.5f, 127.5f - a45, Z + a45, uR, vB, kRed}, {127.5f, 127.5f - b45, Z + b45, uL, vB, kBlue}}}};
    for (const auto& f : forms) {
        SCOPED_TRACE("form " + std::to_string(&f - forms));
        VornSprite::ResetBuffer(s);
        f.draw();
        const std::vector<VornVertex2D> stored = Stored(s, 1);
        ASSERT_EQ(24u, stored.size());
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE("corner " + std::to_string(i));
            const VornVertex2D& v = stored[i];
            const Corner& e = f.corners[i];
            EXPECT_NAMED({"x", v.x, e.x, 0.02}, {"y", v.y, e.y, 0.02}, {"depth", v.z * 65535.0f, e.z, 0.05},   // stored on the 0..1 scale
                         {"u", v.tex[0].u, e.u}, {"v", v.tex[0].v, e.v}, {"colour", Argb{v.colour}, Argb{e.colour}});
        }
    }

    const VornPrimitiveHandle p = VornSprite::GetPrimitive(s);
    VornSprite::ResetBuffer(s);
    VornSprite::DrawRingRotate(s, 128, 128, kDepth, &src, 10, 30, kRed, kBlue, 8, 4096, 1.0f, 1);
    EXPECT_EQ(48u, VornPrimitive::GetVertexCount(p));
    const float x[3] = {10, 50, 90}, y[3] = {100, 100, 100}, z[3] = {kDepth, kDepth, kDepth};
    const float half[3] = {5, 5, 5};
    const VornAngle angle[3] = {16384, 16384, 16384};
    const uint32_t colour[3] = {kRed, kRed, kBlue};
    VornSprite::DrawStrip(s, x, y, z, half, angle, colour, 3, &src);
    EXPECT_EQ(48u + 12, VornPrimitive::GetVertexCount(p));   // rings without segments and strips of one point: the SpriteEx case
    // The strip's first segment: L(0), R(0) at x 10 -/+ the turned half width (0, 5) -> (-5, 0).
    const VornVertex2D l0 = Stored(s, 1).at(48), r0 = Stored(s, 1).at(49);
    EXPECT_NAMED({"left x", l0.x, 15.0f}, {"right x", r0.x, 5.0f}, {"colour", Argb{l0.colour}, Argb{kRed}});
}
