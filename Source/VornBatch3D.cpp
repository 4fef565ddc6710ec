#include "VornBatch3D.h"
#include "Vorn.h"
#include "VornBatch2D.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstring>
#include <new>

void VornBatch3D::Destroy(VornBatch3DRecord& record)
{
    VornMemory::Free(record.store);
    record.store = nullptr;
    VornBatch2D::ReleaseBuffer(&record.buffer);
}

bool VornBatch3D::Initialize(void (*lost)(), void (*restore)())
{
    if (!table_.InitializeLogged(texts_.initializeTitle, texts_.subject, texts_.sourceFile, __LINE__)) return false;
    if (transforms_) return true;   // already running
    const uint32_t count = table_.Count();
    void* block = VornMemory::AllocZero(count * static_cast<uint32_t>(sizeof(VornBatch3DTransform)),
                                        VornMemory::DEFAULT_TAG, texts_.sourceFile, __LINE__);
    if (!block) {
        table_.Finalize();
        VornLog::StrongRed("　　　%s用メモリの確保に失敗", texts_.subject);
        VornLog::LineBreak();
        return false;
    }
    transforms_ = static_cast<VornBatch3DTransform*>(block);
    for (uint32_t i = 0; i < count; ++i) new (&transforms_[i]) VornBatch3DTransform();
    Vorn3D::SetDeviceHooks(deviceClass_, lost, restore);
    return true;
}

void VornBatch3D::Finalize()
{
    VornLog::Title("%s", texts_.finalizeTitle);
    if (!table_.IsInitialized()) return;
    Vorn3D::SetDeviceHooks(deviceClass_, nullptr, nullptr);
    table_.Finalize();
    VornMemory::Free(transforms_);
    transforms_ = nullptr;
}

void VornBatch3D::OnDeviceLost()
{
    for (uint32_t i = 0; i < table_.Count(); ++i) VornBatch2D::ReleaseBuffer(&table_[i].buffer);
}

void VornBatch3D::OnDeviceRestore()
{
    for (uint32_t i = 0; i < table_.Count(); ++i) {
        VornBatch3DRecord& r = table_[i];
        if (!r.inUse || !r.store) continue;
        VornBatch2D::RestoreBuffer(r.bufferSize, r.fvf, &r.buffer);
        UpdateBuffer(i);
    }
}

VornHandle VornBatch3D::Create(uint32_t capacity, VornVertexType3D type)
{
    VornLog::StrongBlue("%s", texts_.createName);
    const VornHandle h = type < kVornVertexType3DCount ? table_.AllocRecord() : VORN_INVALID_HANDLE;
    if (h == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("%s", texts_.tableFull);
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", h);
    VornBatch3DRecord& r = table_[h];
    const uint32_t stride = VornVertexStride3D(type);
    const uint32_t fvf = VornVertexFVF3D(type);
    if (!VornBatch2D::CreateBufferLogged(capacity, stride, fvf, &r.buffer)) {
        VornLog::LineBreak();
        table_.ReleaseRecord(h);
        return VORN_INVALID_HANDLE;
    }
    r.store = VornBatch2D::AllocStore(capacity * stride, "頂点保存用バッファ生成 { ", "頂点用メモリの確保に失敗");
    if (!r.store) {
        VornLog::LineBreak();
        table_.ReleaseRecord(h);   // gives back the buffer made above
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print(" } ");
    r.vertexType = type;
    r.fvf = fvf;
    r.stride = stride;
    r.bufferSize = capacity * stride;
    r.capacity = capacity;
    transforms_[h].Reset();
    VornLog::Print(" VERTEX COUNT [ %u ] : VERTEX SIZE [ %uBYTE ] : ", capacity, stride);
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return h;
}

void VornBatch3D::Release(VornHandle handle)
{
    if (!table_.Live(handle)) return;
    table_.ReleaseRecord(handle);
    transforms_[handle].Reset();
    VornLog::StrongRed("%s", texts_.releaseName);
    VornLog::Print(" : [ No.%u ]", handle);
    VornLog::LineBreak();
}

bool VornBatch3D::Append(VornHandle handle, const VornVertex3D* vertices, uint32_t groups, uint32_t perGroup)
{
    VornBatch3DRecord* r = table_.GetLive(handle);
    if (!r || !vertices) return false;
    for (uint32_t g = 0; g < groups; ++g) {
        if (fillToCapacity_) r->requested += perGroup;
        const uint64_t after = static_cast<uint64_t>(r->count) + perGroup;
        if (fillToCapacity_ ? after > r->capacity : after >= r->capacity) return false;
        uint8_t* dst = static_cast<uint8_t*>(r->store) + r->usedBytes;
        for (uint32_t k = 0; k < perGroup; ++k, dst += r->stride) memcpy(dst, &vertices[g * perGroup + k], r->stride);
        r->usedBytes += perGroup * r->stride;
        r->count += perGroup;
    }
    return true;
}

void VornBatch3D::ResetBuffer(VornHandle handle)
{
    if (VornBatch3DRecord* r = table_.GetLive(handle)) r->count = r->usedBytes = r->requested = 0;
}

void VornBatch3D::UpdateBuffer(VornHandle handle)
{
    const VornBatch3DRecord* r = table_.GetLive(handle);
    if (!r || !r->buffer) return;   // no buffer after a failed restore: nothing to upload into
    VornBatch2D::Upload(r->buffer, fillToCapacity_ ? r->usedBytes : 0, r->store, r->usedBytes);
}

void VornBatch3D::Rendering(VornHandle handle)
{
    const VornBatch3DRecord* r = table_.GetLive(handle);
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!r || !r->buffer || !device) return;
    const uint32_t primitives = r->count / verticesPerPrimitive_;
    if (primitives == 0) return;
    Vorn3D::SelectVertexProcessing(0, 0);
    device->SetTransform(D3DTS_WORLD, transforms_[handle].world.Get());
    device->SetFVF(r->fvf);
    device->SetStreamSource(0, r->buffer, 0, r->stride);
    device->DrawPrimitive(type_, 0, primitives);
    Vorn::AddPolygonCount3D(primitives);
}

uint32_t VornBatch3D::GetRequested(VornHandle handle) const
{
    const VornBatch3DRecord* r = table_.GetLive(handle);
    return r ? r->requested : 0;
}

uint32_t VornBatch3D::GetCount(VornHandle handle) const
{
    const VornBatch3DRecord* r = table_.GetLive(handle);
    return r ? r->count : 0;
}

VornBatch3DTransform* VornBatch3D::Transform(VornHandle handle)
{
    return table_.Live(handle) ? &transforms_[handle] : nullptr;
}

void VornBatch3D::TransformInit(VornHandle handle)
{
    if (VornBatch3DTransform* t = Transform(handle)) t->Reset();
}

void VornBatch3D::TransformUpdate(VornHandle handle)
{
    VornBatch3DTransform* t = Transform(handle);
    if (!t) return;
    t->posture.UpdateMatrices();
    t->world.Multiply(t->scaling, t->posture.world);   // scale first, then rotation and position
}
