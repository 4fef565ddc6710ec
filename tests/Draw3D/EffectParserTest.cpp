// The effect text reader: what it takes from the text and what it leaves for the shader compiler.
#include "VornFxParser.h"
#include <windows.h>
#include <d3d9.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>

namespace {

VornFxDescription Parse(const char* text)
{
    VornFxDescription d;
    std::string error;
    EXPECT_TRUE(VornFxParse(text, strlen(text), &d, &error)) << error;
    return d;
}

const VornFxParameterDesc* Param(const VornFxDescription& d, const char* name)
{
    for (const auto& p : d.parameters)
        if (p.name == name) return &p;
    return nullptr;
}

std::string ParseError(const char* text)
{
    VornFxDescription d;
    std::string error;
    EXPECT_FALSE(VornFxParse(text, strlen(text), &d, &error));
    return error;
}

}  // namespace

TEST(EffectParser, ReadsParameterShapesSemanticsAnnotationsAndInitialValues)
{
    const char* text =
        "float4x4 mWorld : WORLD < string UIName = \"world>\"; >;\n"
        "float4x3 mBoneMatrixArray[26];\n"
        "bool LightIsUse[4] = {true, false, 1, 0};\n"
        "float FogParameter[2] = { -0.5, 2.0e1 };\n"
        "float4 LightColor = float4(1, 0.5, -.25, 0x10);\n"
        "int BoneWeightCount = 3, Other;\n"
        "static const float kHidden = 2.0;\n"
        "uniform extern matrix mTransform;\n"
        "vector<float, 3> v3;\n"
        "string Name = \"hello\";\n"
        "technique T { pass P { } }\n";
    VornFxDescription d = Parse(text);
    ASSERT_EQ(10u, d.parameters.size());
    const struct { const char* name; VornFxBaseType type; uint32_t rows, columns, elements; } shapes[] = {
        {"mWorld", VornFxBaseType::Float, 4, 4, 0},       {"mBoneMatrixArray", VornFxBaseType::Float, 4, 3, 26},
        {"LightIsUse", VornFxBaseType::Bool, 1, 1, 4},     {"Other", VornFxBaseType::Int, 1, 1, 0},
        {"mTransform", VornFxBaseType::Float, 4, 4, 0},   {"v3", VornFxBaseType::Float, 1, 3, 0},
    };
    for (const auto& e : shapes) {
        const VornFxParameterDesc* p = Param(d, e.name);
        ASSERT_NE(nullptr, p) << e.name;
        EXPECT_TRUE(p->type == e.type && p->rows == e.rows && p->columns == e.columns && p->elements == e.elements)
            << e.name << ": " << p->rows << "x" << p->columns << "[" << p->elements << "]";
    }
    EXPECT_EQ("WORLD", Param(d, "mWorld")->semantic);
    EXPECT_EQ(1, Param(d, "mWorld")->line);
    EXPECT_EQ((std::vector<double>{1, 0, 1, 0}), Param(d, "LightIsUse")->initial);
    EXPECT_EQ((std::vector<double>{-0.5, 20.0}), Param(d, "FogParameter")->initial);
    EXPECT_EQ((std::vector<double>{1, 0.5, -0.25, 16}), Param(d, "LightColor")->initial);
    EXPECT_EQ((std::vector<double>{3}), Param(d, "BoneWeightCount")->initial);
    EXPECT_EQ(nullptr, Param(d, "kHidden"));   // statics are not parameters
    EXPECT_EQ("hello", Param(d, "Name")->stringValue);
}

TEST(EffectParser, LeavesPlainHlslForTheCompilerWithLinesKept)
{
    const char* text =
        "float4x4 m : WORLD <int a = 1;> = {1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1};\n"
        "texture Tex0;\n"
        "sampler S0 = sampler_state {\n"
        "  Texture = <Tex0>; MinFilter = LINEAR; AddressU = CLAMP;\n"
        "};\n"
        "shared float k;\n"
        "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(S0, uv) * k; }\n"
        "technique T\n{\n  pass P0 { ZEnable = FALSE; PixelShader = compile ps_2_0 PS(); }\n}\n";
    VornFxDescription d = Parse(text);
    EXPECT_EQ(strlen(text), d.hlsl.size());
    EXPECT_EQ(std::count(text, text + strlen(text), '\n'), std::count(d.hlsl.begin(), d.hlsl.end(), '\n'));
    for (const char* gone : {"WORLD <", "{1,0", "texture", "sampler_state", "technique", "shared"})
        EXPECT_EQ(std::string::npos, d.hlsl.find(gone)) << gone << " in " << d.hlsl;
    for (const char* kept : {"sampler S0", "float4x4 m : WORLD", "return tex2D(S0, uv) * k;"})
        EXPECT_NE(std::string::npos, d.hlsl.find(kept)) << kept << " not in " << d.hlsl;

    const VornFxParameterDesc* s = Param(d, "S0");
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(VornFxBaseType::Sampler, s->type);
    EXPECT_EQ("Tex0", s->samplerTexture);
    ASSERT_EQ(2u, s->samplerStates.size());
    EXPECT_EQ(static_cast<uint32_t>(D3DSAMP_MINFILTER), s->samplerStates[0].type);
    EXPECT_EQ(static_cast<DWORD>(D3DTEXF_LINEAR), s->samplerStates[0].value);
    EXPECT_EQ(static_cast<uint32_t>(D3DSAMP_ADDRESSU), s->samplerStates[1].type);
    VornFxDescription n = Parse("sampler S = sampler_state { Texture = NULL; };\n");
    EXPECT_TRUE(n.parameters[0].samplerTexture.empty());
    EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_CLAMP), s->samplerStates[1].value);
    ASSERT_EQ(1u, d.techniques.size());
    ASSERT_EQ(1u, d.techniques[0].passes.size());
    const VornFxPassDesc& p = d.techniques[0].passes[0];
    ASSERT_EQ(1u, p.states.size());
    EXPECT_EQ(static_cast<uint32_t>(D3DRS_ZENABLE), p.states[0].type);
    EXPECT_EQ(0u, p.states[0].value);
    EXPECT_TRUE(p.pixelShader.assigned);
    EXPECT_EQ("ps_2_0", p.pixelShader.profile);
    EXPECT_EQ("PS", p.pixelShader.function);
    EXPECT_FALSE(p.vertexShader.assigned);
}

TEST(EffectParser, PassStateValuesByNameNumberAndFlags)
{
    VornFxDescription d = Parse(
        "technique A { pass { cullmode = none; SrcBlend = SrcAlpha; DestBlend = INVSRCALPHA; ZFunc = LessEqual;\n"
        "  AlphaRef = 0x80; AlphaBlendEnable = true; ColorWriteEnable = RED | BLUE; FogStart = 2.5;\n"
        "  FillMode = WIREFRAME; StencilPass = INCR; BlendOp = REVSUBTRACT; AlphaTestEnable = (1);\n"
        "  VertexShader = NULL; } pass Second { } }\n"
        "technique B { pass { } }\n");
    ASSERT_EQ(2u, d.techniques.size());
    ASSERT_EQ(2u, d.techniques[0].passes.size());
    const auto& s = d.techniques[0].passes[0].states;
    float fogStart = 2.5f;
    DWORD fogBits;
    memcpy(&fogBits, &fogStart, 4);
    const DWORD expected[12] = {D3DCULL_NONE, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DCMP_LESSEQUAL, 0x80, 1, 5,
                                fogBits, D3DFILL_WIREFRAME, D3DSTENCILOP_INCR, D3DBLENDOP_REVSUBTRACT, 1};
    ASSERT_EQ(12u, s.size());
    EXPECT_EQ(static_cast<uint32_t>(D3DRS_CULLMODE), s[0].type);
    EXPECT_EQ(static_cast<uint32_t>(D3DRS_ALPHATESTENABLE), s[11].type);
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(expected[i], s[i].value) << i;
    EXPECT_TRUE(d.techniques[0].passes[0].vertexShader.assigned);
    EXPECT_TRUE(d.techniques[0].passes[0].vertexShader.profile.empty());
}

TEST(EffectParser, ErrorsNameTheirLine)
{
    EXPECT_EQ("(3): unknown pass state 'ZEnabel'",
              ParseError("float4x4 m;\ntechnique T {\n pass P { ZEnabel = TRUE; }\n}\n"));
    EXPECT_EQ("(2): unknown value 'SIDEWAYS' for 'CullMode'",
              ParseError("technique T {\n pass P { CullMode = SIDEWAYS; }\n}\n"));
    EXPECT_EQ("(1): ';' expected after 'a'", ParseError("float a b;\n"));
    EXPECT_EQ("(4): unknown sampler state 'Filter'",
              ParseError("texture t;\nsampler s = sampler_state {\n Texture = <t>;\n Filter = LINEAR;\n};\n"));
    EXPECT_EQ("(2): unclosed '{'", ParseError("float4 PS() : COLOR\n{ return 1;\n"));
    EXPECT_EQ("(1): Sampler[] takes a sampler parameter: <name>", ParseError("technique T { pass { Sampler[0] = (s); } }"));
}

TEST(EffectParser, TruncatedOrEmptyTextIsSafe)
{
    const char* text = "float4x4 m : WORLD < string s = \"unterminated";
    for (size_t n = 0; n <= strlen(text); ++n) {
        VornFxDescription d;
        std::string error;
        VornFxParse(text, n, &d, &error);   // must neither crash nor read past n
    }
    VornFxDescription d;
    std::string error;
    EXPECT_TRUE(VornFxParse("", 0, &d, &error));
    EXPECT_TRUE(d.techniques.empty());
}

TEST(EffectParser, ByteOrderMarkAndWindowsLineEndsAreAccepted)
{
    const char text[] = "\xEF\xBB\xBF// effect\r\nfloat4x4 mTransform;\r\ntechnique T\r\n{\r\n pass P { CullMode = NONE; }\r\n}\r\n";
    VornFxDescription d = Parse(text);
    ASSERT_EQ(1u, d.parameters.size());
    EXPECT_EQ(2, d.parameters[0].line);
    EXPECT_EQ(0u, d.hlsl.find("// effect"));
    EXPECT_EQ(1u, d.techniques.size());
}

TEST(EffectParser, MutatedTextNeverHangsOrReadsOutside)
{
    const std::string base =
        "float4x4 m : WORLD <string s = \"x\";> = {1,0,0,0};\n"
        "texture t;\nsampler s = sampler_state { Texture = <t>; MinFilter = LINEAR; };\n"
        "struct O { float4 p : POSITION; };\n"
        "O VS(float4 p : POSITION, uniform int n) { O o; o.p = mul(p, m) * n; return o; }\n"
        "technique T { pass P < int a = 1; > { ZEnable = TRUE; VertexShader = compile vs_2_0 VS(2); } }\n";
    const char alphabet[] = "{}()<>[];:=,\"/*\n #xA0.-|";
    uint32_t seed = 12345;
    auto next = [&] { seed = seed * 1103515245u + 12345u; return (seed >> 8) & 0xFFFF; };
    for (int round = 0; round < 3000; ++round) {
        std::string text = base;
        const int edits = 1 + next() % 4;
        for (int e = 0; e < edits; ++e) {
            const size_t at = next() % text.size();
            switch (next() % 3) {
            case 0: text.erase(at, 1 + next() % 8); break;
            case 1: text.insert(at, 1, alphabet[next() % (sizeof alphabet - 1)]); break;
            default: text[at] = static_cast<char>(next() & 0xFF); break;
            }
            if (text.empty()) text = "x";
        }
        // Parsed from a buffer of exactly its size, so a read past the end would be caught by the heap checks.
        std::vector<char> exact(text.begin(), text.end());
        VornFxDescription d;
        std::string error;
        if (VornFxParse(exact.data(), exact.size(), &d, &error)) {
            for (const auto& t : d.techniques)
                for (const auto& p : t.passes)
                    if (p.vertexShader.assigned && !p.vertexShader.function.empty()) {
                        std::string hlsl = d.hlsl;
                        VornFxEntryPoint(d, p.vertexShader, &hlsl, &error);
                    }
        } else {
            EXPECT_EQ('(', error[0]) << error;
        }
    }
}
