#include "Vorn3D.h"
#include "Vorn.h"
#include "VornDebug.h"
#include "VornLog.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

const VornDeviceClass Vorn3D::kLossOrder[DEVICE_CLASS_COUNT] = {
    DEVICE_CLASS_SURFACE, DEVICE_CLASS_TEXTURE, DEVICE_CLASS_PRIMITIVE, DEVICE_CLASS_PRIMITIVE3D,
    DEVICE_CLASS_LINE,    DEVICE_CLASS_LINE3D,  DEVICE_CLASS_POINT,     DEVICE_CLASS_POINT3D,
    DEVICE_CLASS_MODEL,   DEVICE_CLASS_MODELEX, DEVICE_CLASS_FIELD,     DEVICE_CLASS_SIMPLE,
    DEVICE_CLASS_SPRITEEX, DEVICE_CLASS_SHADERFX,
};

// Restore: the three 2D batches first, then the three 3D ones (not the reverse of the loss order).
const VornDeviceClass Vorn3D::kRestoreOrder[DEVICE_CLASS_COUNT] = {
    DEVICE_CLASS_SURFACE,     DEVICE_CLASS_TEXTURE, DEVICE_CLASS_PRIMITIVE, DEVICE_CLASS_LINE,
    DEVICE_CLASS_POINT,       DEVICE_CLASS_PRIMITIVE3D, DEVICE_CLASS_LINE3D, DEVICE_CLASS_POINT3D,
    DEVICE_CLASS_MODEL,       DEVICE_CLASS_MODELEX, DEVICE_CLASS_FIELD,     DEVICE_CLASS_SIMPLE,
    DEVICE_CLASS_SPRITEEX,    DEVICE_CLASS_SHADERFX,
};

namespace {

typedef IDirect3D9*(WINAPI* Direct3DCreate9Fn)(UINT);

struct DeviceHooks {
    VornDeviceCallback lost;
    VornDeviceCallback restore;
};

struct Transform2DSetters {
    VornPerspectiveSetter perspective;
    VornZoomSetter zoom;
    VornScissorSetter scissoring;
};

struct GdiText {
    IDirect3DSurface9* surface;
    HDC dc;
    HFONT font;
    HGDIOBJ previous;
};

HMODULE g_library;
IDirect3D9* g_d3d;
Vorn3DAdapterInfo g_adapter;
Vorn3DDeviceOptions g_options = {false, false, false, D3DVS_VERSION(3, 0)};

IDirect3DDevice9* g_device;
D3DPRESENT_PARAMETERS g_presentWindowed;
D3DPRESENT_PARAMETERS g_presentFull;
IDirect3DQuery9* g_eventQuery;
IDirect3DQuery9* g_occlusionQuery;
bool g_occlusionRunning;
// Back-buffer locks taken and not yet given back: the surface is locked while this is not 0.
uint32_t g_lockDepth;
GdiText g_gdi;

// Set while the device waits for a Reset that succeeds: the loss hooks have run, the restore
// hooks have not. The failure box is shown once per loss.
bool g_waitingForReset;
bool g_resetBoxShown;

uint32_t g_camera = Vorn3D::kNone;
uint32_t g_targetTexture = Vorn3D::kNone;
uint32_t g_targetSurface = Vorn3D::kNone;
uint32_t g_depthSurface = Vorn3D::kNone;
VornDeviceCallback g_lostCallback;
VornDeviceCallback g_restoreCallback;
DeviceHooks g_hooks[DEVICE_CLASS_COUNT];
Transform2DSetters g_transform2D[TRANSFORM2D_COUNT];
Vorn3DLinks g_links;

Vorn3DStateCache<1> g_renderStates;
Vorn3DStateCache<Vorn3D::kStageCount> g_stageStates;
Vorn3DStateCache<Vorn3D::kStageCount> g_samplerStates;
uint32_t g_stateCalls;

D3DVIEWPORT9 g_viewport;
float g_fogNear, g_fogFar;
D3DCOLOR g_fogColour;

char g_formatName[64];
char g_errorText[512];

HRESULT g_injectPresent = Vorn3D::kNoInjection;
HRESULT g_injectCooperative = Vorn3D::kNoInjection;
HRESULT g_injectReset = Vorn3D::kNoInjection;
VornDeviceCallback g_presentObserver;
VornFrameObserver g_frameObserver;

inline void Observe(VornFrameStep step)
{
    if (g_frameObserver) g_frameObserver(step);
}

void LogSink(void*, Vorn3DLogKind kind, const char* text)
{
    switch (kind) {
    case VORN3D_LOG_BLUE: VornLog::StrongBlue("%s", text); break;
    case VORN3D_LOG_STRONG: VornLog::Strong("%s", text); break;
    case VORN3D_LOG_PRINT: VornLog::Print("%s", text); break;
    }
    VornLog::LineBreak();
}

// Adapter 0 and the HAL device, as the survey reads them.
class Direct3DSource : public Vorn3DAdapterSource {
public:
    explicit Direct3DSource(IDirect3D9* d3d) : d3d_(d3d) {}
    bool GetIdentifier(D3DADAPTER_IDENTIFIER9* out) override
    {
        return SUCCEEDED(d3d_->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, out));
    }
    bool GetDisplayMode(D3DDISPLAYMODE* out) override
    {
        return SUCCEEDED(d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, out));
    }
    uint32_t GetModeCount(D3DFORMAT format) override { return d3d_->GetAdapterModeCount(D3DADAPTER_DEFAULT, format); }
    bool EnumMode(D3DFORMAT format, uint32_t index, D3DDISPLAYMODE* out) override
    {
        return SUCCEEDED(d3d_->EnumAdapterModes(D3DADAPTER_DEFAULT, format, index, out));
    }
    HRESULT CheckFormat(D3DFORMAT backBuffer, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) override
    {
        return d3d_->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, backBuffer, usage, type, format);
    }
    bool GetCaps(D3DCAPS9* out) override
    {
        return SUCCEEDED(d3d_->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, out));
    }

private:
    IDirect3D9* d3d_;
};

void ScreenInfo(uint32_t* width, uint32_t* height, bool* windowed)
{
    uint32_t w = 0, h = 0;
    bool win = true;
    Vorn::GetScreenInfo(&w, &h, &win);
    if (width) *width = w;
    if (height) *height = h;
    if (windowed) *windowed = win;
}

void RuntimeFailure(const char* logLine, const char* boxText)
{
    VornLog::StrongRed("%s", logLine);
    VornLog::LineBreak();
    VornLog::StrongRed("%s", "　　　DirectX9cが正しくインストールされているか確認して下さい");
    VornLog::LineBreak();
    Vorn::MsgBox(MB_ICONSTOP, "Vorn3D", "%s", boxText);
}

// Gives back the back-buffer lock however many users still hold it (device end, reset).
void UnlockBackBufferSurface()
{
    if (g_lockDepth == 0) return;
    g_lockDepth = 0;
    if (!g_device) return;
    IDirect3DSurface9* back = nullptr;
    if (SUCCEEDED(g_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) {
        Observe(FRAME_UNLOCK);
        back->UnlockRect();
        Observe(FRAME_UNLOCKED);
        back->Release();
    }
}

// Taking the back buffer waits for everything drawn so far, and the platform spins a core while
// it waits. Where the same lock of the last frame (the first, the second, ... after a present)
// waited long, this one first waits asleep on the event query, for at most that long less a
// millisecond: the query may go unanswered once the platform's command thread has nothing left to
// do, so the wait never outlasts what the lock itself would have spun. The lock then finds the
// drawing done, or nearly.
constexpr uint32_t kTimedLocks = 4;
double g_lockSeconds[kTimedLocks];
uint32_t g_locksThisFrame;

double Seconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// True when the query answered that the drawing is done; false when it was not asked, or gave no
// answer within the limit.
bool WaitForDrawing(double start)
{
    const double limit = g_locksThisFrame < kTimedLocks ? g_lockSeconds[g_locksThisFrame] - 0.001 : 0.0;
    if (limit < 0.001 || !g_eventQuery || FAILED(g_eventQuery->Issue(D3DISSUE_END))) return false;
    BOOL done = FALSE;
    for (;;) {
        const HRESULT hr = g_eventQuery->GetData(&done, sizeof done, D3DGETDATA_FLUSH);
        if (hr != S_FALSE) return hr == S_OK;
        if (Seconds() - start >= limit) return false;
        Sleep(1);
    }
}

void ReleaseQueries(bool log)
{
    IDirect3DQuery9** queries[2] = {&g_eventQuery, &g_occlusionQuery};
    for (IDirect3DQuery9** q : queries) {
        if (!*q) continue;
        (*q)->Release();
        *q = nullptr;
        if (log) {
            VornLog::Print("%s", "IDirect3DQuery9インターフェースを解放");
            VornLog::LineBreak();
        }
    }
}

void CreateQueries()
{
    const D3DQUERYTYPE types[2] = {D3DQUERYTYPE_EVENT, D3DQUERYTYPE_OCCLUSION};
    IDirect3DQuery9** queries[2] = {&g_eventQuery, &g_occlusionQuery};
    for (int i = 0; i < 2; ++i) {
        HRESULT hr = g_device->CreateQuery(types[i], queries[i]);
        if (FAILED(hr)) {
            *queries[i] = nullptr;
            VornLog::StrongRed("　　　エラー：IDirect3DQuery9インターフェースの取得に失敗 [ %s ]",
                               Vorn3D::GetErrorText(hr));
            VornLog::LineBreak();
        }
    }
}

HRESULT CooperativeLevel()
{
    if (g_injectCooperative != Vorn3D::kNoInjection) return g_injectCooperative;
    return g_device->TestCooperativeLevel();
}

void SendRenderState(uint32_t state, uint32_t value)
{
    ++g_stateCalls;
    g_device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
}

void SendStageState(uint32_t stage, uint32_t type, uint32_t value)
{
    ++g_stateCalls;
    g_device->SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), value);
}

void SendSamplerState(uint32_t sampler, uint32_t type, uint32_t value)
{
    ++g_stateCalls;
    g_device->SetSamplerState(sampler, static_cast<D3DSAMPLERSTATETYPE>(type), value);
}

uint32_t FloatBits(float f)
{
    uint32_t u;
    memcpy(&u, &f, sizeof u);
    return u;
}

void Identity(D3DXMATRIX* m)
{
    D3DXMatrixIdentity(m);
}

void CameraMatrices(D3DXMATRIX* view, D3DXMATRIX* projection)
{
    Identity(view);
    Identity(projection);
    if (g_links.cameraGetMatrices) g_links.cameraGetMatrices(view, projection);
}

// Normalised device coordinates of a screen position; false for an empty viewport.
bool ScreenToNormalised(const D3DXVECTOR3* screen, D3DXVECTOR3* out)
{
    const float halfW = static_cast<float>(g_viewport.Width >> 1);
    const float halfH = static_cast<float>(g_viewport.Height >> 1);
    if (halfW == 0.0f || halfH == 0.0f) return false;
    out->x = (screen->x - (static_cast<float>(g_viewport.X) + halfW)) / halfW;
    out->y = -(screen->y - (static_cast<float>(g_viewport.Y) + halfH)) / halfH;
    out->z = screen->z;
    return true;
}

}  // namespace

// =============================================================================================
// Object and adapter report

namespace {
// Boxes shown while a device exists need its dialog-box mode to be seen.
bool DialogBoxHook(bool on)
{
    if (!Vorn3D::GetDevice()) return false;
    Vorn3D::SetDialogBoxMode(on);
    return true;
}
}  // namespace

bool Vorn3D::Initialize()
{
    VornLog::Title("%s", "Vorn3Dクラスの初期化");
    Vorn::SetDialogBoxHook(DialogBoxHook);
    g_options.requiredVertexShader = D3DVS_VERSION(3, 0);
    if (!InitAdapter()) {
        Vorn::MsgBox(MB_ICONSTOP, "Vorn3D", "%s", "アダプターの初期化に失敗");
        return false;
    }
    return true;
}

bool Vorn3D::InitAdapter()
{
    return CreateDirect3D() && EnumerateAdapter() && QueryDeviceCaps();
}

bool Vorn3D::CreateDirect3D()
{
    g_library = LoadLibraryA("d3d9.dll");
    if (!g_library) {
        RuntimeFailure("　　　エラー : DLLの読み込みに失敗",
                       "DLLの読み込みに失敗\nDirectX9cが正しくインストールされているか\n確認して下さい");
        return false;
    }
    Direct3DCreate9Fn create =
        reinterpret_cast<Direct3DCreate9Fn>(reinterpret_cast<void*>(GetProcAddress(g_library, "Direct3DCreate9")));
    if (!create) {
        RuntimeFailure("　　　エラー : DLLからの関数呼び出しに失敗",
                       "DLLからの関数呼び出しに失敗\nDirectX9cが正しくインストールされているか\n確認して下さい");
        return false;
    }
    g_d3d = create(D3D_SDK_VERSION);
    if (!g_d3d) {
        RuntimeFailure("　　　エラー : Direct3Dオブジェクトの生成に失敗",
                       "Direct3Dオブジェクトの生成に失敗\nDirectX9cが正しくインストールされているか\n確認して下さい");
        return false;
    }
    return true;
}

bool Vorn3D::EnumerateAdapter()
{
    memset(&g_adapter, 0, sizeof g_adapter);
    uint32_t width, height;
    ScreenInfo(&width, &height, nullptr);
    Direct3DSource source(g_d3d);
    Vorn3DAdapter::Enumerate(&source, width, height, &g_adapter, LogSink, nullptr);
    return true;
}

bool Vorn3D::QueryDeviceCaps()
{
    Direct3DSource source(g_d3d);
    Vorn3DAdapter::QueryCaps(&source, &g_adapter, LogSink, nullptr);
    return true;
}

void Vorn3D::ReadCaps(const D3DCAPS9* caps, Vorn3DCaps* out)
{
    Vorn3DAdapter::ReadCaps(caps, out);
}

void Vorn3D::Finalize()
{
    VornLog::Title("%s", "Vorn3Dクラスの解放");
    EndGdiText();
    UnlockBackBufferSurface();
    ReleaseQueries(true);
    g_occlusionRunning = false;
    if (g_device) {
        g_device->Release();
        g_device = nullptr;
        VornLog::Print("%s", "Direct3Dデバイスを解放");
        VornLog::LineBreak();
    }
    if (g_d3d) {
        g_d3d->Release();
        g_d3d = nullptr;
        VornLog::Print("%s", "Direct3Dオブジェクトを解放");
        VornLog::LineBreak();
    }
    if (g_library) {
        FreeLibrary(g_library);
        g_library = nullptr;
        VornLog::Print("%s", "DLLを解放");
        VornLog::LineBreak();
    }
    g_waitingForReset = false;
    g_resetBoxShown = false;
}

uint32_t Vorn3D::GetDisplayModeCount(bool fullColor)
{
    const D3DFORMAT format = fullColor ? g_adapter.mode32.Format : g_adapter.mode16.Format;
    const Vorn3DFormatRecord* record = Vorn3DAdapter::FindRecord(g_adapter, format);
    return record ? record->modeCount : 0;
}

void Vorn3D::GetDisplayMode(bool fullColor, uint32_t index, uint32_t* width, uint32_t* height)
{
    const D3DFORMAT format = fullColor ? g_adapter.mode32.Format : g_adapter.mode16.Format;
    const Vorn3DFormatRecord* record = Vorn3DAdapter::FindRecord(g_adapter, format);
    const bool valid = record && index < record->modeCount;
    if (width) *width = valid ? record->modes[index].Width : 0;
    if (height) *height = valid ? record->modes[index].Height : 0;
}

uint32_t Vorn3D::GetTextureSizeCount()
{
    const uint32_t limit = g_adapter.caps.maxTextureWidth < g_adapter.caps.maxTextureHeight
                               ? g_adapter.caps.maxTextureWidth
                               : g_adapter.caps.maxTextureHeight;
    uint32_t count = 0;
    while (count < 26 && (32u << count) <= limit) ++count;
    return count;
}

void Vorn3D::GetTextureSize(uint32_t index, uint32_t* width, uint32_t* height)
{
    const uint32_t size = index < GetTextureSizeCount() ? (32u << index) : 0;
    if (width) *width = size;
    if (height) *height = size;
}

void Vorn3D::GetAdapterName(char* out) { strcpy(out, g_adapter.name); }
void Vorn3D::GetAdapterDriver(char* out) { strcpy(out, g_adapter.driver); }
void Vorn3D::GetAdapterVersion(char* out) { strcpy(out, g_adapter.version); }
const Vorn3DAdapterInfo& Vorn3D::GetAdapterInfo() { return g_adapter; }

// =============================================================================================
// Device creation and start

uint32_t Vorn3D::SelectDeviceType()
{
    return Vorn3DAdapter::SelectDeviceType(g_adapter.caps, g_options);
}

D3DPRESENT_PARAMETERS* Vorn3D::BuildPresentParameters(D3DPRESENT_PARAMETERS* out, HWND window, bool windowed,
                                                      bool fullColor)
{
    uint32_t width, height;
    ScreenInfo(&width, &height, nullptr);
    Vorn3DAdapter::BuildPresentParameters(g_adapter, g_options, width, height, window, windowed, fullColor, out);
    return out;
}

void Vorn3D::EnableVSync() { g_options.vsync = true; }
void Vorn3D::EnableFullScreen32Bit() { g_options.fullScreen32 = true; }
void Vorn3D::UseReferenceRasterizer() { g_options.reference = true; }
void Vorn3D::SetRequiredVertexShaderVersion(uint16_t major, uint16_t minor)
{
    g_options.requiredVertexShader = D3DVS_VERSION(major, minor);
}

bool Vorn3D::Start(HWND window, bool windowed)
{
    VornLog::Title("%s", "Vorn3Dクラスの起動");
    if (!g_d3d) return false;
    const uint32_t firstRow = SelectDeviceType();

    BuildPresentParameters(&g_presentWindowed, window, true, false);
    BuildPresentParameters(&g_presentFull, window, false, g_options.fullScreen32);
    const D3DPRESENT_PARAMETERS& chosen = windowed ? g_presentWindowed : g_presentFull;

    VornLog::Print("%s", "　Direct3Dデバイスの生成");
    VornLog::LineBreak();
    IDirect3DDevice9* device = nullptr;
    HRESULT hr = E_FAIL;
    uint32_t row = firstRow;
    for (; row < VORN3D_DEVICE_ROWS; ++row) {
        D3DPRESENT_PARAMETERS pp = chosen;
        const Vorn3DDeviceRow& r = Vorn3DAdapter::kDeviceRows[row];
        hr = g_d3d->CreateDevice(D3DADAPTER_DEFAULT, r.type, window, r.behaviour | D3DCREATE_MULTITHREADED, &pp,
                                 &device);
        if (SUCCEEDED(hr)) break;
        device = nullptr;
    }
    if (!device) {
        VornLog::StrongRed("　　　エラー：デバイスの作成に失敗 [ %s ]", GetErrorText(hr));
        VornLog::LineBreak();
        VornLog::StrongRed("%s",
                           "　　　　　　：DirectX側のエラーで無い場合は他のソフトがビデオカードを占有してる可能性があります。");
        VornLog::LineBreak();
        return false;
    }
    if (g_device) {  // a second start replaces the first device
        ReleaseQueries(false);
        g_device->Release();
    }
    g_device = device;
    g_waitingForReset = false;
    g_resetBoxShown = false;
    g_lockDepth = 0;
    VornLog::Print("%s", Vorn3DAdapter::kDeviceRows[row].logLine);
    VornLog::LineBreak();

    CreateQueries();
    g_occlusionRunning = false;

    D3DCAPS9 caps;
    memset(&caps, 0, sizeof caps);
    g_device->GetDeviceCaps(&caps);
    ReadCaps(&caps, &g_adapter.caps);
    Vorn3DAdapter::ReportDeviceCaps(g_adapter.caps, LogSink, nullptr);

    uint32_t width, height;
    ScreenInfo(&width, &height, nullptr);
    g_viewport.X = 0;
    g_viewport.Y = 0;
    g_viewport.Width = width;
    g_viewport.Height = height;
    g_viewport.MinZ = 0.0f;
    g_viewport.MaxZ = 1.0f;

    g_camera = g_targetTexture = g_targetSurface = g_depthSurface = kNone;

    g_renderStates.Invalidate();
    g_stageStates.Invalidate();
    g_samplerStates.Invalidate();

    SetRenderState(D3DRS_LIGHTING, FALSE);
    SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    for (uint32_t stage = 0; stage < kStageCount; ++stage) {
        SetSamplerState(stage, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
        SetSamplerState(stage, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
        SetSamplerState(stage, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        SetSamplerState(stage, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        SetSamplerState(stage, D3DSAMP_MIPFILTER, D3DTEXF_LINEAR);
        SetTextureStageState(stage, D3DTSS_COLOROP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE);
        SetTextureStageState(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        SetTextureStageState(stage, D3DTSS_COLORARG2, D3DTA_CURRENT);
        SetTextureStageState(stage, D3DTSS_ALPHAOP, stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE);
        SetTextureStageState(stage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        SetTextureStageState(stage, D3DTSS_ALPHAARG2, D3DTA_CURRENT);
    }
    RestoreStates();
    return true;
}

IDirect3DDevice9* Vorn3D::GetDevice() { return g_device; }

void Vorn3D::GetCaps(Vorn3DCaps* out) { *out = g_adapter.caps; }

bool Vorn3D::IsPixelShaderSupported(uint16_t major, uint16_t minor)
{
    return g_adapter.caps.pixelShaderVersion >= D3DPS_VERSION(major, minor);
}

bool Vorn3D::IsSoftwareVertexShader(uint16_t major, uint16_t minor)
{
    return !g_adapter.caps.hwTransformAndLight || g_adapter.caps.vertexShaderVersion < D3DVS_VERSION(major, minor);
}

void Vorn3D::SelectVertexProcessing(uint16_t major, uint16_t minor)
{
    if (!g_device) return;
    g_device->SetSoftwareVertexProcessing((g_options.reference || IsSoftwareVertexShader(major, minor)) ? TRUE : FALSE);
}

// =============================================================================================
// Frame operations

bool Vorn3D::Clear(uint32_t flags, D3DCOLOR colour, float z, uint32_t stencil, const D3DRECT* rect)
{
    if (!g_device) return false;
    return SUCCEEDED(g_device->Clear(rect ? 1 : 0, rect, flags, colour, z, stencil));
}

void Vorn3D::ClearTarget(const D3DRECT* rect, D3DCOLOR colour)
{
    Clear(D3DCLEAR_TARGET, colour, 1.0f, 0, rect);
}

bool Vorn3D::BeginScene()
{
    // While a reset is outstanding the drawing classes hold no device resources: draw nothing.
    if (!g_device || g_waitingForReset) return false;
    return SUCCEEDED(g_device->BeginScene());
}

void Vorn3D::EndScene()
{
    if (g_device) g_device->EndScene();
}

void Vorn3D::Present(HWND destWindowOverride)
{
    if (!g_device) return;
    if (g_waitingForReset) {  // the last Reset failed: try again instead of presenting
        if (CooperativeLevel() == D3DERR_DEVICELOST)
            SleepEx(10, TRUE);
        else
            ResetDevice(false);
        return;
    }
    if (g_presentObserver) g_presentObserver();
    Observe(FRAME_PRESENT);
    g_locksThisFrame = 0;
    const HRESULT hr = g_injectPresent != kNoInjection ? g_injectPresent
                                                       : g_device->Present(nullptr, nullptr, destWindowOverride, nullptr);
    Observe(FRAME_PRESENTED);
    if (hr == D3DERR_DRIVERINTERNALERROR) {
        Vorn::Exit();
    } else if (hr == D3DERR_DEVICELOST) {
        const HRESULT level = CooperativeLevel();
        if (level == D3DERR_DEVICELOST)
            SleepEx(10, TRUE);
        else if (level == D3DERR_DEVICENOTRESET)
            ResetDevice(false);
    }
}

bool Vorn3D::IsDeviceLost() { return g_waitingForReset; }

void Vorn3D::ResetDevice(bool force)
{
    if (!g_device) return;
    if (!force && !g_waitingForReset && CooperativeLevel() == D3D_OK) return;

    uint32_t width, height;
    bool windowed;
    ScreenInfo(&width, &height, &windowed);
    g_presentWindowed.BackBufferWidth = g_presentFull.BackBufferWidth = width;
    g_presentWindowed.BackBufferHeight = g_presentFull.BackBufferHeight = height;
    D3DPRESENT_PARAMETERS pp = windowed ? g_presentWindowed : g_presentFull;

    // Let go of everything in the default pool, once per loss.
    if (!g_waitingForReset) {
        EndGdiText();
        UnlockBackBufferSurface();
        for (VornDeviceClass cls : kLossOrder)
            if (g_hooks[cls].lost) g_hooks[cls].lost();
        ReleaseQueries(false);
        if (g_lostCallback) g_lostCallback();
        g_waitingForReset = true;
    }

    const HRESULT hr = g_injectReset != kNoInjection ? g_injectReset : g_device->Reset(&pp);
    if (FAILED(hr)) {
        // Stay lost: nothing is re-created on a device that was not reset; the next Present retries.
        // The line and the box come once per loss, not once per retry.
        if (!g_resetBoxShown) {
            g_resetBoxShown = true;
            VornLog::StrongRed("　　　エラー：デバイスの復帰に失敗 [ %s ]", GetErrorText(hr));
            VornLog::LineBreak();
            Vorn::MsgBox(MB_ICONSTOP, "ERROR", "%s", "デバイスの復帰に失敗");
        }
        return;
    }
    g_waitingForReset = false;
    g_resetBoxShown = false;

    CreateQueries();
    g_occlusionRunning = false;
    for (VornDeviceClass cls : kRestoreOrder)
        if (g_hooks[cls].restore) g_hooks[cls].restore();
    if (g_restoreCallback) g_restoreCallback();
    RestoreStates();
}

void Vorn3D::RestoreStates()
{
    if (!g_device) return;
    g_device->SetViewport(&g_viewport);
    if (g_targetTexture != kNone && g_links.textureSetRenderTarget) g_links.textureSetRenderTarget(g_targetTexture);
    if (g_targetSurface != kNone && g_links.surfaceSetRenderTarget) g_links.surfaceSetRenderTarget(g_targetSurface);
    if (g_depthSurface != kNone && g_links.surfaceSetDepthStencil) g_links.surfaceSetDepthStencil(g_depthSurface);
    if (g_camera != kNone && g_links.cameraSet) g_links.cameraSet(g_camera);
    for (uint32_t state = 0; state < kStateCount; ++state) {
        if (g_renderStates.Known(0, state)) SendRenderState(state, g_renderStates.Get(0, state));
    }
    for (uint32_t type = 0; type < kStateCount; ++type)
        for (uint32_t stage = 0; stage < kStageCount; ++stage) {
            if (g_stageStates.Known(stage, type)) SendStageState(stage, type, g_stageStates.Get(stage, type));
        }
    for (uint32_t type = 0; type < kStateCount; ++type)
        for (uint32_t sampler = 0; sampler < kStageCount; ++sampler) {
            if (g_samplerStates.Known(sampler, type)) SendSamplerState(sampler, type, g_samplerStates.Get(sampler, type));
        }
    Clear(D3DCLEAR_TARGET, 0, 1.0f, 0, nullptr);
}

void Vorn3D::SetDeviceLostCallback(VornDeviceCallback callback) { g_lostCallback = callback; }
void Vorn3D::SetDeviceRestoreCallback(VornDeviceCallback callback) { g_restoreCallback = callback; }

void Vorn3D::SetDeviceHooks(VornDeviceClass cls, VornDeviceCallback lost, VornDeviceCallback restore)
{
    if (cls >= DEVICE_CLASS_COUNT) return;
    g_hooks[cls].lost = lost;
    g_hooks[cls].restore = restore;
}

namespace {

// Remembers one render target (forgetting the other kind), sets it, and binds the remembered
// depth-stencil surface again when that worked.
bool SetRenderTarget(uint32_t handle, uint32_t* remember, uint32_t* forget, bool (*set)(uint32_t))
{
    if (handle == Vorn3D::kNone) return false;
    *forget = Vorn3D::kNone;
    *remember = handle;
    if (!set || !set(handle)) return false;
    if (g_depthSurface != Vorn3D::kNone && g_links.surfaceSetDepthStencil) g_links.surfaceSetDepthStencil(g_depthSurface);
    return true;
}

}  // namespace

bool Vorn3D::SetRenderTargetSurface(uint32_t surface)
{
    return SetRenderTarget(surface, &g_targetSurface, &g_targetTexture, g_links.surfaceSetRenderTarget);
}

bool Vorn3D::SetRenderTargetTexture(uint32_t texture)
{
    return SetRenderTarget(texture, &g_targetTexture, &g_targetSurface, g_links.textureSetRenderTarget);
}

bool Vorn3D::SetDepthStencilSurface(uint32_t surface)
{
    g_depthSurface = surface;
    if (g_links.surfaceSetDepthStencil) g_links.surfaceSetDepthStencil(surface);
    return true;
}

void Vorn3D::SetCamera(uint32_t camera)
{
    if (camera == kNone) return;
    g_camera = camera;
    if (g_links.cameraSet) g_links.cameraSet(camera);
}

void Vorn3D::BeginOcclusionQuery()
{
    if (!g_occlusionQuery || g_occlusionRunning) return;
    g_occlusionRunning = true;
    g_occlusionQuery->Issue(D3DISSUE_BEGIN);
}

uint32_t Vorn3D::EndOcclusionQuery()
{
    if (!g_occlusionQuery || !g_occlusionRunning) return 0;
    g_occlusionRunning = false;
    g_occlusionQuery->Issue(D3DISSUE_END);
    DWORD count = 0;
    const HRESULT hr = g_occlusionQuery->GetData(&count, sizeof count, D3DGETDATA_FLUSH);
    if (FAILED(hr)) {
        VornDebug::Print("%s", GetErrorText(hr));
        return 0xFFFFFFFFu;
    }
    return hr == S_OK ? static_cast<uint32_t>(count) : 0;
}

bool Vorn3D::Flush()
{
    if (!g_eventQuery) return false;
    g_eventQuery->Issue(D3DISSUE_END);
    BOOL done = FALSE;
    return g_eventQuery->GetData(&done, sizeof done, D3DGETDATA_FLUSH) == S_OK;
}

bool Vorn3D::Finish()
{
    if (!g_device || g_lockDepth > 0) return false;
    IDirect3DSurface9* back = nullptr;
    if (FAILED(g_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return false;
    D3DLOCKED_RECT locked;
    const bool taken = SUCCEEDED(back->LockRect(&locked, nullptr, D3DLOCK_READONLY));
    if (taken) back->UnlockRect();
    back->Release();
    // The device is idle now: what the frame's locks so far waited for is no guide to the next.
    for (double& s : g_lockSeconds) s = 0.0;
    return taken;
}

bool Vorn3D::LockBackBuffer(void** bits, int32_t* pitch, D3DFORMAT* format, uint32_t* width, uint32_t* height)
{
    // Already locked: true, the outputs left as they were, so an inner user sees no surface to
    // write into; its unlock only gives back its own count.
    if (g_lockDepth > 0) {
        ++g_lockDepth;
        return true;
    }
    if (bits) *bits = nullptr;
    if (pitch) *pitch = 0;
    if (format) *format = D3DFMT_UNKNOWN;
    if (width) *width = 0;
    if (height) *height = 0;
    if (!g_device) return false;
    IDirect3DSurface9* back = nullptr;
    if (FAILED(g_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return false;
    D3DSURFACE_DESC desc;
    D3DLOCKED_RECT locked;
    Observe(FRAME_LOCK);
    const double start = Seconds();
    const bool answered = WaitForDrawing(start);
    const double lockStart = Seconds();
    const bool taken = SUCCEEDED(back->GetDesc(&desc)) && SUCCEEDED(back->LockRect(&locked, nullptr, 0));
    // What this lock needed: the whole wait when the query told the drawing's end, else the lock's
    // own (a wait the query left unanswered is not taken as need, or it would feed itself).
    if (g_locksThisFrame < kTimedLocks) g_lockSeconds[g_locksThisFrame++] = Seconds() - (answered ? start : lockStart);
    Observe(FRAME_LOCKED);
    if (taken) {
        g_lockDepth = 1;
        if (bits) *bits = locked.pBits;
        if (pitch) *pitch = locked.Pitch;
        if (format) *format = desc.Format;
        if (width) *width = desc.Width;
        if (height) *height = desc.Height;
    }
    back->Release();
    return g_lockDepth > 0;
}

void Vorn3D::UnlockBackBuffer()
{
    if (g_lockDepth > 1)
        --g_lockDepth;
    else
        UnlockBackBufferSurface();
}

bool Vorn3D::BeginGdiText(const char* face, int32_t height)
{
    if (!g_device || g_gdi.dc) return false;
    IDirect3DSurface9* back = nullptr;
    if (FAILED(g_device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return false;
    HDC dc = nullptr;
    if (FAILED(back->GetDC(&dc))) {
        back->Release();
        return false;
    }
    g_gdi.surface = back;
    g_gdi.dc = dc;
    g_gdi.font = CreateFontA(height, 0, 0, 0, 0, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_TT_PRECIS,
                             CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, face);
    g_gdi.previous = SelectObject(dc, g_gdi.font);
    return true;
}

void Vorn3D::DrawGdiText(int32_t x, int32_t y, COLORREF textColour, COLORREF backColour, const char* format, ...)
{
    if (!g_gdi.dc) return;
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    SetBkColor(g_gdi.dc, backColour);
    SetBkMode(g_gdi.dc, OPAQUE);
    SetTextColor(g_gdi.dc, textColour);
    TextOutA(g_gdi.dc, x, y, text, static_cast<int>(strlen(text)));
}

void Vorn3D::EndGdiText()
{
    if (!g_gdi.dc) return;
    SelectObject(g_gdi.dc, g_gdi.previous);
    if (g_gdi.font) DeleteObject(g_gdi.font);
    g_gdi.surface->ReleaseDC(g_gdi.dc);
    g_gdi.surface->Release();
    memset(&g_gdi, 0, sizeof g_gdi);
}

void Vorn3D::SetDialogBoxMode(bool on)
{
    if (g_device) g_device->SetDialogBoxMode(on ? TRUE : FALSE);
}

// =============================================================================================
// State caches and the settings on top of them

void Vorn3D::SetRenderState(D3DRENDERSTATETYPE state, uint32_t value)
{
    if (g_renderStates.Set(0, static_cast<uint32_t>(state), value) && g_device)
        SendRenderState(static_cast<uint32_t>(state), value);
}

void Vorn3D::SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value)
{
    if (g_stageStates.Set(stage, static_cast<uint32_t>(type), value) && g_device)
        SendStageState(stage, static_cast<uint32_t>(type), value);
}

void Vorn3D::SetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type, uint32_t value)
{
    if (g_samplerStates.Set(sampler, static_cast<uint32_t>(type), value) && g_device)
        SendSamplerState(sampler, static_cast<uint32_t>(type), value);
}

uint32_t Vorn3D::GetRenderState(D3DRENDERSTATETYPE state) { return g_renderStates.Get(0, static_cast<uint32_t>(state)); }

uint32_t Vorn3D::GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type)
{
    return g_stageStates.Get(stage, static_cast<uint32_t>(type));
}

uint32_t Vorn3D::GetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type)
{
    return g_samplerStates.Get(sampler, static_cast<uint32_t>(type));
}

uint32_t Vorn3D::GetDeviceStateCalls() { return g_stateCalls; }

void Vorn3D::SetBlendMode(VornBlendMode mode)
{
    static const uint32_t kBlend[5][2] = {
        {D3DBLEND_ONE, D3DBLEND_ZERO},          {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
        {D3DBLEND_SRCALPHA, D3DBLEND_ONE},      {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},
        {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO},
    };
    if (mode > BLEND_INVERT) return;
    SetRenderState(D3DRS_SRCBLEND, kBlend[mode][0]);
    SetRenderState(D3DRS_DESTBLEND, kBlend[mode][1]);
}

void Vorn3D::SetAlphaEnable(bool on)
{
    if (on) {
        SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
        SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
        SetRenderState(D3DRS_ALPHAREF, 8);
    } else {
        SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    }
}

void Vorn3D::SetTextureFilter(bool linear)
{
    if (g_links.textureSetTexelInset) g_links.textureSetTexelInset(linear ? 0.5f : 0.0f);
    const uint32_t filter = linear ? D3DTEXF_LINEAR : D3DTEXF_POINT;
    for (uint32_t sampler = 0; sampler < kStageCount; ++sampler) {
        SetSamplerState(sampler, D3DSAMP_MAGFILTER, filter);
        SetSamplerState(sampler, D3DSAMP_MINFILTER, filter);
        SetSamplerState(sampler, D3DSAMP_MIPFILTER, filter);
    }
}

void Vorn3D::SetFog(float fogNear, float fogFar, D3DCOLOR colour)
{
    SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    SetRenderState(D3DRS_FOGCOLOR, colour & 0x00FFFFFFu);
    SetRenderState(D3DRS_FOGSTART, FloatBits(0.0f));
    SetRenderState(D3DRS_FOGEND, FloatBits(1.0f));
    g_fogNear = fogNear;
    g_fogFar = fogFar;
    g_fogColour = colour;
}

void Vorn3D::GetFog(float* fogNear, float* fogFar, D3DCOLOR* colour)
{
    if (fogNear) *fogNear = g_fogNear;
    if (fogFar) *fogFar = g_fogFar;
    if (colour) *colour = g_fogColour;
}

void Vorn3D::SetTexture(uint32_t stage, uint32_t texture)
{
    if (stage >= kStageCount || !g_device) return;
    IDirect3DTexture9* t = (texture != kNone && g_links.textureGet) ? g_links.textureGet(texture) : nullptr;
    g_device->SetTexture(stage, t);
}

void Vorn3D::SetLightEnable(uint32_t index, bool on)
{
    if (g_links.lightSetEnable) g_links.lightSetEnable(index, on);
}

void Vorn3D::SetViewport(const RECT* rect)
{
    if (!rect) return;
    g_viewport.X = static_cast<DWORD>(rect->left);
    g_viewport.Y = static_cast<DWORD>(rect->top);
    g_viewport.Width = static_cast<DWORD>(rect->right - rect->left);
    g_viewport.Height = static_cast<DWORD>(rect->bottom - rect->top);
    g_viewport.MinZ = 0.0f;
    g_viewport.MaxZ = 1.0f;
    if (g_device) g_device->SetViewport(&g_viewport);
}

void Vorn3D::GetViewport(RECT* out)
{
    out->left = static_cast<LONG>(g_viewport.X);
    out->top = static_cast<LONG>(g_viewport.Y);
    out->right = static_cast<LONG>(g_viewport.X + g_viewport.Width);
    out->bottom = static_cast<LONG>(g_viewport.Y + g_viewport.Height);
}

void Vorn3D::SetPerspective(bool on, float centreX, float centreY, float factor)
{
    for (const Transform2DSetters& s : g_transform2D)
        if (s.perspective) s.perspective(on, centreX, centreY, factor);
}

void Vorn3D::SetZoom(bool on, float centreX, float centreY, float scale)
{
    for (const Transform2DSetters& s : g_transform2D)
        if (s.zoom) s.zoom(on, centreX, centreY, scale);
}

void Vorn3D::SetScissoring(bool on, RECT* rect)
{
    // Off passes the rectangle on as it is, null included: the classes keep their edges.
    if (on) {
        if (!rect) return;
        rect->left = static_cast<LONG>(Vorn::VirtualScaleX(static_cast<float>(rect->left)));
        rect->right = static_cast<LONG>(Vorn::VirtualScaleX(static_cast<float>(rect->right)));
        rect->top = static_cast<LONG>(Vorn::VirtualScaleY(static_cast<float>(rect->top)));
        rect->bottom = static_cast<LONG>(Vorn::VirtualScaleY(static_cast<float>(rect->bottom)));
    }
    for (const Transform2DSetters& s : g_transform2D)
        if (s.scissoring) s.scissoring(on, rect);
}

void Vorn3D::SetTransform2DSetters(VornTransform2DClass cls, VornPerspectiveSetter perspective, VornZoomSetter zoom,
                                   VornScissorSetter scissoring)
{
    if (cls >= TRANSFORM2D_COUNT) return;
    g_transform2D[cls] = {perspective, zoom, scissoring};
}

void Vorn3D::WorldToScreen(D3DXVECTOR3* position, float screen[2])
{
    D3DXMATRIX view, projection, viewProjection;
    CameraMatrices(&view, &projection);
    D3DXMatrixMultiply(&viewProjection, &view, &projection);
    D3DXVec3TransformCoord(position, position, &viewProjection);
    const float halfW = static_cast<float>(g_viewport.Width >> 1);
    const float halfH = static_cast<float>(g_viewport.Height >> 1);
    screen[0] = halfW * position->x + static_cast<float>(g_viewport.X) + halfW;
    screen[1] = -position->y * halfH + static_cast<float>(g_viewport.Y) + halfH;
}

void Vorn3D::ScreenToWorld(D3DXVECTOR3* out, const D3DXVECTOR3* screen)
{
    D3DXVECTOR3 n;
    if (!ScreenToNormalised(screen, &n)) {
        *out = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        return;
    }
    D3DXMATRIX view, projection, viewProjection, inverse;
    CameraMatrices(&view, &projection);
    D3DXMatrixMultiply(&viewProjection, &view, &projection);
    if (!D3DXMatrixInverse(&inverse, nullptr, &viewProjection)) Identity(&inverse);
    D3DXVec3TransformCoord(out, &n, &inverse);
}

void Vorn3D::ScreenToView(D3DXVECTOR3* out, const D3DXVECTOR3* screen)
{
    D3DXVECTOR3 n;
    if (!ScreenToNormalised(screen, &n)) {
        *out = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        return;
    }
    D3DXMATRIX view, projection, inverse;
    CameraMatrices(&view, &projection);
    if (!D3DXMatrixInverse(&inverse, nullptr, &projection)) Identity(&inverse);
    D3DXVec3TransformCoord(out, &n, &inverse);
}

bool Vorn3D::ClipRect(RECT* dst, RECT* src) { return Vorn3DAdapter::ClipRect(g_viewport, dst, src); }

// =============================================================================================
// Formats and texts

D3DFORMAT Vorn3D::GetFormat(VornFormatKind request)
{
    bool windowed = true;
    ScreenInfo(nullptr, nullptr, &windowed);
    const D3DFORMAT backBuffer = Vorn3DAdapter::BackBufferFormat(g_adapter, windowed, g_options.fullScreen32);
    return Vorn3DAdapter::ResolveFormat(g_adapter, backBuffer, request);
}

const char* Vorn3D::GetFormatName(D3DFORMAT format, char* out)
{
    snprintf(g_formatName, sizeof g_formatName, "%s", Vorn3DAdapter::FormatName(format));
    if (out) strcpy(out, g_formatName);
    return g_formatName;
}

const char* Vorn3D::GetErrorText(HRESULT result)
{
    snprintf(g_errorText, sizeof g_errorText, "%s", Vorn3DAdapter::ErrorText(result));
    return g_errorText;
}

Vorn3DLinks& Vorn3D::Links() { return g_links; }

void Vorn3D::InjectPresentResult(HRESULT result) { g_injectPresent = result; }
void Vorn3D::InjectCooperativeLevel(HRESULT result) { g_injectCooperative = result; }
void Vorn3D::InjectResetResult(HRESULT result) { g_injectReset = result; }
void Vorn3D::SetPresentObserver(VornDeviceCallback observer) { g_presentObserver = observer; }
void Vorn3D::SetFrameObserver(VornFrameObserver observer) { g_frameObserver = observer; }
IDirect3DQuery9* Vorn3D::GetOcclusionQuery() { return g_occlusionQuery; }
