#include "VornVector2.h"
#include <cmath>

float VornVector2::Length() const
{
    return std::sqrt(LengthSq());
}

VornVector2& VornVector2::Normalize(const D3DXVECTOR2& v)
{
    const float inv = 1.0f / std::sqrt(v.x * v.x + v.y * v.y);
    return Set(v.x * inv, v.y * inv);
}

VornVector2& VornVector2::Reflect(const D3DXVECTOR2& v, const D3DXVECTOR2& n)
{
    const float d = 2.0f * (v.x * n.x + v.y * n.y);
    return Set(v.x - d * n.x, v.y - d * n.y);
}

VornVector2& VornVector2::Scaling(float sx, float sy)
{
    return Set(x * sx, y * sy);
}

VornVector2& VornVector2::Translation(float dx, float dy)
{
    return Set(x + dx, y + dy);
}

VornVector2& VornVector2::Add(const D3DXVECTOR2& a, const D3DXVECTOR2& b)
{
    return Set(a.x + b.x, a.y + b.y);
}

VornVector2& VornVector2::Sub(const D3DXVECTOR2& a, const D3DXVECTOR2& b)
{
    return Set(a.x - b.x, a.y - b.y);
}

VornVector2& VornVector2::Set(float fx, float fy)
{
    x = fx;
    y = fy;
    return *this;
}

VornVector2& VornVector2::operator+=(const D3DXVECTOR2& v)
{
    return Add(*this, v);
}

VornVector2& VornVector2::operator-=(const D3DXVECTOR2& v)
{
    return Sub(*this, v);
}

VornVector2& VornVector2::operator*=(float s)
{
    return Set(x * s, y * s);
}

VornVector2& VornVector2::operator/=(float s)
{
    const float inv = 1.0f / s;
    return Set(x * inv, y * inv);
}

VornVector2 VornVector2::operator/(float s) const
{
    const float inv = 1.0f / s;
    return VornVector2(x * inv, y * inv);
}
