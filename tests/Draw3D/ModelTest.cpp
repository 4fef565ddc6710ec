// Static models: the hierarchy allocator, built-in shapes, sphere hits, our animation controller,
// CPU skinning and fixed-function pixels, malformed files. Every X file is written here as text.
#include "EngineFixture.h"
#include "ModelXText.h"
#include "VornModel.h"
#include "VornState.h"

using namespace vorntest;

namespace {

const std::string kTicksTemplate =
    "template AnimTicksPerSecond { <9E415A43-7BA6-4a73-8743-B73D47E88476> DWORD AnimTicksPerSecond; }\n";

// Root{A{A1}, B}, 10 ticks a second (the default 4800 is the X-file agreement test's): A1 holds a
// red quad, B a triangle without materials; set 0 moves A from x 0 at key 0 to x 10 at key 10, set
// 1 holds A at y 20.
std::string Tree()
{
    const std::string triangle = "Mesh meshB { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;; }\n";
    return kHead + kTicksTemplate + "AnimTicksPerSecond { 10; }\n" +
           "Frame Root { Frame A { Frame A1 { " + Quad("meshA1", 0, 0, 1, 1, 0) + "} } Frame B { " + triangle + "} }\n" +
           "AnimationSet Move { Animation { {A} " + Key(2, {{0, {0, 0, 0}}, {10, {10, 0, 0}}}) + "} }\n" +
           "AnimationSet Hold { Animation { {A} " + Key(2, {{0, {0, 20, 0}}, {10, {0, 20, 0}}}) + "} }\n";
}

int LiveTextures()
{
    int n = 0;
    for (VornHandle i = 0; i < VORN_DEFAULT_TABLE_SIZE; ++i) n += VornTexture::GetRecord(i) != nullptr;
    return n;
}

class Model : public ModelScene<VornMath, VornTexture, VornCamera, VornModel> {
protected:
    static VornModelHandle Load(const std::string& text)
    {
        return VornModel::CreateFromMemory(text.data(), static_cast<uint32_t>(text.size()));
    }
    static const VornModelRecord& R(VornModelHandle m) { return *VornModel::GetModel(m); }
    static VornModelContainer* Root(VornModelHandle m) { return static_cast<VornModelContainer*>(R(m).root->pMeshContainer); }
    static float FrameX(VornModelHandle m, const char* name, int column = 0)
    {
        return (&static_cast<VornModelFrame*>(D3DXFrameFind(R(m).root, name))->combined._41)[column];
    }
};

// Mended: setting the texture a model already holds again keeps it.
TEST_F(Model, CubeIsCentredWithItsSphereMaterialAndLogLineAndKeepsATextureSetTwice)
{
    LogCapture log;
    const VornModelHandle m = VornModel::CreateCube(2, 4, 6, 1, 0, 0, 1);
    ASSERT_NE(VORN_INVALID_HANDLE, m);
    EXPECT_EQ(0u, R(m).containerCount);
    VornVector3 centre;   // the bounds' own, taken from the stored vertices after they are centred
    float radius = 0;
    VornModel::GetBoundingSphere(m, &centre, &radius);
    EXPECT_LT(D3DXVec3Length(&centre), 1e-4f);
    EXPECT_NEAR(3.742f, radius, 0.001f);
    const D3DMATERIAL9& mat = Root(m)->pMaterials[0].MatD3D;
    EXPECT_EQ((std::vector<float>{1, 0, 0, 1, 0.3f, 0, 0, 1, 1, 1, 1, 30}),
              (std::vector<float>{mat.Diffuse.r, mat.Diffuse.g, mat.Diffuse.b, mat.Diffuse.a, mat.Ambient.r, mat.Ambient.g, mat.Ambient.b,
                                  mat.Ambient.a, mat.Specular.r, mat.Specular.g, mat.Specular.b, mat.Power}));
    // All containers of a shape are its tree's (the record's array is empty).
    VornModel::SetAlpha(m, 51, -1, -1);
    EXPECT_FLOAT_EQ(0.2f, mat.Diffuse.a);
    EXPECT_TRUE(InOrder(log.Text(), {Blue("VornModel::CreateCube"), " : [ CUBE ] : ", "POLYGON [ 12 ] : VERTEX [ 24 ] : ",
                                     "SPHERE [ 3.742 (0.000,0.000.0.000) ] : ", Green("Success")}));
    const std::string path = TestFolder() + "\\red.bmp";
    ASSERT_TRUE(WriteFile(path, MakeBmp(1, 1, {0xFF0000})));
    const VornTextureHandle t = VornTexture::CreateFromFile(path.c_str(), 0, 0);
    VornModel::SetTexture(m, 0, t, -1, -1);
    VornTexture::Release(t);   // the model's reference is the only one
    VornModel::SetTexture(m, 0, t, -1, -1);
    EXPECT_EQ(1u, VornTexture::GetRefCount(t));
    VornModel::Release(m);
    EXPECT_EQ(0u, VornTexture::GetRefCount(t));
}

TEST_F(Model, TextDepthIsTheDepthArgumentAtEveryScaleAndScaleZeroFails)
{
    LogCapture log;
    for (float scale : {1.0f, 4.0f}) {
        const VornModelHandle m = VornModel::CreateText("Arial", "Vorn", 0.01f, 0.5f, scale, 1, 1, 1, 1);
        ASSERT_NE(VORN_INVALID_HANDLE, m) << scale;
        EXPECT_NEAR(0.5f, Root(m)->boxMax.z - Root(m)->boxMin.z, 0.01f) << scale;
    }
    EXPECT_EQ(VORN_INVALID_HANDLE, VornModel::CreateText("Arial", "Vorn", 0.01f, 0.5f, 0.0f, 1, 1, 1, 1));
    EXPECT_NE(VORN_INVALID_HANDLE, VornModel::CreateText("Arial", std::string(400, 'W').c_str(), 0.01f, 0.5f, 1, 1, 1, 1, 1));
    EXPECT_EQ(1, log.Count(Red("メッシュのコンバートに失敗")));
}

TEST_F(Model, SpheresHitOnlyWhenTheyOverlapAndRaysHitTheSphereWhateverTheScale)
{
    const VornModelHandle a = VornModel::CreateCube(2, 2, 2, 1, 1, 1, 1), b = VornModel::CreateCube(2, 4, 6, 1, 1, 1, 1);
    float ra = 0, rb = 0;
    VornModel::GetBoundingSphere(a, nullptr, &ra);
    VornModel::GetBoundingSphere(b, nullptr, &rb);
    const VornVector3 at(0, 0, 0), towards(1, 0, 0), away(-1, 0, 0);
    VornModel::SetPosition(a, -5.0f, 0, 0);
    VornModel::SetPosition(b, ra + rb - 5.0f, 0, 0);
    for (float scale : {1.0f, 10.0f}) {
        VornModel::SetScale(a, scale, scale, scale);
        VornModel::TransformUpdate(a, 0);
        VornModel::TransformUpdate(b, 0);
        EXPECT_FALSE(VornModel::HitCheckSphere(a, b)) << scale;
        EXPECT_TRUE(VornModel::HitCheckRay(a, VornVector3(-5.0f - ra - 0.01f, 0, 0), towards)) << scale;
        EXPECT_FALSE(VornModel::HitCheckRay(a, VornVector3(-5.0f - ra - 0.01f, 0, 0), away)) << scale;
    }
    VornModel::SetPosition(b, ra + rb - 5.01f, 0, 0);
    VornModel::TransformUpdate(b, 0);
    // Last: no direction, 25 units off, is no ray.
    EXPECT_NAMED({"overlapping spheres", VornModel::HitCheckSphere(a, b), true}, {"ray of no model", VornModel::HitCheckRay(VORN_INVALID_HANDLE, at, towards), false},
                 {"ray without direction", VornModel::HitCheckRay(a, VornVector3(20, 0, 0), at), false});
}

TEST_F(Model, AllocatorCountsNamesAndMaterialsAndTheContainersFollowTheFrameWalk)
{
    VornModelSub sub;
    D3DXFRAME* unnamed = nullptr;
    ASSERT_EQ(S_OK, sub.CreateFrame(nullptr, &unnamed));
    EXPECT_EQ(nullptr, unnamed->Name);
    sub.DestroyFrame(unnamed);
    const std::string text = Tree();
    D3DXFRAME* root = nullptr;
    ASSERT_EQ(S_OK, D3DXLoadMeshHierarchyFromXInMemory(text.data(), static_cast<DWORD>(text.size()), D3DXMESH_MANAGED,
                                                       device_, &sub, nullptr, &root, nullptr));
    D3DXFrameDestroy(root, &sub);
    // Frames: the unnamed one, Root, A, A1, B.
    EXPECT_NAMED({"frames", sub.GetFrameCount(), 5}, {"mesh containers", sub.GetMeshContainerCount(), 2});

    const VornModelHandle m = Load(text);
    ASSERT_NE(VORN_INVALID_HANDLE, m);
    ASSERT_EQ(2u, R(m).containerCount);
    EXPECT_STREQ("meshB", R(m).containers[0]->Name);   // B is A's sibling: before A's child A1
    EXPECT_STREQ("meshA1", R(m).containers[1]->Name);
    const D3DMATERIAL9& grey = R(m).containers[0]->pMaterials[0].MatD3D;
    const D3DMATERIAL9& red = R(m).containers[1]->pMaterials[0].MatD3D;
    EXPECT_NAMED({"grey diffuse red", grey.Diffuse.r, 0.5f}, {"grey diffuse alpha", grey.Diffuse.a, 0.0f}, {"grey specular green", grey.Specular.g, 0.5f},
                 {"grey ambient red", grey.Ambient.r, 0.0f}, {"red ambient red (a quarter)", red.Ambient.r, 0.25f}, {"red ambient green", red.Ambient.g, 0.0f});
    EXPECT_EQ(VORN_INVALID_HANDLE, R(m).containers[1]->textures[0]);
}

TEST_F(Model, AnimationPosesTheAbsoluteTimeLoopsAndBlendsEnabledTracks)
{
    const VornModelHandle m = Load(Tree());
    ASSERT_NE(VORN_INVALID_HANDLE, m);
    for (float time : {0.5f, 0.5f, 1.5f}) {
        VornModel::TransformUpdate(m, time);
        EXPECT_NEAR(5.0f, FrameX(m, "A"), 1e-3f) << time;
        EXPECT_NEAR(5.0f, FrameX(m, "A1"), 1e-3f) << time;
    }
    EXPECT_TRUE(VornModel::SetTrackEnable(m, 1, true));
    VornModel::TransformUpdate(m, 0.5f);
    EXPECT_NAMED({"A's x, both tracks blended", FrameX(m, "A"), 2.5, 1e-3}, {"A's y", FrameX(m, "A", 1), 10.0, 1e-3});
    const bool third = VornModel::SetTrackEnable(m, 2, true), cube = VornModel::SetTrackSpeed(VornModel::CreateCube(1, 1, 1, 1, 1, 1, 1), 0, 1.0f);
    EXPECT_NAMED({"a third track", third, false}, {"a track of a cube (no animation)", cube, false});
}

TEST_F(Model, RedCubeLitByAmbientOnlyAndCulledBehindTheCamera)
{
    const VornModelHandle m = VornModel::CreateCube(1, 1, 1, 1, 0, 0, 1);
    Vorn3D::SetRenderState(D3DRS_LIGHTING, TRUE);
    Vorn3D::SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    Vorn3D::SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    for (int i = 0; i < 8; ++i) Vorn3D::SetLightEnable(i, false);
    // The device's own ambient states: the lit colour is the material ambient x white.
    device_->SetRenderState(D3DRS_AMBIENT, 0xFFFFFFFF);
    device_->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    Frame([&] { VornModel::Rendering(m); });
    EXPECT_TRUE(Near(0x4D0000, frame_.At(128, 128), 3));
    g_vorn.secondPolygons3D = 0;
    VornModel::SetPosition(m, 0, 0, -5.0f);
    VornModel::TransformUpdate(m, 0);
    Frame([&] { VornModel::Rendering(m); });
    EXPECT_NAMED({"centre", frame_.Hex(128, 128), Argb{0}}, {"polygons counted", g_vorn.secondPolygons3D, 0});
}

// The skinned normals turn with their bones but do not move with them: the moved half still faces -z.
TEST_F(Model, SkinnedQuadMovesOnlyTheHalfOfTheMovedBoneAndNotItsNormals)
{
    const VornModelHandle m = Load(TwoBoneQuad("MeshNormals { 1; 0.0;0.0;-1.0;; 2; 3;0,0,0;, 3;0,0,0;; }\n"));
    ASSERT_NE(VORN_INVALID_HANDLE, m);
    Frame([&] { VornModel::Rendering(m); });
    EXPECT_TRUE(BoxIs(frame_, 0xFFFFFF, 64, 64, 191, 191, 1));
    D3DXFrameFind(R(m).root, "Bone1")->TransformationMatrix._41 = 0.5f;
    VornModel::TransformUpdate(m, 0);
    Frame([&] { VornModel::Rendering(m); });
    EXPECT_TRUE(BoxIs(frame_, 0xFFFFFF, 64, 64, 223, 191, 1));
    ID3DXMesh* skinned = R(m).containers[0]->MeshData.pMesh;
    ASSERT_EQ(DWORD(D3DFVF_XYZ | D3DFVF_NORMAL), skinned->GetFVF());
    const float* v = nullptr;
    ASSERT_EQ(D3D_OK, skinned->LockVertexBuffer(D3DLOCK_READONLY, (void**)&v));
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("vertex " + std::to_string(i) + (i == 1 || i == 2 ? " (on the moved bone)" : ""));
        EXPECT_NAMED({"normal x", v[6 * i + 3], 0.0, 1e-5}, {"normal y", v[6 * i + 4], 0.0, 1e-5}, {"normal z", v[6 * i + 5], -1.0, 1e-5});
    }
    skinned->UnlockVertexBuffer();
}

TEST_F(Model, MalformedFilesFailWithoutLeakingAndAMissingTextureStillLoads)
{
    LogCapture log;
    const std::string tree = Tree();
    const std::string lostBone = kHead + "Frame Root { Frame Bone0 { } " +
                                 Quad("skin", -1, -1, 1, 1, 0, "XSkinMeshHeader { 1; 1; 1; }\n" + Skin("Gone", {0}, {1})) + "}\n";
    const std::string cases[] = {tree.substr(0, tree.size() / 2), kHead, lostBone};
    const uint32_t used = VornMemory::GetUsedSize();
    const int textures = LiveTextures();
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 60));
        EXPECT_EQ(VORN_INVALID_HANDLE, Load(text));
        EXPECT_NAMED({"record 0", VornModel::GetModel(0), nullptr}, {"memory used", VornMemory::GetUsedSize(), used}, {"live textures", LiveTextures(), textures});
    }
    EXPECT_NAMED({"refused-file lines", log.Count(RedStart("ファイルの読み込みに失敗 [ ")), 2}, {"lost-bone lines", log.Count(Red("ボーンの接続に失敗")), 1});
    const std::string material = "1.0;1.0;1.0;1.0;;0.0;0.0;0.0;0.0;;0.0;0.0;0.0;; TextureFilename { \"missing.bmp\"; }";
    const VornModelHandle m = Load(kHead + "Frame Root { " + Quad("q", 0, 0, 1, 1, 0, "", material) + "}\n");
    ASSERT_NE(VORN_INVALID_HANDLE, m);
    EXPECT_EQ(VORN_INVALID_HANDLE, R(m).containers[0]->textures[0]);
}

}  // namespace
