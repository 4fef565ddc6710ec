#include "VornTransform2D.h"
#include "Vorn.h"
#include <cmath>
#include <cstring>

namespace {

// The four scissor edges in clipping order. A vertex is outside the left edge when x < left, the
// right edge when x > right, the top when y < top and the bottom when y > bottom.
enum ClipEdge : uint32_t { EDGE_LEFT, EDGE_RIGHT, EDGE_TOP, EDGE_BOTTOM, EDGE_COUNT };

struct EdgeTest {
    const VornTransform2D& t;

    float Bound(uint32_t edge) const
    {
        switch (edge) {
        case EDGE_LEFT: return t.scissorLeft;
        case EDGE_RIGHT: return t.scissorRight;
        case EDGE_TOP: return t.scissorTop;
        default: return t.scissorBottom;
        }
    }
    static float Coord(const VornVertex2D& v, uint32_t edge)
    {
        return edge == EDGE_LEFT || edge == EDGE_RIGHT ? v.x : v.y;
    }
    bool Outside(const VornVertex2D& v, uint32_t edge) const
    {
        const float c = Coord(v, edge);
        return edge == EDGE_LEFT || edge == EDGE_TOP ? c < Bound(edge) : c > Bound(edge);
    }
    bool Inside(const VornVertex2D& v) const
    {
        return v.x >= t.scissorLeft && v.x <= t.scissorRight && v.y >= t.scissorTop && v.y <= t.scissorBottom;
    }
    // The point where the way from a towards b crosses the edge.
    void Cross(VornVertex2D& out, const VornVertex2D& a, const VornVertex2D& b, uint32_t edge) const
    {
        const float ca = Coord(a, edge);
        const float tt = (Bound(edge) - ca) / (Coord(b, edge) - ca);
        VornTransform2D::LerpVertex(out, a, b, tt);
        // The crossing lies on the edge; rounding in the interpolation must not put it beyond.
        (edge == EDGE_LEFT || edge == EDGE_RIGHT ? out.x : out.y) = Bound(edge);
    }
};

// One Sutherland-Hodgman pass over n vertices against one edge; the result count.
uint32_t ClipPass(const EdgeTest& test, uint32_t edge, const VornVertex2D* in, uint32_t n, VornVertex2D* out)
{
    bool outside[8];
    for (uint32_t i = 0; i < n; ++i) outside[i] = test.Outside(in[i], edge);
    uint32_t m = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t j = i + 1 == n ? 0 : i + 1;
        if (!outside[i]) {
            out[m++] = in[i];
            if (outside[j]) test.Cross(out[m++], in[i], in[j], edge);
        } else if (!outside[j]) {
            test.Cross(out[m++], in[i], in[j], edge);
        }
    }
    return m;
}

}  // namespace

void VornTransform2D::SetPerspective(bool on, float centreX, float centreY, float factor)
{
    perspectiveOn = on ? 1 : 0;
    perspectiveX = centreX;
    perspectiveY = centreY;
    perspectiveFactor = factor;
}

void VornTransform2D::SetZoom(bool on, float centreX, float centreY, float scale)
{
    zoomOn = on ? 1 : 0;
    zoomX = centreX;
    zoomY = centreY;
    zoomScale = scale;
}

void VornTransform2D::SetScissoring(bool on, const RECT* rect)
{
    if (!on || !rect) {
        scissorOn = 0;
        return;
    }
    scissorOn = 1;
    scissorLeft = static_cast<float>(rect->left);
    scissorTop = static_cast<float>(rect->top);
    scissorRight = static_cast<float>(rect->right);
    scissorBottom = static_cast<float>(rect->bottom);
}

VornTransform2D::Scale VornTransform2D::ScreenScale() { return {Vorn::VirtualScaleX(1.0f), Vorn::VirtualScaleY(1.0f)}; }

bool VornTransform2D::TransformVertex(VornVertex2D& v) const { return TransformVertex(v, ScreenScale()); }

bool VornTransform2D::TransformVertex(VornVertex2D& v, Scale scale) const
{
    return Place<1>(&v.x, &v.y, v.z, v.rhw, scale) && std::isfinite(v.x) && std::isfinite(v.y);
}

bool VornTransform2D::TransformRect(float x[2], float y[2], float& z, float& rhw, Scale scale) const
{
    // A sum of finite values is finite; one infinity or NaN among them makes it NaN or infinite.
    return Place<2>(x, y, z, rhw, scale) && std::isfinite((x[0] - x[0]) + (x[1] - x[1]) + (y[0] - y[0]) + (y[1] - y[1]));
}

template <uint32_t N>
bool VornTransform2D::Place(float* x, float* y, float& z, float& rhw, Scale scale) const
{
    if (perspectiveOn) {
        const float denominator = ((z - 32767.0f) * perspectiveFactor + 65535.0f) * kDepthScale;
        if (!(denominator > 0.0f)) return false;   // behind the eye, or NaN: nothing to place
        const float s = 1.0f / denominator;
        for (uint32_t i = 0; i < N; ++i) {
            x[i] = (x[i] - perspectiveX) * s + perspectiveX;
            y[i] = (y[i] - perspectiveY) * s + perspectiveY;
        }
        z = z * kDepthScale / s;
        rhw = 1.0f / z;
    } else {
        z = z * kDepthScale;
    }
    for (uint32_t i = 0; i < N; ++i) {
        if (zoomOn) {
            x[i] = (x[i] - zoomX) * zoomScale + zoomX;
            y[i] = (y[i] - zoomY) * zoomScale + zoomY;
        }
        x[i] *= scale.x;
        y[i] *= scale.y;
    }
    return std::isfinite(z) && std::isfinite(rhw);
}

bool VornTransform2D::TransformTriangle(VornVertex2D out[3], const VornVertex2D in[3]) const
{
    memcpy(out, in, 3 * sizeof(VornVertex2D));
    const Scale scale = ScreenScale();
    return TransformVertex(out[0], scale) && TransformVertex(out[1], scale) && TransformVertex(out[2], scale);
}

bool VornTransform2D::Cuts(const VornVertex2D in[3]) const
{
    const EdgeTest test{*this};
    return scissorOn && !(test.Inside(in[0]) && test.Inside(in[1]) && test.Inside(in[2]));
}

uint32_t VornTransform2D::ClipTriangle(const VornVertex2D in[3], VornVertex2D out[kClipOutputMax]) const
{
    const EdgeTest test{*this};
    if (!Cuts(in)) {
        memcpy(out, in, 3 * sizeof(VornVertex2D));
        return 3;
    }
    for (uint32_t edge = 0; edge < EDGE_COUNT; ++edge) {
        if (test.Outside(in[0], edge) && test.Outside(in[1], edge) && test.Outside(in[2], edge)) return 0;
    }
    // A triangle cut by four edges keeps at most 7 corners.
    VornVertex2D work[2][8];
    const VornVertex2D* src = in;
    uint32_t n = 3;
    for (uint32_t edge = 0; edge < EDGE_COUNT && n > 0; ++edge) {
        VornVertex2D* dst = work[edge & 1];
        n = ClipPass(test, edge, src, n, dst);
        src = dst;
    }
    if (n < 3) return 0;
    uint32_t m = 0;
    for (uint32_t i = 0; i + 2 < n; ++i) {
        out[m++] = src[0];
        out[m++] = src[i + 1];
        out[m++] = src[i + 2];
    }
    return m;
}

bool VornTransform2D::ClipLine(VornVertex2D& a, VornVertex2D& b) const
{
    if (!scissorOn) return true;
    const EdgeTest test{*this};
    for (uint32_t edge = 0; edge < EDGE_COUNT; ++edge) {
        if (test.Outside(a, edge) && test.Outside(b, edge)) return false;
    }
    for (uint32_t edge = 0; edge < EDGE_COUNT; ++edge) {
        const bool outA = test.Outside(a, edge);
        const bool outB = test.Outside(b, edge);
        if (outA && outB) return false;
        VornVertex2D crossing;
        if (outA) {
            test.Cross(crossing, a, b, edge);
            a = crossing;
        } else if (outB) {
            test.Cross(crossing, a, b, edge);
            b = crossing;
        }
    }
    return true;
}

bool VornTransform2D::PointInside(const VornVertex2D& v) const
{
    return !scissorOn || EdgeTest{*this}.Inside(v);
}

void VornTransform2D::LerpVertex(VornVertex2D& out, const VornVertex2D& a, const VornVertex2D& b, float t)
{
    out.x = a.x + (b.x - a.x) * t;
    out.y = a.y + (b.y - a.y) * t;
    out.z = a.z + (b.z - a.z) * t;
    out.rhw = a.rhw + (b.rhw - a.rhw) * t;
    uint32_t colour = 0;
    for (uint32_t shift = 0; shift < 32; shift += 8) {
        const float ca = static_cast<float>((a.colour >> shift) & 0xFF);
        const float cb = static_cast<float>((b.colour >> shift) & 0xFF);
        int c = static_cast<int>(ca + (cb - ca) * t);
        c = c < 0 ? 0 : (c > 255 ? 255 : c);
        colour |= static_cast<uint32_t>(c) << shift;
    }
    out.colour = colour;
    for (uint32_t s = 0; s < 4; ++s) {
        out.tex[s].u = a.tex[s].u + (b.tex[s].u - a.tex[s].u) * t;
        out.tex[s].v = a.tex[s].v + (b.tex[s].v - a.tex[s].v) * t;
    }
}
