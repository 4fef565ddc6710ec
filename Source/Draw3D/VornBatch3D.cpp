#include "VornBatch3D.h"
#include "VornBatch2D.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cstring>

namespace {

// Identity scaling and world, the posture at its start (the holders find their own matrices).
void ResetTransform(VornBatch3DRecord& r)
{
    r.scaling.Identity();
    r.posture.Init();
    r.world.Identity();
}

}  // namespace

void VornBatch3D::Destroy(VornBatch3DRecord& record)
{
    VornMemory::Free(record.store);
    record.store = nullptr;
    VornBatch2D::ReleaseBuffer(&record.buffer);
}

bool VornBatch3D::Initialize(void (*lost)(), void (*restore)())
{
    if (!table_.InitializeLogged(texts_.initializeTitle, texts_.subject, texts_.sourceFile, __LINE__)) return false;
    Vorn3D::SetDeviceHooks(deviceClass_, lost, restore);
    return true;
}

void VornBatch3D::Finalize()
{
    VornLog::Title("%s", texts_.finalizeTitle);
    if (!table_.IsInitialized()) return;
    Vorn3D::SetDeviceHooks(deviceClass_, nullptr, nullptr);
    table_.Finalize();
}

void VornBatch3D::OnDeviceLost() { VornBatch2D::ReleaseBuffers(table_); }

void VornBatch3D::OnDeviceRestore()
{
    VornBatch2D::RestoreBuffers(table_, [this](VornHandle h) { UpdateBuffer(h); });
}

VornHandle VornBatch3D::Create(uint32_t capacity, VornVertexType3D type)
{
    VornLog::StrongBlue("%s", texts_.createName);
    if (type >= kVornVertexType3DCount) {
        VornLog::StrongRed("頂点タイプが範囲外です [ %u ]", type);
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    const VornHandle h = table_.AllocRecord();
    if (h == VORN_INVALID_HANDLE) {
        VornLog::StrongRed("%s", texts_.tableFull);
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", h);
    VornBatch3DRecord& r = table_[h];
    ResetTransform(r);
    if (!VornBatch2D::CreateVertices(r, capacity, type, VornVertexStride3D(type), VornVertexFVF3D(type))) {
        table_.ReleaseRecord(h);   // gives back what was made
        return VORN_INVALID_HANDLE;
    }
    return h;
}

void VornBatch3D::Release(VornHandle handle)
{
    if (table_.ReleaseRecord(handle)) VornBatch2D::LogRelease(texts_.releaseName, handle);
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
    // Without a buffer (a restore that could not make one) there is nothing to upload into.
    if (const VornBatch3DRecord* r = table_.GetLive(handle))
        VornBatch2D::Upload(r->buffer, fillToCapacity_ ? r->usedBytes : 0, r->store, r->usedBytes);
}

void VornBatch3D::Rendering(VornHandle handle)
{
    if (const VornBatch3DRecord* r = table_.GetLive(handle))
        VornBatch2D::Draw(r->buffer, r->fvf, r->stride, type_, r->count / verticesPerPrimitive_, r->world.Get());
}

uint32_t VornBatch3D::GetRequested(VornHandle handle) const
{
    return table_.GetField(handle, &VornBatch3DRecord::requested);
}

uint32_t VornBatch3D::GetCount(VornHandle handle) const { return table_.GetField(handle, &VornBatch3DRecord::count); }

void VornBatch3D::TransformInit(VornHandle handle)
{
    if (VornBatch3DRecord* r = table_.GetLive(handle)) ResetTransform(*r);
}

void VornBatch3D::TransformUpdate(VornHandle handle)
{
    VornBatch3DRecord* r = table_.GetLive(handle);
    if (!r) return;
    r->posture.UpdateMatrices();
    r->world.Multiply(r->scaling, r->posture.world);   // scale first, then rotation and position
}
