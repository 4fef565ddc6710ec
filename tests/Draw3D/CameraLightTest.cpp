// Cameras and the current view with its culling volume; the four lights and their export.
#include "EngineFixture.h"
#include "VornLight.h"
#include <algorithm>

using namespace vorntest;

namespace {

const float kPi = 3.14159265f;

VornBox Box(const float (&c)[6])
{
    VornBox box;
    VornMath::TransformBox(&box, VornVector3(c[0], c[1], c[2]), VornVector3(c[3], c[4], c[5]), VornMatrix());
    return box;
}

// Each matrix got against the one expected, within 1e-5: a failure names the matrix and each element _rc that differed.
struct NamedMatrix { const char* name; D3DXMATRIX got, want; };
::testing::AssertionResult SameMatrices(std::initializer_list<NamedMatrix> list)
{
    std::ostringstream differ;
    for (const NamedMatrix& m : list)
        for (int e = 0; e < 16; ++e)
            if (std::fabs(m.got.m[e / 4][e % 4] - m.want.m[e / 4][e % 4]) > 1e-5f)
                differ << "\n  " << m.name << " _" << e / 4 + 1 << e % 4 + 1 << ": expected " << m.want.m[e / 4][e % 4] << ", got " << m.got.m[e / 4][e % 4];
    return differ.tellp() == 0 ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "matrices differ:" << differ.str();
}

using Light = EngineWith<VornLight>;

class Camera : public EngineWith<VornCamera> {
protected:
    // The game's camera: pi/3, near 1, far 1000, 4:3, at eye looking at target.
    VornCameraHandle GameCamera(const VornVector3& eye, const VornVector3& target)
    {
        VornCameraHandle cam = VornCamera::Create();
        VornCamera::CreateProjection(cam, kPi / 3.0f, 1.0f, 1000.0f, 4.0f / 3.0f);
        VornCamera::TransformInit(cam);
        VornCamera::LookAt(cam, &eye, &target, nullptr);
        VornCamera::TransformUpdate(cam);
        return cam;
    }
};

}  // namespace

TEST_F(Camera, CurrentViewIsIdentityFirstAndTheTableHolds32)
{
    VornMatrix p, v, vp, ivp;
    VornCamera::GetMatrices(&p, &v, &vp, &ivp);
    const D3DXMATRIX identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    EXPECT_TRUE(SameMatrices({{"projection", *p.Get(), identity}, {"inverse view-projection", *ivp.Get(), identity}}));

    LogCapture log;
    for (uint32_t i = 0; i < 32; ++i) EXPECT_EQ(i, VornCamera::Create());
    EXPECT_EQ(VORN_INVALID_HANDLE, VornCamera::Create());
    VornCamera::CreateProjection(5, 1.0f, 1.0f, 10.0f, 1.0f);
    VornCamera::Release(5);
    VornMatrix m, n;
    VornCamera::GetProjection(5, &m);
    VornCamera::GetView(5, &n);
    EXPECT_TRUE(SameMatrices({{"released projection", *m.Get(), identity * 0.0f}, {"released view", *n.Get(), identity}}));
    EXPECT_EQ(5u, VornCamera::Create());
    VornCamera::Finalize();
    EXPECT_EQ(1, log.Count(Red("VornCamera::Release")));
    EXPECT_TRUE(InOrder(log.Text(), {" : [ No.5 ]", Red("Camera Destroy [ No.31 ]")}));
    ASSERT_TRUE(VornCamera::Initialize());
}

TEST_F(Camera, BoxesInFrontAreVisibleBehindAndBeyondFarAreNot)
{
    // Looking along +z: in front, reaching in, behind, beyond 1000, far right; turned round, the first two swap.
    const struct { float look, box[6]; bool visible; } cases[] = {
        {1, {-1, -1, 10, 1, 1, 12}, true},      {1, {-1000, -1000, 500, 1000, 1000, 2000}, true}, {1, {-1, -1, -12, 1, 1, -10}, false},
        {1, {-1, -1, 1100, 1, 1, 1200}, false}, {1, {500, -1, 10, 510, 1, 12}, false},            {-1, {-1, -1, 10, 1, 1, 12}, false},
        {-1, {-1, -1, -12, 1, 1, -10}, true}};
    for (const auto& c : cases) {
        VornCamera::SetCamera(GameCamera(VornVector3(0, 0, 0), VornVector3(0, 0, c.look)));
        EXPECT_EQ(c.visible, VornCamera::IsVisible(Box(c.box))) << c.look << " " << c.box[0] << " " << c.box[2];
    }
}

TEST_F(Camera, SetCameraSetsTheDeviceViewAndProjection)
{
    VornCameraHandle cam = GameCamera(VornVector3(0, 0, -5), VornVector3(0, 0, 0));
    VornCamera::SetCamera(cam);
    D3DXMATRIX view, projection, expectedProjection;
    ASSERT_EQ(D3D_OK, device_->GetTransform(D3DTS_VIEW, &view));
    ASSERT_EQ(D3D_OK, device_->GetTransform(D3DTS_PROJECTION, &projection));
    D3DXMatrixPerspectiveFovLH(&expectedProjection, kPi / 3.0f, 4.0f / 3.0f, 1.0f, 1000.0f);
    EXPECT_TRUE(SameMatrices({{"view", view, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1)}, {"projection", projection, expectedProjection}}));
    auto eyeZ = [] {
        VornVector3 eye;
        VornCamera::GetPosition(VORN_INVALID_HANDLE, &eye);
        return eye.z;
    };
    EXPECT_EQ(-5.0f, eyeZ());
    // A posture change shows only after TransformUpdate and SetCamera.
    VornCamera::SetPosition(cam, 0, 0, -7);
    VornCamera::SetCamera(cam);
    EXPECT_EQ(-5.0f, eyeZ());
    VornCamera::TransformUpdate(cam);
    VornCamera::SetCamera(cam);
    EXPECT_EQ(-7.0f, eyeZ());

    // Mended: records not in use are skipped, and the current view stays.
    VornCamera::Release(cam);
    for (VornCameraHandle h : {cam, 31u, VORN_INVALID_HANDLE, 1000u}) VornCamera::SetCamera(h);
    EXPECT_NAMED({"eye z (the view kept)", eyeZ(), -7.0f}, {"a box ahead visible", VornCamera::IsVisible(Box({-1, -1, 10, 1, 1, 12})), true});
}

TEST_F(Light, DirectionsAreNormalisedAndBadIndicesAndTypesAreIgnored)
{
    const D3DXVECTOR3 down(0, -10, 0);
    VornLight::SetDirection(1, &down);
    EXPECT_EQ(D3DXVECTOR3(0, -1, 0), D3DXVECTOR3(VornLight::GetLight(1).Direction));
    VornLight::SetType(1, VornLight::TYPE_POINT);
    VornLight::SetType(1, 2);
    EXPECT_EQ(D3DLIGHT_POINT, VornLight::GetLight(1).Type);
    // Out of range: ignored, and nothing outside the four is written.
    VornLight::SetDirection(4, &down);
    VornLight::SetType(7, 0);
    VornLight::SetDiffuse(0xFFFFFFFF, 1, 1, 1);
    const bool enabled = VornLight::SetEnable(4, true);
    EXPECT_NAMED({"SetEnable(4)", enabled, false}, {"IsEnabled(4)", VornLight::IsEnabled(4), false});
}

// Mended: a light never set up is a directional one the device takes; a light the device refuses
// gives false and stays off on both paths.
TEST_F(Light, UnsetLightIsDirectionalAndARefusedOneStaysOff)
{
    EXPECT_TRUE(VornLight::SetEnable(3, true));
    D3DLIGHT9 sent;
    ASSERT_TRUE(SUCCEEDED(device_->GetLight(3, &sent)));
    EXPECT_EQ(D3DLIGHT_DIRECTIONAL, sent.Type);
    VornLight::SetType(1, VornLight::TYPE_POINT);
    VornLight::SetAttenuation(1, -1.0f);
    const bool enabled = VornLight::SetEnable(1, true);
    BOOL on = TRUE;
    const HRESULT asked = device_->GetLightEnable(1, &on);
    VornLightData d;
    VornLight::GetLightData(&d);
    EXPECT_NAMED({"SetEnable(1)", enabled, false}, {"IsEnabled(1)", VornLight::IsEnabled(1), false}, {"GetLightEnable(1)", asked, D3D_OK},
                 {"device light 1", on, FALSE}, {"isUse[3]", d.isUse[3], 1}, {"isDirectional[3]", d.isDirectional[3], 1}, {"isUse[1]", d.isUse[1], 0});
    VornLight::SetEnable(3, false);
}

TEST_F(Light, EnabledLightExportsItsValuesAndReachesTheDevice)
{
    const D3DXVECTOR3 down(0, -1, 0), at(1, 2, 3);
    VornLight::SetType(0, VornLight::TYPE_DIRECTIONAL);
    VornLight::SetDiffuse(0, 1, 0.5f, 0.25f);
    VornLight::SetDirection(0, &down);
    VornLight::SetPosition(0, &at);
    VornLight::SetAttenuation(0, 0.125f);
    VornLight::SetType(2, VornLight::TYPE_POINT);   // set up but never enabled
    EXPECT_TRUE(VornLight::SetEnable(0, true));
    VornLightData d;
    VornLight::GetLightData(&d);
    auto xyzw = [](const D3DXVECTOR4& v) { return std::vector<float>{v.x, v.y, v.z, v.w}; };
    EXPECT_NAMED({"isUse[0]", d.isUse[0], 1}, {"isDirectional[0]", d.isDirectional[0], 1}, {"attenuation[0]", d.attenuation[0], 0.125f},
                 {"isUse[2]", d.isUse[2], 0}, {"isDirectional[2]", d.isDirectional[2], 0}, {"direction[0]", xyzw(d.direction[0]), std::vector<float>{0, -1, 0, 1}},
                 {"position[0]", xyzw(d.position[0]), std::vector<float>{1, 2, 3, 1}}, {"colour[0]", xyzw(d.colour[0]), std::vector<float>{1, 0.5f, 0.25f, 1}});
    BOOL on = FALSE;
    D3DLIGHT9 sent;
    ASSERT_EQ(D3D_OK, device_->GetLightEnable(0, &on));
    ASSERT_EQ(D3D_OK, device_->GetLight(0, &sent));
    EXPECT_NAMED({"device light 0 on", on != FALSE, true}, {"its diffuse green", sent.Diffuse.g, 0.5f});

    // Through Vorn3D as well; switching off zeroes the light's row.
    Vorn3D::SetLightEnable(0, false);
    VornLight::GetLightData(&d);
    EXPECT_BYTES_EQ(std::vector<uint8_t>(sizeof d).data(), &d, sizeof d);   // all zero
    ASSERT_EQ(D3D_OK, device_->GetLightEnable(0, &on));
    EXPECT_EQ(FALSE, on);
}
