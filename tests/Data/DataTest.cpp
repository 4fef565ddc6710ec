// The generated game data through the engine, from Data\Data.bin beside the test: every file the
// game names loads, models keep the rig and the sizes the game relies on, effects compile, models
// draw shaded, the field is hilly at the edges and gentle in the middle, textures keep their
// transparent key and rectangles. The stage drawn with its effect is the lost game's pixel check.
#include "EngineFixture.h"
#include "../Draw3D/ModelXText.h"
#include "TextureRead.h"
#include "VornField.h"

using namespace vorntest;

namespace {

const char* const kFiles[] = {
    "MyChara.x", "weapon.x", "enemy1.x", "enemy2.x", "enemy3.x", "boss.x", "bullet.x", "bullet2.x", "ball.x",
    "torus.x", "height_field.x", "Data\\field.fx", "Data\\etc.fx", "Data\\MyChara.fx", "Data\\ball.fx",
    "Data\\torus.fx", "title.bmp", "system.bmp", "chara.bmp", "clear.bmp", "enebul.bmp", "sand.bmp", "torus.bmp",
    "enemy1.dds", "enemy2.dds", "enemy3.dds", "enemy_boss.dds", "mychara.bmp", "weapon.bmp", "bullet.bmp",
    "ground.bmp", "explos1.wav", "explos2.wav", "jump.wav", "kurai.wav", "shot1.wav", "shot2.wav", "walk.wav",
    "v_attack1.wav", "v_attack2.wav", "v_attack3.wav", "v_attack4.wav", "v_attack5.wav", "ene_attack.wav",
    "v_damage1.wav", "v_damage2.wav", "v_damage3.wav", "ene_bul.wav", "v_huzen.wav", "v_jattack1.wav",
    "v_jattack2.wav", "v_jump.wav", "v_rakka1.wav", "v_rakka2.wav", "v_shot1.wav", "v_shot2.wav", "v_shot3.wav",
    "boss_rakka.wav", "boss_step.wav", "boss_swing.wav", "boss_bul.wav", "v_start.wav", "v_end.wav", "op1.wav",
    "op2.wav", "v_clear.wav", "bgm1.mp3", "bgm2.mp3"};

class GameData : public EngineSuite {
protected:
    void SetUp() override
    {
        EngineSuite::SetUp();
        // Data\Data.bin in the program's folder, as the game finds it.
        VornFile::SetRootPath("Data", (vorntest::ModuleFolder() + "\\Data\\Data.bin").c_str());
        ASSERT_TRUE(vorntest::StartModelExClasses());
        ASSERT_TRUE(VornField::Initialize());
    }
    void TearDown() override
    {
        VornField::Finalize();
        vorntest::EndModelExClasses();
        EngineSuite::TearDown();
    }
    static VornModelExHandle Model(const char* name)
    {
        const VornModelExHandle m = VornModelEx::CreateFromFile(name, 2, 0, 0);
        EXPECT_NE(VORN_INVALID_HANDLE, m) << name;
        VornModelEx::SetAnimationSet(m, 0);
        return m;
    }
    // The model's lowest point in its bind pose (the meshes' boxes placed by their frames).
    static float Lowest(VornModelExHandle m)
    {
        VornModelEx::TransformUpdate(m, 0.0f, false);
        float low = 1e9f;
        for (uint32_t i = 0; i < VornModelEx::GetMeshCount(m); ++i) {
            const VornModelExMesh& mesh = *VornModelEx::GetModel(m)->meshList[i];
            for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
                const D3DXVECTOR3 at(mesh.vertices[v].px, mesh.vertices[v].py, mesh.vertices[v].pz);
                D3DXVECTOR3 p = at;   // skinned meshes are stored in the model's own space
                if (!mesh.skinned) D3DXVec3TransformCoord(&p, &at, mesh.combined.Get());
                low = std::min(low, p.y);
            }
        }
        return low;
    }
};

TEST_F(GameData, EveryNameLoadsFromThePackAndExtractsUnchanged)
{
    ASSERT_TRUE(VornFile::ExtractPack(VornFile::GetPackPath(), OutPath("extracted").c_str()));
    for (const char* name : kFiles) {
        void* data = nullptr;
        uint32_t size = 0;
        ASSERT_TRUE(VornFile::Load(FILE_KIND_DATA, name, &data, &size)) << name;
        const std::string generated = ReadFile(std::string(VORN_DATA_PACK) + "/" + name);
        EXPECT_EQ(generated, std::string(static_cast<const char*>(data), size)) << name;
        EXPECT_EQ(generated, ReadFile(OutPath("extracted") + "\\" + name)) << name;
        VornMemory::Free(data);
    }
}

// The player is one skinned mesh with the hand the weapon hangs on (where the blade lies at each blow
// is the game's combo test); the enemies are rigid. Each stands on its feet where the game puts it.
TEST_F(GameData, ModelsKeepTheirRigAndTheirFeetWhereTheGameStandsThem)
{
    const struct { const char* name; float feet, top; uint32_t length; bool skinned; } cases[] = {
        {"MyChara.x", -0.8f, 1e9f, 314, true}, {"enemy1.x", -0.7f, 1.2f, 50, false}, {"enemy2.x", -0.7f, 1.2f, 45, false},
        {"enemy3.x", -0.7f, 1.2f, 22, false}, {"boss.x", -2.8f, 3.0f, 96, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const VornModelExHandle m = Model(c.name);
        ASSERT_FALSE(HasFailure());
        EXPECT_NEAR(c.feet, Lowest(m), 0.01f);
        EXPECT_LT(VornModelEx::GetModel(m)->boxMax.y, c.top);
        EXPECT_GT(VornModelEx::GetAnimationLength(m, 0), c.length);
        for (uint32_t i = 0; i < VornModelEx::GetMeshCount(m); ++i) EXPECT_EQ(c.skinned, VornModelEx::GetModel(m)->meshList[i]->skinned) << "mesh " << i;
    }
    const VornModelExHandle player = Model("MyChara.x");
    ASSERT_EQ(1u, VornModelEx::GetMeshCount(player));
    const VornModelExMesh& body = *VornModelEx::GetModel(player)->meshList[0];
    EXPECT_TRUE(vorntest::InRange("bones", body.boneCount, 0, 32));
    EXPECT_TRUE(vorntest::InRange("influences", body.maxInfluences, 0, 2));
    EXPECT_GE(VornModelEx::GetFrameIndex(player, "Frame9_migite"), 0);
}

// Each model lit from above front, drawn with the game's effect and flags: the effects compile and
// give several shade levels.
TEST_F(GameData, ModelsDrawShaded)
{
    const struct { const char* name; const char* fx; uint32_t flags; float distance, height, time; } cases[] = {
        {"MyChara.x", "Data\\MyChara.fx", 0x39, 1.4f, 0.0f, 0.0f}, {"weapon.x", "Data\\etc.fx", 0x31, 1.6f, -0.7f, 0.0f},
        {"enemy1.x", "Data\\etc.fx", 0x31, 1.3f, 0.2f, 0.0f},     {"enemy2.x", "Data\\etc.fx", 0x31, 1.3f, 0.2f, 0.0f},
        {"enemy3.x", "Data\\etc.fx", 0x31, 1.2f, 0.0f, 0.0f},     {"boss.x", "Data\\etc.fx", 0x31, 3.4f, 0.0f, 5.0f},
        {"bullet.x", "Data\\etc.fx", 0x31, 1.0f, 0.0f, 0.0f},     {"bullet2.x", "Data\\etc.fx", 0x31, 1.0f, 0.0f, 0.0f},
        {"ball.x", "Data\\ball.fx", 0x21, 0.3f, 0.0f, 0.0f},      {"torus.x", "Data\\torus.fx", 0x61, 1.0f, 0.3f, 0.0f}};
    VornLight::SetType(0, 0);
    VornLight::SetDiffuse(0, 1.0f, 1.0f, 1.0f);
    const D3DXVECTOR3 sun(0.45f, -0.7f, 0.55f);
    VornLight::SetDirection(0, &sun);
    Vorn3D::SetLightEnable(0, true);
    const VornCameraHandle camera = VornCamera::Create();
    VornCamera::CreateProjection(camera, 3.14159265f / 3.0f, 0.1f, 1000.0f, 1.0f);
    VornCamera::TransformInit(camera);
    for (const auto& c : cases) {
        const VornModelExHandle m = Model(c.name);
        ASSERT_TRUE(VornModelEx::SetShaderFromFile(m, c.fx, -1)) << c.name;
        VornModelEx::SetParameterFlags(m, c.flags, -1);
        // three-quarter view from the front (the characters face -Z)
        VornVector3 eye(c.distance * 0.6f, c.height + c.distance * 0.35f, -c.distance * 1.5f), at(0, c.height, 0);
        VornCamera::LookAt(camera, &eye, &at, nullptr);
        VornCamera::TransformUpdate(camera);
        Vorn3D::SetCamera(camera);
        Frame([&] {
            VornModelEx::TransformUpdate(m, c.time, c.time > 0);
            VornModelEx::Rendering(m);
        });
        std::set<uint32_t> levels;
        for (int i = 0; i < kSize * kSize; ++i)
            if (frame_.Rgb(i % kSize, i / kSize)) levels.insert(frame_.Rgb(i % kSize, i / kSize) >> 4 & 0x0F0F0F);
        EXPECT_GE(levels.size(), 4u) << c.name << " is not shaded";
    }
}

TEST_F(GameData, FieldIsHillyAtTheEdgesAndGentleInTheMiddle)
{
    const VornFieldHandle field = VornField::CreateFromFile("height_field.x", 5, 500, VORN_FORMAT_NONE, false);
    ASSERT_NE(VORN_INVALID_HANDLE, field);
    EXPECT_NE(VORN_INVALID_HANDLE, VornShaderFx::CreateFromFile("Data\\field.fx"));   // the effect the game draws it with
    EXPECT_EQ(16, VornField::GetDivision(field));
    float lo = 1e9f, hi = -1e9f, midLo = 1e9f, midHi = -1e9f;
    for (float z = -240; z <= 240; z += 8)
        for (float x = -240; x <= 240; x += 8) {
            VornVector3 at, normal;
            float distance = 0;
            // from below the ground: true, with the crossing above
            ASSERT_TRUE(VornField::HitCheckDown(field, VornVector3(x, -100, z), &at, &normal, &distance)) << x << "," << z;
            lo = std::min(lo, at.y), hi = std::max(hi, at.y);
            if (std::abs(x) <= 50 && std::abs(z) <= 50) midLo = std::min(midLo, at.y), midHi = std::max(midHi, at.y);
        }
    EXPECT_GE(hi - lo, 5.0f) << "heights " << lo << " to " << hi;
    EXPECT_LT(midHi - midLo, 1.0f) << "middle heights " << midLo << " to " << midHi;
}

// The texels of a loaded texture as 0xAARRGGBB, row by row, whichever format the device gave.
std::vector<uint32_t> Texels(VornTextureHandle t, uint32_t* width)
{
    if (VornTexture::GetFormat(t) != D3DFMT_A1R5G5B5) return ReadTexture<uint32_t>(t, width);
    std::vector<uint32_t> out;
    const auto c = [](uint16_t p, int s) { return uint32_t((p >> s & 31) * 255 / 31); };
    for (uint16_t p : ReadTexture<uint16_t>(t, width)) out.push_back(0xFF000000u * (p >> 15) | c(p, 10) << 16 | c(p, 5) << 8 | c(p, 0));
    return out;
}

TEST_F(GameData, TexturesCoverTheirRectanglesWithTheKeyTransparent)
{
    const struct { const char* name; uint32_t size; std::vector<std::pair<int, int>> clear, opaque; } cases[] = {
        {"title.bmp", 512, {{500, 300}, {300, 500}}, {{80, 200}, {200, 100}}},
        {"system.bmp", 512, {{100, 240}, {400, 480}}, {{60, 320}, {128, 416}, {200, 290}}},
        {"chara.bmp", 256, {{2, 2}, {130, 130}}, {{64, 64}, {192, 64}, {64, 192}, {192, 192}}},
        {"clear.bmp", 512, {}, {{0, 0}, {511, 479}}},
        {"enebul.bmp", 512, {{10, 10}, {500, 10}}, {{64, 320}, {192, 320}, {192, 192}, {320, 448}}},
        {"sand.bmp", 256, {{2, 2}}, {{128, 150}}},
        {"enemy1.dds", 256, {}, {}}, {"enemy2.dds", 256, {}, {}}, {"enemy3.dds", 256, {}, {}}, {"enemy_boss.dds", 256, {}, {}}};
    for (const auto& c : cases) {
        const VornTextureHandle t = VornTexture::CreateFromFile(c.name, static_cast<VornFormatKind>(1), 0xFF00FF00);
        ASSERT_NE(VORN_INVALID_HANDLE, t) << c.name;
        EXPECT_EQ(c.size, VornTexture::GetImageWidth(t)) << c.name;
        uint32_t width = 0;
        const std::vector<uint32_t> texels = Texels(t, &width);
        const auto texel = [&](int x, int y) { return texels.at(size_t(y) * width + x); };
        for (const auto& p : c.clear) EXPECT_EQ(0u, texel(p.first, p.second) >> 24) << c.name << " " << p.first << "," << p.second;
        for (const auto& p : c.opaque) EXPECT_EQ(0xFFu, texel(p.first, p.second) >> 24) << c.name << " " << p.first << "," << p.second;
        for (int d : {0, 4})
            if (c.name == std::string("system.bmp")) { EXPECT_EQ(0xFFFFFFFFu, texel(60 + d, 320 - d)) << "the flash texel and its neighbours are white"; }
    }
}

}  // namespace
