// VornFxEffect: the engine's effect layer. It stands where a compiled D3DX effect would: it reads
// effect text (parameters, samplers with their states, techniques of passes with render states
// and shaders), compiles every pass shader with D3DXCompileShader, keeps the parameter values and
// uploads them to the registers each shader's constant table names, binds textures to samplers,
// and applies and afterwards restores the render and sampler states of its passes.
//
// Where states go is the caller's choice (VornFxStates): straight to the device by default, or
// through the engine's state caches, so that a cache stays true across Begin and End.
#pragma once
#include "VornFxParser.h"
#include <windows.h>
#include <d3d9.h>
#include <d3dx9math.h>
#include <d3dx9shader.h>
#include <cstdint>
#include <string>
#include <vector>

// Begin flags, with the meaning the D3DX effect gives them.
constexpr DWORD VORN_FX_DONOTSAVESTATE = 1;         // End restores nothing
constexpr DWORD VORN_FX_DONOTSAVESHADERSTATE = 2;   // shaders are left as the last pass set them

// The path of render and sampler states. Get answers the value the states are known to hold
// (false: unknown); Set changes one.
class VornFxStates
{
public:
    virtual ~VornFxStates() = default;
    virtual bool GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) = 0;
    virtual void SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual bool GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) = 0;
    virtual void SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
};

// States straight to the device; the device is asked for the old values (a pure device cannot
// answer, and unknown states are restored to the device's start values).
class VornFxDeviceStates : public VornFxStates
{
public:
    explicit VornFxDeviceStates(IDirect3DDevice9* device) : device_(device) {}
    bool GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    void SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    bool GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) override;
    void SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override;

private:
    IDirect3DDevice9* device_;
};

class VornFxEffect
{
public:
    // Parses and compiles the text. states may be null (the device is used); when given, it must
    // outlive the effect. On failure *errors (when given) holds the message with its line.
    static HRESULT Create(IDirect3DDevice9* device, const void* text, uint32_t size, VornFxStates* states,
                          VornFxEffect** effect, std::string* errors);

    ULONG AddRef();
    ULONG Release();

    // A parameter by its declared name (exact, case-sensitive); null when there is none.
    D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) const;
    uint32_t GetParameterCount() const { return static_cast<uint32_t>(params_.size()); }
    // Techniques and passes: the first technique is the one drawn.
    uint32_t GetPassCount() const;

    HRESULT SetBool(D3DXHANDLE h, BOOL value);
    HRESULT SetBoolArray(D3DXHANDLE h, const BOOL* values, UINT count);
    HRESULT SetInt(D3DXHANDLE h, INT value);
    HRESULT SetIntArray(D3DXHANDLE h, const INT* values, UINT count);
    HRESULT SetFloat(D3DXHANDLE h, FLOAT value);
    HRESULT SetFloatArray(D3DXHANDLE h, const FLOAT* values, UINT count);
    HRESULT SetVector(D3DXHANDLE h, const D3DXVECTOR4* value);
    HRESULT SetVectorArray(D3DXHANDLE h, const D3DXVECTOR4* values, UINT count);
    HRESULT SetMatrix(D3DXHANDLE h, const D3DXMATRIX* value);
    HRESULT SetMatrixArray(D3DXHANDLE h, const D3DXMATRIX* values, UINT count);
    HRESULT SetMatrixTranspose(D3DXHANDLE h, const D3DXMATRIX* value);
    HRESULT SetMatrixTransposeArray(D3DXHANDLE h, const D3DXMATRIX* values, UINT count);
    HRESULT SetString(D3DXHANDLE h, const char* value);
    HRESULT SetTexture(D3DXHANDLE h, IDirect3DBaseTexture9* texture);

    // Values as stored (up to count scalars, in element, row, column order).
    HRESULT GetFloatArray(D3DXHANDLE h, FLOAT* values, UINT count) const;
    HRESULT GetIntArray(D3DXHANDLE h, INT* values, UINT count) const;
    HRESULT GetBoolArray(D3DXHANDLE h, BOOL* values, UINT count) const;
    HRESULT GetMatrix(D3DXHANDLE h, D3DXMATRIX* value) const;
    HRESULT GetString(D3DXHANDLE h, const char** value) const;
    HRESULT GetTexture(D3DXHANDLE h, IDirect3DBaseTexture9** texture) const;   // not add-refed

    HRESULT Begin(UINT* passes, DWORD flags);
    HRESULT BeginPass(UINT pass);
    HRESULT CommitChanges();
    HRESULT EndPass();
    HRESULT End();

    HRESULT OnLostDevice();
    HRESULT OnResetDevice();

private:
    struct Parameter {
        VornFxParameterDesc desc;
        std::vector<float> floats;   // float parameters
        std::vector<INT> ints;       // int and bool parameters (bools as 0/1)
        IDirect3DBaseTexture9* texture = nullptr;
        int samplerTexture = -1;     // samplers: index of their texture parameter
        bool dirty = true;
    };
    struct Binding {                 // one parameter in one shader's constant table
        uint32_t parameter;
        D3DXREGISTER_SET set;
        UINT registerIndex, registerCount;
        D3DXPARAMETER_CLASS cls;
        UINT rows, columns, elements;
    };
    struct Shader {
        std::string key;             // profile, entry point
        IDirect3DVertexShader9* vs = nullptr;
        IDirect3DPixelShader9* ps = nullptr;
        ID3DXConstantTable* constants = nullptr;
        std::vector<Binding> bindings;
    };
    struct Pass {
        std::vector<VornFxRenderState> states;
        bool setsVertexShader = false, setsPixelShader = false;
        int vs = -1, ps = -1;        // indices into shaders_, -1 for none
    };
    struct SavedRenderState { D3DRENDERSTATETYPE state; DWORD value; };
    struct SavedSamplerState { DWORD sampler; D3DSAMPLERSTATETYPE type; DWORD value; };

    VornFxEffect() = default;
    ~VornFxEffect();
    HRESULT Build(IDirect3DDevice9* device, const char* text, uint32_t size, VornFxStates* states, std::string* errors);
    int CompileShader(const VornFxShaderDesc& shader, bool vertex, const VornFxDescription& desc, std::string* errors);
    Parameter* Find(D3DXHANDLE h);
    const Parameter* Find(D3DXHANDLE h) const;
    template <typename T> HRESULT Write(D3DXHANDLE h, uint32_t offset, const T* values, uint32_t count);
    HRESULT WriteMatrices(D3DXHANDLE h, const D3DXMATRIX* values, UINT count, bool transpose);
    float FloatAt(const Parameter& p, uint32_t element, uint32_t row, uint32_t column) const;
    void Upload(const Shader& shader, bool all);
    void BindSampler(const Binding& b, bool vertex);
    void UploadPass(bool all);
    void SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
    void SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);

    ULONG refs_ = 1;
    IDirect3DDevice9* device_ = nullptr;
    VornFxStates* states_ = nullptr;
    VornFxDeviceStates deviceStates_{nullptr};
    std::vector<Parameter> params_;
    std::vector<Shader> shaders_;
    std::vector<Pass> passes_;            // of the first technique
    bool begun_ = false;
    DWORD beginFlags_ = 0;
    int currentPass_ = -1;
    std::vector<SavedRenderState> savedRender_;
    std::vector<SavedSamplerState> savedSampler_;
    std::vector<std::pair<DWORD, IDirect3DBaseTexture9*>> savedTextures_;   // stage, texture before
    std::string hlsl_;                    // the compiled text, with the entry wrappers
    std::vector<float> scratchFloats_;    // register images of one upload
    std::vector<INT> scratchInts_;
};
