// The effect layer on a plain device: compiled passes draw, values reach the shaders, samplers
// sample their textures, and the states a pass changes are put back.
#include "EngineFixture.h"
#include "VornFxEffect.h"
#include <d3dx9math.h>
#include <functional>
#include <map>

using namespace vorntest;

namespace {

const char kColourEffect[] =
    "float4x4 mTransform; float FogParameter[2]; float4 Colour = {1, 0, 0, 1}; float4 Unused : SOMETHING;\n"
    "float4 VS(float4 pos : POSITION) : POSITION { return mul(pos, mTransform); }\n"
    "float4 PS() : COLOR0 { return Colour * (FogParameter[0] + FogParameter[1]); }\n" VORN_TEST_PLAIN_PASS;

// Green, where the vertices say.
const std::string kGreenShaders =
    "float4 VS(float4 pos : POSITION) : POSITION { return pos; }\n"
    "float4 PS() : COLOR0 { return float4(0, 1, 0, 1); }\n";

// A square over model space -1..1, texture 0..1 from the top left.
void DrawSquare(IDirect3DDevice9* device)
{
    struct Vertex { float x, y, z, u, v; };
    const Vertex quad[4] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}};
    device->SetFVF(D3DFVF_XYZ | D3DFVF_TEX1);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
}

// Bones by constant, variants by shader array, the palette lookup in asm (three registers a bone,
// a column each, from c10, by a macro over continued lines): the one-bone shader draws in c5's
// colour, the two-bone one in c5.zyxw.
const char kSkinEffect[] =
    "#define PALETTE_BASE 10\n"
    "static const int MAX_MATRICES = 26;\n"
    "float4x3 mBoneMatrixArray[MAX_MATRICES]; float4x4 mViewProj; int CurNumBones = 0; float4 Colour = {1, 0, 0, 1};\n"
    "#define SKIN_BONE(dst, index) mova a0.x, index \\\n"
    "    dp4 dst.x, v0, c[a0.x + PALETTE_BASE] \\\n"
    "    dp4 dst.y, v0, c[a0.x + PALETTE_BASE + 1] \\\n"
    "    dp4 dst.z, v0, c[a0.x + PALETTE_BASE + 2]\n"
    "#define SKIN_INPUTS def c4, 3, 1, 0, -1 dcl_position v0 dcl_blendweight v1 dcl_blendindices v2 mul r0, v2, c4.x\n"
    "#define TO_SCREEN dp4 oPos.x, r1, c0 dp4 oPos.y, r1, c1 dp4 oPos.z, r1, c2 dp4 oPos.w, r1, c3\n"
    "VertexShader vsArray[2] = {\n"
    "    asm { vs_2_0 SKIN_INPUTS SKIN_BONE(r1, r0.x) mov r1.w, c4.y TO_SCREEN mov oD0, c5 },\n"
    "    asm { vs_2_0 SKIN_INPUTS SKIN_BONE(r1, r0.x) SKIN_BONE(r2, r0.y) mad r3.x, v1.x, c4.w, c4.y\n"
    "          mul r1.xyz, r1, v1.x mad r1.xyz, r2, r3.x, r1 mov r1.w, c4.y TO_SCREEN mov oD0, c5.zyxw }\n"
    "};\n"
    "technique Skin { pass P0 {\n"
    "    CullMode = NONE; ZEnable = FALSE; Lighting = FALSE; VertexShaderConstantF[0] = <mViewProj>;\n"
    "    VertexShaderConstantF[PALETTE_BASE] = <mBoneMatrixArray>; VertexShaderConstantF[5] = <Colour>;\n"
    "    VertexShader = (vsArray[CurNumBones]); PixelShader = asm { ps_2_0\n dcl v0\n mov oC0, v0 };\n"
    "} }\n";

// Include files from a table, as the engine's include handler finds them in folders and packs.
struct TableInclude : ID3DXInclude {
    std::map<std::string, std::string> files;
    STDMETHOD(Open)(D3DXINCLUDE_TYPE, LPCSTR name, LPCVOID, LPCVOID* data, UINT* bytes) override
    {
        const auto f = files.find(name);
        if (f == files.end()) return E_FAIL;
        *data = f->second.data();
        *bytes = static_cast<UINT>(f->second.size());
        return S_OK;
    }
    STDMETHOD(Close)(LPCVOID) override { return S_OK; }
};

const char kVariantEffect[] =
    "#include \"colours.fxh\"\n"
    "#ifdef USE_RED\n"
    "float4 Colour = RED;\n"
    "#else\n"
    "float4 Colour = BLUE;\n"
    "#endif\n"
    "float4 VS(float4 pos : POSITION) : POSITION { return float4(pos.xy * 0.5, 0.5, 1); }\n"
    "float4 PS() : COLOR0 { return Colour; }\n"
    "float4 VSIf(float4 pos : POSITION) : POSITION { if (Colour.x > 0) pos.y = 0; return pos; }\n"
    "#if 0\n"
    "technique Dead { pass { } }\n"
    "#endif\n"
    "technique Broken { pass { VertexShader = compile VSPROF VSIf(); PixelShader = compile ps_2_0 PS(); } }\n"
    "technique Live < string Note = \"fallback\"; > { pass { CullMode = NONE; ZEnable = FALSE;\n"
    "  VertexShader = compile VSPROF VS(); PixelShader = compile ps_2_0 PS(); } }\n";

class EffectLayerTest : public DeviceTest {
protected:
    void TearDown() override
    {
        if (effect_) effect_->Release();
        DeviceTest::TearDown();
    }
    // effect_ made from the text (the one before let go), with the compiler's warnings when asked.
    void Load(const std::string& text, const D3DXMACRO* macros = nullptr, ID3DXInclude* include = nullptr,
              std::string* warnings = nullptr)
    {
        if (effect_) effect_->Release();
        effect_ = nullptr;
        std::string errors;
        ASSERT_EQ(D3D_OK, VornFxEffect::Create(device_, text.data(), uint32_t(text.size()), macros, include, nullptr, &effect_,
                                               &errors, warnings)) << errors;
        ASSERT_NE(nullptr, effect_);
    }
    // Clears to black, draws once per pass of the effect (the square, or what draw draws) and reads
    // the frame back.
    void DrawFrame(DWORD flags = 0, const std::function<void()>& draw = nullptr)
    {
        device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_TRUE(SUCCEEDED(device_->BeginScene()));
        UINT passes = 0;
        ASSERT_TRUE(SUCCEEDED(effect_->Begin(&passes, flags)));
        for (UINT p = 0; p < passes; ++p) {
            ASSERT_TRUE(SUCCEEDED(effect_->BeginPass(p)));
            draw ? draw() : DrawSquare(device_);
            effect_->EndPass();
        }
        effect_->End();
        device_->EndScene();
        ASSERT_TRUE(ReadBack());
    }
    // A managed texture of width x height texels, given row by row.
    IDirect3DTexture9* MakeTexture(UINT width, UINT height, const uint32_t* texels)
    {
        IDirect3DTexture9* texture = nullptr;
        D3DLOCKED_RECT lr;
        if (FAILED(device_->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr))) return nullptr;
        if (SUCCEEDED(texture->LockRect(0, &lr, nullptr, 0))) {
            for (UINT y = 0; y < height; ++y) memcpy(static_cast<char*>(lr.pBits) + y * lr.Pitch, texels + y * width, width * 4);
            texture->UnlockRect(0);
        }
        return texture;
    }
    D3DXHANDLE Param(const char* name) { return effect_->GetParameterByName(nullptr, name); }
    VornFxEffect* effect_ = nullptr;
    const D3DXMATRIX identity_{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

}  // namespace

// (Where a row-vector matrix lands in the registers: the matrix-array test here and the skinned
// model's bone test; a float array: the commit test here and the effect table's fog test.)
TEST_F(EffectLayerTest, DeclaredNamesResolveExactlyAndForeignHandlesAreRefused)
{
    Load(kColourEffect);
    for (const char* name : {"mTransform", "FogParameter", "Unused"}) EXPECT_NE(nullptr, Param(name)) << name;   // Unused: read by no shader
    for (const char* name : {"mtransform", "mWorld", ""}) EXPECT_EQ(nullptr, Param(name)) << name;
    EXPECT_EQ(nullptr, Param(nullptr));
    // A handle of another effect, or a made-up one, is refused.
    int notAHandle = 0;
    const HRESULT madeUp = effect_->SetFloat(reinterpret_cast<D3DXHANDLE>(&notAHandle), 1.0f), none = effect_->SetFloat(nullptr, 1.0f);
    EXPECT_NAMED({"a made-up handle", madeUp, D3DERR_INVALIDCALL}, {"no handle", none, D3DERR_INVALIDCALL});
}

// What the layer itself makes of values (their plain storage, 4x3 rows included, is read by the
// shaders in the drawing tests): initial values, bools made TRUE, the transpose, arrays cut at the
// parameter's size, and a value of the wrong type refused.
TEST_F(EffectLayerTest, ValuesTakeTheirInitialValuesAndTheLayersConversions)
{
    Load("bool LightIsUse[4]; float4x4 mWorld; int BoneWeightCount = 2;\n"
         "float SlideTextureU; float After = 9; string Label = \"a\"; technique T { pass { } }\n");
    INT n = 0;
    const BOOL use[4] = {TRUE, FALSE, 7, FALSE};
    BOOL b[4];
    ASSERT_EQ(D3D_OK, effect_->GetIntArray(Param("BoneWeightCount"), &n, 1));
    ASSERT_EQ(D3D_OK, effect_->SetBoolArray(Param("LightIsUse"), use, 4));
    ASSERT_EQ(D3D_OK, effect_->GetBoolArray(Param("LightIsUse"), b, 4));
    EXPECT_NAMED({"BoneWeightCount", n, 2}, {"LightIsUse[0]", b[0], TRUE}, {"LightIsUse[1]", b[1], FALSE}, {"LightIsUse[2] (7)", b[2], TRUE});

    D3DXMATRIX m, back;
    for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = static_cast<float>(i);
    ASSERT_EQ(D3D_OK, effect_->SetMatrixTranspose(Param("mWorld"), &m));
    ASSERT_EQ(D3D_OK, effect_->GetMatrix(Param("mWorld"), &back));
    EXPECT_NAMED({"back._21", back.m[1][0], m.m[0][1]}, {"back._14", back.m[0][3], m.m[3][0]});

    const float four[4] = {0.5f, 1.5f, 2.5f, 3.5f};
    ASSERT_EQ(D3D_OK, effect_->SetFloatArray(Param("SlideTextureU"), four, 4));   // cut at the parameter's size
    float u = -1, after = -1;
    ASSERT_EQ(D3D_OK, effect_->GetFloatArray(Param("SlideTextureU"), &u, 1));
    ASSERT_EQ(D3D_OK, effect_->GetFloatArray(Param("After"), &after, 1));
    EXPECT_NAMED({"SlideTextureU", u, 0.5f}, {"After", after, 9.0f});
    EXPECT_EQ(D3DERR_INVALIDCALL, effect_->SetFloat(Param("Label"), 1.0f));
}

TEST_F(EffectLayerTest, ChangesInsideAPassNeedCommitChanges)
{
    Load(kColourEffect);
    D3DXHANDLE colour = Param("Colour");
    const float fog[2] = {0.5f, 0.5f};
    effect_->SetMatrix(Param("mTransform"), &identity_);
    effect_->SetFloatArray(Param("FogParameter"), fog, 2);
    const D3DXVECTOR4 green(0, 1, 0, 1), blue(0, 0, 1, 1);
    EXPECT_EQ(D3D_OK, effect_->CommitChanges());   // outside a pass: nothing, and no error
    const D3DVIEWPORT9 left = {0, 0, 128, 256, 0, 1}, right = {128, 0, 128, 256, 0, 1};
    DrawFrame(0, [&] {
        effect_->SetVector(colour, &green);
        device_->SetViewport(&left);
        DrawSquare(device_);   // still red: not committed
        effect_->SetVector(colour, &blue);
        effect_->CommitChanges();
        device_->SetViewport(&right);
        DrawSquare(device_);
    });
    EXPECT_NAMED({"left (uncommitted)", Argb{frame_.Rgb(64, 128)}, Argb{0xFF0000}}, {"right (committed)", Argb{frame_.Rgb(192, 128)}, Argb{0x0000FF}});
}

TEST_F(EffectLayerTest, SamplerBoundThroughTextureStage0SamplesThatTexture)
{
    Load("float4x4 mTransform; texture TextureStage0;\n"
         "sampler Sampler0 = sampler_state { Texture = <TextureStage0>;\n"
         "    MinFilter = POINT; MagFilter = POINT; MipFilter = NONE; AddressU = CLAMP; AddressV = CLAMP; };\n"
         "void VS(float4 pos : POSITION, float2 uv : TEXCOORD0, out float4 oPos : POSITION, out float2 oUv : TEXCOORD0)\n"
         "{ oPos = mul(pos, mTransform); oUv = uv; }\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Sampler0, uv); }\n" VORN_TEST_PLAIN_PASS);
    const uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    IDirect3DTexture9* texture = MakeTexture(2, 2, texels);
    ASSERT_NE(nullptr, texture);
    effect_->SetMatrix(Param("mTransform"), &identity_);
    ASSERT_EQ(D3D_OK, effect_->SetTexture(Param("TextureStage0"), texture));
    texture->Release();   // the effect holds its own reference
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    DrawFrame();
    EXPECT_NAMED({"top left", Argb{frame_.Rgb(10, 10)}, Argb{0xFF0000}}, {"top right", Argb{frame_.Rgb(245, 10)}, Argb{0x00FF00}},
                 {"bottom left", Argb{frame_.Rgb(10, 245)}, Argb{0x0000FF}}, {"bottom right", Argb{frame_.Rgb(245, 245)}, Argb{0xFFFFFF}});
    EXPECT_EQ(128 * 128, frame_.Count(0, 0, kWidth, kHeight, 0x00FF00));   // point filtering held, not linear
}

// Each pass compiles its own variant from its uniform arguments; the second pass draws too, with
// the blending the first one switched on.
TEST_F(EffectLayerTest, UniformArgumentsSelectEachPassVariantAndTwoPassesDrawTwice)
{
    Load("float4 VS(float4 pos : POSITION, uniform float scale) : POSITION { return float4(pos.xy * scale, 0.5, 1); }\n"
         "float4 PS(uniform float4 c) : COLOR0 { return c; }\n"
         "technique T {\n"
         "  pass A { CullMode = NONE; ZEnable = FALSE; AlphaBlendEnable = TRUE; SrcBlend = ONE; DestBlend = ONE;\n"
         "           VertexShader = compile vs_2_0 VS(0.5); PixelShader = compile ps_2_0 PS(float4(0, 1, 0, 1)); }\n"
         "  pass B { VertexShader = compile vs_2_0 VS(1); PixelShader = compile ps_2_0 PS(float4(0, 0, 1, 1)); }\n"
         "}\n");
    EXPECT_EQ(2u, effect_->GetPassCount());
    DrawFrame();
    EXPECT_NAMED({"cyan pixels (both passes)", frame_.Count(0, 0, kWidth, kHeight, 0x00FFFF), 128 * 128},
                 {"blue pixels (pass B alone)", frame_.Count(0, 0, kWidth, kHeight, 0x0000FF), 256 * 256 - 128 * 128});
}

// A pass's states and shaders applied and put back. The square is wound clockwise on the screen:
// CullMode = CW culls it, CCW draws it. End puts the device's CW and no shaders back, unless
// DONOTSAVESHADERSTATE keeps the pass's shaders, or DONOTSAVESTATE its states and shaders.
// (The other render states come back in the fixed-function pass's test.)
TEST_F(EffectLayerTest, CullModeByNameCullsItsWindingAndEndPutsStatesBackUnlessTheFlagsKeepThem)
{
    const struct { const char* mode; DWORD flags; uint32_t centre; DWORD cull; bool shader; } rows[] = {
        {"NONE", 0, 0x00FF00, D3DCULL_CW, false}, {"CW", VORN_FX_DONOTSAVESHADERSTATE, 0, D3DCULL_CW, true}, {"CCW", VORN_FX_DONOTSAVESTATE, 0x00FF00, D3DCULL_CCW, true}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string("CullMode = ") + r.mode + ", End flags " + std::to_string(r.flags));
        Load(kGreenShaders + "technique T { pass { ZEnable = FALSE; CullMode = " + r.mode + ";\n"
             "  VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n");
        device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
        DrawFrame(r.flags);
        EXPECT_NAMED({"centre", frame_.Hex(128, 128), Argb{r.centre}}, {"CULLMODE after End", DeviceRenderState(device_, D3DRS_CULLMODE), r.cull},
                     {"a vertex shader bound after End", BoundVertexShader(device_) != nullptr, r.shader});
    }
}

TEST_F(EffectLayerTest, MatrixArraysAndIntegersReachTheirRegisters)
{
    // A palette of 4x3 matrices as skinned meshes use it, and an integer count.
    Load("float4x3 mBoneMatrixArray[3]; int BoneWeightCount; row_major float4x4 mRows;\n"
         "float4 VS(float4 pos : POSITION) : POSITION { return mul(float4(mul(pos, mBoneMatrixArray[2]), 1), mRows); }\n"
         "float4 PS() : COLOR0 { return float4(0, BoneWeightCount / 4.0, 0, 1); }\n" VORN_TEST_PLAIN_PASS);
    // Only the third element moves the square: half size, a quarter left.
    const D3DXMATRIX palette[3] = {identity_, identity_, {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1, 0, -0.25f, 0, 0, 1}},
                     rows(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0.25f, 0, 1);
    ASSERT_EQ(D3D_OK, effect_->SetMatrixArray(Param("mBoneMatrixArray"), palette, 3));
    ASSERT_EQ(D3D_OK, effect_->SetMatrix(Param("mRows"), &rows));
    ASSERT_EQ(D3D_OK, effect_->SetInt(Param("BoneWeightCount"), 4));
    DrawFrame();
    // x -0.75 .. 0.25 and y -0.25 .. 0.75 in clip space.
    EXPECT_TRUE(BoxIs(frame_, 0x00FF00, 32, 32, 159, 159));
}

TEST_F(EffectLayerTest, ASamplerWithoutTextureReadsWhatTheStageHolds)
{
    Load("sampler Plain : register(s0);\n"
         "float4 VS(float4 pos : POSITION, inout float2 uv : TEXCOORD0) : POSITION { return pos; }\n"
         "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Plain, uv); }\n" VORN_TEST_PLAIN_PASS);
    const uint32_t texel = 0xFF30C090;
    IDirect3DTexture9* texture = MakeTexture(1, 1, &texel);
    ASSERT_NE(nullptr, texture);
    device_->SetTexture(0, texture);   // bound by the caller, as the field binds its material textures
    DrawFrame();
    EXPECT_NAMED({"centre", frame_.Hex(128, 128), Argb{0x30C090}}, {"stage 0's texture (the caller's, kept)", BoundTexture(device_), texture});
    device_->SetTexture(0, nullptr);
    texture->Release();
}

TEST_F(EffectLayerTest, AsmSkinningFromAConstantSizedPaletteMovesWithTheBones)
{
    Load(kSkinEffect);
    D3DXMATRIX palette[26];
    for (D3DXMATRIX& m : palette) m = identity_;
    ASSERT_EQ(D3D_OK, effect_->SetMatrix(Param("mViewProj"), &identity_));
    // A quad whose left edge hangs on bone 20 and right edge on bone 25 (the first weight's bone in the low byte).
    struct SkinVertex { float x, y, z, weight; DWORD indices; };
    const SkinVertex quad[4] = {{-0.5f, 0.5f, 0.5f, 1, 20 | 25 << 8}, {0.5f, 0.5f, 0.5f, 1, 25 | 20 << 8},
                                {-0.5f, -0.5f, 0.5f, 1, 20 | 25 << 8}, {0.5f, -0.5f, 0.5f, 1, 25 | 20 << 8}};
    auto frame = [&](int bones) {
        ASSERT_EQ(D3D_OK, effect_->SetMatrixArray(Param("mBoneMatrixArray"), palette, 26));
        ASSERT_EQ(D3D_OK, effect_->SetInt(Param("CurNumBones"), bones));
        DrawFrame(0, [&] {
            device_->SetFVF(D3DFVF_XYZB2 | D3DFVF_LASTBETA_UBYTE4);
            device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(SkinVertex));
        });
    };
    // Rest pose, one bone a vertex: the quad covers the middle half, in red.
    frame(0);
    EXPECT_TRUE(BoxIs(frame_, 0xFF0000, 64, 64, 191, 191));
    // Bone 20 moves left and bone 25 right and up: the edges follow their bones, and the
    // two-bone shader (blue) draws.
    D3DXMatrixTranslation(&palette[20], -0.25f, 0.0f, 0.0f);
    D3DXMatrixTranslation(&palette[25], 0.25f, 0.25f, 0.0f);
    frame(1);
    // Left of the rest pose's edge; up and right (the right edge moved both ways); the left edge did
    // not move up; the right one left its rest place.
    EXPECT_NAMED({"(36, 128)", Argb{frame_.Rgb(36, 128)}, Argb{0x0000FF}}, {"(220, 40)", Argb{frame_.Rgb(220, 40)}, Argb{0x0000FF}},
                 {"(36, 50)", Argb{frame_.Rgb(36, 50)}, Argb{0}}, {"(220, 180)", Argb{frame_.Rgb(220, 180)}, Argb{0}});
}

TEST_F(EffectLayerTest, FixedFunctionPassDrawsItsTextureModulatedAndPutsEveryStateBack)
{
    Load("texture Tex; float4x4 mWorld; int cullParam = 1;\n"
         "technique Fixed { pass P0 {\n"
         "    Lighting = FALSE; ZEnable = FALSE; CullMode = <cullParam>; Wrap0 = U; Texture[0] = <Tex>; MinFilter[0] = POINT;\n"
         "    MagFilter[0] = POINT; ColorOp[0] = Modulate; ColorArg1[0] = Texture; ColorArg2[0] = TFactor; TextureFactor = 0xFF80FF40;\n"
         "    AlphaOp[0] = SelectArg1; AlphaArg1[0] = TFactor; LightEnable[0] = true; WorldTransform[0] = <mWorld>;\n"
         "    VertexShader = NULL; PixelShader = NULL; } }\n");
    const uint32_t texel = 0xFFFFFF80;
    IDirect3DTexture9* texture = MakeTexture(1, 1, &texel);
    ASSERT_NE(nullptr, texture);
    effect_->SetTexture(Param("Tex"), texture);
    texture->Release();
    const D3DXMATRIX world(0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1), before(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.125f, 0, 0, 1);
    ASSERT_EQ(D3D_OK, effect_->SetMatrix(Param("mWorld"), &world));
    device_->SetTransform(D3DTS_WORLD, &before);
    device_->SetTransform(D3DTS_VIEW, &identity_);
    device_->SetTransform(D3DTS_PROJECTION, &identity_);
    device_->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    device_->SetRenderState(D3DRS_COLORVERTEX, FALSE);   // one the pass leaves alone
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device_->LightEnable(0, FALSE);
    DrawFrame();
    // 0xFF * 0x80, 0xFF * 0xFF, 0x80 * 0x40, over the middle half of the screen.
    const uint32_t centre = frame_.Rgb(128, 128);
    EXPECT_TRUE(Near(0x80FF20, centre, 1));
    EXPECT_NAMED({"outside (40, 128)", Argb{frame_.Rgb(40, 128)}, Argb{0}}, {"inside (70, 70)", Argb{frame_.Rgb(70, 70)}, Argb{centre}});

    // The render states the pass set come back as in the effect table's pass-state case; one it
    // left alone stays as it was.
    DWORD op = 0;
    device_->GetTextureStageState(0, D3DTSS_COLOROP, &op);
    BOOL on = TRUE;
    device_->GetLightEnable(0, &on);
    D3DXMATRIX now;
    device_->GetTransform(D3DTS_WORLD, &now);
    EXPECT_NAMED({"COLOROP", op, D3DTOP_SELECTARG2}, {"light 0", on, FALSE}, {"texture 0", BoundTexture(device_), nullptr},
                 {"COLORVERTEX (left alone)", DeviceRenderState(device_, D3DRS_COLORVERTEX), FALSE});
    EXPECT_BYTES_EQ(&before, &now, sizeof now);
}

TEST_F(EffectLayerTest, MacrosIncludesAndIfdefChooseTheDeclarationAndTheFirstValidTechniqueDraws)
{
    TableInclude include;
    include.files = {{"colours.fxh", "#define RED {1, 0, 0, 1}\n#define BLUE {0, 0, 1, 1}\n"}};
    for (bool red : {true, false}) {
        SCOPED_TRACE(red ? "USE_RED" : "without USE_RED");
        const D3DXMACRO macros[] = {{"VSPROF", "vs_2_0"}, {red ? "USE_RED" : "UNUSED", "1"}, {nullptr, nullptr}};
        std::string warnings;
        Load(kVariantEffect, macros, &include, &warnings);
        // The compiler has no "if" in vs_2_0 (its code E5017): that technique falls back with a warning.
        EXPECT_EQ(0u, warnings.find("(13): VertexShader vs_2_0 VSIf: (9,52): E5017: Aborting due to not yet implemented")) << warnings;
        ASSERT_EQ(2u, effect_->GetTechniqueCount());   // the one inside #if 0 is gone
        D3DXHANDLE broken = effect_->GetTechniqueByName("Broken"), live = effect_->GetTechniqueByName("Live");
        D3DXHANDLE next = nullptr;
        const HRESULT validated = effect_->ValidateTechnique(broken), set = effect_->SetTechnique(broken);
        const HRESULT after = effect_->FindNextValidTechnique(live, &next);
        EXPECT_NAMED({"ValidateTechnique(Broken)", validated, D3DERR_INVALIDCALL}, {"SetTechnique(Broken)", set, D3DERR_INVALIDCALL},
                     {"FindNextValidTechnique after Live", after, S_FALSE});
        const char* note = nullptr;
        ASSERT_EQ(D3D_OK, effect_->GetString(effect_->GetAnnotationByName(live, "Note"), &note));
        EXPECT_STREQ("fallback", note);
        DrawFrame();
        EXPECT_TRUE(BoxIs(frame_, red ? 0xFF0000 : 0x0000FF, 64, 64, 191, 191));
    }
}

// Every error text of an effect, in one table: the directive check's and the reader's, and an error
// in any technique, named at its true file and line: after skipped blocks (the preprocessor drops
// their line breaks) and in includes. Technique A of `ab` compiles alone; B's pixel shader is the
// case's PSB.
TEST_F(EffectLayerTest, BadTextGivesOneErrorAtItsTrueFileAndLineAndNoEffect)
{
    const std::string deep = "float a = " + std::string(5000, '(');
    std::string manyBig = "float4x4 a0[40000]";
    for (int i = 1; i < 7; ++i) manyBig += ", a" + std::to_string(i) + "[40000]";
    std::string blowup;
    for (int i = 0; i <= 20; ++i)
        blowup += "#define A" + std::to_string(i) + (i ? " A" + std::to_string(i - 1) + " A" + std::to_string(i - 1) : " x x") + "\n";
    TableInclude include;
    include.files = {{"self.fxh", "float a;\n#include \"self.fxh\"\n"}, {"open.fxh", "\n#ifdef A\n"}, {"five.fxh", "\n\nfloat f1;\n\n\n"},
                     {"bad.fxh", "float4 x;\n\nsampler s;\nfloat4 Wrong() { return s; }\n"}};
    const std::string ab = "float4 VS(float4 pos : POSITION) : POSITION { return pos; }\nfloat4 PS() : COLOR0 { return 1; }\n"
                           "technique A { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n"
                           "technique B { pass { VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PSB(); } }\n";
    const struct { std::string text, error; } cases[] = {
        {"float4x4 m;\ntechnique T { pass { VertexShader = compile vs_2_0 Nothing(); } }\n", "(2): shader function 'Nothing' not found"},
        {"float4x4 m;\n", "(0): the effect has no technique"},
        {"#include \"self.fxh\"\n", "self.fxh(2): #include \"self.fxh\" nested deeper than 16 files"},
        {"float x;\n#include \"open.fxh\"\n", "open.fxh(2): #if without #endif"},
        {"float x;\n#include \"none.fxh\"\n", "(2): #include \"none.fxh\" not found"},
        {"\n#error stop here\n", "(2): E4001: Error directive:  stop here"},
        {"float4x4 m : WORLD; /* two\nlines */\nfloat4 n : world;\nmatrix<float, 4, 8> bad;\n", "(4): size of 'matrix<>' must be 1 to 4"},
        {"float4 PSB() { return 1; }\n" + ab, "(5): PixelShader ps_2_0 PSB: (1,8): E5004: Entry point \"PSB\" is missing a return value semantic.\n"},
        {"\n" + ab, "(5): shader function 'PSB' not found"},
        {"#if 0\nx\ny\nz\n#endif\n\nfloat4 PSB() : COLOR0 { return Nowhere(); }\n" + ab,
         "(10): VertexShader vs_2_0 VS: (7,34): E5005: Function \"Nowhere\" is not defined.\n"},
        {"#ifdef NO\nfloat a1;\n#else\nfloat b1;\n#endif\n#if 0\nfloat c1;\n#endif\nfloat4 PSB() : COLOR0 { return 1 +; }\n" + ab,
         "(12): VertexShader vs_2_0 VS: (9,38): E5000: syntax error, unexpected ';'\n"},
        {"#include \"five.fxh\"\nfloat4 PSB() : COLOR0 { float3 v = Nowhere(); return 1; }\n" + ab,
         "(5): VertexShader vs_2_0 VS: (2,38): E5005: Function \"Nowhere\" is not defined.\n"},
        {"#include \"bad.fxh\"\nfloat4 PSB() : COLOR0 { return Wrong(); }\n" + ab,
         "(5): VertexShader vs_2_0 VS: bad.fxh(4,20): E5002: Can't implicitly convert from sampler to float4.\n"},
        {"#if 0\n\n#endif\ntechnique C { pass { Nonsense = 1; } }\n", "(4): unknown pass state 'Nonsense'"},
        {"#if 0\n\n#endif\ntechnique C { pass { VertexShader = asm { vs_2_0\n mov oPos, v0\n bogus r0 }; } }\n",
         "(4): VertexShader asm: \n(6): Error \"syntax error\" from bison\n"},
        {"technique T {\n pass P { CullMode = SIDEWAYS; }\n}\n", "(2): unknown value 'SIDEWAYS' for 'CullMode'"},
        {"float a b;\n", "(1): ';' expected after 'a'"},
        {"texture t;\nsampler s = sampler_state {\n Texture = <t>;\n Filter = LINEAR;\n};\n", "(4): unknown sampler state 'Filter'"},
        {"float4 PS() : COLOR\n{ return 1;\n", "(2): unclosed '{'"},
        {"technique T { pass { Sampler[0] = (s); } }", "(1): Sampler[] takes a sampler parameter: <name>"},
        {"\nvector<float,4000000000> v; technique{}", "(2): size of 'vector<>' must be 1 to 4"},
        {"vector<vector<vector<float,4>,4>,4> v;", "(1): scalar type expected in 'vector<>'"},
        {"float4 a[100000];", "(1): array size of 'a' must be 1 to 65536"},
        {"float a[2][2];", "(1): arrays of arrays are not read ('a')"},
        {manyBig + ";", "(1): the parameters are too large together"},
        {"technique{pass{VertexShader=compile v V(, )}}", "(1): empty argument of 'V'"},
        {"technique{pass{\nAlphaRef=1e19;}}", "(2): value of 'AlphaRef' out of range"},
        {"int s=1e11;", "(1): value of 's' out of the int range"},
        {"float a;\nfloat b;\nfloat a;", "(3): 'a' declared twice, first at (1)"},
        {"float a[1 / 0];", "(1): division by zero"},
        {deep, "(1): expression nested too deeply"},
        {"VertexShader v[2] = { asm { vs_2_0 } };", "(1): 'v' needs 2 shaders"},
        {"int i; PixelShader v = NULL;\ntechnique { pass { VertexShader = (v[i]); } }", "(2): 'v' is no VertexShader parameter"},
        {"technique { pass { Texture[16] = NULL; } }", "(1): index of 'Texture' must be below 16"},
        {"float4x4 m; technique { pass { VertexShaderConstantF[255] = {1,2,3,4,5}; } }",
         "(1): values of 'VertexShaderConstantF' go past its registers"},
        {"#ifdef X\n#endif\n#endif\n", "(3): #endif without #if"},
        {"#else\n", "(1): #else without #if"},
        {"#define A A+1\nint x = A;\n", "(1): macro 'A' expands into itself"},
        {"#define F(x) G(x)\n#define G(y) F(y) + 1\n", "(1): macro 'F' expands into itself"},
        {blowup, "(21): macro 'A20' expands to more than 1048576 tokens"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        std::string errors;
        VornFxEffect* e = reinterpret_cast<VornFxEffect*>(1);
        const HRESULT hr = VornFxEffect::Create(device_, c.text.data(), uint32_t(c.text.size()), nullptr, &include, nullptr, &e, &errors);
        EXPECT_NAMED({"Create", hr, E_FAIL}, {"effect", e, nullptr}, {"errors", errors, c.error});
    }
    // Semantics are found whatever their case (handles compared as pointers, not as texts).
    Load("float4x4 m : WORLD;\nfloat4 n : Colour;\ntechnique T { pass { } }\n");
    auto bySemantic = [&](const char* s) { return static_cast<const void*>(effect_->GetParameterBySemantic(nullptr, s)); };
    EXPECT_NAMED({"world", bySemantic("world"), static_cast<const void*>(Param("m"))},
                 {"COLOUR", bySemantic("COLOUR"), static_cast<const void*>(Param("n"))}, {"VIEW", bySemantic("VIEW"), nullptr});
}

// A pass the device cannot draw (a filter it does not take) makes its technique invalid: the next
// one is drawn, and asking puts every state back.
TEST_F(EffectLayerTest, ATechniqueTheDeviceRefusesWithItsPassAppliedFallsBack)
{
    device_->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    std::string warnings;
    Load(kGreenShaders +
         "technique Refused { pass { MagFilter[0] = NONE; VertexShader = compile vs_2_0 VS(); } }\n"
         "technique Taken { pass { CullMode = NONE; ZEnable = FALSE;\n"
         "  VertexShader = compile vs_2_0 VS(); PixelShader = compile ps_2_0 PS(); } }\n", nullptr, nullptr, &warnings);
    EXPECT_EQ("(3): technique 'Refused' pass 0: the device cannot draw it (ValidateDevice 0x88760822)", warnings);
    D3DXHANDLE taken = effect_->GetTechniqueByName("Taken"), next = nullptr;
    const HRESULT refused = effect_->ValidateTechnique(effect_->GetTechniqueByName("Refused"));
    const HRESULT found = effect_->FindNextValidTechnique(nullptr, &next);
    DWORD filter = 0;
    device_->GetSamplerState(0, D3DSAMP_MAGFILTER, &filter);   // after both asked: the refused pass's filter put back
    EXPECT_NAMED({"ValidateTechnique(Refused)", refused, D3DERR_UNSUPPORTEDTEXTUREFILTER}, {"FindNextValidTechnique", found, D3D_OK},
                 {"next valid", static_cast<const void*>(next), static_cast<const void*>(taken)}, {"MagFilter", filter, D3DTEXF_LINEAR});
    DrawFrame();   // through the current technique: Taken
    EXPECT_TRUE(BoxIs(frame_, 0x00FF00, 0, 0, kWidth - 1, kHeight - 1));
}
