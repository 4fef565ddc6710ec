// Vectors and the matrix holder: exact float behaviour, the two rotation senses pinned with
// asymmetric vectors against D3DX's own builders, and the holder's alignment and copies.
#include "MathFixture.h"
#include "VornVector2.h"
#include "VornVector3.h"
#include <cmath>
#include <new>

using vorntest::Bits;
using vorntest::kIdentity;
using vorntest::MathTest;
using vorntest::SameBits;

namespace {

float Radians(VornAngle a) { return static_cast<float>(a * (6.2831854820251465 / 65536.0)); }

} // namespace

// --- vectors ---

TEST(VornVector3, ArithmeticInThreeAndTwoDimensions)
{
    // Division is multiplication by the reciprocal, which rounds differently from a true division.
    const VornVector3 v(5.0f, 7.0f, 10.0f), q = v / 3.0f;
    const float inv = 1.0f / 3.0f;
    EXPECT_VECTOR(5.0f * inv, 7.0f * inv, 10.0f * inv, q, 0);
    VornVector3 w = v;
    EXPECT_TRUE(SameBits(q, w /= 3.0f));
    EXPECT_NAMED({"2D x bits", vorntest::Argb{Bits((VornVector2(5.0f, 7.0f) / 3.0f).x)}, vorntest::Argb{Bits(5.0f * inv)}});

    // Cross, Dot, LengthSq and Normalize are pinned by the planes from points and the segment tests.
    EXPECT_EQ(5.0f, VornVector3(3, 0, 4).Length());
    VornVector3 zero(0, 0, 0);   // normalizing zero gives non-finite components
    zero.NormalizeSelf();
    EXPECT_NAMED({"x finite", std::isfinite(zero.x), false}, {"y finite", std::isfinite(zero.y), false}, {"z finite", std::isfinite(zero.z), false});
    EXPECT_VECTOR(2, 3, 1, VornVector3().Reflect(VornVector3(2, -3, 1), VornVector3(0, 1, 0)), 0);
    EXPECT_VECTOR(1, 1, 0, VornVector3(0, 1, 0).ReflectSelf(VornVector3(1, -1, 0)), 0);   // ReflectSelf: this is the normal

    const VornVector2 a(3.0f, 4.0f), b(-1.0f, 2.0f);
    EXPECT_EQ((std::vector<float>{5, 5, 10, -10, 8, 1.5f}), (std::vector<float>{a.Length(), a.Dot(b), VornVector2::Cross(a, b),
              b.CrossWith(a), VornVector2::ScalarTimesVector(2.0f, a).y, (0.5f * a).x}));   // cross 3*2 - 4*-1
    const VornVector2 u = VornVector2().Normalize(a), r = VornVector2(1, 0).ReflectSelf(VornVector2(-2, 5));
    EXPECT_EQ((std::vector<float>{0.6f, 0.8f, 2, 5}), (std::vector<float>{u.x, u.y, r.x, r.y}));
}

// Transform's translation and TransformCoord's division by w are pinned by the turned and moved box
// and the view volume's corners in the collision tests.
TEST_F(MathTest, TransformNormalLeavesOutTheTranslation)
{
    VornMatrix translated;
    const VornVector3 p(0.5f, -2.0f, 4.0f);
    EXPECT_VECTOR(p.x, p.y, p.z, VornVector3().TransformNormal(p, translated.Translation(10, 20, 30)), 0);
}

TEST_F(MathTest, SingleAxisRotationsFollowD3DXAndTheVectorFormsEqualTheMatrices)
{
    using MatrixTurn = VornMatrix& (VornMatrix::*)(VornAngle);
    using VectorTurn = VornVector3& (VornVector3::*)(VornAngle);
    const struct { MatrixTurn matrix; VectorTurn vector; D3DXMATRIX* (WINAPI* d3dx)(D3DXMATRIX*, FLOAT); } axes[] = {
        {&VornMatrix::RotationX, &VornVector3::RotationX, D3DXMatrixRotationX},
        {&VornMatrix::RotationY, &VornVector3::RotationY, D3DXMatrixRotationY},
        {&VornMatrix::RotationZ, &VornVector3::RotationZ, D3DXMatrixRotationZ}};
    const VornVector3 v(1.0f, 2.0f, 3.0f);
    D3DXMATRIX e;
    VornMatrix m;
    for (VornAngle a : {0, 1, 100, 5000, 16384, 25000, 30000, 40000, -7000, -12345, 70000})
        for (const auto& axis : axes) {
            SCOPED_TRACE(testing::Message() << "axis " << &axis - axes << " angle " << a);
            EXPECT_MATRIX_NEAR(*axis.d3dx(&e, Radians(a)), (m.*axis.matrix)(a));
            VornVector3 byMatrix, byVector(v);
            EXPECT_TRUE(SameBits(byMatrix.TransformNormal(v, m), (byVector.*axis.vector)(a)));   // both from the table
        }
}

// --- matrix holder ---

TEST(VornMatrix, KeepsItsMatrixAlignedAtEveryOffsetAndAByteCopyOwnsItsMatrix)
{
    alignas(16) unsigned char from[sizeof(VornMatrix) + 32], to[sizeof(VornMatrix) + 32];
    const D3DXMATRIX sample(1.5f, -0.25f, -2, 2.25f, 0.5f, -1.25f, 3, 1.25f, -0.5f, 3.75f, 2, 0.25f, 4.5f, 2.75f, 1, 5.25f);
    auto ownsAlignedMatrix = [](const VornMatrix* h) {
        const uintptr_t m = reinterpret_cast<uintptr_t>(h->Get()), base = reinterpret_cast<uintptr_t>(h);
        return m % 16 == 0 && m >= base && m + sizeof(D3DXMATRIX) <= base + 80;
    };
    for (int a = 0; a < 16; a++) {
        VornMatrix* source = new (from + a) VornMatrix();
        ASSERT_TRUE(ownsAlignedMatrix(source)) << a;
        EXPECT_EQ(1.0f, source->GetElement(3, 3));
        source->Set(&sample);
        D3DXMATRIX back;
        source->CopyTo(&back);
        EXPECT_TRUE(SameBits(sample, back));
        for (int b = 0; b < 16; b++) {
            source->Set(&sample);
            memcpy(to + b, from + a, sizeof(VornMatrix));   // as a realloc of a record array would
            VornMatrix* copy = reinterpret_cast<VornMatrix*>(to + b);
            ASSERT_TRUE(ownsAlignedMatrix(copy)) << a << " " << b;
            ASSERT_TRUE(SameBits(sample, *copy->Get())) << a << " " << b;
            source->SetElement(0, 0, 99.0f);
            ASSERT_EQ(sample._11, copy->GetElement(0, 0));
        }
    }
    // Moved 8 bytes within one block, so that the old and the new place share their aligned
    // address: the matrix bytes still have to move to the new holder's own aligned place.
    for (int shift : {8, -8}) {
        alignas(16) unsigned char block[sizeof(VornMatrix) + 48];
        VornMatrix* source = new (block + 16 - (shift > 0 ? 8 : 0)) VornMatrix();
        source->Set(&sample);
        unsigned char* target = reinterpret_cast<unsigned char*>(source) + shift;
        memmove(target, source, sizeof(VornMatrix));
        const VornMatrix* moved = reinterpret_cast<const VornMatrix*>(target);
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(moved->Get()) % 16) << shift;
        EXPECT_TRUE(SameBits(sample, *moved->Get())) << shift;
    }
}

// Multiply (in both orders), LookAt and Translation are pinned by the view volume and the turned and
// moved boxes of the collision tests, Scaling by the columns the Normalize case normalizes; Transpose
// and Inverse hand their one matrix to D3DX as they are.
TEST_F(MathTest, MatrixBuildersOverD3DX)
{
    VornMatrix b, out;
    b.RotationY(1234).MultiplySelf(VornMatrix().Translation(3, -1, 2));
    EXPECT_MATRIX_NEAR(kIdentity, VornMatrix().Multiply(out.Inverse(b), b), 1e-6f);
    D3DXMATRIX e;
    EXPECT_TRUE(SameBits(*D3DXMatrixPerspectiveFovLH(&e, 0.9f, 1.6f, 2.0f, 500.0f), *out.PerspectiveFov(0.9f, 2.0f, 500.0f, 1.6f).Get()));
    EXPECT_TRUE(SameBits(*D3DXMatrixOrthoLH(&e, 640.0f, 480.0f, 1.0f, 10.0f), *out.Ortho(640.0f, 480.0f, 1.0f, 10.0f).Get()));
}

TEST(VornMatrix, NormalizeTouchesOnlyTheUpperLeftColumnsAndElementsOutOfRangeAreNotWritten)
{
    VornMatrix a, out;
    a.Scaling(2.0f, 3.0f, 4.0f);
    a.SetElement(1, 0, 2.0f);   // column 0 = (2, 2, 0)
    a.SetElement(3, 0, 9.0f);
    out.Translation(-1.0f, -2.0f, -3.0f);
    out.Normalize(a);
    EXPECT_EQ((std::vector<float>{0.70710677f, 0.70710677f, 1, 1, -1}),   // the last left as it was
              (std::vector<float>{out.GetElement(0, 0), out.GetElement(1, 0), out.GetElement(1, 1), out.GetElement(2, 2),
                                  out.GetElement(3, 0)}));
    a.NormalizeSelf();
    EXPECT_EQ(9.0f, a.GetElement(3, 0));
    a.SetElement(4, 0, 1.0f);
    EXPECT_EQ(0.0f, a.GetElement(0, 4));   // out of range reads 0
}

TEST_F(MathTest, ThreeAngleAxisAndQuaternionBuildersTurnTheOtherWay)
{
    VornMatrix m, product;
    // Q = (Rx(ax) Ry(ay) Rz(az)) transposed, with the D3DX single-axis matrices.
    const VornAngle ax = 3130, ay = 7300, az = 11800;
    product.RotationZ(-az).MultiplySelf(VornMatrix().RotationY(-ay)).MultiplySelf(VornMatrix().RotationX(-ax));
    EXPECT_MATRIX_NEAR(*product.Get(), m.RotationXYZ(ax, ay, az));
    EXPECT_MATRIX_NEAR(*product.Get(), m.RotationXYZSinCos(ax, ay, az));

    // Axis and quaternion: the transpose of what D3DX builds.
    const D3DXVECTOR3 axis(1.0f, -2.0f, 0.5f);
    D3DXVECTOR3 unit;
    D3DXVec3Normalize(&unit, &axis);
    D3DXMATRIX expected, transposed;
    D3DXMatrixTranspose(&transposed, D3DXMatrixRotationAxis(&expected, &unit, Radians(9000)));
    EXPECT_MATRIX_NEAR(transposed, m.RotationAxis(9000, axis));
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, &unit, 0.7f);
    D3DXMatrixTranspose(&transposed, D3DXMatrixRotationQuaternion(&expected, &q));
    EXPECT_MATRIX_NEAR(transposed, m.RotationQuaternion(q));
    // A zero axis gives the identity rather than numbers that are not numbers.
    EXPECT_MATRIX_NEAR(kIdentity, m.RotationAxis(9000, D3DXVECTOR3(0, 0, 0)), 0.0f);

    // Half angles by shift and by division agree except for odd negative angles (-3 >> 1 = -2, -3 / 2 = -1).
    VornMatrix shift, division;
    for (VornAngle a : {0, 2, 7, 4097, 65535, 100001, -4, -30000})
        EXPECT_TRUE(SameBits(*shift.RotationXYZ(a, a + 2, a + 4).Get(), *division.RotationXYZSinCos(a, a + 2, a + 4).Get())) << a;
    EXPECT_FALSE(SameBits(*shift.RotationXYZ(-3, 0, 0).Get(), *division.RotationXYZSinCos(-3, 0, 0).Get()));
}

TEST_F(MathTest, RotationFromToTurnsFromOntoTo)
{
    VornMatrix m, unit;
    VornVector3 v;
    const VornVector3 from(1, 2, 3), to(3, -1, 2);
    const VornVector3 unitFrom = VornVector3().Normalize(from), unitTo = VornVector3().Normalize(to);
    v.TransformNormal(unitFrom, m.RotationFromTo(from, to, nullptr));
    EXPECT_VECTOR(unitTo.x, unitTo.y, unitTo.z, v, 2e-6f);
    // An axis of any length gives the same matrix as the unit axis.
    const D3DXVECTOR3 longAxis(0, 0, 5), unitAxis(0, 0, 1), x(1, 0, 0), y(0, 1, 0);
    unit.RotationFromTo(x, y, &unitAxis);
    EXPECT_MATRIX_NEAR(*unit.Get(), m.RotationFromTo(x, y, &longAxis), 1e-7f);
    EXPECT_VECTOR(0, 1, 0, v.TransformNormal(x, m));
    // This vector's cosine with itself rounds to 1.0000001: clamped, not a number that is not one.
    const D3DXVECTOR3 a(1.5736805f, -2.9873636f, -0.32767683f);
    EXPECT_MATRIX_NEAR(kIdentity, m.RotationFromTo(a, a, &unitAxis), 0.0f);
    EXPECT_MATRIX_NEAR(kIdentity, m.RotationFromTo(a, a * 3.0f, nullptr), 0.0f);
    // Opposite directions: a half turn that still takes from onto to.
    v.TransformNormal(unitFrom, m.RotationFromTo(from, -from * 2.0f, nullptr));
    EXPECT_VECTOR(-unitFrom.x, -unitFrom.y, -unitFrom.z, v, 2e-6f);
    EXPECT_VECTOR(-1, 0, 0, v.TransformNormal(x, m.RotationFromTo(x, -x, nullptr)), 2e-6f);
    // A zero direction gives the identity.
    EXPECT_MATRIX_NEAR(kIdentity, m.RotationFromTo(D3DXVECTOR3(0, 0, 0), x, nullptr), 0.0f);
}
