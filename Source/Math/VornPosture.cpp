#include "VornPosture.h"
#include <cmath>
#include <cstring>

namespace {

// Radians to VornAngle, truncated toward zero.
VornAngle ToAngle(double radians)
{
    return static_cast<VornAngle>(radians * 65536.0 / static_cast<double>(VornMath::PI2));
}

double Clamped(double v)
{
    return v < -1.0 ? -1.0 : (v > 1.0 ? 1.0 : v);
}

void SetRows(VornMatrix& m, const VornVector3& r0, const VornVector3& r1, const VornVector3& r2)
{
    D3DXMATRIX* d = m.Get();
    d->_11 = r0.x; d->_12 = r0.y; d->_13 = r0.z; d->_14 = 0.0f;
    d->_21 = r1.x; d->_22 = r1.y; d->_23 = r1.z; d->_24 = 0.0f;
    d->_31 = r2.x; d->_32 = r2.y; d->_33 = r2.z; d->_34 = 0.0f;
    d->_41 = 0.0f; d->_42 = 0.0f; d->_43 = 0.0f; d->_44 = 1.0f;
}

} // namespace

void VornPosture::Init()
{
    rotation.Align();
    inverseRotation.Align();
    world.Align();
    inverseWorld.Align();
    rotation.Identity();
    inverseRotation.Identity();
    world.Identity();
    inverseWorld.Identity();
    up.Set(0.0f, 1.0f, 0.0f);
    right.Set(1.0f, 0.0f, 0.0f);
    front.Set(0.0f, 0.0f, 1.0f);
    position.Set(0.0f, 0.0f, 0.0f);
}

// A plain copy: every holder moves its matrix to its own aligned place on first use.
void VornPosture::Copy(const VornPosture& source)
{
    *this = source;
}

void VornPosture::UpdateMatrices()
{
    SetRows(rotation, right, up, front);
    inverseRotation.Transpose(rotation);
    SetRows(world, right, up, front);
    D3DXMATRIX* w = world.Get();
    w->_41 = position.x;
    w->_42 = position.y;
    w->_43 = position.z;
    inverseWorld.Transpose(rotation);
    D3DXMATRIX* iw = inverseWorld.Get();
    iw->_41 = 0.0f - position.Dot(right);   // 0 - x: no negative zeros at the origin
    iw->_42 = 0.0f - position.Dot(up);
    iw->_43 = 0.0f - position.Dot(front);
    iw->_44 = 1.0f;
}

void VornPosture::SetRotationMatrix(const VornMatrix& m)
{
    const D3DXMATRIX* s = m.Get();
    right.Set(s->_11, s->_12, s->_13);
    up.Set(s->_21, s->_22, s->_23);
    front.Set(s->_31, s->_32, s->_33);
}

void VornPosture::RotationX(VornAngle a)
{
    right.RotationX(a);
    up.RotationX(a);
    front.RotationX(a);
}

void VornPosture::RotationY(VornAngle a)
{
    right.RotationY(a);
    up.RotationY(a);
    front.RotationY(a);
}

void VornPosture::RotationZ(VornAngle a)
{
    right.RotationZ(a);
    up.RotationZ(a);
    front.RotationZ(a);
}

void VornPosture::LocalRotationX(VornAngle a)
{
    const float c = VornMath::Cos(a), s = VornMath::Sin(a);
    const VornVector3 u = up, f = front;
    up.Set(c * u.x + s * f.x, c * u.y + s * f.y, c * u.z + s * f.z);
    front.Set(-s * u.x + c * f.x, -s * u.y + c * f.y, -s * u.z + c * f.z);
}

void VornPosture::LocalRotationY(VornAngle a)
{
    const float c = VornMath::Cos(a), s = VornMath::Sin(a);
    const VornVector3 r = right, f = front;
    right.Set(c * r.x - s * f.x, c * r.y - s * f.y, c * r.z - s * f.z);
    front.Set(s * r.x + c * f.x, s * r.y + c * f.y, s * r.z + c * f.z);
}

void VornPosture::LocalRotationZ(VornAngle a)
{
    const float c = VornMath::Cos(a), s = VornMath::Sin(a);
    const VornVector3 r = right, u = up;
    right.Set(c * r.x + s * u.x, c * r.y + s * u.y, c * r.z + s * u.z);
    up.Set(-s * r.x + c * u.x, -s * r.y + c * u.y, -s * r.z + c * u.z);
}

void VornPosture::RotationQuaternion(const D3DXQUATERNION& q)
{
    VornMatrix m;
    m.RotationQuaternion(q);
    SetRotationMatrix(m);
}

void VornPosture::LookAt(const D3DXVECTOR3& eye, const D3DXVECTOR3& target, const D3DXVECTOR3* upVector)
{
    VornVector3 f;
    f.Sub(target, eye);
    if (!(f.LengthSq() > 0.0f)) {
        position = eye;   // no direction: keep the axes
        return;
    }
    f.NormalizeSelf();
    VornVector3 u = upVector ? VornVector3(*upVector) : VornVector3(0.0f, 1.0f, 0.0f);
    // Straight up or down (the normalised y may miss 1 by a rounding).
    if (f.y == 1.0f || f.y == -1.0f || (f.x == 0.0f && f.z == 0.0f))
        u.Set(0.0f, 0.0f, f.y > 0.0f ? -1.0f : 1.0f);
    VornVector3 r;
    r.Cross(f, u);
    if (!(r.LengthSq() > 0.0f)) {
        // An up along front: take the world axis furthest from front.
        const float ax = std::fabs(f.x), ay = std::fabs(f.y), az = std::fabs(f.z);
        if (ax <= ay && ax <= az)
            u.Set(1.0f, 0.0f, 0.0f);
        else if (ay <= az)
            u.Set(0.0f, 1.0f, 0.0f);
        else
            u.Set(0.0f, 0.0f, 1.0f);
        r.Cross(f, u);
    }
    r.NormalizeSelf();
    right = -r;
    VornVector3 newUp;
    newUp.Cross(f, right);
    up.Normalize(newUp);
    front = f;
    position = eye;
}

VornAngle VornPosture::GetAngleX() const
{
    return ToAngle(std::asin(Clamped(front.y)));
}

VornAngle VornPosture::GetAngleY() const
{
    if (front.y == 1.0f || front.y == -1.0f)
        return ToAngle(std::atan2(static_cast<double>(up.x), static_cast<double>(up.z)));
    return ToAngle(std::atan2(static_cast<double>(front.x), static_cast<double>(front.z)));
}

VornAngle VornPosture::GetAngleZ() const
{
    const double fy = front.y;
    const double across = 1.0 - fy * fy;
    if (!(across > 0.0))
        return 0;
    const double r = std::asin(Clamped(right.y / std::sqrt(across)));
    return ToAngle(up.y >= 0.0f ? r : 3.1415927 - r);
}
