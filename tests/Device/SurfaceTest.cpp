// VornSurface on the engine's device: every kind, copies, depth testing and device resets.
#include "TextureDevice.h"
#include <tuple>
#include <cstring>

using namespace vorntest;


namespace {

std::vector<uint32_t> Solid(int width, int height, uint32_t rgb)
{
    return std::vector<uint32_t>(static_cast<size_t>(width) * height, rgb);
}

class Surface : public EngineTest {
protected:
    // The colour of a surface's pixel, through a system-memory copy for default-pool targets.
    uint32_t PixelOf(VornSurfaceHandle h, int x, int y)
    {
        Readback back;
        IDirect3DSurface9* s = VornSurface::GetSurface(h);
        if (!s) return 0xDEADBEEF;
        D3DSURFACE_DESC desc;
        s->GetDesc(&desc);
        if (desc.Usage & D3DUSAGE_RENDERTARGET) return back.Read(Device(), s) ? back.Rgb(x, y) : 0xDEADBEEF;
        D3DLOCKED_RECT lr;
        if (FAILED(s->LockRect(&lr, nullptr, D3DLOCK_READONLY))) return 0xDEADBEEF;
        uint32_t v;
        memcpy(&v, static_cast<const uint8_t*>(lr.pBits) + y * lr.Pitch + x * 4, 4);
        s->UnlockRect();
        return v & 0xFFFFFF;
    }
    // Two overlapping squares at two depths, drawn in the given order.
    void DrawPair(bool nearFirst, uint32_t clear = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER)
    {
        ASSERT_TRUE(Vorn3D::Clear(clear, 0xFF000000, 1.0f, 0, nullptr));
        ASSERT_TRUE(Vorn3D::BeginScene());
        for (int i = 0; i < 2; ++i) {
            if ((i == 0) == nearFirst)
                DrawFlat(40, 40, 80, 80, 0.25f, 0xFF0000FF);   // near, blue
            else
                DrawFlat(80, 80, 80, 80, 0.75f, 0xFFFF0000);   // far, red
        }
        Vorn3D::EndScene();
        ASSERT_TRUE(ReadBack());
    }
};

class OneSurface : public Surface {
protected:
    uint32_t SurfaceMax() const override { return 1; }
};

}  // namespace

TEST_F(Surface, TheNearerSquareWinsInEitherOrderAlsoAfterAReset)
{
    const VornSurfaceHandle depth = VornSurface::CreateDepthStencil(kWidth, kHeight, VORN_FORMAT_DEPTH16);
    ASSERT_NE(VORN_INVALID_HANDLE, depth);
    const VornSurfaceRecord* r = VornSurface::GetRecord(depth);
    EXPECT_EQ(std::make_tuple(std::string("DEPTH_STENCIL"), D3DFMT_D16, 1), std::make_tuple(std::string(r->name), r->format, int(r->isDepthStencil)));
    ASSERT_TRUE(Vorn3D::SetDepthStencilSurface(depth));
    Vorn3D::SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    Vorn3D::SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    Vorn3D::SetAlphaEnable(false);

    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "before the reset" : "after the reset");
        for (bool nearFirst : {true, false}) {
            DrawPair(nearFirst);
            // The overlap, the near square alone, the far one alone.
            EXPECT_EQ(std::make_tuple(0x0000FFu, 0x0000FFu, 0xFF0000u), std::make_tuple(frame_.Rgb(100, 100), frame_.Rgb(45, 45), frame_.Rgb(150, 150)));
            EXPECT_EQ(40 * 40, frame_.Count(80, 80, 120, 120, 0x0000FF));
        }
        if (pass == 0) {
            Vorn3D::ResetDevice(true);
            ASSERT_NE(nullptr, VornSurface::GetSurface(depth));
        }
    }
    // Without the depth buffer the later square wins.
    EXPECT_TRUE(VornSurface::SetDepthStencilSurface(VORN_INVALID_HANDLE));
    Vorn3D::SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    DrawPair(true, D3DCLEAR_TARGET);
    EXPECT_EQ(0xFF0000u, frame_.Rgb(100, 100));
}

TEST_F(Surface, EveryCreationWritesItsWholeLineAndEverySurfaceIsMadeAgainAfterAReset)
{
    const std::string folder = TestFolder();
    MakeFolders(folder + "\\root\\texture");
    ASSERT_TRUE(WriteFile(folder + "\\root\\texture\\plain.bmp", MakeBmp(8, 8, Solid(8, 8, 0x123456))));
    VornFile::SetRootPath((folder + "\\root").c_str(), (folder + "\\none.bin").c_str());
    const auto bmp = MakeBmp(4, 2, Solid(4, 2, 0xABCDEF));
    LogCapture log;
    const VornSurfaceHandle back = VornSurface::GetBackBuffer();
    const VornSurfaceHandle plain = VornSurface::Create(32, 16, 0);
    const VornSurfaceHandle target = VornSurface::CreateRenderTarget(64, 32, 0);
    const VornSurfaceHandle depth = VornSurface::CreateDepthStencil(64, 32, VORN_FORMAT_DEPTH16);
    const VornSurfaceHandle memory = VornSurface::CreateFromMemory(bmp.data(), static_cast<uint32_t>(bmp.size()),
                                                                   VORN_FORMAT_X8R8G8B8, 0);
    const VornSurfaceHandle loaded = VornSurface::CreateFromFile("plain.bmp", VORN_FORMAT_X8R8G8B8, 0);
    const VornSurfaceHandle all[6] = {back, plain, target, depth, memory, loaded};
    for (uint32_t i = 0; i < 6; ++i) ASSERT_EQ(i, all[i]);
    const std::string path = folder + "\\root\\texture\\plain.bmp";
    ASSERT_EQ(loaded, VornSurface::CreateFromFile(path.c_str(), 0, 0));
    VornSurface::Release(loaded);

    const std::string backFormat = Vorn3D::GetFormatName(Vorn3D::GetFormat(VORN_FORMAT_BACKBUFFER));
    const std::string xrgb = Vorn3D::GetFormatName(D3DFMT_X8R8G8B8), ok = Green("Success") + "<BR>\n";
    const std::string text = log.Text();
    for (const std::string& line : {
             Blue("VornSurface::GetBackBuffer") + " : [ No.0 ] :  : [ 256 x 256 ] : [ " + backFormat + " ] : " + ok,
             Blue("VornSurface::Create") + " : [ No.1 ] : [ 32 x 16 ] : [ " + backFormat + " ] : " + ok,
             Blue("VornSurface::CreateRenderTarget") + " : [ No.2 ] : [ 64 x 32 ] : [ " +
                 Vorn3D::GetFormatName(D3DFMT_A8R8G8B8) + " ] : " + ok,
             Blue("VornSurface::CreateDepthStencil") + " : [ No.3 ] : [ 64 x 32 ] : [ " +
                 Vorn3D::GetFormatName(D3DFMT_D16) + " ] : " + ok,
             Blue("VornSurface::CreateFromMemory") + " : [ No.4 ] : [ 4 x 2 ] : [ " + xrgb + " ] : " + ok,
             Blue("VornSurface::CreateFromFile") + " : [plain.bmp] :  : [ No.5 ] : [ 8 x 8 ] : [ " + xrgb + " ] : " + ok,
             Blue("VornSurface::CreateFromFile") + " : [" + path + "] : [ No.5 ] : Already Existed : " + ok})
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\nin\n" << text;

    std::vector<std::string> names;
    for (VornSurfaceHandle h : all) names.push_back(VornSurface::GetRecord(h)->name);
    EXPECT_EQ((std::vector<std::string>{"BACK_BUFFER", "CREATE", "RENDER_TARGET", "DEPTH_STENCIL", "", path}), names);
    EXPECT_EQ(std::make_tuple(uint32_t(kWidth), 1, Vorn3D::GetFormat(VORN_FORMAT_BACKBUFFER)),   // plain: request 0
              std::make_tuple(VornSurface::GetRecord(back)->width, int(VornSurface::GetRecord(back)->isBackBuffer),
                              VornSurface::GetRecord(plain)->format));
    EXPECT_EQ(std::make_pair(0x123456u, 0xABCDEFu), std::make_pair(PixelOf(loaded, 3, 3), PixelOf(memory, 1, 1)));

    Vorn3D::ResetDevice(true);

    for (int i = 0; i < 6; ++i) {
        if (all[i] != memory) EXPECT_NE(nullptr, VornSurface::GetSurface(all[i])) << "surface " << i;
        EXPECT_EQ(1u, VornSurface::GetRefCount(all[i]));
    }
    ASSERT_TRUE(VornSurface::SetRenderTargetSurface(target));   // the new target draws
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF0A0B0C, 1.0f, 0, nullptr));
    // The new target draws; the loaded surface was read again from its path.
    EXPECT_EQ(std::make_pair(0x0A0B0Cu, 0x123456u), std::make_pair(PixelOf(target, 63, 31), PixelOf(loaded, 3, 3)));
    IDirect3DSurface9* current = nullptr;
    ASSERT_TRUE(SUCCEEDED(Device()->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &current)));
    EXPECT_EQ(current, VornSurface::GetSurface(back));
    current->Release();
    // Nothing to make the memory surface from.
    EXPECT_EQ(std::make_pair(false, false), std::make_pair(VornSurface::GetSurface(memory) != nullptr, VornSurface::Copy(plain, memory)));
}

TEST_F(Surface, APackedPlainSurfaceCannotBeReloadedAndKeepsItsReferenceWithoutASurface)
{
    const std::string folder = TestFolder();
    MakeFolders(folder + "\\packsrc\\texture");
    ASSERT_TRUE(WriteFile(folder + "\\packsrc\\texture\\packed.bmp", MakeBmp(4, 4, Solid(4, 4, 0x445566))));
    ASSERT_TRUE(VornFile::BuildPack((folder + "\\pack.bin").c_str(), (folder + "\\packsrc").c_str()));
    VornFile::SetRootPath((folder + "\\root").c_str(), (folder + "\\pack.bin").c_str());
    const VornSurfaceHandle h = VornSurface::CreateFromFile("packed.bmp", VORN_FORMAT_X8R8G8B8, 0);
    ASSERT_NE(VORN_INVALID_HANDLE, h);
    EXPECT_EQ(h, VornSurface::CreateFromFile("packed.bmp", 0, 0));   // shared by its bare name
    EXPECT_EQ(2u, VornSurface::GetRefCount(h));
    const VornSurfaceHandle target = VornSurface::CreateRenderTarget(4, 4, 0);

    LogCapture log;
    Vorn3D::ResetDevice(true);
    EXPECT_EQ(1, log.Count(RedStart("ファイルの読み込みに失敗 [ ")));
    EXPECT_EQ(std::make_tuple(2u, nullptr, nullptr),
              std::make_tuple(VornSurface::GetRefCount(h), VornSurface::GetSurface(h), VornSurface::GetDC(h)));
    EXPECT_EQ(std::make_tuple(false, false, false, false),
              std::make_tuple(VornSurface::SetRenderTargetSurface(h), VornSurface::SetDepthStencilSurface(h),
                              VornSurface::StretchCopy(target, nullptr, h, nullptr), VornSurface::Copy(target, h)));
    VornSurface::Release(h);
    VornSurface::Release(h);
    EXPECT_EQ(nullptr, VornSurface::GetRecord(h));
}

TEST_F(Surface, ASurfaceThatCannotBeMadeAgainIsRetriedAtTheNextRestore)
{
    const VornSurfaceHandle target = VornSurface::CreateRenderTarget(32, 32, 0);
    const VornSurfaceHandle depth = VornSurface::CreateDepthStencil(32, 32, VORN_FORMAT_DEPTH16);
    const VornSurfaceHandle back = VornSurface::GetBackBuffer();
    VornSurface::OnDeviceLost();
    Vorn3D::Finalize();
    LogCapture log;
    VornSurface::OnDeviceRestore();
    const std::string text = log.Text();
    EXPECT_NE(std::string::npos, text.find(RedStart("バックバッファのリストアに失敗しました [ ")));
    EXPECT_NE(std::string::npos, text.find(RedStart("サーフェイスのリストアに失敗 [ ")));
    for (VornSurfaceHandle h : {target, depth, back})
        EXPECT_EQ(std::make_pair(1u, false), std::make_pair(VornSurface::GetRefCount(h), VornSurface::GetSurface(h) != nullptr));
    EXPECT_FALSE(VornSurface::SetRenderTargetSurface(target));
    LogCapture lineLog;
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSurface::GetBackBuffer());
    EXPECT_FALSE(VornSurface::SetDepthStencilSurface(VORN_INVALID_HANDLE));
    EXPECT_TRUE(InOrder(lineLog.Text(), {RedStart("バックバッファの取得に失敗しました [ "), Red("SetDepthStecilSurface Failed")}));

    ASSERT_TRUE(StartDevice());
    VornSurface::OnDeviceRestore();
    for (VornSurfaceHandle h : {target, depth, back}) EXPECT_NE(nullptr, VornSurface::GetSurface(h));
    EXPECT_TRUE(VornSurface::SetRenderTargetSurface(target));
    EXPECT_TRUE(VornSurface::SetDepthStencilSurface(depth));
}

TEST_F(Surface, CopiesNeedTwoSurfacesAndCopyNeedsTheSameSize)
{
    const VornSurfaceHandle a = VornSurface::CreateRenderTarget(32, 32, 0);
    const VornSurfaceHandle b = VornSurface::CreateRenderTarget(32, 32, 0);
    const VornSurfaceHandle c = VornSurface::CreateRenderTarget(16, 32, 0);
    ASSERT_TRUE(VornSurface::SetRenderTargetSurface(a));
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF336699, 1.0f, 0, nullptr));
    ASSERT_TRUE(VornSurface::SetRenderTargetSurface(c));
    ASSERT_TRUE(Vorn3D::Clear(D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0, nullptr));

    EXPECT_TRUE(VornSurface::Copy(b, a));
    EXPECT_FALSE(VornSurface::Copy(c, a));
    EXPECT_EQ(std::make_pair(0x336699u, 0u), std::make_pair(PixelOf(b, 31, 31), PixelOf(c, 0, 0)));   // c: nothing copied

    const RECT half = {0, 0, 8, 32};
    EXPECT_TRUE(VornSurface::StretchCopy(c, &half, a, nullptr));
    EXPECT_EQ(std::make_pair(0x336699u, 0u), std::make_pair(PixelOf(c, 7, 31), PixelOf(c, 8, 0)));
    const RECT outside = {300, 0, 340, 10};
    EXPECT_EQ(std::make_tuple(false, false, false),
              std::make_tuple(VornSurface::StretchCopy(VORN_INVALID_HANDLE, nullptr, a, nullptr),
                              VornSurface::StretchCopy(c, nullptr, VORN_INVALID_HANDLE, nullptr),
                              VornSurface::StretchCopy(c, &outside, a, nullptr)));

    const VornSurfaceHandle plain = VornSurface::Create(8, 8, 0);
    LogCapture log;
    EXPECT_FALSE(VornSurface::SetRenderTargetSurface(VORN_INVALID_HANDLE));
    EXPECT_FALSE(VornSurface::SetRenderTargetSurface(plain));   // not made as a render target
    EXPECT_TRUE(InOrder(log.Text(), {Red("Invalid Surface Handle"), Red("SetRenderTargetSurface Failed")}));

    HDC dc = VornSurface::GetDC(a);
    ASSERT_NE(nullptr, dc);
    VornSurface::ReleaseDC(a, dc);
    EXPECT_EQ(nullptr, VornSurface::GetDC(VORN_INVALID_HANDLE));
}

TEST_F(OneSurface, AFullTableRefusesWithItsLine)
{
    ASSERT_EQ(0u, VornSurface::Create(8, 8, 0));
    LogCapture log;
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSurface::CreateRenderTarget(8, 8, 0));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSurface::GetBackBuffer());
    EXPECT_EQ(2, log.Count(Red("空きサーフェスが見つかりませんでした")));
    LogCapture finalLog;
    VornSurface::Finalize();
    const std::string text = finalLog.Text();
    EXPECT_NE(std::string::npos, text.find("VornSurfaceクラスの解放"));
    EXPECT_NE(std::string::npos, text.find(Red("Surface Destroy [ No.0 ]")));
}

TEST_F(Surface, BrokenImagesAreRefusedAndGiveTheirRecordBack)
{
    LogCapture log;
    const unsigned char junk[32] = {'B', 'M'};
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSurface::CreateFromMemory(junk, sizeof junk, 0, 0));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSurface::CreateFromFile("no_such_file.bmp", 0, 0));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornSurface::CreateDepthStencil(64, 64, VORN_FORMAT_EXACT | D3DFMT_A8R8G8B8));
    const std::string text = log.Text();
    EXPECT_NE(std::string::npos, text.find(RedStart("ファイルの読み込みに失敗しました [ ")));
    EXPECT_NE(std::string::npos, text.find(Red("ファイルの読み込みに失敗しました")));
    EXPECT_NE(std::string::npos, text.find(RedStart("サーフェイスの生成に失敗 [ ")));
    EXPECT_EQ(0u, VornSurface::AllocRecord());
}
