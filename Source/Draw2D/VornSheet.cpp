#include "VornSheet.h"
#include "Vorn.h"
#include "VornFile.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornQsgLoader.h"
#include <d3dx9.h>
#include <algorithm>
#include <cstdio>

namespace {

constexpr DWORD kFilter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;   // 0x80004
constexpr DWORD kFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;   // 0x144

void DestroySheet(VornSheetRecord& r)
{
    if (r.pieces) {
        for (int32_t i = 0; i < r.columns * r.rows; ++i) VornTexture::Release(r.pieces[i].texture);
        VornMemory::Free(r.pieces);
    }
    r.pieces = nullptr;
}

VornHandleTable<VornSheetRecord> g_table(DestroySheet, "Sheet Destroy [ No.%u ]");

void Ended(const char* text, bool ok)
{
    if (ok)
        VornLog::StrongGreen("%s", text);
    else
        VornLog::StrongRed("%s", text);
    VornLog::LineBreak();
}

// The whole image decoded once, with the colour key, into a system-memory A8R8G8B8 surface from
// which every piece copies its rectangle; null when there is no room for it (the pieces then
// decode the image each).
IDirect3DSurface9* DecodeOnce(const void* data, uint32_t size, const D3DXIMAGE_INFO& info, D3DCOLOR key)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    IDirect3DSurface9* scratch = nullptr;
    if (!device || FAILED(device->CreateOffscreenPlainSurface(info.Width, info.Height, D3DFMT_A8R8G8B8,
                                                              D3DPOOL_SYSTEMMEM, &scratch, nullptr)))
        return nullptr;
    if (FAILED(D3DXLoadSurfaceFromFileInMemory(scratch, nullptr, nullptr, data, size, nullptr, kFilter, key, nullptr))) {
        scratch->Release();
        return nullptr;
    }
    return scratch;
}

void FillPiece(VornSheetPiece& piece, const void* data, uint32_t size, IDirect3DSurface9* scratch, D3DCOLOR key)
{
    IDirect3DTexture9* texture = VornTexture::GetTexture(piece.texture);
    IDirect3DSurface9* surface = nullptr;
    if (!texture || FAILED(texture->GetSurfaceLevel(0, &surface))) return;
    const RECT dst = {0, 0, piece.w, piece.h};
    const RECT src = {piece.x, piece.y, piece.x + piece.w, piece.y + piece.h};
    if (scratch)
        D3DXLoadSurfaceFromSurface(surface, nullptr, &dst, scratch, nullptr, &src, kFilter, 0);
    else
        D3DXLoadSurfaceFromFileInMemory(surface, nullptr, &dst, data, size, &src, kFilter, key, nullptr);
    surface->Release();
}

// The core of the three creators.
VornSheetHandle CreateFromBytes(const void* data, uint32_t size, VornFormatKind kind, D3DCOLOR key)
{
    const VornSheetHandle handle = g_table.AllocRecord();
    if (handle == VORN_INVALID_HANDLE) {
        Ended("空きシートが見つかりませんでした。", false);
        return VORN_INVALID_HANDLE;
    }
    D3DXIMAGE_INFO info = {};
    const HRESULT hr = data ? D3DXGetImageInfoFromFileInMemory(data, size, &info) : D3DERR_INVALIDCALL;
    if (FAILED(hr) || info.Width == 0 || info.Height == 0) {
        VornLog::StrongRed("ファイルの読み込みに失敗しました [ %s ]", Vorn3D::GetErrorText(FAILED(hr) ? hr : E_FAIL));
        VornLog::LineBreak();
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    VornSheetRecord& r = g_table[handle];
    r.width = static_cast<int32_t>(info.Width);
    r.height = static_cast<int32_t>(info.Height);
    r.columns = static_cast<int32_t>((info.Width + VornSheet::kPieceSize - 1) / VornSheet::kPieceSize);
    r.rows = static_cast<int32_t>((info.Height + VornSheet::kPieceSize - 1) / VornSheet::kPieceSize);
    const uint64_t bytes = static_cast<uint64_t>(r.columns) * r.rows * sizeof(VornSheetPiece);
    r.pieces = bytes > 0xFFFFFFFFu ? nullptr : static_cast<VornSheetPiece*>(VORN_ALLOC_ZERO(static_cast<uint32_t>(bytes)));
    if (!r.pieces) {
        Ended("シート用メモリの確保に失敗", false);
        r.columns = r.rows = 0;
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    IDirect3DSurface9* scratch = DecodeOnce(data, size, info, key);
    D3DFORMAT format = D3DFMT_UNKNOWN;
    for (int32_t i = 0; i < r.columns * r.rows; ++i) {
        VornSheetPiece& piece = r.pieces[i];
        piece.x = (i % r.columns) * static_cast<int32_t>(VornSheet::kPieceSize);
        piece.y = (i / r.columns) * static_cast<int32_t>(VornSheet::kPieceSize);
        piece.w = std::min<int32_t>(VornSheet::kPieceSize, r.width - piece.x);
        piece.h = std::min<int32_t>(VornSheet::kPieceSize, r.height - piece.y);
        piece.texture = VornTexture::Create(VornSheet::kPieceSize, VornSheet::kPieceSize, kind);
        if (piece.texture == VORN_INVALID_HANDLE) {
            VornLog::StrongRed("　SheetNo.%02d : テクスチャの生成に失敗", i);
            VornLog::LineBreak();
            continue;
        }
        if (format == D3DFMT_UNKNOWN) format = VornTexture::GetFormat(piece.texture);
        FillPiece(piece, data, size, scratch, key);
    }
    if (scratch) scratch->Release();
    VornLog::Print("[ %u x %u ] : [ %s ] : {", info.Width, info.Height, Vorn3D::GetFormatName(format));
    VornLog::LineBreak();
    for (int32_t i = 0; i < r.columns * r.rows; ++i) {
        const VornSheetPiece& piece = r.pieces[i];
        VornLog::Print("　SheetNo.%02d : (%d, %d) - (%d, %d) {", i, piece.x, piece.y, piece.w, piece.h);
        VornLog::LineBreak();
    }
    Ended("Success", true);
    return handle;
}

// A live sheet found by name gets one more reference.
VornSheetHandle Found(const char* name)
{
    const VornSheetHandle found = g_table.FindByName(name);
    if (found != VORN_INVALID_HANDLE) {
        g_table.AddRef(found);
        VornLog::Print("[ No.%u ] : Already Existed : ", found);
        Ended("Success", true);
    }
    return found;
}

// The pieces' corners for the sheet's top-left at (x, y), moved by place(cx, cy), plus the pixel
// offset; then every piece with a texture is drawn.
template <typename Place>
void DrawPieces(VornSheetHandle handle, float x, float y, uint32_t colour, Place place)
{
    VornSheetRecord* r = g_table.GetLive(handle);
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!r || !r->pieces || !device) return;
    const float p = VornTexture::GetPixelOffset(), ti = VornTexture::GetTexelInset();
    const float toUV = 1.0f / static_cast<float>(VornSheet::kPieceSize);
    device->SetFVF(kFVF);
    for (int32_t i = 0; i < r->columns * r->rows; ++i) {
        VornSheetPiece& piece = r->pieces[i];
        if (piece.texture == VORN_INVALID_HANDLE) continue;
        const float x0 = x + piece.x, y0 = y + piece.y, x1 = x0 + piece.w, y1 = y0 + piece.h;
        const float u0 = ti * toUV, v0 = ti * toUV, u1 = (piece.w - ti) * toUV, v1 = (piece.h - ti) * toUV;
        const float corner[4][4] = {{x0, y0, u0, v0}, {x1, y0, u1, v0}, {x1, y1, u1, v1}, {x0, y1, u0, v1}};
        for (int k = 0; k < 4; ++k) {
            D3DXVECTOR2 at = place(corner[k][0], corner[k][1]);
            piece.vertex[k] = {at.x + p, at.y + p, 0.0f, 1.0f, colour, corner[k][2], corner[k][3]};
        }
        Vorn3D::SetTexture(0, piece.texture);
        device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, piece.vertex, sizeof(VornSheetVertex));
        Vorn::AddPolygonCount(2);
    }
}

}  // namespace

VornHandleTable<VornSheetRecord>& VornSheet::Table() { return g_table; }

bool VornSheet::Initialize()
{
    return g_table.InitializeLogged("VornSheetクラスの初期化", "シート", __FILE__, __LINE__);
}

void VornSheet::Finalize()
{
    VornLog::Title("VornSheetクラスの解放");
    g_table.Finalize();
}

VornSheetHandle VornSheet::CreateFromFile(const char* name, VornFormatKind kind, D3DCOLOR colourKey)
{
    VornLog::StrongBlue("VornSheet::CreateFromFile");
    VornLog::Print(" : [ %s ] : ", name ? name : "");
    if (!name) name = "";
    const VornSheetHandle found = Found(name);
    if (found != VORN_INVALID_HANDLE) return found;
    void* data = nullptr;
    uint32_t size = 0;
    if (!VornFile::Load(FILE_KIND_TEXTURE, name, &data, &size)) {
        Ended("ファイルの読み込みに失敗しました", false);
        return VORN_INVALID_HANDLE;
    }
    const VornSheetHandle handle = CreateFromBytes(data, size, kind, colourKey);
    VornMemory::Free(data);
    g_table.SetName(handle, name);   // the name as given, so that a second load finds it
    return handle;
}

VornSheetHandle VornSheet::CreateFromMemory(const void* data, uint32_t size, VornFormatKind kind, D3DCOLOR colourKey)
{
    VornLog::StrongBlue("VornSheet::CreateFromMemory");
    VornLog::Print(" : ");
    return CreateFromBytes(data, size, kind, colourKey);
}

VornSheetHandle VornSheet::CreateFromQSG(const char* archive, const char* entry, VornFormatKind kind)
{
    if (!archive) archive = "";
    if (!entry) entry = "";
    VornLog::StrongBlue("VornSheet::CreateFromQSG");
    VornLog::Print(" : [ %s / %s ] : ", archive, entry);
    char name[VORN_RECORD_NAME_SIZE];
    VornQsgLoader::EntryKey(archive, entry, name, sizeof name);
    const VornSheetHandle found = Found(name);
    if (found != VORN_INVALID_HANDLE) return found;
    VornQsgLoader loader;
    if (const char* error = loader.Load(archive, entry)) {
        VornLog::StrongRed("ファイルの読み込みに失敗しました [%s]", error);
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    const VornSheetHandle handle = CreateFromBytes(loader.GetData(), loader.GetDataSize(), kind, 0);
    g_table.SetName(handle, name);
    return handle;
}

uint32_t VornSheet::GetWidth(VornSheetHandle handle)
{
    return static_cast<uint32_t>(g_table.GetField(handle, &VornSheetRecord::width, -1));
}

uint32_t VornSheet::GetHeight(VornSheetHandle handle)
{
    return static_cast<uint32_t>(g_table.GetField(handle, &VornSheetRecord::height, -1));
}

void VornSheet::Draw(VornSheetHandle handle, float x, float y, uint32_t colour)
{
    DrawPieces(handle, x, y, colour, [](float cx, float cy) { return D3DXVECTOR2(cx, cy); });
}

void VornSheet::DrawScale(VornSheetHandle handle, float x, float y, float scale, uint32_t colour)
{
    const VornSheetRecord* r = g_table.GetLive(handle);
    if (!r) return;
    const float mx = x + static_cast<float>(r->width / 2), my = y + static_cast<float>(r->height / 2);
    DrawPieces(handle, x, y, colour,
               [&](float cx, float cy) { return D3DXVECTOR2((cx - mx) * scale + mx, (cy - my) * scale + my); });
}

void VornSheet::DrawRotate(VornSheetHandle handle, float x, float y, VornAngle angle, float offsetX, float offsetY,
                           uint32_t colour)
{
    DrawRotateScale(handle, x, y, angle, 1.0f, offsetX, offsetY, colour);
}

void VornSheet::DrawRotateScale(VornSheetHandle handle, float x, float y, VornAngle angle, float scale, float offsetX,
                                float offsetY, uint32_t colour)
{
    const float mx = x + offsetX, my = y + offsetY;
    DrawPieces(handle, x, y, colour, [&](float cx, float cy) {
        D3DXVECTOR2 d(cx - mx, cy - my);
        VornMath::RotationPoint(&d, angle);
        return D3DXVECTOR2(d.x * scale + mx, d.y * scale + my);
    });
}
