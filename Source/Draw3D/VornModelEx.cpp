#include "VornModelEx.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornAnimation.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornModelExWalk.h"
#include <cstring>

namespace {

void DestroyRecord(VornModelExRecord& r) { VornModelEx::DestroyModel(r); }

VornHandleTable<VornModelExRecord> g_table(DestroyRecord, "Model Destroy [ No.%u ]");

void FreeAnimationSets(VornModelExAnimationSet* set)
{
    while (set) {
        VornModelExAnimation* a = set->first;
        while (a) {
            for (uint32_t i = 0; i < 3; ++i) {
                VornAnimation::Release(a->scaleCurve[i]);
                VornAnimation::Release(a->positionCurve[i]);
            }
            VornAnimation::Release(a->rotationStep);
            VornAnimation::Release(a->rotationLinear);
            VornAnimation::Release(a->matrixStep);
            VORN_FREE(a->scaleKeys);
            VORN_FREE(a->rotationKeys);
            VORN_FREE(a->positionKeys);
            VORN_FREE(a->matrixKeys);
            VornModelExAnimation* next = a->next;
            VORN_FREE(a);
            a = next;
        }
        VornModelExAnimationSet* next = set->next;
        VORN_FREE(set);
        set = next;
    }
}

}  // namespace

VornHandleTable<VornModelExRecord>& VornModelEx::Table() { return g_table; }

void VornModelEx::ResetRecord(VornModelExRecord& r)
{
    memset(static_cast<void*>(&r), 0, sizeof r);
    r.posture.Init();
    r.world.Align();
    r.world.Identity();
    r.scaleX = r.scaleY = r.scaleZ = 1.0f;
}

void VornModelEx::DestroyModel(VornModelExRecord& r)
{
    std::vector<VornModelExFrame*> frames;
    vorn_modelex::CollectFrames(r.root, &frames);
    for (VornModelExFrame* f : frames) {
        ReleaseMeshChain(f->meshes);
        VORN_FREE(f->baked);
        VORN_FREE(f);
    }
    FreeAnimationSets(r.sets);
    VORN_FREE(r.frameList);
    VORN_FREE(r.meshList);
    const uint8_t inUse = r.inUse;
    const uint32_t count = r.refCount;
    ResetRecord(r);
    r.inUse = inUse;
    r.refCount = count;
}

bool VornModelEx::Initialize()
{
    if (!g_table.InitializeLogged("VornModelExクラスの初期化", "モデル", __FILE__, __LINE__)) return false;
    for (uint32_t i = 0; i < g_table.Count(); ++i) ResetRecord(g_table[i]);
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_MODELEX, OnDeviceLost, OnDeviceRestore);
    return true;
}

void VornModelEx::Finalize()
{
    VornLog::Title("VornModelExクラスの解放");
    if (!g_table.IsInitialized()) return;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_MODELEX, nullptr, nullptr);
    // Only records holding a model are destroyed with a line; the rest are cleared quietly.
    for (uint32_t i = 0; i < g_table.Count(); ++i) {
        if (g_table[i].inUse && g_table[i].root) {
            DestroyModel(g_table[i]);
            VornLog::StrongRed("Model Destroy [ No.%u ]", i);
            VornLog::LineBreak();
        }
        g_table[i].inUse = 0;
    }
    g_table.Finalize();
}

VornModelExHandle VornModelEx::CreateFromFile(const char* file, uint16_t vsMajor, uint16_t vsMinor, uint32_t)
{
    Vorn::ResetCurrentDirectory();
    VornLog::StrongBlue("VornModelEx::CreateFromFile");
    VornLog::Print(" : [ %s ] : ", file ? file : "");
    vorn_modelex::g_vsVersion = D3DVS_VERSION(vsMajor, vsMinor);
    void* data = nullptr;
    uint32_t size = 0;
    if (!file || !VornFile::Load(FILE_KIND_MODEL, file, &data, &size)) {
        VornLog::StrongRed("ファイルの読み込みに失敗しました");
        VornLog::LineBreak();
        return VORN_INVALID_HANDLE;
    }
    const VornModelExHandle handle = LoadXFile(data, size);
    VORN_FREE(data);
    return handle;
}

VornModelExHandle VornModelEx::CreateFromMemory(const void* data, uint32_t size, uint16_t vsMajor, uint16_t vsMinor,
                                                VornFormatKind kind)
{
    VornLog::StrongBlue("VornModelEx::CreateFromMemory");
    VornLog::Print(" : ");
    vorn_modelex::g_textureKind = kind;
    vorn_modelex::g_vsVersion = D3DVS_VERSION(vsMajor, vsMinor);
    return LoadXFile(data, size);
}

void VornModelEx::Release(VornModelExHandle model)
{
    VornModelExRecord* r = g_table.GetLive(model);
    if (!r) return;
    const bool hadModel = r->root != nullptr;
    g_table.ReleaseRecord(model);
    if (hadModel) {
        VornLog::StrongRed("VornModelEx::Release");
        VornLog::Print(" : [ No.%u ]", model);
        VornLog::LineBreak();
    }
}

uint32_t VornModelEx::GetMeshCount(VornModelExHandle model)
{
    const VornModelExRecord* r = Live(model);
    return r ? r->meshCount : 0;
}

uint32_t VornModelEx::GetFrameCount(VornModelExHandle model)
{
    const VornModelExRecord* r = Live(model);
    return r ? r->frameCount : 0;
}

int32_t VornModelEx::GetMeshIndex(VornModelExHandle model, const char* name)
{
    const VornModelExRecord* r = Live(model);
    if (!r || !name) return model == VORN_INVALID_HANDLE ? 0 : -1;
    for (uint32_t i = 0; i < r->meshCount; ++i)
        if (strcmp(r->meshList[i]->name, name) == 0) return static_cast<int32_t>(i);
    return -1;
}

int32_t VornModelEx::GetFrameIndex(VornModelExHandle model, const char* name)
{
    const VornModelExRecord* r = Live(model);
    if (!r || !name) return model == VORN_INVALID_HANDLE ? 0 : -1;
    for (uint32_t i = 0; i < r->frameCount; ++i)
        if (strcmp(r->frameList[i]->name, name) == 0) return static_cast<int32_t>(i);
    return -1;
}

void VornModelEx::GetBoundingBox(VornModelExHandle model, int32_t mesh, VornVector3* min, VornVector3* max)
{
    const VornModelExRecord* r = Live(model);
    if (!r) return;
    const VornModelExMesh* m = MeshAt(r, mesh);
    if (min) *min = m ? m->boxMin : r->boxMin;
    if (max) *max = m ? m->boxMax : r->boxMax;
}

void VornModelEx::OnDeviceLost()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i) {
        const VornModelExRecord& r = g_table[i];
        if (!r.inUse) continue;
        for (uint32_t m = 0; m < r.meshCount; ++m) {
            VornModelExMesh* mesh = r.meshList[m];
            if (mesh->vertexBuffer) mesh->vertexBuffer->Release();
            if (mesh->indexBuffer) mesh->indexBuffer->Release();
            mesh->vertexBuffer = nullptr;
            mesh->indexBuffer = nullptr;
        }
    }
}

void VornModelEx::OnDeviceRestore()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i) {
        const VornModelExRecord& r = g_table[i];
        if (!r.inUse) continue;
        for (uint32_t m = 0; m < r.meshCount; ++m) {
            VornModelExMesh* mesh = r.meshList[m];
            if (!mesh->ready) continue;
            CreateVertexBuffer(mesh);
            CreateIndexBuffer(mesh);
        }
    }
}
