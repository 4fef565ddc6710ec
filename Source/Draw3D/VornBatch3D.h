// The world-space vertex batches of VornPrimitive3D, VornLine3D and VornPoint3D: a table of
// batches, each with a dynamic vertex buffer, a system-memory copy of its vertices and its own
// world transform (scaling and posture), drawn through the fixed-function pipeline.
#pragma once
#include "Vorn3D.h"
#include "VornHandleTable.h"
#include "VornMatrix.h"
#include "VornPosture.h"
#include "VornVector3.h"
#include <d3d9.h>
#include <cstdint>

// The working 3D vertex of every 3D push: position, colour, four texture-coordinate pairs.
// A batch keeps only the first 16 + 8 x type bytes of it, the layout of the type's FVF.
struct VornVertex3D {
    float x, y, z;
    uint32_t colour;
    float uv[4][2];
};
static_assert(sizeof(VornVertex3D) == 48, "VornVertex3D is 48 bytes");

// The number of texture-coordinate pairs a 3D batch keeps (0-4).
typedef uint32_t VornVertexType3D;
constexpr VornVertexType3D kVornVertexType3DCount = 5;
constexpr uint32_t VornVertexStride3D(VornVertexType3D type) { return 16 + 8 * type; }
constexpr uint32_t VornVertexFVF3D(VornVertexType3D type) { return (D3DFVF_XYZ | D3DFVF_DIFFUSE) | (type << D3DFVF_TEXCOUNT_SHIFT); }

// One batch. The vertex fields are those of the 2D lists; the world transform is scaling x the
// posture's world matrix (line and point lists keep the scaling at identity).
struct VornBatch3DRecord {
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
    uint32_t requested;   // vertices the pushes asked for since the last reset (triangle batches)
    VornMatrix scaling;
    VornPosture posture;
    VornMatrix world;
};

struct VornBatch3DTexts {
    const char* sourceFile;     // tag of the table's allocation
    const char* initializeTitle;   // "VornLine3Dクラスの初期化"
    const char* finalizeTitle;     // "VornLine3Dクラスの解放"
    const char* subject;           // "ライン": the memory lines of Initialize
    const char* destroyLine;    // Finalize line per live record
    const char* createName;     // "VornLine3D::Create"
    const char* tableFull;      // red line of Create when every record is taken
    const char* releaseName;    // "VornLine3D::Release"
};

// One batch class. Triangle batches (fillToCapacity) accept pushes up to the capacity and count
// what was asked for; line and point lists stop one vertex short of it.
class VornBatch3D {
public:
    constexpr VornBatch3D(const VornBatch3DTexts& texts, VornDeviceClass deviceClass, D3DPRIMITIVETYPE type,
                          uint32_t verticesPerPrimitive, bool fillToCapacity)
        : texts_(texts), deviceClass_(deviceClass), type_(type), verticesPerPrimitive_(verticesPerPrimitive),
          fillToCapacity_(fillToCapacity), table_(Destroy, texts.destroyLine)
    {
    }

    void SetMax(uint32_t count) { table_.SetMax(count); }
    bool Initialize(void (*lost)(), void (*restore)());
    void Finalize();
    void OnDeviceLost();
    void OnDeviceRestore();
    VornHandle Create(uint32_t capacity, VornVertexType3D type);
    void Release(VornHandle handle);
    // Appends groups of perGroup vertices; false at the first group that does not fit (the
    // groups before it stay).
    bool Append(VornHandle handle, const VornVertex3D* vertices, uint32_t groups, uint32_t perGroup);
    void ResetBuffer(VornHandle handle);
    void UpdateBuffer(VornHandle handle);
    void Rendering(VornHandle handle);
    uint32_t GetRequested(VornHandle handle) const;
    uint32_t GetCount(VornHandle handle) const;
    const VornBatch3DRecord* GetRecord(VornHandle handle) const { return table_.GetLive(handle); }

    // The live record whose transform the posture and scale setters change; null otherwise.
    VornBatch3DRecord* Transformable(VornHandle handle) { return table_.GetLive(handle); }
    void TransformInit(VornHandle handle);
    void TransformUpdate(VornHandle handle);

private:
    static void Destroy(VornBatch3DRecord& record);

    const VornBatch3DTexts& texts_;
    VornDeviceClass deviceClass_;
    D3DPRIMITIVETYPE type_;
    uint32_t verticesPerPrimitive_;
    bool fillToCapacity_;
    VornHandleTable<VornBatch3DRecord> table_;
};

// The static interface every batch class shares, over the one VornBatch3D that Class::Batch()
// returns. The class adds its push operation (and VornPrimitive3D its scale).
template <typename Class>
class VornBatch3DClass {
public:
    static void SetMax(uint32_t count) { Class::Batch().SetMax(count); }
    static bool Initialize() { return Class::Batch().Initialize(OnDeviceLost, OnDeviceRestore); }
    static void Finalize() { Class::Batch().Finalize(); }
    static void OnDeviceLost() { Class::Batch().OnDeviceLost(); }
    static void OnDeviceRestore() { Class::Batch().OnDeviceRestore(); }
    static void Release(VornHandle handle) { Class::Batch().Release(handle); }
    static void ResetBuffer(VornHandle handle) { Class::Batch().ResetBuffer(handle); }
    static void UpdateBuffer(VornHandle handle) { Class::Batch().UpdateBuffer(handle); }
    static void Rendering(VornHandle handle) { Class::Batch().Rendering(handle); }
    // Vertices stored since the last reset.
    static uint32_t GetVertexCount(VornHandle handle) { return Class::Batch().GetCount(handle); }
    static const VornBatch3DRecord* GetRecord(VornHandle handle) { return Class::Batch().GetRecord(handle); }

    // The world transform: posture changes show after the next TransformUpdate.
    static void TransformInit(VornHandle handle) { Class::Batch().TransformInit(handle); }
    static void TransformUpdate(VornHandle handle) { Class::Batch().TransformUpdate(handle); }
    static void LocalRotationX(VornHandle handle, VornAngle a) { if (VornPosture* p = Posture(handle)) p->LocalRotationX(a); }
    static void LocalRotationY(VornHandle handle, VornAngle a) { if (VornPosture* p = Posture(handle)) p->LocalRotationY(a); }
    static void LocalRotationZ(VornHandle handle, VornAngle a) { if (VornPosture* p = Posture(handle)) p->LocalRotationZ(a); }
    static void RotationX(VornHandle handle, VornAngle a) { if (VornPosture* p = Posture(handle)) p->RotationX(a); }
    static void RotationY(VornHandle handle, VornAngle a) { if (VornPosture* p = Posture(handle)) p->RotationY(a); }
    static void RotationZ(VornHandle handle, VornAngle a) { if (VornPosture* p = Posture(handle)) p->RotationZ(a); }
    static void SetPosition(VornHandle handle, float x, float y, float z)
    {
        if (VornPosture* p = Posture(handle)) p->SetPosition(x, y, z);
    }
    static void LookAt(VornHandle handle, const VornVector3* eye, const VornVector3* target, const VornVector3* up)
    {
        VornPosture* p = Posture(handle);
        if (p && eye && target) p->LookAt(*eye, *target, up);
    }

private:
    static VornPosture* Posture(VornHandle handle)
    {
        VornBatch3DRecord* r = Class::Batch().Transformable(handle);
        return r ? &r->posture : nullptr;
    }
};
