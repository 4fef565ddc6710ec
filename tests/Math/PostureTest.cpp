// Postures: default frame, matrices from the axes, world and own-axis turns, LookAt and the
// angles read back, with the guarded degenerate cases.
#include "MathFixture.h"
#include "VornHandleTable.h"
#include "VornPosture.h"
#include <cstdlib>

using vorntest::kIdentity;
using vorntest::MathTest;
using vorntest::SameBits;

namespace {

bool IsIdentity(const VornMatrix& m) { return SameBits(*m.Get(), kIdentity); }

// The matrix with the rows right, up, front and the fourth row (x, y, z, 1).
D3DXMATRIX Rows(const D3DXVECTOR3& r, const D3DXVECTOR3& u, const D3DXVECTOR3& f, float x = 0, float y = 0, float z = 0)
{
    return D3DXMATRIX(r.x, r.y, r.z, 0, u.x, u.y, u.z, 0, f.x, f.y, f.z, 0, x, y, z, 1);
}

} // namespace

TEST_F(MathTest, MatricesFollowTheAxesOnlyOnUpdate)
{
    // The default axes are where the turn table's cases start.
    VornPosture p;
    EXPECT_TRUE(SameBits(p.position, D3DXVECTOR3(0, 0, 0)));
    p.LocalRotationY(5000);
    p.LocalRotationX(-3000);
    p.SetPosition(4, -5, 6);
    EXPECT_TRUE(IsIdentity(p.world));
    p.UpdateMatrices();
    EXPECT_MATRIX_NEAR(Rows(p.right, p.up, p.front), p.rotation, 0);
    EXPECT_MATRIX_NEAR(Rows(p.right, p.up, p.front, 4, -5, 6), p.world, 0);
    EXPECT_EQ(p.right.y, p.inverseRotation.GetElement(1, 0));
    EXPECT_MATRIX_NEAR(kIdentity, VornMatrix().Multiply(p.world, p.inverseWorld));   // inverseWorld undoes world
}

TEST_F(MathTest, OwnAndWorldAxisTurns)
{
    using Turn = void (VornPosture::*)(VornAngle);
    const struct { Turn first, second; float right[3], up[3], front[3]; } cases[] = {
        // Yaw; pitch: front goes down; roll.
        {&VornPosture::LocalRotationY, nullptr, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}}, {&VornPosture::LocalRotationX, nullptr, {1, 0, 0}, {0, 0, 1}, {0, -1, 0}},
        {&VornPosture::LocalRotationZ, nullptr, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},
        // After a yaw a pitch turns about the new right axis (0, 0, -1), a world turn about x.
        {&VornPosture::LocalRotationY, &VornPosture::LocalRotationX, {0, 0, -1}, {1, 0, 0}, {0, -1, 0}},
        {&VornPosture::RotationY, &VornPosture::RotationX, {0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {&VornPosture::RotationZ, nullptr, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}}};
    for (const auto& c : cases) {
        VornPosture p;
        (p.*c.first)(16384);
        if (c.second) (p.*c.second)(16384);
        SCOPED_TRACE(&c - cases);
        EXPECT_VECTOR(c.right[0], c.right[1], c.right[2], p.right);
        EXPECT_VECTOR(c.up[0], c.up[1], c.up[2], p.up);
        EXPECT_VECTOR(c.front[0], c.front[1], c.front[2], p.front);
    }
    // A world turn multiplies every axis by the single-axis matrix, whose rows the axes then are. (A
    // quaternion turn sets the axes from the quaternion matrix, which is checked against D3DX.)
    VornPosture p, q;
    p.RotationY(7000);
    q.SetRotationMatrix(VornMatrix().RotationY(7000));
    EXPECT_NAMED({"right the same bits", SameBits(q.right, p.right), true}, {"front the same bits", SameBits(q.front, p.front), true});
}

TEST_F(MathTest, LookAtBuildsALeftHandedFrame)
{
    VornPosture p;
    p.LookAt(D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(4, 2, 7), nullptr);
    EXPECT_VECTOR(0.6f, 0, 0.8f, p.front);
    EXPECT_VECTOR(0.8f, 0, -0.6f, p.right);
    EXPECT_VECTOR(0, 1, 0, p.up);
    EXPECT_VECTOR(1, 2, 3, p.position, 0);
    EXPECT_TRUE(IsIdentity(p.world));   // not updated
    // Straight up takes (0, 0, -1) as up whatever up was given, straight down (0, 0, 1).
    const D3DXVECTOR3 given(1, 0, 0);
    p.LookAt(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 5, 0), &given);
    EXPECT_VECTOR(0, 1, 0, p.front, 0);
    EXPECT_VECTOR(1, 0, 0, p.right);
    EXPECT_VECTOR(0, 0, -1, p.up);
    p.LookAt(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, -5, 0), nullptr);
    EXPECT_VECTOR(0, 0, 1, p.up);
    // Normalised, this distance gives front.y = 0.99999994: still straight up.
    p.LookAt(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 123.456f, 0), &given);
    EXPECT_VECTOR(1, 0, 0, p.right);
    EXPECT_VECTOR(0, 0, -1, p.up);
    // An up vector along the view direction still gives a finite frame.
    p.LookAt(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(3, 0, 0), &given);
    EXPECT_NEAR(1.0f, p.up.Length(), 1e-6f);
    EXPECT_NEAR(0.0f, p.up.Dot(p.front), 1e-6f);
    // The eye on the target keeps the axes and moves the position.
    p.LocalRotationY(3000);
    const VornPosture before(p);
    p.LookAt(D3DXVECTOR3(2, 2, 2), D3DXVECTOR3(2, 2, 2), nullptr);
    EXPECT_VECTOR(2, 2, 2, p.position, 0);
    EXPECT_NAMED({"front kept", SameBits(before.front, p.front), true}, {"right kept", SameBits(before.right, p.right), true},
                 {"up kept", SameBits(before.up, p.up), true});
}

TEST_F(MathTest, AnglesReadBackFromTheAxesAndAtTheDegenerateFrames)
{
    VornPosture p;
    for (VornAngle a = 0; a < 16384; a++) {
        p.Init();
        p.RotationY(a);
        ASSERT_LE(std::abs(p.GetAngleY() - a), 1) << a;
    }
    p.Init();
    p.LocalRotationX(-4000);   // pitch up: front.y = sin 4000
    EXPECT_LE(std::abs(p.GetAngleX() - 4000), 1);
    for (VornAngle a : {-12000, -100, 0, 9000, 16000, 20000}) {   // 20000: up.y < 0, pi - r
        p.Init();
        p.RotationZ(a);
        EXPECT_LE(std::abs(p.GetAngleZ() - a), 1) << a;
    }
    // The degenerate frames.
    using Angles = std::vector<VornAngle>;   // X, Y, Z
    p.LookAt(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 1, 0), nullptr);   // front.y exactly 1
    EXPECT_EQ((Angles{16383, 32767, 0}), (Angles{p.GetAngleX(), p.GetAngleY(), p.GetAngleZ()}));   // Y from up (0, 0, -1): a half turn, truncated
    p.front.Set(0, -1, 0);
    p.up.Set(0.5f, 0, 0.5f);
    EXPECT_EQ((Angles{8191, 0}), (Angles{p.GetAngleY(), p.GetAngleZ()}));   // Y read from up while front is vertical
    // Slightly out-of-range components are clamped, not turned into numbers that are not numbers.
    p.Init();
    p.front.Set(0, 1.0000001f, 0);
    EXPECT_EQ((Angles{16383, 0}), (Angles{p.GetAngleX(), p.GetAngleZ()}));
    p.Init();
    p.front.Set(0.6f, 0.0f, 0.8f);
    p.right.Set(0.0f, 1.0000002f, 0.0f);
    EXPECT_EQ(16383, p.GetAngleZ());
}

namespace {
struct PostureRecord { uint8_t inUse; VornPosture posture; VornMatrix extra; float weight; };
static_assert(sizeof(PostureRecord) % 16 == 8, "neighbouring records sit at different alignment phases");
} // namespace

TEST_F(MathTest, PosturesAndHoldersLiveInHandleTableRecords)
{
    VornHandleTable<PostureRecord> table(nullptr, nullptr);
    table.SetMax(3);
    ASSERT_TRUE(table.Initialize(__FILE__, __LINE__));
    PostureRecord* r = table.Get(table.AllocRecord());   // a zeroed record: the holders hold zeros
    ASSERT_NE(nullptr, r);
    EXPECT_NAMED({"element (0, 0)", r->extra.GetElement(0, 0), 0.0f}, {"matrix address % 16", reinterpret_cast<uintptr_t>(r->extra.Get()) % 16, 0});
    r->posture.Init();
    r->posture.SetPosition(1, 2, 3);
    r->posture.UpdateMatrices();
    EXPECT_EQ(1.0f, r->posture.world.GetElement(3, 0));
    // Copies of records are byte copies (the holders are trivially copyable): the matrix tests copy
    // holders as bytes at every pair of offsets, this record's two phases among them.
    table.Finalize();
}
