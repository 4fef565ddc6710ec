// Vorn3DAdapter: the adapter survey's plain records and every decision Vorn3D takes from them
// (device row, presentation parameters, format requests, format names, error texts, reports).
// Nothing here touches a device: the survey reads the adapter through Vorn3DAdapterSource, and the
// report lines go to a sink, so tests can feed synthetic adapters and capabilities.
#pragma once
#include <windows.h>
#include <d3d9.h>
#include <cstdint>

// The format request of textures, surfaces and fonts (a u32; bit 31 asks for the exact format below).
typedef uint32_t VornFormatKind;
constexpr VornFormatKind VORN_FORMAT_NONE = 0;           // A8R8G8B8
constexpr VornFormatKind VORN_FORMAT_ALPHA = 1;          // any texture format with alpha
constexpr VornFormatKind VORN_FORMAT_ALPHA_BITS = 2;     // several alpha bits
constexpr VornFormatKind VORN_FORMAT_ALPHA32 = 3;        // 32-bit with alpha
constexpr VornFormatKind VORN_FORMAT_BACKBUFFER = 4;     // the current back-buffer format
constexpr VornFormatKind VORN_FORMAT_X8R8G8B8 = 5;       // 32-bit without alpha
constexpr VornFormatKind VORN_FORMAT_DEPTH16 = 6;        // 16-bit depth
constexpr VornFormatKind VORN_FORMAT_DEPTH32 = 7;        // 24- or 32-bit depth
constexpr VornFormatKind VORN_FORMAT_DEPTH_STENCIL = 8;  // depth with stencil
constexpr VornFormatKind VORN_FORMAT_TARGET16 = 9;       // 16-bit render target
constexpr VornFormatKind VORN_FORMAT_TARGET32 = 10;      // 32-bit render target
constexpr VornFormatKind VORN_FORMAT_TARGET_ALPHA = 11;  // render target with alpha
constexpr VornFormatKind VORN_FORMAT_COMPRESSED = 12;    // DXT, else A4R4G4B4 / A8R8G8B8
constexpr VornFormatKind VORN_FORMAT_EXACT = 0x80000000u; // VORN_FORMAT_EXACT | D3DFORMAT

// The flattened capability record (u8 flags are 1 when the D3DCAPS9 bit is set).
struct Vorn3DCaps {
    uint8_t pureDevice;
    uint8_t hwTransformAndLight;
    uint8_t hwRasterization;
    uint32_t deviceType;
    uint8_t anisotropy;
    uint8_t dither;
    uint8_t depthBias;
    uint8_t wBuffer;
    uint8_t autoGenMipmap;
    uint8_t zCmpAlways, zCmpEqual, zCmpGreater, zCmpGreaterEqual, zCmpLess, zCmpLessEqual, zCmpNever,
        zCmpNotEqual;
    uint8_t srcBlendFactor, srcBothInvSrcAlpha, srcBothSrcAlpha, srcDestAlpha, srcDestColor, srcInvDestAlpha,
        srcInvDestColor, srcInvSrcAlpha, srcInvSrcColor, srcOne, srcSrcAlpha, srcSrcAlphaSat, srcSrcColor, srcZero;
    uint8_t destBlendFactor, destBothInvSrcAlpha, destBothSrcAlpha, destDestAlpha, destDestColor,
        destInvDestAlpha, destInvDestColor, destInvSrcAlpha, destInvSrcColor, destOne, destSrcAlpha,
        destSrcAlphaSat, destSrcColor, destZero;
    uint8_t cubeMap;
    uint8_t mipmap;
    uint8_t perspective;
    uint8_t pow2Only;
    uint8_t squareOnly;
    uint8_t addressBorder, addressClamp, addressIndependentUV, addressMirror, addressMirrorOnce, addressWrap;
    uint32_t maxTextureWidth;
    uint32_t maxTextureHeight;
    uint32_t maxTextureRepeat;
    uint32_t maxTextureAspectRatio;
    uint8_t stencilKeep, stencilZero, stencilReplace, stencilIncrSat, stencilDecrSat, stencilInvert, stencilIncr,
        stencilDecr, stencilTwoSided;
    float maxVertexW;
    float guardBandLeft, guardBandTop, guardBandRight, guardBandBottom;
    float maxPointSize;
    uint32_t maxPrimitiveCount;
    uint32_t maxVertexIndex;
    uint32_t maxTextureBlendStages;
    uint32_t maxSimultaneousTextures;
    uint32_t maxActiveLights;
    uint32_t maxVertexBlendMatrices;
    uint32_t maxVertexBlendMatrixIndex;
    uint32_t vertexShaderVersion;
    uint32_t pixelShaderVersion;
    uint32_t maxVertexShaderConst;
    uint32_t dynamicFlowControlDepth;
    uint32_t staticFlowControlDepth;
};

constexpr uint32_t VORN3D_MAX_MODES = 256;
constexpr uint32_t VORN3D_MAX_FORMATS = 64;
constexpr uint32_t VORN3D_FORMAT_RECORDS = 8;

// What one candidate back-buffer format offers. Every list keeps the order of its candidate list.
struct Vorn3DFormatRecord {
    uint8_t inUse;
    D3DFORMAT backBuffer;
    uint32_t modeCount;
    D3DDISPLAYMODE modes[VORN3D_MAX_MODES];
    uint32_t depthCount;
    D3DFORMAT depth[VORN3D_MAX_FORMATS];
    uint32_t textureCount;
    D3DFORMAT texture[VORN3D_MAX_FORMATS];
    uint32_t targetCount;
    D3DFORMAT target[VORN3D_MAX_FORMATS];
};

// Everything the survey of adapter 0 found.
struct Vorn3DAdapterInfo {
    char name[128];
    char driver[128];
    char version[128];
    D3DDISPLAYMODE desktop;
    D3DDISPLAYMODE mode16;
    D3DDISPLAYMODE mode32;
    D3DDISPLAYMODE mode10;
    Vorn3DFormatRecord records[VORN3D_FORMAT_RECORDS];
    Vorn3DCaps caps;
};

// The device options, set before the start.
struct Vorn3DDeviceOptions {
    bool vsync;
    bool fullScreen32;
    bool reference;
    uint32_t requiredVertexShader;  // D3DVS_VERSION encoding
};

// Rows of the device candidate list.
struct Vorn3DDeviceRow {
    D3DDEVTYPE type;
    DWORD behaviour;
    const char* logLine;
};
constexpr uint32_t VORN3D_DEVICE_ROWS = 5;

// The adapter as the survey reads it (IDirect3D9 on adapter 0 and the HAL device, or a test's own).
class Vorn3DAdapterSource {
public:
    virtual ~Vorn3DAdapterSource() = default;
    virtual bool GetIdentifier(D3DADAPTER_IDENTIFIER9* out) = 0;
    virtual bool GetDisplayMode(D3DDISPLAYMODE* out) = 0;
    virtual uint32_t GetModeCount(D3DFORMAT format) = 0;
    virtual bool EnumMode(D3DFORMAT format, uint32_t index, D3DDISPLAYMODE* out) = 0;
    virtual HRESULT CheckFormat(D3DFORMAT backBuffer, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) = 0;
    virtual bool GetCaps(D3DCAPS9* out) = 0;
};

// How a report line is written: a blue section title, a strong line or a plain one (each ends
// with a line break).
enum Vorn3DLogKind : uint32_t { VORN3D_LOG_BLUE, VORN3D_LOG_STRONG, VORN3D_LOG_PRINT };
typedef void (*Vorn3DLogSink)(void* context, Vorn3DLogKind kind, const char* text);

// One of the three state caches. A state is unknown until it is first set; Get answers 0xFFFFFFFF
// for it. Any value, 0xFFFFFFFF (white, for colour states) included, is sent and replayed once set.
template <uint32_t Stages>
struct Vorn3DStateCache {
    static constexpr uint32_t kStates = 255;
    static constexpr uint32_t kUnknown = 0xFFFFFFFFu;
    uint32_t values[Stages][kStates];
    bool known[Stages][kStates];
    void Invalidate()
    {
        for (uint32_t s = 0; s < Stages; ++s)
            for (uint32_t i = 0; i < kStates; ++i) {
                values[s][i] = kUnknown;
                known[s][i] = false;
            }
    }
    // Stores the value; true when the state was unknown or held another value (so the device must
    // hear of it). A stage or state outside the cache is ignored (false).
    bool Set(uint32_t stage, uint32_t state, uint32_t value)
    {
        if (stage >= Stages || state >= kStates) return false;
        if (known[stage][state] && values[stage][state] == value) return false;
        values[stage][state] = value;
        known[stage][state] = true;
        return true;
    }
    bool Known(uint32_t stage, uint32_t state) const { return stage < Stages && state < kStates && known[stage][state]; }
    uint32_t Get(uint32_t stage, uint32_t state) const
    {
        return (stage < Stages && state < kStates) ? values[stage][state] : kUnknown;
    }
};

class Vorn3DAdapter {
public:
    static const D3DFORMAT kBackBufferCandidates[6];
    static const D3DFORMAT kTextureCandidates[58];
    static const D3DFORMAT kDepthCandidates[7];
    static const Vorn3DDeviceRow kDeviceRows[VORN3D_DEVICE_ROWS];

    static void ReadCaps(const D3DCAPS9* caps, Vorn3DCaps* out);

    // List helpers that keep the capacities (256 modes, 64 formats); false when full or a duplicate.
    static bool AddDisplayMode(Vorn3DFormatRecord* record, const D3DDISPLAYMODE& mode);
    static bool AddFormat(D3DFORMAT* list, uint32_t* count, D3DFORMAT format);

    // The survey of Vorn3D::EnumerateAdapter and the capability read of Vorn3D::QueryDeviceCaps,
    // with their report lines.
    static void Enumerate(Vorn3DAdapterSource* source, uint32_t screenWidth, uint32_t screenHeight,
                          Vorn3DAdapterInfo* info, Vorn3DLogSink sink, void* context);
    static void QueryCaps(Vorn3DAdapterSource* source, Vorn3DAdapterInfo* info, Vorn3DLogSink sink, void* context);
    static void FindFullScreenModes(Vorn3DAdapterInfo* info, uint32_t width, uint32_t height);
    static void ReportCaps(const Vorn3DCaps& caps, Vorn3DLogSink sink, void* context);
    static void ReportDeviceCaps(const Vorn3DCaps& caps, Vorn3DLogSink sink, void* context);

    // The record in use whose back-buffer format is the given one, or null.
    static const Vorn3DFormatRecord* FindRecord(const Vorn3DAdapterInfo& info, D3DFORMAT backBuffer);

    static uint32_t SelectDeviceType(const Vorn3DCaps& caps, const Vorn3DDeviceOptions& options);
    static D3DFORMAT BackBufferFormat(const Vorn3DAdapterInfo& info, bool windowed, bool fullColor);
    static void BuildPresentParameters(const Vorn3DAdapterInfo& info, const Vorn3DDeviceOptions& options,
                                       uint32_t width, uint32_t height, HWND window, bool windowed,
                                       bool fullColor, D3DPRESENT_PARAMETERS* out);
    static D3DFORMAT ResolveFormat(const Vorn3DAdapterInfo& info, D3DFORMAT backBuffer, VornFormatKind request);

    // Clips a copy's destination to the viewport and moves the source edges in proportion; false
    // when nothing is left (or the destination is empty to begin with).
    static bool ClipRect(const D3DVIEWPORT9& viewport, RECT* dst, RECT* src);

    // Constant texts: format names without the D3DFMT_ prefix ("UNLISTED" for a format the table
    // does not list) and the Japanese explanations of results ("未知のエラー。" for any other).
    static const char* FormatName(D3DFORMAT format);
    static const char* ErrorText(HRESULT result);
};
