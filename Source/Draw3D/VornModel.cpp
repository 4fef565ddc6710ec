#include "VornModel.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornCamera.h"
#include "VornCpuSkin.h"
#include "VornFile.h"
#include "VornFrameSphere.h"
#include "VornLog.h"
#include "VornMath.h"
#include "VornMemory.h"
#include "VornTexture.h"
#include "VornXAnimator.h"
#include "VornXMeshBuilder.h"
#include <windows.h>
#include <cstring>
#include <vector>

namespace {

const D3DXMATRIX kIdentity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);

void Red(const char* text)
{
    VornLog::StrongRed("%s", text);
    VornLog::LineBreak();
}

void RedError(const char* text, HRESULT hr)
{
    VornLog::StrongRed("%s [ %s ]", text, Vorn3D::GetErrorText(hr));
    VornLog::LineBreak();
}

// Every frame: a frame, then its sibling subtree, then its child subtree.
template <typename F> void ForEachFrame(D3DXFRAME* root, F fn)
{
    std::vector<D3DXFRAME*> stack;
    if (root) stack.push_back(root);
    while (!stack.empty()) {
        D3DXFRAME* f = stack.back();
        stack.pop_back();
        fn(static_cast<VornModelFrame*>(f));
        if (f->pFrameFirstChild) stack.push_back(f->pFrameFirstChild);
        if (f->pFrameSibling) stack.push_back(f->pFrameSibling);
    }
}

template <typename F> void ForEachContainer(D3DXFRAME* root, F fn)
{
    ForEachFrame(root, [&](VornModelFrame* f) {
        for (D3DXMESHCONTAINER* c = f->pMeshContainer; c; c = c->pNextMeshContainer)
            fn(f, static_cast<VornModelContainer*>(c));
    });
}

void DestroyRecord(VornModelRecord& r)
{
    VORN_FREE(r.containers);
    if (r.root) {
        VornModelSub sub;
        D3DXFrameDestroy(r.root, &sub);
    }
    delete r.animation;
}

VornHandleTable<VornModelRecord> g_table(DestroyRecord, "Model Destroy [ No.%u ]");

VornModelRecord* Live(VornModelHandle model) { return g_table.GetLive(model); }

// Combined matrices from the root with parent as the root's parent; each container takes its
// frame's matrix (a skinned one the parent's) and the culling box under it.
void PlaceFrames(VornModelRecord& r, const D3DXMATRIX& parent)
{
    struct Item { VornModelFrame* frame; const D3DXMATRIX* parent; };
    std::vector<Item> stack;
    if (r.root) stack.push_back({r.root, &parent});
    VornMatrix box;
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        VornModelFrame* f = item.frame;
        D3DXMatrixMultiply(&f->combined, &f->TransformationMatrix, item.parent);
        for (D3DXMESHCONTAINER* m = f->pMeshContainer; m; m = m->pNextMeshContainer) {
            VornModelContainer* c = static_cast<VornModelContainer*>(m);
            c->matrix = c->pSkinInfo ? parent : f->combined;
            box.Set(&c->matrix);
            VornMath::TransformBox(&c->cullingBox, c->boxMin, c->boxMax, box);
        }
        if (f->pFrameFirstChild) stack.push_back({static_cast<VornModelFrame*>(f->pFrameFirstChild), &f->combined});
        if (f->pFrameSibling) stack.push_back({static_cast<VornModelFrame*>(f->pFrameSibling), item.parent});
    }
}

VornModelFrame* FindFrame(D3DXFRAME* root, const char* name)
{
    VornModelFrame* found = nullptr;
    ForEachFrame(root, [&](VornModelFrame* f) {
        if (!found && name && f->Name && strcmp(f->Name, name) == 0) found = f;
    });
    return found;
}

bool LinkBones(VornModelRecord& r)
{
    bool ok = true;
    ForEachContainer(r.root, [&](VornModelFrame*, VornModelContainer* c) {
        for (uint32_t i = 0; ok && c->pSkinInfo && i < c->boneCount; ++i) {
            VornModelFrame* f = FindFrame(r.root, c->pSkinInfo->GetBoneName(i));
            if (f) c->boneFrames[i] = &f->combined;
            else ok = false;
        }
    });
    if (!ok) Red("ボーンの接続に失敗");
    return ok;
}

// The sphere of the tree in its bind pose.
void BoundingSphere(VornModelRecord& r)
{
    PlaceFrames(r, kIdentity);
    std::vector<VornFrameSphereItem> items;
    ForEachContainer(r.root, [&](VornModelFrame* f, VornModelContainer* c) {
        items.push_back({c->centre, c->radius, c->pSkinInfo ? nullptr : &f->combined});
    });
    D3DXVECTOR3 centre;
    VornFrameSphere(items.data(), static_cast<uint32_t>(items.size()), &centre, &r.radius);
    r.centre = VornVector3(centre.x, centre.y, centre.z);
}

// The last steps of every create: bones, sphere, transform reset, "Success".
VornModelHandle Finish(VornModelHandle handle)
{
    VornModelRecord& r = g_table[handle];
    if (!LinkBones(r)) {
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    BoundingSphere(r);
    r.posture.Init();
    r.scaleX = r.scaleY = r.scaleZ = 1.0f;
    r.matrix.Align();
    r.matrix.Identity();
    VornModel::TransformUpdate(handle, 0.0f);
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return handle;
}

VornModelHandle NewRecord()
{
    const VornModelHandle handle = g_table.AllocRecord();
    if (handle == VORN_INVALID_HANDLE) Red("空きモデルが見つかりませんでした。");
    else VornLog::Print("[ No.%u ] : ", handle);
    return handle;
}

// What a load works from: the parsed file, the allocator, and the reader's cause of a refusal.
struct Build {
    VornModelSub& sub;
    const VornXDocument& doc;
    std::string cause;
};

HRESULT BuildFrame(Build& b, const VornXObject& o, D3DXFRAME** out, uint32_t depth);

// One mesh as a container: the platform's mesh from our reader, its materials, adjacency and,
// when it has bones, its skin. A mesh without faces is no container (out stays null).
HRESULT BuildContainer(Build& b, const VornXObject& o, D3DXMESHCONTAINER** out)
{
    *out = nullptr;
    VornXMeshData data;
    if (!VornXMesh::Read(b.doc, o, &data, &b.cause)) return E_FAIL;
    if (data.TriangleCount() == 0) {
        VornLog::StrongRed("Mesh [ %s ] : 面がありません", data.name.c_str());
        VornLog::LineBreak();
        return S_OK;
    }
    ID3DXMesh* mesh = nullptr;
    ID3DXBuffer* adjacency = nullptr;
    ID3DXSkinInfo* skin = nullptr;
    HRESULT hr = VornXMeshBuilder::Create(data, D3DXMESH_MANAGED, Vorn3D::GetDevice(), &mesh, &adjacency, &skin);
    if (FAILED(hr)) {
        b.cause = "Mesh " + data.name + " : " + Vorn3D::GetErrorText(hr);
        return hr;
    }
    std::vector<D3DXMATERIAL> materials;
    VornXMeshBuilder::Materials(data, &materials);
    D3DXMESHDATA meshData = {};
    meshData.Type = D3DXMESHTYPE_MESH;
    meshData.pMesh = mesh;
    hr = b.sub.CreateMeshContainer(o.name.empty() ? nullptr : o.name.c_str(), &meshData, materials.empty() ? nullptr : materials.data(),
                                 nullptr, static_cast<DWORD>(materials.size()),
                                 static_cast<const DWORD*>(adjacency->GetBufferPointer()), skin, out);
    mesh->Release();
    adjacency->Release();
    if (skin) skin->Release();
    return hr;
}

// Frames and containers of one object's children (a frame's with references followed), appended
// to frame's chains in file order. Top-level meshes that frames place by reference are not drawn
// at the top.
HRESULT BuildChildren(Build& b, int32_t first, bool inFrame, D3DXFRAME* frame, uint32_t depth)
{
    D3DXFRAME** child = &frame->pFrameFirstChild;
    D3DXMESHCONTAINER** container = &frame->pMeshContainer;
    for (int32_t i = first; i >= 0; i = b.doc.objects[i].next) {
        const VornXObject* o = inFrame ? b.doc.Part(i) : &b.doc.objects[i];
        if (!o || (!inFrame && b.doc.DefinedOnly(*o))) continue;
        HRESULT hr = S_OK;
        if (o->type == XTYPE_FRAME_TRANSFORM_MATRIX && o->count == 16 && inFrame) {
            VornXMesh::ReadMatrix(b.doc, *o, &frame->TransformationMatrix._11);
        } else if (o->type == XTYPE_FRAME) {
            while (*child) child = &(*child)->pFrameSibling;
            hr = BuildFrame(b, *o, child, depth + 1);
        } else if (o->type == XTYPE_MESH) {
            while (*container) container = &(*container)->pNextMeshContainer;
            hr = BuildContainer(b, *o, container);
        }
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT BuildFrame(Build& b, const VornXObject& o, D3DXFRAME** out, uint32_t depth)
{
    HRESULT hr = b.sub.CreateFrame(o.name.empty() ? nullptr : o.name.c_str(), out);
    return FAILED(hr) ? hr : BuildChildren(b, o.child, true, *out, depth);
}

// The frame tree as the hierarchy loader makes it: the one top-level frame is the root; with
// several, or with meshes outside every frame, an unnamed root holds them.
HRESULT BuildHierarchy(Build& b, D3DXFRAME** root)
{
    *root = nullptr;
    uint32_t frames = 0, meshes = 0;
    int32_t only = -1;
    for (int32_t i = b.doc.first; i >= 0; i = b.doc.objects[i].next) {
        const VornXObject& o = b.doc.objects[i];
        if (o.type == XTYPE_FRAME) {
            ++frames;
            only = i;
        }
        meshes += o.type == XTYPE_MESH && !b.doc.DefinedOnly(o);
    }
    if (frames + meshes == 0) {
        b.cause = "the file has neither a frame nor a mesh";
        return E_FAIL;
    }
    if (frames == 1 && meshes == 0) return BuildFrame(b, b.doc.objects[only], root, 0);
    const HRESULT hr = b.sub.CreateFrame(nullptr, root);
    return FAILED(hr) ? hr : BuildChildren(b, b.doc.first, false, *root, 0);
}

VornModelHandle Load(const void* data, uint32_t size)
{
    const VornModelHandle handle = NewRecord();
    if (handle == VORN_INVALID_HANDLE) return handle;
    VornLog::Print("START LOAD X FILE {");
    VornLog::LineBreak();
    VornModelRecord& r = g_table[handle];
    VornModelSub sub;
    D3DXFRAME* root = nullptr;
    VornXDocument doc;
    Build build = {sub, doc, std::string()};
    HRESULT hr = doc.Parse(data, size) ? BuildHierarchy(build, &root) : E_FAIL;
    r.root = static_cast<VornModelFrame*>(root);
    if (SUCCEEDED(hr) && !root) hr = E_FAIL;
    if (FAILED(hr)) {
        // The reader's own cause where it has one, else the platform's.
        const std::string& cause = !doc.Error().empty() ? doc.Error() : build.cause;
        VornLog::StrongRed("ファイルの読み込みに失敗 [ %s ]", cause.empty() ? Vorn3D::GetErrorText(hr) : cause.c_str());
        VornLog::LineBreak();
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("} MESH [ %u ] : FRAME [ %u ] : ", sub.GetMeshContainerCount(), sub.GetFrameCount());
    r.containers = static_cast<VornModelContainer**>(
        VORN_ALLOC_ZERO(static_cast<uint32_t>((sub.GetMeshContainerCount() + 1) * sizeof(void*))));
    if (!r.containers) {
        Red("モデル用メモリの確保に失敗");
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    ForEachContainer(r.root, [&](VornModelFrame*, VornModelContainer* c) {
        if (r.containerCount < sub.GetMeshContainerCount()) r.containers[r.containerCount++] = c;
    });
    if ((r.animation = VornXAnimator::Create(doc)) != nullptr)
        ForEachFrame(r.root, [&](VornModelFrame* f) { r.animation->RegisterOutput(f->Name, &f->TransformationMatrix); });
    return Finish(handle);
}

// A built-in shape: one frame holding one container of one material, the mesh from make, then
// scaled by scale and centred on its vertex mean.
template <typename Make>
VornModelHandle Shape(const char* title, const char* name, const char* failure, float scale, float r, float g, float b,
                      float a, Make make)
{
    VornLog::StrongBlue("%s", title);
    VornLog::Print(" : [ %s ] : ", name);
    const VornModelHandle handle = NewRecord();
    if (handle == VORN_INVALID_HANDLE) return handle;
    VornModelRecord& rec = g_table[handle];
    VornModelSub sub;
    D3DXFRAME* frame = nullptr;
    VornModelContainer* c = nullptr;
    bool ok = SUCCEEDED(sub.CreateFrame(name, &frame)) && (c = VornModelSub::NewContainer(name)) != nullptr;
    rec.root = static_cast<VornModelFrame*>(frame);
    if (ok) {
        frame->pMeshContainer = c;
        c->NumMaterials = 1;
        c->pMaterials = static_cast<D3DXMATERIAL*>(VORN_ALLOC_ZERO(sizeof(D3DXMATERIAL)));
        c->textures = static_cast<VornHandle*>(VORN_ALLOC_ZERO(sizeof(VornHandle)));
        ok = c->pMaterials && c->textures;
    }
    if (!ok) {
        if (c && !frame) sub.DestroyMeshContainer(c);
        Red("MEMORY INSUFFICIENT");
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    c->textures[0] = VORN_INVALID_HANDLE;
    D3DMATERIAL9& m = c->pMaterials[0].MatD3D;
    m.Diffuse = {r, g, b, a};
    m.Ambient = {0.3f * r, 0.3f * g, 0.3f * b, 1.0f};
    m.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    m.Power = 30.0f;

    ID3DXMesh* made = nullptr;
    const HRESULT hr = make(Vorn3D::GetDevice(), &made);
    if (FAILED(hr)) {
        RedError(failure, hr);
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    ok = made && scale != 0.0f && SUCCEEDED(VornModelSub::WithNormals(made, &c->MeshData.pMesh));
    if (made) made->Release();
    if (ok) {
        ID3DXMesh* mesh = c->MeshData.pMesh;
        c->vertexCount = mesh->GetNumVertices();
        c->faceCount = mesh->GetNumFaces();
        VornLog::Print("POLYGON [ %u ] : VERTEX [ %u ] : ", c->faceCount, c->vertexCount);
        unsigned char* v = nullptr;
        ok = SUCCEEDED(mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v)));
        if (ok) {
            const DWORD stride = mesh->GetNumBytesPerVertex();
            D3DXVECTOR3 mean(0, 0, 0);
            for (uint32_t i = 0; i < c->vertexCount; ++i) {
                D3DXVECTOR3* p = reinterpret_cast<D3DXVECTOR3*>(v + i * stride);
                *p *= scale;
                mean += *p;
            }
            if (c->vertexCount) mean /= static_cast<float>(c->vertexCount);
            for (uint32_t i = 0; i < c->vertexCount; ++i) *reinterpret_cast<D3DXVECTOR3*>(v + i * stride) -= mean;
            mesh->UnlockVertexBuffer();
            ok = SUCCEEDED(VornModelSub::ComputeBounds(c));
        }
    }
    if (!ok) {
        Red("メッシュのコンバートに失敗");
        g_table.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    return Finish(handle);
}

D3DXVECTOR3 Moved(const VornModelRecord& r)
{
    D3DXVECTOR4 out;
    D3DXVec3Transform(&out, &r.centre, r.matrix.Get());
    return D3DXVECTOR3(out.x, out.y, out.z);
}

// The containers SetTexture and SetAlpha act on: one of the array, else every one in the tree.
template <typename F> void ForChosen(VornModelRecord& r, int32_t container, int32_t material, F fn)
{
    auto materials = [&](VornModelContainer* c) {
        if (material >= 0 && static_cast<DWORD>(material) < c->NumMaterials) fn(c, static_cast<DWORD>(material));
        else
            for (DWORD i = 0; i < c->NumMaterials; ++i) fn(c, i);
    };
    if (container >= 0 && static_cast<uint32_t>(container) < r.containerCount) materials(r.containers[container]);
    else ForEachContainer(r.root, [&](VornModelFrame*, VornModelContainer* c) { materials(c); });
}

}  // namespace

VornHandleTable<VornModelRecord>& VornModel::Table() { return g_table; }

bool VornModel::Initialize()
{
    if (!g_table.InitializeLogged("VornModelクラスの初期化", "モデル", __FILE__, __LINE__)) return false;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_MODEL, OnDeviceLost, OnDeviceRestore);
    return true;
}

void VornModel::Finalize()
{
    VornLog::Title("VornModelクラスの解放");
    if (!g_table.IsInitialized()) return;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_MODEL, nullptr, nullptr);
    g_table.Finalize();
}

// Every mesh is managed: nothing to let go of or to make again.
void VornModel::OnDeviceLost() {}
void VornModel::OnDeviceRestore() {}

VornModelHandle VornModel::CreateFromFile(const char* name)
{
    Vorn::ResetCurrentDirectory();
    VornLog::StrongBlue("VornModel::CreateFromFile");
    VornLog::Print(" : [ %s ] : ", name ? name : "");
    void* data = nullptr;
    uint32_t size = 0;
    if (!name || !VornFile::Load(FILE_KIND_MODEL, name, &data, &size)) {
        Red("ファイルの読み込みに失敗しました");
        return VORN_INVALID_HANDLE;
    }
    const VornModelHandle handle = Load(data, size);
    VORN_FREE(data);
    return handle;
}

VornModelHandle VornModel::CreateFromMemory(const void* data, uint32_t size)
{
    VornLog::StrongBlue("VornModel::CreateFromMemory");
    VornLog::Print(" : ");
    return Load(data, size);
}

VornModelHandle VornModel::CreateCube(float width, float height, float depth, float r, float g, float b, float a)
{
    return Shape("VornModel::CreateCube", "CUBE", "ボックスの生成に失敗", 1.0f, r, g, b, a,
                 [&](IDirect3DDevice9* d, ID3DXMesh** m) { return D3DXCreateBox(d, width, height, depth, m, nullptr); });
}

VornModelHandle VornModel::CreateSphere(float radius, uint32_t slices, uint32_t stacks, float r, float g, float b, float a)
{
    return Shape("VornModel::CreateSphere", "SPHERE", "スフィアの生成に失敗", 1.0f, r, g, b, a,
                 [&](IDirect3DDevice9* d, ID3DXMesh** m) { return D3DXCreateSphere(d, radius, slices, stacks, m, nullptr); });
}

VornModelHandle VornModel::CreateFromPack(float length, uint32_t sides, float r, float g, float b, float a)
{
    return Shape("VornModel::CreateFromPack", "POLYGON", "ポリゴンの生成に失敗", 1.0f, r, g, b, a,
                 [&](IDirect3DDevice9* d, ID3DXMesh** m) { return D3DXCreatePolygon(d, length, sides, m, nullptr); });
}

VornModelHandle VornModel::CreateText(const char* face, const char* text, float deviation, float depth, float scale,
                                      float r, float g, float b, float a)
{
    return Shape("VornModel::CreateText", "TEXT", "スフィアの生成に失敗", scale, r, g, b, a,
                 [&](IDirect3DDevice9* d, ID3DXMesh** m) -> HRESULT {
                     if (scale == 0.0f) return S_OK;   // no mesh: the conversion fails
                     char cut[260] = {};
                     strncpy(cut, text ? text : "", sizeof cut - 1);
                     WCHAR wide[260] = {};
                     MultiByteToWideChar(CP_ACP, 0, cut, -1, wide, 260);
                     wide[259] = 0;
                     const HWND window = Vorn::GetWindowHandle();
                     HDC dc = GetDC(window);
                     HFONT font = CreateFontA(12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                                              OUT_TT_ONLY_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                                              FIXED_PITCH | FF_MODERN, face ? face : "");
                     HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
                     const HRESULT hr = D3DXCreateTextW(d, dc, wide, deviation, depth / scale, m, nullptr, nullptr);
                     if (old) SelectObject(dc, old);
                     if (font) DeleteObject(font);
                     ReleaseDC(window, dc);
                     return hr;
                 });
}

bool VornModel::GetPosture(VornModelHandle model, VornPosture* out)
{
    const VornModelRecord* r = Live(model);
    if (!r || !out) return false;
    out->Copy(r->posture);
    return true;
}

bool VornModel::SetPosture(VornModelHandle model, const VornPosture* posture)
{
    VornModelRecord* r = Live(model);
    if (!r || !posture) return false;
    r->posture.Copy(*posture);
    return true;
}

void VornModel::SetScale(VornModelHandle model, float x, float y, float z)
{
    if (VornModelRecord* r = Live(model)) r->scaleX = x, r->scaleY = y, r->scaleZ = z;
}

void VornModel::LocalRotationX(VornModelHandle model, VornAngle a) { if (VornModelRecord* r = Live(model)) r->posture.LocalRotationX(a); }
void VornModel::LocalRotationY(VornModelHandle model, VornAngle a) { if (VornModelRecord* r = Live(model)) r->posture.LocalRotationY(a); }
void VornModel::LocalRotationZ(VornModelHandle model, VornAngle a) { if (VornModelRecord* r = Live(model)) r->posture.LocalRotationZ(a); }
void VornModel::RotationX(VornModelHandle model, VornAngle a) { if (VornModelRecord* r = Live(model)) r->posture.RotationX(a); }
void VornModel::RotationY(VornModelHandle model, VornAngle a) { if (VornModelRecord* r = Live(model)) r->posture.RotationY(a); }
void VornModel::RotationZ(VornModelHandle model, VornAngle a) { if (VornModelRecord* r = Live(model)) r->posture.RotationZ(a); }

void VornModel::RotationQuaternion(VornModelHandle model, const D3DXQUATERNION& q)
{
    if (VornModelRecord* r = Live(model)) r->posture.RotationQuaternion(q);
}

void VornModel::SetPosition(VornModelHandle model, float x, float y, float z)
{
    if (VornModelRecord* r = Live(model)) r->posture.SetPosition(x, y, z);
}

void VornModel::LookAt(VornModelHandle model, const D3DXVECTOR3& eye, const D3DXVECTOR3& target, const D3DXVECTOR3* up)
{
    if (VornModelRecord* r = Live(model)) r->posture.LookAt(eye, target, up);
}

void VornModel::TransformUpdate(VornModelHandle model, float time)
{
    VornModelRecord* r = Live(model);
    if (!r) return;
    r->posture.UpdateMatrices();
    D3DXMATRIX scaling;
    D3DXMatrixScaling(&scaling, r->scaleX, r->scaleY, r->scaleZ);
    D3DXMatrixMultiply(r->matrix.Get(), &scaling, r->posture.world.Get());
    if (r->animation) {
        // The pose of the absolute time, not an increment.
        for (uint32_t t = 0; t < r->animation->TrackCount(); ++t) r->animation->SetTrackPosition(t, 0.0);
        r->animation->AdvanceTime(time);
    }
    PlaceFrames(*r, *r->matrix.Get());
}

void VornModel::Rendering(VornModelHandle model)
{
    VornModelRecord* r = Live(model);
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    if (!r || !device) return;
    ForEachContainer(r->root, [&](VornModelFrame*, VornModelContainer* c) {
        if (!VornCamera::IsVisible(c->cullingBox)) return;
        ID3DXMesh* mesh = c->MeshData.pMesh;
        Vorn3D::SelectVertexProcessing(0, 0);
        if (!c->pSkinInfo) {
            device->SetTransform(D3DTS_WORLD, &c->matrix);
            for (DWORD i = 0; i < c->NumMaterials; ++i) {
                device->SetMaterial(&c->pMaterials[i].MatD3D);
                Vorn3D::SetTexture(0, c->textures[i]);
                mesh->DrawSubset(i);
            }
        } else {
            device->SetTransform(D3DTS_WORLD, &kIdentity);
            for (uint32_t i = 0; i < c->boneCount; ++i)
                D3DXMatrixMultiply(&c->boneMatrices[i], &c->boneOffsets[i], c->boneFrames[i]);
            void* source = nullptr;
            void* target = nullptr;
            if (SUCCEEDED(c->sourceMesh->LockVertexBuffer(D3DLOCK_READONLY, &source))) {
                if (SUCCEEDED(mesh->LockVertexBuffer(0, &target))) {
                    c->skin->Update(c->boneMatrices, source, target);
                    mesh->UnlockVertexBuffer();
                }
                c->sourceMesh->UnlockVertexBuffer();
            }
            for (uint32_t k = 0; k < c->attributeCount; ++k) {
                const DWORD id = c->attributes[k].AttribId;
                if (id >= c->NumMaterials) continue;
                device->SetMaterial(&c->pMaterials[id].MatD3D);
                Vorn3D::SetTexture(0, c->textures[id]);
                mesh->DrawSubset(id);
            }
        }
        Vorn::AddPolygonCount3D(c->faceCount);
    });
}

bool VornModel::SetTrackEnable(VornModelHandle model, uint32_t track, bool enable)
{
    const VornModelRecord* r = Live(model);
    return r && r->animation && r->animation->SetTrackEnable(track, enable);
}

bool VornModel::SetTrackSpeed(VornModelHandle model, uint32_t track, float speed)
{
    const VornModelRecord* r = Live(model);
    return r && r->animation && r->animation->SetTrackSpeed(track, speed);
}

bool VornModel::SetTrackWeight(VornModelHandle model, uint32_t track, float weight)
{
    const VornModelRecord* r = Live(model);
    return r && r->animation && r->animation->SetTrackWeight(track, weight);
}

void VornModel::GetBoundingSphere(VornModelHandle model, VornVector3* centre, float* radius)
{
    const VornModelRecord* r = Live(model);
    if (centre) *centre = r ? r->centre : VornVector3(0.0f, 0.0f, 0.0f);
    if (radius) *radius = r ? r->radius : 0.0f;
}

bool VornModel::HitCheckRay(VornModelHandle model, const VornVector3& position, const VornVector3& direction)
{
    const VornModelRecord* r = Live(model);
    if (!r || !(direction.LengthSq() > 0.0f)) return false;   // no direction: no ray
    const D3DXVECTOR3 centre = Moved(*r);
    return D3DXSphereBoundProbe(&centre, r->radius, &position, &direction) == TRUE;
}

bool VornModel::HitCheckSphere(VornModelHandle a, VornModelHandle b)
{
    const VornModelRecord* ra = Live(a);
    const VornModelRecord* rb = Live(b);
    if (!ra || !rb) return false;
    const D3DXVECTOR3 d = Moved(*ra) - Moved(*rb);
    const float reach = ra->radius + rb->radius;
    return reach * reach > D3DXVec3LengthSq(&d);
}

void VornModel::SetTexture(VornModelHandle model, uint32_t, VornHandle texture, int32_t container, int32_t material)
{
    VornModelRecord* r = Live(model);
    if (!r) return;
    ForChosen(*r, container, material, [texture](VornModelContainer* c, DWORD i) {
        // The new reference first: setting the same texture again must not destroy it.
        VornTexture::AddRef(texture);
        VornTexture::Release(c->textures[i]);
        c->textures[i] = texture;
    });
}

void VornModel::SetAlpha(VornModelHandle model, uint32_t alpha, int32_t container, int32_t material)
{
    VornModelRecord* r = Live(model);
    if (!r) return;
    ForChosen(*r, container, material,
              [alpha](VornModelContainer* c, DWORD i) { c->pMaterials[i].MatD3D.Diffuse.a = alpha / 255.0f; });
}
