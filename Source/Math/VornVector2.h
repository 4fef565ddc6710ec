// VornVector2: the engine's 2-float value vector on the D3DXVECTOR2 layout. All arithmetic is
// in float; divisions by a scalar multiply by its reciprocal.
#pragma once
#include <d3dx9.h>

class VornVector2 : public D3DXVECTOR2 {
public:
    VornVector2() {}
    VornVector2(const VornVector2& v) = default;
    VornVector2(const D3DXVECTOR2& v) : D3DXVECTOR2(v) {}
    VornVector2(float fx, float fy) : D3DXVECTOR2(fx, fy) {}
    VornVector2& operator=(const VornVector2& v) = default;

    float LengthSq() const { return x * x + y * y; }
    float Length() const;
    float Dot(const D3DXVECTOR2& v) const { return x * v.x + y * v.y; }
    VornVector2& Normalize(const D3DXVECTOR2& v);
    VornVector2& NormalizeSelf() { return Normalize(*this); }
    // a.x b.y - a.y b.x
    static float Cross(const D3DXVECTOR2& a, const D3DXVECTOR2& b) { return a.x * b.y - a.y * b.x; }
    float CrossWith(const D3DXVECTOR2& v) const { return Cross(*this, v); }
    VornVector2& Reflect(const D3DXVECTOR2& v, const D3DXVECTOR2& n);
    VornVector2& ReflectSelf(const D3DXVECTOR2& v) { return Reflect(v, VornVector2(*this)); }
    VornVector2& Scaling(float sx, float sy);
    VornVector2& Translation(float dx, float dy);
    VornVector2& Add(const D3DXVECTOR2& a, const D3DXVECTOR2& b);
    VornVector2& Sub(const D3DXVECTOR2& a, const D3DXVECTOR2& b);
    VornVector2& Set(float fx, float fy);

    VornVector2& operator+=(const D3DXVECTOR2& v);
    VornVector2& operator-=(const D3DXVECTOR2& v);
    VornVector2& operator*=(float s);
    VornVector2& operator/=(float s);
    VornVector2 UnaryPlus() const { return *this; }
    VornVector2 Negate() const { return VornVector2(-x, -y); }
    VornVector2 operator+() const { return *this; }
    VornVector2 operator-() const { return Negate(); }
    VornVector2 operator+(const D3DXVECTOR2& v) const { return VornVector2(x + v.x, y + v.y); }
    VornVector2 operator-(const D3DXVECTOR2& v) const { return VornVector2(x - v.x, y - v.y); }
    VornVector2 operator*(float s) const { return VornVector2(x * s, y * s); }
    VornVector2 operator/(float s) const;

    // v x s
    static VornVector2 ScalarTimesVector(float s, const VornVector2& v) { return v * s; }
};

inline VornVector2 operator*(float s, const VornVector2& v) { return v * s; }

static_assert(sizeof(VornVector2) == 8, "VornVector2 has the D3DXVECTOR2 layout");
