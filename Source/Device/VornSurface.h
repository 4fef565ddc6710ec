// VornSurface: the Direct3D surfaces of the program behind handles: a wrapper of the back buffer,
// plain off-screen surfaces (empty or loaded from image files or memory), render targets and
// depth-stencil surfaces. All of them live in the default pool and are made again after a reset.
#pragma once
#include "Vorn3D.h"
#include "VornHandleTable.h"
#include <d3d9.h>
#include <cstdint>

typedef VornHandle VornSurfaceHandle;

struct VornSurfaceRecord {
    uint8_t inUse;
    uint32_t refCount;
    // "BACK_BUFFER", "CREATE", "RENDER_TARGET", "DEPTH_STENCIL", a file path or name (a plain
    // surface is reloaded from it after a reset), or empty for a surface made from memory.
    char name[VORN_RECORD_NAME_SIZE];
    IDirect3DSurface9* surface;
    D3DFORMAT format;
    uint32_t pool;
    VornFormatKind request;
    uint32_t width, height;
    D3DCOLOR colorKey;
    uint8_t isBackBuffer;
    uint8_t isRenderTarget;
    uint8_t isDepthStencil;
    uint8_t spare;
};

class VornSurface : public VornTableClass<VornSurface, VornSurfaceRecord>
{
    friend VornTableClass;
    static VornHandleTable<VornSurfaceRecord>& Table();
    static constexpr const char* kReleaseName = "VornSurface::Release";

public:
    // ---- Table (the record operations come from VornTableClass) ----
    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();

    // ---- Creation (VORN_INVALID_HANDLE on failure, with a log line) ----
    static VornSurfaceHandle GetBackBuffer();
    static VornSurfaceHandle Create(uint32_t width, uint32_t height, VornFormatKind request);
    static VornSurfaceHandle LoadFromMemory(const void* data, uint32_t size, VornFormatKind request, D3DCOLOR colorKey);
    static VornSurfaceHandle CreateFromMemory(const void* data, uint32_t size, VornFormatKind request,
                                              D3DCOLOR colorKey);
    static VornSurfaceHandle CreateFromFile(const char* name, VornFormatKind request, D3DCOLOR colorKey);
    static VornSurfaceHandle CreateRenderTarget(uint32_t width, uint32_t height, VornFormatKind request);
    static VornSurfaceHandle CreateDepthStencil(uint32_t width, uint32_t height, VornFormatKind request);

    // ---- Use ----
    static IDirect3DSurface9* GetSurface(VornSurfaceHandle handle);
    static bool SetRenderTargetSurface(VornSurfaceHandle handle);
    // None unbinds the depth buffer.
    static bool SetDepthStencilSurface(VornSurfaceHandle handle);
    static bool StretchCopy(VornSurfaceHandle dst, const RECT* dstRect, VornSurfaceHandle src, const RECT* srcRect);
    // Whole surface onto whole surface, only between surfaces of the same size.
    static bool Copy(VornSurfaceHandle dst, VornSurfaceHandle src);
    static HDC GetDC(VornSurfaceHandle handle);
    static void ReleaseDC(VornSurfaceHandle handle, HDC dc);
};
