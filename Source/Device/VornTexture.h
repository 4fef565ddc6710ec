// VornTexture: every Direct3D texture of the program behind handles. Textures load from image
// files (loose or packed), memory and QSG archive entries, or are made empty or as render targets.
// Loads by name are shared: a second load of the same name returns the same record with one more
// reference. Render targets live in the default pool and are re-created after a device reset.
#pragma once
#include "Vorn3D.h"
#include "VornHandleTable.h"
#include "VornMath.h"
#include <d3d9.h>
#include <cstdint>

typedef VornHandle VornTextureHandle;
struct VornRect;

struct VornTextureRecord {
    uint8_t inUse;
    uint32_t refCount;
    char name[VORN_RECORD_NAME_SIZE];   // "CREATE", "RENDER_TARGET", "archive:entry", a file path or name
    IDirect3DTexture9* texture;
    D3DFORMAT format;                   // level 0 as created
    uint32_t pool;                      // D3DPOOL_MANAGED, or D3DPOOL_DEFAULT for render targets
    VornFormatKind request;             // as given at creation
    uint32_t width, height;             // level 0 (the device may round the image size up)
    uint32_t imageWidth, imageHeight;   // the source image (the requested size when made empty)
    float invImageWidth, invImageHeight;
    D3DCOLOR colorKey;
    uint8_t isRenderTarget;
    uint8_t isLocked;
};

class VornTexture : public VornTableClass<VornTexture, VornTextureRecord>
{
    friend VornTableClass;
    static VornHandleTable<VornTextureRecord>& Table();
    static constexpr const char* kReleaseName = "VornTexture::Release";

public:
    // ---- Table (the record operations come from VornTableClass) ----
    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();

    // ---- Creation (VORN_INVALID_HANDLE on failure, with a log line) ----
    static VornTextureHandle LoadFromMemory(const void* data, uint32_t size, VornFormatKind request, D3DCOLOR colorKey);
    static VornTextureHandle CreateFromFile(const char* name, VornFormatKind request, D3DCOLOR colorKey);
    static VornTextureHandle CreateFromPack(const void* data, uint32_t size, VornFormatKind request, D3DCOLOR colorKey);
    static VornTextureHandle CreateFromQSG(const char* archive, const char* entry, VornFormatKind request);
    static VornTextureHandle Create(uint32_t width, uint32_t height, VornFormatKind request);
    static VornTextureHandle CreateRenderTarget(uint32_t width, uint32_t height, VornFormatKind request);

    // ---- Use ----
    static IDirect3DTexture9* GetTexture(VornTextureHandle handle);
    static bool SetRenderTarget(VornTextureHandle handle);
    static bool Lock(VornTextureHandle handle, void** bits, int32_t* pitch, D3DFORMAT* format, uint32_t* width,
                     uint32_t* height);
    static void Unlock(VornTextureHandle handle);
    // Fills every pixel of level 0; formats other than the 16- and 32-bit RGB ones are left alone.
    static void ColorFill(VornTextureHandle handle, D3DCOLOR argb);
    // The 32-bit word ColorFill writes for a format (two pixels of the 16-bit ones); false for a
    // format it does not fill.
    static bool GetFillWord(D3DFORMAT format, D3DCOLOR argb, uint32_t* word);
    static bool StretchCopy(VornTextureHandle dst, const RECT* dstRect, VornTextureHandle src, const RECT* srcRect);
    static float PixelToU(VornTextureHandle handle, float x);
    static float PixelToV(VornTextureHandle handle, float y);
    // Screen blits through VornSimple::DrawSquareRotate (VornTextureDraw.cpp): dst in virtual-screen
    // pixels, src one rectangle per stage in texture pixels. None as the single handle draws nothing.
    static void Draw(VornTextureHandle handle, const VornRect* dst, const VornRect* src, D3DCOLOR colour);
    static void DrawRotate(VornTextureHandle handle, const VornRect* dst, const VornRect* src, D3DCOLOR colour,
                           VornAngle angle);
    static void DrawMultiTexture(const VornTextureHandle* handles, const VornRect* dst, const VornRect* src,
                                 D3DCOLOR colour, uint32_t count);
    static HDC GetDC(VornTextureHandle handle);
    static void ReleaseDC(VornTextureHandle handle, HDC dc);
    static uint32_t GetWidth(VornTextureHandle handle);
    static uint32_t GetHeight(VornTextureHandle handle);
    static uint32_t GetImageWidth(VornTextureHandle handle);
    static uint32_t GetImageHeight(VornTextureHandle handle);
    static D3DFORMAT GetFormat(VornTextureHandle handle);

    // Added by the 2D quad builders to destination x and y, and by which they move source
    // rectangles inwards.
    static void SetPixelOffset(float offset);
    static float GetPixelOffset();
    static void SetTexelInset(float inset);
    static float GetTexelInset();
};
