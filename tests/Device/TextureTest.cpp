// VornTexture on the engine's device: name sharing, creation, pixels, drawing and device resets.
#include "TextureDevice.h"
#include "VornQsgLoader.h"
#include <cstring>

using namespace vorntest;

namespace {

std::vector<uint32_t> Pattern(int width, int height)
{
    std::vector<uint32_t> px(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            px[static_cast<size_t>(y) * width + x] = static_cast<uint32_t>((x * 16) << 16 | (y * 16) << 8 | (x ^ y) * 8);
    return px;
}

VornTextureHandle FromBmp(const std::vector<unsigned char>& bmp, uint32_t format, D3DCOLOR key = 0)
{
    return VornTexture::LoadFromMemory(bmp.data(), static_cast<uint32_t>(bmp.size()), format, key);
}

// The pixel at (x, y) of a lockable texture of 2 or 4 bytes a pixel; 0xDEADBEEF when it cannot be locked.
uint32_t TexturePixel(VornTextureHandle h, uint32_t x, uint32_t y, uint32_t bytes = 4)
{
    void* bits = nullptr;
    int32_t pitch = 0;
    if (!VornTexture::Lock(h, &bits, &pitch, nullptr, nullptr, nullptr)) return 0xDEADBEEF;
    uint32_t v = 0;
    memcpy(&v, static_cast<const uint8_t*>(bits) + y * pitch + x * bytes, bytes);
    VornTexture::Unlock(h);
    return v;
}

// Level 0 of a render-target texture, read back.
bool ReadTarget(IDirect3DDevice9* device, VornTextureHandle h, Readback* back)
{
    IDirect3DSurface9* level0 = nullptr;
    if (!VornTexture::GetTexture(h) || FAILED(VornTexture::GetTexture(h)->GetSurfaceLevel(0, &level0))) return false;
    const bool ok = back->Read(device, level0);
    level0->Release();
    return ok;
}

class Texture : public EngineTest {
protected:
    // A loose file root\texture\loose.bmp, and a pack holding texture\packed.bmp only.
    void MakeFiles()
    {
        const std::string folder = TestFolder();
        MakeFolders(folder + "\\root\\texture");
        MakeFolders(folder + "\\packsrc\\texture");
        const auto bmp = MakeBmp(8, 4, Pattern(8, 4));
        ASSERT_TRUE(WriteFile(folder + "\\root\\texture\\loose.bmp", bmp));
        ASSERT_TRUE(WriteFile(folder + "\\packsrc\\texture\\packed.bmp", bmp));
        ASSERT_TRUE(VornFile::BuildPack((folder + "\\pack.bin").c_str(), (folder + "\\packsrc").c_str()));
        VornFile::SetRootPath((folder + "\\root").c_str(), (folder + "\\pack.bin").c_str());
        folder_ = folder;
    }
    std::string folder_;
};

class SmallTexture : public Texture {
protected:
    uint32_t TextureMax() const override { return 1; }
};

}  // namespace

TEST_F(Texture, EveryCreationWritesItsWholeLineAndAPackOnlyNameIsSharedByCount)
{
    MakeFiles();
    const auto bmp = MakeBmp(4, 2, Pattern(4, 2));
    const std::string argb = Vorn3D::GetFormatName(D3DFMT_A8R8G8B8), xrgb = Vorn3D::GetFormatName(D3DFMT_X8R8G8B8);
    const std::string ok = Green("Success") + "<BR>\n";
    LogCapture log;
    ASSERT_EQ(0u, VornTexture::Create(16, 8, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8));
    ASSERT_EQ(1u, VornTexture::CreateRenderTarget(32, 16, 0));
    ASSERT_EQ(2u, VornTexture::CreateFromPack(bmp.data(), static_cast<uint32_t>(bmp.size()),
                                              VORN_FORMAT_EXACT | D3DFMT_X8R8G8B8, 0));
    const VornTextureHandle a = VornTexture::CreateFromFile("packed.bmp", VORN_FORMAT_EXACT | D3DFMT_X8R8G8B8, 0);
    ASSERT_EQ(3u, a);
    EXPECT_STREQ("packed.bmp", VornTexture::GetRecord(a)->name);
    ASSERT_EQ(a, VornTexture::CreateFromFile("packed.bmp", 0, 0xFF00FF00));
    EXPECT_EQ(2u, VornTexture::GetRefCount(a));
    EXPECT_EQ(0u, VornTexture::GetRecord(a)->colorKey);   // the first load's key stays
    IDirect3DTexture9* object = VornTexture::GetTexture(a);
    VornTexture::Release(a);
    EXPECT_EQ(object, VornTexture::GetTexture(a));
    EXPECT_EQ(1u, VornTexture::GetRefCount(a));
    VornTexture::Release(a);
    EXPECT_EQ(nullptr, VornTexture::GetTexture(a));
    EXPECT_EQ(nullptr, VornTexture::GetRecord(a));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornTexture::CreateFromFile("missing.bmp", 0, 0));
    const std::string text = log.Text();
    for (const std::string& line : {
             Blue("VornTexture::Create") + " : [ No.0 ] : [ 16 x 8 ] : [ " + argb + " ] : MIPMAP [ 1 ] : [ 16 x 8 ] : [ " +
                 argb + " ] : " + ok,
             Blue("VornTexture::CreateRenderTarget") + " : [ No.1 ] : [ 32 x 16 ] : [ " + argb +
                 " ] :  TexSize [ 32 x 16 ] : " + ok,
             std::string("VornTexture::CreateFromPack</FONT>"),
             "</TABLE>\n[ No.2 ] : [ 4 x 2 ] : [ " + xrgb + " ] : Mipmap [ 1 ] : [ 4 x 2 ] : [ " + xrgb + " ] : " + ok,
             Blue("VornTexture::CreateFromFile") + " : [ packed.bmp ] : [ No.3 ] : [ 8 x 4 ] : [ " + xrgb +
                 " ] : Mipmap [ 1 ] : [ 8 x 4 ] : [ " + xrgb + " ] : " + ok,
             Blue("VornTexture::CreateFromFile") + " : [ packed.bmp ] : [ No.3 ] : Already Existed : " + ok,
             Red("VornTexture::Release") + " : [ No.3 ] [Reference 1]<BR>\n" + Red("VornTexture::Release") +
                 " : [ No.3 ] [Reference 0]<BR>\n",
             Red("ファイルの読み込みに失敗しました")})
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\nin\n" << text;

    // A loose file is named by its path and loaded again each time.
    const VornTextureHandle b = VornTexture::CreateFromFile("loose.bmp", 0, 0);
    const VornTextureHandle c = VornTexture::CreateFromFile("loose.bmp", 0, 0);
    ASSERT_NE(VORN_INVALID_HANDLE, b);
    ASSERT_NE(VORN_INVALID_HANDLE, c);
    EXPECT_NE(b, c);
    const std::string path = folder_ + "\\root\\texture\\loose.bmp";
    EXPECT_EQ(path, VornTexture::GetRecord(b)->name);
    EXPECT_EQ(b, VornTexture::FindByName(path.c_str()));
    EXPECT_EQ(std::make_pair(8u, 4u), std::make_pair(VornTexture::GetImageWidth(b), VornTexture::GetImageHeight(b)));
    EXPECT_EQ(std::make_tuple(0.25f, 0.5f, 0.0f), std::make_tuple(VornTexture::PixelToU(b, 2.0f), VornTexture::PixelToV(b, 2.0f),
                                                              VornTexture::PixelToU(VORN_INVALID_HANDLE, 2.0f)));
}

TEST_F(SmallTexture, AFullTableRefusesTheNextTextureAndLeavesTheFirst)
{
    const VornTextureHandle a = VornTexture::Create(16, 16, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8);
    ASSERT_EQ(0u, a);
    IDirect3DTexture9* object = VornTexture::GetTexture(a);
    LogCapture log;
    EXPECT_EQ(VORN_INVALID_HANDLE, VornTexture::CreateRenderTarget(16, 16, 0));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornTexture::Create(16, 16, 0));
    EXPECT_EQ(VORN_INVALID_HANDLE, FromBmp(MakeBmp(2, 2, Pattern(2, 2)), 0));
    EXPECT_EQ(3, log.Count(Red("空きテクスチャが見つかりませんでした。")));
    EXPECT_EQ(object, VornTexture::GetTexture(a));
    EXPECT_EQ(1u, VornTexture::GetRefCount(a));
}

TEST_F(Texture, MemoryImagesKeepTheirSizesAndBrokenBytesAreRefused)
{
    const auto bmp = MakeBmp(20, 12, Pattern(20, 12));
    const VornTextureHandle h = VornTexture::CreateFromPack(bmp.data(), static_cast<uint32_t>(bmp.size()),
                                                            VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8, 0);
    ASSERT_NE(VORN_INVALID_HANDLE, h);
    EXPECT_STREQ("", VornTexture::GetRecord(h)->name);
    EXPECT_EQ(std::make_tuple(20u, 12u, D3DFMT_A8R8G8B8, uint32_t(D3DPOOL_MANAGED)),
              std::make_tuple(VornTexture::GetImageWidth(h), VornTexture::GetImageHeight(h), VornTexture::GetFormat(h),
                              VornTexture::GetRecord(h)->pool));
    EXPECT_GE(VornTexture::GetWidth(h), 20u);

    LogCapture log;
    const unsigned char junk[64] = {1, 2, 3};
    EXPECT_EQ(VORN_INVALID_HANDLE, VornTexture::LoadFromMemory(junk, sizeof junk, 0, 0));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornTexture::LoadFromMemory(nullptr, 0, 0, 0));
    // A depth format cannot make a texture: the image is read, the creation fails.
    EXPECT_EQ(VORN_INVALID_HANDLE, FromBmp(bmp, VORN_FORMAT_EXACT | D3DFMT_D16));
    EXPECT_EQ(2, log.Count(RedStart("ファイルの読み込みに失敗しました [ ")));
    EXPECT_EQ(1, log.Count(RedStart("テクスチャの生成に失敗 [ ")));
    EXPECT_EQ(1u, VornTexture::AllocRecord() - h);   // the refused loads gave their records back
}

TEST_F(Texture, QsgEntriesAreSharedUnderArchiveAndEntryName)
{
    const std::string folder = TestFolder();
    std::vector<unsigned char> archive = {'Q', 'S', 'G', 0, 0, 0, 0, 0};
    const char name[16] = "tile";
    archive.insert(archive.end(), name, name + 16);
    for (uint32_t v : {2u, 2u, 1u, 16u, 0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0x80FFFFFFu})   // header, pixels
        for (int i = 0; i < 4; ++i) archive.push_back(static_cast<unsigned char>(v >> (8 * i)));
    // The archive lies only in the pack, and is read as a stream of its entry.
    MakeFolders(folder + "\\packsrc\\texture");
    ASSERT_TRUE(WriteFile(folder + "\\packsrc\\texture\\tiles.qsg", archive));
    ASSERT_TRUE(VornFile::BuildPack((folder + "\\pack.bin").c_str(), (folder + "\\packsrc").c_str()));
    VornFile::SetRootPath((folder + "\\root").c_str(), (folder + "\\pack.bin").c_str());

    const VornTextureHandle a = VornTexture::CreateFromQSG("tiles.qsg", "Tile", VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8);
    ASSERT_NE(VORN_INVALID_HANDLE, a);
    EXPECT_STREQ("tiles.qsg:Tile", VornTexture::GetRecord(a)->name);
    LogCapture log;
    EXPECT_EQ(a, VornTexture::CreateFromQSG("tiles.qsg", "Tile", 0));
    EXPECT_EQ(2u, VornTexture::GetRefCount(a));
    EXPECT_EQ((std::vector<uint32_t>{0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0x80FFFFFF}),
              (std::vector<uint32_t>{TexturePixel(a, 0, 0), TexturePixel(a, 1, 0), TexturePixel(a, 0, 1), TexturePixel(a, 1, 1)}));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornTexture::CreateFromQSG("tiles.qsg", "none", 0));
    const std::string text = log.Text();
    EXPECT_NE(std::string::npos, text.find(Blue("VornTexture::CreateFromQSG") + ": [ tiles.qsg / Tile ] : [ No." +
                                           std::to_string(a) + " ] : Already Existed : " + Green("Success")));
    EXPECT_NE(std::string::npos, text.find(Red("ファイルの読み込みに失敗しました [ Can't Load QSG File ]")));
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
        ASSERT_EQ(c.format, VornTexture::GetFormat(h));
        VornTexture::ColorFill(h, c.argb);
        const uint32_t bytes = c.format == D3DFMT_A8R8G8B8 ? 4 : 2;
        for (uint32_t y = 0; y < VornTexture::GetHeight(h); ++y)
            for (uint32_t x = 0; x < VornTexture::GetWidth(h); ++x)
                ASSERT_EQ(c.expected, TexturePixel(h, x, y, bytes)) << "pixel " << x << ", " << y;
        D3DFORMAT format = D3DFMT_UNKNOWN;
        ASSERT_TRUE(VornTexture::Lock(h, nullptr, nullptr, &format, nullptr, nullptr));
        EXPECT_EQ(std::make_pair(false, c.format), std::make_pair(VornTexture::Lock(h, nullptr, nullptr, nullptr, nullptr, nullptr),
                                                                format));   // already locked
        VornTexture::Unlock(h);
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
    for (int i = 0; i < pitch * 2; ++i) ASSERT_EQ(0x5A, static_cast<const uint8_t*>(bits)[i]);
    VornTexture::Unlock(dxt);
    VornTexture::ColorFill(VORN_INVALID_HANDLE, 0);   // none does nothing
}

TEST_F(Texture, OneToOnePointDrawsCopyTheImageAndTheColourKeyClearsPureGreen)
{
    const auto px = Pattern(16, 16);
    const VornTextureHandle h = FromBmp(MakeBmp(16, 16, px), VORN_FORMAT_EXACT | D3DFMT_X8R8G8B8);
    std::vector<uint32_t> keyed(8 * 8, 0x0000FF00);   // a green frame around a blue centre
    for (int y = 2; y < 6; ++y)
        for (int x = 2; x < 6; ++x) keyed[y * 8 + x] = 0x000000FF;
    keyed[0] = 0x0000FE00;   // nearly green stays
    const VornTextureHandle k = FromBmp(MakeBmp(8, 8, keyed), VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8, 0xFF00FF00);
    ASSERT_NE(VORN_INVALID_HANDLE, h);
    ASSERT_NE(VORN_INVALID_HANDLE, k);
    EXPECT_EQ(0xFF00FF00u, VornTexture::GetRecord(k)->colorKey);
    Vorn3D::SetTextureFilter(false);
    Vorn3D::SetAlphaEnable(true);
    Vorn3D::SetBlendMode(BLEND_ALPHA);
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0, nullptr));
    const D3DRECT red = {100, 100, 108, 108};
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0, &red));
    ASSERT_TRUE(Vorn3D::BeginScene());
    DrawTexture(h, 40, 30, 16, 16);
    DrawTexture(k, 100, 100, 8, 8);
    Vorn3D::EndScene();
    ASSERT_TRUE(ReadBack());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(px[y * 16 + x], frame_.Rgb(40 + x, 30 + y)) << x << ", " << y;
    EXPECT_EQ(std::make_tuple(0u, 0u, 0u), std::make_tuple(frame_.Rgb(39, 30), frame_.Rgb(56, 45), frame_.Rgb(40, 46)));
    // The keyed texture: nearly green stays, green lets the red background show.
    EXPECT_EQ(std::make_tuple(0x00FE00u, 0xFF0000u, 0x0000FFu), std::make_tuple(frame_.Rgb(100, 100), frame_.Rgb(101, 100),
                                                                             frame_.Rgb(103, 103)));
    EXPECT_EQ(16, frame_.Count(100, 100, 108, 108, 0x0000FF));
    EXPECT_EQ(64 - 16 - 1, frame_.Count(100, 100, 108, 108, 0xFF0000));
}

TEST_F(Texture, RenderTargetsAreMadeAgainAfterAResetAndManagedTexturesStay)
{
    const VornTextureHandle target = VornTexture::CreateRenderTarget(64, 32, 0);
    const VornTextureHandle managed = VornTexture::Create(16, 16, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8);
    ASSERT_NE(VORN_INVALID_HANDLE, target);
    ASSERT_NE(VORN_INVALID_HANDLE, managed);
    EXPECT_EQ(std::make_tuple(std::string("RENDER_TARGET"), std::string("CREATE"), uint32_t(D3DPOOL_DEFAULT), D3DFMT_A8R8G8B8),
              std::make_tuple(std::string(VornTexture::GetRecord(target)->name), std::string(VornTexture::GetRecord(managed)->name),
                              VornTexture::GetRecord(target)->pool, VornTexture::GetFormat(target)));
    EXPECT_FALSE(VornTexture::Lock(target, nullptr, nullptr, nullptr, nullptr, nullptr));   // default pool
    VornTexture::ColorFill(managed, 0xFF123456);
    IDirect3DTexture9* managedObject = VornTexture::GetTexture(managed);

    Vorn3D::ResetDevice(true);

    ASSERT_NE(nullptr, VornTexture::GetTexture(target));
    D3DSURFACE_DESC desc;
    ASSERT_TRUE(SUCCEEDED(VornTexture::GetTexture(target)->GetLevelDesc(0, &desc)));
    EXPECT_EQ(std::make_tuple(64u, 32u, 64u, 32u, DWORD(D3DUSAGE_RENDERTARGET)),
              std::make_tuple(VornTexture::GetWidth(target), VornTexture::GetHeight(target), desc.Width, desc.Height, desc.Usage));
    EXPECT_EQ(std::make_pair(managedObject, 0xFF123456u), std::make_pair(VornTexture::GetTexture(managed), TexturePixel(managed, 0, 0)));

    // The new target draws: clear it through the engine and read it back.
    ASSERT_TRUE(Vorn3D::SetRenderTargetTexture(target));
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0, nullptr));
    Readback back;
    ASSERT_TRUE(ReadTarget(Device(), target, &back));
    EXPECT_EQ(64 * 32, back.Count(0, 0, 64, 32, 0x00FF00));
}

TEST_F(Texture, StretchCopyRenderTargetsAndDcsReportFailureAsFalse)
{
    const VornTextureHandle a = VornTexture::CreateRenderTarget(32, 32, 0);
    const VornTextureHandle b = VornTexture::CreateRenderTarget(64, 64, 0);
    ASSERT_NE(VORN_INVALID_HANDLE, b);
    ASSERT_TRUE(VornTexture::SetRenderTarget(a));
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0, nullptr));
    const D3DRECT corner = {0, 0, 16, 16};
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0, &corner));
    ASSERT_TRUE(VornTexture::SetRenderTarget(b));
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0, nullptr));

    EXPECT_TRUE(VornTexture::StretchCopy(b, nullptr, a, nullptr));   // 32 x 32 onto 64 x 64
    Readback back;
    ASSERT_TRUE(ReadTarget(Device(), b, &back));
    EXPECT_EQ(32 * 32, back.Count(0, 0, 32, 32, 0xFF0000));
    EXPECT_EQ(64 * 64 - 32 * 32, back.Count(0, 0, 64, 64, 0x0000FF));
    const RECT outside = {-40, 0, -8, 32}, empty = {0, 0, 0, 10};   // wholly left of the viewport; empty
    EXPECT_EQ(std::make_tuple(false, false, false, false),
              std::make_tuple(VornTexture::StretchCopy(b, &outside, a, nullptr), VornTexture::StretchCopy(b, &empty, a, nullptr),
                              VornTexture::StretchCopy(VORN_INVALID_HANDLE, nullptr, a, nullptr),
                              VornTexture::StretchCopy(b, nullptr, VORN_INVALID_HANDLE, nullptr)));

    const VornTextureHandle managed = VornTexture::Create(16, 16, VORN_FORMAT_EXACT | D3DFMT_X8R8G8B8);
    LogCapture log;
    EXPECT_FALSE(VornTexture::SetRenderTarget(VORN_INVALID_HANDLE));
    EXPECT_FALSE(VornTexture::SetRenderTarget(managed));   // not a render target
    EXPECT_EQ(1, log.Count(Red("VornTexture::SetRenderTarget : Invalid Texture Handle")));
    EXPECT_EQ(1, log.Count(Red("VornTexture::SetRenderTarget : Failed")));

    HDC dc = VornTexture::GetDC(managed);
    ASSERT_NE(nullptr, dc);
    EXPECT_TRUE(SetPixel(dc, 3, 2, RGB(10, 20, 30)) != static_cast<COLORREF>(-1));
    VornTexture::ReleaseDC(managed, dc);
    EXPECT_EQ(0x0A141Eu, TexturePixel(managed, 3, 2) & 0xFFFFFFu);
    EXPECT_EQ(nullptr, VornTexture::GetDC(VORN_INVALID_HANDLE));
    VornTexture::ReleaseDC(managed, nullptr);
}

TEST_F(Texture, ARenderTargetThatCannotBeMadeAgainKeepsItsReferencesUntilTheNextRestore)
{
    const VornTextureHandle target = VornTexture::CreateRenderTarget(32, 32, 0);
    const VornTextureHandle other = VornTexture::CreateRenderTarget(32, 32, 0);
    ASSERT_NE(VORN_INVALID_HANDLE, other);
    VornTexture::AddRef(target);

    // The device goes away between the loss and the restore: the restore cannot make the textures.
    VornTexture::OnDeviceLost();
    Vorn3D::Finalize();
    LogCapture log;
    VornTexture::OnDeviceRestore();
    EXPECT_EQ(2, log.Count(RedStart("テクスチャのリストアに失敗 [ ")));
    EXPECT_EQ(std::make_pair(2u, 1u), std::make_pair(VornTexture::GetRefCount(target), VornTexture::GetRefCount(other)));
    EXPECT_EQ(std::make_tuple(false, false, false, false),
              std::make_tuple(VornTexture::GetTexture(target) != nullptr, VornTexture::GetDC(target) != nullptr,
                              VornTexture::Lock(target, nullptr, nullptr, nullptr, nullptr, nullptr),
                              VornTexture::SetRenderTarget(target) || VornTexture::StretchCopy(other, nullptr, target, nullptr)));

    // With a device again, the next restore brings both back.
    ASSERT_TRUE(StartDevice());
    VornTexture::OnDeviceRestore();
    ASSERT_TRUE(VornTexture::GetTexture(target) && VornTexture::GetTexture(other));
    EXPECT_TRUE(VornTexture::SetRenderTarget(target));
    EXPECT_TRUE(VornTexture::StretchCopy(other, nullptr, target, nullptr));
}

TEST_F(Texture, FinalizeLogsADestroyLinePerLiveTextureAndATooLargeTableFailsTheStart)
{
    const VornTextureHandle a = VornTexture::Create(4, 4, 0);
    const VornTextureHandle b = VornTexture::CreateRenderTarget(4, 4, 0);
    VornTexture::AddRef(b);
    ASSERT_EQ(1u, b);
    EXPECT_EQ(std::make_pair(-0.5f, 0.0f), std::make_pair(VornTexture::GetPixelOffset(), VornTexture::GetTexelInset()));
    Vorn3D::SetTextureFilter(true);
    EXPECT_EQ(0.5f, VornTexture::GetTexelInset());
    LogCapture log;
    VornTexture::Finalize();
    EXPECT_EQ(nullptr, VornTexture::GetTexture(a));
    VornTexture::Finalize();   // a second time: nothing but the title
    VornSurface::Finalize();
    VornTexture::SetMax(0x7FFFFFFF);
    VornSurface::SetMax(0x7FFFFFFF);
    EXPECT_FALSE(VornTexture::Initialize());
    EXPECT_FALSE(VornSurface::Initialize());
    const std::string text = log.Text();
    EXPECT_EQ(1, log.Count(Red("Texture Destroy [ No.0 ]") + "<BR>\n" + Red("Texture Destroy [ No.1 ]") + "<BR>\n"));
    EXPECT_EQ(2, log.Count("VornTextureクラスの解放"));
    for (const char* line : {"VornTextureクラスの初期化", "<B>テクスチャ用メモリ確保</B>",
                             "<B><FONT color=\"RED\">　　　テクスチャ用メモリの確保に失敗", "VornSurfaceクラスの初期化",
                             "<B>サーフェイス用メモリ確保</B>", "<B><FONT color=\"RED\">　　　サーフェイス用メモリの確保に失敗"})
        EXPECT_NE(std::string::npos, text.find(line)) << line;
    VornTexture::SetMax(0);
    VornSurface::SetMax(0);
    ASSERT_TRUE(VornSurface::Initialize());
    ASSERT_TRUE(VornTexture::Initialize());
}
