// VornFxParser: reads effect text (HLSL with parameters, sampler states and techniques) into a
// description, and writes the HLSL that the shader compiler accepts: the same text with the
// effect-only syntax (techniques, annotations, initialisers, sampler_state blocks, texture and
// string declarations) blanked out, line breaks kept so that compiler messages keep their lines.
#pragma once
#include <windows.h>
#include <d3d9.h>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

enum class VornFxBaseType : uint8_t { Bool, Int, Float, Texture, Sampler, String, Other };

struct VornFxSamplerState {
    D3DSAMPLERSTATETYPE type;
    DWORD value;
};

struct VornFxRenderState {
    D3DRENDERSTATETYPE state;
    DWORD value;
};

struct VornFxParameterDesc {
    std::string name;
    std::string semantic;
    VornFxBaseType type = VornFxBaseType::Other;
    uint32_t rows = 1, columns = 1;   // 1x1 scalar, 1xN vector, RxC matrix
    uint32_t elements = 0;            // 0: not an array
    std::vector<double> initial;      // numbers of the initialiser, in order (true = 1)
    std::string stringValue;          // string parameters
    std::string samplerTexture;       // sampler parameters: name of the texture parameter
    std::vector<VornFxSamplerState> samplerStates;
    int line = 0;

    uint32_t ElementCount() const { return elements ? elements : 1; }
    uint32_t ScalarCount() const { return ElementCount() * rows * columns; }
};

struct VornFxShaderDesc {
    bool assigned = false;   // the pass names this shader (a function or NULL)
    std::string profile;     // empty for NULL
    std::string function;
    std::vector<std::string> arguments;   // uniform arguments as written
    int line = 0;
};

struct VornFxPassDesc {
    std::string name;
    std::vector<VornFxRenderState> states;
    VornFxShaderDesc vertexShader, pixelShader;
};

struct VornFxTechniqueDesc {
    std::string name;
    std::vector<VornFxPassDesc> passes;
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

// Parses the text. On failure the message names the line ("(12): unknown render state 'Foo'").
bool VornFxParse(const char* text, size_t size, VornFxDescription* out, std::string* error);

// The HLSL entry point for a pass shader: the function itself, or, when the pass passes uniform
// arguments, a wrapper function appended to *hlsl that calls it with them. Empty on failure.
std::string VornFxEntryPoint(const VornFxDescription& desc, const VornFxShaderDesc& shader, std::string* hlsl,
                             std::string* error);

// The device's value of a render or sampler state before anybody set it.
DWORD VornFxDefaultRenderState(D3DRENDERSTATETYPE state);
DWORD VornFxDefaultSamplerState(D3DSAMPLERSTATETYPE type);
