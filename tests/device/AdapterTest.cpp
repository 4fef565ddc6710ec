// The device decisions on plain records: device row, presentation parameters, format requests,
// names and error texts, the adapter survey and its report, clipping, the caches.
#include "Vorn3DAdapter.h"
#include <gtest/gtest.h>
#include <d3dx9.h>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Line {
    Vorn3DLogKind kind;
    std::string text;
};

void Collect(void* context, Vorn3DLogKind kind, const char* text)
{
    static_cast<std::vector<Line>*>(context)->push_back({kind, text});
}

// Index of the first line with this text at or after `from`, or -1.
int Find(const std::vector<Line>& lines, const std::string& text, size_t from = 0)
{
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i].text == text) return static_cast<int>(i);
    return -1;
}

// A synthetic adapter: display modes per format, texture/target/depth support per format.
class FakeAdapter : public Vorn3DAdapterSource {
public:
    std::map<D3DFORMAT, std::vector<D3DDISPLAYMODE>> modes;
    std::vector<D3DFORMAT> textures, autogen, targets, depths;
    D3DDISPLAYMODE desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
    D3DCAPS9 caps = {};
    bool identifier = true;

    bool GetIdentifier(D3DADAPTER_IDENTIFIER9* out) override
    {
        if (!identifier) return false;
        strcpy(out->Description, "Fake Adapter");
        strcpy(out->Driver, "fake.dll");
        out->DriverVersion.HighPart = (6 << 16) | 14;
        out->DriverVersion.LowPart = (10 << 16) | 8000;
        out->WHQLLevel = (2004 << 16) | (7 << 8) | 5;
        return true;
    }
    bool GetDisplayMode(D3DDISPLAYMODE* out) override
    {
        *out = desktop;
        return true;
    }
    uint32_t GetModeCount(D3DFORMAT format) override
    {
        auto it = modes.find(format);
        return it == modes.end() ? 0 : static_cast<uint32_t>(it->second.size());
    }
    bool EnumMode(D3DFORMAT format, uint32_t index, D3DDISPLAYMODE* out) override
    {
        *out = modes[format].at(index);
        return true;
    }
    HRESULT CheckFormat(D3DFORMAT, DWORD usage, D3DRESOURCETYPE, D3DFORMAT format) override
    {
        auto has = [&](const std::vector<D3DFORMAT>& list) {
            for (D3DFORMAT f : list)
                if (f == format) return true;
            return false;
        };
        if (usage == D3DUSAGE_AUTOGENMIPMAP) return has(autogen) ? D3D_OK : has(textures) ? D3DOK_NOAUTOGEN : D3DERR_NOTAVAILABLE;
        if (usage == 0) return has(textures) || has(autogen) ? D3D_OK : D3DERR_NOTAVAILABLE;
        if (usage == D3DUSAGE_RENDERTARGET) return has(targets) ? D3D_OK : D3DERR_NOTAVAILABLE;
        if (usage == D3DUSAGE_DEPTHSTENCIL) return has(depths) ? D3D_OK : D3DERR_NOTAVAILABLE;
        return D3DERR_NOTAVAILABLE;
    }
    bool GetCaps(D3DCAPS9* out) override
    {
        *out = caps;
        return true;
    }
};

D3DDISPLAYMODE Mode(UINT w, UINT h, UINT hz, D3DFORMAT f) { return {w, h, hz, f}; }

// An adapter info with one record for the back buffer, holding the given lists.
Vorn3DAdapterInfo* MakeInfo(D3DFORMAT backBuffer, std::vector<D3DFORMAT> textures, std::vector<D3DFORMAT> targets,
                            std::vector<D3DFORMAT> depths)
{
    static Vorn3DAdapterInfo info;
    memset(&info, 0, sizeof info);
    info.desktop.Format = backBuffer;
    Vorn3DFormatRecord& r = info.records[0];
    r.inUse = 1;
    r.backBuffer = backBuffer;
    for (D3DFORMAT f : textures) r.texture[r.textureCount++] = f;
    for (D3DFORMAT f : targets) r.target[r.targetCount++] = f;
    for (D3DFORMAT f : depths) r.depth[r.depthCount++] = f;
    return &info;
}

Vorn3DCaps Caps(bool raster, bool tnl, bool pure, uint32_t vs)
{
    Vorn3DCaps c = {};
    c.hwRasterization = raster;
    c.hwTransformAndLight = tnl;
    c.pureDevice = pure;
    c.vertexShaderVersion = vs;
    return c;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TEST(DeviceSelection, EachCapabilityCaseStartsAtItsRow)
{
    const Vorn3DDeviceOptions normal = {false, false, false, D3DVS_VERSION(3, 0)};
    EXPECT_EQ(0u, Vorn3DAdapter::SelectDeviceType(Caps(true, true, true, D3DVS_VERSION(3, 0)), normal));
    EXPECT_EQ(1u, Vorn3DAdapter::SelectDeviceType(Caps(true, true, false, D3DVS_VERSION(3, 0)), normal));
    EXPECT_EQ(2u, Vorn3DAdapter::SelectDeviceType(Caps(true, true, true, D3DVS_VERSION(2, 0)), normal));
    EXPECT_EQ(3u, Vorn3DAdapter::SelectDeviceType(Caps(true, false, true, D3DVS_VERSION(3, 0)), normal));
    EXPECT_EQ(4u, Vorn3DAdapter::SelectDeviceType(Caps(false, true, true, D3DVS_VERSION(3, 0)), normal));
    const Vorn3DDeviceOptions reference = {false, false, true, D3DVS_VERSION(3, 0)};
    EXPECT_EQ(4u, Vorn3DAdapter::SelectDeviceType(Caps(true, true, true, D3DVS_VERSION(3, 0)), reference));
    // A lower requirement lets a 2.0 device start pure.
    const Vorn3DDeviceOptions vs2 = {false, false, false, D3DVS_VERSION(2, 0)};
    EXPECT_EQ(0u, Vorn3DAdapter::SelectDeviceType(Caps(true, true, true, D3DVS_VERSION(2, 0)), vs2));
}

TEST(DeviceSelection, CandidateRowsAndTheirFlags)
{
    const DWORD flags[] = {0x50, 0x40, 0x80, 0x20, 0x20};
    for (uint32_t i = 0; i < VORN3D_DEVICE_ROWS; ++i) {
        EXPECT_EQ(flags[i], Vorn3DAdapter::kDeviceRows[i].behaviour) << i;
        EXPECT_EQ(i == 4 ? D3DDEVTYPE_REF : D3DDEVTYPE_HAL, Vorn3DAdapter::kDeviceRows[i].type) << i;
    }
    EXPECT_STREQ("　　　Direct3Dデバイスを リファレンスラスタライザー で生成", Vorn3DAdapter::kDeviceRows[4].logLine);
}

TEST(PresentParameters, WindowedUsesTheDesktopFormatWhateverTheDepthOption)
{
    Vorn3DAdapterInfo* info = MakeInfo(D3DFMT_X8R8G8B8, {}, {}, {D3DFMT_D24S8, D3DFMT_D16});
    info->mode16.Format = D3DFMT_R5G6B5;
    info->mode32.Format = D3DFMT_X8R8G8B8;
    const Vorn3DDeviceOptions options = {false, true, false, D3DVS_VERSION(3, 0)};
    HWND window = reinterpret_cast<HWND>(0x1234);
    D3DPRESENT_PARAMETERS pp;
    memset(&pp, 0xCC, sizeof pp);
    Vorn3DAdapter::BuildPresentParameters(*info, options, 640, 480, window, true, true, &pp);
    EXPECT_EQ(640u, pp.BackBufferWidth);
    EXPECT_EQ(480u, pp.BackBufferHeight);
    EXPECT_EQ(D3DFMT_X8R8G8B8, pp.BackBufferFormat);
    EXPECT_EQ(1u, pp.BackBufferCount);
    EXPECT_EQ(D3DMULTISAMPLE_NONE, pp.MultiSampleType);
    EXPECT_EQ(0u, pp.MultiSampleQuality);
    EXPECT_EQ(D3DSWAPEFFECT_DISCARD, pp.SwapEffect);
    EXPECT_EQ(window, pp.hDeviceWindow);
    EXPECT_TRUE(pp.Windowed);
    EXPECT_FALSE(pp.EnableAutoDepthStencil);
    EXPECT_EQ(D3DFMT_D24S8, pp.AutoDepthStencilFormat);  // the record's first depth format
    EXPECT_EQ(static_cast<DWORD>(D3DPRESENTFLAG_LOCKABLE_BACKBUFFER), pp.Flags);
    EXPECT_EQ(0u, pp.FullScreen_RefreshRateInHz);
    EXPECT_EQ(static_cast<UINT>(D3DPRESENT_INTERVAL_IMMEDIATE), pp.PresentationInterval);
}

TEST(PresentParameters, FullScreenTakesTheSixteenOrThirtyTwoBitMode)
{
    Vorn3DAdapterInfo* info = MakeInfo(D3DFMT_X8R8G8B8, {}, {}, {D3DFMT_D24S8});
    info->records[3].inUse = 1;
    info->records[3].backBuffer = D3DFMT_R5G6B5;
    info->records[3].depth[0] = D3DFMT_D16;
    info->records[3].depthCount = 1;
    info->mode16.Format = D3DFMT_R5G6B5;
    info->mode32.Format = D3DFMT_X8R8G8B8;
    const Vorn3DDeviceOptions vsync = {true, false, false, D3DVS_VERSION(3, 0)};
    D3DPRESENT_PARAMETERS pp;
    Vorn3DAdapter::BuildPresentParameters(*info, vsync, 800, 600, nullptr, false, false, &pp);
    EXPECT_FALSE(pp.Windowed);
    EXPECT_EQ(D3DFMT_R5G6B5, pp.BackBufferFormat);
    EXPECT_EQ(D3DFMT_D16, pp.AutoDepthStencilFormat);
    EXPECT_EQ(static_cast<UINT>(D3DPRESENT_INTERVAL_ONE), pp.PresentationInterval);
    Vorn3DAdapter::BuildPresentParameters(*info, vsync, 800, 600, nullptr, false, true, &pp);
    EXPECT_EQ(D3DFMT_X8R8G8B8, pp.BackBufferFormat);
    EXPECT_EQ(D3DFMT_D24S8, pp.AutoDepthStencilFormat);
    // No full-screen mode of the screen size: UNKNOWN is passed on, and no depth format is found.
    info->mode16.Format = D3DFMT_UNKNOWN;
    Vorn3DAdapter::BuildPresentParameters(*info, vsync, 800, 600, nullptr, false, false, &pp);
    EXPECT_EQ(D3DFMT_UNKNOWN, pp.BackBufferFormat);
    EXPECT_EQ(D3DFMT_UNKNOWN, pp.AutoDepthStencilFormat);
}

// ---------------------------------------------------------------------------------------------

TEST(FormatResolution, EachRequestKindFollowsTheCandidateOrder)
{
    // Lists in the order of the report's candidate list, as the survey fills them.
    Vorn3DAdapterInfo* info =
        MakeInfo(D3DFMT_X8R8G8B8,
                 {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8,
                  D3DFMT_DXT3, D3DFMT_DXT1},
                 {D3DFMT_R5G6B5, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A8R3G3B2},
                 {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D15S1});
    const D3DFORMAT bb = D3DFMT_X8R8G8B8;
    auto resolve = [&](VornFormatKind k) { return Vorn3DAdapter::ResolveFormat(*info, bb, k); };
    EXPECT_EQ(D3DFMT_A8R8G8B8, resolve(VORN_FORMAT_NONE));
    EXPECT_EQ(D3DFMT_A1R5G5B5, resolve(VORN_FORMAT_ALPHA));  // even though A8R8G8B8 is there too
    EXPECT_EQ(D3DFMT_A4R4G4B4, resolve(VORN_FORMAT_ALPHA_BITS));
    EXPECT_EQ(D3DFMT_A8R8G8B8, resolve(VORN_FORMAT_ALPHA32));
    EXPECT_EQ(D3DFMT_X8R8G8B8, resolve(VORN_FORMAT_BACKBUFFER));
    EXPECT_EQ(D3DFMT_X8R8G8B8, resolve(VORN_FORMAT_X8R8G8B8));
    EXPECT_EQ(D3DFMT_D16, resolve(VORN_FORMAT_DEPTH16));
    EXPECT_EQ(D3DFMT_D24S8, resolve(VORN_FORMAT_DEPTH32));  // no D32: the next in list order
    EXPECT_EQ(D3DFMT_D24S8, resolve(VORN_FORMAT_DEPTH_STENCIL));
    EXPECT_EQ(D3DFMT_R5G6B5, resolve(VORN_FORMAT_TARGET16));
    EXPECT_EQ(D3DFMT_A8R8G8B8, resolve(VORN_FORMAT_TARGET32));
    EXPECT_EQ(D3DFMT_A8R8G8B8, resolve(VORN_FORMAT_TARGET_ALPHA));
    EXPECT_EQ(D3DFMT_DXT3, resolve(VORN_FORMAT_COMPRESSED));
    EXPECT_EQ(D3DFMT_A8R8G8B8, resolve(13));
    EXPECT_EQ(D3DFMT_R5G6B5, resolve(VORN_FORMAT_EXACT | 23));  // whatever the device supports
    EXPECT_EQ(D3DFMT_DXT1, resolve(VORN_FORMAT_EXACT | D3DFMT_DXT1));
}

TEST(FormatResolution, FallbacksWhenNothingAcceptedIsThere)
{
    Vorn3DAdapterInfo* info = MakeInfo(D3DFMT_X8R8G8B8, {D3DFMT_R5G6B5, D3DFMT_A8R8G8B8}, {}, {D3DFMT_D16});
    auto resolve = [&](D3DFORMAT bb, VornFormatKind k) { return Vorn3DAdapter::ResolveFormat(*info, bb, k); };
    // Compressed without DXT: the second search.
    EXPECT_EQ(D3DFMT_A8R8G8B8, resolve(D3DFMT_X8R8G8B8, VORN_FORMAT_COMPRESSED));
    EXPECT_EQ(D3DFMT_A8R8G8B8, resolve(D3DFMT_X8R8G8B8, VORN_FORMAT_ALPHA));
    // Nothing accepted in the list, or an empty list: A8R8G8B8.
    EXPECT_EQ(D3DFMT_A8R8G8B8, resolve(D3DFMT_X8R8G8B8, VORN_FORMAT_DEPTH_STENCIL));
    EXPECT_EQ(D3DFMT_A8R8G8B8, resolve(D3DFMT_X8R8G8B8, VORN_FORMAT_TARGET16));
    // A desktop in a format that is no candidate back buffer: every list request gives A8R8G8B8.
    for (VornFormatKind k : {1u, 2u, 3u, 6u, 7u, 8u, 9u, 10u, 11u, 12u})
        EXPECT_EQ(D3DFMT_A8R8G8B8, resolve(D3DFMT_R8G8B8, k)) << k;
    EXPECT_EQ(D3DFMT_R8G8B8, resolve(D3DFMT_R8G8B8, VORN_FORMAT_BACKBUFFER));
}

TEST(FormatResolution, BackBufferFormatByScreenMode)
{
    Vorn3DAdapterInfo* info = MakeInfo(D3DFMT_X8R8G8B8, {}, {}, {});
    info->mode16.Format = D3DFMT_X1R5G5B5;
    info->mode32.Format = D3DFMT_A8R8G8B8;
    EXPECT_EQ(D3DFMT_X8R8G8B8, Vorn3DAdapter::BackBufferFormat(*info, true, true));
    EXPECT_EQ(D3DFMT_A8R8G8B8, Vorn3DAdapter::BackBufferFormat(*info, false, true));
    EXPECT_EQ(D3DFMT_X1R5G5B5, Vorn3DAdapter::BackBufferFormat(*info, false, false));
}

TEST(Texts, FormatNamesAndAFixedTextForUnlistedFormats)
{
    EXPECT_STREQ("UNKNOWN", Vorn3DAdapter::FormatName(D3DFMT_UNKNOWN));
    EXPECT_STREQ("A8R8G8B8", Vorn3DAdapter::FormatName(D3DFMT_A8R8G8B8));
    EXPECT_STREQ("D24S8", Vorn3DAdapter::FormatName(D3DFMT_D24S8));
    EXPECT_STREQ("CxV8U8", Vorn3DAdapter::FormatName(D3DFMT_CxV8U8));
    EXPECT_STREQ("A32B32G32R32F", Vorn3DAdapter::FormatName(D3DFMT_A32B32G32R32F));
    // Every candidate of the report has a name of its own.
    for (D3DFORMAT f : Vorn3DAdapter::kTextureCandidates) EXPECT_STRNE("UNLISTED", Vorn3DAdapter::FormatName(f)) << f;
    EXPECT_STREQ("UNLISTED", Vorn3DAdapter::FormatName(static_cast<D3DFORMAT>(12345)));
    EXPECT_STREQ("UNLISTED", Vorn3DAdapter::FormatName(D3DFMT_MULTI2_ARGB8));
}

TEST(Texts, ErrorTexts)
{
    EXPECT_STREQ("メソッドの呼び出しが無効である。たとえば、メソッドのパラメータに無効な値が設定されている場合など。",
                 Vorn3DAdapter::ErrorText(D3DERR_INVALIDCALL));
    EXPECT_STREQ("エラーは発生していない。", Vorn3DAdapter::ErrorText(D3D_OK));
    EXPECT_STREQ("デバイスはリセットできない。", Vorn3DAdapter::ErrorText(D3DERR_DEVICENOTRESET));
    EXPECT_STREQ("メッシュが無効である。 ", Vorn3DAdapter::ErrorText(D3DXERR_INVALIDMESH));
    EXPECT_STREQ("データが無効である。", Vorn3DAdapter::ErrorText(D3DXERR_INVALIDDATA));
    EXPECT_STREQ("未知のエラー。", Vorn3DAdapter::ErrorText(static_cast<HRESULT>(0x80001234)));
    EXPECT_STREQ("未知のエラー。", Vorn3DAdapter::ErrorText(S_FALSE));
    // Every result of the table has a text of its own.
    const HRESULT listed[] = {
        D3D_OK, D3DERR_CONFLICTINGRENDERSTATE, D3DERR_CONFLICTINGTEXTUREFILTER, D3DERR_CONFLICTINGTEXTUREPALETTE,
        D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET, D3DERR_DRIVERINTERNALERROR, D3DERR_INVALIDCALL,
        D3DERR_INVALIDDEVICE, D3DERR_MOREDATA, D3DERR_NOTAVAILABLE, D3DERR_NOTFOUND, D3DERR_OUTOFVIDEOMEMORY,
        D3DERR_TOOMANYOPERATIONS, D3DERR_UNSUPPORTEDALPHAARG, D3DERR_UNSUPPORTEDALPHAOPERATION,
        D3DERR_UNSUPPORTEDCOLORARG, D3DERR_UNSUPPORTEDCOLOROPERATION, D3DERR_UNSUPPORTEDFACTORVALUE,
        D3DERR_UNSUPPORTEDTEXTUREFILTER, D3DERR_WRONGTEXTUREFORMAT, E_FAIL, E_INVALIDARG, E_OUTOFMEMORY,
        D3DXERR_CANNOTATTRSORT, D3DXERR_CANNOTMODIFYINDEXBUFFER, D3DXERR_INVALIDMESH,
        D3DXERR_SKINNINGNOTSUPPORTED, D3DXERR_TOOMANYINFLUENCES, D3DXERR_INVALIDDATA,
    };
    std::map<std::string, HRESULT> texts;
    for (HRESULT hr : listed) {
        const std::string text = Vorn3DAdapter::ErrorText(hr);
        EXPECT_NE("未知のエラー。", text) << std::hex << hr;
        EXPECT_TRUE(texts.emplace(text, hr).second) << std::hex << hr;
    }
    EXPECT_STREQ("アルファ チャネルに対して指定されているテクスチャ ブレンディング処理を、デバイスがサポートしていない。",
                 Vorn3DAdapter::ErrorText(D3DERR_UNSUPPORTEDALPHAOPERATION));
    EXPECT_STREQ("Direct3D サブシステム内で原因不明のエラーが発生した。", Vorn3DAdapter::ErrorText(E_FAIL));
    EXPECT_STREQ("最適化テクニックとして属性のソート (::D3DXMESHOPT_ATTRSORT) はサポートされていない。 ",
                 Vorn3DAdapter::ErrorText(D3DXERR_CANNOTATTRSORT));
}

// ---------------------------------------------------------------------------------------------

TEST(Survey, RecordsModesFormatsAndTheReport)
{
    FakeAdapter a;
    a.modes[D3DFMT_X8R8G8B8] = {Mode(640, 480, 60, D3DFMT_X8R8G8B8), Mode(640, 480, 75, D3DFMT_X8R8G8B8),
                                Mode(800, 600, 60, D3DFMT_X8R8G8B8)};
    a.modes[D3DFMT_R5G6B5] = {Mode(800, 600, 60, D3DFMT_R5G6B5)};
    a.autogen = {D3DFMT_A8R8G8B8};
    a.textures = {D3DFMT_A1R5G5B5, D3DFMT_DXT1};
    a.targets = {D3DFMT_X8R8G8B8};
    a.depths = {D3DFMT_D24S8, D3DFMT_D16};
    static Vorn3DAdapterInfo info;
    memset(&info, 0, sizeof info);
    std::vector<Line> lines;
    Vorn3DAdapter::Enumerate(&a, 640, 480, &info, Collect, &lines);

    EXPECT_STREQ("Fake Adapter", info.name);
    EXPECT_STREQ("fake.dll", info.driver);
    EXPECT_STREQ("6.14.10.8000", info.version);
    EXPECT_EQ(D3DFMT_X8R8G8B8, info.desktop.Format);

    // X8R8G8B8 (position 0) and R5G6B5 (position 3) have modes; A8R8G8B8 has none and stays unused.
    EXPECT_TRUE(info.records[0].inUse);
    EXPECT_FALSE(info.records[1].inUse);
    EXPECT_TRUE(info.records[3].inUse);
    EXPECT_EQ(D3DFMT_R5G6B5, info.records[3].backBuffer);
    // Two refresh rates of one size: stored once, the first one.
    ASSERT_EQ(2u, info.records[0].modeCount);
    EXPECT_EQ(60u, info.records[0].modes[0].RefreshRate);
    // Texture list in candidate order, whether or not mipmaps are generated.
    ASSERT_EQ(3u, info.records[0].textureCount);
    EXPECT_EQ(D3DFMT_A1R5G5B5, info.records[0].texture[0]);
    EXPECT_EQ(D3DFMT_A8R8G8B8, info.records[0].texture[1]);
    EXPECT_EQ(D3DFMT_DXT1, info.records[0].texture[2]);
    ASSERT_EQ(1u, info.records[0].targetCount);
    EXPECT_EQ(D3DFMT_X8R8G8B8, info.records[0].target[0]);
    ASSERT_EQ(2u, info.records[0].depthCount);
    EXPECT_EQ(D3DFMT_D16, info.records[0].depth[0]);  // the depth candidate order, not the adapter's
    // 640x480 exists in 32 bits only: the 16-bit mode stays UNKNOWN.
    EXPECT_EQ(D3DFMT_X8R8G8B8, info.mode32.Format);
    EXPECT_EQ(640u, info.mode32.Width);
    EXPECT_EQ(D3DFMT_UNKNOWN, info.mode16.Format);
    EXPECT_EQ(D3DFMT_UNKNOWN, info.mode10.Format);

    // The whole report: blue section titles (B), strong back-buffer lines (S), plain lines (P).
    const Vorn3DLogKind B = VORN3D_LOG_BLUE, S = VORN3D_LOG_STRONG, P = VORN3D_LOG_PRINT;
    const std::vector<Line> expected = {
        {B, "アダプター情報"}, {P, "　　　Name [ Fake Adapter ]"}, {P, "　　　Driver [ fake.dll ]"},
        {P, "　　　Product [ 6 ]"}, {P, "　　　Version [ 14.10.8000 ]"},
        {P, "　Windows Hardware Quality Lab (WHQL) 認証レベル"}, {P, "　　　212.7.5"},
        {B, "現在の画面情報"}, {P, "　　　Width [ 1024 ]"}, {P, "　　　Height [ 768 ]"},
        {P, "　　　RefreshRate [ 60 ]"}, {P, "　　　Format [ X8R8G8B8 ]"},
        {B, "使用可能な画面モードを列挙"}, {S, "　BackBuffer Format [ X8R8G8B8 ]"},
        {P, "　　　[ 640 x 480 ] [ 60Hz ]"}, {P, "　　　[ 800 x 600 ] [ 60Hz ]"},
        {S, "　BackBuffer Format [ R5G6B5 ]"}, {P, "　　　[ 800 x 600 ] [ 60Hz ]"},
        {B, "使用可能なテクスチャフォーマットを列挙"}, {S, "　BackBuffer Format [ X8R8G8B8 ]"},
        {P, "　　　× [ A1R5G5B5 ]"}, {P, "　　　○ [ A8R8G8B8 ]"}, {P, "　　　× [ DXT1 ]"},
        {S, "　BackBuffer Format [ R5G6B5 ]"},
        {P, "　　　× [ A1R5G5B5 ]"}, {P, "　　　○ [ A8R8G8B8 ]"}, {P, "　　　× [ DXT1 ]"},
        {B, "使用可能なレンダリングターゲットテクスチャフォーマットを列挙"},
        {S, "　BackBuffer Format [ X8R8G8B8 ]"}, {P, "　　　[ X8R8G8B8 ]"},
        {S, "　BackBuffer Format [ R5G6B5 ]"}, {P, "　　　[ X8R8G8B8 ]"},
        {B, "使用可能な深度バッファフォーマットを列挙"},
        {S, "　BackBuffer Format [ X8R8G8B8 ]"}, {P, "　　　[ D16 ]"}, {P, "　　　[ D24S8 ]"},
        {S, "　BackBuffer Format [ R5G6B5 ]"}, {P, "　　　[ D16 ]"}, {P, "　　　[ D24S8 ]"},
        {B, "フルスクリーン用ディスプレイモードの検索"}, {P, "　　　16BitColor [ UNKNOWN ]"},
        {P, "　　　32BitColor [ X8R8G8B8 ]"}, {P, "　　　32BitColorEx [ UNKNOWN ]"},
    };
    ASSERT_EQ(expected.size(), lines.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].text, lines[i].text) << i;
        EXPECT_EQ(expected[i].kind, lines[i].kind) << i;
    }
}

TEST(Survey, WhqlLevelsAndAMissingIdentifier)
{
    FakeAdapter a;
    a.identifier = false;
    static Vorn3DAdapterInfo info;
    memset(&info, 0, sizeof info);
    std::vector<Line> lines;
    Vorn3DAdapter::Enumerate(&a, 640, 480, &info, Collect, &lines);
    EXPECT_STREQ("", info.name);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("現在の画面情報", lines[1].text);  // the survey goes on without the identity
}

TEST(Survey, ListsStopAtTheirCapacities)
{
    FakeAdapter a;
    std::vector<D3DDISPLAYMODE> many;
    for (UINT i = 0; i < 300; ++i) many.push_back(Mode(320 + i, 240, 60, D3DFMT_X8R8G8B8));
    a.modes[D3DFMT_X8R8G8B8] = many;
    static Vorn3DAdapterInfo info;
    memset(&info, 0, sizeof info);
    std::vector<Line> lines;
    Vorn3DAdapter::Enumerate(&a, 500, 240, &info, Collect, &lines);
    EXPECT_EQ(VORN3D_MAX_MODES, info.records[0].modeCount);
    EXPECT_EQ(575u, info.records[0].modes[255].Width);
    EXPECT_EQ(-1, Find(lines, "　　　[ 576 x 240 ] [ 60Hz ]"));
    EXPECT_EQ(500u, info.mode32.Width);
    // A mode past the capacity is not kept, so it cannot become the full-screen mode.
    Vorn3DAdapter::FindFullScreenModes(&info, 620, 240);
    EXPECT_EQ(D3DFMT_UNKNOWN, info.mode32.Format);

    Vorn3DFormatRecord record = {};
    for (uint32_t i = 0; i < 70; ++i)
        Vorn3DAdapter::AddFormat(record.texture, &record.textureCount, D3DFMT_A8R8G8B8);
    EXPECT_EQ(VORN3D_MAX_FORMATS, record.textureCount);
}

TEST(Survey, AFullScreenModeFoundLaterReplacesAnEarlierOne)
{
    static Vorn3DAdapterInfo info;
    memset(&info, 0, sizeof info);
    const std::pair<uint32_t, D3DFORMAT> records[] = {
        {0, D3DFMT_X8R8G8B8}, {1, D3DFMT_A8R8G8B8}, {3, D3DFMT_R5G6B5}, {4, D3DFMT_A1R5G5B5}, {2, D3DFMT_A2B10G10R10}};
    for (const auto& r : records) {
        info.records[r.first].inUse = 1;
        info.records[r.first].backBuffer = r.second;
        Vorn3DAdapter::AddDisplayMode(&info.records[r.first], Mode(800, 600, 60, r.second));
        Vorn3DAdapter::AddDisplayMode(&info.records[r.first], Mode(640, 480, 60 + r.first, r.second));
    }
    Vorn3DAdapter::FindFullScreenModes(&info, 640, 480);
    EXPECT_EQ(D3DFMT_A8R8G8B8, info.mode32.Format);  // record 1 after record 0
    EXPECT_EQ(61u, info.mode32.RefreshRate);
    EXPECT_EQ(D3DFMT_A1R5G5B5, info.mode16.Format);  // record 4 after record 3
    EXPECT_EQ(D3DFMT_A2B10G10R10, info.mode10.Format);
    Vorn3DAdapter::FindFullScreenModes(&info, 1024, 768);  // no such size: all cleared
    EXPECT_EQ(D3DFMT_UNKNOWN, info.mode32.Format);
    EXPECT_EQ(D3DFMT_UNKNOWN, info.mode16.Format);
    EXPECT_EQ(D3DFMT_UNKNOWN, info.mode10.Format);
}

TEST(CapsReport, FlagsOrderGroupsAndInvertedLines)
{
    D3DCAPS9 c = {};
    c.DevCaps = D3DDEVCAPS_PUREDEVICE | D3DDEVCAPS_HWRASTERIZATION;
    c.TextureCaps = D3DPTEXTURECAPS_POW2;  // the restriction is set: its line reports ×
    c.ZCmpCaps = D3DPCMPCAPS_LESSEQUAL;
    c.MaxTextureWidth = 2048;
    c.MaxTextureHeight = 1024;
    c.MaxVertexW = 1e10f;
    c.GuardBandLeft = -8192.0f;
    c.VertexShaderVersion = D3DVS_VERSION(3, 0);
    c.PixelShaderVersion = D3DPS_VERSION(2, 0);
    c.MaxVertexShaderConst = 256;
    c.VS20Caps.DynamicFlowControlDepth = 24;
    c.DeviceType = D3DDEVTYPE_REF;
    c.StencilCaps = D3DSTENCILCAPS_TWOSIDED;
    c.DestBlendCaps = D3DPBLENDCAPS_INVSRCCOLOR;
    Vorn3DCaps caps;
    memset(&caps, 0xCC, sizeof caps);
    Vorn3DAdapter::ReadCaps(&c, &caps);
    EXPECT_EQ(2u, caps.deviceType);
    EXPECT_EQ(1, caps.stencilTwoSided);
    EXPECT_EQ(0, caps.stencilKeep);
    EXPECT_EQ(1, caps.destInvSrcColor);
    EXPECT_EQ(0, caps.srcInvSrcColor);
    EXPECT_EQ(24u, caps.dynamicFlowControlDepth);
    EXPECT_EQ(1e10f, caps.maxVertexW);
    EXPECT_EQ(static_cast<uint32_t>(D3DPS_VERSION(2, 0)), caps.pixelShaderVersion);
    EXPECT_EQ(1, caps.pureDevice);
    EXPECT_EQ(0, caps.hwTransformAndLight);
    EXPECT_EQ(1, caps.pow2Only);
    EXPECT_EQ(1, caps.zCmpLessEqual);
    EXPECT_EQ(2048u, caps.maxTextureWidth);
    // Every flag of an all-ones capability block is set.
    D3DCAPS9 all;
    memset(&all, 0xFF, sizeof all);
    Vorn3DCaps full;
    Vorn3DAdapter::ReadCaps(&all, &full);
    EXPECT_EQ(1, full.hwRasterization);
    EXPECT_EQ(1, full.autoGenMipmap);
    EXPECT_EQ(1, full.zCmpNever);
    EXPECT_EQ(1, full.srcBlendFactor);
    EXPECT_EQ(1, full.addressMirrorOnce);
    EXPECT_EQ(0xFFFFFFFFu, full.maxVertexIndex);

    std::vector<Line> lines;
    Vorn3DAdapter::ReportCaps(caps, Collect, &lines);
    // 7 group titles and one line per field except the device type.
    EXPECT_EQ(7u + 86u, lines.size());
    EXPECT_EQ("　デバイス能力", lines[0].text);
    EXPECT_EQ(VORN3D_LOG_STRONG, lines[0].kind);
    EXPECT_EQ("　　　[ ○ ] ピュアデバイス", lines[1].text);
    EXPECT_EQ("　　　[ × ] ハードウェアＴｎＬ", lines[2].text);
    EXPECT_GE(Find(lines, "　　　[ ○ ] 深度テスト LESS EQUAL"), 0);
    EXPECT_GE(Find(lines, "　　　[ × ] ２のべき乗以外のテクスチャ"), 0);
    EXPECT_GE(Find(lines, "　　　[ ○ ] 正方形以外のテクスチャ"), 0);
    EXPECT_GE(Find(lines, "　　　テクスチャ最大横幅 [ 2048 ]"), 0);
    EXPECT_GE(Find(lines, "　　　最大ｗ値 [ 10000000000.000000 ]"), 0);
    EXPECT_GE(Find(lines, "　　　ガードバンド　左 [ -8192.000 ]"), 0);
    const int constants = Find(lines, "　　　最大頂点シェーダー定数数 [ 256 ]");
    const int vs = Find(lines, "　　　頂点シェーダーバージョン [ 3.0 ]");
    const int ps = Find(lines, "　　　ピクセルシェーダーバージョン[ 2.0 ]");
    ASSERT_GE(constants, 0);
    EXPECT_EQ(constants + 1, vs);
    EXPECT_EQ(constants + 2, ps);
    EXPECT_EQ("　　　動的フロー制御命令のネスティング [ 24 ]", lines[ps + 1].text);
    // Each strong group title comes just before its first field.
    const std::pair<const char*, const char*> groups[] = {
        {"　深度テスト能力", "　　　[ × ] 深度テスト ALWAYS"},
        {"　ソースブレンド能力", "　　　[ × ] ソースブレンド BLEND FACTOR"},
        {"　デストブレンド能力", "　　　[ × ] デストブレンド BLEND FACTOR"},
        {"　テクスチャ能力", "　　　[ × ] キューブマップ"},
        {"　ステンシル能力", "　　　[ × ] ステンシル KEEP"},
        {"　その他", "　　　最大ｗ値 [ 10000000000.000000 ]"},
    };
    for (const auto& g : groups) {
        const int at = Find(lines, g.first);
        ASSERT_GE(at, 0) << g.first;
        EXPECT_EQ(VORN3D_LOG_STRONG, lines[at].kind) << g.first;
        EXPECT_EQ(g.second, lines[at + 1].text) << g.first;
    }
    EXPECT_EQ("　　　静的フロー制御命令のネスティング [ 0 ]", lines.back().text);

    std::vector<Line> device;
    Vorn3DAdapter::ReportDeviceCaps(caps, Collect, &device);
    ASSERT_EQ(14u, device.size());
    EXPECT_EQ("　現在のデバイス情報を取得", device[0].text);
    EXPECT_EQ("　　　ポイントサイズ [ 0.000 ]", device[1].text);
    EXPECT_EQ("　　　最大頂点シェーダー定数数 [ 256 ]", device[9].text);
    EXPECT_EQ("　　　頂点シェーダーバージョン [ 3.0 ]", device[10].text);
    EXPECT_EQ("　　　静的フロー制御命令のネスティング [ 0 ]", device[13].text);
}

// ---------------------------------------------------------------------------------------------

TEST(ClipRect, ClipsTheDestinationAndMovesTheSourceInProportion)
{
    const D3DVIEWPORT9 vp = {0, 0, 640, 480, 0.0f, 1.0f};
    RECT dst = {-10, 0, 90, 100}, src = {0, 0, 200, 200};
    EXPECT_TRUE(Vorn3DAdapter::ClipRect(vp, &dst, &src));
    EXPECT_EQ(0, dst.left);
    EXPECT_EQ(90, dst.right);
    EXPECT_EQ(100, dst.bottom);
    EXPECT_EQ(20, src.left);
    EXPECT_EQ(0, src.top);
    EXPECT_EQ(200, src.right);
    EXPECT_EQ(200, src.bottom);

    RECT right = {600, 440, 700, 520}, rsrc = {0, 0, 50, 40};
    EXPECT_TRUE(Vorn3DAdapter::ClipRect(vp, &right, &rsrc));
    EXPECT_EQ(640, right.right);
    EXPECT_EQ(480, right.bottom);
    EXPECT_EQ(20, rsrc.right);   // 50 - trunc(60 * 0.5)
    EXPECT_EQ(20, rsrc.bottom);  // 40 - trunc(40 * 0.5)

    RECT left = {-100, 0, -10, 50}, lsrc = {0, 0, 10, 10};
    EXPECT_FALSE(Vorn3DAdapter::ClipRect(vp, &left, &lsrc));
}

TEST(ClipRect, AnEmptyDestinationIsRefusedBeforeDividing)
{
    const D3DVIEWPORT9 vp = {0, 0, 640, 480, 0.0f, 1.0f};
    RECT dst = {-10, 5, -10, 50}, src = {0, 0, 10, 10};
    EXPECT_FALSE(Vorn3DAdapter::ClipRect(vp, &dst, &src));
    EXPECT_EQ(0, src.left);   // nothing was moved
    EXPECT_EQ(-10, dst.left);
    RECT flat = {0, 7, 10, 7};
    EXPECT_FALSE(Vorn3DAdapter::ClipRect(vp, &flat, &src));
    RECT offset = {0, 0, 10, 10}, osrc = {0, 0, 10, 10};
    const D3DVIEWPORT9 inner = {20, 20, 100, 100, 0.0f, 1.0f};
    EXPECT_FALSE(Vorn3DAdapter::ClipRect(inner, &offset, &osrc));
}

TEST(StateCache, ReportsChangesAndIgnoresIndicesOutsideIt)
{
    static Vorn3DStateCache<4> cache;
    cache.Invalidate();
    EXPECT_EQ(0xFFFFFFFFu, cache.Get(0, D3DRS_ZENABLE));
    EXPECT_TRUE(cache.Set(0, D3DRS_ZENABLE, 1));
    EXPECT_FALSE(cache.Set(0, D3DRS_ZENABLE, 1));
    EXPECT_TRUE(cache.Set(0, D3DRS_ZENABLE, 0));
    EXPECT_FALSE(cache.Set(4, 1, 1));
    EXPECT_FALSE(cache.Set(0xFFFFFFFFu, 1, 1));
    EXPECT_FALSE(cache.Set(0, 255, 1));
    EXPECT_FALSE(cache.Set(0, 100000, 1));
    EXPECT_EQ(0xFFFFFFFFu, cache.Get(0, 255));
    EXPECT_EQ(0xFFFFFFFFu, cache.Get(7, 1));
    // Setting the unknown marker itself reaches the device only after another value.
    EXPECT_FALSE(cache.Set(1, 5, 0xFFFFFFFFu));
    EXPECT_TRUE(cache.Set(1, 5, 3));
    EXPECT_TRUE(cache.Set(1, 5, 0xFFFFFFFFu));
}
