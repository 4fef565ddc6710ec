#include "VornShaderFx.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornCamera.h"
#include "VornFile.h"
#include "VornLight.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornTexture.h"
#include <cstring>
#include <string>

const char* const VornShaderFx::kParameterNames[SHADER_PARAM_COUNT] = {
    "mTransform",     "mWorld",          "mWorldView",       "mBoneMatrixArray",  "BoneWeightCount",
    "LightIsUse",     "LightIsDirectional", "LightAttenuation", "LightColor",      "LightParameter",
    "MaterialDiffuse", "MaterialAmbient", "vCameraPos",       "SlideTextureU",     "SlideTextureV",
    "VertexExtrusion", "MorphWeight",    "FogParameter",     "FogTransform",      "TextureStage0",
    "TextureStage1",  "TextureStage2",   "TextureStage3",
};

namespace {

void DestroyEffect(VornShaderFxRecord& r)
{
    if (r.effect) r.effect->Release();
    r.effect = nullptr;
}

VornHandleTable<VornShaderFxRecord> g_table(DestroyEffect, "エフェクト Destroy [ No.%u ]");
VornShaderFxHandle g_override = VORN_INVALID_HANDLE;

// Pass states go through the device's state caches, so the caches stay true across Begin and End.
// Samplers beyond the four cached ones go to the device directly.
class CachedStates : public VornFxStates
{
public:
    bool GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override
    {
        const uint32_t v = Vorn3D::GetRenderState(state);
        if (v == Vorn3D::kNone) return false;
        *value = v;
        return true;
    }
    void SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override { Vorn3D::SetRenderState(state, value); }
    bool GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override
    {
        if (sampler >= Vorn3D::kStageCount) return false;
        const uint32_t v = Vorn3D::GetSamplerState(sampler, type);
        if (v == Vorn3D::kNone) return false;
        *value = v;
        return true;
    }
    void SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override
    {
        if (sampler < Vorn3D::kStageCount) {
            Vorn3D::SetSamplerState(sampler, type, value);
        } else if (IDirect3DDevice9* device = Vorn3D::GetDevice()) {
            device->SetSamplerState(sampler, type, value);
        }
    }
    bool GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override
    {
        if (stage >= Vorn3D::kStageCount) return false;
        const uint32_t v = Vorn3D::GetTextureStageState(stage, type);
        if (v == Vorn3D::kNone) return false;
        *value = v;
        return true;
    }
    void SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override
    {
        if (stage < Vorn3D::kStageCount) {
            Vorn3D::SetTextureStageState(stage, type, value);
        } else if (IDirect3DDevice9* device = Vorn3D::GetDevice()) {
            device->SetTextureStageState(stage, type, value);
        }
    }
    // The four lights the engine keeps go through VornLight, so its record stays true; without
    // VornLight a pass switches the device's own lights.
    bool GetLightEnable(DWORD index, BOOL* on) override
    {
        if (index >= VornLight::kLightCount || !VornLight::IsStarted()) {
            IDirect3DDevice9* device = Vorn3D::GetDevice();
            return device && SUCCEEDED(device->GetLightEnable(index, on));
        }
        *on = VornLight::IsEnabled(index) ? TRUE : FALSE;
        return true;
    }
    void SetLightEnable(DWORD index, BOOL on) override
    {
        if (index < VornLight::kLightCount && VornLight::IsStarted()) {
            VornLight::SetEnable(index, on != FALSE);
        } else if (IDirect3DDevice9* device = Vorn3D::GetDevice()) {
            device->LightEnable(index, on);
        }
    }
};

CachedStates g_states;

// #include in effect files: found as every shader file is (folders and the pack).
class FileInclude : public ID3DXInclude
{
public:
    STDMETHOD(Open)(D3DXINCLUDE_TYPE, LPCSTR name, LPCVOID, LPCVOID* data, UINT* bytes) override
    {
        void* loaded = nullptr;
        uint32_t size = 0;
        if (!name || !VornFile::Load(FILE_KIND_SHADER, name, &loaded, &size)) return E_FAIL;
        *data = loaded;
        *bytes = size;
        return S_OK;
    }
    STDMETHOD(Close)(LPCVOID data) override
    {
        VornMemory::Free(const_cast<void*>(data));
        return S_OK;
    }
};

FileInclude g_include;

// The override when one is set, else the handle itself.
VornShaderFxHandle Resolve(VornShaderFxHandle fx)
{
    return g_override != VORN_INVALID_HANDLE ? g_override : fx;
}

VornFxEffect* Effect(VornShaderFxHandle fx)
{
    const VornShaderFxRecord* r = g_table.GetLive(Resolve(fx));
    return r ? r->effect : nullptr;
}

void Line(const char* text, bool success)
{
    if (success) VornLog::StrongGreen("%s", text);
    else VornLog::StrongRed("%s", text);
    VornLog::LineBreak();
}

// The compiler's whole text in one line of the log, from a NUL-terminated work-area copy.
void CompilerText(const char* format, const std::string& text, bool error)
{
    const uint32_t n = static_cast<uint32_t>(text.size());
    char* copy = static_cast<char*>(VORN_ALLOC(n + 1));
    if (!copy) return;
    memcpy(copy, text.data(), n);
    copy[n] = '\0';
    if (error) VornLog::StrongRed(format, copy);
    else VornLog::Strong(format, copy);
    VornLog::LineBreak();
    VORN_FREE(copy);
}

// Compiles the text into the record; false (with the log lines) on failure. The reasons of
// techniques that fell back go to *warnings.
bool Compile(VornShaderFxRecord& r, const void* text, uint32_t size, std::string* warnings)
{
    std::string errors;
    HRESULT hr = VornFxEffect::Create(Vorn3D::GetDevice(), text, size, nullptr, &g_include, &g_states, &r.effect, &errors, warnings);
    if (SUCCEEDED(hr) && r.effect) return true;
    r.effect = nullptr;
    Line("エフェクトの読み込みに失敗しました。", false);
    if (!errors.empty()) CompilerText("  -> Shader Compile Error [%s]", errors, true);
    return false;
}

// Success, then what fell back.
void Succeeded(const char* word, const std::string& warnings)
{
    Line(word, true);
    if (!warnings.empty()) CompilerText("  -> Shader Compile Warning [%s]", warnings, false);
}

}  // namespace

void VornShaderFx::SetMax(uint32_t count) { g_table.SetMax(count); }

bool VornShaderFx::Initialize()
{
    if (!g_table.InitializeLogged("VornShaderFxクラスの初期化", "エフェクト", __FILE__, __LINE__)) return false;
    g_override = VORN_INVALID_HANDLE;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_SHADERFX, OnDeviceLost, OnDeviceRestore);
    return true;
}

void VornShaderFx::Finalize()
{
    VornLog::Title("VornShaderFxクラスの解放");
    if (!g_table.IsInitialized()) return;
    Vorn3D::SetDeviceHooks(DEVICE_CLASS_SHADERFX, nullptr, nullptr);
    g_override = VORN_INVALID_HANDLE;
    g_table.Finalize();
}

void VornShaderFx::OnDeviceLost()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i)
        if (g_table[i].inUse && g_table[i].effect) g_table[i].effect->OnLostDevice();
}

void VornShaderFx::OnDeviceRestore()
{
    for (uint32_t i = 0; i < g_table.Count(); ++i)
        if (g_table[i].inUse && g_table[i].effect) g_table[i].effect->OnResetDevice();
}

VornShaderFxHandle VornShaderFx::CreateFromFile(const char* name)
{
    Vorn::ResetCurrentDirectory();
    VornLog::StrongBlue("VornShaderFx::CreateFromFile");
    VornLog::Print(" : [ %s ] : ", name ? name : "");
    if (!name || strnlen(name, VORN_RECORD_NAME_SIZE) >= VORN_RECORD_NAME_SIZE) {
        Line("ファイル名が長すぎます", false);   // a record keeps at most 255 characters
        return VORN_INVALID_HANDLE;
    }
    VornShaderFxHandle h = g_table.FindByName(name);
    if (h != VORN_INVALID_HANDLE) {
        g_table.AddRef(h);
        VornLog::Print("[ No.%u ] : Already Existed : ", h);
        Line("Success", true);
        return h;
    }
    h = g_table.AllocRecord();
    if (h == VORN_INVALID_HANDLE) {
        Line("空きエフェクトが見つかりませんでした。", false);
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", h);
    void* data = nullptr;
    uint32_t size = 0;
    if (!VornFile::Load(FILE_KIND_SHADER, name, &data, &size)) {
        Line("ファイルの読み込みに失敗しました", false);
        g_table.ClearRecord(h);
        return VORN_INVALID_HANDLE;
    }
    std::string warnings;
    const bool ok = Compile(g_table[h], data, size, &warnings);
    VornMemory::Free(data);
    if (!ok) {
        g_table.ClearRecord(h);
        return VORN_INVALID_HANDLE;
    }
    Succeeded("Success", warnings);
    g_table.SetName(h, name);
    return h;
}

VornShaderFxHandle VornShaderFx::CreateFromMemory(const void* text, uint32_t size)
{
    Vorn::ResetCurrentDirectory();
    VornLog::StrongBlue("VornShaderFx::CreateFromMemory");
    VornLog::Print(" : ");
    VornShaderFxHandle h = g_table.AllocRecord();
    if (h == VORN_INVALID_HANDLE) {
        Line("空きエフェクトが見つかりませんでした。", false);
        return VORN_INVALID_HANDLE;
    }
    VornLog::Print("[ No.%u ] : ", h);
    std::string warnings;
    if (!Compile(g_table[h], text, size, &warnings)) {
        g_table.ClearRecord(h);
        return VORN_INVALID_HANDLE;
    }
    Succeeded("Complete", warnings);
    return h;
}

void VornShaderFx::AddRef(VornShaderFxHandle fx) { g_table.AddRef(fx); }

void VornShaderFx::Release(VornShaderFxHandle fx)
{
    if (!g_table.Live(fx)) return;
    const bool last = g_table.GetRefCount(fx) == 1;
    g_table.ReleaseRecord(fx);
    if (!last) return;
    VornLog::StrongRed("VornShaderFx::Release");
    VornLog::Print(" : [ No.%u ]", fx);
    VornLog::LineBreak();
}

uint32_t VornShaderFx::GetRefCount(VornShaderFxHandle fx) { return g_table.GetRefCount(fx); }

void VornShaderFx::SetOverride(VornShaderFxHandle fx)
{
    // The new reference first: setting the override that is already set must not free it.
    AddRef(fx);
    const VornShaderFxHandle old = g_override;
    g_override = fx;
    Release(old);
}

VornShaderFxHandle VornShaderFx::GetOverride() { return g_override; }

bool VornShaderFx::Begin(VornShaderFxHandle fx, uint32_t* passes)
{
    VornFxEffect* e = Effect(fx);
    if (!e) return false;
    UINT n = 0;
    const HRESULT hr = e->Begin(&n, VORN_FX_DONOTSAVESHADERSTATE);
    if (passes) *passes = n;
    return SUCCEEDED(hr);
}

void VornShaderFx::BeginPass(VornShaderFxHandle fx, uint32_t pass)
{
    if (VornFxEffect* e = Effect(fx)) e->BeginPass(pass);
}

void VornShaderFx::EndPass(VornShaderFxHandle fx)
{
    if (VornFxEffect* e = Effect(fx)) e->EndPass();
}

void VornShaderFx::CommitChanges(VornShaderFxHandle fx)
{
    if (VornFxEffect* e = Effect(fx)) e->CommitChanges();
}

void VornShaderFx::End(VornShaderFxHandle fx)
{
    VornFxEffect* e = Effect(fx);
    if (!e) return;
    e->End();
    if (IDirect3DDevice9* device = Vorn3D::GetDevice()) {   // fixed-function drawing follows
        device->SetVertexShader(nullptr);
        device->SetPixelShader(nullptr);
    }
}

D3DXHANDLE VornShaderFx::GetParameterByName(VornShaderFxHandle fx, const char* name)
{
    VornFxEffect* e = Effect(fx);
    return e ? e->GetParameterByName(nullptr, name) : nullptr;
}

void VornShaderFx::GetParameterHandles(VornShaderFxHandle fx, D3DXHANDLE out[SHADER_PARAM_COUNT])
{
    for (uint32_t i = 0; i < SHADER_PARAM_COUNT; ++i) out[i] = GetParameterByName(fx, kParameterNames[i]);
}

#define VORN_FX_SETTER(call)                        \
    VornFxEffect* e = Effect(fx);                   \
    if (e && h) e->call

void VornShaderFx::SetBool(VornShaderFxHandle fx, D3DXHANDLE h, BOOL v) { VORN_FX_SETTER(SetBool(h, v)); }
void VornShaderFx::SetBoolArray(VornShaderFxHandle fx, D3DXHANDLE h, const BOOL* v, uint32_t n) { VORN_FX_SETTER(SetBoolArray(h, v, n)); }
void VornShaderFx::SetInt(VornShaderFxHandle fx, D3DXHANDLE h, int v) { VORN_FX_SETTER(SetInt(h, v)); }
void VornShaderFx::SetIntArray(VornShaderFxHandle fx, D3DXHANDLE h, const int* v, uint32_t n) { VORN_FX_SETTER(SetIntArray(h, v, n)); }
void VornShaderFx::SetFloat(VornShaderFxHandle fx, D3DXHANDLE h, float v) { VORN_FX_SETTER(SetFloat(h, v)); }
void VornShaderFx::SetFloatArray(VornShaderFxHandle fx, D3DXHANDLE h, const float* v, uint32_t n) { VORN_FX_SETTER(SetFloatArray(h, v, n)); }
void VornShaderFx::SetVector(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXVECTOR4* v) { VORN_FX_SETTER(SetVector(h, v)); }
void VornShaderFx::SetVectorArray(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXVECTOR4* v, uint32_t n) { VORN_FX_SETTER(SetVectorArray(h, v, n)); }
void VornShaderFx::SetMatrix(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXMATRIX* v) { VORN_FX_SETTER(SetMatrix(h, v)); }
void VornShaderFx::SetMatrixArray(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXMATRIX* v, uint32_t n) { VORN_FX_SETTER(SetMatrixArray(h, v, n)); }
void VornShaderFx::SetMatrixTranspose(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXMATRIX* v) { VORN_FX_SETTER(SetMatrixTranspose(h, v)); }
void VornShaderFx::SetMatrixTransposeArray(VornShaderFxHandle fx, D3DXHANDLE h, const D3DXMATRIX* v, uint32_t n) { VORN_FX_SETTER(SetMatrixTransposeArray(h, v, n)); }
void VornShaderFx::SetString(VornShaderFxHandle fx, D3DXHANDLE h, const char* v) { VORN_FX_SETTER(SetString(h, v)); }

void VornShaderFx::SetTexture(VornShaderFxHandle fx, D3DXHANDLE h, VornHandle texture)
{
    IDirect3DTexture9* t = texture != VORN_INVALID_HANDLE ? VornTexture::GetTexture(texture) : nullptr;
    VORN_FX_SETTER(SetTexture(h, t));
}

#undef VORN_FX_SETTER

void VornShaderFx::SetSceneParameters(VornShaderFxHandle fx, const D3DXHANDLE params[SHADER_PARAM_COUNT],
                                      uint32_t flags, const VornRenderBlock& block)
{
    if (flags & SHADER_FLAG_FOG) {
        float fogNear = 0.0f, fogFar = 0.0f;
        Vorn3D::GetFog(&fogNear, &fogFar, nullptr);
        const float range = fogFar - fogNear;
        const float fog[2] = {range != 0.0f ? -1.0f / range : 0.0f, range != 0.0f ? fogFar / range : 0.0f};
        SetFloatArray(fx, params[SHADER_PARAM_FOG_PARAMETER], fog, 2);
        const D3DXMATRIX& wv = *block.worldView.Get();
        const D3DXVECTOR4 column(wv._13, wv._23, wv._33, wv._43);
        SetVector(fx, params[SHADER_PARAM_FOG_TRANSFORM], &column);
    }
    if (flags & SHADER_FLAG_SLIDE_TEXTURE) {
        SetFloat(fx, params[SHADER_PARAM_SLIDE_TEXTURE_U], block.slideTextureU);
        SetFloat(fx, params[SHADER_PARAM_SLIDE_TEXTURE_V], block.slideTextureV);
    }
    if (flags & SHADER_FLAG_VERTEX_EXTRUSION) SetFloat(fx, params[SHADER_PARAM_VERTEX_EXTRUSION], block.vertexExtrusion);
    if (flags & SHADER_FLAG_MORPH) SetFloat(fx, params[SHADER_PARAM_MORPH_WEIGHT], block.morphWeight);
    if (flags & SHADER_FLAG_CAMERA_POS) {
        VornVector3 eye;
        VornCamera::GetPosition(VORN_INVALID_HANDLE, &eye);
        const D3DXVECTOR4 v(eye.x, eye.y, eye.z, 0.0f);
        SetVector(fx, params[SHADER_PARAM_CAMERA_POS], &v);
    }
    if (flags & SHADER_FLAG_TRANSFORM) SetMatrix(fx, params[SHADER_PARAM_TRANSFORM], block.worldViewProjection.Get());
    if (flags & SHADER_FLAG_WORLD) SetMatrix(fx, params[SHADER_PARAM_WORLD], block.world.Get());
    if (flags & SHADER_FLAG_WORLD_VIEW) SetMatrix(fx, params[SHADER_PARAM_WORLD_VIEW], block.worldView.Get());
    if (flags & SHADER_FLAG_LIGHTS) {
        VornLightData lights;
        VornLight::GetLightData(&lights);
        BOOL isUse[4], isDirectional[4];
        D3DXVECTOR4 parameter[4];
        for (uint32_t i = 0; i < 4; ++i) {
            isUse[i] = lights.isUse[i] ? TRUE : FALSE;
            isDirectional[i] = lights.isDirectional[i] ? TRUE : FALSE;
            parameter[i] = D3DXVECTOR4(0.0f, 0.0f, 0.0f, 0.0f);
            if (!lights.isUse[i]) continue;
            D3DXVECTOR3 v;
            if (lights.isDirectional[i]) {
                const D3DXVECTOR3 d(lights.direction[i].x, lights.direction[i].y, lights.direction[i].z);
                D3DXVec3TransformNormal(&v, &d, block.lightDirection.Get());
                D3DXVec3Normalize(&v, &v);
            } else {
                const D3DXVECTOR3 p(lights.position[i].x, lights.position[i].y, lights.position[i].z);
                D3DXVec3TransformCoord(&v, &p, block.lightPosition.Get());
            }
            parameter[i] = D3DXVECTOR4(v.x, v.y, v.z, 0.0f);
        }
        SetBoolArray(fx, params[SHADER_PARAM_LIGHT_IS_USE], isUse, 4);
        SetBoolArray(fx, params[SHADER_PARAM_LIGHT_IS_DIRECTIONAL], isDirectional, 4);
        SetFloatArray(fx, params[SHADER_PARAM_LIGHT_ATTENUATION], lights.attenuation, 4);
        SetVectorArray(fx, params[SHADER_PARAM_LIGHT_COLOR], lights.colour, 4);
        SetVectorArray(fx, params[SHADER_PARAM_LIGHT_PARAMETER], parameter, 4);
    }
}

VornFxEffect* VornShaderFx::GetEffect(VornShaderFxHandle fx) { return Effect(fx); }
