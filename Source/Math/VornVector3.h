// VornVector3: the engine's 3-float value vector on the D3DXVECTOR3 layout, so it passes
// unchanged to D3DX and Direct3D. All arithmetic is in float; divisions by a scalar multiply by
// its reciprocal. The two-argument forms write into this and return it; the ...Self forms apply
// the operation to this.
#pragma once
#include "VornMath.h"
#include <d3dx9.h>

class VornMatrix;

class VornVector3 : public D3DXVECTOR3 {
public:
    VornVector3() {}
    VornVector3(const VornVector3& v) = default;
    VornVector3(const D3DXVECTOR3& v) : D3DXVECTOR3(v) {}
    VornVector3(float fx, float fy, float fz) : D3DXVECTOR3(fx, fy, fz) {}
    VornVector3& operator=(const VornVector3& v) = default;

    float LengthSq() const { return x * x + y * y + z * z; }
    float Length() const;
    float Dot(const D3DXVECTOR3& v) const { return x * v.x + y * v.y + z * v.z; }
    // v x (1 / |v|); a zero vector gives non-finite components.
    VornVector3& Normalize(const D3DXVECTOR3& v);
    VornVector3& NormalizeSelf() { return Normalize(*this); }
    VornVector3& Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b);
    VornVector3& CrossSelf(const D3DXVECTOR3& v) { return Cross(*this, v); }
    // v - 2 (v . n) n
    VornVector3& Reflect(const D3DXVECTOR3& v, const D3DXVECTOR3& n);
    // The argument reflected about the normal held in this, stored in this.
    VornVector3& ReflectSelf(const D3DXVECTOR3& v) { return Reflect(v, VornVector3(*this)); }
    // (x, y, z) x the upper 3x3 of m.
    VornVector3& TransformNormal(const D3DXVECTOR3& v, const VornMatrix& m);
    VornVector3& TransformNormalSelf(const VornMatrix& m) { return TransformNormal(*this, m); }
    // (x, y, z, 1) x m, without division by w.
    VornVector3& Transform(const D3DXVECTOR3& v, const VornMatrix& m);
    VornVector3& TransformSelf(const VornMatrix& m) { return Transform(*this, m); }
    // (x, y, z, 1) x m, divided by the resulting w.
    VornVector3& TransformCoord(const D3DXVECTOR3& v, const VornMatrix& m);
    VornVector3& TransformCoordSelf(const VornMatrix& m) { return TransformCoord(*this, m); }

    // this x VornMatrix::RotationX/Y/Z(a) (the D3DX sense), from the table sine and cosine.
    VornVector3& RotationX(VornAngle a);
    VornVector3& RotationY(VornAngle a);
    VornVector3& RotationZ(VornAngle a);
    VornVector3& RotationAxis(VornAngle a, const D3DXVECTOR3& axis);
    VornVector3& RotationXYZ(VornAngle ax, VornAngle ay, VornAngle az);

    VornVector3& Scaling(float sx, float sy, float sz);
    VornVector3& Translation(float dx, float dy, float dz);
    VornVector3& Add(const D3DXVECTOR3& a, const D3DXVECTOR3& b);
    VornVector3& Sub(const D3DXVECTOR3& a, const D3DXVECTOR3& b);
    VornVector3& Set(float fx, float fy, float fz);

    VornVector3& operator+=(const D3DXVECTOR3& v);
    VornVector3& operator-=(const D3DXVECTOR3& v);
    VornVector3& operator*=(float s);
    VornVector3& operator/=(float s);
    VornVector3 UnaryPlus() const { return *this; }
    VornVector3 Negate() const { return VornVector3(-x, -y, -z); }
    VornVector3 operator+() const { return *this; }
    VornVector3 operator-() const { return Negate(); }
    VornVector3 operator+(const D3DXVECTOR3& v) const { return VornVector3(x + v.x, y + v.y, z + v.z); }
    VornVector3 operator-(const D3DXVECTOR3& v) const { return VornVector3(x - v.x, y - v.y, z - v.z); }
    VornVector3 operator*(float s) const { return VornVector3(x * s, y * s, z * s); }
    VornVector3 operator/(float s) const;
};

static_assert(sizeof(VornVector3) == 12, "VornVector3 has the D3DXVECTOR3 layout");
