// VornSheet: the pieces an image is cut into, pixels drawn across their seams, sharing by name and
// what a failed or partial creation leaves.
#include "Draw2DFixture.h"
#include "TextureRead.h"

using namespace draw2dtest;

namespace {

constexpr VornFormatKind kExact = VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8;

VornSheetHandle FromMemory(const std::vector<unsigned char>& bytes, D3DCOLOR key = 0)
{
    return VornSheet::CreateFromMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), kExact, key);
}

using Sheet = Draw2D;

// Pixels of the frame that differ from want(x, y) (-1 to skip a pixel).
template <typename F>
int Mismatches(const vorntest::Readback& frame, F want)
{
    int n = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int64_t w = want(x, y);
            if (w >= 0 && frame.Rgb(x, y) != static_cast<uint32_t>(w)) ++n;
        }
    return n;
}

}  // namespace

TEST_F(Sheet, ImagesAreCutIntoPiecesOfAtMost256)
{
    const struct {
        int w, h;
        std::vector<std::string> lines;
        const char* absent;
    } cases[] = {
        {640, 480,
         {"[ 640 x 480 ] : [ ", "　SheetNo.00 : (0, 0) - (256, 256) {", "　SheetNo.01 : (256, 0) - (256, 256) {",
          "　SheetNo.02 : (512, 0) - (128, 256) {", "　SheetNo.03 : (0, 256) - (256, 224) {",
          "　SheetNo.05 : (512, 256) - (128, 224) {", Green("Success")},
         "SheetNo.06"},
        {512, 256, {"[ 512 x 256 ] : [ ", "　SheetNo.01 : (256, 0) - (256, 256) {", Green("Success")}, "SheetNo.02"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        LogCapture log;
        const VornSheetHandle s = FromMemory(PatternBmp(c.w, c.h));
        ASSERT_NE(VORN_INVALID_HANDLE, s);
        const std::string text = log.Text();
        EXPECT_TRUE(vorntest::InOrder(text, c.lines));
        EXPECT_EQ(std::string::npos, text.find(c.absent));
        EXPECT_NAMED({"width", VornSheet::GetWidth(s), c.w}, {"height", VornSheet::GetHeight(s), c.h});
        VornSheet::Release(s);
    }
    // None, and beyond the table.
    EXPECT_NAMED({"height of none", VornSheet::GetHeight(VORN_INVALID_HANDLE), 0xFFFFFFFFu}, {"height of 100", VornSheet::GetHeight(100), 0xFFFFFFFFu});
}

// A 300 x 280 image (four pieces), point-sampled: each draw shows the source pixel for pixel,
// seams included.
TEST_F(Sheet, DrawScaleAndRotateShowTheSourcePixelForPixel)
{
    UseTextures();
    const VornSheetHandle s = FromMemory(PatternBmp(300, 280));
    ASSERT_NE(VORN_INVALID_HANDLE, s);
    const struct { const char* form; std::function<void()> draw; int64_t (*want)(int x, int y); } forms[] = {
        {"Draw (10, 20)", [&] { VornSheet::Draw(s, 10, 20, 0xFFFFFFFF); },
         [](int x, int y) -> int64_t { return x >= 10 && y >= 20 ? PatternPixel(x - 10, y - 20) : 0; }},
        {"Draw (-150, -150)", [&] { VornSheet::Draw(s, -150, -150, 0xFFFFFFFF); },
         [](int x, int y) -> int64_t { return x < 150 && y < 130 ? PatternPixel(x + 150, y + 150) : 0; }},
        // Twice the size about the image's centre (128, 128): even pixels fall inside one texel.
        {"DrawScale 2", [&] { VornSheet::DrawScale(s, -22, -12, 2.0f, 0xFFFFFFFF); },
         [](int x, int y) -> int64_t { return x % 2 == 0 && y % 2 == 0 ? int64_t(PatternPixel(150 + (x - 128) / 2, 140 + (y - 128) / 2)) : -1; }},
        // A quarter turn clockwise about (128, 128): right of the centre goes below it.
        {"DrawRotate 16384", [&] { VornSheet::DrawRotate(s, -22, -12, 16384, 150.0f, 140.0f, 0xFFFFFFFF); },
         [](int x, int y) -> int64_t { return PatternPixel(y + 22, 267 - x); }}};
    for (const auto& f : forms) {
        if (&f != forms) { ASSERT_TRUE(NewScene()); }
        f.draw();
        ASSERT_TRUE(Frame());
        EXPECT_EQ(0, Mismatches(frame_, f.want)) << f.form;
    }
    VornSheet::Release(s);
}

TEST_F(Sheet, TheSameFileOrEntryIsSharedAndKeepsItsFirstColourKey)
{
    UseFiles({{"texture\\pic.bmp", PatternBmp(20, 10)}, {"texture\\tiles.qsg", TileArchive()}});

    const VornSheetHandle a = VornSheet::CreateFromFile("pic.bmp", kExact, 0xFF000000 | PatternPixel(0, 0));
    ASSERT_NE(VORN_INVALID_HANDLE, a);
    EXPECT_EQ(a, VornSheet::CreateFromFile("pic.bmp", VORN_FORMAT_EXACT | D3DFMT_X8R8G8B8, 0));   // count 2: two releases below
    const VornSheetHandle q = VornSheet::CreateFromQSG("tiles.qsg", "tile", kExact);
    ASSERT_NE(VORN_INVALID_HANDLE, q);
    const VornSheetHandle again = VornSheet::CreateFromQSG("tiles.qsg", "tile", 0);
    EXPECT_NAMED({"found by name", VornSheet::FindByName("tiles.qsg:tile"), q}, {"made again", again, q}, {"references", VornSheet::GetRefCount(q), 2},
                 {"width", VornSheet::GetWidth(q), 2});
    // The key of the first creation: the keyed pixel is transparent, the alpha test drops it.
    UseTextures();
    Vorn3D::SetAlphaEnable(true);
    VornSheet::Draw(a, 0, 0, 0xFFFFFFFF);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"keyed pixel", frame_.Hex(0, 0), Argb{0}}, {"its neighbour", frame_.Hex(1, 0), Argb{PatternPixel(1, 0)}});
    VornSheet::Release(a);
    VornSheet::Release(a);
    EXPECT_EQ(0xFFFFFFFFu, VornSheet::GetWidth(a));
    VornSheet::Finalize();   // q goes with its count forced to 1
    ASSERT_TRUE(VornSheet::Initialize());
    EXPECT_EQ(0xFFFFFFFFu, VornSheet::GetWidth(q));
}

// Mended: a failed creation keeps no record; a piece without a texture is skipped.
TEST_F(Sheet, FailuresKeepNothingAndPiecesWithoutTexturesAreSkipped)
{
    LogCapture log;
    const unsigned char junk[64] = {1, 2, 3};
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSheet::CreateFromMemory(junk, sizeof junk, kExact, 0)) << "junk";
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSheet::CreateFromFile("missing.bmp", kExact, 0)) << "a missing file";
    const std::vector<void*> area = FillWorkArea();   // no room for the pieces: all made is freed
    EXPECT_EQ(VORN_INVALID_HANDLE, FromMemory(PatternBmp(300, 280)));
    for (void* block : area) VornMemory::FreeQuiet(block);
    const VornSheetHandle small[3] = {FromMemory(PatternBmp(2, 2)), FromMemory(PatternBmp(2, 2)), FromMemory(PatternBmp(2, 2))};
    EXPECT_EQ(0u, small[0]);   // the refused creations gave their records back
    EXPECT_EQ(VORN_INVALID_HANDLE, FromMemory(PatternBmp(2, 2)));
    for (VornSheetHandle s : small) VornSheet::Release(s);

    // Two textures left: pieces 0 and 1 get them, 2 and 3 go without.
    std::vector<VornTextureHandle> hog;
    for (VornTextureHandle t; (t = VornTexture::Create(1, 1, kExact)) != VORN_INVALID_HANDLE;) hog.push_back(t);
    ASSERT_GE(hog.size(), 2u);
    for (int i = 0; i < 2; ++i, hog.pop_back()) VornTexture::Release(hog.back());
    const VornSheetHandle s = FromMemory(PatternBmp(300, 280));
    ASSERT_NE(VORN_INVALID_HANDLE, s);
    UseTextures();
    VornSheet::Draw(s, -150, -150, 0xFFFFFFFF);
    ASSERT_TRUE(Frame());
    EXPECT_NAMED({"piece 0", frame_.Hex(50, 50), Argb{PatternPixel(200, 200)}}, {"piece 1", frame_.Hex(120, 50), Argb{PatternPixel(270, 200)}},
                 {"piece 2 (no texture)", frame_.Hex(50, 120), Argb{0}}, {"piece 3 (no texture)", frame_.Hex(120, 120), Argb{0}});
    for (VornTextureHandle t : hog) VornTexture::Release(t);
    VornSheet::Finalize();
    ASSERT_TRUE(VornSheet::Initialize());
    const std::string text = log.Text();
    EXPECT_NAMED({"read failures", vorntest::CountIn(text, RedStart("ファイルの読み込みに失敗しました")), 2},
                 {"memory failures", vorntest::CountIn(text, Red("シート用メモリの確保に失敗")), 1},
                 {"full table", vorntest::CountIn(text, Red("空きシートが見つかりませんでした。")), 1});
    EXPECT_TRUE(vorntest::InOrder(text, {Red("　SheetNo.02 : テクスチャの生成に失敗"), Red("　SheetNo.03 : テクスチャの生成に失敗")}));
    EXPECT_EQ(1, vorntest::CountIn(text, Red("Sheet Destroy [ No." + std::to_string(s) + " ]")));
}
