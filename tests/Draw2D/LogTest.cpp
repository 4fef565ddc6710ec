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
    EXPECT_EQ(std::make_pair(VORN_INVALID_HANDLE, VORN_INVALID_HANDLE), std::make_pair(VornSprite::GetPrimitive(s), VornSprite::Create(0, 0, false)));
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
    EXPECT_NE(VORN_INVALID_HANDLE, VornPrimitive::Create(3, 0, false));
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
    EXPECT_TRUE(VornPoint::Initialize() && VornLine::Initialize());
    const std::string text = log.Text();
    EXPECT_TRUE(InOrder(text, {Blue("VornPoint::Create"), Red("空きポイントが見つかりませんでした。"), Blue("VornLine::Create"),
                               "[ No." + std::to_string(line) + " ] : ", " VERTEX COUNT [ 4 ] : VERTEX SIZE [ 20BYTE ] : ",
                               Green("Success"), "VornPointクラスの解放", Red("Point Destroy [ No.0 ]"), Red("Point Destroy [ No.63 ]"),
                               "VornLineクラスの解放", Red("Line Destroy [ No.0 ]"), "VornPointクラスの初期化", "ポイント用メモリ確保",
                               "VornLineクラスの初期化", "ライン用メモリ確保"}));
    // The lists start again with their own transform defaults and their hooks in place: Vorn3D's
    // settings reach them and the batches.
    EXPECT_EQ(std::make_pair(5.0f, kSize / 2.0f), std::make_pair(VornPoint::GetTransform().perspectiveFactor, VornLine::GetTransform().zoomX));
    Vorn3D::SetPerspective(false, kSize / 2.0f, kSize / 2.0f, 100.0f);
    EXPECT_EQ(std::make_pair(100.0f, 100.0f), std::make_pair(VornPoint::GetTransform().perspectiveFactor,
                                                             VornLine::GetTransform().perspectiveFactor));
    Vorn3D::SetZoom(true, 10.0f, 20.0f, 3.0f);
    EXPECT_EQ(std::make_tuple(3.0f, 3.0f, 3.0f, 20.0f),
              std::make_tuple(VornPoint::GetTransform().zoomScale, VornLine::GetTransform().zoomScale,
                              VornPrimitive::GetTransform().zoomScale, VornLine::GetTransform().zoomY));
    // A scissor is scaled from the virtual screen (320 x 240 shown in 640 x 480), the caller's
    // rectangle with it; turned off, the rectangle is left as it is.
    Vorn::SetVirtualScreenSize(640, 480, 320, 240);
    RECT r = {10, 20, 30, 40}, off = {1, 2, 3, 4};
    Vorn3D::SetScissoring(true, &r);
    EXPECT_EQ(std::make_tuple(20L, 40L, 60L, 80L, 1, 20.0f, 80.0f), std::make_tuple(r.left, r.top, r.right, r.bottom,
              int(VornLine::GetTransform().scissorOn), VornPoint::GetTransform().scissorLeft, VornPrimitive::GetTransform().scissorBottom));
    Vorn3D::SetScissoring(false, &off);
    EXPECT_EQ(std::make_tuple(0, 1L, 4L), std::make_tuple(int(VornPrimitive::GetTransform().scissorOn), off.left, off.bottom));
    Vorn::SetVirtualScreenSize(kSize, kSize, kSize, kSize);
}

TEST_F(Draw2D, AStoreBeyondFourGigabytesFailsWithItsLines)
{
    // Cut to 32 bits this would be a 64-byte block that the pushes then overrun.
    LogCapture log;
    EXPECT_EQ(nullptr, VornBatch2D::AllocStore((1ull << 32) + 64, "頂点ソート用バッファ生成 { ", "頂点ソート用メモリの確保に失敗"));
    EXPECT_TRUE(InOrder(log.Text(), {"頂点ソート用バッファ生成 { ", "　　", " } ", Red("頂点ソート用メモリの確保に失敗")}));
}
