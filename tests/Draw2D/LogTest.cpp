// The log lines of the 2D classes' table operations.
#include "Draw2DFixture.h"
#include "VornBatch2D.h"

using namespace draw2dtest;

TEST_F(Draw2D, PrimitiveCreateAndReleaseLines)
{
    LogCapture log;
    const VornPrimitiveHandle plain = VornPrimitive::Create(30, 1, false);
    const VornPrimitiveHandle sorted = VornPrimitive::Create(30, 0, true);
    EXPECT_EQ(VORN_INVALID_HANDLE, VornPrimitive::Create(0, 0, false));
    VornPrimitive::Release(plain);
    VornPrimitive::Release(plain);   // no longer live: no line
    VornPrimitive::Release(sorted);
    const std::string text = log.Text();
    const std::string no = "[ No." + std::to_string(plain) + " ]";
    // The plain batch, the sorted one, the refused one, then the releases.
    EXPECT_TRUE(InOrder(text, {Blue("VornPrimitive::Create"), " : " + no + " : ", "描画用頂点バッファ生成 : ", "頂点保存用バッファ生成 { ",
                               "　　", " } ", " VERTEX COUNT [ 30 ] : VERTEX SIZE [ 28BYTE ] : ", Green("Success"), "頂点ソート用バッファ生成 { ",
                               " } ", "頂点ソート用リストバッファ生成 { ", " } ", " VERTEX COUNT [ 30 ] : VERTEX SIZE [ 20BYTE ] : ",
                               Green("Success"), "描画用頂点バッファ生成 : ", RedStart("頂点バッファの生成に失敗 [ "),
                               Red("VornPrimitive::Release"), " : " + no}));
    EXPECT_EQ(2, CountIn(text, Red("VornPrimitive::Release")));
}

TEST_F(Draw2D, SpriteCreateNestsItsBatchLines)
{
    LogCapture log;
    const VornSpriteHandle s = VornSprite::Create(6, 1, false);
    const VornPrimitiveHandle p = VornSprite::GetPrimitive(s);
    ASSERT_NE(VORN_INVALID_HANDLE, p);
    VornSprite::Release(s);
    // No buffer of 0 vertices.
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSprite::GetPrimitive(s)) << "the released sprite's batch";
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSprite::Create(0, 0, false)) << "a sprite of 0 vertices";
    const std::string text = log.Text();
    EXPECT_TRUE(InOrder(text, {Blue("VornSprite::Create"), "[ No." + std::to_string(s) + " ] : ", "スプライト用プリミティブ取得 { ", "　　",
                               Blue("VornPrimitive::Create"), Green("Success"), " } : ", Green("Success"), Red("VornSprite::Release"),
                               " : [ No." + std::to_string(s) + " ]", Blue("VornSprite::Create"), "スプライト用プリミティブ取得 { ",
                               "頂点バッファの生成に失敗", Red("空きプリミティブが見つかりませんでした。")}));
    // The batch went with the sprite (its release line is the batch table's case): its record is
    // free for the next batch.
    EXPECT_EQ(p, VornPrimitive::Create(3, 0, false));
}

TEST_F(Draw2D, FullSpriteAndPrimitiveTables)
{
    // Every sprite takes a batch: 64 sprites fill both tables (the default size of every table).
    for (uint32_t i = 0; i < 64; ++i) ASSERT_EQ(i, VornSprite::Create(3, 0, false));
    LogCapture log;
    EXPECT_EQ(std::vector<uint32_t>(2, VORN_INVALID_HANDLE), (std::vector<uint32_t>{VornSprite::Create(3, 0, false), VornPrimitive::Create(3, 0, false)}));
    VornSprite::Finalize();
    EXPECT_TRUE(VornSprite::Initialize());
    const std::string text = log.Text();
    // The refusals, then Finalize giving back every sprite with its batch.
    EXPECT_TRUE(InOrder(text, {Blue("VornSprite::Create"), Red("空きスプライトが見つかりませんでした。"), Blue("VornPrimitive::Create"),
                               Red("空きプリミティブが見つかりませんでした。"), "VornSpriteクラスの解放", Red("VornPrimitive::Release"),
                               Red("Sprite Destroy [ No.0 ]"), Red("Sprite Destroy [ No.63 ]"), "VornSpriteクラスの初期化", "スプライト用メモリ確保"}));
}

TEST_F(Draw2D, FullListTableAndFinalizeLinesAndTheTransformSettingsAfter)
{
    // Records 0 to 63 taken: their destroy lines below.
    for (uint32_t i = 0; i < VORN_DEFAULT_TABLE_SIZE; ++i) VornPoint::Create(2);
    LogCapture log;
    EXPECT_EQ(VORN_INVALID_HANDLE, VornPoint::Create(2));
    const VornLineHandle line = VornLine::Create(4);
    VornPoint::Finalize();
    VornLine::Finalize();
    EXPECT_TRUE(VornPoint::Initialize());
    EXPECT_TRUE(VornLine::Initialize());
    const std::string text = log.Text();
    EXPECT_TRUE(InOrder(text, {Blue("VornPoint::Create"), Red("空きポイントが見つかりませんでした。"), Blue("VornLine::Create"),
                               "[ No." + std::to_string(line) + " ] : ", " VERTEX COUNT [ 4 ] : VERTEX SIZE [ 20BYTE ] : ",
                               Green("Success"), "VornPointクラスの解放", Red("Point Destroy [ No.0 ]"), Red("Point Destroy [ No.63 ]"),
                               "VornLineクラスの解放", Red("Line Destroy [ No.0 ]"), "VornPointクラスの初期化", "ポイント用メモリ確保",
                               "VornLineクラスの初期化", "ライン用メモリ確保"}));
    // The lists start again with their own transform defaults and their hooks in place: Vorn3D's
    // settings reach them and the batches.
    EXPECT_NAMED({"point perspective factor", VornPoint::GetTransform().perspectiveFactor, 5.0f}, {"line zoom x", VornLine::GetTransform().zoomX, kSize / 2});
    Vorn3D::SetPerspective(false, kSize / 2.0f, kSize / 2.0f, 100.0f);
    EXPECT_NAMED({"point perspective factor", VornPoint::GetTransform().perspectiveFactor, 100.0f},
                 {"line perspective factor", VornLine::GetTransform().perspectiveFactor, 100.0f});
    Vorn3D::SetZoom(true, 10.0f, 20.0f, 3.0f);
    EXPECT_NAMED({"point zoom", VornPoint::GetTransform().zoomScale, 3.0f}, {"line zoom", VornLine::GetTransform().zoomScale, 3.0f},
                 {"batch zoom", VornPrimitive::GetTransform().zoomScale, 3.0f}, {"line zoom y", VornLine::GetTransform().zoomY, 20.0f});
    // A scissor is scaled from the virtual screen (320 x 240 shown in 640 x 480), the caller's
    // rectangle with it; turned off, the rectangle is left as it is.
    Vorn::SetVirtualScreenSize(640, 480, 320, 240);
    RECT r = {10, 20, 30, 40}, off = {1, 2, 3, 4};
    Vorn3D::SetScissoring(true, &r);
    EXPECT_NAMED({"left", r.left, 20}, {"top", r.top, 40}, {"right", r.right, 60}, {"bottom", r.bottom, 80},
                 {"line scissor on", int(VornLine::GetTransform().scissorOn), 1}, {"point scissor left", VornPoint::GetTransform().scissorLeft, 20.0f},
                 {"batch scissor bottom", VornPrimitive::GetTransform().scissorBottom, 80.0f});
    Vorn3D::SetScissoring(false, &off);
    EXPECT_NAMED({"batch scissor on", int(VornPrimitive::GetTransform().scissorOn), 0}, {"left left", off.left, 1}, {"bottom left", off.bottom, 4});
    Vorn::SetVirtualScreenSize(kSize, kSize, kSize, kSize);
}

TEST_F(Draw2D, AStoreBeyondFourGigabytesFailsWithItsLines)
{
    // Cut to 32 bits this would be a 64-byte block that the pushes then overrun.
    LogCapture log;
    EXPECT_EQ(nullptr, VornBatch2D::AllocStore((1ull << 32) + 64, "頂点ソート用バッファ生成 { ", "頂点ソート用メモリの確保に失敗"));
    EXPECT_TRUE(InOrder(log.Text(), {"頂点ソート用バッファ生成 { ", "　　", " } ", Red("頂点ソート用メモリの確保に失敗")}));
}
