// The device decisions on plain records: device row, presentation parameters, format requests,
// names and error texts, the adapter survey and its report, clipping, the caches.
#include "EngineFixture.h"
#include "Vorn3DAdapter.h"
#include <d3dx9.h>
#include <map>

namespace {

// A report line: its kind and text.
using Line = std::pair<Vorn3DLogKind, std::string>;

void Collect(void* context, Vorn3DLogKind kind, const char* text)
{
    static_cast<std::vector<Line>*>(context)->push_back({kind, text});
}

// Index of the first line with this text, or -1.
int Find(const std::vector<Line>& lines, const std::string& text)
{
    const auto at = std::find_if(lines.begin(), lines.end(), [&](const Line& l) { return l.second == text; });
    return at == lines.end() ? -1 : static_cast<int>(at - lines.begin());
}

bool Has(const std::vector<D3DFORMAT>& list, D3DFORMAT f) { return std::find(list.begin(), list.end(), f) != list.end(); }

// A synthetic adapter: display modes per format, texture/target/depth support per format.
class FakeAdapter : public Vorn3DAdapterSource {
public:
    std::map<D3DFORMAT, std::vector<D3DDISPLAYMODE>> modes;
    std::vector<D3DFORMAT> textures, autogen, targets, depths;
    bool identifier = true;

    bool GetIdentifier(D3DADAPTER_IDENTIFIER9* out) override
    {
        strcpy(out->Description, "Fake Adapter");
        strcpy(out->Driver, "fake.dll");
        out->DriverVersion.HighPart = (6 << 16) | 14;
        out->DriverVersion.LowPart = (10 << 16) | 8000;
        out->WHQLLevel = (2004 << 16) | (7 << 8) | 5;
        return identifier;
    }
    bool GetDisplayMode(D3DDISPLAYMODE* out) override
    {
        *out = {1024, 768, 60, D3DFMT_X8R8G8B8};
        return true;
    }
    uint32_t GetModeCount(D3DFORMAT format) override { return static_cast<uint32_t>(modes[format].size()); }
    bool EnumMode(D3DFORMAT format, uint32_t index, D3DDISPLAYMODE* out) override
    {
        *out = modes[format].at(index);
        return true;
    }
    HRESULT CheckFormat(D3DFORMAT, DWORD usage, D3DRESOURCETYPE, D3DFORMAT f) override
    {
        if (usage == D3DUSAGE_AUTOGENMIPMAP) return Has(autogen, f) ? D3D_OK : Has(textures, f) ? D3DOK_NOAUTOGEN : D3DERR_NOTAVAILABLE;
        const bool ok = usage == 0                       ? Has(textures, f) || Has(autogen, f)
                        : usage == D3DUSAGE_RENDERTARGET ? Has(targets, f)
                        : usage == D3DUSAGE_DEPTHSTENCIL ? Has(depths, f)
                                                         : false;
        return ok ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    bool GetCaps(D3DCAPS9*) override { return false; }
};

// A zeroed adapter info with one record for the back buffer, holding the given lists.
Vorn3DAdapterInfo* MakeInfo(D3DFORMAT backBuffer = D3DFMT_X8R8G8B8, std::vector<D3DFORMAT> textures = {},
                            std::vector<D3DFORMAT> targets = {}, std::vector<D3DFORMAT> depths = {})
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

std::string Str(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," + std::to_string(r.bottom);
}

}  // namespace

TEST(DeviceSelection, EachCapabilityCaseStartsAtItsRow)
{
    const uint32_t vs3 = D3DVS_VERSION(3, 0), vs2 = D3DVS_VERSION(2, 0);
    struct Case { bool raster, tnl, pure; uint32_t vs; bool reference; uint32_t required, row; } cases[] = {
        {true, true, true, vs3, false, vs3, 0},  {true, true, false, vs3, false, vs3, 1},
        {true, true, true, vs2, false, vs3, 2},  {true, false, true, vs3, false, vs3, 3},
        {false, true, true, vs3, false, vs3, 4}, {true, true, true, vs3, true, vs3, 4},
        {true, true, true, vs2, false, vs2, 0},  // a lower requirement lets a 2.0 device start pure
    };
    for (const Case& c : cases) {
        Vorn3DCaps caps = {c.pure, c.tnl, c.raster};
        caps.vertexShaderVersion = c.vs;
        EXPECT_EQ(c.row, Vorn3DAdapter::SelectDeviceType(caps, {false, false, c.reference, c.required})) << &c - cases;
    }
    EXPECT_STREQ("　　　Direct3Dデバイスを リファレンスラスタライザー で生成", Vorn3DAdapter::kDeviceRows[4].logLine);
}

TEST(PresentParameters, WindowedUsesTheDesktopFormatAndFullScreenItsSixteenOrThirtyTwoBitMode)
{
    Vorn3DAdapterInfo* info = MakeInfo(D3DFMT_X8R8G8B8, {}, {}, {D3DFMT_D24S8, D3DFMT_D16});
    info->records[3].inUse = 1;
    info->records[3].backBuffer = D3DFMT_R5G6B5;
    info->records[3].depth[0] = D3DFMT_D16;
    info->records[3].depthCount = 1;
    info->mode16.Format = D3DFMT_R5G6B5;
    info->mode32.Format = D3DFMT_X8R8G8B8;
    D3DPRESENT_PARAMETERS pp;
    memset(&pp, 0xCC, sizeof pp);
    // Windowed: the desktop format whatever the depth option, the record's first depth format.
    Vorn3DAdapter::BuildPresentParameters(*info, {false, true, false, D3DVS_VERSION(3, 0)}, 640, 480,
                                          reinterpret_cast<HWND>(0x1234), true, true, &pp);
    // (The size, the windowed flag, no multisampling and the lockable back buffer: every device test.)
    EXPECT_NAMED({"format", pp.BackBufferFormat, D3DFMT_X8R8G8B8}, {"buffers", pp.BackBufferCount, 1u}, {"quality", pp.MultiSampleQuality, 0u},
                 {"swap", pp.SwapEffect, D3DSWAPEFFECT_DISCARD}, {"window", pp.hDeviceWindow, reinterpret_cast<HWND>(0x1234)},
                 {"auto depth", pp.EnableAutoDepthStencil, FALSE}, {"depth format", pp.AutoDepthStencilFormat, D3DFMT_D24S8},
                 {"refresh", pp.FullScreen_RefreshRateInHz, 0u}, {"interval", pp.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE});

    const Vorn3DDeviceOptions vsync = {true, false, false, D3DVS_VERSION(3, 0)};
    Vorn3DAdapter::BuildPresentParameters(*info, vsync, 800, 600, nullptr, false, false, &pp);
    EXPECT_NAMED({"windowed", pp.Windowed, FALSE}, {"format", pp.BackBufferFormat, D3DFMT_R5G6B5}, {"depth format", pp.AutoDepthStencilFormat, D3DFMT_D16},
                 {"interval", pp.PresentationInterval, D3DPRESENT_INTERVAL_ONE});
    Vorn3DAdapter::BuildPresentParameters(*info, vsync, 800, 600, nullptr, false, true, &pp);
    EXPECT_NAMED({"32-bit format", pp.BackBufferFormat, D3DFMT_X8R8G8B8}, {"its depth format", pp.AutoDepthStencilFormat, D3DFMT_D24S8});
    // No full-screen mode of the screen size: UNKNOWN is passed on, and no depth format is found.
    info->mode16.Format = D3DFMT_UNKNOWN;
    Vorn3DAdapter::BuildPresentParameters(*info, vsync, 800, 600, nullptr, false, false, &pp);
    EXPECT_NAMED({"format", pp.BackBufferFormat, D3DFMT_UNKNOWN}, {"depth format", pp.AutoDepthStencilFormat, D3DFMT_UNKNOWN});

    // Full screen at 32 bits takes the 32-bit mode's format, not the desktop's (which the rows above
    // cannot tell apart); the windowed and 16-bit formats are the rows above.
    info->mode32.Format = D3DFMT_A8R8G8B8;
    EXPECT_EQ(D3DFMT_A8R8G8B8, Vorn3DAdapter::BackBufferFormat(*info, false, true));
}

TEST(FormatResolution, EachRequestKindFollowsTheCandidateOrderAndItsFallbacks)
{
    // Lists in the order of the report's candidate list, as the survey fills them.
    Vorn3DAdapterInfo* info =
        MakeInfo(D3DFMT_X8R8G8B8,
                 {D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8,
                  D3DFMT_DXT3, D3DFMT_DXT1},
                 {D3DFMT_R5G6B5, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_A8R3G3B2},
                 {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D15S1});
    const std::pair<VornFormatKind, D3DFORMAT> full[] = {
        {VORN_FORMAT_NONE, D3DFMT_A8R8G8B8},
        {VORN_FORMAT_ALPHA, D3DFMT_A1R5G5B5},  // even though A8R8G8B8 is there too
        {VORN_FORMAT_ALPHA_BITS, D3DFMT_A4R4G4B4},    {VORN_FORMAT_ALPHA32, D3DFMT_A8R8G8B8},
        {VORN_FORMAT_BACKBUFFER, D3DFMT_X8R8G8B8},    {VORN_FORMAT_X8R8G8B8, D3DFMT_X8R8G8B8},
        {VORN_FORMAT_DEPTH16, D3DFMT_D16},
        {VORN_FORMAT_DEPTH32, D3DFMT_D24S8},  // no D32: the next in list order
        {VORN_FORMAT_DEPTH_STENCIL, D3DFMT_D24S8},    {VORN_FORMAT_TARGET16, D3DFMT_R5G6B5},
        {VORN_FORMAT_TARGET32, D3DFMT_A8R8G8B8},      {VORN_FORMAT_TARGET_ALPHA, D3DFMT_A8R8G8B8},
        {VORN_FORMAT_COMPRESSED, D3DFMT_DXT3},        {13, D3DFMT_A8R8G8B8},
        {VORN_FORMAT_EXACT | 23, D3DFMT_R5G6B5},  // whatever the device supports
        {VORN_FORMAT_EXACT | D3DFMT_DXT1, D3DFMT_DXT1},
    };
    for (const auto& k : full) EXPECT_EQ(k.second, Vorn3DAdapter::ResolveFormat(*info, D3DFMT_X8R8G8B8, k.first)) << k.first;

    info = MakeInfo(D3DFMT_X8R8G8B8, {D3DFMT_R5G6B5, D3DFMT_A8R8G8B8}, {}, {D3DFMT_D16});
    // Compressed without DXT: the second search; nothing accepted in a list, or an empty list: A8R8G8B8.
    for (VornFormatKind k : {VORN_FORMAT_COMPRESSED, VORN_FORMAT_ALPHA, VORN_FORMAT_DEPTH_STENCIL, VORN_FORMAT_TARGET16})
        EXPECT_EQ(D3DFMT_A8R8G8B8, Vorn3DAdapter::ResolveFormat(*info, D3DFMT_X8R8G8B8, k)) << k;
    // A desktop in a format that is no candidate back buffer: every list request gives A8R8G8B8.
    for (VornFormatKind k : {1u, 2u, 3u, 6u, 7u, 8u, 9u, 10u, 11u, 12u})
        EXPECT_EQ(D3DFMT_A8R8G8B8, Vorn3DAdapter::ResolveFormat(*info, D3DFMT_R8G8B8, k)) << k;
    EXPECT_EQ(D3DFMT_R8G8B8, Vorn3DAdapter::ResolveFormat(*info, D3DFMT_R8G8B8, VORN_FORMAT_BACKBUFFER));
}

TEST(Texts, FormatNamesAndErrorTextsWithFixedTextsForUnlistedValues)
{
    // Every candidate of the report has a name of its own (UNKNOWN is pinned by the report, UNLISTED
    // by the device's format names).
    for (D3DFORMAT f : Vorn3DAdapter::kTextureCandidates) EXPECT_STRNE("UNLISTED", Vorn3DAdapter::FormatName(f)) << f;

    const std::pair<HRESULT, const char*> texts[] = {
        {D3DERR_INVALIDCALL, "メソッドの呼び出しが無効である。たとえば、メソッドのパラメータに無効な値が設定されている場合など。"},
        {D3D_OK, "エラーは発生していない。"},
        {D3DERR_DEVICENOTRESET, "デバイスはリセットできない。"},
        {D3DXERR_INVALIDMESH, "メッシュが無効である。 "},
        {D3DXERR_INVALIDDATA, "データが無効である。"},
        {D3DERR_UNSUPPORTEDALPHAOPERATION, "アルファ チャネルに対して指定されているテクスチャ ブレンディング処理を、デバイスがサポートしていない。"},
        {E_FAIL, "Direct3D サブシステム内で原因不明のエラーが発生した。"},
        {D3DXERR_CANNOTATTRSORT, "最適化テクニックとして属性のソート (::D3DXMESHOPT_ATTRSORT) はサポートされていない。 "},
        {static_cast<HRESULT>(0x80001234), "未知のエラー。"},
        {S_FALSE, "未知のエラー。"},
    };
    for (const auto& t : texts) EXPECT_STREQ(t.second, Vorn3DAdapter::ErrorText(t.first)) << std::hex << t.first;
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
    std::map<std::string, HRESULT> seen;
    for (HRESULT hr : listed) {
        const std::string text = Vorn3DAdapter::ErrorText(hr);
        EXPECT_NE("未知のエラー。", text) << std::hex << hr;
        EXPECT_TRUE(seen.emplace(text, hr).second) << std::hex << hr << " has the text of " << seen[text] << ": " << text;
    }
}

TEST(Survey, RecordsModesFormatsAndTheReport)
{
    FakeAdapter a;
    a.modes[D3DFMT_X8R8G8B8] = {{640, 480, 60, D3DFMT_X8R8G8B8}, {640, 480, 75, D3DFMT_X8R8G8B8},
                                {800, 600, 60, D3DFMT_X8R8G8B8}};
    a.modes[D3DFMT_R5G6B5] = {{800, 600, 60, D3DFMT_R5G6B5}};
    a.autogen = {D3DFMT_A8R8G8B8};
    a.textures = {D3DFMT_A1R5G5B5, D3DFMT_DXT1};
    a.targets = {D3DFMT_X8R8G8B8};
    a.depths = {D3DFMT_D24S8, D3DFMT_D16};
    static Vorn3DAdapterInfo info;
    memset(&info, 0, sizeof info);
    std::vector<Line> lines;
    Vorn3DAdapter::Enumerate(&a, 640, 480, &info, Collect, &lines);

    // The report below shows the lists (in candidate order, textures whether or not mipmaps are
    // generated, two refresh rates of one size once) and the full-screen modes; the records sit at
    // their candidate positions, and A8R8G8B8 (position 1) has no modes.
    EXPECT_STREQ("6.14.10.8000", info.version);
    EXPECT_NAMED({"record 3 back buffer", info.records[3].backBuffer, D3DFMT_R5G6B5}, {"32-bit mode width", info.mode32.Width, 640u});

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
    EXPECT_EQ(expected, lines);

    // Without an identity the survey goes on with the desktop.
    a.identifier = false;
    memset(&info, 0, sizeof info);
    lines.clear();
    Vorn3DAdapter::Enumerate(&a, 640, 480, &info, Collect, &lines);
    EXPECT_STREQ("", info.name);
    EXPECT_EQ("現在の画面情報", lines.at(1).second);
}

TEST(Survey, ListsStopAtTheirCapacities)
{
    FakeAdapter a;
    for (UINT i = 0; i < 300; ++i) a.modes[D3DFMT_X8R8G8B8].push_back({320 + i, 240, 60, D3DFMT_X8R8G8B8});
    static Vorn3DAdapterInfo info;
    memset(&info, 0, sizeof info);
    std::vector<Line> lines;
    Vorn3DAdapter::Enumerate(&a, 500, 240, &info, Collect, &lines);
    EXPECT_NAMED({"modes kept", info.records[0].modeCount, VORN3D_MAX_MODES}, {"last kept width", info.records[0].modes[255].Width, 575u},
                 {"line of the first one past", Find(lines, "　　　[ 576 x 240 ] [ 60Hz ]"), -1}, {"32-bit mode width", info.mode32.Width, 500u});
    // A mode past the capacity is not kept, so it cannot become the full-screen mode.
    Vorn3DAdapter::FindFullScreenModes(&info, 620, 240);
    EXPECT_EQ(D3DFMT_UNKNOWN, info.mode32.Format);

    Vorn3DFormatRecord record = {};
    for (uint32_t i = 0; i < 70; ++i) Vorn3DAdapter::AddFormat(record.texture, &record.textureCount, D3DFMT_A8R8G8B8);
    EXPECT_EQ(VORN3D_MAX_FORMATS, record.textureCount);
}

TEST(Survey, AFullScreenModeFoundLaterReplacesAnEarlierOne)
{
    Vorn3DAdapterInfo& info = *MakeInfo();
    const std::pair<uint32_t, D3DFORMAT> records[] = {
        {0, D3DFMT_X8R8G8B8}, {1, D3DFMT_A8R8G8B8}, {3, D3DFMT_R5G6B5}, {4, D3DFMT_A1R5G5B5}, {2, D3DFMT_A2B10G10R10}};
    for (const auto& r : records) {
        info.records[r.first].inUse = 1;
        info.records[r.first].backBuffer = r.second;
        Vorn3DAdapter::AddDisplayMode(&info.records[r.first], {800, 600, 60, r.second});
        Vorn3DAdapter::AddDisplayMode(&info.records[r.first], {640, 480, 60 + r.first, r.second});
    }
    Vorn3DAdapter::FindFullScreenModes(&info, 640, 480);
    // Record 1 after record 0, record 4 after record 3.
    EXPECT_NAMED({"32-bit format", info.mode32.Format, D3DFMT_A8R8G8B8}, {"its refresh rate", info.mode32.RefreshRate, 61u},
                 {"16-bit format", info.mode16.Format, D3DFMT_A1R5G5B5}, {"10-bit format", info.mode10.Format, D3DFMT_A2B10G10R10});
    Vorn3DAdapter::FindFullScreenModes(&info, 1024, 768);  // no such size: all cleared
    EXPECT_NAMED({"32-bit format", info.mode32.Format, D3DFMT_UNKNOWN}, {"16-bit", info.mode16.Format, D3DFMT_UNKNOWN}, {"10-bit", info.mode10.Format, D3DFMT_UNKNOWN});
}

TEST(CapsReport, FlagsOrderGroupsAndInvertedLines)
{
    D3DCAPS9 c = {};
    c.DevCaps = D3DDEVCAPS_PUREDEVICE | D3DDEVCAPS_HWRASTERIZATION;
    c.TextureCaps = D3DPTEXTURECAPS_POW2;  // the restriction is set: its line reports ×
    c.ZCmpCaps = D3DPCMPCAPS_LESSEQUAL;
    c.MaxTextureWidth = 2048;
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
    // What the report below does not show (it shows the other flags and values read).
    EXPECT_NAMED({"device type", caps.deviceType, 2u}, {"two-sided stencil", caps.stencilTwoSided, 1u}, {"destination inverse source colour", caps.destInvSrcColor, 1u},
                 {"source inverse source colour", caps.srcInvSrcColor, 0u});
    // Every flag of an all-ones capability block is set.
    D3DCAPS9 all;
    memset(&all, 0xFF, sizeof all);
    Vorn3DCaps full;
    Vorn3DAdapter::ReadCaps(&all, &full);
    EXPECT_EQ((std::vector<int>{1, 1, 1, 1, 1}), (std::vector<int>{full.hwRasterization, full.autoGenMipmap, full.zCmpNever,
                                                                    full.srcBlendFactor, full.addressMirrorOnce}));
    EXPECT_EQ(0xFFFFFFFFu, full.maxVertexIndex);

    std::vector<Line> lines;
    Vorn3DAdapter::ReportCaps(caps, Collect, &lines);
    // 7 group titles and one line per field except the device type.
    ASSERT_EQ(7u + 86u, lines.size());
    EXPECT_EQ((std::vector<Line>{{VORN3D_LOG_STRONG, "　デバイス能力"}, {VORN3D_LOG_PRINT, "　　　[ ○ ] ピュアデバイス"},
                                 {VORN3D_LOG_PRINT, "　　　[ × ] ハードウェアＴｎＬ"}}),
              std::vector<Line>(lines.begin(), lines.begin() + 3));
    for (const char* line : {"　　　[ ○ ] 深度テスト LESS EQUAL", "　　　[ × ] ２のべき乗以外のテクスチャ",
                             "　　　[ ○ ] 正方形以外のテクスチャ", "　　　テクスチャ最大横幅 [ 2048 ]",
                             "　　　最大ｗ値 [ 10000000000.000000 ]", "　　　ガードバンド　左 [ -8192.000 ]"})
        EXPECT_GE(Find(lines, line), 0) << line;
    const size_t constants = Find(lines, "　　　最大頂点シェーダー定数数 [ 256 ]");   // missing: -1 + 1 is the title line
    EXPECT_EQ((std::vector<std::string>{"　　　頂点シェーダーバージョン [ 3.0 ]", "　　　ピクセルシェーダーバージョン[ 2.0 ]",
                                        "　　　動的フロー制御命令のネスティング [ 24 ]", "　　　静的フロー制御命令のネスティング [ 0 ]"}),
              (std::vector<std::string>{lines.at(constants + 1).second, lines.at(constants + 2).second, lines.at(constants + 3).second,
                                        lines.back().second}));
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
        const size_t at = Find(lines, g.first);   // -1 (missing) is out of range
        SCOPED_TRACE(g.first);
        EXPECT_NAMED({"title kind", lines.at(at).first, VORN3D_LOG_STRONG}, {"first field", lines.at(at + 1).second, g.second});
    }

    std::vector<Line> device;
    Vorn3DAdapter::ReportDeviceCaps(caps, Collect, &device);
    ASSERT_EQ(14u, device.size());
    const std::pair<size_t, const char*> pinned[] = {{0, "　現在のデバイス情報を取得"}, {1, "　　　ポイントサイズ [ 0.000 ]"},
        {9, "　　　最大頂点シェーダー定数数 [ 256 ]"}, {10, "　　　頂点シェーダーバージョン [ 3.0 ]"},
        {13, "　　　静的フロー制御命令のネスティング [ 0 ]"}};
    for (const auto& p : pinned) EXPECT_EQ(p.second, device[p.first].second) << p.first;
}

TEST(ClipRect, ClipsTheDestinationMovesTheSourceInProportionAndRefusesEmptyRectangles)
{
    const D3DVIEWPORT9 vp = {0, 0, 640, 480, 0.0f, 1.0f};
    // The destination and the source after the call (null: not looked at).
    struct Case { RECT dst, src; bool kept; const char* after; } cases[] = {
        {{-10, 0, 90, 100}, {0, 0, 200, 200}, true, "0,0,90,100 20,0,200,200"},
        {{600, 440, 700, 520}, {0, 0, 50, 40}, true, "600,440,640,480 0,0,20,20"},  // 50 - trunc(60 * 0.5)
        {{-100, 0, -10, 50}, {0, 0, 10, 10}, false, nullptr},  // nothing left
        // Empty destinations are refused before dividing, and nothing is moved.
        {{-10, 5, -10, 50}, {0, 0, 10, 10}, false, "-10,5,-10,50 0,0,10,10"},
        {{0, 7, 10, 7}, {0, 0, 10, 10}, false, "0,7,10,7 0,0,10,10"},
    };
    for (Case& c : cases) {
        EXPECT_EQ(c.kept, Vorn3DAdapter::ClipRect(vp, &c.dst, &c.src)) << &c - cases;
        if (c.after) {
            EXPECT_EQ(c.after, Str(c.dst) + " " + Str(c.src)) << &c - cases;
        }
    }
    RECT dst = {0, 0, 10, 10}, src = {0, 0, 10, 10};
    const D3DVIEWPORT9 inner = {20, 20, 100, 100, 0.0f, 1.0f};
    EXPECT_FALSE(Vorn3DAdapter::ClipRect(inner, &dst, &src));
}

TEST(StateCache, ReportsChangesAndIgnoresIndicesOutsideIt)
{
    static Vorn3DStateCache<4> cache;
    cache.Invalidate();
    EXPECT_EQ(0xFFFFFFFFu, cache.Get(0, D3DRS_ZENABLE));
    EXPECT_EQ((std::vector<bool>{true, false, true}), (std::vector<bool>{cache.Set(0, D3DRS_ZENABLE, 1), cache.Set(0, D3DRS_ZENABLE, 1), cache.Set(0, D3DRS_ZENABLE, 0)}));
    const std::pair<uint32_t, uint32_t> outside[] = {{4, 1}, {0xFFFFFFFFu, 1}, {0, 255}, {0, 100000}};
    for (const auto& at : outside) {
        EXPECT_FALSE(cache.Set(at.first, at.second, 1)) << at.first << "," << at.second;
        EXPECT_EQ(0xFFFFFFFFu, cache.Get(at.first, at.second));
    }
    // 0xFFFFFFFF (white ambient, say) is a value like any other: sent the first time, kept for replay.
    EXPECT_EQ((std::vector<bool>{false, true, true, false}),
              (std::vector<bool>{cache.Known(1, 5), cache.Set(1, 5, 0xFFFFFFFFu), cache.Known(1, 5), cache.Set(1, 5, 0xFFFFFFFFu)}));
}
