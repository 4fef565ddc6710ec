// VornField: the stage's ground, one X-file mesh cut into N x N blocks (VornMeshSplitter), each
// with its own vertex and index buffers and a CPU copy of its triangles. A quad-tree of the
// blocks' boxes is culled against the camera every frame and the visible blocks are drawn through
// one effect; the CPU copies answer the ground queries (height and normal under a point, rays and
// segments). Fields are counted records that load anew on every create call. Main thread only.
#pragma once
#include "Vorn3D.h"
#include "VornCollision.h"
#include "VornHandleTable.h"
#include "VornShaderFx.h"
#include "VornTexture.h"
#include "VornVector3.h"
#include <d3d9.h>
#include <d3dx9.h>
#include <cstdint>

using VornFieldHandle = VornHandle;

// The CPU copy of a vertex.
struct VornFieldVertex {
    float px, py, pz;
    float nx, ny, nz;
    float tx, ty, tz;   // tangent
    float bx, by, bz;   // binormal
    D3DCOLOR diffuse;   // A in the top byte
    float u, v;
};
static_assert(sizeof(VornFieldVertex) == 60, "the field vertex is 60 bytes");

struct VornFieldRange {
    uint32_t first;   // first index
    uint32_t count;   // index count (0: none in this block)
};

struct VornFieldBlock {
    VornVector3 min, max;
    IDirect3DVertexDeclaration9* declaration;
    IDirect3DVertexBuffer9* vertexBuffer;
    IDirect3DIndexBuffer9* indexBuffer;
    VornFieldVertex* vertices;
    uint16_t* indices;
    uint32_t vertexCount;
    uint32_t indexCount;        // three per triangle
    VornVector3* faceNormals;   // one per triangle
    VornFieldRange* ranges;     // one per material of the field
};

struct VornFieldMaterial {
    VornTextureHandle texture[4];   // stages 0-3, -1 none
};

struct VornFieldNode {
    VornFieldNode* child[4];   // null in a leaf; (c, r), (c + h, r), (c, r + h), (c + h, r + h)
    int32_t block;             // leaf with triangles: its block; empty leaf -1; inner node -2
    VornVector3 min, max;
    VornBox box;               // culling box
};

struct VornFieldRecord {
    uint8_t inUse;
    uint32_t refCount;
    int32_t division;          // blocks per side
    VornFieldBlock* blocks;    // row by row: block (c, r) is r x N + c
    uint8_t* drawList;         // N x N, 1 = draw this frame
    uint8_t tangent;           // 1: 60-byte vertices with tangent and binormal; 0: 36-byte
    VornFieldNode* root;
    VornFieldMaterial* materials;
    uint32_t materialCount;
    uint16_t shaderMajor, shaderMinor;   // always 1.1
    D3DXHANDLE parameter[SHADER_PARAM_COUNT];
    VornShaderFxHandle effect;
    uint32_t flags;            // VornShaderParameterFlags
};

class VornField : public VornTableClass<VornField, VornFieldRecord>
{
    friend VornTableClass;
    static VornHandleTable<VornFieldRecord>& Table();
    static constexpr const char* kReleaseName = "VornField::Release";
    static VornFieldHandle CreateCommon(const void* data, uint32_t size, int32_t level, int32_t scale,
                                        VornFormatKind textureFormat, bool tangents);

public:
    static constexpr int32_t kMaxLevel = 16;   // 2^15 blocks a side; above, N x N wraps
    static constexpr uint32_t kStride60 = 60;
    static constexpr uint32_t kStride36 = 36;

    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();
    static void SetMax(uint32_t capacity);

    static VornFieldHandle CreateFromFile(const char* name, int32_t level, int32_t scale, VornFormatKind textureFormat,
                                          bool tangents);
    static VornFieldHandle CreateFromMemory(const void* data, uint32_t size, int32_t level, int32_t scale,
                                            VornFormatKind textureFormat, bool tangents);
    static void Release(VornFieldHandle field);

    static void SetShader(VornFieldHandle field, VornShaderFxHandle effect);
    static void SetParameterFlags(VornFieldHandle field, uint32_t flags);
    // Stage 0-3 of one material, or of every material for a negative or too large index.
    static void SetTexture(VornFieldHandle field, uint32_t stage, VornTextureHandle texture, int32_t material);

    static void UpdateDrawList(VornFieldHandle field);
    static uint32_t Rendering(VornFieldHandle field);
    static double RenderingTimed(VornFieldHandle field);

    static int32_t GetDivision(VornFieldHandle field);
    static uint8_t IsDraw(VornFieldHandle field, int32_t column, int32_t row);
    static int32_t GetBlockIndex(VornFieldHandle field, const VornVector3& point);
    static bool HitCheckDown(VornFieldHandle field, const VornVector3& point, VornVector3* position,
                             VornVector3* normal, float* distance);
    static bool HitCheckRay(VornFieldHandle field, const VornVector3& start, const VornVector3& direction,
                            VornVector3* position, VornVector3* normal, float* distance);
    static bool HitCheckSegment(VornFieldHandle field, const VornVector3& a, const VornVector3& b, VornVector3* point);
};
