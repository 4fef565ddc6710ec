// The stage field on the engine's device: X files from the one X-text builder, the grid and its
// queries, the vertex layouts and tangents, drawing read back before Present, device reset, releases
// and malformed input.
#include "EngineFixture.h"
#include "ModelXText.h"
#include "VornField.h"
#include "VornLight.h"
#include "VornShaderFx.h"
#include "VornTexture.h"

using namespace vorntest;

void PrintTo(const VornVector3& v, std::ostream* os) { *os << "(" << v.x << ", " << v.y << ", " << v.z << ")"; }

namespace {

// Axis-aligned quads at height y over X/Z, wound clockwise seen from above, each with its material;
// as an X file: white materials with the given textures ("" none), texture coordinates over -10..10
// and red vertex colours when asked.
struct GroundMesh {
    XQuadCorners quads;
    std::vector<int> material;
    void Quad(float x0, float z0, float x1, float z1, float y, int m)
    {
        quads.push_back({{{x0, y, z0}, {x0, y, z1}, {x1, y, z1}, {x1, y, z0}}});
        material.push_back(m);
    }
    std::string Text(const std::vector<std::string>& textures, bool uv = true, bool colour = false) const
    {
        const std::string n = std::to_string(4 * quads.size()) + ";\n";
        std::string list = "MeshMaterialList {\n" + std::to_string(textures.size()) + ";\n" + std::to_string(2 * quads.size()) + ";\n";
        for (size_t q = 0; q < quads.size(); ++q) list += (q ? "," : "") + std::to_string(material[q]) + "," + std::to_string(material[q]);
        list += ";\n";
        for (const std::string& t : textures)
            list += "Material {\n1.0;1.0;1.0;1.0;;\n0.0;\n0.0;0.0;0.0;;\n0.0;0.0;0.0;;\n" +
                    (t.empty() ? "" : "TextureFilename {\n\"" + t + "\";\n}\n") + "}\n";
        std::string uvs = "MeshTextureCoords {\n" + n, colours = "MeshVertexColors {\n" + n;
        for (size_t i = 0; i < 4 * quads.size(); ++i) {
            const XCorner& c = quads[i / 4][i % 4];
            uvs += (i ? "," : "") + F((c.x + 10) / 20) + ";" + F((c.z + 10) / 20) + ";";
            colours += (i ? "," : "") + std::to_string(i) + ";1.0;0.0;0.0;1.0;;";
        }
        return kHead + QuadMesh("", quads, list + "}\n" + (uv ? uvs + ";\n}\n" : "") + (colour ? colours + ";\n}\n" : ""));
    }
};

// Flat ground 20 x 20 at y 0 (4 x 4 quads), material 0 on x < 0, 1 on x > 0.
GroundMesh Ground()
{
    GroundMesh m;
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) m.Quad(-10.0f + 5 * i, -10.0f + 5 * k, -5.0f + 5 * i, -5.0f + 5 * k, 0, i < 2 ? 0 : 1);
    return m;
}

const char kTextureEffect[] =
    "float4x4 mTransform;\n"
    "texture TextureStage0;\n"
    "sampler2D Sampler0 : register(s1) = sampler_state { Texture = <TextureStage0>; MagFilter = POINT; MinFilter = POINT; };\n"
    "struct VS_OUT { float4 pos : POSITION; float2 uv : TEXCOORD0; };\n"
    "VS_OUT VS(float4 pos : POSITION, float2 uv : TEXCOORD0) { VS_OUT o; o.pos = mul(pos, mTransform); o.uv = uv; return o; }\n"
    "float4 PS(float2 uv : TEXCOORD0) : COLOR0 { return tex2D(Sampler0, uv); }\n" VORN_TEST_PLAIN_PASS;

class Field : public EngineWith<VornTexture, VornShaderFx, VornCamera, VornLight, VornField> {
protected:
    void SetUp() override
    {
        EngineWith::SetUp();
        // Files of this test's own (test programs run side by side in one folder).
        const std::string base = std::string("field_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        red_ = base + "_red.bmp";
        blue_ = base + "_blue.bmp";
        WriteFile(red_, MakeBmp(2, 2, std::vector<uint32_t>(4, 0xFF0000)));
        WriteFile(blue_, MakeBmp(2, 2, std::vector<uint32_t>(4, 0x0000FF)));
    }
    static VornFieldHandle Load(const std::string& x, int32_t level = 1, bool tangents = false, int32_t scale = -1)
    {
        return VornField::CreateFromMemory(x.data(), static_cast<uint32_t>(x.size()), level, scale, VORN_FORMAT_NONE, tangents);
    }
    // Looks down from (0, 10, 0) with +x to the right (90 degrees, so the ground fills the frame), or up.
    static void LookDown(bool away = false)
    {
        VornMatrix projection, view;
        projection.PerspectiveFov(3.14159265f / 2.0f, 1.0f, 100.0f, 1.0f);
        view.LookAt(D3DXVECTOR3(0, 10, 0), D3DXVECTOR3(0, away ? 20.0f : 0.0f, 0), D3DXVECTOR3(0, 0, 1));
        VornCamera::SetCurrentMatrices(&projection, &view);
    }
    uint32_t Draw(VornFieldHandle f)
    {
        uint32_t n = 0;
        Frame([&] {
            VornField::UpdateDrawList(f);
            n = VornField::Rendering(f);
        });
        return n;
    }
    std::string red_, blue_;
};

}  // namespace

TEST_F(Field, LevelsGiveTheirGridAndLevelsAbove16Fail)
{
    LogCapture log;
    const std::string x = Ground().Text({"", ""});
    for (auto [level, division] : {std::pair{5, 16}, {1, 1}, {0, 1}, {17, -1}}) {   // 17: no field, and no handle's division -1
        const VornFieldHandle f = Load(x, level);
        EXPECT_EQ(division, VornField::GetDivision(f)) << "level " << level;
        VornField::Release(f);
    }
    const std::string text = log.Text();
    EXPECT_NAMED({"convert failures", CountIn(text, Red("フィールドデータへのコンバートに失敗しました")), 1},
                 {"releases of record 0", CountIn(text, Red("VornField::Release") + " : [ No.0 ]"), 3});
}

TEST_F(Field, GroundQueriesAnswerFromOneBlock)
{
    GroundMesh m = Ground();
    m.Quad(6, 6, 9, 9, 5, 1);   // a bridge over one block
    const VornFieldHandle f = Load(m.Text({"", ""}), 2);
    VornVector3 pos(7, 7, 7), normal(7, 7, 7);
    float distance = 7;
    EXPECT_EQ(-1, VornField::GetBlockIndex(f, VornVector3(11, 0, 0)));
    EXPECT_FALSE(VornField::HitCheckDown(f, VornVector3(0, 2, 10.5f), &pos, &normal, &distance));
    EXPECT_NAMED({"position left alone", pos, VornVector3(7, 7, 7)}, {"distance left alone", distance, 7.0f});
    for (auto [x, z, block] : {std::tuple{0.0f, -5.0f, 0}, {0.0f, 0.0f, 0}, {5.0f, 0.0f, 1}, {-5.0f, 5.0f, 2}})
        EXPECT_EQ(block, VornField::GetBlockIndex(f, VornVector3(x, 3, z))) << x << " " << z;
    struct Case { VornVector3 p; bool under; float y, distance; } cases[] = {
        {{1, 2, 2}, false, 0, 2}, {{1, -2, 2}, true, 0, -2}, {{7, 3, 7}, true, 5, -2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.p));
        const bool under = VornField::HitCheckDown(f, c.p, &pos, &normal, &distance);
        EXPECT_NAMED({"under", under, c.under}, {"ground y", pos.y, c.y}, {"distance", distance, c.distance}, {"normal", normal, VornVector3(0, 1, 0)});
    }
    // Ray distances above and below the ground; a zero direction is no line and leaves its outputs.
    const VornVector3 down(0, -3, 0), none(0, 0, 0);
    float below = 7, still = 7;
    const bool above = VornField::HitCheckRay(f, VornVector3(1, 2, 1), down, &pos, nullptr, &distance);
    const bool under = VornField::HitCheckRay(f, VornVector3(1, -2, 1), down, nullptr, nullptr, &below);
    const bool noLine = VornField::HitCheckRay(f, VornVector3(1, -2, 1), none, &pos, nullptr, &still);
    EXPECT_NAMED({"ray from above", above, false}, {"its distance", distance, 2.0f}, {"ray from below", under, true}, {"its distance", below, -2.0f},
                 {"zero direction", noLine, false}, {"its distance left alone", still, 7.0f});
    EXPECT_TRUE(VornField::HitCheckSegment(f, VornVector3(1, 2, 2), VornVector3(1, -2, 2), &pos));
    EXPECT_EQ(VornVector3(1, 0, 2), pos);
    EXPECT_FALSE(VornField::HitCheckSegment(f, VornVector3(1, 2, 1), VornVector3(1, 1, 1), &pos));
}

TEST_F(Field, VertexLayoutsColoursAndTangents)
{
    LogCapture log;
    const GroundMesh m = Ground();
    struct Case { bool tangents, uv, colour; uint32_t stride, diffuse; uint8_t flag; } cases[] = {
        {false, true, false, 36, 0xFFFFFFFFu, 0}, {true, true, true, 60, 0xFFFF0000u, 1}, {true, false, false, 36, 0xFFFFFFFFu, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.tangents ? "tangents" : "no tangents") + (c.uv ? ", uv" : ", no uv") + (c.colour ? ", colours" : ""));
        const VornFieldHandle f = Load(m.Text({"", ""}, c.uv, c.colour), 1, c.tangents);
        const VornFieldRecord* r = VornField::GetRecord(f);
        ASSERT_NE(nullptr, r);
        D3DVERTEXBUFFER_DESC desc;
        r->blocks[0].vertexBuffer->GetDesc(&desc);
        const VornFieldVertex& v = r->blocks[0].vertices[0];
        EXPECT_NAMED({"tangent flag", int(r->tangent), c.flag}, {"buffer size", desc.Size, c.stride * r->blocks[0].vertexCount},
                     {"diffuse", Argb{v.diffuse}, Argb{c.diffuse}});
        if (c.uv) {
            EXPECT_NAMED({"tangent", VornVector3(v.tx, v.ty, v.tz), VornVector3(1, 0, 0)}, {"binormal", VornVector3(v.bx, v.by, v.bz), VornVector3(0, 0, 1)});
        }
        VornField::Release(f);
    }
    EXPECT_EQ(1, log.Count(Red("ERROR ::D3DXComputeTangent") + " : "));
}

TEST_F(Field, DrawsEachMaterialWithItsTexturesAndAgainAfterAReset)
{
    const VornFieldHandle f = Load(Ground().Text({red_, blue_}), 2);
    LookDown();
    EXPECT_EQ(0u, Draw(f));   // no effect: nothing drawn
    const VornShaderFxHandle fx = VornShaderFx::CreateFromMemory(kTextureEffect, sizeof kTextureEffect - 1);
    VornField::SetShader(f, fx);
    VornShaderFx::Release(fx);
    VornField::SetShader(f, fx);   // the same effect again survives
    EXPECT_EQ(1u, VornShaderFx::GetRefCount(fx));
    VornField::SetParameterFlags(f, 0x401);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(32u, Draw(f));
        EXPECT_NAMED({round ? "material 0 (x < 0) after a reset" : "material 0 (x < 0)", frame_.Hex(64, 128), Argb{0xFF0000}},
                     {"material 1 (x > 0)", frame_.Hex(192, 128), Argb{0x0000FF}});
        Vorn3D::ResetDevice(true);
    }
    VornField::OnDeviceLost();   // blocks without buffers are skipped, not drawn from nothing
    EXPECT_EQ(0u, Draw(f));
    VornField::OnDeviceRestore();
    LookDown(true);
    EXPECT_EQ(0u, Draw(f));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(0, VornField::IsDraw(f, i % 2, i / 2)) << "block " << i % 2 << ", " << i / 2;
}

TEST_F(Field, ReleasesGiveBackTexturesEffectsAndMemoryAndBadInputFails)
{
    LogCapture log;
    const std::string x = Ground().Text({red_, red_});
    const uint32_t used = VornMemory::GetUsedSize();
    for (int level : {2, 17}) {   // a load that works and one that fails after its textures
        const VornFieldHandle f = Load(x, level);
        const VornShaderFxHandle fx = VornShaderFx::CreateFromMemory(kTextureEffect, sizeof kTextureEffect - 1);
        VornField::SetShader(f, fx);
        const VornTextureHandle blue = VornTexture::CreateFromFile(blue_.c_str(), VORN_FORMAT_NONE, 0);
        VornField::SetTexture(f, 1, blue, -1);
        VornField::SetTexture(f, 1, blue, 0);   // the same texture again
        VornField::Release(f);
        VornShaderFx::Release(fx);
        uint32_t references = 0;
        for (VornTextureHandle t = 0; t < 8; ++t) references += VornTexture::GetRefCount(t);
        SCOPED_TRACE("level " + std::to_string(level));
        EXPECT_NAMED({"texture references (the caller's own)", references, 1}, {"blue's", VornTexture::GetRefCount(blue), 1},
                     {"effect's", VornShaderFx::GetRefCount(fx), 0});
        VornTexture::Release(blue);
    }
    const std::string bad[] = {"garbage bytes that are no X file", "xof 0303txt 0032\n",
                               "xof 0303txt 0032\nMesh {\n3;\n0;0;0;,1;0;0;,0;0;1;;\n0;\n;\n}\n"};
    for (const std::string& b : bad) EXPECT_EQ(VORN_INVALID_HANDLE, Load(b)) << b;
    EXPECT_EQ(VORN_INVALID_HANDLE, VornField::CreateFromFile("no_such_field.x", 1, -1, VORN_FORMAT_NONE, false));
    EXPECT_NAMED({"memory used", VornMemory::GetUsedSize(), used}, {"X-file failure lines", log.Count(Red("Ｘファイルの読み込みに失敗しました")), 3},
                 {"missing file lines", log.Count(Blue("VornField::CreateFromFile") + " : [ no_such_field.x ] : " + Red("ファイルの読み込みに失敗しました")), 1});
}
