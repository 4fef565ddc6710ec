#include "VornFxEffect.h"
#include <algorithm>
#include <cstring>
#include <new>

// ---- states straight to the device ----------------------------------------------------------

bool VornFxDeviceStates::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value)
{
    return device_ && SUCCEEDED(device_->GetRenderState(state, value));
}

void VornFxDeviceStates::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    if (device_) device_->SetRenderState(state, value);
}

bool VornFxDeviceStates::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value)
{
    return device_ && SUCCEEDED(device_->GetSamplerState(sampler, type, value));
}

void VornFxDeviceStates::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    if (device_) device_->SetSamplerState(sampler, type, value);
}

// ---- creation -------------------------------------------------------------------------------

HRESULT VornFxEffect::Create(IDirect3DDevice9* device, const void* text, uint32_t size, VornFxStates* states,
                             VornFxEffect** effect, std::string* errors)
{
    if (effect) *effect = nullptr;
    if (!device || !text || !effect) {
        if (errors) *errors = "(0): no device or no effect text";
        return D3DERR_INVALIDCALL;
    }
    VornFxEffect* e = new (std::nothrow) VornFxEffect();
    if (!e) return E_OUTOFMEMORY;
    HRESULT hr = e->Build(device, static_cast<const char*>(text), size, states, errors);
    if (FAILED(hr)) {
        e->Release();
        return hr;
    }
    *effect = e;
    return D3D_OK;
}

HRESULT VornFxEffect::Build(IDirect3DDevice9* device, const char* text, uint32_t size, VornFxStates* states,
                            std::string* errors)
{
    device_ = device;
    device_->AddRef();
    deviceStates_ = VornFxDeviceStates(device);
    states_ = states ? states : &deviceStates_;

    VornFxDescription desc;
    std::string message;
    if (!VornFxParse(text, size, &desc, &message)) {
        if (errors) *errors = message;
        return E_FAIL;
    }
    params_.resize(desc.parameters.size());
    for (size_t i = 0; i < desc.parameters.size(); ++i) {
        Parameter& p = params_[i];
        p.desc = desc.parameters[i];
        const uint32_t n = p.desc.ScalarCount();
        if (p.desc.type == VornFxBaseType::Float) {
            p.floats.assign(n, 0.0f);
            for (uint32_t k = 0; k < n && k < p.desc.initial.size(); ++k) p.floats[k] = static_cast<float>(p.desc.initial[k]);
        } else if (p.desc.type == VornFxBaseType::Int || p.desc.type == VornFxBaseType::Bool) {
            p.ints.assign(n, 0);
            for (uint32_t k = 0; k < n && k < p.desc.initial.size(); ++k)
                p.ints[k] = p.desc.type == VornFxBaseType::Bool ? (p.desc.initial[k] != 0.0 ? 1 : 0)
                                                                 : static_cast<INT>(p.desc.initial[k]);
        } else if (p.desc.type == VornFxBaseType::Sampler && !p.desc.samplerTexture.empty()) {
            for (size_t t = 0; t < desc.parameters.size(); ++t)
                if (desc.parameters[t].name == p.desc.samplerTexture && desc.parameters[t].type == VornFxBaseType::Texture)
                    p.samplerTexture = static_cast<int>(t);
            if (p.samplerTexture < 0) {
                if (errors)
                    *errors = "(" + std::to_string(p.desc.line) + "): sampler '" + p.desc.name +
                              "' names no texture parameter '" + p.desc.samplerTexture + "'";
                return E_FAIL;
            }
        }
    }
    if (desc.techniques.empty()) {
        if (errors) *errors = "(0): the effect has no technique";
        return E_FAIL;
    }
    hlsl_ = desc.hlsl;
    for (const VornFxPassDesc& pd : desc.techniques[0].passes) {
        Pass pass;
        pass.states = pd.states;
        pass.setsVertexShader = pd.vertexShader.assigned;
        pass.setsPixelShader = pd.pixelShader.assigned;
        if (pd.vertexShader.assigned && !pd.vertexShader.profile.empty()) {
            pass.vs = CompileShader(pd.vertexShader, true, desc, errors);
            if (pass.vs < 0) return E_FAIL;
        }
        if (pd.pixelShader.assigned && !pd.pixelShader.profile.empty()) {
            pass.ps = CompileShader(pd.pixelShader, false, desc, errors);
            if (pass.ps < 0) return E_FAIL;
        }
        passes_.push_back(pass);
    }
    return D3D_OK;
}

int VornFxEffect::CompileShader(const VornFxShaderDesc& shader, bool vertex, const VornFxDescription& desc,
                                std::string* errors)
{
    const char* kind = vertex ? "VertexShader" : "PixelShader";
    const std::string where = "(" + std::to_string(shader.line) + "): " + kind + " " + shader.profile + " " + shader.function;
    std::string key = shader.profile + " " + shader.function;
    for (const std::string& a : shader.arguments) key += "," + a;
    for (size_t i = 0; i < shaders_.size(); ++i)
        if (shaders_[i].key == key) return static_cast<int>(i);

    if (shader.profile.compare(0, 3, vertex ? "vs_" : "ps_") != 0) {
        if (errors) *errors = where + ": not a " + (vertex ? "vertex" : "pixel") + " shader profile";
        return -1;
    }
    std::string entry = VornFxEntryPoint(desc, shader, &hlsl_, errors);
    if (entry.empty()) return -1;

    ID3DXBuffer* code = nullptr;
    ID3DXBuffer* messages = nullptr;
    ID3DXConstantTable* table = nullptr;
    HRESULT hr = D3DXCompileShader(hlsl_.c_str(), static_cast<UINT>(hlsl_.size()), nullptr, nullptr, entry.c_str(),
                                   shader.profile.c_str(), 0, &code, &messages, &table);
    if (FAILED(hr) || !code || !table) {
        if (errors) {
            *errors = where + ": ";
            if (messages && messages->GetBufferPointer())
                errors->append(static_cast<const char*>(messages->GetBufferPointer()),
                               strnlen(static_cast<const char*>(messages->GetBufferPointer()), messages->GetBufferSize()));
            else
                *errors += "compilation failed";
        }
        if (messages) messages->Release();
        if (code) code->Release();
        if (table) table->Release();
        return -1;
    }
    if (messages) messages->Release();

    Shader s;
    s.key = key;
    s.constants = table;
    const DWORD* function = static_cast<const DWORD*>(code->GetBufferPointer());
    hr = vertex ? device_->CreateVertexShader(function, &s.vs) : device_->CreatePixelShader(function, &s.ps);
    code->Release();
    if (FAILED(hr)) {
        if (errors) *errors = where + ": the device refused the shader";
        table->Release();
        return -1;
    }
    D3DXCONSTANTTABLE_DESC td;
    if (SUCCEEDED(table->GetDesc(&td))) {
        for (UINT i = 0; i < td.Constants; ++i) {
            D3DXHANDLE c = table->GetConstant(nullptr, i);
            D3DXCONSTANT_DESC cd;
            UINT count = 1;
            if (!c || FAILED(table->GetConstantDesc(c, &cd, &count)) || !cd.Name) continue;
            for (size_t p = 0; p < params_.size(); ++p) {
                if (params_[p].desc.name == cd.Name) {
                    s.bindings.push_back({static_cast<uint32_t>(p), cd.RegisterSet, cd.RegisterIndex, cd.RegisterCount,
                                          cd.Class, cd.Rows, cd.Columns, cd.Elements});
                    break;
                }
            }
        }
    }
    shaders_.push_back(s);
    return static_cast<int>(shaders_.size() - 1);
}

VornFxEffect::~VornFxEffect()
{
    for (Parameter& p : params_)
        if (p.texture) p.texture->Release();
    for (Shader& s : shaders_) {
        if (s.vs) s.vs->Release();
        if (s.ps) s.ps->Release();
        if (s.constants) s.constants->Release();
    }
    for (auto& saved : savedTextures_)
        if (saved.second) saved.second->Release();
    if (device_) device_->Release();
}

ULONG VornFxEffect::AddRef()
{
    return ++refs_;
}

ULONG VornFxEffect::Release()
{
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

uint32_t VornFxEffect::GetPassCount() const
{
    return static_cast<uint32_t>(passes_.size());
}

// ---- parameters -----------------------------------------------------------------------------

D3DXHANDLE VornFxEffect::GetParameterByName(D3DXHANDLE parent, const char* name) const
{
    if (parent || !name) return nullptr;
    for (const Parameter& p : params_)
        if (p.desc.name == name) return reinterpret_cast<D3DXHANDLE>(&p);
    return nullptr;
}

const VornFxEffect::Parameter* VornFxEffect::Find(D3DXHANDLE h) const
{
    if (!h || params_.empty()) return nullptr;
    const uintptr_t base = reinterpret_cast<uintptr_t>(params_.data());
    const uintptr_t at = reinterpret_cast<uintptr_t>(h);
    if (at < base || at >= base + params_.size() * sizeof(Parameter) || (at - base) % sizeof(Parameter) != 0)
        return nullptr;   // not a handle of this effect
    return &params_[(at - base) / sizeof(Parameter)];
}

VornFxEffect::Parameter* VornFxEffect::Find(D3DXHANDLE h)
{
    return const_cast<Parameter*>(static_cast<const VornFxEffect*>(this)->Find(h));
}

template <typename T>
HRESULT VornFxEffect::Write(D3DXHANDLE h, uint32_t offset, const T* values, uint32_t count)
{
    Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    switch (p->desc.type) {
    case VornFxBaseType::Float:
        for (uint32_t i = 0; i < count && offset + i < p->floats.size(); ++i)
            p->floats[offset + i] = static_cast<float>(values[i]);
        break;
    case VornFxBaseType::Int:
        for (uint32_t i = 0; i < count && offset + i < p->ints.size(); ++i) p->ints[offset + i] = static_cast<INT>(values[i]);
        break;
    case VornFxBaseType::Bool:
        for (uint32_t i = 0; i < count && offset + i < p->ints.size(); ++i) p->ints[offset + i] = values[i] != 0 ? 1 : 0;
        break;
    default:
        return D3DERR_INVALIDCALL;
    }
    p->dirty = true;
    return D3D_OK;
}

HRESULT VornFxEffect::SetBool(D3DXHANDLE h, BOOL value)
{
    const BOOL v = value ? TRUE : FALSE;
    return Write(h, 0, &v, 1);
}

HRESULT VornFxEffect::SetBoolArray(D3DXHANDLE h, const BOOL* values, UINT count)
{
    Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    if (p->desc.type != VornFxBaseType::Float) return Write(h, 0, values, count);   // bools keep 0 or 1
    for (UINT i = 0; i < count && i < p->floats.size(); ++i) p->floats[i] = values[i] ? 1.0f : 0.0f;
    p->dirty = true;
    return D3D_OK;
}

HRESULT VornFxEffect::SetInt(D3DXHANDLE h, INT value) { return Write(h, 0, &value, 1); }
HRESULT VornFxEffect::SetIntArray(D3DXHANDLE h, const INT* values, UINT count) { return Write(h, 0, values, count); }
HRESULT VornFxEffect::SetFloat(D3DXHANDLE h, FLOAT value) { return Write(h, 0, &value, 1); }
HRESULT VornFxEffect::SetFloatArray(D3DXHANDLE h, const FLOAT* values, UINT count) { return Write(h, 0, values, count); }

HRESULT VornFxEffect::SetVector(D3DXHANDLE h, const D3DXVECTOR4* value)
{
    return SetVectorArray(h, value, 1);
}

HRESULT VornFxEffect::SetVectorArray(D3DXHANDLE h, const D3DXVECTOR4* values, UINT count)
{
    Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    const uint32_t stride = p->desc.rows * p->desc.columns;
    for (uint32_t i = 0; i < count && i < p->desc.ElementCount(); ++i) {
        const float v[4] = {values[i].x, values[i].y, values[i].z, values[i].w};
        HRESULT hr = Write(h, i * stride, v, std::min<uint32_t>(4, stride));
        if (FAILED(hr)) return hr;
    }
    return D3D_OK;
}

HRESULT VornFxEffect::WriteMatrices(D3DXHANDLE h, const D3DXMATRIX* values, UINT count, bool transpose)
{
    Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    const uint32_t rows = std::min<uint32_t>(4, p->desc.rows), columns = std::min<uint32_t>(4, p->desc.columns);
    const uint32_t stride = p->desc.rows * p->desc.columns;
    for (uint32_t i = 0; i < count && i < p->desc.ElementCount(); ++i) {
        float v[16];
        for (uint32_t r = 0; r < rows; ++r)
            for (uint32_t c = 0; c < columns; ++c) v[r * p->desc.columns + c] = transpose ? values[i].m[c][r] : values[i].m[r][c];
        HRESULT hr = Write(h, i * stride, v, stride);
        if (FAILED(hr)) return hr;
    }
    return D3D_OK;
}

HRESULT VornFxEffect::SetMatrix(D3DXHANDLE h, const D3DXMATRIX* value) { return WriteMatrices(h, value, 1, false); }
HRESULT VornFxEffect::SetMatrixArray(D3DXHANDLE h, const D3DXMATRIX* values, UINT count)
{
    return WriteMatrices(h, values, count, false);
}
HRESULT VornFxEffect::SetMatrixTranspose(D3DXHANDLE h, const D3DXMATRIX* value) { return WriteMatrices(h, value, 1, true); }
HRESULT VornFxEffect::SetMatrixTransposeArray(D3DXHANDLE h, const D3DXMATRIX* values, UINT count)
{
    return WriteMatrices(h, values, count, true);
}

HRESULT VornFxEffect::SetString(D3DXHANDLE h, const char* value)
{
    Parameter* p = Find(h);
    if (!p || !value || p->desc.type != VornFxBaseType::String) return D3DERR_INVALIDCALL;
    p->desc.stringValue = value;
    return D3D_OK;
}

HRESULT VornFxEffect::SetTexture(D3DXHANDLE h, IDirect3DBaseTexture9* texture)
{
    Parameter* p = Find(h);
    if (!p || p->desc.type != VornFxBaseType::Texture) return D3DERR_INVALIDCALL;
    if (texture) texture->AddRef();
    if (p->texture) p->texture->Release();
    p->texture = texture;
    p->dirty = true;
    return D3D_OK;
}

HRESULT VornFxEffect::GetFloatArray(D3DXHANDLE h, FLOAT* values, UINT count) const
{
    const Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < count; ++i) {
        if (i < p->floats.size()) values[i] = p->floats[i];
        else if (i < p->ints.size()) values[i] = static_cast<FLOAT>(p->ints[i]);
        else values[i] = 0.0f;
    }
    return p->floats.empty() && p->ints.empty() ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT VornFxEffect::GetIntArray(D3DXHANDLE h, INT* values, UINT count) const
{
    const Parameter* p = Find(h);
    if (!p || !values) return D3DERR_INVALIDCALL;
    for (UINT i = 0; i < count; ++i) {
        if (i < p->ints.size()) values[i] = p->ints[i];
        else if (i < p->floats.size()) values[i] = static_cast<INT>(p->floats[i]);
        else values[i] = 0;
    }
    return p->floats.empty() && p->ints.empty() ? D3DERR_INVALIDCALL : D3D_OK;
}

HRESULT VornFxEffect::GetBoolArray(D3DXHANDLE h, BOOL* values, UINT count) const
{
    HRESULT hr = GetIntArray(h, reinterpret_cast<INT*>(values), count);
    if (SUCCEEDED(hr))
        for (UINT i = 0; i < count; ++i) values[i] = values[i] ? TRUE : FALSE;
    return hr;
}

HRESULT VornFxEffect::GetMatrix(D3DXHANDLE h, D3DXMATRIX* value) const
{
    const Parameter* p = Find(h);
    if (!p || !value || p->floats.empty()) return D3DERR_INVALIDCALL;
    memset(static_cast<void*>(value), 0, sizeof *value);
    for (uint32_t r = 0; r < p->desc.rows && r < 4; ++r)
        for (uint32_t c = 0; c < p->desc.columns && c < 4; ++c) value->m[r][c] = p->floats[r * p->desc.columns + c];
    return D3D_OK;
}

HRESULT VornFxEffect::GetString(D3DXHANDLE h, const char** value) const
{
    const Parameter* p = Find(h);
    if (!p || !value || p->desc.type != VornFxBaseType::String) return D3DERR_INVALIDCALL;
    *value = p->desc.stringValue.c_str();
    return D3D_OK;
}

HRESULT VornFxEffect::GetTexture(D3DXHANDLE h, IDirect3DBaseTexture9** texture) const
{
    const Parameter* p = Find(h);
    if (!p || !texture || p->desc.type != VornFxBaseType::Texture) return D3DERR_INVALIDCALL;
    *texture = p->texture;
    return D3D_OK;
}

// ---- drawing --------------------------------------------------------------------------------

float VornFxEffect::FloatAt(const Parameter& p, uint32_t element, uint32_t row, uint32_t column) const
{
    if (element >= p.desc.ElementCount() || row >= p.desc.rows || column >= p.desc.columns) return 0.0f;
    const size_t i = (static_cast<size_t>(element) * p.desc.rows + row) * p.desc.columns + column;
    if (i < p.floats.size()) return p.floats[i];
    if (i < p.ints.size()) return static_cast<float>(p.ints[i]);
    return 0.0f;
}

// Register layout as the compiler chose it: one register per element of scalars and vectors, one
// per row of a row_major matrix, one per column of a column_major one (so that mul(v, M) with a
// row-vector matrix set by SetMatrix gives v x M).
void VornFxEffect::Upload(const Shader& shader, bool all)
{
    const bool vertex = shader.vs != nullptr;
    for (const Binding& b : shader.bindings) {
        const Parameter& p = params_[b.parameter];
        if (b.set == D3DXRS_SAMPLER) {
            const bool textureDirty = p.samplerTexture >= 0 && params_[p.samplerTexture].dirty;
            if (all || p.dirty || textureDirty) BindSampler(b, vertex);
            continue;
        }
        if (!all && !p.dirty) continue;
        const UINT count = b.registerCount;
        if (count == 0) continue;
        const UINT elements = b.elements ? b.elements : 1;
        if (b.set == D3DXRS_FLOAT4 || b.set == D3DXRS_INT4) {
            std::vector<float>& regs = scratchFloats_;
            regs.assign(static_cast<size_t>(count) * 4, 0.0f);
            for (UINT e = 0; e < elements; ++e) {
                if (b.cls == D3DXPC_MATRIX_ROWS) {
                    for (UINT r = 0; r < b.rows; ++r) {
                        const UINT reg = e * b.rows + r;
                        if (reg >= count) break;
                        for (UINT c = 0; c < b.columns && c < 4; ++c) regs[reg * 4 + c] = FloatAt(p, e, r, c);
                    }
                } else if (b.cls == D3DXPC_MATRIX_COLUMNS) {
                    for (UINT c = 0; c < b.columns; ++c) {
                        const UINT reg = e * b.columns + c;
                        if (reg >= count) break;
                        for (UINT r = 0; r < b.rows && r < 4; ++r) regs[reg * 4 + r] = FloatAt(p, e, r, c);
                    }
                } else {
                    if (e >= count) break;
                    for (UINT c = 0; c < b.columns && c < 4; ++c) regs[e * 4 + c] = FloatAt(p, e, 0, c);
                }
            }
            if (b.set == D3DXRS_FLOAT4) {
                if (vertex) device_->SetVertexShaderConstantF(b.registerIndex, regs.data(), count);
                else device_->SetPixelShaderConstantF(b.registerIndex, regs.data(), count);
            } else {
                std::vector<int>& ints = scratchInts_;
                ints.resize(regs.size());
                for (size_t i = 0; i < regs.size(); ++i) ints[i] = static_cast<int>(regs[i]);
                if (vertex) device_->SetVertexShaderConstantI(b.registerIndex, ints.data(), count);
                else device_->SetPixelShaderConstantI(b.registerIndex, ints.data(), count);
            }
        } else if (b.set == D3DXRS_BOOL) {
            std::vector<BOOL>& regs = scratchInts_;
            regs.assign(count, FALSE);
            const uint32_t scalars = p.desc.ScalarCount();
            for (UINT k = 0; k < count && k < scalars; ++k) {
                const float v = k < p.floats.size() ? p.floats[k] : (k < p.ints.size() ? static_cast<float>(p.ints[k]) : 0.0f);
                regs[k] = v != 0.0f ? TRUE : FALSE;
            }
            if (vertex) device_->SetVertexShaderConstantB(b.registerIndex, regs.data(), count);
            else device_->SetPixelShaderConstantB(b.registerIndex, regs.data(), count);
        }
    }
}

void VornFxEffect::BindSampler(const Binding& b, bool vertex)
{
    const Parameter& p = params_[b.parameter];
    if (p.desc.type != VornFxBaseType::Sampler) return;
    const DWORD stage = vertex ? D3DVERTEXTEXTURESAMPLER0 + b.registerIndex : b.registerIndex;
    for (const VornFxSamplerState& s : p.desc.samplerStates) SetSamplerState(stage, s.type, s.value);
    if (p.samplerTexture < 0) return;   // a sampler without a texture reads what the stage holds
    if (!(beginFlags_ & VORN_FX_DONOTSAVESTATE)) {
        bool saved = false;
        for (const auto& s : savedTextures_) saved = saved || s.first == stage;
        if (!saved) {
            IDirect3DBaseTexture9* before = nullptr;
            if (FAILED(device_->GetTexture(stage, &before))) before = nullptr;
            savedTextures_.push_back({stage, before});
        }
    }
    device_->SetTexture(stage, params_[p.samplerTexture].texture);
}

void VornFxEffect::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    if (!(beginFlags_ & VORN_FX_DONOTSAVESTATE)) {
        bool saved = false;
        for (const SavedRenderState& s : savedRender_) saved = saved || s.state == state;
        if (!saved) {
            DWORD before;
            if (!states_->GetRenderState(state, &before)) before = VornFxDefaultRenderState(state);
            savedRender_.push_back({state, before});
        }
    }
    states_->SetRenderState(state, value);
}

void VornFxEffect::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value)
{
    if (!(beginFlags_ & VORN_FX_DONOTSAVESTATE)) {
        bool saved = false;
        for (const SavedSamplerState& s : savedSampler_) saved = saved || (s.sampler == sampler && s.type == type);
        if (!saved) {
            DWORD before;
            if (!states_->GetSamplerState(sampler, type, &before)) before = VornFxDefaultSamplerState(type);
            savedSampler_.push_back({sampler, type, before});
        }
    }
    states_->SetSamplerState(sampler, type, value);
}

void VornFxEffect::UploadPass(bool all)
{
    const Pass& pass = passes_[static_cast<size_t>(currentPass_)];
    if (pass.vs >= 0) Upload(shaders_[static_cast<size_t>(pass.vs)], all);
    if (pass.ps >= 0) Upload(shaders_[static_cast<size_t>(pass.ps)], all);
    for (Parameter& p : params_) p.dirty = false;
}

HRESULT VornFxEffect::Begin(UINT* passes, DWORD flags)
{
    if (begun_) return D3DERR_INVALIDCALL;
    begun_ = true;
    beginFlags_ = flags;
    currentPass_ = -1;
    if (passes) *passes = static_cast<UINT>(passes_.size());
    return D3D_OK;
}

HRESULT VornFxEffect::BeginPass(UINT pass)
{
    if (!begun_ || currentPass_ >= 0 || pass >= passes_.size()) return D3DERR_INVALIDCALL;
    currentPass_ = static_cast<int>(pass);
    const Pass& p = passes_[pass];
    for (const VornFxRenderState& s : p.states) SetRenderState(s.state, s.value);
    if (p.setsVertexShader) device_->SetVertexShader(p.vs >= 0 ? shaders_[static_cast<size_t>(p.vs)].vs : nullptr);
    if (p.setsPixelShader) device_->SetPixelShader(p.ps >= 0 ? shaders_[static_cast<size_t>(p.ps)].ps : nullptr);
    UploadPass(true);
    return D3D_OK;
}

HRESULT VornFxEffect::CommitChanges()
{
    if (currentPass_ < 0) return D3D_OK;   // values go up at the next BeginPass
    UploadPass(false);
    return D3D_OK;
}

HRESULT VornFxEffect::EndPass()
{
    if (currentPass_ < 0) return D3DERR_INVALIDCALL;
    currentPass_ = -1;
    return D3D_OK;
}

HRESULT VornFxEffect::End()
{
    if (!begun_) return D3DERR_INVALIDCALL;
    currentPass_ = -1;
    begun_ = false;
    if (!(beginFlags_ & VORN_FX_DONOTSAVESTATE)) {
        for (auto it = savedRender_.rbegin(); it != savedRender_.rend(); ++it) states_->SetRenderState(it->state, it->value);
        for (auto it = savedSampler_.rbegin(); it != savedSampler_.rend(); ++it)
            states_->SetSamplerState(it->sampler, it->type, it->value);
        for (auto& saved : savedTextures_) {
            device_->SetTexture(saved.first, saved.second);
            if (saved.second) saved.second->Release();
        }
        if (!(beginFlags_ & VORN_FX_DONOTSAVESHADERSTATE)) {
            device_->SetVertexShader(nullptr);
            device_->SetPixelShader(nullptr);
        }
    }
    savedRender_.clear();
    savedSampler_.clear();
    savedTextures_.clear();
    beginFlags_ = 0;
    return D3D_OK;
}

HRESULT VornFxEffect::OnLostDevice()
{
    // Shaders and constants are not default-pool resources; nothing to let go of.
    return D3D_OK;
}

HRESULT VornFxEffect::OnResetDevice()
{
    for (Parameter& p : params_) p.dirty = true;   // the reset cleared the constant registers
    return D3D_OK;
}
