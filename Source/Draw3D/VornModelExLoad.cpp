// VornModelEx: the X-file walk into the model's own frame, mesh and animation records.
#include "VornModelEx.h"
#include "Vorn3D.h"
#include "VornAnimation.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornModelExWalk.h"
#include "VornTexture.h"
#include "VornXKeyReader.h"
#include "VornXMeshBuilder.h"
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

// A name cut to 255 characters; an unnamed object keeps an empty name.
void ReadName(const std::string& name, char* out)
{
    strncpy(out, name.c_str(), VORN_RECORD_NAME_SIZE - 1);
    out[VORN_RECORD_NAME_SIZE - 1] = '\0';
}

void AppendMesh(VornModelExFrame* frame, VornModelExMesh* mesh)
{
    VornModelExMesh** at = &frame->meshes;
    while (*at) at = &(*at)->next;
    *at = mesh;
}

bool LoadMaterials(VornModelExMesh* mesh, const VornXMeshData& data)
{
    std::vector<D3DXMATERIAL> in;
    VornXMeshBuilder::Materials(data, &in);
    if (in.empty()) {
        // No material list: one grey material, as the static models give such a mesh.
        in.push_back(D3DXMATERIAL());
        D3DMATERIAL9& grey = in[0].MatD3D;
        grey.Diffuse.r = grey.Diffuse.g = grey.Diffuse.b = 0.5f;
        grey.Specular = grey.Diffuse;
    }
    const uint32_t count = static_cast<uint32_t>(in.size());
    mesh->materials = static_cast<VornMaterial*>(VORN_ALLOC_ZERO(count * static_cast<uint32_t>(sizeof(VornMaterial))));
    if (!mesh->materials) return false;
    mesh->materialCount = count;
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

bool LoadMesh(const VornXDocument& doc, const VornXObject& o, VornModelExMesh* mesh)
{
    ReadName(o.name, mesh->name);
    VornXMeshData data;
    std::string cause;
    if (!VornXMesh::Read(doc, o, &data, &cause)) {
        VornLog::StrongRed("Ｘファイルのロードに失敗 [%s]", cause.c_str());
        VornLog::LineBreak();
        return true;   // the container stays without a mesh
    }
    if (data.TriangleCount() == 0) {
        VornLog::StrongRed("Mesh [ %s ] : 面がありません", mesh->name);
        VornLog::LineBreak();
        return true;
    }
    const HRESULT hr = VornXMeshBuilder::Create(data, D3DXMESH_SYSTEMMEM, Vorn3D::GetDevice(), &mesh->mesh,
                                                &mesh->adjacency, &mesh->skinInfo);
    if (FAILED(hr)) {
        RedError("Ｘファイルのロードに失敗", hr);
        return true;
    }
    if (LoadMaterials(mesh, data)) VornModelEx::ConvertMesh(mesh, g_vsVersion);
    return true;
}

bool LoadFrame(const VornXDocument& doc, const VornXObject& o, VornModelExFrame* frame)
{
    ReadName(o.name, frame->name);
    VornModelExFrame** lastChild = &frame->child;
    for (int32_t c = o.child; c >= 0; c = doc.objects[c].next) {
        const VornXObject* part = doc.Part(c);   // a mesh or matrix named by reference stands here
        if (!part) continue;
        const VornXObject& child = *part;
        bool ok = true;
        if (child.type == XTYPE_FRAME_TRANSFORM_MATRIX) {
            if (child.count == 16) {
                D3DXMATRIX m;
                VornXMesh::ReadMatrix(doc, child, &m._11);
                frame->file.Set(&m);
            }
        } else if (child.type == XTYPE_FRAME) {
            VornModelExFrame* sub = NewFrame();
            ok = sub != nullptr;
            if (ok) {
                while (*lastChild) lastChild = &(*lastChild)->sibling;
                *lastChild = sub;
                ok = LoadFrame(doc, child, sub);
            }
        } else if (child.type == XTYPE_MESH) {
            VornModelExMesh* mesh = NewMesh();
            ok = mesh != nullptr;
            if (ok) {
                AppendMesh(frame, mesh);
                ok = LoadMesh(doc, child, mesh);
            }
        }
        if (!ok) return false;
    }
    return true;
}

template <typename Key> Key* AllocKeys(uint32_t count)
{
    return static_cast<Key*>(VORN_ALLOC_ZERO(count * static_cast<uint32_t>(sizeof(Key))));
}

// One AnimationKey block: copied when it is sound, skipped with a line otherwise.
bool LoadKeys(const VornXDocument& doc, const VornXObject& o, VornModelExAnimation* a)
{
    VornXKeyBlock block;
    bool ok = true;
    if (VornXKeyReader::Take(o.count ? &doc.cells[o.first] : nullptr, static_cast<size_t>(o.count) * 4, a->name, &block) &&
        block.count > 0) {
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
    return ok;
}

bool LoadAnimation(const VornXDocument& doc, const VornXObject& o, VornModelExAnimation* a)
{
    for (int32_t c = o.child; c >= 0; c = doc.objects[c].next) {
        const VornXObject& child = doc.objects[c];
        if (child.reference) ReadName(doc.NameOf(child), a->name);
        else if (child.type == XTYPE_ANIMATION_KEY && !LoadKeys(doc, child, a)) return false;
    }
    return true;
}

bool LoadAnimationSet(const VornXDocument& doc, const VornXObject& o, VornModelExAnimationSet* set)
{
    ReadName(o.name, set->name);
    VornModelExAnimation** last = &set->first;
    for (int32_t c = o.child; c >= 0; c = doc.objects[c].next) {
        const VornXObject& child = doc.objects[c];
        if (child.reference || child.type != XTYPE_ANIMATION) continue;
        VornModelExAnimation* a = NewZeroed<VornModelExAnimation>();
        if (!a) return false;
        for (uint32_t k = 0; k < 3; ++k) a->scaleCurve[k] = a->positionCurve[k] = VORN_INVALID_HANDLE;
        a->rotationStep = a->rotationLinear = a->matrixStep = VORN_INVALID_HANDLE;
        a->sampledMatrix.Identity();
        *last = a;
        last = &a->next;
        if (!LoadAnimation(doc, child, a)) return false;
    }
    return true;
}

// The root: the one top-level frame; with several, or with meshes outside every frame, a root
// "FRAME_ROOT" holding those meshes and, as its children, the top-level frames in file order.
bool LoadHierarchy(VornModelExRecord& r, const VornXDocument& doc)
{
    uint32_t frames = 0, meshes = 0;
    for (int32_t i = doc.first; i >= 0; i = doc.objects[i].next) {
        frames += doc.objects[i].type == XTYPE_FRAME;
        meshes += doc.objects[i].type == XTYPE_MESH && !doc.DefinedOnly(doc.objects[i]);
    }
    const bool own = frames != 1 || meshes != 0;
    if (own && frames + meshes > 0) {
        if (!(r.root = NewFrame())) return false;
        strcpy(r.root->name, "FRAME_ROOT");
    }
    uint32_t sets = 0;
    VornModelExAnimationSet** lastSet = &r.sets;
    VornModelExFrame** lastChild = r.root ? &r.root->child : &r.root;
    for (int32_t i = doc.first; i >= 0; i = doc.objects[i].next) {
        const VornXObject& o = doc.objects[i];
        bool ok = true;
        if (o.type == XTYPE_FRAME) {
            VornModelExFrame* frame = NewFrame();
            ok = frame != nullptr;
            if (ok) {
                *lastChild = frame;
                lastChild = &frame->sibling;
                ok = LoadFrame(doc, o, frame);
            }
        } else if (o.type == XTYPE_MESH && !doc.DefinedOnly(o)) {
            VornModelExMesh* mesh = NewMesh();
            ok = mesh != nullptr;
            if (ok) {
                AppendMesh(r.root, mesh);
                ok = LoadMesh(doc, o, mesh);
            }
        } else if (o.type == XTYPE_ANIMATION_SET) {
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
                    ok = LoadAnimationSet(doc, o, set);
                }
            }
        }
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

    VornXDocument doc;
    bool ok = false;
    if (!doc.Parse(data, size)) {
        VornLog::StrongRed("列挙オブジェクトの作成に失敗 / ファイルがないか無効な可能性があります [%s]", doc.Error().c_str());
        VornLog::LineBreak();
    } else if (LoadHierarchy(r, doc)) {
        if (!r.root) Red("フレームもメッシュもありません");
        else ok = BuildLists(r);
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
    if (ok) return handle;
    DestroyModel(r);
    Table().ClearRecord(handle);
    return VORN_INVALID_HANDLE;
}
