// The 3D batches, lists and sprites: capacities, stored vertex layouts, drawn pixels through the
// camera, the world transform, and the device-loss hooks.
#include "EngineFixture.h"
#include "VornLine3D.h"
#include "VornMath.h"
#include "VornPoint3D.h"
#include "VornPrimitive3D.h"
#include "VornSprite3D.h"
#include "VornTexture.h"

using namespace vorntest;

namespace {

// A vertex whose texture stage s holds (s, s).
VornVertex3D V(float x, float y, float z, uint32_t colour)
{
    return {x, y, z, colour, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}};
}

// Two triangles over the square -1..1 in the z = 0 plane.
std::vector<VornVertex3D> Square(uint32_t colour)
{
    return {V(-1, 1, 0, colour), V(1, 1, 0, colour), V(1, -1, 0, colour),
            V(1, -1, 0, colour), V(-1, -1, 0, colour), V(-1, 1, 0, colour)};
}

class Batch3D : public EngineWith<VornMath, VornCamera, VornTexture, VornPrimitive3D, VornLine3D, VornPoint3D, VornSprite3D> {
protected:
    void SetUp() override
    {
        EngineWith::SetUp();
        // 90 degrees, square: at 10 units a unit covers 12.8 pixels of the 256 x 256 target.
        UseCamera(-10.0f);
        UseVertexColour();
    }
    // A batch of the red square, uploaded.
    static VornPrimitive3DHandle RedSquare()
    {
        const VornPrimitive3DHandle h = VornPrimitive3D::Create(6, 0);
        const std::vector<VornVertex3D> square = Square(0xFFFF0000);
        VornPrimitive3D::PushPolygon(h, square.data(), 2);
        VornPrimitive3D::UpdateBuffer(h);
        return h;
    }
};

}  // namespace

TEST_F(Batch3D, VertexTypesKeepTheirBytes)
{
    for (VornVertexType3D type = 0; type < 5; ++type) {
        SCOPED_TRACE("vertex type " + std::to_string(type));
        VornPrimitive3DHandle h = VornPrimitive3D::Create(6, type);
        ASSERT_NE(VORN_INVALID_HANDLE, h);
        const VornBatch3DRecord* r = VornPrimitive3D::GetRecord(h);
        EXPECT_NAMED({"stride", r->stride, 16u + 8u * type}, {"fvf", Argb{r->fvf}, Argb{0x042u | (type << 8)}}, {"buffer size", r->bufferSize, 6u * r->stride});
        const std::vector<VornVertex3D> square = Square(0xFF112233);
        ASSERT_TRUE(VornPrimitive3D::PushPolygon(h, square.data(), 2));
        // The second stored vertex starts right after the first one's kept bytes.
        struct { float x, y, z; uint32_t colour; float uv[8]; } v;   // u of the last stage kept
        memcpy(&v, static_cast<const uint8_t*>(r->store) + r->stride, sizeof v);
        EXPECT_NAMED({"used bytes", r->usedBytes, 6u * r->stride}, {"second x", v.x, 1.0f}, {"second colour", Argb{v.colour}, Argb{0xFF112233}},
                     {"second u of the last stage", type ? v.uv[2 * type - 2] : -1.0f, type ? type - 1.0f : -1.0f});
    }
    LogCapture log;
    EXPECT_EQ(VORN_INVALID_HANDLE, VornPrimitive3D::Create(6, 5));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornPrimitive3D::Create(0, 0));
    // Mended: an unknown vertex type has its own line, not the full table's.
    EXPECT_TRUE(HasAll(log.Text(), {RedStart("頂点バッファの生成に失敗 [ "), Red("頂点タイプが範囲外です [ 5 ]")}));
    EXPECT_EQ(0, log.Count("空きプリミティブ"));
}

TEST_F(Batch3D, CapacitiesOfBatchesAndLists)
{
    VornPrimitive3DHandle p = VornPrimitive3D::Create(1024, 1);
    std::vector<VornVertex3D> tris(342 * 3, V(0, 0, 0, 0xFFFFFFFF));
    EXPECT_FALSE(VornPrimitive3D::PushPolygon(p, tris.data(), 342));
    EXPECT_NAMED({"vertices", VornPrimitive3D::GetVertexCount(p), 1023}, {"polygons", VornPrimitive3D::GetPolygonCount(p), 1026});
    VornPrimitive3D::ResetBuffer(p);

    VornLine3DHandle l = VornLine3D::Create(128);
    EXPECT_EQ(16u, VornLine3D::GetRecord(l)->stride);
    std::vector<VornVertex3D> ends(64 * 2, V(0, 0, 0, 0xFFFFFFFF));
    EXPECT_TRUE(VornLine3D::PushLine(l, ends.data(), 63));
    EXPECT_FALSE(VornLine3D::PushLine(l, ends.data(), 1));

    VornPoint3DHandle q = VornPoint3D::Create(3);
    EXPECT_FALSE(VornPoint3D::PushPoint(q, ends.data(), 3));
    // Handles beyond the table and none are refused and change no live batch.
    const bool past = VornPrimitive3D::PushPolygon(64, tris.data(), 1), none = VornPrimitive3D::PushPolygon(VORN_INVALID_HANDLE, tris.data(), 1);
    const bool line = VornLine3D::PushLine(1000, ends.data(), 1);
    VornPrimitive3D::SetPosition(64, 1, 2, 3);
    VornPrimitive3D::TransformUpdate(1000);
    EXPECT_NAMED({"push to batch 64", past, false}, {"push to none", none, false}, {"push to line 1000", line, false},
                 {"polygons of 64", VornPrimitive3D::GetPolygonCount(64), 0}, {"line vertices", VornLine3D::GetVertexCount(l), 126}, {"point vertices", VornPoint3D::GetVertexCount(q), 2},
                 {"batch vertices (reset)", VornPrimitive3D::GetVertexCount(p), 0}, {"batch polygons (reset)", VornPrimitive3D::GetPolygonCount(p), 0});
    D3DXMATRIX world = *VornPrimitive3D::GetRecord(p)->world.Get();
    EXPECT_TRUE(D3DXMatrixIsIdentity(&world));
}

TEST_F(Batch3D, PosedSquareIsScaledThenPlaced)
{
    const VornPrimitive3DHandle h = RedSquare();
    VornPrimitive3D::SetScale(h, 2, 2, 2);
    VornPrimitive3D::SetPosition(h, 5, 0, 0);
    Frame([&] { VornPrimitive3D::Rendering(h); });
    // Not yet moved or scaled: -1..1 around the centre. Pixel centres lie on whole coordinates:
    // a square over 115.2 .. 140.8 covers 116 .. 140.
    EXPECT_TRUE(BoxIs(frame_, 0xFF0000, 116, 116, 140, 140));

    VornPrimitive3D::TransformUpdate(h);
    Frame([&] { VornPrimitive3D::Rendering(h); });
    // x 5 +- 2 units and y +- 2 units: 166.4 .. 217.6 and 102.4 .. 153.6 pixels.
    EXPECT_TRUE(BoxIs(frame_, 0xFF0000, 167, 103, 217, 153));
    EXPECT_EQ(51 * 51, frame_.Count(0, 0, kSize, kSize, 0xFF0000));

    // A batch made again in the same record starts from identity, not from the last transform.
    VornPrimitive3D::Release(h);
    ASSERT_EQ(h, RedSquare());
    Frame([&] { VornPrimitive3D::Rendering(h); });
    EXPECT_TRUE(BoxIs(frame_, 0xFF0000, 116, 116, 140, 140));
}

// Lines and points land where the camera puts them. A reset rebuilds the buffers and uploads the
// stored vertices. Mended: while a restore could not make the buffer, upload and draw are skipped.
TEST_F(Batch3D, LinesAndPointsDrawAndAResetUploadsTheStoreAndWithoutABufferNothingIsDrawn)
{
    const VornPrimitive3DHandle h = RedSquare();
    VornLine3DHandle l = VornLine3D::Create(8);
    const VornVertex3D ends[2] = {V(-5, 2.5f, 0, 0xFF00FF00), V(5, 2.5f, 0, 0xFF00FF00)}, point = V(0, -5, 0, 0xFF0000FF);
    VornLine3D::PushLine(l, ends, 1);
    VornLine3D::UpdateBuffer(l);
    VornPoint3DHandle p = VornPoint3D::Create(8);
    VornPoint3D::PushPoint(p, &point, 1);
    VornPoint3D::UpdateBuffer(p);
    Frame([&] {
        VornLine3D::Rendering(l);
        VornPoint3D::Rendering(p);
    });
    int x0, y0, x1, y1;
    ASSERT_TRUE(frame_.Bounds(0x00FF00, &x0, &y0, &x1, &y1));
    EXPECT_EQ(y0, y1);   // one row, at 128 - 32 = 96
    EXPECT_TRUE(BoxIs(frame_, 0x00FF00, 64, 96, 191, 96, 1));
    EXPECT_TRUE(BoxIs(frame_, 0x0000FF, 128, 192, 128, 192, 1));

    Vorn3D::ResetDevice(true);
    Vorn3D::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    Frame([&] {
        VornPrimitive3D::Rendering(h);
        VornLine3D::Rendering(l);
    });
    EXPECT_EQ(25 * 25, frame_.Count(0, 0, kSize, kSize, 0xFF0000));
    EXPECT_GT(frame_.Count(0, 0, kSize, kSize, 0x00FF00), 100);

    VornPrimitive3D::OnDeviceLost();   // as after a restore that could not make the buffer
    VornPrimitive3D::UpdateBuffer(h);
    Frame([&] { VornPrimitive3D::Rendering(h); });
    EXPECT_EQ(0, frame_.Count(0, 0, kSize, kSize, 0xFF0000));
}

TEST_F(Batch3D, FailedCreateGivesBackWhatItMadeAndTableFullIsRefused)
{
    LogCapture log;
    // A store bigger than the work area: the buffer is made, then the store fails.
    EXPECT_EQ(VORN_INVALID_HANDLE, VornLine3D::Create((96u << 20) / 16));
    EXPECT_EQ(0u, VornLine3D::Create(4));   // the record came back
    VornPoint3D::Finalize();
    VornPoint3D::SetMax(1);
    ASSERT_TRUE(VornPoint3D::Initialize());
    // (A braced list makes the calls in order.)
    EXPECT_EQ((std::vector<VornHandle>{0, VORN_INVALID_HANDLE}), (std::vector<VornHandle>{VornPoint3D::Create(4), VornPoint3D::Create(4)}));
    VornPoint3D::Release(0);
    VornPoint3D::Release(0);
    VornPoint3D::Create(4);
    VornPoint3D::Finalize();
    VornPoint3D::SetMax(0);
    ASSERT_TRUE(VornPoint3D::Initialize());
    EXPECT_TRUE(InOrder(log.Text(), {Red("頂点用メモリの確保に失敗"), " VERTEX COUNT [ 4 ] : VERTEX SIZE [ 16BYTE ] : " + Green("Success"),
                                     Red("空きポイントが見つかりませんでした。"), Red("Point Destroy [ No.0 ]")}));
    EXPECT_EQ(1, log.Count(Red("VornPoint3D::Release")));
}

// Each shape's first quad: positions, colours and texture corners in push order, with the texel
// inset and, for the ring and tube, the v scale.
TEST_F(Batch3D, SpriteSquareRingAndStrips)
{
    VornTexture::SetTexelInset(0.5f);
    const VornTextureHandle t = VornTexture::Create(64, 64, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8);
    VornSprite3DHandle s = VornSprite3D::Create(96, 1);
    ASSERT_NE(VORN_INVALID_HANDLE, s);
    VornSprite3D::SetTexture(s, 0, t);
    const VornPrimitive3DHandle prim = VornSprite3D::GetPrimitive(s);
    VornPosture posture;
    posture.SetPosition(1, 2, 3);
    posture.UpdateMatrices();
    const VornRect src = {8, 0, 16, 32};
    constexpr uint32_t A = 0xFFFF0000, B = 0xFF0000FF;
    constexpr float uL = 8.5f / 64, uR = 23.5f / 64, vT = 0.5f / 64, vB = 31.5f / 64, v2T = 1.0f / 64, v2B = 63.0f / 64;
    struct Corner { float x, y, z; uint32_t colour; float u, v; };   // as stored
    // The first six vertices are the corners in the order given (two triangles); the buffer is emptied after.
    auto check = [&](const char* shape, uint32_t count, const std::vector<Corner>& corners, std::vector<int> order = {0, 1, 2, 2, 3, 0}) {
        ASSERT_EQ(count, VornPrimitive3D::GetVertexCount(prim)) << shape;
        const uint8_t* store = static_cast<const uint8_t*>(VornPrimitive3D::GetRecord(prim)->store);
        for (size_t i = 0; i < order.size(); ++i) {
            Corner f;
            memcpy(&f, store + sizeof f * i, sizeof f);
            const Corner& e = corners[order[i]];
            SCOPED_TRACE(std::string(shape) + " corner " + std::to_string(i));
            EXPECT_NAMED({"x", f.x, e.x, 1e-3}, {"y", f.y, e.y, 1e-3}, {"z", f.z, e.z, 1e-3}, {"u", f.u, e.u}, {"v", f.v, e.v},
                         {"colour", Argb{f.colour}, Argb{e.colour}});
        }
        VornSprite3D::ResetBuffer(s);
    };
    // The posture's position and (x, y, z) both count: Q0 (w, h) of a 2 x 2 quad at (12, 3, 3).
    VornSprite3D::DrawSquare(s, &posture, 10, 0, 0, 2, 2, &src, A, 1);
    check("square", 6, {{12, 3, 3, A, uL, vT}, {10, 3, 3, A, uR, vT}, {10, 1, 3, A, uR, vB}, {12, 1, 3, A, uL, vB}});
    // Ring and tube ignore the posture's position; segment 0 of 4 runs from -90 degrees to 0.
    VornSprite3D::DrawRing(s, &posture, 0, 0, 0, &src, 1, 2, A, B, 4, 2.0f, 1);
    check("ring", 24, {{0, -2, 0, B, uL, v2B}, {2, 0, 0, B, uL, v2T}, {1, 0, 0, A, uR, v2T}, {0, -1, 0, A, uR, v2B}});
    VornSprite3D::DrawCylinder(s, &posture, 0, 0, 0, &src, 2, 4, A, 4, 2.0f, 1);
    check("tube", 24, {{0, -2, -2, A, uR, v2T}, {0, -2, 2, A, uL, v2T}, {2, 0, 2, A, uL, v2B}, {2, 0, -2, A, uR, v2B}});
    const float x[3] = {0, 1, 2}, y[3] = {0, 0, 0}, z[3] = {0, 0, 0}, hw[3] = {1, 1, 1};
    const VornAngle angle[3] = {0, 0, 0};
    const uint32_t colour[3] = {A, B, A};
    VornSprite3D::DrawStripXY(s, x, y, z, hw, angle, colour, 1, &src);
    VornSprite3D::DrawStripXZ(s, x, y, z, hw, angle, colour, 0, &src);
    EXPECT_EQ(0u, VornPrimitive3D::GetVertexCount(prim));
    // L(i), R(i), L(i+1), then L(i+1), R(i+1), R(i); v runs from vT to vB over the points.
    VornSprite3D::DrawStripXY(s, x, y, z, hw, angle, colour, 3, &src);
    check("strip", 12, {{0, -1, 0, A, uL, vT}, {0, 1, 0, A, uR, vT}, {1, -1, 0, B, uL, 16.0f / 64}, {1, 1, 0, B, uR, 16.0f / 64}},
          {0, 1, 2, 2, 3, 1});
    VornSprite3D::Release(s);
    EXPECT_EQ(nullptr, VornPrimitive3D::GetRecord(prim));   // the sprite's batch went with it
}

TEST_F(Batch3D, SpriteDrawsItsSquareFacingTheCamera)
{
    VornSprite3DHandle s = VornSprite3D::Create(12, 0);
    VornPosture posture;
    posture.UpdateMatrices();
    VornSprite3D::DrawSquare(s, &posture, -5, 0, 0, 4, 4, nullptr, 0xFF0000FF, 0);
    VornSprite3D::UpdateBuffer(s);
    Frame([&] { VornSprite3D::Rendering(s); });
    // x -5 +- 2 units: 38.4 .. 89.6 pixels; y +- 2 units: 102.4 .. 153.6.
    EXPECT_TRUE(BoxIs(frame_, 0x0000FF, 39, 103, 89, 153));
}
