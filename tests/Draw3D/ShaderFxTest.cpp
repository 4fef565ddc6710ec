// The effect table: loading by name with references, the override, the vocabulary of 23 names,
// the scene parameters chosen by the flag word, compile errors in the log, the state caches.
#include "EngineFixture.h"
#include "VornLight.h"
#include "VornShaderFx.h"

using namespace vorntest;

namespace {

const char kFogEffect[] =
    "float4x4 mTransform; float FogParameter[2]; struct VS_OUT { float4 pos : POSITION; float fog : TEXCOORD0; };\n"
    "VS_OUT VS(float4 pos : POSITION)\n"
    "{ VS_OUT o; o.pos = mul(pos, mTransform); o.fog = o.pos.w * FogParameter[0] + FogParameter[1]; return o; }\n"
    "float4 PS(float fog : TEXCOORD0) : COLOR0 { return float4(fog, 0, 0, 1); }\n" VORN_TEST_PLAIN_PASS;

const char kPlainEffect[] =
    "float4 mWorld = {1, 2, 3, 4}; float4 vCameraPos = {5, 6, 7, 8}; bool LightIsUse[4] = {true, true, true, true};\n"
    "float4x4 mTransform; technique T { pass { } }\n";

// Begin, pass 0 with `inside` run in it, and End; false when Begin refuses.
template <typename F> bool OnePass(VornShaderFxHandle fx, F inside)
{
    uint32_t passes = 0;
    if (!VornShaderFx::Begin(fx, &passes)) return false;
    VornShaderFx::BeginPass(fx, 0);
    inside();
    VornShaderFx::EndPass(fx);
    VornShaderFx::End(fx);
    return true;
}

VornShaderFxHandle FromMemory(const char* text) { return VornShaderFx::CreateFromMemory(text, static_cast<uint32_t>(strlen(text))); }

using ShaderFx = EngineWith<VornShaderFx, VornCamera, VornLight>;

}  // namespace

TEST_F(ShaderFx, SameNameTwiceGivesTheSameRecordAndLetterCaseCounts)
{
    LogCapture log;
    const std::string path = TestFolder() + "\\twice.fx";
    WriteFile(path, std::vector<unsigned char>(kPlainEffect, kPlainEffect + strlen(kPlainEffect)));
    const VornShaderFxHandle a = VornShaderFx::CreateFromFile(path.c_str()), b = VornShaderFx::CreateFromFile(path.c_str());
    ASSERT_NE(VORN_INVALID_HANDLE, a);
    EXPECT_NAMED({"second load", b, a}, {"references", VornShaderFx::GetRefCount(a), 2});
    const VornShaderFxHandle c = VornShaderFx::CreateFromFile((path.substr(0, path.size() - 8) + "TWICE.FX").c_str());
    EXPECT_EQ(1u, c);   // a record of its own
    VornShaderFx::Release(a);   // (a shared effect outliving one release: the override test)
    VornShaderFx::Release(a);
    const std::string text = log.Text();
    EXPECT_NAMED({"Already Existed lines", CountIn(text, "[ No.0 ] : Already Existed : "), 1}, {"Release lines", CountIn(text, Red("VornShaderFx::Release")), 1},
                 {"CreateFromFile lines", CountIn(text, Blue("VornShaderFx::CreateFromFile") + " : [ " + path + " ] : "), 2});
}

TEST_F(ShaderFx, CompileErrorMissingFileOverlongNameAndFullTableAreRefused)
{
    LogCapture log;
    const char* broken =
        "float4x4 mTransform;\n"
        "float4 VS(float4 p : POSITION) : POSITION { return mul(p, mTransfrom); }\n"
        "technique T { pass { VertexShader = compile vs_2_0 VS(); } }\n";
    EXPECT_EQ(VORN_INVALID_HANDLE, FromMemory(broken));
    EXPECT_EQ(0u, FromMemory(kPlainEffect));   // the record was given back
    VornShaderFx::Release(0);
    EXPECT_EQ(VORN_INVALID_HANDLE, VornShaderFx::CreateFromFile("no_such_effect.fx"));
    EXPECT_EQ(VORN_INVALID_HANDLE, VornShaderFx::CreateFromFile(std::string(256, 'a').c_str()));
    VornShaderFx::Finalize();
    VornShaderFx::SetMax(2);
    ASSERT_TRUE(VornShaderFx::Initialize());
    EXPECT_EQ((std::vector<VornShaderFxHandle>{0, 1, VORN_INVALID_HANDLE}),   // a braced list makes the calls in order
              (std::vector<VornShaderFxHandle>{FromMemory(kPlainEffect), FromMemory(kPlainEffect), FromMemory(kPlainEffect)}));
    // A technique the compiler cannot make falls back to the next, its text logged as a warning.
    VornShaderFx::Release(0);
    EXPECT_EQ(0u, FromMemory("float4 f;\nfloat4 VS(float4 p : POSITION) : POSITION { if (f.x > 0) p.x = 0; return p; }\n"
                             "technique A { pass { VertexShader = compile vs_2_0 VS(); } }\ntechnique B { pass { } }\n"));
    EXPECT_TRUE(HasAll(log.Text(), {Red("ファイルの読み込みに失敗しました"), Red("ファイル名が長すぎます"),
                                    Red("空きエフェクトが見つかりませんでした。"), Red("エフェクトの読み込みに失敗しました。"), "mTransfrom",
                                    "  -> Shader Compile Error [(3): VertexShader vs_2_0 VS: ",
                                    "<B>  -> Shader Compile Warning [(3): VertexShader vs_2_0 VS: (2,48): E5017: "}));
    EXPECT_EQ(4, log.Count(Green("Complete")));
    VornShaderFx::SetMax(0);
}

TEST_F(ShaderFx, OverrideStandsInForEveryHandle)
{
    VornShaderFxHandle plain = FromMemory(kPlainEffect);
    VornShaderFxHandle fog = FromMemory(kFogEffect);
    EXPECT_EQ(nullptr, VornShaderFx::GetParameterByName(plain, "FogParameter"));
    uint32_t passes = 0;
    EXPECT_FALSE(VornShaderFx::Begin(VORN_INVALID_HANDLE, &passes));
    VornShaderFx::SetOverride(fog);
    EXPECT_EQ(2u, VornShaderFx::GetRefCount(fog));
    EXPECT_NE(nullptr, VornShaderFx::GetParameterByName(plain, "FogParameter"));
    const bool begun = VornShaderFx::Begin(VORN_INVALID_HANDLE, &passes);
    ASSERT_NAMED({"Begin through the override", begun, true}, {"passes", passes, 1});
    VornShaderFx::End(12345);
    // Setting the same override again keeps it alive, when it holds the only reference too.
    VornShaderFx::Release(fog);
    VornShaderFx::SetOverride(fog);
    EXPECT_NAMED({"references", VornShaderFx::GetRefCount(fog), 1}, {"effect kept", VornShaderFx::GetEffect(fog) != nullptr, true});
    VornShaderFx::SetOverride(VORN_INVALID_HANDLE);
    EXPECT_NAMED({"references after the override ends", VornShaderFx::GetRefCount(fog), 0},
                 {"FogParameter through the plain effect", static_cast<const void*>(VornShaderFx::GetParameterByName(plain, "FogParameter")), nullptr});
}

// A released handle reaches no effect: no pass state, no device call (counting and a second release
// of a free record are the record table's).
TEST_F(ShaderFx, FreedHandlesAreNone)
{
    VornShaderFxHandle fx = FromMemory(kFogEffect);
    D3DXHANDLE transform = VornShaderFx::GetParameterByName(fx, "mTransform");
    ASSERT_NE(nullptr, transform);
    VornShaderFx::Release(fx);
    Vorn3D::SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    const uint32_t calls = Vorn3D::GetDeviceStateCalls();
    uint32_t passes = 7;
    EXPECT_FALSE(VornShaderFx::Begin(fx, &passes));
    EXPECT_EQ(7u, passes);
    const D3DXMATRIX m(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    VornShaderFx::SetMatrix(fx, transform, &m);
    VornShaderFx::BeginPass(fx, 0);
    VornShaderFx::CommitChanges(fx);
    VornShaderFx::EndPass(fx);
    VornShaderFx::End(fx);
    EXPECT_NAMED({"device state calls (CULLMODE among them)", Vorn3D::GetDeviceStateCalls(), calls}, {"vertex shader", BoundVertexShader(device_), nullptr});
}

TEST_F(ShaderFx, TwoDeclaredNamesBindAndFlags0x801SetOnlyThose)
{
    VornShaderFxHandle fx = FromMemory(kFogEffect);
    D3DXHANDLE params[SHADER_PARAM_COUNT];
    VornShaderFx::GetParameterHandles(fx, params);
    EXPECT_NAMED({"names not declared", std::count(params, params + SHADER_PARAM_COUNT, nullptr), 21});   // (the two declared: the pixel below)

    // A camera 15 units from a square facing it, fog from 10 to 20: the fog factor is a half.
    UseCamera(-15.0f);
    Vorn3D::SetFog(10.0f, 20.0f, 0xFFFFFFFF);

    VornRenderBlock block;
    VornCamera::GetMatrices(nullptr, nullptr, &block.viewProjection, nullptr);
    block.worldViewProjection.Multiply(block.world, block.viewProjection);
    VornShaderFx::SetSceneParameters(fx, params, 0x801, block);   // (the fog values are read in the pixel below)

    // The other names keep their values in an effect that has them.
    VornShaderFxHandle plain = FromMemory(kPlainEffect);
    D3DXHANDLE plainParams[SHADER_PARAM_COUNT];
    VornShaderFx::GetParameterHandles(plain, plainParams);
    VornShaderFx::SetSceneParameters(plain, plainParams, 0x801, block);
    float world[4], camera[4], lastCamera[4];
    BOOL use[4], lastUse[4];
    VornShaderFx::GetEffect(plain)->GetFloatArray(plainParams[SHADER_PARAM_WORLD], world, 4);
    VornShaderFx::GetEffect(plain)->GetFloatArray(plainParams[SHADER_PARAM_CAMERA_POS], camera, 4);
    VornShaderFx::GetEffect(plain)->GetBoolArray(plainParams[SHADER_PARAM_LIGHT_IS_USE], use, 4);
    // ... until their flags ask for them.
    VornShaderFx::SetSceneParameters(plain, plainParams, SHADER_FLAG_CAMERA_POS | SHADER_FLAG_LIGHTS, block);
    VornShaderFx::GetEffect(plain)->GetFloatArray(plainParams[SHADER_PARAM_CAMERA_POS], lastCamera, 4);
    VornShaderFx::GetEffect(plain)->GetBoolArray(plainParams[SHADER_PARAM_LIGHT_IS_USE], lastUse, 4);
    EXPECT_NAMED({"mWorld.w kept", world[3], 4.0f}, {"vCameraPos.x kept", camera[0], 5.0f}, {"LightIsUse[3] kept", use[3], TRUE},
                 {"asked vCameraPos.z", lastCamera[2], -15.0f}, {"asked vCameraPos.w", lastCamera[3], 0.0f}, {"asked LightIsUse[0]", lastUse[0], FALSE});

    struct V { float x, y, z; };
    const V quad[4] = {{-100, 100, 0}, {100, 100, 0}, {-100, -100, 0}, {100, -100, 0}};
    Frame([&] {
        ASSERT_TRUE(OnePass(fx, [&] {
            device_->SetFVF(D3DFVF_XYZ);
            device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V));
        }));
    });
    EXPECT_NAMED({"red (the fog factor) of the centre", frame_.Rgb(128, 128) >> 16, 127.5, 0.5});   // 0x7F or 0x80
}

// The pass's render and sampler states go through the engine's caches and come back after End
// (the sampling itself is the effect layer's own test).
TEST_F(ShaderFx, PassStatesGoThroughTheCachesAndComeBack)
{
    ASSERT_EQ(Vorn3D::kNone, Vorn3D::GetRenderState(D3DRS_FOGENABLE));
    VornShaderFxHandle fx = FromMemory(
        "texture TextureStage0;\n"
        "sampler2D Sampler0 = sampler_state { Texture = <TextureStage0>; MagFilter = POINT; MinFilter = POINT; };\n"
        "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Sampler0, uv); }\n"
        "technique T { pass { CullMode = NONE; ZEnable = FALSE; FogEnable = TRUE; PixelShader = compile ps_2_0 PS(); } }\n");
    Vorn3D::SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    Vorn3D::SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    Vorn3D::SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    ASSERT_TRUE(OnePass(fx, [] {
        EXPECT_NAMED({"CULLMODE in the pass", Vorn3D::GetRenderState(D3DRS_CULLMODE), D3DCULL_NONE},
                     {"FOGENABLE in the pass", Vorn3D::GetRenderState(D3DRS_FOGENABLE), TRUE},
                     {"MAGFILTER in the pass", Vorn3D::GetSamplerState(0, D3DSAMP_MAGFILTER), D3DTEXF_POINT});
    }));
    // Fog back to the device's start value.
    DWORD onDevice = 0;
    device_->GetSamplerState(0, D3DSAMP_MAGFILTER, &onDevice);
    EXPECT_NAMED({"CULLMODE", Vorn3D::GetRenderState(D3DRS_CULLMODE), D3DCULL_CW}, {"ZENABLE", Vorn3D::GetRenderState(D3DRS_ZENABLE), D3DZB_TRUE},
                 {"FOGENABLE", Vorn3D::GetRenderState(D3DRS_FOGENABLE), FALSE}, {"MAGFILTER", Vorn3D::GetSamplerState(0, D3DSAMP_MAGFILTER), D3DTEXF_LINEAR},
                 {"MAGFILTER on the device", onDevice, D3DTEXF_LINEAR}, {"vertex shader", BoundVertexShader(device_), nullptr});
    // The same draw again costs only the pass's changes and their restore: three render states
    // and two sampler states, each there and back.
    const uint32_t before = Vorn3D::GetDeviceStateCalls();
    ASSERT_TRUE(OnePass(fx, [] {}));
    EXPECT_EQ(10u, Vorn3D::GetDeviceStateCalls() - before);
}

// Without VornLight a pass's LightEnable switches the device's own light, and VornLight refuses
// (logged) and leaves the device's lights alone: a light asked on stays on.
class ShaderFxWithoutLights : public EngineWith<VornShaderFx, VornCamera> {};

TEST_F(ShaderFxWithoutLights, LightEnableOfAPassReachesTheDevice)
{
    LogCapture log;
    const VornShaderFxHandle fx = FromMemory("technique T { pass { LightEnable[0] = TRUE; } }\n");
    BOOL on[2] = {};
    ASSERT_TRUE(OnePass(fx, [&] { device_->GetLightEnable(0, &on[0]); }));
    device_->LightEnable(1, TRUE);
    EXPECT_FALSE(VornLight::SetEnable(1, false));
    device_->GetLightEnable(1, &on[1]);
    EXPECT_NAMED({"light 0 on in the pass", on[0] != FALSE, true}, {"light 1 on after the refusal", on[1] != FALSE, true});
    EXPECT_NE(std::string::npos, log.Text().find(Red("VornLightクラスが初期化されていません")));
}
