// Plumbing shared by the batched 2D classes (VornPrimitive, VornPoint, VornLine): the dynamic vertex
// buffer with its creation and restore lines, the upload and the draw; and the vertex list that
// VornPoint and VornLine both are (a table of lists, a transform block, create/release/upload/draw).
#pragma once
#include "Vorn3D.h"
#include "VornHandleTable.h"
#include "VornTransform2D.h"
#include <d3d9.h>
#include <cstdint>

namespace VornBatch2D {

constexpr DWORD kBufferUsage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;   // 0x208

// Creates a D3DPOOL_DEFAULT dynamic write-only buffer; the device's result (E_FAIL without one).
HRESULT CreateBuffer(uint32_t bytes, uint32_t fvf, IDirect3DVertexBuffer9** out);
// The Create step of a batch: logs "描画用頂点バッファ生成 : " and creates the buffer of capacity
// vertices of stride bytes; on failure (a size of 0 or beyond 2 GB included) logs the red reason
// and returns false.
bool CreateBufferLogged(uint32_t capacity, uint32_t stride, uint32_t fvf, IDirect3DVertexBuffer9** out);
// Allocates a zeroed store, logging the open text, "　　" and, on failure, " } " and the red reason.
// A size beyond what one work-area block can hold (4 GB) fails the same way.
void* AllocStore(uint64_t bytes, const char* openText, const char* failText);
// After a device reset: re-creates the buffer, logging the red restore line when it cannot.
void RestoreBuffer(uint32_t bytes, uint32_t fvf, IDirect3DVertexBuffer9** buffer);
void ReleaseBuffer(IDirect3DVertexBuffer9** buffer);
// Locks (offset 0, lockBytes; 0 = whole) with DISCARD, copies bytes from src, unlocks. False when
// there is no buffer or the lock fails.
bool Upload(IDirect3DVertexBuffer9* buffer, uint32_t lockBytes, const void* src, uint32_t bytes);
// Draws primitives from the buffer with the fixed function pipeline and counts them. Given a world
// matrix (the 3D batches), the world transform is set first and they count as 3D primitives.
void Draw(IDirect3DVertexBuffer9* buffer, uint32_t fvf, uint32_t stride, D3DPRIMITIVETYPE type, uint32_t primitives,
          const D3DMATRIX* world = nullptr);
// The two release lines of a record that was live: the operation in red, then " : [ No.%u ]".
void LogRelease(const char* operation, VornHandle handle);

// The Create steps of a vertex list after its "[ No.%u ] : ": the buffer and the zeroed store of
// capacity vertices, the record's vertex fields, " VERTEX COUNT [ %u ] : VERTEX SIZE [ %uBYTE ] : "
// and "Success". False, with the red reason and the line ended, when either cannot be made; the
// caller then gives the record back with what it holds.
template <typename Record>
bool CreateVertices(Record& r, uint32_t capacity, uint32_t vertexType, uint32_t stride, uint32_t fvf)
{
    if (!CreateBufferLogged(capacity, stride, fvf, &r.buffer) ||
        !(r.store = AllocStore(capacity * stride, "頂点保存用バッファ生成 { ", "頂点用メモリの確保に失敗"))) {
        VornLog::LineBreak();
        return false;
    }
    VornLog::Print(" } ");
    r.vertexType = vertexType;
    r.fvf = fvf;
    r.bufferSize = capacity * stride;
    r.stride = stride;
    r.capacity = capacity;
    r.count = 0;
    r.usedBytes = 0;
    VornLog::Print(" VERTEX COUNT [ %u ] : VERTEX SIZE [ %uBYTE ] : ", capacity, stride);
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return true;
}

// The device hooks of a table of batches (records with buffer, store, bufferSize and fvf): loss
// releases every buffer; restore re-creates the buffer of every record with a store and uploads it.
template <typename Table>
void ReleaseBuffers(Table& table)
{
    for (uint32_t i = 0; i < table.Count(); ++i) ReleaseBuffer(&table[i].buffer);
}
template <typename Table, typename Upload>
void RestoreBuffers(Table& table, Upload upload)
{
    for (uint32_t i = 0; i < table.Count(); ++i) {
        if (!table[i].store) continue;
        RestoreBuffer(table[i].bufferSize, table[i].fvf, &table[i].buffer);
        upload(i);
    }
}

}  // namespace VornBatch2D

// One point or line list: vertex type 0 (20 bytes, FVF 0x044).
struct VornVertexListRecord {
    uint8_t inUse;
    IDirect3DVertexBuffer9* buffer;
    void* store;
    uint32_t vertexType;
    uint32_t fvf;
    uint32_t bufferSize;
    uint32_t stride;
    uint32_t capacity;
    uint32_t count;
    uint32_t usedBytes;
};

// The texts that tell the two list classes apart in the log.
struct VornVertexListTexts {
    const char* sourceFile;     // tag of the table's allocation
    const char* className;      // "VornPoint"
    const char* subject;        // of the memory lines of Initialize ("ポイント")
    const char* destroyLine;    // Finalize line per live record
    const char* tableFull;      // red line of Create when every record is taken
};

// The state and operations of one list class. A push appends up to capacity - 1 vertices.
class VornVertexList2D {
public:
    constexpr VornVertexList2D(const VornVertexListTexts& texts, D3DPRIMITIVETYPE type, uint32_t verticesPerPrimitive)
        : transform{}, texts_(texts), type_(type), verticesPerPrimitive_(verticesPerPrimitive),
          table_(Destroy, texts.destroyLine)
    {
    }

    void SetMax(uint32_t count) { table_.SetMax(count); }
    bool Initialize();
    void Finalize();
    void OnDeviceLost();
    void OnDeviceRestore();
    VornHandle Create(uint32_t capacity);
    void Release(VornHandle handle);
    void ResetBuffer(VornHandle handle);
    void UpdateBuffer(VornHandle handle);
    void Rendering(VornHandle handle);
    // Appends n vertices (their first 20 bytes); false, storing nothing, when count + n reaches the
    // capacity.
    bool Append(VornHandle handle, const VornVertex2D* vertices, uint32_t n);
    uint32_t GetCount(VornHandle handle) const;

    VornTransform2D transform;

private:
    static void Destroy(VornVertexListRecord& record);
    const VornVertexListTexts& texts_;
    D3DPRIMITIVETYPE type_;
    uint32_t verticesPerPrimitive_;
    VornHandleTable<VornVertexListRecord> table_;
};

// The static interface of a list class (VornPoint, VornLine) over its one VornVertexList2D, which
// the class's source file defines as List_. The class adds its push operation.
template <typename Class, VornDeviceClass kDevice, VornTransform2DClass kTransform>
class VornVertexListClass {
public:
    static void SetMax(uint32_t count) { List_.SetMax(count); }
    static bool Initialize()
    {
        if (!List_.Initialize()) return false;
        Vorn3D::SetDeviceHooks(kDevice, OnDeviceLost, OnDeviceRestore);
        Vorn3D::SetTransform2DSetters(kTransform, SetPerspective, SetZoom, SetScissoring);
        return true;
    }
    static void Finalize()
    {
        Vorn3D::SetDeviceHooks(kDevice, nullptr, nullptr);
        Vorn3D::SetTransform2DSetters(kTransform, nullptr, nullptr, nullptr);
        List_.Finalize();
    }
    static void OnDeviceLost() { List_.OnDeviceLost(); }
    static void OnDeviceRestore() { List_.OnDeviceRestore(); }
    static VornHandle Create(uint32_t capacity) { return List_.Create(capacity); }
    static void Release(VornHandle handle) { List_.Release(handle); }
    static void ResetBuffer(VornHandle handle) { List_.ResetBuffer(handle); }
    static void UpdateBuffer(VornHandle handle) { List_.UpdateBuffer(handle); }
    static void Rendering(VornHandle handle) { List_.Rendering(handle); }
    static uint32_t GetVertexCount(VornHandle handle) { return List_.GetCount(handle); }
    static void SetScissoring(bool on, const RECT* rect) { List_.transform.SetScissoring(on, rect); }
    static void SetZoom(bool on, float centreX, float centreY, float scale)
    {
        List_.transform.SetZoom(on, centreX, centreY, scale);
    }
    static void SetPerspective(bool on, float centreX, float centreY, float factor)
    {
        List_.transform.SetPerspective(on, centreX, centreY, factor);
    }
    static const VornTransform2D& GetTransform() { return List_.transform; }

protected:
    static VornVertexList2D List_;
};
