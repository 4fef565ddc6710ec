// VornTexture and VornSurface on the engine's device: name sharing, every kind of creation with its
// log line, pixels, drawing, copies, depth testing and device resets.
#include "EngineFixture.h"
#include "TextureRead.h"
#include "VornSurface.h"
#include "VornTexture.h"

using namespace vorntest;

namespace {

std::vector<uint32_t> Solid(int width, int height, uint32_t rgb) { return std::vector<uint32_t>(size_t(width) * height, rgb); }

VornTextureHandle FromBmp(const std::vector<unsigned char>& bmp, uint32_t format, D3DCOLOR key = 0)
{
    return VornTexture::LoadFromMemory(bmp.data(), static_cast<uint32_t>(bmp.size()), format, key);
}

// The RGB of a surface's pixel, read back.
uint32_t PixelOf(VornSurfaceHandle h, int x, int y)
{
    Readback back;
    return back.Read(Vorn3D::GetDevice(), VornSurface::GetSurface(h)) ? back.Rgb(x, y) : 0xDEADBEEF;
}

// Level 0 of a render-target texture, read back.
bool ReadTarget(VornTextureHandle h, Readback* back)
{
    IDirect3DSurface9* level0 = nullptr;
    if (!VornTexture::GetTexture(h) || FAILED(VornTexture::GetTexture(h)->GetSurfaceLevel(0, &level0))) return false;
    level0->Release();   // the texture keeps its level
    return back->Read(Vorn3D::GetDevice(), level0);
}

// The engine's device (started again when a test before ended it) with both tables.
class Texture : public EngineSuite {
protected:
    void SetUp() override
    {
        if (!Vorn3D::GetDevice()) StartDevice();
        EngineSuite::SetUp();
        Restart(0, 0);
    }
    void TearDown() override
    {
        EngineSuite::TearDown();
        VornTexture::Finalize();
        VornSurface::Finalize();
        VornFile::SetRootPath("data", "data.bin");
    }
    static bool StartDevice() { return Vorn3D::Initialize() && Vorn3D::Start(window_, true); }
    // Both tables started again with these capacities (0 = the default).
    static void Restart(uint32_t textures, uint32_t surfaces)
    {
        VornTexture::Finalize();
        VornSurface::Finalize();
        VornSurface::SetMax(surfaces);
        ASSERT_TRUE(VornSurface::Initialize());
        VornTexture::SetMax(textures);
        ASSERT_TRUE(VornTexture::Initialize());
    }
    // A textured rectangle in screen pixels, sampled from the whole texture, with the engine's pixel offset.
    static void DrawTexture(VornTextureHandle texture, float x, float y, float w, float h)
    {
        struct V { float x, y, z, rhw, u, v; };
        const float o = VornTexture::GetPixelOffset();
        const V quad[4] = {{x + o, y + o, 0.5f, 1.0f, 0.0f, 0.0f}, {x + w + o, y + o, 0.5f, 1.0f, 1.0f, 0.0f},
                           {x + o, y + h + o, 0.5f, 1.0f, 0.0f, 1.0f}, {x + w + o, y + h + o, 0.5f, 1.0f, 1.0f, 1.0f}};
        Vorn3D::SetTexture(0, texture);
        Vorn3D::GetDevice()->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
        Vorn3D::GetDevice()->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
        Vorn3D::SetTexture(0, VORN_INVALID_HANDLE);
    }
};

}  // namespace

TEST_F(Texture, EveryCreationWritesItsWholeLineAndAPackOnlyNameIsSharedByCount)
{
    const auto bmp = PatternBmp(4, 2), bmp8 = PatternBmp(8, 4);
    const std::string folder = UseFiles({{"texture\\loose.bmp", bmp8}}, {{"texture\\packed.bmp", bmp8}});
    const std::string argb = Vorn3D::GetFormatName(D3DFMT_A8R8G8B8), xrgb = Vorn3D::GetFormatName(D3DFMT_X8R8G8B8);
    const std::string ok = Green("Success") + "<BR>\n";
    LogCapture log;
    ASSERT_EQ(0u, VornTexture::Create(16, 8, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8));
    ASSERT_EQ(1u, VornTexture::CreateRenderTarget(32, 16, 0));
    ASSERT_EQ(2u, VornTexture::CreateFromPack(bmp.data(), static_cast<uint32_t>(bmp.size()), VORN_FORMAT_EXACT | D3DFMT_X8R8G8B8, 0));
    // Record 3: the "Already Existed" line of the second call names the record the first returned.
    const VornTextureHandle a = VornTexture::CreateFromFile("packed.bmp", VORN_FORMAT_EXACT | D3DFMT_X8R8G8B8, 0);
    ASSERT_EQ(a, VornTexture::CreateFromFile("packed.bmp", 0, 0xFF00FF00));
    EXPECT_NAMED({"references", VornTexture::GetRefCount(a), 2u}, {"colour key (the first stays)", Argb{VornTexture::GetRecord(a)->colorKey}, Argb{0}});
    IDirect3DTexture9* object = VornTexture::GetTexture(a);
    VornTexture::Release(a);
    EXPECT_NAMED({"texture after one release", VornTexture::GetTexture(a), object}, {"references", VornTexture::GetRefCount(a), 1u});
    VornTexture::Release(a);
    EXPECT_NAMED({"texture after the last release", VornTexture::GetTexture(a), nullptr}, {"record", VornTexture::GetRecord(a), nullptr});
    EXPECT_EQ(VORN_INVALID_HANDLE, VornTexture::CreateFromFile("missing.bmp", 0, 0));
    EXPECT_TRUE(HasAll(log.Text(), {
        Blue("VornTexture::Create") + " : [ No.0 ] : [ 16 x 8 ] : [ " + argb + " ] : MIPMAP [ 1 ] : [ 16 x 8 ] : [ " + argb + " ] : " + ok,
        Blue("VornTexture::CreateRenderTarget") + " : [ No.1 ] : [ 32 x 16 ] : [ " + argb + " ] :  TexSize [ 32 x 16 ] : " + ok,
        "VornTexture::CreateFromPack</FONT>",
        "</TABLE>\n[ No.2 ] : [ 4 x 2 ] : [ " + xrgb + " ] : Mipmap [ 1 ] : [ 4 x 2 ] : [ " + xrgb + " ] : " + ok,
        Blue("VornTexture::CreateFromFile") + " : [ packed.bmp ] : [ No.3 ] : [ 8 x 4 ] : [ " + xrgb + " ] : Mipmap [ 1 ] : [ 8 x 4 ] : [ " +
            xrgb + " ] : " + ok,
        Blue("VornTexture::CreateFromFile") + " : [ packed.bmp ] : [ No.3 ] : Already Existed : " + ok,
        Red("VornTexture::Release") + " : [ No.3 ] [Reference 1]<BR>\n" + Red("VornTexture::Release") + " : [ No.3 ] [Reference 0]<BR>\n",
        Red("ファイルの読み込みに失敗しました")}));

    // A loose file is named by its path and loaded again each time.
    const VornTextureHandle b = VornTexture::CreateFromFile("loose.bmp", 0, 0), c = VornTexture::CreateFromFile("loose.bmp", 0, 0);
    ASSERT_TRUE(b != VORN_INVALID_HANDLE && c != VORN_INVALID_HANDLE && b != c) << b << " " << c;
    const std::string path = folder + "\\root\\texture\\loose.bmp";
    EXPECT_EQ(b, VornTexture::FindByName(path.c_str()));   // the lowest record of exactly this name
}

TEST_F(Texture, FullTablesRefuseTheNextRecordWithTheirLinesAndLeaveTheFirst)
{
    Restart(1, 1);
    ASSERT_EQ(0u, VornTexture::Create(16, 16, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8));
    ASSERT_EQ(0u, VornSurface::Create(8, 8, 0));
    IDirect3DTexture9* object = VornTexture::GetTexture(0);
    LogCapture log;
    const std::pair<const char*, VornHandle> refused[] = {   // made in this order
        {"texture target", VornTexture::CreateRenderTarget(16, 16, 0)}, {"plain texture", VornTexture::Create(16, 16, 0)},
        {"image", FromBmp(PatternBmp(2, 2), 0)}, {"surface target", VornSurface::CreateRenderTarget(8, 8, 0)}, {"back buffer", VornSurface::GetBackBuffer()}};
    for (const auto& r : refused) EXPECT_EQ(VORN_INVALID_HANDLE, r.second) << r.first;
    EXPECT_NAMED({"first texture", VornTexture::GetTexture(0), object}, {"its references", VornTexture::GetRefCount(0), 1u});
    VornSurface::Finalize();
    EXPECT_NAMED({"full texture table lines", log.Count(Red("空きテクスチャが見つかりませんでした。")), 3},
                 {"full surface table lines", log.Count(Red("空きサーフェスが見つかりませんでした")), 2});
    EXPECT_TRUE(InOrder(log.Text(), {"VornSurfaceクラスの解放", Red("Surface Destroy [ No.0 ]")}));
}

TEST_F(Texture, BrokenImagesAreRefusedAndGiveTheirRecordsBack)
{
    const auto bmp = PatternBmp(20, 12);
    const VornTextureHandle h = VornTexture::CreateFromPack(bmp.data(), static_cast<uint32_t>(bmp.size()),
                                                            VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8, 0);
    ASSERT_NE(VORN_INVALID_HANDLE, h);
    EXPECT_NAMED({"image width", VornTexture::GetImageWidth(h), 20u}, {"image height", VornTexture::GetImageHeight(h), 12u},
                 {"pool", VornTexture::GetRecord(h)->pool, D3DPOOL_MANAGED}, {"name", VornTexture::GetRecord(h)->name, ""});

    LogCapture log;
    const unsigned char junk[64] = {1, 2, 3}, shortBmp[32] = {'B', 'M'};
    // A depth format cannot make a texture: the image is read, the creation fails.
    const std::pair<const char*, VornHandle> refused[] = {   // made in this order
        {"junk texture", VornTexture::LoadFromMemory(junk, sizeof junk, 0, 0)}, {"texture of nothing", VornTexture::LoadFromMemory(nullptr, 0, 0, 0)},
        {"depth-format texture", FromBmp(bmp, VORN_FORMAT_EXACT | D3DFMT_D16)},
        {"short surface", VornSurface::CreateFromMemory(shortBmp, sizeof shortBmp, 0, 0)},
        {"surface of no file", VornSurface::CreateFromFile("no_such_file.bmp", 0, 0)},
        {"colour-format depth surface", VornSurface::CreateDepthStencil(64, 64, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8)}};
    for (const auto& r : refused) EXPECT_EQ(VORN_INVALID_HANDLE, r.second) << r.first;
    // Read failures: two textures, one surface (with a reason), one surface file.
    EXPECT_NAMED({"read failures with a reason", log.Count(RedStart("ファイルの読み込みに失敗しました [ ")), 3},
                 {"read failure of the file", log.Count(Red("ファイルの読み込みに失敗しました")), 1},
                 {"texture creation failure", log.Count(RedStart("テクスチャの生成に失敗 [ ")), 1},
                 {"surface creation failure", log.Count(RedStart("サーフェイスの生成に失敗 [ ")), 1});
    // The refused loads gave their records back.
    EXPECT_EQ(h + 1, VornTexture::AllocRecord()) << "the next texture record";
    EXPECT_EQ(0u, VornSurface::AllocRecord()) << "the next surface record";
}

TEST_F(Texture, QsgEntriesAreSharedUnderArchiveAndEntryName)
{
    UseFiles({}, {{"texture\\tiles.qsg", TileArchive()}});   // read from the pack as a stream of its entry
    const VornTextureHandle a = VornTexture::CreateFromQSG("tiles.qsg", "Tile", VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8);
    ASSERT_NE(VORN_INVALID_HANDLE, a);
    EXPECT_STREQ("tiles.qsg:Tile", VornTexture::GetRecord(a)->name);
    LogCapture log;
    ASSERT_EQ(a, VornTexture::CreateFromQSG("tiles.qsg", "Tile", 0));
    EXPECT_EQ(2u, VornTexture::GetRefCount(a));
    uint32_t w = 0;
    const std::vector<uint32_t> texels = ReadTexture<uint32_t>(a, &w);
    EXPECT_EQ(Hex({0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0x80FFFFFF}), Hex({texels.at(0), texels.at(1), texels.at(w), texels.at(w + 1)}));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornTexture::CreateFromQSG("tiles.qsg", "none", 0));
    EXPECT_TRUE(HasAll(log.Text(), {Blue("VornTexture::CreateFromQSG") + ": [ tiles.qsg / Tile ] : [ No." + std::to_string(a) +
                                        " ] : Already Existed : " + Green("Success"),
                                    Red("ファイルの読み込みに失敗しました [ Can't Load QSG File ]")}));
}

TEST_F(Texture, ColorFillWritesEachListedFormatAndNothingElse)
{
    struct Case { D3DFORMAT format; D3DCOLOR argb; uint32_t expected; };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, 0x80FF8040u, 0x80FF8040u},
        {D3DFMT_A1R5G5B5, 0x80FF8040u, 1u << 15 | 31u << 10 | 16u << 5 | 8u},
        {D3DFMT_A1R5G5B5, 0x7FFF8040u, 31u << 10 | 16u << 5 | 8u},
        {D3DFMT_A4R4G4B4, 0x80FF8040u, 8u << 12 | 15u << 8 | 8u << 4 | 4u},
        {D3DFMT_R5G6B5, 0x80FF8040u, 31u << 11 | 32u << 5 | 8u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Vorn3D::GetFormatName(c.format));
        const VornTextureHandle h = VornTexture::Create(6, 3, VORN_FORMAT_EXACT | c.format);
        ASSERT_NE(VORN_INVALID_HANDLE, h);
        VornTexture::ColorFill(h, c.argb);
        const std::vector<uint32_t> texels = c.format == D3DFMT_A8R8G8B8 ? ReadTexture<uint32_t>(h) : ReadTexture<uint16_t, uint32_t>(h);
        EXPECT_EQ(std::vector<Argb>(size_t(VornTexture::GetWidth(h)) * VornTexture::GetHeight(h), Argb{c.expected}), Hex(texels));
        VornTexture::Release(h);
    }

    // A compressed texture is not a format the fill knows: its blocks stay as they were.
    const VornTextureHandle dxt = VornTexture::Create(8, 8, VORN_FORMAT_EXACT | D3DFMT_DXT1);
    ASSERT_NE(VORN_INVALID_HANDLE, dxt);
    void* bits = nullptr;
    int32_t pitch = 0;
    ASSERT_TRUE(VornTexture::Lock(dxt, &bits, &pitch, nullptr, nullptr, nullptr));
    memset(bits, 0x5A, static_cast<size_t>(pitch) * 2);   // two rows of 4 x 4 blocks
    VornTexture::Unlock(dxt);
    VornTexture::ColorFill(dxt, 0xFFFFFFFF);
    ASSERT_TRUE(VornTexture::Lock(dxt, &bits, &pitch, nullptr, nullptr, nullptr));
    EXPECT_BYTES_EQ(std::vector<uint8_t>(static_cast<size_t>(pitch) * 2, 0x5A).data(), bits, static_cast<size_t>(pitch) * 2);
    VornTexture::Unlock(dxt);
    VornTexture::ColorFill(VORN_INVALID_HANDLE, 0);   // none does nothing
}

TEST_F(Texture, OneToOnePointDrawsCopyTheImageAndTheColourKeyClearsPureGreen)
{
    const VornTextureHandle h = FromBmp(PatternBmp(16, 16), VORN_FORMAT_EXACT | D3DFMT_X8R8G8B8);
    std::vector<uint32_t> keyed(8 * 8, 0x0000FF00);   // a green frame around a blue centre
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x) keyed[y * 8 + x] = 0x000000FF;
    keyed[0] = 0x0000FE00;   // nearly green stays
    const VornTextureHandle k = FromBmp(MakeBmp(8, 8, keyed), VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8, 0xFF00FF00);
    ASSERT_TRUE(h != VORN_INVALID_HANDLE && k != VORN_INVALID_HANDLE) << h << " " << k;
    Vorn3D::SetTextureFilter(false);
    Vorn3D::SetAlphaEnable(true);
    Vorn3D::SetBlendMode(BLEND_ALPHA);
    const D3DRECT red = {100, 100, 108, 108};
    Frame([&] {
        ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0, &red));
        DrawTexture(h, 40, 30, 16, 16);
        DrawTexture(k, 100, 100, 8, 8);
    });
    for (int y = -1; y <= 16; ++y)   // the image and a black border around it
        for (int x = -1; x <= 16; ++x)
            ASSERT_EQ(Argb{x >= 0 && x < 16 && y >= 0 && y < 16 ? PatternPixel(x, y) : 0}, frame_.Hex(40 + x, 30 + y)) << "image pixel " << x << ", " << y;
    // The keyed texture: nearly green stays, green lets the red background show, the blue centre.
    EXPECT_NAMED({"nearly green", frame_.Hex(100, 100), Argb{0x00FE00}}, {"red pixels", frame_.Count(100, 100, 108, 108, 0xFF0000), 64 - 16 - 1},
                 {"blue pixels", frame_.Count(100, 100, 108, 108, 0x0000FF), 16});
}

TEST_F(Texture, RenderTargetsAreMadeAgainAfterAResetAndManagedTexturesStay)
{
    const VornTextureHandle target = VornTexture::CreateRenderTarget(64, 32, 0);
    const VornTextureHandle managed = VornTexture::Create(16, 16, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8);
    ASSERT_TRUE(target != VORN_INVALID_HANDLE && managed != VORN_INVALID_HANDLE) << target << " " << managed;
    EXPECT_NAMED({"target name", VornTexture::GetRecord(target)->name, "RENDER_TARGET"}, {"managed name", VornTexture::GetRecord(managed)->name, "CREATE"});
    EXPECT_FALSE(VornTexture::Lock(target, nullptr, nullptr, nullptr, nullptr, nullptr));   // default pool
    VornTexture::ColorFill(managed, 0xFF123456);
    IDirect3DTexture9* managedObject = VornTexture::GetTexture(managed);

    Vorn3D::ResetDevice(true);

    D3DSURFACE_DESC desc;
    ASSERT_NE(nullptr, VornTexture::GetTexture(target));
    ASSERT_EQ(D3D_OK, VornTexture::GetTexture(target)->GetLevelDesc(0, &desc));
    // (Its usage: the new target is set below; its record's size: the creation line.)
    EXPECT_NAMED({"level width", desc.Width, 64u}, {"level height", desc.Height, 32u}, {"managed texture", VornTexture::GetTexture(managed), managedObject},
                 {"its texel", Argb{ReadTexture<uint32_t>(managed).at(0)}, Argb{0xFF123456}});
    // The new target draws: clear it through the engine and read it back.
    ASSERT_TRUE(Vorn3D::SetRenderTargetTexture(target));
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0, nullptr));
    Readback back;
    ASSERT_TRUE(ReadTarget(target, &back));
    EXPECT_EQ(64 * 32, back.Count(0, 0, 64, 32, 0x00FF00));
}

// The device goes away between the loss and the restore: nothing can be made, every reference stays,
// and the next restore with a device brings all back.
TEST_F(Texture, ResourcesThatCannotBeMadeAgainKeepTheirReferencesUntilTheNextRestore)
{
    const VornTextureHandle target = VornTexture::CreateRenderTarget(32, 32, 0), other = VornTexture::CreateRenderTarget(32, 32, 0);
    ASSERT_NE(VORN_INVALID_HANDLE, other);
    VornTexture::AddRef(target);
    const VornSurfaceHandle surface = VornSurface::CreateRenderTarget(32, 32, 0);
    const VornSurfaceHandle depth = VornSurface::CreateDepthStencil(32, 32, VORN_FORMAT_DEPTH16);
    const VornSurfaceHandle back = VornSurface::GetBackBuffer();
    VornTexture::OnDeviceLost();
    VornSurface::OnDeviceLost();
    Vorn3D::Finalize();
    LogCapture log;
    VornTexture::OnDeviceRestore();
    VornSurface::OnDeviceRestore();
    EXPECT_EQ(2, log.Count(RedStart("テクスチャのリストアに失敗 [ ")));
    EXPECT_TRUE(HasAll(log.Text(), {RedStart("バックバッファのリストアに失敗しました [ "), RedStart("サーフェイスのリストアに失敗 [ ")}));
    const HDC dc = VornTexture::GetDC(target);
    const bool locked = VornTexture::Lock(target, nullptr, nullptr, nullptr, nullptr, nullptr);
    const bool targetSet = VornTexture::SetRenderTarget(target), copied = VornTexture::StretchCopy(other, nullptr, target, nullptr);
    EXPECT_NAMED({"target references", VornTexture::GetRefCount(target), 2u}, {"other references", VornTexture::GetRefCount(other), 1u},
                 {"target texture", VornTexture::GetTexture(target), nullptr}, {"its DC", dc, nullptr}, {"locked", locked, false},
                 {"set as target", targetSet, false}, {"copied into", copied, false});
    EXPECT_NAMED({"target surface references", VornSurface::GetRefCount(surface), 1u}, {"target surface", VornSurface::GetSurface(surface), nullptr},
                 {"depth references", VornSurface::GetRefCount(depth), 1u}, {"depth surface", VornSurface::GetSurface(depth), nullptr},
                 {"back buffer references", VornSurface::GetRefCount(back), 1u}, {"back buffer", VornSurface::GetSurface(back), nullptr});
    EXPECT_FALSE(VornSurface::SetRenderTargetSurface(surface));
    LogCapture lineLog;
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSurface::GetBackBuffer());
    EXPECT_FALSE(VornSurface::SetDepthStencilSurface(VORN_INVALID_HANDLE));
    EXPECT_TRUE(InOrder(lineLog.Text(), {RedStart("バックバッファの取得に失敗しました [ "), Red("SetDepthStecilSurface Failed")}));

    ASSERT_TRUE(StartDevice());
    VornTexture::OnDeviceRestore();
    VornSurface::OnDeviceRestore();
    EXPECT_TRUE(VornTexture::SetRenderTarget(target));
    EXPECT_TRUE(VornTexture::StretchCopy(other, nullptr, target, nullptr));
    EXPECT_NAMED({"target surface made", VornSurface::GetSurface(surface) != nullptr, true}, {"depth made", VornSurface::GetSurface(depth) != nullptr, true},
                 {"back buffer taken", VornSurface::GetSurface(back) != nullptr, true});
    EXPECT_TRUE(VornSurface::SetRenderTargetSurface(surface));
    EXPECT_TRUE(VornSurface::SetDepthStencilSurface(depth));
}

TEST_F(Texture, FinalizeLogsADestroyLinePerLiveTextureAndATooLargeTableFailsTheStart)
{
    // Live records 0 and 2 (two references), record 1 freed before.
    const VornTextureHandle a = VornTexture::Create(4, 4, 0), freed = VornTexture::Create(4, 4, 0);
    const VornTextureHandle b = VornTexture::CreateRenderTarget(4, 4, 0);
    VornTexture::Release(freed);
    VornTexture::AddRef(b);
    LogCapture log;
    VornTexture::Finalize();
    EXPECT_EQ(nullptr, VornTexture::GetTexture(a));
    VornTexture::Finalize();   // a second time: nothing but the title
    VornSurface::Finalize();
    VornTexture::SetMax(0x7FFFFFFF);
    VornSurface::SetMax(0x7FFFFFFF);
    EXPECT_FALSE(VornTexture::Initialize());
    EXPECT_FALSE(VornSurface::Initialize());
    EXPECT_NAMED({"destroy lines of 0 and 2", log.Count(Red("Texture Destroy [ No.0 ]") + "<BR>\n" + Red("Texture Destroy [ No.2 ]") + "<BR>\n"), 1},
                 {"lines of 2 (two references)", log.Count("No.2 ]"), 1}, {"lines of the freed 1", log.Count("No.1 ]"), 0},
                 {"titles", log.Count("VornTextureクラスの解放"), 2});
    EXPECT_TRUE(HasAll(log.Text(), {"VornTextureクラスの初期化", "<B>テクスチャ用メモリ確保</B>",
                                    "<B><FONT color=\"RED\">　　　テクスチャ用メモリの確保に失敗", "VornSurfaceクラスの初期化",
                                    "<B>サーフェイス用メモリ確保</B>", "<B><FONT color=\"RED\">　　　サーフェイス用メモリの確保に失敗"}));
}

// Also after a reset: the depth surface is made again and bound again.
TEST_F(Texture, TheNearerSquareWinsInEitherOrderAlsoAfterAReset)
{
    const VornSurfaceHandle depth = VornSurface::CreateDepthStencil(kSize, kSize, VORN_FORMAT_DEPTH16);
    ASSERT_NE(VORN_INVALID_HANDLE, depth);   // its record's name and format: the surface creation lines
    ASSERT_TRUE(Vorn3D::SetDepthStencilSurface(depth));
    Vorn3D::SetTexture(0, VORN_INVALID_HANDLE);
    Vorn3D::SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    Vorn3D::SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    Vorn3D::SetAlphaEnable(false);
    // Two overlapping squares at two depths, drawn in the given order.
    auto drawPair = [this](bool nearFirst, uint32_t clear) {
        ASSERT_TRUE(Vorn3D::Clear(clear, 0xFF000000, 1.0f, 0, nullptr));
        ASSERT_TRUE(Vorn3D::BeginScene());
        for (int d : {nearFirst ? 0 : 1, nearFirst ? 1 : 0})   // d 0: near and blue at 40-120; d 1: far and red at 80-160
            DrawColourQuad(40 + 40 * d, 40 + 40 * d, 120 + 40 * d, 120 + 40 * d, d ? 0xFFFF0000 : 0xFF0000FF, 0.25f + 0.5f * d);
        Vorn3D::EndScene();
        ASSERT_TRUE(ReadBack());
    };
    for (int pass = 0; pass < 2; ++pass) {
        for (bool nearFirst : {true, false}) {
            SCOPED_TRACE(std::string(pass ? "after the reset, " : "") + (nearFirst ? "near first" : "far first"));
            drawPair(nearFirst, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
            EXPECT_NAMED({"overlap", frame_.Hex(100, 100), Argb{0x0000FF}}, {"near alone", frame_.Hex(45, 45), Argb{0x0000FF}},
                         {"far alone", frame_.Hex(150, 150), Argb{0xFF0000}}, {"blue overlap pixels", frame_.Count(80, 80, 120, 120, 0x0000FF), 40 * 40});
        }
        if (pass == 0) Vorn3D::ResetDevice(true);
    }
    // Without the depth buffer the later square wins.
    EXPECT_TRUE(VornSurface::SetDepthStencilSurface(VORN_INVALID_HANDLE));
    Vorn3D::SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    drawPair(true, D3DCLEAR_TARGET);
    EXPECT_EQ(Argb{0xFF0000}, frame_.Hex(100, 100));
}

// Also the surfaces that cannot be read again (from memory, from the pack): they keep their
// references without a surface and refuse every use.
TEST_F(Texture, EverySurfaceCreationWritesItsWholeLineAndEverySurfaceIsMadeAgainAfterAReset)
{
    const std::string folder = UseFiles({{"texture\\plain.bmp", MakeBmp(8, 8, Solid(8, 8, 0x123456))}},
                                        {{"texture\\packed.bmp", MakeBmp(4, 4, Solid(4, 4, 0x445566))}});
    const auto bmp = MakeBmp(4, 2, Solid(4, 2, 0xABCDEF));
    LogCapture log;
    const VornSurfaceHandle back = VornSurface::GetBackBuffer();
    const VornSurfaceHandle plain = VornSurface::Create(32, 16, 0);
    const VornSurfaceHandle target = VornSurface::CreateRenderTarget(64, 32, 0);
    const VornSurfaceHandle depth = VornSurface::CreateDepthStencil(64, 32, VORN_FORMAT_DEPTH16);
    const VornSurfaceHandle memory = VornSurface::CreateFromMemory(bmp.data(), static_cast<uint32_t>(bmp.size()), VORN_FORMAT_X8R8G8B8, 0);
    const VornSurfaceHandle loaded = VornSurface::CreateFromFile("plain.bmp", VORN_FORMAT_X8R8G8B8, 0);
    const VornSurfaceHandle all[6] = {back, plain, target, depth, memory, loaded};   // records 0-5: the lines and names below
    const std::string path = folder + "\\root\\texture\\plain.bmp";
    ASSERT_EQ(loaded, VornSurface::CreateFromFile(path.c_str(), 0, 0));
    VornSurface::Release(loaded);

    const std::string backFormat = Vorn3D::GetFormatName(Vorn3D::GetFormat(VORN_FORMAT_BACKBUFFER));
    const std::string xrgb = Vorn3D::GetFormatName(D3DFMT_X8R8G8B8), ok = Green("Success") + "<BR>\n";
    EXPECT_TRUE(HasAll(log.Text(), {
        Blue("VornSurface::GetBackBuffer") + " : [ No.0 ] :  : [ 256 x 256 ] : [ " + backFormat + " ] : " + ok,
        Blue("VornSurface::Create") + " : [ No.1 ] : [ 32 x 16 ] : [ " + backFormat + " ] : " + ok,
        Blue("VornSurface::CreateRenderTarget") + " : [ No.2 ] : [ 64 x 32 ] : [ " + Vorn3D::GetFormatName(D3DFMT_A8R8G8B8) + " ] : " + ok,
        Blue("VornSurface::CreateDepthStencil") + " : [ No.3 ] : [ 64 x 32 ] : [ " + Vorn3D::GetFormatName(D3DFMT_D16) + " ] : " + ok,
        Blue("VornSurface::CreateFromMemory") + " : [ No.4 ] : [ 4 x 2 ] : [ " + xrgb + " ] : " + ok,
        Blue("VornSurface::CreateFromFile") + " : [plain.bmp] :  : [ No.5 ] : [ 8 x 8 ] : [ " + xrgb + " ] : " + ok,
        Blue("VornSurface::CreateFromFile") + " : [" + path + "] : [ No.5 ] : Already Existed : " + ok}));

    std::vector<std::string> names;
    for (VornSurfaceHandle h : all) names.push_back(VornSurface::GetRecord(h)->name);
    EXPECT_EQ((std::vector<std::string>{"BACK_BUFFER", "CREATE", "RENDER_TARGET", "DEPTH_STENCIL", "", path}), names);
    EXPECT_NAMED({"back buffer width", VornSurface::GetRecord(back)->width, kSize}, {"marked back buffer", int(VornSurface::GetRecord(back)->isBackBuffer), 1},
                 {"loaded pixel", Argb{PixelOf(loaded, 3, 3)}, Argb{0x123456}}, {"memory pixel", Argb{PixelOf(memory, 1, 1)}, Argb{0xABCDEF}});
    const VornSurfaceHandle packed = VornSurface::CreateFromFile("packed.bmp", VORN_FORMAT_X8R8G8B8, 0);
    ASSERT_NE(VORN_INVALID_HANDLE, packed);
    EXPECT_EQ(packed, VornSurface::CreateFromFile("packed.bmp", 0, 0));   // shared by its bare name: the count of 2 below

    LogCapture resetLog;
    Vorn3D::ResetDevice(true);

    EXPECT_EQ(1, resetLog.Count(RedStart("ファイルの読み込みに失敗 [ "))) << "the packed surface read again";
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE("record " + std::to_string(i) + " " + names[i]);
        EXPECT_NAMED({"made again", all[i] == memory || VornSurface::GetSurface(all[i]), true}, {"references", VornSurface::GetRefCount(all[i]), 1u});
    }
    ASSERT_TRUE(VornSurface::SetRenderTargetSurface(target));
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF0A0B0C, 1.0f, 0, nullptr));
    // The new target draws; the loaded surface was read again from its path. Nothing to make the
    // memory surface from.
    const bool copied = VornSurface::Copy(plain, memory);
    EXPECT_NAMED({"target pixel", Argb{PixelOf(target, 63, 31)}, Argb{0x0A0B0C}}, {"loaded pixel", Argb{PixelOf(loaded, 3, 3)}, Argb{0x123456}},
                 {"back buffer", VornSurface::GetSurface(back), BackBuffer(device_)}, {"memory surface", VornSurface::GetSurface(memory), nullptr},
                 {"copied into it", copied, false});
    const HDC dc = VornSurface::GetDC(packed);
    const bool asTarget = VornSurface::SetRenderTargetSurface(packed), asDepth = VornSurface::SetDepthStencilSurface(packed);
    const bool stretched = VornSurface::StretchCopy(target, nullptr, packed, nullptr), copiedFrom = VornSurface::Copy(target, packed);
    EXPECT_NAMED({"packed references", VornSurface::GetRefCount(packed), 2u}, {"packed surface", VornSurface::GetSurface(packed), nullptr}, {"its DC", dc, nullptr},
                 {"set as target", asTarget, false}, {"set as depth", asDepth, false}, {"stretched from", stretched, false},
                 {"copied from", copiedFrom, false});
    VornSurface::Release(packed);
    VornSurface::Release(packed);
    EXPECT_EQ(nullptr, VornSurface::GetRecord(packed));
}

// Render targets of both classes: a stretched copy, the copies refused (outside the viewport, empty,
// no handle), a target refused with its lines, a DC drawn into; plain copies of surfaces.
TEST_F(Texture, StretchCopiesRefusedTargetsAndDcsOfTexturesAndSurfaces)
{
    const struct {
        VornHandle (*target)(uint32_t, uint32_t, VornFormatKind), (*plain)(uint32_t, uint32_t, VornFormatKind);
        bool (*setTarget)(VornHandle), (*stretch)(VornHandle, const RECT*, VornHandle, const RECT*), (*copy)(VornHandle, VornHandle);
        HDC (*dc)(VornHandle);
        void (*releaseDC)(VornHandle, HDC);
        bool (*read)(VornHandle, Readback*);
        uint32_t (*pixel)(VornHandle, int, int);
        std::vector<std::string> refusedTarget;
    } classes[] = {
        {VornTexture::CreateRenderTarget, VornTexture::Create, VornTexture::SetRenderTarget, VornTexture::StretchCopy, nullptr,
         VornTexture::GetDC, VornTexture::ReleaseDC, ReadTarget,
         [](VornHandle h, int x, int y) { return ReadTexture<uint32_t>(h).at(y * 16 + x) & 0xFFFFFFu; },
         {Red("VornTexture::SetRenderTarget : Invalid Texture Handle"), Red("VornTexture::SetRenderTarget : Failed")}},
        {VornSurface::CreateRenderTarget, VornSurface::Create, VornSurface::SetRenderTargetSurface, VornSurface::StretchCopy,
         VornSurface::Copy, VornSurface::GetDC, VornSurface::ReleaseDC,
         [](VornHandle h, Readback* back) { return back->Read(Vorn3D::GetDevice(), VornSurface::GetSurface(h)); },
         PixelOf, {Red("Invalid Surface Handle"), Red("SetRenderTargetSurface Failed")}},
    };
    for (const auto& c : classes) {
        SCOPED_TRACE(c.copy ? "surface" : "texture");
        const VornHandle a = c.target(32, 32, 0), b = c.target(64, 64, 0), plain = c.plain(16, 16, VORN_FORMAT_EXACT | D3DFMT_X8R8G8B8);
        ASSERT_TRUE(a != VORN_INVALID_HANDLE && b != VORN_INVALID_HANDLE && plain != VORN_INVALID_HANDLE) << a << " " << b << " " << plain;
        ASSERT_TRUE(c.setTarget(a));   // blue with a red corner of 16 x 16
        ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0, nullptr));
        const D3DRECT corner = {0, 0, 16, 16};
        ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0, &corner));
        ASSERT_TRUE(c.setTarget(b));
        ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0, nullptr));

        const RECT left = {0, 0, 32, 64}, outside = {-40, 0, -8, 32}, beyond = {300, 0, 340, 10}, empty = {0, 0, 0, 10};
        EXPECT_TRUE(c.stretch(b, &left, a, nullptr));   // 32 x 32 onto the left 32 x 64
        Readback back;
        ASSERT_TRUE(c.read(b, &back));
        EXPECT_NAMED({"red corner", back.Count(0, 0, 16, 32, 0xFF0000), 16 * 32}, {"blue rest", back.Count(0, 0, 32, 64, 0x0000FF), 32 * 64 - 16 * 32},
                     {"black right half", back.Count(32, 0, 64, 64, 0), 32 * 64});
        const std::pair<const char*, bool> refused[] = {{"outside the viewport", c.stretch(b, &outside, a, nullptr)},   // in this order
            {"beyond it", c.stretch(b, &beyond, a, nullptr)}, {"empty", c.stretch(b, &empty, a, nullptr)},
            {"into no handle", c.stretch(VORN_INVALID_HANDLE, nullptr, a, nullptr)}, {"from no handle", c.stretch(b, nullptr, VORN_INVALID_HANDLE, nullptr)}};
        for (const auto& r : refused) EXPECT_FALSE(r.second) << r.first;
        if (c.copy) {   // the same size only: b is left as it was
            const VornHandle d = c.target(32, 32, 0);
            const bool sameSize = c.copy(d, a), otherSize = c.copy(b, a);
            EXPECT_NAMED({"copy of the same size", sameSize, true}, {"copy of another size", otherSize, false},
                         {"copied pixel", Argb{c.pixel(d, 31, 31)}, Argb{0x0000FF}}, {"untouched pixel", Argb{c.pixel(b, 63, 63)}, Argb{0}});
        }

        LogCapture log;
        EXPECT_FALSE(c.setTarget(VORN_INVALID_HANDLE));
        EXPECT_FALSE(c.setTarget(plain));   // not a render target
        const std::string text = log.Text();
        EXPECT_TRUE(InOrder(text, c.refusedTarget));
        for (const std::string& line : c.refusedTarget) EXPECT_EQ(1, CountIn(text, line)) << line;

        HDC dc = c.dc(plain);
        ASSERT_NE(nullptr, dc);
        EXPECT_TRUE(SetPixel(dc, 3, 2, RGB(10, 20, 30)) != static_cast<COLORREF>(-1));
        c.releaseDC(plain, dc);
        EXPECT_NAMED({"pixel set through the DC", Argb{c.pixel(plain, 3, 2)}, Argb{0x0A141E}}, {"DC of no handle", c.dc(VORN_INVALID_HANDLE), nullptr});
        c.releaseDC(plain, nullptr);
    }
}
