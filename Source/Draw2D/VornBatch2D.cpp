#include "VornBatch2D.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace VornBatch2D {

constexpr uint32_t kDrawPiece = 1024;   // triangles a draw call at most, in a list

HRESULT CreateBuffer(uint32_t bytes, uint32_t fvf, IDirect3DVertexBuffer9** out)
{
    *out = nullptr;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device) return E_FAIL;
    return device->CreateVertexBuffer(bytes, kBufferUsage, fvf, D3DPOOL_DEFAULT, out, nullptr);
}

bool CreateBufferLogged(uint32_t capacity, uint32_t stride, uint32_t fvf, IDirect3DVertexBuffer9** out)
{
    VornLog::Print("描画用頂点バッファ生成 : ");
    const uint64_t bytes = static_cast<uint64_t>(capacity) * stride;
    const HRESULT hr = bytes == 0 || bytes > 0x7FFFFFFFu ? D3DERR_INVALIDCALL
                                                         : CreateBuffer(static_cast<uint32_t>(bytes), fvf, out);
    if (FAILED(hr)) {
        VornLog::StrongRed("頂点バッファの生成に失敗 [ %s ]", Vorn3D::GetErrorText(hr));
        return false;
    }
    return true;
}

void* AllocStore(uint64_t bytes, const char* openText, const char* failText)
{
    VornLog::Print("%s", openText);
    VornLog::Print("　　");
    void* store = bytes > 0xFFFFFFFFu ? nullptr : VORN_ALLOC_ZERO(static_cast<uint32_t>(bytes));
    if (!store) {
        VornLog::Print(" } ");
        VornLog::StrongRed("%s", failText);
    }
    return store;
}

void RestoreBuffer(uint32_t bytes, uint32_t fvf, IDirect3DVertexBuffer9** buffer)
{
    ReleaseBuffer(buffer);
    const HRESULT hr = CreateBuffer(bytes, fvf, buffer);
    if (FAILED(hr)) {
        VornLog::StrongRed("頂点バッファのリストアに失敗 [ %s ]", Vorn3D::GetErrorText(hr));
        VornLog::LineBreak();
    }
}

void ReleaseBuffer(IDirect3DVertexBuffer9** buffer)
{
    if (*buffer) {
        (*buffer)->Release();
        *buffer = nullptr;
    }
}

bool Upload(IDirect3DVertexBuffer9* buffer, uint32_t lockBytes, const void* src, uint32_t bytes)
{
    if (!buffer) return false;
    void* dst = nullptr;
    if (FAILED(buffer->Lock(0, lockBytes, &dst, D3DLOCK_DISCARD)) || !dst) return false;
    memcpy(dst, src, bytes);
    buffer->Unlock();
    return true;
}

void Draw(IDirect3DVertexBuffer9* buffer, uint32_t fvf, uint32_t stride, D3DPRIMITIVETYPE type, uint32_t primitives,
          const D3DMATRIX* world)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!device || !buffer || primitives == 0) return;
    Vorn3D::SelectVertexProcessing(0, 0);
    if (world) device->SetTransform(D3DTS_WORLD, world);
    device->SetFVF(fvf);
    device->SetStreamSource(0, buffer, 0, stride);
    if (type == D3DPT_TRIANGLELIST) {
        // Long lists go to the device in pieces: one draw of thousands of small triangles cost the
        // platform's rasteriser about three times what the same triangles cost in pieces of 1,024
        // (10,000 sprites a frame: 118 frames a second in one draw, 322 in pieces).
        for (uint32_t at = 0; at < primitives; at += kDrawPiece)
            device->DrawPrimitive(type, at * 3, std::min(kDrawPiece, primitives - at));
    } else {
        device->DrawPrimitive(type, 0, primitives);
    }
    if (world) Vorn::AddPolygonCount3D(primitives);
    else Vorn::AddPolygonCount(primitives);
}

void LogRelease(const char* operation, VornHandle handle)
{
    VornLog::StrongRed("%s", operation);
    VornLog::Print(" : [ No.%u ]", handle);
    VornLog::LineBreak();
}

}  // namespace VornBatch2D

// ---------------------------------------------------------------------------------------------

namespace {
constexpr VornVertexType2D kListType = 0;
constexpr uint32_t kListStride = VornVertexStride2D(kListType);
constexpr uint32_t kListFVF = VornVertexFVF2D(kListType);
}  // namespace

void VornVertexList2D::Destroy(VornVertexListRecord& record)
{
    VornMemory::Free(record.store);
    record.store = nullptr;
    VornBatch2D::ReleaseBuffer(&record.buffer);
}

bool VornVertexList2D::Initialize()
{
    char title[64];
    snprintf(title, sizeof title, "%sクラスの初期化", texts_.className);
    if (!table_.InitializeLogged(title, texts_.subject, texts_.sourceFile, __LINE__)) return false;
    uint32_t width = 0, height = 0;
    Vorn::GetScreenInfo(&width, &height, nullptr);
    transform.SetZoom(false, width / 2.0f, height / 2.0f, 1.0f);
    transform.SetPerspective(false, width / 2.0f, height / 2.0f, 5.0f);
    return true;
}

void VornVertexList2D::Finalize()
{
    VornLog::Title("%sクラスの解放", texts_.className);
    table_.Finalize();
}

void VornVertexList2D::OnDeviceLost() { VornBatch2D::ReleaseBuffers(table_); }

void VornVertexList2D::OnDeviceRestore()
{
    VornBatch2D::RestoreBuffers(table_, [this](VornHandle h) { UpdateBuffer(h); });
}

VornHandle VornVertexList2D::Create(uint32_t capacity)
{
    VornLog::StrongBlue("%s::Create", texts_.className);
    const VornHandle handle = table_.AllocRecord();
    if (handle == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("%s", texts_.tableFull);
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", handle);
    if (!VornBatch2D::CreateVertices(table_[handle], capacity, kListType, kListStride, kListFVF)) {
        table_.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    return handle;
}

void VornVertexList2D::Release(VornHandle handle)
{
    if (!table_.ReleaseRecord(handle)) return;
    char operation[64];
    snprintf(operation, sizeof operation, "%s::Release", texts_.className);
    VornBatch2D::LogRelease(operation, handle);
}

void VornVertexList2D::ResetBuffer(VornHandle handle)
{
    if (VornVertexListRecord* r = table_.GetLive(handle)) {
        r->count = 0;
        r->usedBytes = 0;
    }
}

void VornVertexList2D::UpdateBuffer(VornHandle handle)
{
    if (VornVertexListRecord* r = table_.GetLive(handle))
        VornBatch2D::Upload(r->buffer, 0, r->store, r->usedBytes);
}

void VornVertexList2D::Rendering(VornHandle handle)
{
    const VornVertexListRecord* r = table_.GetLive(handle);
    if (!r || r->count == 0) return;
    VornBatch2D::Draw(r->buffer, r->fvf, r->stride, type_, r->count / verticesPerPrimitive_);
}

bool VornVertexList2D::Append(VornHandle handle, const VornVertex2D* vertices, uint32_t n)
{
    VornVertexListRecord* r = table_.GetLive(handle);
    if (!r || r->count + n >= r->capacity) return false;
    uint8_t* dst = static_cast<uint8_t*>(r->store) + r->usedBytes;
    for (uint32_t i = 0; i < n; ++i, dst += kListStride) memcpy(dst, &vertices[i], kListStride);
    r->count += n;
    r->usedBytes += n * kListStride;
    return true;
}

uint32_t VornVertexList2D::GetCount(VornHandle handle) const
{
    return table_.GetField(handle, &VornVertexListRecord::count);
}
