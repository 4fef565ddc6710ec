#include "VornVector3.h"
#include "VornMatrix.h"
#include <cmath>

float VornVector3::Length() const
{
    return std::sqrt(LengthSq());
}

VornVector3& VornVector3::Normalize(const D3DXVECTOR3& v)
{
    const float inv = 1.0f / std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return Set(v.x * inv, v.y * inv, v.z * inv);
}

VornVector3& VornVector3::Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return Set(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

VornVector3& VornVector3::Reflect(const D3DXVECTOR3& v, const D3DXVECTOR3& n)
{
    const float d = 2.0f * (v.x * n.x + v.y * n.y + v.z * n.z);
    return Set(v.x - d * n.x, v.y - d * n.y, v.z - d * n.z);
}

VornVector3& VornVector3::TransformNormal(const D3DXVECTOR3& v, const VornMatrix& matrix)
{
    const D3DXMATRIX& m = *matrix.Get();
    return Set(v.x * m._11 + v.y * m._21 + v.z * m._31,
               v.x * m._12 + v.y * m._22 + v.z * m._32,
               v.x * m._13 + v.y * m._23 + v.z * m._33);
}

VornVector3& VornVector3::Transform(const D3DXVECTOR3& v, const VornMatrix& matrix)
{
    const D3DXMATRIX& m = *matrix.Get();
    return Set(v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41,
               v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42,
               v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43);
}

VornVector3& VornVector3::TransformCoord(const D3DXVECTOR3& v, const VornMatrix& matrix)
{
    const D3DXMATRIX& m = *matrix.Get();
    const float w = v.x * m._14 + v.y * m._24 + v.z * m._34 + m._44;
    return Set((v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41) / w,
               (v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42) / w,
               (v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43) / w);
}

namespace {

// (a, b) turned by angle: a' = a cos - b sin, b' = a sin + b cos, from the table values.
void Turn(float& a, float& b, VornAngle angle)
{
    const float s = VornMath::Sin(angle), c = VornMath::Cos(angle);
    const float na = a * c - b * s;
    const float nb = a * s + b * c;
    a = na;
    b = nb;
}

} // namespace

VornVector3& VornVector3::RotationX(VornAngle a)
{
    Turn(y, z, a);
    return *this;
}

VornVector3& VornVector3::RotationY(VornAngle a)
{
    Turn(z, x, a);
    return *this;
}

VornVector3& VornVector3::RotationZ(VornAngle a)
{
    Turn(x, y, a);
    return *this;
}

VornVector3& VornVector3::RotationAxis(VornAngle a, const D3DXVECTOR3& axis)
{
    VornMatrix m;
    m.RotationAxis(a, axis);
    return Transform(*this, m);
}

VornVector3& VornVector3::RotationXYZ(VornAngle ax, VornAngle ay, VornAngle az)
{
    VornMatrix m;
    m.RotationXYZSinCos(ax, ay, az);
    return Transform(*this, m);
}

VornVector3& VornVector3::Scaling(float sx, float sy, float sz)
{
    return Set(x * sx, y * sy, z * sz);
}

VornVector3& VornVector3::Translation(float dx, float dy, float dz)
{
    return Set(x + dx, y + dy, z + dz);
}

VornVector3& VornVector3::Add(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return Set(a.x + b.x, a.y + b.y, a.z + b.z);
}

VornVector3& VornVector3::Sub(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return Set(a.x - b.x, a.y - b.y, a.z - b.z);
}

VornVector3& VornVector3::Set(float fx, float fy, float fz)
{
    x = fx;
    y = fy;
    z = fz;
    return *this;
}

VornVector3& VornVector3::operator+=(const D3DXVECTOR3& v)
{
    return Add(*this, v);
}

VornVector3& VornVector3::operator-=(const D3DXVECTOR3& v)
{
    return Sub(*this, v);
}

VornVector3& VornVector3::operator*=(float s)
{
    return Set(x * s, y * s, z * s);
}

VornVector3& VornVector3::operator/=(float s)
{
    const float inv = 1.0f / s;
    return Set(x * inv, y * inv, z * inv);
}

VornVector3 VornVector3::operator/(float s) const
{
    const float inv = 1.0f / s;
    return VornVector3(x * inv, y * inv, z * inv);
}
