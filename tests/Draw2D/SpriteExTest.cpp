// VornSpriteEx: what the stored triangles hold after transform and clip, and what each draw shows.
#include "Draw2DFixture.h"

using namespace draw2dtest;

namespace {

const VornTextureHandle kNone[4] = {VORN_INVALID_HANDLE, VORN_INVALID_HANDLE, VORN_INVALID_HANDLE, VORN_INVALID_HANDLE};

std::vector<VornSpriteExTriangle> Stored()
{
    std::vector<VornSpriteExTriangle> out;
    for (void* n = VornList::GetTop(VornSpriteEx::GetList()); n; n = VornList::GetNext(n))
        out.push_back(*static_cast<const VornSpriteExTriangle*>(n));
    return out;
}

class SpriteEx : public Draw2D {
protected:
    // A white 20-pixel triangle with its corner at (x, 10).
    void Triangle(float x, const VornTextureHandle* t, uint32_t blend)
    {
        const VornVertex2D tri[3] = {V(x, 10, kDepth, 0xFFFFFFFF, 0, 0), V(x + 20, 10, kDepth, 0xFFFFFFFF, 1, 0),
                                     V(x, 30, kDepth, 0xFFFFFFFF, 0, 1)};
        EXPECT_TRUE(VornSpriteEx::PushPolygon(tri, 1, t, blend));
    }
};

}  // namespace

TEST_F(SpriteEx, ScissorPerspectiveAndZoomReachTheStoredTriangles)
{
    RECT scissor = {0, 0, 100, 100};
    Vorn3D::SetScissoring(true, &scissor);
    // The clipper itself is the transform tests' and the primitive tests'; here it must be reached.
    const VornVertex2D across[3] = {V(60, 20), V(140, 20), V(60, 80)};
    EXPECT_TRUE(VornSpriteEx::PushPolygon(across, 1, kNone, BLEND_OPAQUE));
    const std::vector<VornSpriteExTriangle> got = Stored();
    ASSERT_EQ(2u, got.size());
    for (const VornSpriteExTriangle& t : got)
        for (const VornVertex2D& v : t.vertex)
            EXPECT_TRUE(v.x >= 0 && v.x <= 100 && v.y >= 0 && v.y <= 100) << "triangle " << &t - got.data() << " at " << v.x << ", " << v.y;
    Vorn3D::SetScissoring(false, &scissor);

    // Perspective keeps z = 32767 in place and moves nearer depths out from its centre; zoom 2
    // about (0, 0) doubles.
    const struct {
        bool zoom;
        float z, x;
    } depths[] = {{false, kDepth, 200}, {false, 20000, 128 + 72 / ((65535 + (20000 - kDepth) * 2) / 65535)}, {true, kDepth, 400}};
    for (const auto& d : depths) {
        Vorn3D::SetPerspective(true, 128, 128, 2.0f);
        Vorn3D::SetZoom(d.zoom, 0, 0, 2.0f);
        VornSpriteEx::ResetBuffer();
        const VornVertex2D tri[3] = {V(200, 128, d.z), V(210, 128, d.z), V(200, 138, d.z)};
        VornSpriteEx::PushPolygon(tri, 1, kNone, BLEND_OPAQUE);
        EXPECT_NEAR(d.x, Stored().at(0).vertex[0].x, 0.01f) << "z " << d.z << (d.zoom ? ", zoom" : "");
    }
}

TEST_F(SpriteEx, EveryTriangleDrawsWithItsOwnTexturesAndBlendingWhateverTheGroupSize)
{
    UseTextures();
    const VornTextureHandle red = MakeTexture(8, 8, [](uint32_t, uint32_t) { return 0xFFFF0000u; });
    const VornTextureHandle green = MakeTexture(8, 8, [](uint32_t, uint32_t) { return 0xFF00FF00u; });
    const VornTextureHandle r4[4] = {red, kNone[1], kNone[2], kNone[3]}, g4[4] = {green, kNone[1], kNone[2], kNone[3]};
    for (int i = 0; i < 64; ++i) Triangle(10, r4, BLEND_OPAQUE);
    // The 65th on a spot of its own, green, red, green added over red (yellow), green.
    const struct { float x; const VornTextureHandle* t; uint32_t blend; } pushes[] = {
        {40, r4, BLEND_OPAQUE}, {70, g4, BLEND_OPAQUE}, {100, r4, BLEND_OPAQUE}, {100, g4, BLEND_ADD}, {130, g4, BLEND_OPAQUE}};
    for (const auto& p : pushes) Triangle(p.x, p.t, p.blend);
    EXPECT_EQ(69u, VornList::GetCount(VornSpriteEx::GetList()));
    // A strip of three points: v runs top, middle, bottom.
    const float x[3] = {10, 40, 70}, y[3] = {100, 100, 100}, z[3] = {kDepth, kDepth, kDepth}, half[3] = {5, 5, 5};
    const VornAngle angle[3] = {0, 0, 0};
    const uint32_t colour[3] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    const VornRect src = {0, 0, 8, 8};
    EXPECT_TRUE(VornSpriteEx::DrawStrip(x, y, z, half, angle, colour, 3, &src, green, BLEND_OPAQUE));
    const std::vector<VornSpriteExTriangle> strip = Stored();
    const float ti = VornTexture::GetTexelInset();
    EXPECT_NAMED({"v at the top", strip.at(69).vertex[0].tex[0].v, ti / 8}, {"v in the middle", strip.at(69).vertex[2].tex[0].v, 0.5f},
                 {"v at the bottom", strip.at(71).vertex[2].tex[0].v, (8 - ti) / 8}, {"texture 0", strip.at(69).texture[0], green},
                 {"texture 1", strip.at(69).texture[1], VORN_INVALID_HANDLE});

    // Drawn once, then across a forced device reset, then again without ResetBuffer: the same.
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass ? "after the reset" : "before the reset");
        if (pass == 1) {
            Vorn3D::EndScene();
            Vorn3D::ResetDevice(true);
            ASSERT_TRUE(NewScene());
            UseTextures();
        }
        Vorn3D::SetAlphaEnable(true);   // the blending of each group counts
        VornSpriteEx::Rendering();
        ASSERT_TRUE(Frame());
        const struct { int x, y; uint32_t rgb; } spots[] = {
            {12, 12, 0xFF0000}, {42, 12, 0xFF0000}, {72, 12, 0x00FF00}, {102, 12, 0xFFFF00}, {132, 12, 0x00FF00}, {40, 101, 0x00FF00}};
        for (const auto& s : spots) EXPECT_EQ(Argb{s.rgb}, frame_.Hex(s.x, s.y)) << "at " << s.x << ", " << s.y;
    }
}

// Mended: a list node that cannot be had ends the push with false and writes nothing; shapes with
// no segments or fewer than two strip points store nothing.
TEST_F(SpriteEx, FullWorkAreaEndsThePushAndEmptyShapesStoreNothing)
{
    Triangle(10, kNone, BLEND_OPAQUE);
    EXPECT_TRUE(VornSpriteEx::DrawRing(50, 50, kDepth, nullptr, 10, 20, 0xFFFFFFFF, 0xFFFFFFFF, 0, 1.0f, kNone, 0));
    EXPECT_TRUE(VornSpriteEx::DrawCylinderRotateXYZ(50, 50, kDepth, nullptr, 10, 20, 0xFFFFFFFF, 0, 1, 2, 3, 1.0f, kNone, 0));
    const float p[1] = {0}; const VornAngle a[1] = {0}; const uint32_t c[1] = {0};
    EXPECT_TRUE(VornSpriteEx::DrawStrip(p, p, p, p, a, c, 1, nullptr, VORN_INVALID_HANDLE, 0));
    EXPECT_EQ(1u, VornList::GetCount(VornSpriteEx::GetList()));

    const std::vector<void*> hog = FillWorkArea();
    const VornVertex2D two[6] = {V(0, 0), V(9, 0), V(0, 9), V(0, 0), V(9, 0), V(0, 9)};
    EXPECT_FALSE(VornSpriteEx::PushPolygon(two, 2, kNone, BLEND_OPAQUE));
    const VornRect dst = {0, 0, 4, 4};
    EXPECT_FALSE(VornSpriteEx::DrawSquare(&dst, kDepth, nullptr, 0xFFFFFFFF, kNone, 0));
    for (void* block : hog) VornMemory::FreeQuiet(block);
    EXPECT_NAMED({"triangles kept", VornList::GetCount(VornSpriteEx::GetList()), 1u}, {"work area intact", VornMemory::CheckOverAccess(), true});
    const bool pushed = VornSpriteEx::PushPolygon(two, 2, kNone, BLEND_OPAQUE);   // with room again
    EXPECT_NAMED({"pushed", pushed, true}, {"triangles", VornList::GetCount(VornSpriteEx::GetList()), 3u});
}
