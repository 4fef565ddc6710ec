// VornFxEffect: the engine's effect layer. It stands where a compiled D3DX effect would: it runs
// the preprocessor over the effect text, reads it (VornFxParser), compiles the shaders of every
// technique with D3DXCompileShader or assembles their asm blocks with D3DXAssembleShader, keeps
// the parameter values and uploads them to the registers each shader's constant table names (or
// the pass names for asm shaders), binds textures to samplers, and applies and afterwards
// restores the states of its passes. A fault of the text fails the whole effect; a technique that
// the compiler cannot make (a feature it has not implemented) or that the device cannot draw, its
// passes applied, falls back to the next, and the first one the device can draw is drawn.
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
    virtual bool GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) = 0;
    virtual void SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
    virtual bool GetLightEnable(DWORD index, BOOL* on) = 0;
    virtual void SetLightEnable(DWORD index, BOOL on) = 0;
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
    bool GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    void SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    bool GetLightEnable(DWORD index, BOOL* on) override;
    void SetLightEnable(DWORD index, BOOL on) override;

private:
    IDirect3DDevice9* device_;
};

class VornFxEffect
{
public:
    // Preprocesses (with the macros, and #include through `include`; null reads files from the
    // current folder), parses and compiles the text. states may be null (the device is used); when
    // given, it must outlive the effect. On failure *errors (when given) holds the message with its
    // file and line ("(12): ..." in the text itself, "name.fxh(3): ..." in an include); *warnings
    // (when given) the reasons of techniques that fell back, a line each.
    static HRESULT Create(IDirect3DDevice9* device, const void* text, uint32_t size, const D3DXMACRO* macros,
                          ID3DXInclude* include, VornFxStates* states, VornFxEffect** effect, std::string* errors,
                          std::string* warnings = nullptr);

    ULONG AddRef();
    ULONG Release();

    // A parameter by its declared name (exact, case-sensitive); null when there is none.
    D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) const;
    // A parameter by its semantic (case does not matter); null when there is none.
    D3DXHANDLE GetParameterBySemantic(D3DXHANDLE parent, const char* semantic) const;
    uint32_t GetParameterCount() const { return static_cast<uint32_t>(params_.size()); }
    // The annotations of a parameter, technique or pass, read with the getters below.
    D3DXHANDLE GetAnnotation(D3DXHANDLE object, UINT index) const;
    D3DXHANDLE GetAnnotationByName(D3DXHANDLE object, const char* name) const;

    // Techniques in the order of the text; the current one is drawn (the first valid after Create).
    // Validity is asked of the device with every pass applied (outside Begin and End only).
    uint32_t GetTechniqueCount() const { return static_cast<uint32_t>(techniques_.size()); }
    D3DXHANDLE GetTechnique(UINT index) const;
    D3DXHANDLE GetTechniqueByName(const char* name) const;
    D3DXHANDLE GetCurrentTechnique() const;
    D3DXHANDLE GetPass(D3DXHANDLE technique, UINT index) const;
    HRESULT SetTechnique(D3DXHANDLE technique);   // refused for a technique that could not be made
    HRESULT ValidateTechnique(D3DXHANDLE technique);
    // The first valid technique after `technique` (null: from the start); S_FALSE and null when none.
    HRESULT FindNextValidTechnique(D3DXHANDLE technique, D3DXHANDLE* next);
    uint32_t GetPassCount() const;   // of the current technique

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
        std::vector<int> shaders;    // shader parameters: per element an index into shaders_ (-1: NULL)
        bool dirty = true;
        const void* owner = nullptr; // annotations: the parameter, technique or pass they belong to
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
    struct ShaderRef {               // what a pass sets as its vertex or pixel shader
        bool set = false;
        int shader = -1;             // an index into shaders_, -1 for none
        int parameter = -1;          // or an element of this shader parameter
        int indexParameter = -1;     // picked by this int parameter's value
        uint32_t index = 0;          // or this fixed one
    };
    struct State {
        VornFxStateDesc desc;
        int parameter = -1;          // where the value comes from
    };
    struct Pass {
        std::vector<State> states;
        ShaderRef vs, ps;
        int line = 0;
    };
    struct Technique {
        std::string name;
        std::vector<Pass> passes;
        bool built = false;          // its shaders were made
    };
    struct SourceLine {              // where a line of the preprocessed text came from
        uint32_t file;               // index into files_
        uint32_t line;
    };
    struct Saved {                   // a state before the effect changed it
        VornFxStateKind kind;
        DWORD type, index, value;
    };

    VornFxEffect() = default;
    ~VornFxEffect();
    HRESULT Build(IDirect3DDevice9* device, const char* text, uint32_t size, VornFxStates* states, std::string* errors,
                  std::string* warnings);
    HRESULT Preprocess(const char* text, uint32_t size, const D3DXMACRO* macros, ID3DXInclude* include,
                       std::string* out, std::string* errors);
    std::string Place(uint32_t line) const;
    std::string Relocate(const std::string& message) const;
    // On failure *fallback tells a technique that may fall back from a fault of the text.
    bool BuildTechnique(const VornFxTechniqueDesc& td, const VornFxDescription& desc, Technique* t, std::string* errors,
                        bool* fallback);
    bool BuildShaderRef(const VornFxShaderDesc& sd, bool vertex, const VornFxDescription& desc, ShaderRef* ref,
                        std::string* errors, bool* fallback);
    int CompileShader(const VornFxShaderDesc& shader, bool vertex, const VornFxDescription& desc, std::string* errors,
                      bool* fallback);
    HRESULT Validate(Technique& t, std::string* why);
    int ParameterIndex(const std::string& name) const;
    int ResolveShader(const ShaderRef& ref) const;
    void ApplyState(const State& s);
    void SetConstants(const State& s);
    DWORD StateValue(const State& s) const;
    bool SaveState(VornFxStateKind kind, DWORD type, DWORD index);
    void SetTexture(DWORD stage, IDirect3DBaseTexture9* texture);
    Parameter* Find(D3DXHANDLE h);
    const Parameter* Find(D3DXHANDLE h) const;
    const Technique* FindTechnique(D3DXHANDLE h) const;
    template <typename T> HRESULT Write(D3DXHANDLE h, uint32_t offset, const T* values, uint32_t count);
    HRESULT WriteMatrices(D3DXHANDLE h, const D3DXMATRIX* values, UINT count, bool transpose);
    float FloatAt(const Parameter& p, uint32_t element, uint32_t row, uint32_t column) const;
    void Upload(const Shader& shader, bool all);
    void BindSampler(const Binding& b, bool vertex);
    void UploadPass(bool all);
    void SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);

    ULONG refs_ = 1;
    IDirect3DDevice9* device_ = nullptr;
    VornFxStates* states_ = nullptr;
    VornFxDeviceStates deviceStates_{nullptr};
    std::vector<Parameter> params_;
    std::vector<Shader> shaders_;
    std::vector<Parameter> annotations_;
    std::vector<Technique> techniques_;
    Technique* technique_ = nullptr;      // the current one
    bool begun_ = false;
    DWORD beginFlags_ = 0;
    int currentPass_ = -1;
    int currentVs_ = -2, currentPs_ = -2; // shaders the current pass has set (-2: not yet)
    std::vector<Saved> saved_;
    std::vector<std::pair<DWORD, IDirect3DBaseTexture9*>> savedTextures_;   // stage, texture before
    std::vector<std::pair<DWORD, D3DMATRIX>> savedTransforms_;
    std::string hlsl_;                    // the compiled text, with the entry wrappers
    std::vector<std::string> files_;      // "" (the effect text), then each include by its name
    std::vector<SourceLine> lines_;       // per line of the preprocessed text
    std::vector<float> scratchFloats_;    // register images of one upload
    std::vector<INT> scratchInts_;
};
