// The effect layer: loading a model-like effect (parse and compile), and the cost of one draw's
// parameter setting, commit, Begin/BeginPass/EndPass/End through VornShaderFx on the engine's
// device (nothing drawn, so the figures are the layer's own). Prints figures; asserts nothing.
#include "BenchClock.h"
#include "Vorn.h"
#include "Vorn3D.h"
#include "VornCamera.h"
#include "VornLight.h"
#include "VornMath.h"
#include "VornMemory.h"
#include "VornShaderFx.h"
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kModelEffect[] =
    "float4x4 mTransform;\n"
    "float4x4 mWorld;\n"
    "float4x4 mWorldView;\n"
    "float4x3 mBoneMatrixArray[26];\n"
    "int BoneWeightCount;\n"
    "bool LightIsUse[4];\n"
    "bool LightIsDirectional[4];\n"
    "float LightAttenuation[4];\n"
    "float4 LightColor[4];\n"
    "float4 LightParameter[4];\n"
    "float4 MaterialDiffuse;\n"
    "float4 MaterialAmbient;\n"
    "float4 vCameraPos;\n"
    "float SlideTextureU, SlideTextureV;\n"
    "float VertexExtrusion;\n"
    "float MorphWeight;\n"
    "float FogParameter[2];\n"
    "float4 FogTransform;\n"
    "texture TextureStage0;\n"
    "sampler Sampler0 = sampler_state { Texture = <TextureStage0>; MinFilter = LINEAR; MagFilter = LINEAR; };\n"
    "struct VS_OUT { float4 pos : POSITION; float4 colour : COLOR0; float2 uv : TEXCOORD0; float fog : TEXCOORD1; };\n"
    "VS_OUT VS(float4 pos : POSITION, float3 normal : NORMAL, float2 uv : TEXCOORD0)\n"
    "{\n"
    "    VS_OUT o;\n"
    "    float4 p = pos + float4(normal * VertexExtrusion, 0);\n"
    "    float3 n = normalize(mul(normal, (float3x3)mWorld));\n"
    "    float4 light = MaterialAmbient;\n"
    "    for (int i = 0; i < 4; i++)\n"
    "        light += LightIsUse[i] * LightColor[i] * max(0, dot(n, -LightParameter[i].xyz)) * MaterialDiffuse;\n"
    "    o.pos = mul(p, mTransform);\n"
    "    o.colour = light;\n"
    "    o.uv = uv + float2(SlideTextureU, SlideTextureV);\n"
    "    o.fog = dot(p, FogTransform) * FogParameter[0] + FogParameter[1];\n"
    "    return o;\n"
    "}\n"
    "float4 PS(float4 colour : COLOR0, float2 uv : TEXCOORD0, float fog : TEXCOORD1) : COLOR0\n"
    "{\n"
    "    return lerp(float4(1, 1, 1, 1), tex2D(Sampler0, uv) * colour, saturate(fog));\n"
    "}\n"
    "technique T { pass { CullMode = CCW; ZEnable = TRUE; ZWriteEnable = TRUE; AlphaBlendEnable = FALSE;\n"
    "  VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n";

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcA(hwnd, msg, wp, lp); }

HWND MakeWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VornEffectBench";
    RegisterClassA(&wc);
    return CreateWindowA("VornEffectBench", "effect bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                         nullptr, wc.hInstance, nullptr);
}

}  // namespace

int main()
{
    VornMemory::Initialize();
    VornMemory::SetWorkArea(64u << 20, false);
    VornMath::Initialize();
    Vorn::SetScreenInfo(320, 240, true);
    HWND window = MakeWindow();
    if (!window || !Vorn3D::Initialize() || !Vorn3D::Start(window, true) || !VornShaderFx::Initialize() ||
        !VornCamera::Initialize() || !VornLight::Initialize()) {
        printf("effect bench: no device\n");
        return 1;
    }
    const uint32_t size = static_cast<uint32_t>(strlen(kModelEffect));

    VornFxDescription description;
    std::string errors;
    const int parses = 200;
    double start = Now();
    for (int i = 0; i < parses; ++i) VornFxParse(kModelEffect, size, &description, &errors);
    const double parseMs = (Now() - start) * 1000.0 / parses;

    const int loads = 10;
    VornShaderFxHandle fx = VORN_INVALID_HANDLE;
    start = Now();
    for (int i = 0; i < loads; ++i) {
        VornShaderFx::Release(fx);
        fx = VornShaderFx::CreateFromMemory(kModelEffect, size);
    }
    const double loadMs = (Now() - start) * 1000.0 / loads;
    if (fx == VORN_INVALID_HANDLE) {
        printf("effect bench: the effect did not compile\n");
        return 1;
    }

    D3DXHANDLE params[SHADER_PARAM_COUNT];
    VornShaderFx::GetParameterHandles(fx, params);
    VornLight::SetType(0, VornLight::TYPE_DIRECTIONAL);
    VornLight::SetDiffuse(0, 1, 1, 1);
    VornLight::SetEnable(0, true);
    VornRenderBlock block;
    const D3DXVECTOR4 material(1, 1, 1, 1);
    const int draws = 20000;
    Vorn3D::BeginScene();
    start = Now();
    for (int i = 0; i < draws; ++i) {
        VornShaderFx::SetSceneParameters(fx, params, 0xFF7, block);
        VornShaderFx::SetVector(fx, params[SHADER_PARAM_MATERIAL_DIFFUSE], &material);
        VornShaderFx::SetVector(fx, params[SHADER_PARAM_MATERIAL_AMBIENT], &material);
        VornShaderFx::CommitChanges(fx);
        uint32_t passes = 0;
        if (VornShaderFx::Begin(fx, &passes)) {
            for (uint32_t p = 0; p < passes; ++p) {
                VornShaderFx::BeginPass(fx, p);
                VornShaderFx::EndPass(fx);
            }
            VornShaderFx::End(fx);
        }
    }
    const double drawUs = (Now() - start) * 1e6 / draws;
    Vorn3D::EndScene();

    printf("effect bench: parse %.3f ms, load (parse + compile 2 shaders) %.2f ms, one draw's setup %.2f us "
           "(%d draws: %.1f ms)\n",
           parseMs, loadMs, drawUs, draws, drawUs * draws / 1000.0);
    VornShaderFx::Finalize();
    Vorn3D::Finalize();
    return 0;
}
