#include "VornSurface.h"
#include "Vorn.h"
#include "VornLog.h"
#include <d3dx9.h>
#include <cstring>

namespace {

void DestroySurface(VornSurfaceRecord& r)
{
    if (r.surface) r.surface->Release();
}

VornHandleTable<VornSurfaceRecord> g_table(DestroySurface, "Surface Destroy [ No.%u ]");

const DWORD kFilter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;

void Failed(const char* format, HRESULT hr)
{
    VornLog::StrongRed(format, Vorn3D::GetErrorText(hr));
    VornLog::LineBreak();
}

void Succeeded()
{
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
}

// The first steps of every creation: the operation's name, a record, its number.
VornSurfaceHandle Begin(const char* operation)
{
    if (operation) VornLog::StrongBlue("%s", operation);
    const VornSurfaceHandle h = g_table.AllocRecord();
    if (h == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("空きサーフェスが見つかりませんでした");
        VornLog::LineBreak();
    } else {
        VornLog::Print(" : [ No.%u ] : ", h);
    }
    return h;
}

// A creation that failed after taking its record.
VornSurfaceHandle Abandon(VornSurfaceHandle h, const char* format, HRESULT hr)
{
    Failed(format, hr);
    g_table.ReleaseRecord(h);
    return VORN_INVALID_HANDLE;
}

VornSurfaceRecord* WithSurface(VornSurfaceHandle handle)
{
    VornSurfaceRecord* r = g_table.GetLive(handle);
    return r && r->surface ? r : nullptr;
}

HRESULT MakeRenderTarget(VornSurfaceRecord& r)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device) return D3DERR_INVALIDCALL;
    return device->CreateRenderTarget(r.width, r.height, r.format, D3DMULTISAMPLE_NONE, 0, TRUE, &r.surface, nullptr);
}

HRESULT MakeDepthStencil(VornSurfaceRecord& r)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device) return D3DERR_INVALIDCALL;
    return device->CreateDepthStencilSurface(r.width, r.height, r.format, D3DMULTISAMPLE_NONE, 0, TRUE, &r.surface,
                                             nullptr);
}

HRESULT MakePlain(VornSurfaceRecord& r)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device) return D3DERR_INVALIDCALL;
    return device->CreateOffscreenPlainSurface(r.width, r.height, r.format, static_cast<D3DPOOL>(r.pool), &r.surface,
                                               nullptr);
}

HRESULT TakeBackBuffer(VornSurfaceRecord& r)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device) return D3DERR_INVALIDCALL;
    return device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &r.surface);
}

VornSurfaceHandle CreateTarget(uint32_t width, uint32_t height, VornFormatKind request, bool depth)
{
    Vorn::ResetCurrentDirectory();
    const VornSurfaceHandle h = Begin(depth ? "VornSurface::CreateDepthStencil" : "VornSurface::CreateRenderTarget");
    if (h == VORN_INVALID_HANDLE) return h;
    VornSurfaceRecord& r = g_table[h];
    r.format = Vorn3D::GetFormat(request);
    r.width = width;
    r.height = height;
    VornLog::Print("[ %u x %u ] : [ %s ] : ", width, height, Vorn3D::GetFormatName(r.format));
    const HRESULT hr = depth ? MakeDepthStencil(r) : MakeRenderTarget(r);
    if (FAILED(hr)) {
        r.surface = nullptr;
        return Abandon(h, "サーフェイスの生成に失敗 [ %s ]", hr);
    }
    g_table.SetName(h, depth ? "DEPTH_STENCIL" : "RENDER_TARGET");
    r.request = request;
    r.isRenderTarget = depth ? 0 : 1;
    r.isDepthStencil = depth ? 1 : 0;
    r.pool = D3DPOOL_DEFAULT;
    Succeeded();
    return h;
}

}  // namespace

// ---- Table ----

VornHandleTable<VornSurfaceRecord>& VornSurface::Table() { return g_table; }

bool VornSurface::Initialize()
{
    if (!g_table.InitializeLogged("VornSurfaceクラスの初期化", "サーフェイス", __FILE__, __LINE__)) return false;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_SURFACE, OnDeviceLost, OnDeviceRestore);
    Vorn3DLinks& links = Vorn3D::Links();
    links.surfaceSetRenderTarget = SetRenderTargetSurface;
    links.surfaceSetDepthStencil = SetDepthStencilSurface;
    return true;
}

void VornSurface::Finalize()
{
    VornLog::Title("VornSurfaceクラスの解放");
    if (!g_table.IsInitialized()) return;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_SURFACE, nullptr, nullptr);
    Vorn3DLinks& links = Vorn3D::Links();
    links.surfaceSetRenderTarget = nullptr;
    links.surfaceSetDepthStencil = nullptr;
    g_table.Finalize();
}

void VornSurface::OnDeviceLost()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i) {
        VornSurfaceRecord& r = g_table[i];
        if (r.inUse && r.surface) {
            r.surface->Release();
            r.surface = nullptr;
        }
    }
}

// Every named surface is made again by its kind. One that cannot be made keeps its record and
// references without a surface, and the next restore tries again.
void VornSurface::OnDeviceRestore()
{
    Vorn::ResetCurrentDirectory();
    for (uint32_t i = 0; i < g_table.Count(); ++i) {
        VornSurfaceRecord& r = g_table[i];
        if (!r.inUse || r.surface || r.name[0] == '\0') continue;
        HRESULT hr;
        if (r.isBackBuffer) {
            r.format = Vorn3D::GetFormat(r.request);
            hr = TakeBackBuffer(r);
            if (FAILED(hr)) {
                r.surface = nullptr;
                Failed("バックバッファのリストアに失敗しました [ %s ]", hr);
            }
            continue;
        }
        if (r.isRenderTarget) {
            r.format = Vorn3D::GetFormat(r.request);
            hr = MakeRenderTarget(r);
        } else if (r.isDepthStencil) {
            hr = MakeDepthStencil(r);
        } else {
            // Without a request an empty surface follows the back buffer and a loaded one keeps
            // the image's own format.
            if (r.request)
                r.format = Vorn3D::GetFormat(r.request);
            else if (strcmp(r.name, "CREATE") == 0)
                r.format = Vorn3D::GetFormat(VORN_FORMAT_BACKBUFFER);
            hr = MakePlain(r);
        }
        if (FAILED(hr)) {
            r.surface = nullptr;
            Failed("サーフェイスのリストアに失敗 [ %s ]", hr);
            continue;
        }
        if (r.isRenderTarget || r.isDepthStencil || strcmp(r.name, "CREATE") == 0) continue;
        const RECT rect = {0, 0, static_cast<LONG>(r.width), static_cast<LONG>(r.height)};
        hr = D3DXLoadSurfaceFromFileA(r.surface, nullptr, &rect, r.name, nullptr, kFilter, r.colorKey, nullptr);
        if (FAILED(hr)) {
            r.surface->Release();
            r.surface = nullptr;
            Failed("ファイルの読み込みに失敗 [ %s ]", hr);
        }
    }
}


// ---- Creation ----

VornSurfaceHandle VornSurface::GetBackBuffer()
{
    const VornSurfaceHandle h = Begin("VornSurface::GetBackBuffer");
    if (h == VORN_INVALID_HANDLE) return h;
    VornSurfaceRecord& r = g_table[h];
    r.format = Vorn3D::GetFormat(VORN_FORMAT_BACKBUFFER);
    HRESULT hr = TakeBackBuffer(r);
    if (FAILED(hr)) {
        r.surface = nullptr;
        return Abandon(h, "バックバッファの取得に失敗しました [ %s ]", hr);
    }
    D3DSURFACE_DESC desc;
    hr = r.surface->GetDesc(&desc);
    if (FAILED(hr)) return Abandon(h, "サーフェイス情報の取得に失敗しました [ %s ]", hr);
    VornLog::Print(" : [ %u x %u ] : [ %s ] : ", desc.Width, desc.Height, Vorn3D::GetFormatName(r.format));
    g_table.SetName(h, "BACK_BUFFER");
    r.request = VORN_FORMAT_BACKBUFFER;
    r.width = desc.Width;
    r.height = desc.Height;
    r.isBackBuffer = 1;
    r.pool = desc.Pool;
    Succeeded();
    return h;
}

VornSurfaceHandle VornSurface::Create(uint32_t width, uint32_t height, VornFormatKind request)
{
    const VornSurfaceHandle h = Begin("VornSurface::Create");
    if (h == VORN_INVALID_HANDLE) return h;
    VornSurfaceRecord& r = g_table[h];
    r.format = Vorn3D::GetFormat(request ? request : VORN_FORMAT_BACKBUFFER);
    r.width = width;
    r.height = height;
    r.pool = D3DPOOL_DEFAULT;
    VornLog::Print("[ %u x %u ] : [ %s ] : ", width, height, Vorn3D::GetFormatName(r.format));
    const HRESULT hr = MakePlain(r);
    if (FAILED(hr)) {
        r.surface = nullptr;
        return Abandon(h, "サーフェイスの生成に失敗 [ %s ]", hr);
    }
    g_table.SetName(h, "CREATE");
    r.request = request;
    Succeeded();
    return h;
}

VornSurfaceHandle VornSurface::LoadFromMemory(const void* data, uint32_t size, VornFormatKind request,
                                              D3DCOLOR colorKey)
{
    const VornSurfaceHandle h = Begin(nullptr);
    if (h == VORN_INVALID_HANDLE) return h;
    D3DXIMAGE_INFO info;
    memset(&info, 0, sizeof info);
    HRESULT hr = data ? D3DXGetImageInfoFromFileInMemory(data, size, &info) : D3DERR_INVALIDCALL;
    if (FAILED(hr)) return Abandon(h, "ファイルの読み込みに失敗しました [ %s ]", hr);
    VornSurfaceRecord& r = g_table[h];
    r.format = request ? Vorn3D::GetFormat(request) : info.Format;
    r.width = info.Width;
    r.height = info.Height;
    r.pool = D3DPOOL_DEFAULT;
    VornLog::Print("[ %u x %u ] : [ %s ] : ", info.Width, info.Height, Vorn3D::GetFormatName(r.format));
    hr = MakePlain(r);
    if (FAILED(hr)) {
        r.surface = nullptr;
        return Abandon(h, "サーフェイスの生成に失敗 [ %s ]", hr);
    }
    const RECT rect = {0, 0, static_cast<LONG>(info.Width), static_cast<LONG>(info.Height)};
    hr = D3DXLoadSurfaceFromFileInMemory(r.surface, nullptr, &rect, data, size, nullptr, kFilter, colorKey, nullptr);
    if (FAILED(hr)) return Abandon(h, "ファイルの読み込みに失敗 [ %s ]", hr);
    r.request = request;
    r.colorKey = colorKey;
    Succeeded();
    return h;
}

VornSurfaceHandle VornSurface::CreateFromMemory(const void* data, uint32_t size, VornFormatKind request,
                                                D3DCOLOR colorKey)
{
    VornLog::StrongBlue("VornSurface::CreateFromMemory");
    return LoadFromMemory(data, size, request, colorKey);
}

VornSurfaceHandle VornSurface::CreateFromFile(const char* name, VornFormatKind request, D3DCOLOR colorKey)
{
    VornLog::StrongBlue("VornSurface::CreateFromFile");
    VornLog::Print(" : [%s] : ", name ? name : "");
    return g_table.LoadByFileName(FILE_KIND_TEXTURE, name, [&](const void* data, uint32_t size) {
        return LoadFromMemory(data, size, request, colorKey);
    });
}

VornSurfaceHandle VornSurface::CreateRenderTarget(uint32_t width, uint32_t height, VornFormatKind request)
{
    return CreateTarget(width, height, request, false);
}

VornSurfaceHandle VornSurface::CreateDepthStencil(uint32_t width, uint32_t height, VornFormatKind request)
{
    return CreateTarget(width, height, request, true);
}

// ---- Use ----

IDirect3DSurface9* VornSurface::GetSurface(VornSurfaceHandle handle)
{
    return g_table.GetField(handle, &VornSurfaceRecord::surface, static_cast<IDirect3DSurface9*>(nullptr));
}

bool VornSurface::SetRenderTargetSurface(VornSurfaceHandle handle)
{
    if (handle == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("Invalid Surface Handle");
        VornLog::LineBreak();
        return false;
    }
    const VornSurfaceRecord* r = WithSurface(handle);
    if (!r) return false;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device || FAILED(device->SetRenderTarget(0, r->surface))) {
        VornLog::StrongRed("SetRenderTargetSurface Failed");
        VornLog::LineBreak();
        return false;
    }
    return true;
}

bool VornSurface::SetDepthStencilSurface(VornSurfaceHandle handle)
{
    IDirect3DSurface9* surface = nullptr;
    if (handle != VORN_INVALID_HANDLE) {
        const VornSurfaceRecord* r = WithSurface(handle);
        if (!r) return false;   // a lost surface must not unbind the depth buffer
        surface = r->surface;
    }
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device || FAILED(device->SetDepthStencilSurface(surface))) {
        VornLog::StrongRed("SetDepthStecilSurface Failed");
        VornLog::LineBreak();
        return false;
    }
    return true;
}

bool VornSurface::StretchCopy(VornSurfaceHandle dst, const RECT* dstRect, VornSurfaceHandle src, const RECT* srcRect)
{
    const VornSurfaceRecord* d = WithSurface(dst);
    const VornSurfaceRecord* s = WithSurface(src);
    if (!d || !s) return false;
    RECT dr = dstRect ? *dstRect : RECT{0, 0, static_cast<LONG>(d->width), static_cast<LONG>(d->height)};
    RECT sr = srcRect ? *srcRect : RECT{0, 0, static_cast<LONG>(s->width), static_cast<LONG>(s->height)};
    if (!Vorn3D::ClipRect(&dr, &sr)) return false;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    return device && SUCCEEDED(device->StretchRect(s->surface, &sr, d->surface, &dr, D3DTEXF_NONE));
}

bool VornSurface::Copy(VornSurfaceHandle dst, VornSurfaceHandle src)
{
    const VornSurfaceRecord* d = WithSurface(dst);
    const VornSurfaceRecord* s = WithSurface(src);
    if (!d || !s || d->width != s->width || d->height != s->height) return false;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    return device && SUCCEEDED(device->StretchRect(s->surface, nullptr, d->surface, nullptr, D3DTEXF_NONE));
}

HDC VornSurface::GetDC(VornSurfaceHandle handle)
{
    const VornSurfaceRecord* r = WithSurface(handle);
    HDC dc = nullptr;
    if (r && FAILED(r->surface->GetDC(&dc))) dc = nullptr;
    return dc;
}

void VornSurface::ReleaseDC(VornSurfaceHandle handle, HDC dc)
{
    const VornSurfaceRecord* r = WithSurface(handle);
    if (r && dc) r->surface->ReleaseDC(dc);
}
