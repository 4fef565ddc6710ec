// VornFxParser: reads effect text (HLSL with parameters, sampler states, shader arrays and
// techniques) into a description, and writes the HLSL that the shader compiler accepts: the same
// text with the effect-only syntax (techniques, annotations, initialisers, sampler_state blocks,
// texture, string and shader declarations) blanked out, line breaks kept so that compiler
// messages keep their lines. Plain C++: text in, description out; the numbers of states are the
// Direct3D 9 ones, so the caller passes them on unchanged.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class VornFxBaseType : uint8_t { Bool, Int, Float, Texture, Sampler, String, VertexShader, PixelShader, Other };

// What a text may declare; beyond these the parse fails with a message.
constexpr uint32_t VORN_FX_MAX_ELEMENTS = 65536;        // elements of one array
constexpr uint64_t VORN_FX_MAX_SCALARS = 1u << 20;      // values of one parameter
constexpr uint64_t VORN_FX_MAX_TOTAL_SCALARS = 1u << 22;   // values of all parameters together
constexpr size_t VORN_FX_MAX_TEXT = 16u << 20;          // bytes of effect text
constexpr int VORN_FX_MAX_NESTING = 64;                 // brackets inside one value or expression

struct VornFxAnnotation {
    VornFxBaseType type = VornFxBaseType::Other;
    std::string name;
    std::vector<double> values;   // numbers (true = 1)
    std::string text;             // strings
};

struct VornFxSamplerState {
    uint32_t type;    // D3DSAMPLERSTATETYPE
    uint32_t value;
};

struct VornFxShaderDesc {
    bool assigned = false;   // the pass names this shader (NULL included)
    bool isAsm = false;      // an asm { } block
    std::string profile;     // compile: the profile; empty for NULL, asm and a shader parameter
    std::string function;
    std::vector<std::string> arguments;   // uniform arguments as written
    std::string assembly;    // asm: the text between the braces
    std::string parameter;   // a shader parameter (or array) named by the pass
    std::string indexParameter;   // its element chosen by this int parameter at BeginPass
    uint32_t index = 0;      // or this fixed element
    int line = 0;
};

struct VornFxParameterDesc {
    std::string name;
    std::string semantic;
    VornFxBaseType type = VornFxBaseType::Other;
    uint32_t rows = 1, columns = 1;   // 1x1 scalar, 1xN vector, RxC matrix (each 1..4)
    uint32_t elements = 0;            // 0: not an array
    bool rowMajor = false;            // declared row_major
    std::vector<double> initial;      // numbers of the initialiser, in order (true = 1)
    std::string stringValue;          // string parameters
    std::string samplerTexture;       // sampler parameters: name of the texture parameter
    std::vector<VornFxSamplerState> samplerStates;
    std::vector<VornFxShaderDesc> shaders;   // shader parameters: one per element
    std::vector<VornFxAnnotation> annotations;
    int line = 0;

    uint32_t ElementCount() const { return elements ? elements : 1; }
    uint64_t ScalarCount() const { return static_cast<uint64_t>(ElementCount()) * rows * columns; }
};

enum class VornFxStateKind : uint8_t {
    Render,          // type: D3DRENDERSTATETYPE
    TextureStage,    // index: stage, type: D3DTEXTURESTAGESTATETYPE
    Sampler,         // index: sampler, type: D3DSAMPLERSTATETYPE
    Texture,         // index: stage; parameter: a texture
    SamplerObject,   // index: stage; parameter: a sampler whose states and texture go there
    LightEnable,     // index: light
    Transform,       // type: D3DTRANSFORMSTATETYPE; parameter: a matrix
    VertexConstantF, VertexConstantI, VertexConstantB,   // index: first register
    PixelConstantF, PixelConstantI, PixelConstantB,
};

struct VornFxStateDesc {
    VornFxStateKind kind = VornFxStateKind::Render;
    uint32_t type = 0;
    uint32_t index = 0;
    uint32_t value = 0;           // the value when no parameter gives it
    bool isFloat = false;         // the state takes a float's bits
    std::string parameter;        // the value comes from this parameter when it changes
    std::vector<double> values;   // constants written as numbers
    int line = 0;
};

struct VornFxPassDesc {
    std::string name;
    std::vector<VornFxAnnotation> annotations;
    std::vector<VornFxStateDesc> states;
    VornFxShaderDesc vertexShader, pixelShader;
    int line = 0;
};

struct VornFxTechniqueDesc {
    std::string name;
    std::vector<VornFxAnnotation> annotations;
    std::vector<VornFxPassDesc> passes;
    int line = 0;
};

struct VornFxFunctionDesc {
    std::string name;
    std::string returnType;   // as written, modifiers included
    std::string parameters;   // the text between the parentheses
    std::string semantic;     // ": SEMANTIC" after the parameter list, or empty
};

struct VornFxDescription {
    std::vector<VornFxParameterDesc> parameters;
    std::vector<VornFxTechniqueDesc> techniques;
    std::vector<VornFxFunctionDesc> functions;
    std::string hlsl;
};

// Parses the text (already preprocessed). On failure the message names the line
// ("(12): unknown render state 'Foo'") and *out is left empty.
bool VornFxParse(const char* text, size_t size, VornFxDescription* out, std::string* error);

// Checks the preprocessor lines of one file before the preprocessor runs: every #if closed by an
// #endif, no #else or #endif without its #if, no macro that expands to more than `maxTokens`
// tokens, none that expands into itself. On failure the message names the line.
bool VornFxCheckDirectives(const char* text, size_t size, std::string* error, uint64_t maxTokens = 1u << 20);

// The HLSL entry point for a pass shader: the function itself, or, when the pass passes uniform
// arguments, a wrapper function appended to *hlsl that calls it with them. Empty on failure.
std::string VornFxEntryPoint(const VornFxDescription& desc, const VornFxShaderDesc& shader, std::string* hlsl,
                             std::string* error);

// A number of the text as an int (towards zero), or false when it is outside the int range or no number.
bool VornFxToInt(double value, int32_t* out);

// The device's value of a state before anybody set it.
uint32_t VornFxDefaultRenderState(uint32_t state);
uint32_t VornFxDefaultSamplerState(uint32_t type);
uint32_t VornFxDefaultTextureStageState(uint32_t stage, uint32_t type);
