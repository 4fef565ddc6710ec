#include "VornMatrix.h"
#include <cmath>
#include <cstring>

VornMatrix::VornMatrix()
{
    const uint32_t offset = AlignedOffset();
    matrix_ = reinterpret_cast<D3DXMATRIX*>(buffer_ + offset);
    buffer_[OFFSET_BYTE] = static_cast<uint8_t>(offset);
    Identity();
}

void VornMatrix::Align()
{
    Repair(AlignedOffset());
}

// The recorded place is where the bytes of the matrix are, whichever holder they were copied from
// (a recorded place of 16 or more is no matrix at all, e.g. uninitialised memory).
void VornMatrix::Repair(uint32_t offset) const
{
    const uint32_t previous = buffer_[OFFSET_BYTE];
    if (previous < 16 && previous != offset)
        memmove(buffer_ + offset, buffer_ + previous, sizeof(D3DXMATRIX));
    buffer_[OFFSET_BYTE] = static_cast<uint8_t>(offset);
    matrix_ = reinterpret_cast<D3DXMATRIX*>(buffer_ + offset);
}

void VornMatrix::CopyTo(D3DXMATRIX* out) const
{
    memcpy(out, Get(), sizeof(D3DXMATRIX));
}

void VornMatrix::Set(const D3DXMATRIX* m)
{
    memmove(Get(), m, sizeof(D3DXMATRIX));
}

float VornMatrix::GetElement(uint32_t row, uint32_t column) const
{
    if (row > 3 || column > 3)
        return 0.0f;
    return Get()->m[row][column];
}

void VornMatrix::SetElement(uint32_t row, uint32_t column, float value)
{
    if (row > 3 || column > 3)
        return;
    Get()->m[row][column] = value;
}

VornMatrix& VornMatrix::Identity()
{
    D3DXMATRIX* m = Get();
    memset(static_cast<void*>(m), 0, sizeof(D3DXMATRIX));
    m->_11 = m->_22 = m->_33 = m->_44 = 1.0f;
    return *this;
}

VornMatrix& VornMatrix::Transpose(const VornMatrix& a)
{
    D3DXMatrixTranspose(Get(), a.Get());
    return *this;
}

VornMatrix& VornMatrix::TransposeSelf()
{
    return Transpose(*this);
}

VornMatrix& VornMatrix::Inverse(const VornMatrix& a)
{
    D3DXMatrixInverse(Get(), nullptr, a.Get());
    return *this;
}

VornMatrix& VornMatrix::InverseSelf()
{
    return Inverse(*this);
}

VornMatrix& VornMatrix::Multiply(const VornMatrix& a, const VornMatrix& b)
{
    D3DXMatrixMultiply(Get(), a.Get(), b.Get());
    return *this;
}

VornMatrix& VornMatrix::MultiplySelf(const VornMatrix& b)
{
    return Multiply(*this, b);
}

VornMatrix& VornMatrix::Normalize(const VornMatrix& a)
{
    const D3DXMATRIX* s = a.Get();
    D3DXMATRIX* d = Get();
    for (int c = 0; c < 3; c++) {
        const float x = s->m[0][c], y = s->m[1][c], z = s->m[2][c];
        const float inv = 1.0f / std::sqrt(x * x + y * y + z * z);
        d->m[0][c] = x * inv;
        d->m[1][c] = y * inv;
        d->m[2][c] = z * inv;
    }
    return *this;
}

VornMatrix& VornMatrix::NormalizeSelf()
{
    return Normalize(*this);
}

VornMatrix& VornMatrix::Scaling(float x, float y, float z)
{
    Identity();
    D3DXMATRIX* m = Get();
    m->_11 = x;
    m->_22 = y;
    m->_33 = z;
    return *this;
}

VornMatrix& VornMatrix::Translation(float x, float y, float z)
{
    Identity();
    D3DXMATRIX* m = Get();
    m->_41 = x;
    m->_42 = y;
    m->_43 = z;
    return *this;
}

VornMatrix& VornMatrix::PerspectiveFov(float fovy, float zNear, float zFar, float aspect)
{
    D3DXMatrixPerspectiveFovLH(Get(), fovy, aspect, zNear, zFar);
    return *this;
}

VornMatrix& VornMatrix::Ortho(float width, float height, float zNear, float zFar)
{
    D3DXMatrixOrthoLH(Get(), width, height, zNear, zFar);
    return *this;
}

VornMatrix& VornMatrix::LookAt(const D3DXVECTOR3& eye, const D3DXVECTOR3& at, const D3DXVECTOR3& up)
{
    D3DXMatrixLookAtLH(Get(), &eye, &at, &up);
    return *this;
}

VornMatrix& VornMatrix::RotationX(VornAngle a)
{
    const float s = VornMath::Sin(a), c = VornMath::Cos(a);
    Identity();
    D3DXMATRIX* m = Get();
    m->_22 = c;
    m->_23 = s;
    m->_32 = -s;
    m->_33 = c;
    return *this;
}

VornMatrix& VornMatrix::RotationY(VornAngle a)
{
    const float s = VornMath::Sin(a), c = VornMath::Cos(a);
    Identity();
    D3DXMATRIX* m = Get();
    m->_11 = c;
    m->_13 = -s;
    m->_31 = s;
    m->_33 = c;
    return *this;
}

VornMatrix& VornMatrix::RotationZ(VornAngle a)
{
    const float s = VornMath::Sin(a), c = VornMath::Cos(a);
    Identity();
    D3DXMATRIX* m = Get();
    m->_11 = c;
    m->_12 = s;
    m->_21 = -s;
    m->_22 = c;
    return *this;
}

// The transposed quaternion matrix; every product is rounded to float before it is added.
VornMatrix& VornMatrix::Quaternion(float qx, float qy, float qz, float qw)
{
    Identity();
    D3DXMATRIX* m = Get();
    m->_11 = 1.0f - 2.0f * (qy * qy + qz * qz);
    m->_12 = 2.0f * (qx * qy - qw * qz);
    m->_13 = 2.0f * (qx * qz + qw * qy);
    m->_21 = 2.0f * (qx * qy + qw * qz);
    m->_22 = 1.0f - 2.0f * (qx * qx + qz * qz);
    m->_23 = 2.0f * (qy * qz - qw * qx);
    m->_31 = 2.0f * (qx * qz - qw * qy);
    m->_32 = 2.0f * (qy * qz + qw * qx);
    m->_33 = 1.0f - 2.0f * (qx * qx + qy * qy);
    return *this;
}

// qZ x qY x qX from the half angles.
VornMatrix& VornMatrix::HalfAngles(VornAngle hx, VornAngle hy, VornAngle hz)
{
    float sx, cx, sy, cy, sz, cz;
    VornMath::SinCos(hx, &sx, &cx);
    VornMath::SinCos(hy, &sy, &cy);
    VornMath::SinCos(hz, &sz, &cz);
    const float qx = sx * cy * cz - cx * sy * sz;
    const float qy = cx * sy * cz + sx * cy * sz;
    const float qz = cx * cy * sz - sx * sy * cz;
    const float qw = cx * cy * cz + sx * sy * sz;
    return Quaternion(qx, qy, qz, qw);
}

VornMatrix& VornMatrix::RotationXYZ(VornAngle ax, VornAngle ay, VornAngle az)
{
    return HalfAngles(ax >> 1, ay >> 1, az >> 1);
}

VornMatrix& VornMatrix::RotationXYZSinCos(VornAngle ax, VornAngle ay, VornAngle az)
{
    return HalfAngles(ax / 2, ay / 2, az / 2);
}

VornMatrix& VornMatrix::RotationQuaternion(const D3DXQUATERNION& q)
{
    return Quaternion(q.x, q.y, q.z, q.w);
}

VornMatrix& VornMatrix::RotationAxis(VornAngle a, const D3DXVECTOR3& axis)
{
    const float lengthSq = axis.x * axis.x + axis.y * axis.y + axis.z * axis.z;
    if (!(lengthSq > 0.0f))
        return Identity();
    const float inv = 1.0f / std::sqrt(lengthSq);
    const float x = axis.x * inv, y = axis.y * inv, z = axis.z * inv;
    const float c = VornMath::Cos(a), s = VornMath::Sin(a), t = 1.0f - c;
    Identity();
    D3DXMATRIX* m = Get();
    m->_11 = t * x * x + c;
    m->_12 = t * x * y - z * s;
    m->_13 = t * z * x + y * s;
    m->_21 = t * x * y + z * s;
    m->_22 = t * y * y + c;
    m->_23 = t * y * z - x * s;
    m->_31 = t * z * x - y * s;
    m->_32 = t * y * z + x * s;
    m->_33 = t * z * z + c;
    return *this;
}

namespace {

float LengthOf(const D3DXVECTOR3& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

D3DXVECTOR3 CrossOf(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

} // namespace

VornMatrix& VornMatrix::RotationFromTo(const D3DXVECTOR3& from, const D3DXVECTOR3& to, const D3DXVECTOR3* axis)
{
    const float lengths = LengthOf(to) * LengthOf(from);
    if (!(lengths > 0.0f))
        return Identity();
    float c = (from.x * to.x + from.y * to.y + from.z * to.z) / lengths;
    if (c > 1.0f)
        c = 1.0f;
    if (c < -1.0f)
        c = -1.0f;
    D3DXVECTOR3 n = axis ? *axis : CrossOf(from, to);
    float length = LengthOf(n);
    if (!(length > 0.0f) && axis) {
        n = CrossOf(from, to);
        length = LengthOf(n);
    }
    if (!(length > 0.0f)) {
        if (c > 0.0f)
            return Identity();
        // Opposite directions: a half turn about an axis perpendicular to from.
        c = -1.0f;
        n = CrossOf(from, D3DXVECTOR3(1.0f, 0.0f, 0.0f));
        if (!(LengthOf(n) > 0.0f))
            n = CrossOf(from, D3DXVECTOR3(0.0f, 1.0f, 0.0f));
        length = LengthOf(n);
    }
    const float inv = 1.0f / length;
    const float x = n.x * inv, y = n.y * inv, z = n.z * inv;
    const float s = std::sqrt(1.0f - c * c), t = 1.0f - c;
    Identity();
    D3DXMATRIX* m = Get();
    m->_11 = t * x * x + c;
    m->_12 = t * x * y + z * s;
    m->_13 = t * x * z - y * s;
    m->_21 = t * x * y - z * s;
    m->_22 = t * y * y + c;
    m->_23 = t * y * z + x * s;
    m->_31 = t * x * z + y * s;
    m->_32 = t * y * z - x * s;
    m->_33 = t * z * z + c;
    return *this;
}
