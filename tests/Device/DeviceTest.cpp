// The engine's own device under Wine: clears, blend modes and alpha test read back from the frame,
// the state caches, forced resets with their hook orders and state replay, injected losses,
// back-buffer lock, GDI text, queries, viewport and conversions (the 2D transform settings are the 2D
// classes' tests').
#include "BoxWatcher.h"
#include "EngineFixture.h"
#include <chrono>

using namespace vorntest;

namespace {

// A quad in a scene of its own; false when the scene could not begin.
bool DrawInScene(float x0, float y0, float x1, float y1, D3DCOLOR colour)
{
    if (!Vorn3D::BeginScene()) return false;
    DrawColourQuad(x0, y0, x1, y1, colour);
    Vorn3D::EndScene();
    return true;
}

bool ClearTo(D3DCOLOR colour) { return Vorn3D::Clear(D3DCLEAR_TARGET, colour, 1.0f, 0, nullptr); }

uint32_t RS(D3DRENDERSTATETYPE state) { return Vorn3D::GetRenderState(state); }

// The hook trace: every device-loss hook and callback writes its name.
std::vector<std::string> g_trace;

const char* const kClassNames[DEVICE_CLASS_COUNT] = {
    "Surface", "Texture", "Primitive", "Primitive3D", "Line", "Line3D", "Point",
    "Point3D", "Model", "ModelEx", "Field", "Simple", "SpriteEx", "ShaderFx",
};

template <size_t C, bool Lost>
void Trace() { g_trace.push_back(std::string(Lost ? "lost " : "restore ") + kClassNames[C]); }

template <size_t... C>
void SetHooks(bool on, std::index_sequence<C...>)
{
    (Vorn3D::SetDeviceHooks(static_cast<VornDeviceClass>(C), on ? Trace<C, true> : nullptr, on ? Trace<C, false> : nullptr), ...);
    Vorn3D::SetDeviceLostCallback(on ? [] { g_trace.push_back("lost callback"); } : VornDeviceCallback(nullptr));
    Vorn3D::SetDeviceRestoreCallback(on ? [] { g_trace.push_back("restore callback"); } : VornDeviceCallback(nullptr));
}
void RegisterAllHooks() { SetHooks(true, std::make_index_sequence<DEVICE_CLASS_COUNT>()); }

// How often the entry occurs in the trace.
int CountOf(const char* entry) { return static_cast<int>(std::count(g_trace.begin(), g_trace.end(), entry)); }

// Number of cache entries that are not unknown: what a replay must send.
uint32_t KnownStates()
{
    uint32_t n = 0;
    for (uint32_t s = 0; s < Vorn3D::kStateCount; ++s) {
        n += Vorn3D::GetRenderState(static_cast<D3DRENDERSTATETYPE>(s)) != Vorn3D::kNone;
        for (uint32_t stage = 0; stage < Vorn3D::kStageCount; ++stage) {
            n += Vorn3D::GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(s)) != Vorn3D::kNone;
            n += Vorn3D::GetSamplerState(stage, static_cast<D3DSAMPLERSTATETYPE>(s)) != Vorn3D::kNone;
        }
    }
    return n;
}

// A fresh start of the engine's device for every test; no links (this program has no classes that
// set them, and a test that sets its own clears them at its end) and no injected results.
class Vorn3DDevice : public EngineSuite {
protected:
    void SetUp() override
    {
        Vorn3D::Finalize();
        ASSERT_TRUE(Vorn3D::Initialize());
    ASSERT_TRUE(Vorn3D::Start(window_, true));
        EngineSuite::SetUp();
        g_trace.clear();
    }
    void TearDown() override
    {
        Vorn3D::InjectPresentResult(Vorn3D::kNoInjection);
        Vorn3D::InjectCooperativeLevel(Vorn3D::kNoInjection);
        Vorn3D::InjectResetResult(Vorn3D::kNoInjection);
        SetHooks(false, std::make_index_sequence<DEVICE_CLASS_COUNT>());
        memset(&Vorn3D::Links(), 0, sizeof(Vorn3DLinks));
        EngineSuite::TearDown();
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Start, clear and the frame

TEST_F(Vorn3DDevice, StartClearsBlackAndTheFiveBlendModesDrawOverAClearedBackground)
{
    ASSERT_TRUE(ReadBack());
    EXPECT_EQ(kSize * kSize, frame_.Count(0, 0, kSize, kSize, 0x000000));
    UseVertexColour();
    // Source (FF, 80, 00) with alpha 0x80 over the background (40, 80, C0), cleared but for a square:
    // opaque gives the source, alpha s*a + d*(1-a), additive s*a + d, multiply d*s, invert s*(1-d).
    const uint32_t expected[5] = {0xFF8000, 0xA08060, 0xC0C0C0, 0x404000, 0xBF4000};
    const D3DRECT rect = {16, 32, 48, 64};
    for (VornBlendMode mode = BLEND_OPAQUE; mode <= BLEND_INVERT; ++mode) {
        ASSERT_TRUE(ClearTo(0xFF4080C0));
        Vorn3D::ClearTarget(&rect, 0xFFFF8000);
        Vorn3D::SetBlendMode(mode);
        ASSERT_TRUE(DrawInScene(64, 64, 192, 192, 0x80FF8000));
        ASSERT_TRUE(ReadBack());
        EXPECT_TRUE(Near(expected[mode], frame_.Rgb(128, 128))) << "mode " << mode;
        EXPECT_EQ(32 * 32, frame_.Count(16, 32, 48, 64, 0xFF8000)) << "mode " << mode;
        EXPECT_EQ(kSize * kSize - 32 * 32 - 128 * 128, frame_.Count(0, 0, kSize, kSize, 0x4080C0)) << "mode " << mode;
    }
    // Any other value leaves the blend as it was.
    Vorn3D::SetBlendMode(5);
    EXPECT_NAMED({"source blend", RS(D3DRS_SRCBLEND), D3DBLEND_INVDESTCOLOR}, {"destination blend", RS(D3DRS_DESTBLEND), D3DBLEND_ZERO});
}

TEST_F(Vorn3DDevice, AlphaTestDiscardsEightAndDrawsNine)
{
    UseVertexColour();
    Vorn3D::SetAlphaEnable(true);
    Vorn3D::SetBlendMode(BLEND_OPAQUE);
    ASSERT_TRUE(ClearTo(0xFF000000));
    ASSERT_TRUE(DrawInScene(0, 0, 128, 256, 0x0800FF00));
    ASSERT_TRUE(DrawInScene(128, 0, 256, 256, 0x0900FF00));
    ASSERT_TRUE(ReadBack());
    EXPECT_NAMED({"black left half (alpha 8)", frame_.Count(0, 0, 128, 256, 0x000000), 128 * 256},
                 {"green right half (alpha 9)", frame_.Count(128, 0, 256, 256, 0x00FF00), 128 * 256});

    // Off keeps the function and the reference in the cache; the quad at 8 is then drawn.
    Vorn3D::SetAlphaEnable(false);
    EXPECT_NAMED({"function", RS(D3DRS_ALPHAFUNC), D3DCMP_GREATER}, {"reference", RS(D3DRS_ALPHAREF), 8u}, {"enabled", RS(D3DRS_ALPHATESTENABLE), 0u});
    ASSERT_TRUE(DrawInScene(0, 0, 128, 256, 0x0800FF00));
    ASSERT_TRUE(ReadBack());
    EXPECT_EQ(128 * 256, frame_.Count(0, 0, 128, 256, 0x00FF00));
}

// ---------------------------------------------------------------------------------------------
// Caches

TEST_F(Vorn3DDevice, StartSettingsAreCachedAndRedundantSetsMakeNoDeviceCall)
{
    // Start settings are in the cache: setting them again makes no device call.
    uint32_t calls = Vorn3D::GetDeviceStateCalls();
    Vorn3D::SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    Vorn3D::SetRenderState(D3DRS_LIGHTING, FALSE);
    Vorn3D::SetSamplerState(2, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    Vorn3D::SetTextureStageState(3, D3DTSS_COLOROP, D3DTOP_DISABLE);
    Vorn3D::SetBlendMode(BLEND_ALPHA);
    EXPECT_EQ(calls += 2, Vorn3D::GetDeviceStateCalls());  // only the blend pair was new
    Vorn3D::SetBlendMode(BLEND_ALPHA);
    EXPECT_EQ(calls, Vorn3D::GetDeviceStateCalls());
    Vorn3D::SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    EXPECT_EQ(calls += 1, Vorn3D::GetDeviceStateCalls());
    // (Stages and states outside the caches: the cache's own test, whose Set these forward to.)
}

// (The fog's range reaches the effects: the effect class's fog parameter test.)
TEST_F(Vorn3DDevice, TheTextureFilterSetsEveryStageAndTheTexelInset)
{
    static float inset = -1.0f;
    Vorn3D::Links().textureSetTexelInset = [](float v) { inset = v; };
    Vorn3D::SetTextureFilter(false);
    for (uint32_t s = 0; s < 4; ++s)
        for (D3DSAMPLERSTATETYPE state : {D3DSAMP_MAGFILTER, D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER})
            EXPECT_EQ(static_cast<uint32_t>(D3DTEXF_POINT), Vorn3D::GetSamplerState(s, state)) << s << " " << state;
    Vorn3D::SetTextureFilter(true);
    EXPECT_NAMED({"texel inset", inset, 0.5f}, {"stage 3 mip filter", Vorn3D::GetSamplerState(3, D3DSAMP_MIPFILTER), D3DTEXF_LINEAR});
}

// ---------------------------------------------------------------------------------------------
// Device loss

TEST_F(Vorn3DDevice, AForcedResetReplaysTheCachedStates)
{
    UseVertexColour();
    Vorn3D::SetBlendMode(BLEND_ADD);
    const uint32_t known = KnownStates();
    const uint32_t calls = Vorn3D::GetDeviceStateCalls();
    Vorn3D::ResetDevice(true);
    // Exactly the known entries went to the device again; nothing else.
    EXPECT_EQ(calls + known, Vorn3D::GetDeviceStateCalls());
    // The values sent are the cached ones: drawn straight to the device, only they make this additive.
    ASSERT_TRUE(ClearTo(0xFF4080C0));
    ASSERT_TRUE(DrawInScene(64, 64, 192, 192, 0x80FF8000));
    ASSERT_TRUE(ReadBack());
    EXPECT_TRUE(Near(0xC0C0C0, frame_.Rgb(128, 128)));
    EXPECT_EQ(Argb{0x4080C0}, frame_.Hex(10, 10));
}

TEST_F(Vorn3DDevice, HookOrdersOfLossAndRestore)
{
    RegisterAllHooks();
    Vorn3D::ResetDevice(true);
    const std::vector<std::string> expected = {
        "lost Surface", "lost Texture", "lost Primitive", "lost Primitive3D", "lost Line", "lost Line3D",
        "lost Point", "lost Point3D", "lost Model", "lost ModelEx", "lost Field", "lost Simple", "lost SpriteEx",
        "lost ShaderFx", "lost callback",
        "restore Surface", "restore Texture", "restore Primitive", "restore Line", "restore Point",
        "restore Primitive3D", "restore Line3D", "restore Point3D", "restore Model", "restore ModelEx",
        "restore Field", "restore Simple", "restore SpriteEx", "restore ShaderFx", "restore callback",
    };
    EXPECT_EQ(expected, g_trace);

    // A class that takes its hooks out is no longer called.
    g_trace.clear();
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_TEXTURE, nullptr, nullptr);
    Vorn3D::ResetDevice(true);
    EXPECT_NAMED({"entries", g_trace.size(), expected.size() - 2}, {"texture losses", CountOf("lost Texture"), 0});
}

// Injected present, cooperative level and reset results and the screen mode, then one call: the
// hook entries it made (15 for a loss, 15 for a restore), the restore callbacks among them, whether
// it waited about 10 ms, and whether the device is then lost (nothing is drawn while it is).
TEST_F(Vorn3DDevice, ResetsFollowTheCooperativeLevelAndPresentResultsAndAFailedResetStaysLostWithOneBoxPerLoss)
{
    BoxWatcher boxes(IDOK);
    LogCapture log;
    RegisterAllHooks();
    // This adapter has no full-screen mode of the screen size: the full-screen rows' Reset fails.
    const HRESULT N = Vorn3D::kNoInjection, LOST = D3DERR_DEVICELOST, NOTRESET = D3DERR_DEVICENOTRESET;
    enum Call { RESET, FORCED_RESET, PRESENT };
    const struct { HRESULT present, level, reset; Call call; size_t entries; int restores; bool waits, lost, fullScreen = false; } steps[] = {
        {N, N, N, RESET, 0, 0, false, false},   // a working device: nothing happens
        {N, NOTRESET, N, RESET, 30, 1, false, false},
        {LOST, LOST, N, PRESENT, 0, 0, true, false},   // lost and not yet resettable: wait, reset nothing
        {LOST, NOTRESET, N, PRESENT, 30, 1, false, false},
        {LOST, D3D_OK, N, PRESENT, 0, 0, false, false}, {E_FAIL, D3D_OK, N, PRESENT, 0, 0, false, false},   // other answers
        // A failed reset lets the resources go once and runs no restore hook; each Present retries.
        {N, N, LOST, FORCED_RESET, 15, 0, false, true}, {N, N, LOST, PRESENT, 0, 0, false, true},
        {N, N, LOST, PRESENT, 0, 0, false, true},
        {N, LOST, N, PRESENT, 0, 0, true, true},   // while the device says it is still lost no Reset is tried
        {N, NOTRESET, N, PRESENT, 15, 1, false, false},
        {N, N, E_FAIL, FORCED_RESET, 15, 0, false, true}, {N, N, N, PRESENT, 15, 1, false, false},   // a second loss
        // Full screen: the real Reset fails, and again quietly at the retry; windowed again recovers.
        {N, N, N, FORCED_RESET, 15, 0, false, true, true}, {N, N, N, PRESENT, 0, 0, false, true, true},
        {N, N, N, FORCED_RESET, 15, 1, false, false},
        {D3DERR_DRIVERINTERNALERROR, N, N, PRESENT, 0, 0, false, false},   // asks the application to end
    };
    for (const auto& s : steps) {
        SCOPED_TRACE("step " + std::to_string(&s - steps));
        g_trace.clear();
        Vorn3D::InjectPresentResult(s.present);
        Vorn3D::InjectCooperativeLevel(s.level);
        Vorn3D::InjectResetResult(s.reset);
        Vorn::SetScreenInfo(kSize, kSize, !s.fullScreen);
        const auto start = std::chrono::steady_clock::now();
        if (s.call == PRESENT) Vorn3D::Present(nullptr);
        else Vorn3D::ResetDevice(s.call == FORCED_RESET);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_NAMED({"hook entries", g_trace.size(), s.entries}, {"restore callbacks", CountOf("restore callback"), s.restores},
                     {"lost", Vorn3D::IsDeviceLost(), s.lost});
        if (s.waits) { EXPECT_GE(ms, 8); }
        const bool drawing = Vorn3D::BeginScene();
        if (drawing) Vorn3D::EndScene();
        EXPECT_EQ(!s.lost, drawing);
    }
    // One box per loss, none per retry; the driver error's end of the application in the log.
    for (int i = 0; i < 100 && boxes.Boxes().size() < 3; ++i) Sleep(10);
    EXPECT_EQ(std::vector<vorntest::SeenBox>(3, {"ERROR", "デバイスの復帰に失敗"}), boxes.Boxes());
    EXPECT_EQ(1, log.Count("アプリケーション終了"));
    // Back in a window of the screen size.
    ASSERT_TRUE(ClearTo(0xFF336699));
    ASSERT_TRUE(ReadBack());
    EXPECT_NAMED({"frame width", frame_.Width(), kSize}, {"pixel", frame_.Hex(5, 5), Argb{0x336699}});
}

TEST_F(Vorn3DDevice, RememberedTargetsAreBoundAgainAfterAReset)
{
    static std::vector<std::string> calls;
    calls.clear();
    Vorn3DLinks& links = Vorn3D::Links();
    // Surface 9 is refused.
    links.surfaceSetRenderTarget = [](uint32_t s) { calls.push_back("target surface " + std::to_string(s)); return s != 9; };
    links.textureSetRenderTarget = [](uint32_t t) { calls.push_back("target texture " + std::to_string(t)); return true; };
    links.surfaceSetDepthStencil = [](uint32_t s) { calls.push_back("depth " + std::to_string(s)); return true; };
    links.cameraSet = [](uint32_t c) { calls.push_back("camera " + std::to_string(c)); };

    EXPECT_FALSE(Vorn3D::SetRenderTargetSurface(Vorn3D::kNone));   // and no call: the list below
    // The surface target forgets the texture target.
    const bool depth = Vorn3D::SetDepthStencilSurface(3), texture = Vorn3D::SetRenderTargetTexture(5);
    const bool surface = Vorn3D::SetRenderTargetSurface(7);
    EXPECT_NAMED({"depth 3 set", depth, true}, {"texture 5 set", texture, true}, {"surface 7 set", surface, true});
    Vorn3D::SetCamera(Vorn3D::kNone);                // ignored
    Vorn3D::SetCamera(2);
    EXPECT_EQ((std::vector<std::string>{"depth 3", "target texture 5", "depth 3", "target surface 7", "depth 3",
                                        "camera 2"}),
              calls);
    calls.clear();
    Vorn3D::ResetDevice(true);
    EXPECT_EQ((std::vector<std::string>{"target surface 7", "depth 3", "camera 2"}), calls);

    // A failed target keeps being remembered.
    EXPECT_FALSE(Vorn3D::SetRenderTargetSurface(9));
    calls.clear();
    Vorn3D::ResetDevice(true);
    EXPECT_EQ("target surface 9", calls.at(0));
}

// ---------------------------------------------------------------------------------------------
// Back buffer, GDI text, queries

// Mended: a nested lock hands out nothing to write into, and its unlock does not end the outer lock.
TEST_F(Vorn3DDevice, BackBufferLockNestsWithoutHandingOutTheSurface)
{
    // Outputs start as garbage: a lock writes every one, a nested lock none.
    struct Lock {
        void* bits = reinterpret_cast<void*>(1);
        int32_t pitch = -1;
        D3DFORMAT format = D3DFMT_A8;
        uint32_t width = 9, height = 9;
        bool Take() { return Vorn3D::LockBackBuffer(&bits, &pitch, &format, &width, &height); }
        std::tuple<void*, int32_t, D3DFORMAT, uint32_t, uint32_t> All() const { return {bits, pitch, format, width, height}; }
    } first, inner, none;
    const Lock untouched;
    // Whether the surface itself is free to lock.
    auto surfaceFree = [] {
        IDirect3DSurface9* back = BackBuffer(Vorn3D::GetDevice());
        D3DLOCKED_RECT locked;
        const bool free = back && SUCCEEDED(back->LockRect(&locked, nullptr, 0));
        if (free) back->UnlockRect();
        return free;
    };
    ASSERT_TRUE(ClearTo(0xFF112233));
    ASSERT_TRUE(first.Take());
    ASSERT_NE(nullptr, first.bits);
    EXPECT_GE(first.pitch, kSize * 4);
    uint32_t pixel;
    memcpy(&pixel, static_cast<const char*>(first.bits) + 5 * first.pitch + 7 * 4, 4);
    EXPECT_NAMED({"height", first.height, kSize}, {"pixel (7, 5)", Argb{pixel & 0xFFFFFF}, Argb{0x112233}});   // the width and format: the font tests
    ASSERT_TRUE(inner.Take());
    EXPECT_EQ(untouched.All(), inner.All());
    Vorn3D::UnlockBackBuffer();   // the inner user's
    EXPECT_FALSE(surfaceFree());
    Vorn3D::UnlockBackBuffer();
    EXPECT_TRUE(surfaceFree());

    // Without a device the lock fails and still writes every output.
    Vorn3D::Finalize();
    ASSERT_FALSE(none.Take());
    EXPECT_NAMED({"bits", none.bits, nullptr}, {"pitch", none.pitch, 0}, {"format", none.format, D3DFMT_UNKNOWN}, {"width", none.width, 0u},
                 {"height", none.height, 0u});
}

TEST_F(Vorn3DDevice, FinishWaitsOutsideTheFrameLocks)
{
    static int observed;
    observed = 0;
    Vorn3D::SetFrameObserver([](VornFrameStep) { ++observed; });
    ASSERT_TRUE(ClearTo(0xFF445566));
    EXPECT_TRUE(Vorn3D::Finish());
    EXPECT_EQ(0, observed);   // no lock of the frame's
    void* bits = nullptr;
    ASSERT_TRUE(Vorn3D::LockBackBuffer(&bits, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(Vorn3D::Finish());   // the buffer is the caller's
    Vorn3D::UnlockBackBuffer();
    EXPECT_TRUE(Vorn3D::Finish());
    Vorn3D::SetFrameObserver(nullptr);
    ASSERT_TRUE(ReadBack());   // what was drawn before stays
    EXPECT_EQ(kSize * kSize, frame_.Count(0, 0, kSize, kSize, 0x445566));
    Vorn3D::Finalize();
    EXPECT_FALSE(Vorn3D::Finish());
}

TEST_F(Vorn3DDevice, GdiTextDrawsOntoTheBackBuffer)
{
    ASSERT_TRUE(ClearTo(0xFF0000FF));
    ASSERT_TRUE(Vorn3D::BeginGdiText("ＭＳ ゴシック", 16));
    EXPECT_FALSE(Vorn3D::BeginGdiText("ＭＳ ゴシック", 16));  // one at a time
    Vorn3D::DrawGdiText(8, 8, RGB(255, 255, 255), RGB(0, 0, 0), "VORN %d", 3);
    Vorn3D::EndGdiText();
    Vorn3D::EndGdiText();
    ASSERT_TRUE(ReadBack());
    // Ink and the opaque background.
    EXPECT_GT(std::min(frame_.Count(8, 8, 128, 24, 0xFFFFFF), frame_.Count(8, 8, 128, 24, 0x000000)), 20);
    EXPECT_EQ(kSize * (kSize - 40), frame_.Count(0, 40, kSize, kSize, 0x0000FF));
}

TEST_F(Vorn3DDevice, OcclusionQueryAndFlush)
{
    EXPECT_EQ(0u, Vorn3D::EndOcclusionQuery());  // no matching begin
    UseVertexColour();
    ASSERT_TRUE(Vorn3D::BeginScene());
    Vorn3D::BeginOcclusionQuery();
    DrawColourQuad(0, 0, 10, 10, 0xFFFFFFFF);
    const uint32_t visible = Vorn3D::EndOcclusionQuery();
    Vorn3D::EndScene();
    EXPECT_EQ(0u, Vorn3D::EndOcclusionQuery());
    // Wine's command thread answers a query only while it has work to poll it with, so the one
    // look of EndOcclusionQuery finds no answer yet: wait for it with a frame's work between the
    // polls. The query must count the quad's 100 pixels, and a ready answer must have been that.
    IDirect3DQuery9* query = Vorn3D::GetOcclusionQuery();
    ASSERT_NE(nullptr, query);
    DWORD counted = 0;
    const DWORD start = GetTickCount();
    // Whether ready() came true before the limit (in ms from the start), with a frame's work between
    // the polls. Generous limits: on a loaded machine the command thread can wait long for its turn.
    auto waitFor = [start](auto ready, DWORD limit) {
        for (; GetTickCount() - start < limit; Sleep(1)) {
            if (ready()) return true;
            Vorn3D::GetDevice()->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            Vorn3D::GetDevice()->Present(nullptr, nullptr, nullptr, nullptr);
        }
        return false;
    };
    waitFor([&] { return query->GetData(&counted, sizeof counted, D3DGETDATA_FLUSH) == S_OK; }, 45000);
    EXPECT_EQ(100u, counted);
    if (visible != 0) { EXPECT_EQ(counted, visible); }   // an answer at once must be the count
    EXPECT_TRUE(waitFor(Vorn3D::Flush, 90000));
}

// ---------------------------------------------------------------------------------------------
// Adapter getters and formats on this machine

TEST_F(Vorn3DDevice, AdapterGettersIndicesOutsideTheirCountsAndFormatsOnThisDevice)
{
    char name[128] = {};
    Vorn3D::GetAdapterName(name);
    EXPECT_NE(0u, strlen(name));

    Vorn3DCaps caps;
    Vorn3D::GetCaps(&caps);
    const uint32_t limit = std::min(caps.maxTextureWidth, caps.maxTextureHeight);
    const uint32_t count = Vorn3D::GetTextureSizeCount();
    ASSERT_GT(count, 0u);
    uint32_t w = 1, h = 1;
    Vorn3D::GetTextureSize(count - 1, &w, &h);
    EXPECT_NAMED({"largest width", w, 32u << (count - 1)}, {"largest height", h, 32u << (count - 1)});
    EXPECT_TRUE(w <= limit && w * 2 > limit) << w << " " << limit;   // the largest that fits
    Vorn3D::GetTextureSize(count, &w, &h);
    EXPECT_NAMED({"width past the count", w, 0u}, {"height past the count", h, 0u});
    for (bool full : {false, true})
        for (uint32_t index : {Vorn3D::GetDisplayModeCount(full), 100000u}) {
            SCOPED_TRACE(std::string(full ? "full-screen" : "windowed") + " mode " + std::to_string(index));
            w = h = 7;
            Vorn3D::GetDisplayMode(full, index, &w, &h);
            EXPECT_NAMED({"width", w, 0u}, {"height", h, 0u});
        }

    EXPECT_NAMED({"pixel shader 2.0", Vorn3D::IsPixelShaderSupported(2, 0), true}, {"pixel shader 255.0", Vorn3D::IsPixelShaderSupported(255, 0), false},
                 {"software vertex shader 2.0", Vorn3D::IsSoftwareVertexShader(2, 0), false});

    // The name buffer is the module's own, overwritten by the next call.
    char copy[64] = {};
    const char* formatName = Vorn3D::GetFormatName(D3DFMT_D24S8, copy);
    EXPECT_STREQ("D24S8", copy);
    Vorn3D::GetFormatName(static_cast<D3DFORMAT>(999));
    EXPECT_STREQ("UNLISTED", formatName);
}

// ---------------------------------------------------------------------------------------------
// Viewport, conversions, clipping

TEST_F(Vorn3DDevice, ViewportClipRectAndConversions)
{
    RECT vp;
    Vorn3D::GetViewport(&vp);
    EXPECT_NAMED({"left", vp.left, 0}, {"top", vp.top, 0}, {"right", vp.right, kSize}, {"bottom", vp.bottom, kSize});

    // Without a camera the matrices are the identity.
    D3DXVECTOR3 p(0.5f, -0.5f, 0.25f), back;
    float screen[2];
    Vorn3D::WorldToScreen(&p, screen);
    EXPECT_NAMED({"screen x", screen[0], 192.0f}, {"screen y", screen[1], 192.0f});
    const D3DXVECTOR3 s(192.0f, 192.0f, 0.25f);
    Vorn3D::ScreenToWorld(&back, &s);
    const D3DXVECTOR3 error = back - D3DXVECTOR3(0.5f, -0.5f, 0.25f);
    EXPECT_LT(D3DXVec3Length(&error), 1e-6f);

    // A camera moved by +2 in x: the world point (2, 0, z) is at the screen centre.
    Vorn3D::Links().cameraGetMatrices = [](D3DXMATRIX* view, D3DXMATRIX* projection) {
        if (view) D3DXMatrixTranslation(view, -2.0f, 0.0f, 0.0f);
        if (projection) D3DXMatrixIdentity(projection);
    };
    D3DXVECTOR3 q(2.0f, 0.0f, 0.5f);
    Vorn3D::WorldToScreen(&q, screen);
    EXPECT_NAMED({"screen x", screen[0], 128.0f}, {"screen y", screen[1], 128.0f});
    const D3DXVECTOR3 centre(128.0f, 128.0f, 0.5f);
    Vorn3D::ScreenToWorld(&back, &centre);
    EXPECT_NEAR(2.0f, back.x, 1e-6f);
    Vorn3D::ScreenToView(&back, &centre);
    EXPECT_NEAR(0.0f, back.x, 1e-6f);

    // Clipping follows the viewport set last.
    const RECT half = {0, 0, 128, 128};
    Vorn3D::SetViewport(&half);
    RECT dst = {100, 100, 200, 200}, src = {0, 0, 100, 100};
    EXPECT_TRUE(Vorn3D::ClipRect(&dst, &src));
    EXPECT_NAMED({"destination right", dst.right, 128}, {"source right", src.right, 28});
}

// ---------------------------------------------------------------------------------------------
// The report through the HTML log

TEST_F(Vorn3DDevice, InitializeStartAndFinalizeWriteTheirLines)
{
    Vorn3D::Finalize();
    LogCapture log;
    ASSERT_TRUE(Vorn3D::Initialize());
    ASSERT_TRUE(Vorn3D::Start(window_, true));
    Vorn3D::Finalize();
    // Titles, blue section heads, strong group heads and plain lines, each in its wrapper, in order.
    EXPECT_TRUE(InOrder(log.Text(), {
        "<FONT color=\"WHITE\">Vorn3Dクラスの初期化</FONT>", "<B><FONT color=\"BLUE\">アダプター情報</FONT></B><BR>\n",
        "<B><FONT color=\"BLUE\">使用可能な画面モードを列挙</FONT></B><BR>\n", "　BackBuffer Format [ X8R8G8B8 ]",
        "　　　32BitColor [ ", "<B>　デバイス能力</B><BR>\n", "<FONT color=\"WHITE\">Vorn3Dクラスの起動</FONT>",
        "　Direct3Dデバイスの生成<BR>\n", "　　　Direct3Dデバイスを ", "　現在のデバイス情報を取得<BR>\n",
        "<FONT color=\"WHITE\">Vorn3Dクラスの解放</FONT>", "IDirect3DQuery9インターフェースを解放<BR>\n",
        "Direct3Dデバイスを解放<BR>\n", "Direct3Dオブジェクトを解放<BR>\n", "DLLを解放<BR>\n"}));
}

TEST_F(Vorn3DDevice, AStartThatNoRowCanCreateLogsWhyAndKeepsTheDevice)
{
    // Full screen on this adapter asks for the UNKNOWN back-buffer format: every row fails.
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    Vorn3D::SetBlendMode(BLEND_ADD);
    LogCapture capture;
    EXPECT_FALSE(Vorn3D::Start(window_, false));
    const std::string log = capture.Text();
    EXPECT_TRUE(InOrder(log, {"　　　エラー：デバイスの作成に失敗 [ ",
                              "　　　　　　：DirectX側のエラーで無い場合は他のソフトがビデオカードを占有してる可能性があります。"}));
    EXPECT_EQ(std::string::npos, log.find("　　　Direct3Dデバイスを "));
    // Nothing changed: the same device, still drawing, with its cached states.
    EXPECT_NAMED({"device", Vorn3D::GetDevice(), device}, {"destination blend", RS(D3DRS_DESTBLEND), D3DBLEND_ONE});
    ASSERT_TRUE(ClearTo(0xFF336699));
    ASSERT_TRUE(ReadBack());
    EXPECT_EQ(Argb{0x336699}, frame_.Hex(5, 5));
}
