// VornShaderFx: effect files in a table of counted, named records; the 23-name parameter
// vocabulary that fields and models look up in their effects; the override effect that stands in
// for every effect handle while it is set.
#pragma once
#include "VornFxEffect.h"
#include "VornHandleTable.h"
#include "VornMatrix.h"
#include <cstdint>

using VornShaderFxHandle = VornHandle;

// Indices into the array of 23 parameter handles every effect-drawn object keeps.
enum VornShaderParameter : uint32_t {
    SHADER_PARAM_TRANSFORM,            // "mTransform"
    SHADER_PARAM_WORLD,                // "mWorld"
    SHADER_PARAM_WORLD_VIEW,           // "mWorldView"
    SHADER_PARAM_BONE_MATRIX_ARRAY,    // "mBoneMatrixArray"
    SHADER_PARAM_BONE_WEIGHT_COUNT,    // "BoneWeightCount"
    SHADER_PARAM_LIGHT_IS_USE,         // "LightIsUse"
    SHADER_PARAM_LIGHT_IS_DIRECTIONAL, // "LightIsDirectional"
    SHADER_PARAM_LIGHT_ATTENUATION,    // "LightAttenuation"
    SHADER_PARAM_LIGHT_COLOR,          // "LightColor"
    SHADER_PARAM_LIGHT_PARAMETER,      // "LightParameter"
    SHADER_PARAM_MATERIAL_DIFFUSE,     // "MaterialDiffuse"
    SHADER_PARAM_MATERIAL_AMBIENT,     // "MaterialAmbient"
    SHADER_PARAM_CAMERA_POS,           // "vCameraPos"
    SHADER_PARAM_SLIDE_TEXTURE_U,      // "SlideTextureU"
    SHADER_PARAM_SLIDE_TEXTURE_V,      // "SlideTextureV"
    SHADER_PARAM_VERTEX_EXTRUSION,     // "VertexExtrusion"
    SHADER_PARAM_MORPH_WEIGHT,         // "MorphWeight"
    SHADER_PARAM_FOG_PARAMETER,        // "FogParameter"
    SHADER_PARAM_FOG_TRANSFORM,        // "FogTransform"
    SHADER_PARAM_TEXTURE_STAGE0,       // "TextureStage0" .. "TextureStage3"
    SHADER_PARAM_TEXTURE_STAGE1,
    SHADER_PARAM_TEXTURE_STAGE2,
    SHADER_PARAM_TEXTURE_STAGE3,
    SHADER_PARAM_COUNT
};

// VornShaderParameterFlags: which parameters are set before a draw.
enum : uint32_t {
    SHADER_FLAG_TRANSFORM = 0x001,
    SHADER_FLAG_WORLD = 0x002,
    SHADER_FLAG_WORLD_VIEW = 0x004,
    SHADER_FLAG_BONES = 0x008,
    SHADER_FLAG_LIGHTS = 0x010,
    SHADER_FLAG_MATERIAL = 0x020,
    SHADER_FLAG_SLIDE_TEXTURE = 0x040,
    SHADER_FLAG_VERTEX_EXTRUSION = 0x080,
    SHADER_FLAG_MORPH = 0x100,
    SHADER_FLAG_CAMERA_POS = 0x200,
    SHADER_FLAG_TEXTURES = 0x400,
    SHADER_FLAG_FOG = 0x800,
};

// The values of one draw through an effect.
struct VornRenderBlock {
    VornMatrix world;
    VornMatrix viewProjection;
    VornMatrix worldViewProjection;
    VornMatrix worldView;
    VornMatrix lightDirection;   // turns light directions into the effect's space
    VornMatrix lightPosition;    // turns light positions into the effect's space
    float vertexExtrusion;
    float morphWeight;
    float slideTextureU;
    float slideTextureV;
};

struct VornShaderFxRecord {
    uint8_t inUse;
    uint32_t refCount;
    char name[VORN_RECORD_NAME_SIZE];   // file name as passed; empty for effects from memory
    VornFxEffect* effect;
};

class VornShaderFx
{
public:
    static const char* const kParameterNames[SHADER_PARAM_COUNT];

    static void SetMax(uint32_t count);
    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();

    static VornShaderFxHandle CreateFromFile(const char* name);
    static VornShaderFxHandle CreateFromMemory(const void* text, uint32_t size);
    static void AddRef(VornShaderFxHandle fx);
    static void Release(VornShaderFxHandle fx);
    static uint32_t GetRefCount(VornShaderFxHandle fx);
    static void SetOverride(VornShaderFxHandle fx);
    static VornShaderFxHandle GetOverride();

    static bool Begin(VornShaderFxHandle fx, uint32_t* passes);
    static void BeginPass(VornShaderFxHandle fx, uint32_t pass);
    static void EndPass(VornShaderFxHandle fx);
    static void CommitChanges(VornShaderFxHandle fx);
    static void End(VornShaderFxHandle fx);

    static D3DXHANDLE GetParameterByName(VornShaderFxHandle fx, const char* name);
    // The 23 handles of the vocabulary, in index order (null where the effect has no such name).
    static void GetParameterHandles(VornShaderFxHandle fx, D3DXHANDLE out[SHADER_PARAM_COUNT]);

    static void SetBool(VornShaderFxHandle fx, D3DXHANDLE h, BOOL value);
    static void SetBoolArray(VornShaderFxHandle fx, D3DXHANDLE h, const BOOL* values, uint32_t count);
    static void SetInt(VornShaderFxHandle fx, D3DXHANDLE h, int value);
    static void SetIntArray(VornShaderFxHandle fx, D3DXHANDLE h, const int* values, uint32_t count);
    static void SetFloat(VornShaderFxHandle fx, D3DXHANDLE h, float value);
    static void SetFloatArray(VornShaderFxHandle fx, D3DXHANDLE h, const float* values, uint32_t count);
    static void SetVector(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXVECTOR4* value);
    static void SetVectorArray(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXVECTOR4* values, uint32_t count);
    static void SetMatrix(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXMATRIX* value);
    static void SetMatrixArray(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXMATRIX* values, uint32_t count);
    static void SetMatrixTranspose(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXMATRIX* value);
    static void SetMatrixTransposeArray(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXMATRIX* values, uint32_t count);
    static void SetString(VornShaderFxHandle fx, D3DXHANDLE h, const char* value);
    static void SetTexture(VornShaderFxHandle fx, D3DXHANDLE h, VornHandle texture);

    // The parameters of the scene and the draw that fields and models share, each when its flag
    // is set, in this order: fog (0x800), texture slide (0x040), vertex extrusion (0x080), morph
    // weight (0x100), camera position (0x200), mTransform (0x001), mWorld (0x002), mWorldView
    // (0x004), the five light parameters (0x010). Bones, material and textures are the caller's.
    static void SetSceneParameters(VornShaderFxHandle fx, const D3DXHANDLE params[SHADER_PARAM_COUNT], uint32_t flags,
                                   const VornRenderBlock& block);

    // The effect object of a live record (after override resolution); null for none.
    static VornFxEffect* GetEffect(VornShaderFxHandle fx);
};
