// Vorn3D: the Direct3D 9 object and device, the adapter report, state caches, frame operations and
// device-loss recovery.
#pragma once
#include <windows.h>
#include <d3d9.h>
#include <d3dx9.h>
#include <cstdint>
#include "Vorn3DAdapter.h"

// A function with no arguments and no result: device-loss hooks and the game's lost/restore callbacks.
typedef void (*VornDeviceCallback)();
// The steps of a frame that wait on the device, as a frame observer sees them.
enum VornFrameStep { FRAME_LOCK, FRAME_LOCKED, FRAME_UNLOCK, FRAME_UNLOCKED, FRAME_PRESENT, FRAME_PRESENTED };
typedef void (*VornFrameObserver)(VornFrameStep step);

// The blend mode (a u32; any other value changes nothing).
typedef uint32_t VornBlendMode;
constexpr VornBlendMode BLEND_OPAQUE = 0;
constexpr VornBlendMode BLEND_ALPHA = 1;
constexpr VornBlendMode BLEND_ADD = 2;
constexpr VornBlendMode BLEND_MULTIPLY = 3;
constexpr VornBlendMode BLEND_INVERT = 4;

// The drawing classes that keep default-pool resources. The enum order is the order of the loss
// hooks; the restore hooks run in Vorn3D::kRestoreOrder. A class plugs its hooks in from its
// Initialize with one line:
//     Vorn3D::SetDeviceHooks(DEVICE_CLASS_TEXTURE, OnDeviceLost, OnDeviceRestore);
// and takes them out again in Finalize with (DEVICE_CLASS_TEXTURE, nullptr, nullptr).
enum VornDeviceClass : uint32_t {
    DEVICE_CLASS_SURFACE,
    DEVICE_CLASS_TEXTURE,
    DEVICE_CLASS_PRIMITIVE,
    DEVICE_CLASS_PRIMITIVE3D,
    DEVICE_CLASS_LINE,
    DEVICE_CLASS_LINE3D,
    DEVICE_CLASS_POINT,
    DEVICE_CLASS_POINT3D,
    DEVICE_CLASS_MODEL,
    DEVICE_CLASS_MODELEX,
    DEVICE_CLASS_FIELD,
    DEVICE_CLASS_SIMPLE,
    DEVICE_CLASS_SPRITEEX,
    DEVICE_CLASS_SHADERFX,
    DEVICE_CLASS_COUNT
};

// The four batched 2D classes that take the 2D transform settings, in the order Vorn3D calls them.
// Each registers its three setters from its Initialize with one line:
//     Vorn3D::SetTransform2DSetters(TRANSFORM2D_PRIMITIVE, SetPerspective, SetZoom, SetScissoring);
enum VornTransform2DClass : uint32_t {
    TRANSFORM2D_SPRITEEX,
    TRANSFORM2D_PRIMITIVE,
    TRANSFORM2D_LINE,
    TRANSFORM2D_POINT,
    TRANSFORM2D_COUNT
};
typedef void (*VornPerspectiveSetter)(bool on, float centreX, float centreY, float factor);
typedef void (*VornZoomSetter)(bool on, float centreX, float centreY, float scale);
typedef void (*VornScissorSetter)(bool on, const RECT* rect);

// What Vorn3D needs from the classes built on top of it (textures, surfaces, cameras, lights).
// Each class fills its own entries from its Initialize (one line each), e.g.
//     Vorn3D::Links().textureGet = GetTexture;
// An empty entry makes the matching Vorn3D operation do nothing (or return false).
struct Vorn3DLinks {
    IDirect3DTexture9* (*textureGet)(uint32_t texture);
    bool (*textureSetRenderTarget)(uint32_t texture);
    void (*textureSetTexelInset)(float inset);
    bool (*surfaceSetRenderTarget)(uint32_t surface);
    bool (*surfaceSetDepthStencil)(uint32_t surface);
    void (*cameraSet)(uint32_t camera);
    // The current view and projection matrices (either pointer may be null).
    void (*cameraGetMatrices)(D3DXMATRIX* view, D3DXMATRIX* projection);
    void (*lightSetEnable)(uint32_t index, bool on);
};

class Vorn3D {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    static constexpr uint32_t kStateCount = 255;
    static constexpr uint32_t kStageCount = 4;
    static const VornDeviceClass kLossOrder[DEVICE_CLASS_COUNT];
    static const VornDeviceClass kRestoreOrder[DEVICE_CLASS_COUNT];

    // Object and adapter report.
    static bool Initialize();
    static void Finalize();
    static bool InitAdapter();
    static bool CreateDirect3D();
    static bool EnumerateAdapter();
    static bool QueryDeviceCaps();
    static void ReadCaps(const D3DCAPS9* caps, Vorn3DCaps* out);
    static uint32_t GetDisplayModeCount(bool fullColor);
    static void GetDisplayMode(bool fullColor, uint32_t index, uint32_t* width, uint32_t* height);
    static uint32_t GetTextureSizeCount();
    static void GetTextureSize(uint32_t index, uint32_t* width, uint32_t* height);
    static void GetAdapterName(char* out);
    static void GetAdapterDriver(char* out);
    static void GetAdapterVersion(char* out);
    static const Vorn3DAdapterInfo& GetAdapterInfo();

    // Device creation and start.
    static bool Start(HWND window, bool windowed);
    static uint32_t SelectDeviceType();
    static D3DPRESENT_PARAMETERS* BuildPresentParameters(D3DPRESENT_PARAMETERS* out, HWND window, bool windowed,
                                                         bool fullColor);
    static void EnableVSync();
    static void EnableFullScreen32Bit();
    static void UseReferenceRasterizer();
    static void SetRequiredVertexShaderVersion(uint16_t major, uint16_t minor);
    static IDirect3DDevice9* GetDevice();
    static void GetCaps(Vorn3DCaps* out);
    static bool IsPixelShaderSupported(uint16_t major, uint16_t minor);
    static bool IsSoftwareVertexShader(uint16_t major, uint16_t minor);
    static void SelectVertexProcessing(uint16_t major, uint16_t minor);

    // Frame operations and device-loss recovery.
    static bool Clear(uint32_t flags, D3DCOLOR colour, float z, uint32_t stencil, const D3DRECT* rect);
    static void ClearTarget(const D3DRECT* rect, D3DCOLOR colour);
    static bool BeginScene();
    static void EndScene();
    static void Present(HWND destWindowOverride);
    static void ResetDevice(bool force);
    static void RestoreStates();
    static bool IsDeviceLost();  // a reset failed and waits for the next Present to retry
    static void SetDeviceLostCallback(VornDeviceCallback callback);
    static void SetDeviceRestoreCallback(VornDeviceCallback callback);
    static void SetDeviceHooks(VornDeviceClass cls, VornDeviceCallback lost, VornDeviceCallback restore);
    static bool SetRenderTargetSurface(uint32_t surface);
    static bool SetRenderTargetTexture(uint32_t texture);
    static bool SetDepthStencilSurface(uint32_t surface);
    static void SetCamera(uint32_t camera);
    static void BeginOcclusionQuery();
    static uint32_t EndOcclusionQuery();
    static bool Flush();
    // Waits until the device has carried out everything asked of it so far (a read-only lock of the
    // back buffer waits so); false without a device, while the back buffer is locked, or when it
    // cannot be locked. Not one of the frame's back-buffer locks: the frame observer sees nothing,
    // and the waits that the last frame's locks needed are forgotten.
    static bool Finish();
    static bool LockBackBuffer(void** bits, int32_t* pitch, D3DFORMAT* format, uint32_t* width, uint32_t* height);
    static void UnlockBackBuffer();
    static bool BeginGdiText(const char* face, int32_t height);
    static void DrawGdiText(int32_t x, int32_t y, COLORREF textColour, COLORREF backColour, const char* format, ...);
    static void EndGdiText();
    static void SetDialogBoxMode(bool on);

    // State caches, blend modes, viewport and 2D transform settings.
    static void SetRenderState(D3DRENDERSTATETYPE state, uint32_t value);
    static void SetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value);
    static void SetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type, uint32_t value);
    static uint32_t GetRenderState(D3DRENDERSTATETYPE state);  // the cached value, kNone when unknown
    static uint32_t GetTextureStageState(uint32_t stage, D3DTEXTURESTAGESTATETYPE type);
    static uint32_t GetSamplerState(uint32_t sampler, D3DSAMPLERSTATETYPE type);
    static void SetBlendMode(VornBlendMode mode);
    static void SetAlphaEnable(bool on);
    static void SetTextureFilter(bool linear);
    static void SetFog(float fogNear, float fogFar, D3DCOLOR colour);
    static void GetFog(float* fogNear, float* fogFar, D3DCOLOR* colour);
    static void SetTexture(uint32_t stage, uint32_t texture);
    static void SetLightEnable(uint32_t index, bool on);
    static void SetViewport(const RECT* rect);
    static void GetViewport(RECT* out);
    static void SetPerspective(bool on, float centreX, float centreY, float factor);
    static void SetZoom(bool on, float centreX, float centreY, float scale);
    static void SetScissoring(bool on, RECT* rect);
    static void SetTransform2DSetters(VornTransform2DClass cls, VornPerspectiveSetter perspective, VornZoomSetter zoom,
                                      VornScissorSetter scissoring);
    static void WorldToScreen(D3DXVECTOR3* position, float screen[2]);
    static void ScreenToWorld(D3DXVECTOR3* out, const D3DXVECTOR3* screen);
    static void ScreenToView(D3DXVECTOR3* out, const D3DXVECTOR3* screen);
    static bool ClipRect(RECT* dst, RECT* src);

    // Format requests, format names and error texts.
    static D3DFORMAT GetFormat(VornFormatKind request);
    static const char* GetFormatName(D3DFORMAT format, char* out = nullptr);
    static const char* GetErrorText(HRESULT result);

    static Vorn3DLinks& Links();

    // Test seams: a result that replaces the device's own answer of Present, TestCooperativeLevel or
    // Reset from now on (a real loss cannot be made on demand); kNoInjection gives the device back.
    static constexpr HRESULT kNoInjection = static_cast<HRESULT>(0x7FFFFFFF);
    static void InjectPresentResult(HRESULT result);
    static void InjectCooperativeLevel(HRESULT result);
    static void InjectResetResult(HRESULT result);
    // Called by Present just before the frame is shown (a test reads the back buffer there).
    static void SetPresentObserver(VornDeviceCallback observer);
    // Called before and after each back-buffer lock, unlock and present on the device (a benchmark
    // times them); null removes it.
    static void SetFrameObserver(VornFrameObserver observer);
    // The occlusion query itself, for a test that waits for the answer EndOcclusionQuery could not give.
    static IDirect3DQuery9* GetOcclusionQuery();
    // The number of state calls that reached the device since the start (render, stage, sampler).
    static uint32_t GetDeviceStateCalls();
};
