// VornModelEx: the X-file walk into the model's own frame, mesh and animation records.
#include "VornModelEx.h"
#include "Vorn3D.h"
#include "VornAnimation.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornModelExWalk.h"
#include "VornTexture.h"
#include "VornXKeyReader.h"
#include "VornXTemplates.h"
#include <d3dx9xof.h>
#include <cstring>

namespace vorn_modelex {
uint32_t g_vsVersion = D3DVS_VERSION(2, 0);
VornFormatKind g_textureKind = 0;
}  // namespace vorn_modelex

using namespace vorn_modelex;

namespace {

void Red(const char* text)
{
    VornLog::StrongRed("%s", text);
    VornLog::LineBreak();
}

void RedError(const char* text, HRESULT hr)
{
    VornLog::StrongRed("%s [%s]", text, Vorn3D::GetErrorText(hr));
    VornLog::LineBreak();
}

template <typename T> T* NewZeroed()
{
    T* p = static_cast<T*>(VORN_ALLOC_ZERO(sizeof(T)));
    if (!p) Red("メモリの確保に失敗");
    return p;
}

VornModelExFrame* NewFrame()
{
    VornModelExFrame* f = NewZeroed<VornModelExFrame>();
    if (f) {
        f->combined.Identity();
        f->user.Identity();
        f->file.Identity();
    }
    return f;
}

VornModelExMesh* NewMesh()
{
    VornModelExMesh* m = NewZeroed<VornModelExMesh>();
    if (m) {
        m->combined.Identity();
        m->effect = VORN_INVALID_HANDLE;
    }
    return m;
}

// The object's name, cut to 255 characters; an unnamed object keeps an empty name.
void ReadName(ID3DXFileData* data, char* out)
{
    out[0] = '\0';
    SIZE_T size = 0;
    if (FAILED(data->GetName(nullptr, &size)) || size <= 1) return;
    std::vector<char> buffer(size + 1, '\0');
    if (FAILED(data->GetName(buffer.data(), &size))) return;
    strncpy(out, buffer.data(), VORN_RECORD_NAME_SIZE - 1);
    out[VORN_RECORD_NAME_SIZE - 1] = '\0';
}

GUID TypeOf(ID3DXFileData* data)
{
    GUID type = {};
    data->GetType(&type);
    return type;
}

void AppendMesh(VornModelExFrame* frame, VornModelExMesh* mesh)
{
    VornModelExMesh** at = &frame->meshes;
    while (*at) at = &(*at)->next;
    *at = mesh;
}

bool LoadMaterials(VornModelExMesh* mesh, uint32_t count, ID3DXBuffer* buffer)
{
    if (count == 0 || !buffer) return true;
    mesh->materials = static_cast<VornMaterial*>(VORN_ALLOC_ZERO(count * static_cast<uint32_t>(sizeof(VornMaterial))));
    if (!mesh->materials) return false;
    mesh->materialCount = count;
    const D3DXMATERIAL* in = static_cast<const D3DXMATERIAL*>(buffer->GetBufferPointer());
    for (uint32_t i = 0; i < count; ++i) {
        VornMaterial& m = mesh->materials[i];
        m.material = in[i].MatD3D;
        for (uint32_t s = 0; s < 4; ++s) m.texture[s] = VORN_INVALID_HANDLE;
        if (in[i].pTextureFilename && in[i].pTextureFilename[0]) {
            const char* name = in[i].pTextureFilename;
            if (const char* slash = strrchr(name, '\\')) name = slash + 1;
            m.texture[0] = VornTexture::CreateFromFile(name, g_textureKind, 0);
            if (m.texture[0] != VORN_INVALID_HANDLE) m.material.Diffuse.r = m.material.Diffuse.g = m.material.Diffuse.b = 1.0f;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        D3DMATERIAL9& m = mesh->materials[i].material;
        m.Ambient.r = m.Diffuse.r * 0.3f;
        m.Ambient.g = m.Diffuse.g * 0.3f;
        m.Ambient.b = m.Diffuse.b * 0.3f;
    }
    return true;
}

bool LoadMesh(ID3DXFileData* data, VornModelExMesh* mesh)
{
    ReadName(data, mesh->name);
    ID3DXBuffer* materials = nullptr;
    DWORD materialCount = 0;
    const HRESULT hr = D3DXLoadSkinMeshFromXof(data, D3DXMESH_SYSTEMMEM, Vorn3D::GetDevice(), &mesh->adjacency, &materials,
                                               &mesh->effectInstances, &materialCount, &mesh->skinInfo, &mesh->mesh);
    if (FAILED(hr)) {
        RedError("Ｘファイルのロードに失敗", hr);
        return true;   // the container stays without a mesh
    }
    if (LoadMaterials(mesh, materialCount, materials)) VornModelEx::ConvertMesh(mesh, g_vsVersion);
    if (materials) materials->Release();
    return true;
}

bool LoadFrame(ID3DXFileData* data, VornModelExFrame* frame)
{
    ReadName(data, frame->name);
    SIZE_T children = 0;
    data->GetChildren(&children);
    VornModelExFrame** lastChild = &frame->child;
    for (SIZE_T i = 0; i < children; ++i) {
        ID3DXFileData* child = nullptr;
        if (FAILED(data->GetChild(i, &child)) || !child) continue;
        bool ok = true;
        if (!child->IsReference()) {
            const GUID type = TypeOf(child);
            if (type == kVornXFrameTransformMatrix) {
                SIZE_T size = 0;
                const void* bytes = nullptr;
                if (SUCCEEDED(child->Lock(&size, &bytes))) {
                    if (size == sizeof(D3DXMATRIX)) frame->file.Set(static_cast<const D3DXMATRIX*>(bytes));
                    child->Unlock();
                }
            } else if (type == kVornXFrame) {
                VornModelExFrame* sub = NewFrame();
                ok = sub != nullptr;
                if (ok) {
                    while (*lastChild) lastChild = &(*lastChild)->sibling;
                    *lastChild = sub;
                    ok = LoadFrame(child, sub);
                }
            } else if (type == kVornXMesh) {
                VornModelExMesh* mesh = NewMesh();
                ok = mesh != nullptr;
                if (ok) {
                    AppendMesh(frame, mesh);
                    ok = LoadMesh(child, mesh);
                }
            }
        }
        child->Release();
        if (!ok) return false;
    }
    return true;
}

template <typename Key> Key* AllocKeys(uint32_t count)
{
    return static_cast<Key*>(VORN_ALLOC_ZERO(count * static_cast<uint32_t>(sizeof(Key))));
}

// One AnimationKey block: copied when it is sound, skipped with a line otherwise.
bool LoadKeys(ID3DXFileData* data, VornModelExAnimation* a)
{
    SIZE_T size = 0;
    const void* bytes = nullptr;
    if (FAILED(data->Lock(&size, &bytes))) return true;
    VornXKeyBlock block;
    const VornXKeyStatus status = VornXKeyReader::Parse(bytes, size, &block);
    bool ok = true;
    if (status != XKEY_OK) {
        if (status != XKEY_IGNORED) {
            VornLog::StrongRed("AnimationKey [%s] : Skip [%s]", a->name, VornXKeyReader::StatusText(status));
            VornLog::LineBreak();
        }
    } else if (block.count > 0) {
        float v[16];
        uint32_t time = 0;
        switch (block.type) {
        case XKEY_ROTATION:
            VORN_FREE(a->rotationKeys);
            a->rotationCount = 0;
            a->rotationKeys = AllocKeys<VornModelExRotationKey>(block.count);
            if (!(ok = a->rotationKeys != nullptr)) break;
            for (uint32_t i = 0; i < block.count; ++i) {
                VornXKeyReader::Key(block, i, &time, v);
                a->rotationKeys[i] = {time, v[1], v[2], v[3], v[0]};
            }
            a->rotationCount = block.count;
            break;
        case XKEY_SCALE:
        case XKEY_POSITION: {
            VornModelExVectorKey*& keys = block.type == XKEY_SCALE ? a->scaleKeys : a->positionKeys;
            uint32_t& count = block.type == XKEY_SCALE ? a->scaleCount : a->positionCount;
            VORN_FREE(keys);
            count = 0;
            keys = AllocKeys<VornModelExVectorKey>(block.count);
            if (!(ok = keys != nullptr)) break;
            for (uint32_t i = 0; i < block.count; ++i) {
                VornXKeyReader::Key(block, i, &time, v);
                keys[i] = {time, v[0], v[1], v[2]};
            }
            count = block.count;
            break;
        }
        default:
            VORN_FREE(a->matrixKeys);
            a->matrixCount = 0;
            a->matrixKeys = AllocKeys<VornModelExMatrixKey>(block.count);
            if (!(ok = a->matrixKeys != nullptr)) break;
            for (uint32_t i = 0; i < block.count; ++i) {
                VornXKeyReader::Key(block, i, &time, v);
                a->matrixKeys[i].time = time;
                a->matrixKeys[i].matrix.Set(reinterpret_cast<const D3DXMATRIX*>(v));
            }
            a->matrixCount = block.count;
            break;
        }
        if (!ok) Red("メモリの確保に失敗");
    }
    data->Unlock();
    return ok;
}

bool LoadAnimation(ID3DXFileData* data, VornModelExAnimation* a)
{
    SIZE_T children = 0;
    data->GetChildren(&children);
    for (SIZE_T i = 0; i < children; ++i) {
        ID3DXFileData* child = nullptr;
        if (FAILED(data->GetChild(i, &child)) || !child) continue;
        bool ok = true;
        if (child->IsReference()) ReadName(child, a->name);
        else if (TypeOf(child) == kVornXAnimationKey) ok = LoadKeys(child, a);
        child->Release();
        if (!ok) return false;
    }
    return true;
}

bool LoadAnimationSet(ID3DXFileData* data, VornModelExAnimationSet* set)
{
    ReadName(data, set->name);
    SIZE_T children = 0;
    data->GetChildren(&children);
    VornModelExAnimation** last = &set->first;
    for (SIZE_T i = 0; i < children; ++i) {
        ID3DXFileData* child = nullptr;
        if (FAILED(data->GetChild(i, &child)) || !child) continue;
        bool ok = true;
        if (!child->IsReference() && TypeOf(child) == kVornXAnimation) {
            VornModelExAnimation* a = NewZeroed<VornModelExAnimation>();
            ok = a != nullptr;
            if (ok) {
                for (uint32_t c = 0; c < 3; ++c) a->scaleCurve[c] = a->positionCurve[c] = VORN_INVALID_HANDLE;
                a->rotationStep = a->rotationLinear = a->matrixStep = VORN_INVALID_HANDLE;
                a->sampledMatrix.Identity();
                *last = a;
                last = &a->next;
                ok = LoadAnimation(child, a);
            }
        }
        child->Release();
        if (!ok) return false;
    }
    return true;
}

bool LoadHierarchy(VornModelExRecord& r, ID3DXFileEnumObject* objects)
{
    SIZE_T children = 0;
    objects->GetChildren(&children);
    uint32_t sets = 0;
    VornModelExAnimationSet** lastSet = &r.sets;
    for (SIZE_T i = 0; i < children; ++i) {
        ID3DXFileData* child = nullptr;
        if (FAILED(objects->GetChild(i, &child)) || !child) continue;
        const GUID type = TypeOf(child);
        bool ok = true;
        if (type == kVornXFrame) {
            // A later top-level frame joins the root's sibling chain.
            VornModelExFrame* frame = NewFrame();
            ok = frame != nullptr;
            if (ok) {
                VornModelExFrame** at = &r.root;
                while (*at) at = &(*at)->sibling;
                *at = frame;
                ok = LoadFrame(child, frame);
            }
        } else if (type == kVornXMesh) {
            if (!r.root && (r.root = NewFrame()) != nullptr) strcpy(r.root->name, "FRAME_ROOT");
            VornModelExMesh* mesh = r.root ? NewMesh() : nullptr;
            ok = mesh != nullptr;
            if (ok) {
                AppendMesh(r.root, mesh);
                ok = LoadMesh(child, mesh);
            }
        } else if (type == kVornXAnimationSet) {
            if (sets == MODELEX_MAX_SETS) {
                VornLog::StrongRed("AnimationSet : Skip [%u]", sets);
                VornLog::LineBreak();
            } else {
                VornModelExAnimationSet* set = NewZeroed<VornModelExAnimationSet>();
                ok = set != nullptr;
                if (ok) {
                    ++sets;
                    *lastSet = set;
                    lastSet = &set->next;
                    ok = LoadAnimationSet(child, set);
                }
            }
        }
        child->Release();
        if (!ok) return false;
    }
    return true;
}

void LinkAnimations(VornModelExRecord& r)
{
    for (VornModelExAnimationSet* set = r.sets; set; set = set->next) {
        ForEachFrame(r.root, [set](VornModelExFrame* f) {
            VornModelExAnimation* found = nullptr;
            for (VornModelExAnimation* a = set->first; a && !found; a = a->next)
                if (strcmp(a->name, f->name) == 0) found = a;
            if (f->animationCount < MODELEX_MAX_SETS) f->animation[f->animationCount++] = found;
        });
    }
}

// One curve of count keys; the value of key i from get(i).
template <typename Get> VornHandle Curve(uint32_t count, const uint32_t* times, size_t stride, Get get)
{
    const VornHandle curve = VornAnimation::Create(count);
    if (curve == VORN_INVALID_HANDLE) return curve;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t time = *reinterpret_cast<const uint32_t*>(reinterpret_cast<const char*>(times) + i * stride);
        VornAnimation::SetKey(curve, i, static_cast<float>(time), get(i));
    }
    return curve;
}

void BuildAnimationCurves(VornModelExRecord& r)
{
    for (VornModelExAnimationSet* set = r.sets; set; set = set->next) {
        VornLog::Print("　%s", set->name);
        VornLog::LineBreak();
        uint32_t length = 0;
        for (VornModelExAnimation* a = set->first; a; a = a->next) {
            if (a->positionCount) {
                const VornModelExVectorKey* k = a->positionKeys;
                a->positionCurve[0] = Curve(a->positionCount, &k->time, sizeof *k, [k](uint32_t i) { return k[i].x; });
                a->positionCurve[1] = Curve(a->positionCount, &k->time, sizeof *k, [k](uint32_t i) { return k[i].y; });
                a->positionCurve[2] = Curve(a->positionCount, &k->time, sizeof *k, [k](uint32_t i) { return k[i].z; });
                for (uint32_t i = 0; i < a->positionCount; ++i) length = length > k[i].time ? length : k[i].time;
            }
            if (a->scaleCount) {
                const VornModelExVectorKey* k = a->scaleKeys;
                a->scaleCurve[0] = Curve(a->scaleCount, &k->time, sizeof *k, [k](uint32_t i) { return k[i].x; });
                a->scaleCurve[1] = Curve(a->scaleCount, &k->time, sizeof *k, [k](uint32_t i) { return k[i].y; });
                a->scaleCurve[2] = Curve(a->scaleCount, &k->time, sizeof *k, [k](uint32_t i) { return k[i].z; });
                for (uint32_t i = 0; i < a->scaleCount; ++i) length = length > k[i].time ? length : k[i].time;
            }
            if (a->rotationCount) {
                const VornModelExRotationKey* k = a->rotationKeys;
                auto index = [](uint32_t i) { return static_cast<float>(i); };
                a->rotationStep = Curve(a->rotationCount, &k->time, sizeof *k, index);
                a->rotationLinear = Curve(a->rotationCount, &k->time, sizeof *k, index);
                for (uint32_t i = 0; i < a->rotationCount; ++i) length = length > k[i].time ? length : k[i].time;
            }
            if (a->matrixCount) {
                const VornModelExMatrixKey* k = a->matrixKeys;
                a->matrixStep = Curve(a->matrixCount, &k->time, sizeof *k, [](uint32_t i) { return static_cast<float>(i); });
                for (uint32_t i = 0; i < a->matrixCount; ++i) length = length > k[i].time ? length : k[i].time;
                set->hasMatrixKeys = 1;
            }
        }
        set->length = length;
    }
}

const D3DXMATRIX* FindFrameMatrix(VornModelExFrame* root, const char* name)
{
    const D3DXMATRIX* found = nullptr;
    ForEachFrame(root, [&](VornModelExFrame* f) {
        if (!found && name && strcmp(f->name, name) == 0) found = f->combined.Get();
    });
    return found;
}

bool LinkBones(VornModelExRecord& r)
{
    static D3DXMATRIX identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    for (uint32_t m = 0; m < r.meshCount; ++m) {
        VornModelExMesh* mesh = r.meshList[m];
        if (!mesh->skinInfo || mesh->boneCount == 0) continue;
        mesh->boneMatrices = static_cast<const D3DXMATRIX**>(VORN_ALLOC_ZERO(mesh->boneCount * sizeof(void*)));
        if (!mesh->boneMatrices) {
            Red("メモリの確保に失敗");
            return false;
        }
        for (uint32_t b = 0; b < mesh->boneCount; ++b) {
            const char* name = mesh->skinInfo->GetBoneName(b);
            mesh->boneMatrices[b] = FindFrameMatrix(r.root, name);
            if (!mesh->boneMatrices[b]) {
                // No frame of that name: the bone stays at the identity.
                VornLog::StrongRed("Bone [%s] : Frame Not Found", name ? name : "");
                VornLog::LineBreak();
                mesh->boneMatrices[b] = &identity;
            }
        }
    }
    return true;
}

bool BuildLists(VornModelExRecord& r)
{
    std::vector<VornModelExFrame*> frames;
    CollectFrames(r.root, &frames);
    std::vector<VornModelExMesh*> meshes;
    for (VornModelExFrame* f : frames)
        for (VornModelExMesh* m = f->meshes; m; m = m->next) meshes.push_back(m);
    r.frameCount = static_cast<uint32_t>(frames.size());
    r.meshCount = static_cast<uint32_t>(meshes.size());
    r.frameList = static_cast<VornModelExFrame**>(VORN_ALLOC_ZERO(static_cast<uint32_t>((frames.size() + 1) * sizeof(void*))));
    r.meshList = static_cast<VornModelExMesh**>(VORN_ALLOC_ZERO(static_cast<uint32_t>((meshes.size() + 1) * sizeof(void*))));
    if (!r.frameList || !r.meshList) {
        r.frameCount = r.meshCount = 0;
        Red("メモリの確保に失敗");
        return false;
    }
    memcpy(r.frameList, frames.data(), frames.size() * sizeof(void*));
    if (!meshes.empty()) memcpy(r.meshList, meshes.data(), meshes.size() * sizeof(void*));
    return true;
}

}  // namespace

VornModelExHandle VornModelEx::LoadXFile(const void* data, uint32_t size)
{
    const VornModelExHandle handle = Table().AllocRecord();
    if (handle == VORN_INVALID_HANDLE) {
        Red("空きモデルが見つかりませんでした");
        return VORN_INVALID_HANDLE;
    }
    VornModelExRecord& r = Table()[handle];
    ResetRecord(r);
    r.inUse = 1;
    r.refCount = 1;
    VornLog::Print("[ No.%u ] : ", handle);

    ID3DXFile* file = nullptr;
    ID3DXFileEnumObject* objects = nullptr;
    bool ok = false;
    HRESULT hr = D3DXFileCreate(&file);
    if (FAILED(hr) || !file) {
        Red("Xファイルインスタンスの作成に失敗");
    } else if (FAILED(hr = file->RegisterTemplates(kVornXStandardTemplates, strlen(kVornXStandardTemplates)))) {
        RedError("D3DRMテンプレートの登録に失敗", hr);
    } else if (FAILED(hr = file->RegisterTemplates(kVornXSkinTemplates, strlen(kVornXSkinTemplates)))) {
        RedError("D3D8テンプレートの登録に失敗", hr);
    } else {
        D3DXF_FILELOADMEMORY memory = {data, size};
        hr = file->CreateEnumObject(&memory, D3DXF_FILELOAD_FROMMEMORY, &objects);
        if (FAILED(hr) || !objects) {
            RedError("列挙オブジェクトの作成に失敗 / ファイルがないか無効な可能性があります", hr);
        } else if (LoadHierarchy(r, objects)) {
            if (!r.root) Red("フレームもメッシュもありません");
            else ok = BuildLists(r);
        }
    }
    if (ok) {
        LinkAnimations(r);
        for (uint32_t m = 0; m < r.meshCount; ++m) {
            const VornModelExMesh* mesh = r.meshList[m];
            r.boxMin.x = mesh->boxMin.x < r.boxMin.x ? mesh->boxMin.x : r.boxMin.x;
            r.boxMin.y = mesh->boxMin.y < r.boxMin.y ? mesh->boxMin.y : r.boxMin.y;
            r.boxMin.z = mesh->boxMin.z < r.boxMin.z ? mesh->boxMin.z : r.boxMin.z;
            r.boxMax.x = mesh->boxMax.x > r.boxMax.x ? mesh->boxMax.x : r.boxMax.x;
            r.boxMax.y = mesh->boxMax.y > r.boxMax.y ? mesh->boxMax.y : r.boxMax.y;
            r.boxMax.z = mesh->boxMax.z > r.boxMax.z ? mesh->boxMax.z : r.boxMax.z;
        }
        VornLog::Print("ANIMATION {");
        VornLog::LineBreak();
        BuildAnimationCurves(r);
        ok = LinkBones(r);
    }
    if (ok) {
        VornLog::Print("} MESH [ %u ] : FRAME [ %u ] : ", r.meshCount, r.frameCount);
        VornLog::StrongGreen("Success");
        VornLog::LineBreak();
        UpdateDrawList(handle, false);
    }
    if (objects) objects->Release();
    if (file) file->Release();
    if (ok) return handle;
    DestroyModel(r);
    Table().ClearRecord(handle);
    return VORN_INVALID_HANDLE;
}
