// VornModelEx: hierarchical X-file models with frames, skinned or rigid meshes and key-frame
// animation sets, loaded anew on every call into a counted table. The X file is parsed by our own
// reader (VornXFormat) and walked into the model's own frame, mesh and animation records; skins are turned into bone
// combinations by our own converter (VornSkinConvert); every mesh draws through a VornShaderFx
// effect. Mesh and frame numbers index the lists built at load time (a frame's own meshes or the
// frame itself, then its sibling subtree, then its child subtree); a number outside the list
// means every mesh for setters and the whole model for getters.
#pragma once
#include "Vorn3DAdapter.h"
#include "VornCollision.h"
#include "VornHandleTable.h"
#include "VornMatrix.h"
#include "VornPosture.h"
#include "VornShaderFx.h"
#include "VornVector3.h"
#include <d3dx9.h>
#include <cstdint>

using VornModelExHandle = VornHandle;
struct ID3DXFileData;

// A D3DMATERIAL9 and the textures of stages 0-3 (-1 none).
struct VornMaterial {
    D3DMATERIAL9 material;
    VornHandle texture[4];
};

// The 76-byte working vertex every layout is written from.
struct VornModelExVertex {
    float px, py, pz;
    float nx, ny, nz;
    float px1, py1, pz1;
    float nx1, ny1, nz1;
    float weight[3];
    uint8_t index[4];
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(VornModelExVertex) == 76, "the working vertex is 76 bytes");

enum VornModelExVertexType : uint32_t {
    MODELEX_VERTEX_RIGID, MODELEX_VERTEX_MORPH,
    MODELEX_VERTEX_SKIN1, MODELEX_VERTEX_SKIN2, MODELEX_VERTEX_SKIN3,
    MODELEX_VERTEX_MORPH_SKIN1, MODELEX_VERTEX_MORPH_SKIN2, MODELEX_VERTEX_MORPH_SKIN3,
    MODELEX_VERTEX_TYPE_COUNT
};

constexpr uint32_t MODELEX_PALETTE_SIZE = 32;
constexpr uint32_t MODELEX_MAX_SETS = 256;
constexpr uint32_t MODELEX_HIT_SLOTS = 256;

struct VornModelExMesh {
    char name[VORN_RECORD_NAME_SIZE];
    IDirect3DVertexDeclaration9* declaration;
    IDirect3DVertexBuffer9* vertexBuffer;
    IDirect3DIndexBuffer9* indexBuffer;
    VornModelExVertex* vertices;
    uint16_t* indices;
    uint32_t stride;
    uint32_t vertexCount;
    uint32_t indexCount;
    uint32_t maxInfluences;
    uint32_t combinationCount;
    uint32_t paletteSize;
    uint32_t vertexType;
    ID3DXSkinInfo* skinInfo;
    ID3DXMesh* mesh;
    ID3DXBuffer* effectInstances;
    ID3DXBuffer* combinations;
    ID3DXBuffer* adjacency;
    const D3DXMATRIX** boneMatrices;   // combined matrices of the bone frames
    VornMatrix* boneOffsets;
    uint32_t boneCount;
    D3DXATTRIBUTERANGE* attributes;
    uint32_t attributeCount;
    VornMaterial* materials;
    uint32_t materialCount;
    uint16_t vsMajor, vsMinor;
    uint8_t skinned;
    uint8_t ready;   // converted: buffers and CPU copies exist (a failed mesh is skipped everywhere)
    VornMatrix combined;
    float radius;
    VornVector3 centre;
    VornVector3 boxMin, boxMax;
    VornBox cullingBox;
    float vertexExtrusion, morphWeight, slideTextureU, slideTextureV;
    D3DXHANDLE parameters[SHADER_PARAM_COUNT];
    VornShaderFxHandle effect;
    uint32_t flags;
    uint8_t visible;
    VornModelExMesh* next;
};

struct VornModelExVectorKey { uint32_t time; float x, y, z; };
struct VornModelExRotationKey { uint32_t time; float x, y, z, w; };
struct VornModelExMatrixKey { uint32_t time; VornMatrix matrix; };

struct VornModelExAnimation {
    char name[VORN_RECORD_NAME_SIZE];   // the frame it animates
    uint32_t scaleCount, rotationCount, positionCount, matrixCount;
    VornModelExVectorKey* scaleKeys;
    VornModelExRotationKey* rotationKeys;
    VornModelExVectorKey* positionKeys;
    VornModelExMatrixKey* matrixKeys;
    VornHandle scaleCurve[3], positionCurve[3], rotationStep, rotationLinear, matrixStep;
    float position[3], scale[3];
    VornMatrix sampledMatrix;
    VornModelExAnimation* next;
};

struct VornModelExAnimationSet {
    char name[VORN_RECORD_NAME_SIZE];
    uint8_t hasMatrixKeys;
    uint32_t length;
    VornModelExAnimation* first;
    uint8_t enabled;
    VornModelExAnimationSet* next;
};

struct VornModelExFrame {
    char name[VORN_RECORD_NAME_SIZE];
    VornMatrix combined;
    VornMatrix user;
    VornMatrix file;
    VornModelExAnimation* animation[MODELEX_MAX_SETS];
    uint32_t animationCount;
    VornMatrix* baked;
    VornModelExMesh* meshes;
    VornModelExFrame* sibling;
    VornModelExFrame* child;
};

struct VornModelExRecord {
    uint8_t inUse;
    uint32_t refCount;
    VornModelExFrame* root;
    VornModelExAnimationSet* sets;
    VornModelExFrame** frameList;
    VornModelExMesh** meshList;
    uint32_t frameCount, meshCount;
    uint32_t sampleCount;
    float sampleStep;
    VornVector3 boxMin, boxMax;
    float scaleX, scaleY, scaleZ;
    VornPosture posture;
    VornMatrix world;
};

class VornModelEx : public VornTableClass<VornModelEx, VornModelExRecord>
{
    friend VornTableClass;
    static VornHandleTable<VornModelExRecord>& Table();
    static constexpr const char* kReleaseName = "VornModelEx::Release";

public:
    // --- table and loading (VornModelEx.cpp, VornModelExLoad.cpp) ---
    static bool Initialize();
    static void Finalize();
    static VornModelExHandle CreateFromFile(const char* file, uint16_t vsMajor, uint16_t vsMinor, uint32_t unused);
    static VornModelExHandle CreateFromMemory(const void* data, uint32_t size, uint16_t vsMajor, uint16_t vsMinor,
                                              VornFormatKind kind);
    static void Release(VornModelExHandle model);
    static uint32_t GetMeshCount(VornModelExHandle model);
    static uint32_t GetFrameCount(VornModelExHandle model);
    static int32_t GetMeshIndex(VornModelExHandle model, const char* name);
    static int32_t GetFrameIndex(VornModelExHandle model, const char* name);
    static void GetBoundingBox(VornModelExHandle model, int32_t mesh, VornVector3* min, VornVector3* max);
    static void OnDeviceLost();
    static void OnDeviceRestore();
    // The record of a live model, for the engine's own readers (null otherwise).
    static const VornModelExRecord* GetModel(VornModelExHandle model) { return GetRecord(model); }

    // --- meshes (VornModelExMesh.cpp) ---
    static uint32_t GetVertexSize(uint32_t type);
    static bool SetMorphTarget(VornModelExHandle model, int32_t mesh, VornModelExHandle source, int32_t sourceMesh);

    // --- animation and transforms (VornModelExTransform.cpp) ---
    static void SetPosition(VornModelExHandle model, float x, float y, float z);
    static void SetScale(VornModelExHandle model, float x, float y, float z);
    static void RotationX(VornModelExHandle model, VornAngle a);
    static void RotationY(VornModelExHandle model, VornAngle a);
    static void RotationZ(VornModelExHandle model, VornAngle a);
    static void LocalRotationX(VornModelExHandle model, VornAngle a);
    static void LocalRotationY(VornModelExHandle model, VornAngle a);
    static void LocalRotationZ(VornModelExHandle model, VornAngle a);
    static void RotationQuaternion(VornModelExHandle model, const D3DXQUATERNION& q);
    static void LookAt(VornModelExHandle model, const D3DXVECTOR3& eye, const D3DXVECTOR3& target, const D3DXVECTOR3* up);
    static bool GetPosture(VornModelExHandle model, VornPosture* out);
    static bool SetPosture(VornModelExHandle model, const VornPosture* posture);
    static void TransformInit(VornModelExHandle model);
    static void TransformUpdate(VornModelExHandle model, float time, bool animate);
    static void TransformUpdateByMatrix(VornModelExHandle model, const VornMatrix* matrix, float time, bool animate);
    static void TransformPreComputeAnimation(VornModelExHandle model, int32_t length, float step);
    static void TransformUpdatePreComputed(VornModelExHandle model, float time);
    static void SetAnimationSet(VornModelExHandle model, uint32_t set);
    static uint32_t GetAnimationLength(VornModelExHandle model, uint32_t set);
    static int32_t GetAnimationSetIndex(VornModelExHandle model, const char* name);
    static bool GetMeshMatrix(VornModelExHandle model, VornMatrix* out, int32_t mesh);
    static bool GetFrameMatrix(VornModelExHandle model, VornMatrix* out, int32_t frame);
    static void SetFrameMatrix(VornModelExHandle model, const VornMatrix* matrix, int32_t frame);
    static void CopyMeshMatrix(VornModelExHandle model, int32_t mesh, VornMatrix* out);
    static void CopyFrameMatrix(VornModelExHandle model, int32_t frame, VornMatrix* out);
    static bool GetMeshScreenPosition(VornModelExHandle model, VornVector3* out, int32_t mesh);

    // --- drawing (VornModelExDraw.cpp) ---
    static uint32_t Rendering(VornModelExHandle model);
    static float RenderingTimed(VornModelExHandle model);
    static void UpdateDrawList(VornModelExHandle model, bool cull);
    static uint8_t IsDraw(VornModelExHandle model, int32_t mesh);
    static void SetShader(VornModelExHandle model, VornShaderFxHandle effect, int32_t mesh);
    static bool SetShaderFromFile(VornModelExHandle model, const char* file, int32_t mesh);
    static bool SetShaderFromMemory(VornModelExHandle model, const void* data, uint32_t size, int32_t mesh);
    static void SetParameterFlags(VornModelExHandle model, uint32_t flags, int32_t mesh);
    static void SetShaderVersion(VornModelExHandle model, uint16_t major, uint16_t minor, int32_t mesh);
    static void SetVertexExtrusion(VornModelExHandle model, float value, int32_t mesh);
    static void SetMorphWeight(VornModelExHandle model, float value, int32_t mesh);
    static void SetSlideTextureU(VornModelExHandle model, float value, int32_t mesh);
    static void SetSlideTextureV(VornModelExHandle model, float value, int32_t mesh);
    static void SetTexture(VornModelExHandle model, uint32_t stage, VornHandle texture, int32_t mesh, int32_t material);
    static void SetAlpha(VornModelExHandle model, uint32_t alpha, int32_t mesh, int32_t material);
    static void DrawBoundingBoxes(VornModelExHandle model, uint32_t colour);

    // --- hit tests (VornModelExHit.cpp) ---
    static bool HitCheck(VornModelExHandle model, int32_t mesh, const VornVector3& start, const VornVector3& end,
                         bool unused, bool normals);
    static bool HitCheckByScreen(VornModelExHandle model, int32_t mesh, float x, float y, bool unused, bool normals);
    static uint32_t GetHitMeshList(uint32_t* out);
    static uint32_t GetHitFaceList(uint32_t slot, uint32_t* out);
    static void GetHitPoint(uint32_t slot, uint32_t n, VornVector3* local, VornVector3* world);
    static void GetHitNormal(uint32_t slot, uint32_t n, VornVector3* local, VornVector3* world);
    static bool HitCheckBoxByScreen(VornModelExHandle model, int32_t mesh, float x, float y);
    static bool HitCheckModel(uint32_t mode, VornModelExHandle a, int32_t meshA, VornModelExHandle b, int32_t meshB,
                              float scale);

    // --- engine internals shared by the model's source files ---
    static VornModelExRecord* Live(VornModelExHandle model) { return Table().GetLive(model); }
    static VornModelExMesh* MeshAt(const VornModelExRecord* r, int32_t mesh)
    {
        return (mesh >= 0 && static_cast<uint32_t>(mesh) < r->meshCount) ? r->meshList[mesh] : nullptr;
    }
    static VornModelExHandle LoadXFile(const void* data, uint32_t size);
    static bool ConvertMesh(VornModelExMesh* mesh, uint32_t vsVersion);
    static bool CreateVertexBuffer(VornModelExMesh* mesh);
    static bool CreateIndexBuffer(VornModelExMesh* mesh);
    static void ReleaseMeshChain(VornModelExMesh* mesh);
    static void DestroyModel(VornModelExRecord& r);
    static void ResetRecord(VornModelExRecord& r);
    static void UpdateFrame(VornModelExRecord& r, VornModelExFrame* frame, const D3DXMATRIX& parent, float time,
                            bool animate);
};
