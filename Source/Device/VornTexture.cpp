#include "VornTexture.h"
#include "VornLog.h"
#include "VornQsgLoader.h"
#include <d3dx9.h>
#include <cstdio>
#include <cstring>

namespace {

void DestroyTexture(VornTextureRecord& r)
{
    if (!r.texture) return;
    if (r.isLocked) r.texture->UnlockRect(0);
    r.texture->Release();
}

VornHandleTable<VornTextureRecord> g_table(DestroyTexture, "Texture Destroy [ No.%u ]");
float g_pixelOffset = -0.5f;
float g_texelInset = 0.0f;

const char kTableFull[] = "空きテクスチャが見つかりませんでした。";

void Line(const char* status, bool ok)
{
    if (ok)
        VornLog::StrongGreen("%s", status);
    else
        VornLog::StrongRed("%s", status);
    VornLog::LineBreak();
}

void Failed(const char* format, HRESULT hr)
{
    VornLog::StrongRed(format, Vorn3D::GetErrorText(hr));
    VornLog::LineBreak();
}

// A creation that failed after taking its record (whose texture was never made).
VornTextureHandle Abandon(VornTextureHandle h, const char* format, HRESULT hr)
{
    Failed(format, hr);
    g_table[h].texture = nullptr;
    g_table.ReleaseRecord(h);
    return VORN_INVALID_HANDLE;
}

// Level 0's size, format and the level count, read back after creation.
void ReadLevel0(VornTextureRecord& r)
{
    D3DSURFACE_DESC desc;
    if (SUCCEEDED(r.texture->GetLevelDesc(0, &desc))) {
        r.format = desc.Format;
        r.width = desc.Width;
        r.height = desc.Height;
    }
}

void SetImageSize(VornTextureRecord& r, uint32_t width, uint32_t height)
{
    r.imageWidth = width;
    r.imageHeight = height;
    r.invImageWidth = width ? 1.0f / static_cast<float>(width) : 0.0f;
    r.invImageHeight = height ? 1.0f / static_cast<float>(height) : 0.0f;
}

// A live record that holds a texture; null otherwise.
VornTextureRecord* WithTexture(VornTextureHandle handle)
{
    VornTextureRecord* r = g_table.GetLive(handle);
    return r && r->texture ? r : nullptr;
}

IDirect3DSurface9* Level0(VornTextureHandle handle)
{
    VornTextureRecord* r = WithTexture(handle);
    IDirect3DSurface9* surface = nullptr;
    if (r && FAILED(r->texture->GetSurfaceLevel(0, &surface))) surface = nullptr;
    return surface;
}

// An empty one-level texture: "CREATE" (managed) or "RENDER_TARGET" (default pool).
VornTextureHandle CreateEmpty(uint32_t width, uint32_t height, VornFormatKind request, bool renderTarget)
{
    VornLog::StrongBlue("%s", renderTarget ? "VornTexture::CreateRenderTarget" : "VornTexture::Create");
    const VornTextureHandle h = g_table.AllocRecord();
    if (h == VORN_INVALID_HANDLE) {
        Line(kTableFull, false);
        return h;
    }
    VornLog::Print(" : [ No.%u ] : ", h);
    const D3DFORMAT format = Vorn3D::GetFormat(renderTarget || request ? request : VORN_FORMAT_BACKBUFFER);
    VornLog::Print("[ %u x %u ] : [ %s ] : ", width, height, Vorn3D::GetFormatName(format));
    VornTextureRecord& r = g_table[h];
    const D3DPOOL pool = renderTarget ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED;
    const HRESULT hr = D3DXCreateTexture(Vorn3D::GetDevice(), width, height, 1,
                                         renderTarget ? D3DUSAGE_RENDERTARGET : 0, format, pool, &r.texture);
    if (FAILED(hr)) return Abandon(h, "テクスチャの生成に失敗 [ %s ]", hr);
    ReadLevel0(r);
    if (renderTarget) {
        VornLog::Print(" TexSize [ %u x %u ] : ", r.width, r.height);
    } else {
        VornLog::Print("MIPMAP [ %d ] : ", static_cast<int>(r.texture->GetLevelCount()));
        VornLog::Print("[ %u x %u ] : [ %s ] : ", r.width, r.height, Vorn3D::GetFormatName(r.format));
    }
    g_table.SetName(h, renderTarget ? "RENDER_TARGET" : "CREATE");
    r.request = request;
    r.pool = pool;
    r.isRenderTarget = renderTarget ? 1 : 0;
    SetImageSize(r, width, height);
    Line("Success", true);
    return h;
}

}  // namespace

// ---- Table ----

VornHandleTable<VornTextureRecord>& VornTexture::Table() { return g_table; }

bool VornTexture::Initialize()
{
    if (!g_table.InitializeLogged("VornTextureクラスの初期化", "テクスチャ", __FILE__, __LINE__)) return false;
    g_pixelOffset = -0.5f;
    g_texelInset = 0.0f;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_TEXTURE, OnDeviceLost, OnDeviceRestore);
    Vorn3DLinks& links = Vorn3D::Links();
    links.textureGet = GetTexture;
    links.textureSetRenderTarget = SetRenderTarget;
    links.textureSetTexelInset = SetTexelInset;
    return true;
}

void VornTexture::Finalize()
{
    VornLog::Title("VornTextureクラスの解放");
    if (!g_table.IsInitialized()) return;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_TEXTURE, nullptr, nullptr);
    Vorn3DLinks& links = Vorn3D::Links();
    links.textureGet = nullptr;
    links.textureSetRenderTarget = nullptr;
    links.textureSetTexelInset = nullptr;
    g_table.Finalize();
}

void VornTexture::OnDeviceLost()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i) {
        VornTextureRecord& r = g_table[i];
        if (r.inUse && r.isRenderTarget && r.texture) {
            r.texture->Release();
            r.texture = nullptr;
            r.isLocked = 0;
        }
    }
}

// A render target that cannot be made again keeps its record and references without a texture;
// the next restore tries again.
void VornTexture::OnDeviceRestore()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i) {
        VornTextureRecord& r = g_table[i];
        if (!r.inUse || !r.isRenderTarget || r.texture) continue;
        r.format = Vorn3D::GetFormat(r.request);
        const HRESULT hr = D3DXCreateTexture(Vorn3D::GetDevice(), r.width, r.height, 1, D3DUSAGE_RENDERTARGET,
                                             r.format, static_cast<D3DPOOL>(r.pool), &r.texture);
        if (FAILED(hr)) {
            r.texture = nullptr;
            Failed("テクスチャのリストアに失敗 [ %s ]", hr);
        }
    }
}


// ---- Creation ----

VornTextureHandle VornTexture::LoadFromMemory(const void* data, uint32_t size, VornFormatKind request,
                                              D3DCOLOR colorKey)
{
    const VornTextureHandle h = g_table.AllocRecord();
    if (h == VORN_INVALID_HANDLE) {
        Line(kTableFull, false);
        return h;
    }
    VornLog::Print("[ No.%u ] : ", h);
    D3DXIMAGE_INFO info;
    memset(&info, 0, sizeof info);
    HRESULT hr = data ? D3DXGetImageInfoFromFileInMemory(data, size, &info) : D3DERR_INVALIDCALL;
    if (FAILED(hr)) return Abandon(h, "ファイルの読み込みに失敗しました [ %s ]", hr);
    const D3DFORMAT format = request ? Vorn3D::GetFormat(request) : info.Format;
    VornLog::Print("[ %u x %u ] : [ %s ] : ", info.Width, info.Height, Vorn3D::GetFormatName(format));

    VornTextureRecord& r = g_table[h];
    const DWORD filter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
    hr = D3DXCreateTextureFromFileInMemoryEx(Vorn3D::GetDevice(), data, size, info.Width, info.Height, info.MipLevels,
                                             0, format, D3DPOOL_MANAGED, filter, filter, colorKey, nullptr, nullptr,
                                             &r.texture);
    if (FAILED(hr)) return Abandon(h, "テクスチャの生成に失敗 [ %s ]", hr);
    ReadLevel0(r);
    VornLog::Print("Mipmap [ %d ] : ", static_cast<int>(r.texture->GetLevelCount()));
    VornLog::Print("[ %u x %u ] : [ %s ] : ", r.width, r.height, Vorn3D::GetFormatName(r.format));
    r.request = request;
    SetImageSize(r, info.Width, info.Height);
    r.isRenderTarget = 0;
    r.isLocked = 0;
    r.pool = D3DPOOL_MANAGED;
    r.colorKey = colorKey;
    Line("Success", true);
    return h;
}

VornTextureHandle VornTexture::CreateFromFile(const char* name, VornFormatKind request, D3DCOLOR colorKey)
{
    VornLog::StrongBlue("VornTexture::CreateFromFile");
    VornLog::Print(" : [ %s ] : ", name ? name : "");
    return g_table.LoadByFileName(FILE_KIND_TEXTURE, name, [&](const void* data, uint32_t size) {
        return LoadFromMemory(data, size, request, colorKey);
    });
}

VornTextureHandle VornTexture::CreateFromPack(const void* data, uint32_t size, VornFormatKind request,
                                              D3DCOLOR colorKey)
{
    VornLog::Title("VornTexture::CreateFromPack");
    return LoadFromMemory(data, size, request, colorKey);
}

VornTextureHandle VornTexture::CreateFromQSG(const char* archive, const char* entry, VornFormatKind request)
{
    if (!archive) archive = "";
    if (!entry) entry = "";
    VornLog::StrongBlue("VornTexture::CreateFromQSG");
    VornLog::Print(": [ %s / %s ] : ", archive, entry);
    char key[VORN_RECORD_NAME_SIZE];
    VornQsgLoader::EntryKey(archive, entry, key, sizeof key);
    const VornTextureHandle found = g_table.FindByName(key);
    if (found != VORN_INVALID_HANDLE) {
        g_table.AddRef(found);
        VornLog::Print("[ No.%u ] : Already Existed : ", found);
        Line("Success", true);
        return found;
    }
    VornQsgLoader loader;
    if (const char* error = loader.Load(archive, entry)) {
        VornLog::StrongRed("ファイルの読み込みに失敗しました [ %s ]", error);
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    const VornTextureHandle h = LoadFromMemory(loader.GetData(), loader.GetDataSize(), request, 0);
    if (h != VORN_INVALID_HANDLE) g_table.SetName(h, key);
    return h;
}

VornTextureHandle VornTexture::Create(uint32_t width, uint32_t height, VornFormatKind request)
{
    return CreateEmpty(width, height, request, false);
}

VornTextureHandle VornTexture::CreateRenderTarget(uint32_t width, uint32_t height, VornFormatKind request)
{
    return CreateEmpty(width, height, request, true);
}

// ---- Use ----

bool VornTexture::SetRenderTarget(VornTextureHandle handle)
{
    if (handle == VORN_INVALID_HANDLE) {
        Line("VornTexture::SetRenderTarget : Invalid Texture Handle", false);
        return false;
    }
    IDirect3DSurface9* surface = Level0(handle);
    if (!surface) return false;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    const bool ok = device && SUCCEEDED(device->SetRenderTarget(0, surface));
    surface->Release();
    if (!ok) Line("VornTexture::SetRenderTarget : Failed", false);
    return ok;
}

bool VornTexture::Lock(VornTextureHandle handle, void** bits, int32_t* pitch, D3DFORMAT* format, uint32_t* width,
                       uint32_t* height)
{
    VornTextureRecord* r = WithTexture(handle);
    if (!r || r->isLocked) return false;
    D3DLOCKED_RECT locked;
    if (FAILED(r->texture->LockRect(0, &locked, nullptr, 0))) return false;
    if (width) *width = r->width;
    if (height) *height = r->height;
    if (format) *format = r->format;
    if (pitch) *pitch = locked.Pitch;
    if (bits) *bits = locked.pBits;
    r->isLocked = 1;
    return true;
}

void VornTexture::Unlock(VornTextureHandle handle)
{
    VornTextureRecord* r = WithTexture(handle);
    if (!r || !r->isLocked) return;
    r->isLocked = 0;
    r->texture->UnlockRect(0);
}

bool VornTexture::GetFillWord(D3DFORMAT format, D3DCOLOR argb, uint32_t* word)
{
    const uint32_t a = argb >> 24, r = argb >> 16 & 0xFF, g = argb >> 8 & 0xFF, b = argb & 0xFF;
    uint32_t v;
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        *word = argb;
        return true;
    case D3DFMT_R5G6B5:
        v = (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
        break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        v = (a > 127 ? 1u : 0u) << 15 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
        break;
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
        v = (a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4;
        break;
    default:
        return false;
    }
    *word = v | v << 16;
    return true;
}

void VornTexture::ColorFill(VornTextureHandle handle, D3DCOLOR argb)
{
    const VornTextureRecord* r = WithTexture(handle);
    uint32_t word;
    if (!r || !GetFillWord(r->format, argb, &word)) return;   // other formats are not written at all
    void* bits = nullptr;
    int32_t pitch = 0;
    uint32_t height = 0;
    if (!Lock(handle, &bits, &pitch, nullptr, nullptr, &height)) return;
    for (uint32_t y = 0; y < height; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(bits) + static_cast<ptrdiff_t>(y) * pitch);
        for (int32_t x = 0; x < pitch / 4; ++x) row[x] = word;
    }
    Unlock(handle);
}

bool VornTexture::StretchCopy(VornTextureHandle dst, const RECT* dstRect, VornTextureHandle src, const RECT* srcRect)
{
    const VornTextureRecord* d = WithTexture(dst);
    const VornTextureRecord* s = WithTexture(src);
    if (!d || !s) return false;
    RECT dr = dstRect ? *dstRect : RECT{0, 0, static_cast<LONG>(d->width), static_cast<LONG>(d->height)};
    RECT sr = srcRect ? *srcRect : RECT{0, 0, static_cast<LONG>(s->width), static_cast<LONG>(s->height)};
    if (!Vorn3D::ClipRect(&dr, &sr)) return false;
    IDirect3DSurface9* ds = Level0(dst);
    IDirect3DSurface9* ss = Level0(src);
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    const bool ok = ds && ss && device && SUCCEEDED(device->StretchRect(ss, &sr, ds, &dr, D3DTEXF_NONE));
    if (ds) ds->Release();
    if (ss) ss->Release();
    return ok;
}

float VornTexture::PixelToU(VornTextureHandle handle, float x)
{
    const VornTextureRecord* r = g_table.GetLive(handle);
    return r ? x * r->invImageWidth : 0.0f;
}

float VornTexture::PixelToV(VornTextureHandle handle, float y)
{
    const VornTextureRecord* r = g_table.GetLive(handle);
    return r ? y * r->invImageHeight : 0.0f;
}

HDC VornTexture::GetDC(VornTextureHandle handle)
{
    IDirect3DSurface9* surface = Level0(handle);
    if (!surface) return nullptr;
    HDC dc = nullptr;
    if (FAILED(surface->GetDC(&dc))) dc = nullptr;
    surface->Release();
    return dc;
}

void VornTexture::ReleaseDC(VornTextureHandle handle, HDC dc)
{
    if (!dc) return;
    IDirect3DSurface9* surface = Level0(handle);
    if (!surface) return;
    surface->ReleaseDC(dc);
    surface->Release();
}

uint32_t VornTexture::GetWidth(VornTextureHandle handle) { return g_table.GetField(handle, &VornTextureRecord::width); }
uint32_t VornTexture::GetHeight(VornTextureHandle handle) { return g_table.GetField(handle, &VornTextureRecord::height); }

uint32_t VornTexture::GetImageWidth(VornTextureHandle handle)
{
    return g_table.GetField(handle, &VornTextureRecord::imageWidth);
}

uint32_t VornTexture::GetImageHeight(VornTextureHandle handle)
{
    return g_table.GetField(handle, &VornTextureRecord::imageHeight);
}

D3DFORMAT VornTexture::GetFormat(VornTextureHandle handle)
{
    return g_table.GetField(handle, &VornTextureRecord::format, D3DFMT_UNKNOWN);
}

IDirect3DTexture9* VornTexture::GetTexture(VornTextureHandle handle)
{
    return g_table.GetField(handle, &VornTextureRecord::texture, static_cast<IDirect3DTexture9*>(nullptr));
}

void VornTexture::SetPixelOffset(float offset) { g_pixelOffset = offset; }
float VornTexture::GetPixelOffset() { return g_pixelOffset; }
void VornTexture::SetTexelInset(float inset) { g_texelInset = inset; }
float VornTexture::GetTexelInset() { return g_texelInset; }
