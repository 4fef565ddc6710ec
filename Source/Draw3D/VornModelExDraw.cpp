// VornModelEx: drawing through the meshes' effects, rigid meshes per attribute range and skinned
// ones per bone combination with the shared palette; the per-mesh settings of drawing.
#include "VornModelEx.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornCamera.h"
#include "VornModelExWalk.h"
#include "VornSimple.h"
#include "VornTexture.h"
#include <cstring>

using namespace vorn_modelex;

namespace {

D3DXMATRIX g_palette[MODELEX_PALETTE_SIZE];   // shared by every skinned draw

// Every mesh a number chooses: that mesh, or all of them for a number outside the list.
template <typename F> void ForMeshes(VornModelExRecord* r, int32_t mesh, F fn)
{
    if (VornModelExMesh* m = VornModelEx::MeshAt(r, mesh)) {
        fn(m);
        return;
    }
    for (uint32_t i = 0; i < r->meshCount; ++i) fn(r->meshList[i]);
}

// Every material a pair of numbers chooses (same rule, each mesh bounding its own materials).
template <typename F> void ForMaterials(VornModelExRecord* r, int32_t mesh, int32_t material, F fn)
{
    ForMeshes(r, mesh, [&](VornModelExMesh* m) {
        if (material >= 0 && static_cast<uint32_t>(material) < m->materialCount) {
            fn(m->materials[material]);
            return;
        }
        for (uint32_t i = 0; i < m->materialCount; ++i) fn(m->materials[i]);
    });
}

void FillBlock(VornRenderBlock* block, const VornModelExMesh* m, bool skinned)
{
    VornMatrix view, viewProjection;
    VornCamera::GetMatrices(nullptr, &view, &viewProjection, nullptr);
    block->vertexExtrusion = m->vertexExtrusion;
    block->morphWeight = m->morphWeight;
    block->slideTextureU = m->slideTextureU;
    block->slideTextureV = m->slideTextureV;
    block->viewProjection = viewProjection;
    block->worldView.Multiply(m->combined, view);
    if (skinned) {
        block->world.Identity();
        block->worldViewProjection = viewProjection;
    } else {
        block->world = m->combined;
        block->worldViewProjection.Multiply(m->combined, viewProjection);
    }
    InvertOrIdentity(block->lightPosition.Get(), block->world.Get());
    D3DXMATRIX rotation = *block->world.Get();
    rotation._41 = rotation._42 = rotation._43 = 0.0f;
    InvertOrIdentity(block->lightDirection.Get(), &rotation);
}

// Material, textures and the passes of one range.
uint32_t DrawRange(VornModelExMesh* m, uint32_t attribute, DWORD vertexStart, DWORD vertexCount, DWORD faceStart,
                   DWORD faceCount)
{
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    static const VornMaterial kNone = {{}, {VORN_INVALID_HANDLE, VORN_INVALID_HANDLE, VORN_INVALID_HANDLE, VORN_INVALID_HANDLE}};
    const VornMaterial& mat = attribute < m->materialCount ? m->materials[attribute] : kNone;
    if (m->flags & SHADER_FLAG_MATERIAL) {
        const D3DCOLORVALUE& d = mat.material.Diffuse;
        const D3DCOLORVALUE& a = mat.material.Ambient;
        const D3DCOLORVALUE& e = mat.material.Emissive;
        const D3DXVECTOR4 diffuse(d.r, d.g, d.b, d.a), ambient(a.r + e.r, a.g + e.g, a.b + e.b, 1.0f);
        VornShaderFx::SetVector(m->effect, m->parameters[SHADER_PARAM_MATERIAL_DIFFUSE], &diffuse);
        VornShaderFx::SetVector(m->effect, m->parameters[SHADER_PARAM_MATERIAL_AMBIENT], &ambient);
    }
    for (uint32_t s = 0; s < 4; ++s) {
        if (m->flags & SHADER_FLAG_TEXTURES)
            VornShaderFx::SetTexture(m->effect, m->parameters[SHADER_PARAM_TEXTURE_STAGE0 + s], mat.texture[s]);
        Vorn3D::SetTexture(s, mat.texture[s]);
    }
    VornShaderFx::CommitChanges(m->effect);
    uint32_t passes = 0, drawn = 0;
    if (!VornShaderFx::Begin(m->effect, &passes)) return 0;
    for (uint32_t p = 0; p < passes; ++p) {
        VornShaderFx::BeginPass(m->effect, p);
        if (SUCCEEDED(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertexStart, vertexCount, faceStart * 3, faceCount)))
            drawn += faceCount;
        VornShaderFx::EndPass(m->effect);
    }
    VornShaderFx::End(m->effect);
    return drawn;
}

uint32_t DrawMesh(VornModelExMesh* m)
{
    if (m->effect == VORN_INVALID_HANDLE || !m->visible || !m->ready || !m->vertexBuffer || !m->indexBuffer) return 0;
    IDirect3DDevice9* device = Vorn3D::GetDevice();
    Vorn3D::SelectVertexProcessing(m->vsMajor, m->vsMinor);
    VornRenderBlock block;
    FillBlock(&block, m, m->skinned != 0);
    VornShaderFx::SetSceneParameters(m->effect, m->parameters, m->flags, block);
    device->SetVertexDeclaration(m->declaration);
    device->SetStreamSource(0, m->vertexBuffer, 0, m->stride);
    device->SetIndices(m->indexBuffer);
    uint32_t drawn = 0;
    if (!m->skinned) {
        for (uint32_t i = 0; i < m->attributeCount; ++i) {
            const D3DXATTRIBUTERANGE& a = m->attributes[i];
            drawn += DrawRange(m, a.AttribId, a.VertexStart, a.VertexCount, a.FaceStart, a.FaceCount);
        }
        return drawn;
    }
    const D3DXBONECOMBINATION* combinations = static_cast<const D3DXBONECOMBINATION*>(m->combinations->GetBufferPointer());
    for (uint32_t i = 0; i < m->combinationCount; ++i) {
        const D3DXBONECOMBINATION& c = combinations[i];
        if (m->flags & SHADER_FLAG_BONES) {
            for (uint32_t j = 0; j < m->paletteSize; ++j) {
                const DWORD b = c.BoneId[j];
                if (b != UINT_MAX && b < m->boneCount) D3DXMatrixMultiply(&g_palette[j], m->boneOffsets[b].Get(), m->boneMatrices[b]);
            }
            VornShaderFx::SetMatrixArray(m->effect, m->parameters[SHADER_PARAM_BONE_MATRIX_ARRAY], g_palette, m->paletteSize);
            VornShaderFx::SetInt(m->effect, m->parameters[SHADER_PARAM_BONE_WEIGHT_COUNT], static_cast<int>(m->maxInfluences) - 1);
        }
        // Positional: one platform header misspells the vertex-count member.
        const DWORD* fields = &c.AttribId;
        drawn += DrawRange(m, fields[0], fields[3], fields[4], fields[1], fields[2]);
    }
    return drawn;
}

}  // namespace

uint32_t VornModelEx::Rendering(VornModelExHandle model)
{
    VornModelExRecord* r = Live(model);
    if (!r || !r->root || !Vorn3D::GetDevice()) return 0;
    uint32_t drawn = 0;
    std::vector<VornModelExMesh*> chain;
    ForEachFrame(r->root, [&](VornModelExFrame* f) {
        // Within a chain the last container is drawn first.
        chain.clear();
        for (VornModelExMesh* m = f->meshes; m; m = m->next) chain.push_back(m);
        for (size_t i = chain.size(); i-- > 0;) drawn += DrawMesh(chain[i]);
    });
    Vorn::AddPolygonCount3D(drawn);
    return drawn;
}

float VornModelEx::RenderingTimed(VornModelExHandle model)
{
    const uint64_t start = Vorn::GetSystemTimer();
    Rendering(model);
    const uint64_t end = Vorn::GetSystemTimer();
    const uint64_t frequency = Vorn::GetSystemTimerFrequency();
    return frequency ? static_cast<float>(static_cast<double>(end - start) / static_cast<double>(frequency)) : 0.0f;
}

void VornModelEx::UpdateDrawList(VornModelExHandle model, bool cull)
{
    VornModelExRecord* r = Live(model);
    if (!r) return;
    for (uint32_t i = 0; i < r->meshCount; ++i) {
        VornModelExMesh* m = r->meshList[i];
        m->visible = !cull || VornCamera::IsVisible(m->cullingBox) ? 1 : 0;
    }
}

uint8_t VornModelEx::IsDraw(VornModelExHandle model, int32_t mesh)
{
    const VornModelExRecord* r = Live(model);
    const VornModelExMesh* m = r ? MeshAt(r, mesh) : nullptr;
    return m ? m->visible : 0;
}

void VornModelEx::SetShader(VornModelExHandle model, VornShaderFxHandle effect, int32_t mesh)
{
    VornModelExRecord* r = Live(model);
    if (!r) return;
    ForMeshes(r, mesh, [effect](VornModelExMesh* m) {
        // The new reference first: the old and the new effect may be the same record.
        VornShaderFx::AddRef(effect);
        VornShaderFx::Release(m->effect);
        m->effect = effect;
        VornShaderFx::GetParameterHandles(effect, m->parameters);
    });
}

bool VornModelEx::SetShaderFromFile(VornModelExHandle model, const char* file, int32_t mesh)
{
    const VornShaderFxHandle fx = VornShaderFx::CreateFromFile(file);
    if (fx == VORN_INVALID_HANDLE) return false;
    SetShader(model, fx, mesh);
    VornShaderFx::Release(fx);
    return true;
}

bool VornModelEx::SetShaderFromMemory(VornModelExHandle model, const void* data, uint32_t size, int32_t mesh)
{
    const VornShaderFxHandle fx = VornShaderFx::CreateFromMemory(data, size);
    if (fx == VORN_INVALID_HANDLE) return false;
    SetShader(model, fx, mesh);
    VornShaderFx::Release(fx);
    return true;
}

void VornModelEx::SetParameterFlags(VornModelExHandle model, uint32_t flags, int32_t mesh)
{
    if (VornModelExRecord* r = Live(model)) ForMeshes(r, mesh, [flags](VornModelExMesh* m) { m->flags = flags; });
}

void VornModelEx::SetShaderVersion(VornModelExHandle model, uint16_t major, uint16_t minor, int32_t mesh)
{
    if (VornModelExRecord* r = Live(model))
        ForMeshes(r, mesh, [=](VornModelExMesh* m) {
            m->vsMajor = major;
            m->vsMinor = minor;
        });
}

void VornModelEx::SetVertexExtrusion(VornModelExHandle model, float value, int32_t mesh)
{
    if (VornModelExRecord* r = Live(model)) ForMeshes(r, mesh, [value](VornModelExMesh* m) { m->vertexExtrusion = value; });
}

void VornModelEx::SetMorphWeight(VornModelExHandle model, float value, int32_t mesh)
{
    if (VornModelExRecord* r = Live(model)) ForMeshes(r, mesh, [value](VornModelExMesh* m) { m->morphWeight = value; });
}

void VornModelEx::SetSlideTextureU(VornModelExHandle model, float value, int32_t mesh)
{
    if (VornModelExRecord* r = Live(model)) ForMeshes(r, mesh, [value](VornModelExMesh* m) { m->slideTextureU = value; });
}

void VornModelEx::SetSlideTextureV(VornModelExHandle model, float value, int32_t mesh)
{
    if (VornModelExRecord* r = Live(model)) ForMeshes(r, mesh, [value](VornModelExMesh* m) { m->slideTextureV = value; });
}

void VornModelEx::SetTexture(VornModelExHandle model, uint32_t stage, VornHandle texture, int32_t mesh, int32_t material)
{
    VornModelExRecord* r = Live(model);
    if (!r || stage > 3) return;
    ForMaterials(r, mesh, material, [=](VornMaterial& m) {
        VornTexture::AddRef(texture);
        VornTexture::Release(m.texture[stage]);
        m.texture[stage] = texture;
    });
}

void VornModelEx::SetAlpha(VornModelExHandle model, uint32_t alpha, int32_t mesh, int32_t material)
{
    VornModelExRecord* r = Live(model);
    if (!r) return;
    const float a = static_cast<float>(alpha) / 255.0f;
    ForMaterials(r, mesh, material, [a](VornMaterial& m) { m.material.Diffuse.a = a; });
}

void VornModelEx::DrawBoundingBoxes(VornModelExHandle model, uint32_t colour)
{
    VornModelExRecord* r = Live(model);
    if (!r) return;
    ForEachFrame(r->root, [colour](VornModelExFrame* f) {
        const VornModelExMesh* m = f->meshes;
        if (m && m->visible) VornSimple::DrawBoundingBox(&m->boxMin, &m->boxMax, &m->combined, colour);
    });
}
