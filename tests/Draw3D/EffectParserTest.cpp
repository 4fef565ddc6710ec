// The effect text reader: what it takes from the text and what it leaves for the shader compiler.
#include "VornFxParser.h"
#include "Checks.h"
#include <windows.h>
#include <d3d9.h>
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
        SCOPED_TRACE(e.name);
        const VornFxParameterDesc* p = Param(d, e.name);
        ASSERT_NE(nullptr, p);
        EXPECT_NAMED({"type", int(p->type), int(e.type)}, {"rows", p->rows, e.rows}, {"columns", p->columns, e.columns},
                     {"elements", p->elements, e.elements}, {"initial values", p->initial, e.initial});
    }
    const auto& an = Param(d, "mPalette")->annotations;
    ASSERT_NAMED({"mPalette annotations", an.size(), 2}, {"techniques", d.techniques.size(), 1});
    // '>' compares inside brackets.
    EXPECT_NAMED({"mWorld semantic", Param(d, "mWorld")->semantic, "WORLD"}, {"mWorld line", Param(d, "mWorld")->line, 1},
                 {"mPalette semantic", Param(d, "mPalette")->semantic, "BONES"}, {"Name", Param(d, "Name")->stringValue, "hello"},
                 {"mPalette Scale", an[0].values, std::vector<double>{1.0}}, {"mPalette UIName", an[1].text, "bones"},
                 {"technique Level", d.techniques[0].annotations[0].values, std::vector<double>{2}},
                 {"pass annotation", d.techniques[0].passes[0].annotations[0].name, "On"});
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
    EXPECT_NAMED({"HLSL bytes", d.hlsl.size(), strlen(text)}, {"HLSL lines", std::count(d.hlsl.begin(), d.hlsl.end(), '\n'), std::count(text, text + strlen(text), '\n')});
    for (const char* gone : {"WORLD <", "{1,0", "texture", "sampler_state", "technique", "shared"})
        EXPECT_EQ(std::string::npos, d.hlsl.find(gone)) << gone << " in " << d.hlsl;
    for (const char* kept : {"sampler S0", "float4x4 m : WORLD", "return tex2D(S0, uv) * k;"})
        EXPECT_NE(std::string::npos, d.hlsl.find(kept)) << kept << " not in " << d.hlsl;

    const VornFxParameterDesc* s = Param(d, "S0");
    ASSERT_NE(nullptr, s);
    ASSERT_EQ(2u, s->samplerStates.size());
    EXPECT_NAMED({"type", int(s->type), int(VornFxBaseType::Sampler)}, {"texture", s->samplerTexture, "Tex0"},
                 {"state 0", s->samplerStates[0].type, D3DSAMP_MINFILTER}, {"state 0 value", s->samplerStates[0].value, D3DTEXF_LINEAR},
                 {"state 1", s->samplerStates[1].type, D3DSAMP_ADDRESSU}, {"state 1 value", s->samplerStates[1].value, D3DTADDRESS_CLAMP});
    EXPECT_TRUE(Parse("sampler S = sampler_state { Texture = NULL; };\n").parameters[0].samplerTexture.empty());
    ASSERT_EQ(1u, d.techniques.size());
    ASSERT_EQ(1u, d.techniques[0].passes.size());
    const VornFxPassDesc& p = d.techniques[0].passes[0];
    ASSERT_EQ(1u, p.states.size());
    EXPECT_NAMED({"state", p.states[0].type, D3DRS_ZENABLE}, {"value", p.states[0].value, 0}, {"pixel shader", p.pixelShader.assigned, true},
                 {"its profile", p.pixelShader.profile, "ps_2_0"}, {"its function", p.pixelShader.function, "PS"},
                 {"vertex shader", p.vertexShader.assigned, false});
}

TEST(EffectParser, ByteOrderMarkAndWindowsLineEndsAreAccepted)
{
    const char text[] = "\xEF\xBB\xBF// effect\r\nfloat4x4 mTransform;\r\ntechnique T\r\n{\r\n pass P { CullMode = NONE; }\r\n}\r\n";
    VornFxDescription d = Parse(text);
    ASSERT_EQ(1u, d.parameters.size());
    EXPECT_NAMED({"line of mTransform", d.parameters[0].line, 2}, {"comment at", d.hlsl.find("// effect"), 0}, {"techniques", d.techniques.size(), 1});
    EXPECT_TRUE(Parse("").techniques.empty());
}

TEST(EffectParser, ShaderArraysIndexedPassesAndStatesOfEveryKindByNameNumberAndFlags)
{
    VornFxDescription d = Parse(
        "float4x3 pal[4]; int CurNumBones = 1; texture tex; float4x4 mW; int stencilRef = 1; float fogEnd;\n"
        "sampler S = sampler_state { Texture = <tex>; };\n"
        "VertexShader vsArray[2] = { asm { vs_2_0 mov oPos, v0 }, compile vs_2_0 VS() };\n"
        "float4 VS(float4 p : POSITION) : POSITION { return p; }\n"
        "technique T { pass {\n"
        "  VertexShader = (vsArray[CurNumBones]); PixelShader = asm { ps_2_0 mov oC0, c0 };\n"
        "  Texture[1] = <tex>; Sampler[2] = (S); ColorOp[0] = Modulate; ColorArg1[1] = Texture | Complement;\n"
        "  LightEnable[3] = true; WorldTransform[1] = <mW>; ViewTransform = <mW>; Wrap0 = U | V; Wrap15 = W;\n"
        "  StencilRef = <stencilRef>; FogEnd = fogEnd; MinFilter[2] = LINEAR;\n"
        "  VertexShaderConstantF[10] = <pal>; VertexShaderConstantI[2] = {1, 2, 3, 4}; PixelShaderConstantB[3] = true;\n"
        "  cullmode = none; SrcBlend = SrcAlpha; DestBlend = INVSRCALPHA; ZFunc = LessEqual; AlphaRef = 0x80; AlphaBlendEnable = true;\n"
        "  ColorWriteEnable = RED | BLUE; FogStart = 2.5; FillMode = WIREFRAME; StencilPass = INCR; BlendOp = REVSUBTRACT; AlphaTestEnable = (1);\n"
        "} pass Second { VertexShader = NULL; } }\ntechnique B { pass { } }\n");
    const VornFxParameterDesc* arr = Param(d, "vsArray");
    ASSERT_NE(nullptr, arr);
    ASSERT_EQ(2u, arr->shaders.size());
    ASSERT_NAMED({"techniques", d.techniques.size(), 2}, {"passes of T", d.techniques[0].passes.size(), 2});
    const VornFxPassDesc& p = d.techniques[0].passes[0];
    EXPECT_NAMED({"array type", int(arr->type), int(VornFxBaseType::VertexShader)}, {"shader 0 asm", arr->shaders[0].isAsm, true},
                 {"shader 0 text", arr->shaders[0].assembly, " vs_2_0 mov oPos, v0 "}, {"shader 1 function", arr->shaders[1].function, "VS"},
                 {"pass VertexShader", p.vertexShader.parameter, "vsArray"}, {"its index", p.vertexShader.indexParameter, "CurNumBones"},
                 {"pass PixelShader asm", p.pixelShader.isAsm, true});
    EXPECT_EQ(std::string::npos, d.hlsl.find("vsArray"));   // the compiler never sees the shader array
    using K = VornFxStateKind;
    const DWORD fogStartBits = 0x40200000;   // 2.5f
    const struct { K kind; uint32_t type, index, value; const char* parameter; } expected[] = {
        {K::Texture, 0, 1, 0, "tex"},         {K::SamplerObject, 0, 2, 0, "S"},
        {K::TextureStage, 1, 0, 4, ""},       {K::TextureStage, 2, 1, 0x12, ""},
        {K::LightEnable, 0, 3, 1, ""},        {K::Transform, 257, 1, 0, "mW"},
        {K::Transform, 2, 0, 0, "mW"},        {K::Render, 128, 0, 3, ""},
        {K::Render, 205, 0, 4, ""},           {K::Render, D3DRS_STENCILREF, 0, 0, "stencilRef"},
        {K::Render, D3DRS_FOGEND, 0, 0, "fogEnd"}, {K::Sampler, 6, 2, 2, ""},
        {K::VertexConstantF, 0, 10, 0, "pal"}, {K::VertexConstantI, 0, 2, 0, ""},
        {K::PixelConstantB, 0, 3, 0, ""},     {K::Render, D3DRS_CULLMODE, 0, D3DCULL_NONE, ""},
        {K::Render, D3DRS_SRCBLEND, 0, D3DBLEND_SRCALPHA, ""}, {K::Render, D3DRS_DESTBLEND, 0, D3DBLEND_INVSRCALPHA, ""},
        {K::Render, D3DRS_ZFUNC, 0, D3DCMP_LESSEQUAL, ""},    {K::Render, D3DRS_ALPHAREF, 0, 0x80, ""},
        {K::Render, D3DRS_ALPHABLENDENABLE, 0, 1, ""},        {K::Render, D3DRS_COLORWRITEENABLE, 0, 5, ""},
        {K::Render, D3DRS_FOGSTART, 0, fogStartBits, ""},     {K::Render, D3DRS_FILLMODE, 0, D3DFILL_WIREFRAME, ""},
        {K::Render, D3DRS_STENCILPASS, 0, D3DSTENCILOP_INCR, ""}, {K::Render, D3DRS_BLENDOP, 0, D3DBLENDOP_REVSUBTRACT, ""},
        {K::Render, D3DRS_ALPHATESTENABLE, 0, 1, ""},
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], p.states.size());
    for (size_t i = 0; i < p.states.size(); ++i) {
        SCOPED_TRACE("state " + std::to_string(i));
        const VornFxStateDesc& s = p.states[i];
        EXPECT_NAMED({"kind", int(s.kind), int(expected[i].kind)}, {"type", s.type, expected[i].type}, {"index", s.index, expected[i].index},
                     {"value", s.value, expected[i].value}, {"parameter", s.parameter, expected[i].parameter});
    }
    EXPECT_NAMED({"VertexShaderConstantI values", p.states[13].values, std::vector<double>{1, 2, 3, 4}}, {"PixelShaderConstantB values", p.states[14].values, std::vector<double>{1}});
    const VornFxPassDesc& second = d.techniques[0].passes[1];
    EXPECT_NAMED({"Second's VertexShader assigned", second.vertexShader.assigned, true}, {"its profile (NULL)", second.vertexShader.profile, ""});
}

TEST(EffectParser, BalancedDirectivesPassTheCheck)
{
    const char* fine = "#define N 4\n#if N > 2 /* #endif */\n#define B(x) (x) * N\n#elif 0\n#else\n#endif\n#define N 5\n";
    std::string error;
    EXPECT_TRUE(VornFxCheckDirectives(fine, strlen(fine), &error)) << error;
}
