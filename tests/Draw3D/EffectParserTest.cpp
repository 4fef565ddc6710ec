// The effect text reader: what it takes from the text and what it leaves for the shader compiler.
#include "VornFxParser.h"
#include <windows.h>
#include <d3d9.h>
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <string>

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
    const auto p = std::find_if(d.parameters.begin(), d.parameters.end(), [name](const VornFxParameterDesc& q) { return q.name == name; });
    return p == d.parameters.end() ? nullptr : &*p;
}

}  // namespace

TEST(EffectParser, ReadsParameterShapesSemanticsAnnotationsAndInitialValues)
{
    VornFxDescription d = Parse(
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
        "static const int MAX_MATRICES = 26;\n"
        "static const float kThird = 1.0 / 3.0;\n"
        "float4x3 mPalette[MAX_MATRICES] : BONES < float Scale = 2 * 0.5; string UIName = \"bones\"; >;\n"
        "float a = 1-0.2, b = 1.0/3.0, c[3] = {(1 << 4) | 1, MAX_MATRICES % 4, -kThird * 3};\n"
        "int n = (int)2.7 + !0;\n"
        "static const float3 kUp = normalize(float3(0, 1, 0)), kSide = {1, 0, 0};\n"
        "technique T < int Level = (2 > 1) + 1; > { pass P < bool On = true; > { } }\n");
    using B = VornFxBaseType;
    const struct { const char* name; B type; uint32_t rows, columns, elements; std::vector<double> initial; } params[] = {
        {"mWorld", B::Float, 4, 4, 0, {}},                      {"mBoneMatrixArray", B::Float, 4, 3, 26, {}},
        {"LightIsUse", B::Bool, 1, 1, 4, {1, 0, 1, 0}},         {"FogParameter", B::Float, 1, 1, 2, {-0.5, 20.0}},
        {"LightColor", B::Float, 1, 4, 0, {1, 0.5, -0.25, 16}}, {"BoneWeightCount", B::Int, 1, 1, 0, {3}},
        {"Other", B::Int, 1, 1, 0, {}},                         {"mTransform", B::Float, 4, 4, 0, {}},
        {"v3", B::Float, 1, 3, 0, {}},                          {"mPalette", B::Float, 4, 3, 26, {}},
        {"a", B::Float, 1, 1, 0, {1 - 0.2}},                    {"b", B::Float, 1, 1, 0, {1.0 / 3.0}},
        {"c", B::Float, 1, 1, 3, {17, 2, -1.0}},                {"n", B::Int, 1, 1, 0, {3}},
    };
    ASSERT_EQ(15u, d.parameters.size());   // those and Name: statics are not parameters
    for (const auto& e : params) {
        const VornFxParameterDesc* p = Param(d, e.name);
        ASSERT_NE(nullptr, p) << e.name;
        EXPECT_TRUE(p->type == e.type && p->rows == e.rows && p->columns == e.columns && p->elements == e.elements && p->initial == e.initial)
            << e.name << ": " << p->rows << "x" << p->columns << "[" << p->elements << "], " << p->initial.size() << " values";
    }
    for (const char* hidden : {"kHidden", "kThird", "kUp", "MAX_MATRICES"}) EXPECT_EQ(nullptr, Param(d, hidden)) << hidden;
    EXPECT_EQ(std::make_tuple(std::string("WORLD"), 1, std::string("BONES"), std::string("hello")),
              std::make_tuple(Param(d, "mWorld")->semantic, Param(d, "mWorld")->line, Param(d, "mPalette")->semantic, Param(d, "Name")->stringValue));
    const auto& an = Param(d, "mPalette")->annotations;
    ASSERT_EQ(2u, an.size());
    EXPECT_EQ(std::make_pair(std::vector<double>{1.0}, std::string("bones")), std::make_pair(an[0].values, an[1].text));
    ASSERT_EQ(1u, d.techniques.size());
    // '>' compares inside brackets.
    EXPECT_EQ(std::make_pair(std::vector<double>{2}, std::string("On")),
              std::make_pair(d.techniques[0].annotations[0].values, d.techniques[0].passes[0].annotations[0].name));
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
    ASSERT_EQ(2u, s->samplerStates.size());
    EXPECT_EQ(std::make_tuple(VornFxBaseType::Sampler, std::string("Tex0"), uint32_t(D3DSAMP_MINFILTER), DWORD(D3DTEXF_LINEAR),
                              uint32_t(D3DSAMP_ADDRESSU), DWORD(D3DTADDRESS_CLAMP)),
              std::make_tuple(s->type, s->samplerTexture, s->samplerStates[0].type, s->samplerStates[0].value,
                              s->samplerStates[1].type, s->samplerStates[1].value));
    EXPECT_TRUE(Parse("sampler S = sampler_state { Texture = NULL; };\n").parameters[0].samplerTexture.empty());
    ASSERT_EQ(1u, d.techniques.size());
    ASSERT_EQ(1u, d.techniques[0].passes.size());
    const VornFxPassDesc& p = d.techniques[0].passes[0];
    ASSERT_EQ(1u, p.states.size());
    EXPECT_EQ(std::make_tuple(uint32_t(D3DRS_ZENABLE), 0u, true, std::string("ps_2_0"), std::string("PS"), false),
              std::make_tuple(p.states[0].type, p.states[0].value, p.pixelShader.assigned, p.pixelShader.profile,
                              p.pixelShader.function, p.vertexShader.assigned));
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
    EXPECT_EQ(std::make_pair(uint32_t(D3DRS_CULLMODE), uint32_t(D3DRS_ALPHATESTENABLE)), std::make_pair(s[0].type, s[11].type));
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(expected[i], s[i].value) << i;
    EXPECT_TRUE(d.techniques[0].passes[0].vertexShader.assigned && d.techniques[0].passes[0].vertexShader.profile.empty());
}

TEST(EffectParser, ByteOrderMarkAndWindowsLineEndsAreAccepted)
{
    const char text[] = "\xEF\xBB\xBF// effect\r\nfloat4x4 mTransform;\r\ntechnique T\r\n{\r\n pass P { CullMode = NONE; }\r\n}\r\n";
    VornFxDescription d = Parse(text);
    ASSERT_EQ(1u, d.parameters.size());
    EXPECT_EQ(std::make_tuple(2, size_t(0), size_t(1)), std::make_tuple(d.parameters[0].line, d.hlsl.find("// effect"), d.techniques.size()));
    EXPECT_TRUE(Parse("").techniques.empty());
}

TEST(EffectParser, ShaderArraysIndexedPassesAndStatesOfEveryKind)
{
    VornFxDescription d = Parse(
        "float4x3 pal[4]; int CurNumBones = 1; texture tex; float4x4 mW; int cullParam = 1; float fogStart;\n"
        "sampler S = sampler_state { Texture = <tex>; };\n"
        "VertexShader vsArray[2] = { asm { vs_2_0 mov oPos, v0 }, compile vs_2_0 VS() };\n"
        "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
        "technique T { pass {\n"
        "  VertexShader = (vsArray[CurNumBones]); PixelShader = asm { ps_2_0 mov oC0, c0 };\n"
        "  Texture[1] = <tex>; Sampler[2] = (S); ColorOp[0] = Modulate; ColorArg1[1] = Texture | Complement;\n"
        "  LightEnable[3] = true; WorldTransform[1] = <mW>; ViewTransform = <mW>; Wrap0 = U | V; Wrap15 = W;\n"
        "  CullMode = <cullParam>; FogStart = fogStart; MinFilter[2] = LINEAR;\n"
        "  VertexShaderConstantF[10] = <pal>; VertexShaderConstantI[2] = {1, 2, 3, 4}; PixelShaderConstantB[3] = true;\n"
        "} }\n");
    const VornFxParameterDesc* arr = Param(d, "vsArray");
    ASSERT_NE(nullptr, arr);
    ASSERT_EQ(2u, arr->shaders.size());
    EXPECT_EQ(std::make_tuple(VornFxBaseType::VertexShader, true, std::string(" vs_2_0 mov oPos, v0 "), std::string("VS")),
              std::make_tuple(arr->type, arr->shaders[0].isAsm, arr->shaders[0].assembly, arr->shaders[1].function));
    EXPECT_EQ(std::string::npos, d.hlsl.find("vsArray"));   // the compiler never sees the shader array
    const VornFxPassDesc& p = d.techniques[0].passes[0];
    EXPECT_EQ(std::make_tuple(std::string("vsArray"), std::string("CurNumBones"), true),
              std::make_tuple(p.vertexShader.parameter, p.vertexShader.indexParameter, p.pixelShader.isAsm));
    using K = VornFxStateKind;
    const struct { K kind; uint32_t type, index, value; const char* parameter; } expected[] = {
        {K::Texture, 0, 1, 0, "tex"},         {K::SamplerObject, 0, 2, 0, "S"},
        {K::TextureStage, 1, 0, 4, ""},       {K::TextureStage, 2, 1, 0x12, ""},
        {K::LightEnable, 0, 3, 1, ""},        {K::Transform, 257, 1, 0, "mW"},
        {K::Transform, 2, 0, 0, "mW"},        {K::Render, 128, 0, 3, ""},
        {K::Render, 205, 0, 4, ""},           {K::Render, 22, 0, 0, "cullParam"},
        {K::Render, 36, 0, 0, "fogStart"},    {K::Sampler, 6, 2, 2, ""},
        {K::VertexConstantF, 0, 10, 0, "pal"}, {K::VertexConstantI, 0, 2, 0, ""},
        {K::PixelConstantB, 0, 3, 0, ""},
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], p.states.size());
    for (size_t i = 0; i < p.states.size(); ++i) {
        const VornFxStateDesc& s = p.states[i];
        EXPECT_TRUE(s.kind == expected[i].kind && s.type == expected[i].type && s.index == expected[i].index &&
                    s.value == expected[i].value && s.parameter == expected[i].parameter)
            << i << ": " << static_cast<int>(s.kind) << " " << s.type << " [" << s.index << "] = " << s.value << " <" << s.parameter << ">";
    }
    EXPECT_EQ((std::vector<double>{1, 2, 3, 4}), p.states[13].values);
    EXPECT_EQ((std::vector<double>{1}), p.states[14].values);
}

TEST(EffectParser, BalancedDirectivesPassTheCheck)
{
    const char* fine = "#define N 4\n#if N > 2 /* #endif */\n#define B(x) (x) * N\n#elif 0\n#else\n#endif\n#define N 5\n";
    std::string error;
    EXPECT_TRUE(VornFxCheckDirectives(fine, strlen(fine), &error)) << error;
}
