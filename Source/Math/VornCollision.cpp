// The 2D and 3D collision tests of VornMath.
#include "VornCollision.h"
#include "VornMatrix.h"
#include <cmath>

namespace {

// Corners of each face's outline, face i lying in plane i.
const int kFaceOutline[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 4, 6, 2}, {1, 3, 7, 5}, {2, 6, 7, 3}, {0, 4, 5, 1}};
// Three corners whose plane is face i, inside towards the box.
const int kFacePoints[6][3] = {{0, 1, 2}, {6, 7, 5}, {2, 6, 4}, {7, 3, 5}, {2, 3, 6}, {1, 0, 4}};
// The twelve edges: corners that differ in one bit.
const int kEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                           {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

float Component(const D3DXVECTOR3& v, int k)
{
    return k == 0 ? v.x : (k == 1 ? v.y : v.z);
}

float PlaneValue(const VornPlane& plane, const D3DXVECTOR3& p)
{
    return plane.a * p.x + plane.b * p.y + plane.c * p.z + plane.d;
}

// Whether p (in the plane) lies inside the convex outline: p is projected onto the coordinate
// plane that drops the axis with the largest normal component, and must be on one side of every
// edge. A point on an edge is inside.
bool InsideOutline(const VornVector3* corner, int count, const VornPlane& plane, const VornVector3& p)
{
    const float na = std::fabs(plane.a), nb = std::fabs(plane.b), nc = std::fabs(plane.c);
    int drop = 0;
    float largest = na;
    if (nb > largest) {
        drop = 1;
        largest = nb;
    }
    if (nc > largest)
        drop = 2;
    const int u = drop == 0 ? 1 : 0;
    const int v = drop == 2 ? 1 : 2;
    bool positive = false, negative = false;
    for (int i = 0; i < count; i++) {
        const VornVector3& a = corner[i];
        const VornVector3& b = corner[(i + 1) % count];
        const float au = Component(a, u), av = Component(a, v);
        const float cross = VornMath::Cross2D(Component(b, u) - au, Component(b, v) - av,
                                              Component(p, u) - au, Component(p, v) - av);
        if (cross > 0.0f)
            positive = true;
        else if (cross < 0.0f)
            negative = true;
        else if (!(cross == 0.0f))
            return false;   // not a number
    }
    return !(positive && negative);
}

VornQuad FaceQuad(const VornBox& box, int face)
{
    VornQuad q;
    for (int i = 0; i < 4; i++)
        q.corner[i] = box.corner[kFaceOutline[face][i]];
    return q;
}

void BuildBox(VornBox* out, const VornVector3& min, const VornVector3& max, const VornMatrix& m, bool divide)
{
    for (int i = 0; i < 8; i++) {
        const VornVector3 c((i & 1) ? max.x : min.x, (i & 2) ? max.y : min.y, (i & 4) ? max.z : min.z);
        if (divide)
            out->corner[i].TransformCoord(c, m);
        else
            out->corner[i].Transform(c, m);
    }
    for (int f = 0; f < 6; f++)
        VornMath::PlaneFromPoints(&out->face[f], out->corner[kFacePoints[f][0]], out->corner[kFacePoints[f][1]],
                                  out->corner[kFacePoints[f][2]]);
}

// True when all eight corners lie outside one face plane of the box.
bool AllOutsideOneFace(const VornBox& box, const VornVector3* corners)
{
    for (int f = 0; f < 6; f++) {
        int outside = 0;
        for (int i = 0; i < 8; i++)
            if (PlaneValue(box.face[f], corners[i]) < 0.0f)
                outside++;
        if (outside == 8)
            return true;
    }
    return false;
}

bool AnyCornerInside(const VornBox& box, const VornVector3* corners)
{
    for (int i = 0; i < 8; i++)
        if (VornMath::IsPointInBox(corners[i], box) == 0)
            return true;
    return false;
}

// True when one of the twelve edges of a crosses a face outline of b.
bool EdgeCrossesFace(const VornBox& a, const VornBox& b)
{
    for (int f = 0; f < 6; f++) {
        const VornQuad quad = FaceQuad(b, f);
        for (int e = 0; e < 12; e++) {
            const VornSegment3 seg = {a.corner[kEdges[e][0]], a.corner[kEdges[e][1]]};
            if (VornMath::CollisionSegmentQuad(seg, quad, b.face[f], nullptr))
                return true;
        }
    }
    return false;
}

} // namespace

// --- 3D ---

void VornMath::PlaneFromPoints(VornPlane* out, const VornVector3& p0, const VornVector3& p1, const VornVector3& p2)
{
    VornVector3 n;
    n.Cross(p0 - p1, p0 - p2);
    n.NormalizeSelf();
    out->a = n.x;
    out->b = n.y;
    out->c = n.z;
    out->d = -n.Dot(p0);
}

void VornMath::PlaneFromPointNormal(VornPlane* out, const VornVector3& p, const VornVector3& n)
{
    out->a = n.x;
    out->b = n.y;
    out->c = n.z;
    out->d = -p.Dot(n);
}

void VornMath::TransformBox(VornBox* out, const VornVector3& min, const VornVector3& max, const VornMatrix& m)
{
    BuildBox(out, min, max, m, false);
}

void VornMath::TransformBoxCoord(VornBox* out, const VornVector3& min, const VornVector3& max, const VornMatrix& m)
{
    BuildBox(out, min, max, m, true);
}

uint32_t VornMath::IsPointInBox(const VornVector3& p, const VornBox& box)
{
    uint32_t bits = 0;
    for (int f = 0; f < 6; f++)
        if (PlaneValue(box.face[f], p) < 0.0f)
            bits |= 1u << f;
    return bits;
}

bool VornMath::CollisionPointBox(const VornVector3& p, const VornBox& box)
{
    return IsPointInBox(p, box) == 0;
}

bool VornMath::CollisionPointPoint3D(const VornVector3& a, const VornVector3& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

bool VornMath::CollisionSphereSphere(const VornSphere& a, const VornSphere& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    const float r = a.r + b.r;
    return r * r > dx * dx + dy * dy + dz * dz;
}

bool VornMath::CollisionPointSphere(const VornVector3& p, const VornSphere& s)
{
    return CollisionSphereSphere(VornSphere(p, 0.0f), s);
}

bool VornMath::CollisionSphereSegment(const VornSphere& s, const VornSegment3& seg)
{
    const VornVector3 c(s.x, s.y, s.z);
    const float r2 = s.r * s.r;
    const VornVector3 toStart = c - seg.start;
    if (toStart.LengthSq() < r2 || (c - seg.end).LengthSq() < r2)
        return true;
    const VornVector3 d = seg.end - seg.start;
    const float dd = d.LengthSq();
    if (!(dd > 0.0f))
        return false;   // a point: only the end tests above
    // The foot of the perpendicular from the centre; a centre on the line is its own foot.
    const VornVector3 foot = seg.start + d * (toStart.Dot(d) / dd);
    if ((c - foot).LengthSq() > r2)
        return false;
    for (int k = 0; k < 3; k++) {
        const float a = Component(seg.start, k), b = Component(seg.end, k), f = Component(foot, k);
        if ((a < f && f < b) || (b < f && f < a))
            return true;
    }
    return false;
}

bool VornMath::CollisionPointSegment(const VornVector3& p, const VornSegment3& seg)
{
    return CollisionSphereSegment(VornSphere(p, 1.0f), seg);
}

// A segment lying in the plane hits it at its start.
bool VornMath::CollisionSegmentPlane(VornVector3* out, const VornPlane& plane, const VornVector3& a, const VornVector3& b)
{
    const float va = PlaneValue(plane, a);
    const float vb = PlaneValue(plane, b);
    if ((va > 0.0f && vb > 0.0f) || (va < 0.0f && vb < 0.0f))
        return false;
    const VornVector3 d = b - a;
    const float denominator = plane.a * d.x + plane.b * d.y + plane.c * d.z;
    if (denominator == 0.0f) {
        *out = a;
        return true;
    }
    const float t = -va / denominator;
    *out = a + d * t;
    return true;
}

bool VornMath::CollisionSegmentQuad(const VornSegment3& seg, const VornQuad& quad, const VornPlane& plane, VornVector3* out)
{
    if (PlaneValue(plane, seg.start) * PlaneValue(plane, seg.end) > 0.0f)
        return false;
    VornVector3 hit;
    if (!CollisionSegmentPlane(&hit, plane, seg.start, seg.end))
        return false;
    if (out)
        *out = hit;
    return InsideOutline(quad.corner, 4, plane, hit);
}

bool VornMath::CollisionSegmentTriangle(const VornSegment3& seg, const VornPlane& plane, const VornTriangle& tri, VornVector3* out)
{
    if (PlaneValue(plane, seg.start) * PlaneValue(plane, seg.end) >= 0.0f)
        return false;
    VornVector3 hit;
    if (!CollisionSegmentPlane(&hit, plane, seg.start, seg.end))
        return false;
    if (out)
        *out = hit;
    const VornVector3 corner[3] = {tri.p0, tri.p1, tri.p2};
    return InsideOutline(corner, 3, plane, hit);
}

bool VornMath::CollisionLineTriangle(const VornSegment3& seg, const VornTriangle& tri, float* t, float* u, float* v)
{
    VornVector3 dir = seg.end - seg.start;
    if (!(dir.LengthSq() > 0.0f))
        return false;   // no direction
    dir.NormalizeSelf();
    const VornVector3 e1 = tri.p1 - tri.p0;
    const VornVector3 e2 = tri.p2 - tri.p0;
    VornVector3 pvec;
    pvec.Cross(dir, e2);
    float det = e1.Dot(pvec);
    VornVector3 tvec;
    if (det > 0.0f) {
        tvec = seg.start - tri.p0;
    } else {
        tvec = tri.p0 - seg.start;
        det = -det;
    }
    if (!(det >= 0.0001f))
        return false;
    const float uu = tvec.Dot(pvec);
    if (uu < 0.0f || uu > det)
        return false;
    VornVector3 qvec;
    qvec.Cross(tvec, e1);
    const float vv = dir.Dot(qvec);
    if (vv < 0.0f || uu + vv > det)
        return false;
    const float tt = e2.Dot(qvec);
    *t = tt / det;
    *u = uu / det;
    *v = vv / det;
    return true;
}

bool VornMath::CollisionSegmentBox(const VornSegment3& seg, const VornBox& box)
{
    if (IsPointInBox(seg.start, box) == 0 || IsPointInBox(seg.end, box) == 0)
        return true;
    for (int f = 0; f < 6; f++)
        if (CollisionSegmentQuad(seg, FaceQuad(box, f), box.face[f], nullptr))
            return true;
    return false;
}

bool VornMath::CollisionQuadQuad(const VornQuad& a, const VornPlane& planeA, const VornQuad& b, const VornPlane& planeB)
{
    for (int i = 0; i < 4; i++) {
        const VornSegment3 edgeA = {a.corner[i], a.corner[(i + 1) % 4]};
        if (CollisionSegmentQuad(edgeA, b, planeB, nullptr))
            return true;
        const VornSegment3 edgeB = {b.corner[i], b.corner[(i + 1) % 4]};
        if (CollisionSegmentQuad(edgeB, a, planeA, nullptr))
            return true;
    }
    return false;
}

bool VornMath::CollisionBoxBox(const VornBox& a, const VornBox& b)
{
    if (AnyCornerInside(a, b.corner) || AnyCornerInside(b, a.corner))
        return true;
    if (AllOutsideOneFace(a, b.corner) || AllOutsideOneFace(b, a.corner))
        return false;
    return EdgeCrossesFace(a, b) || EdgeCrossesFace(b, a);
}

bool VornMath::CollisionFrustumBox(const VornBox& volume, const VornBox& b)
{
    if (AnyCornerInside(volume, b.corner))
        return true;
    if (AllOutsideOneFace(volume, b.corner))
        return false;
    if (EdgeCrossesFace(b, volume) || EdgeCrossesFace(volume, b))
        return true;
    // A box enclosing the whole view volume.
    return IsPointInBox(volume.corner[0], b) == 0;
}

// --- 2D ---

namespace {

bool ValidPolygon(const VornPolygon& p)
{
    return p.points && p.count >= 4;   // a triangle and its closing point at least
}

// A rectangle as a closed polygon of 5 points.
struct RectOutline {
    explicit RectOutline(const VornCollisionRect& r)
        : points{VornVector2(r.left, r.top), VornVector2(r.right, r.top), VornVector2(r.right, r.bottom),
                 VornVector2(r.left, r.bottom), VornVector2(r.left, r.top)},
          polygon{5, points}
    {
    }
    RectOutline(const RectOutline&) = delete;   // the polygon points into this object
    VornVector2 points[5];
    VornPolygon polygon;
};

VornSegment2 Edge(const VornPolygon& p, uint32_t i)
{
    return {p.points[i].x, p.points[i].y, p.points[i + 1].x, p.points[i + 1].y};
}

} // namespace

bool VornMath::CollisionPointPoint(const VornVector2& a, const VornVector2& b)
{
    return CollisionCircleCircle({a.x, a.y, 1.0f}, {b.x, b.y, 1.0f});
}

bool VornMath::CollisionPointLine(const VornVector2& p, const VornSegment2& line)
{
    return CollisionCircleLine({p.x, p.y, 0.1f}, line);
}

bool VornMath::CollisionPointRect(const VornVector2& p, const VornCollisionRect& rect)
{
    return rect.left <= p.x && p.x <= rect.right && rect.top <= p.y && p.y <= rect.bottom;
}

bool VornMath::CollisionPointCircle(const VornVector2& p, const VornCircle& circle)
{
    const float dx = p.x - circle.x, dy = p.y - circle.y;
    return dx * dx + dy * dy <= circle.r * circle.r;
}

bool VornMath::CollisionPointPolygon(const VornVector2& p, const VornPolygon& polygon)
{
    if (!ValidPolygon(polygon))
        return false;
    bool positive = false, negative = false;
    for (uint32_t i = 0; i + 1 < polygon.count; i++) {
        const VornVector2& a = polygon.points[i];
        const VornVector2& b = polygon.points[i + 1];
        const float cross = Cross2D(b.x - a.x, b.y - a.y, p.x - a.x, p.y - a.y);
        if (cross > 0.0f)
            positive = true;
        else if (cross < 0.0f)
            negative = true;
        else if (!(cross == 0.0f))
            return false;
        if (positive && negative)
            return false;
    }
    return true;
}

bool VornMath::CollisionRectRect(const VornCollisionRect& a, const VornCollisionRect& b)
{
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

bool VornMath::CollisionRectCircle(const VornCollisionRect& rect, const VornCircle& circle)
{
    const RectOutline outline(rect);
    return CollisionCirclePolygon(circle, outline.polygon);
}

// A segment lying wholly inside the rectangle collides with it too.
bool VornMath::CollisionRectLine(const VornCollisionRect& rect, const VornSegment2& line)
{
    if (CollisionPointRect(VornVector2(line.x0, line.y0), rect))
        return true;
    const RectOutline outline(rect);
    for (uint32_t i = 0; i < 4; i++)
        if (CollisionLineLine(Edge(outline.polygon, i), line))
            return true;
    return false;
}

bool VornMath::CollisionRectPolygon(const VornCollisionRect& rect, const VornPolygon& polygon)
{
    const RectOutline outline(rect);
    return CollisionPolygonPolygon(outline.polygon, polygon);
}

bool VornMath::CollisionCircleCircle(const VornCircle& a, const VornCircle& b)
{
    const float r = a.r + b.r;
    const float dx = a.x - b.x, dy = a.y - b.y;
    return r * r > dx * dx + dy * dy;
}

bool VornMath::CollisionCircleLine(const VornCircle& circle, const VornSegment2& line)
{
    const float dx = line.x1 - line.x0, dy = line.y1 - line.y0;
    const float dd = dx * dx + dy * dy;
    float t = 0.0f;
    if (dd > 0.0f) {
        t = ((circle.x - line.x0) * dx + (circle.y - line.y0) * dy) / dd;
        t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    }
    const float ex = line.x0 + dx * t - circle.x;
    const float ey = line.y0 + dy * t - circle.y;
    return ex * ex + ey * ey <= circle.r * circle.r;
}

bool VornMath::CollisionCirclePolygon(const VornCircle& circle, const VornPolygon& polygon)
{
    if (!ValidPolygon(polygon))
        return false;
    if (CollisionPointPolygon(VornVector2(circle.x, circle.y), polygon))
        return true;
    for (uint32_t i = 0; i + 1 < polygon.count; i++)
        if (CollisionCircleLine(circle, Edge(polygon, i)))
            return true;
    return false;
}

// Touching counts; collinear segments collide where they overlap.
bool VornMath::CollisionLineLine(const VornSegment2& a, const VornSegment2& b)
{
    const float ax = a.x1 - a.x0, ay = a.y1 - a.y0;
    const float bx = b.x1 - b.x0, by = b.y1 - b.y0;
    const float d1 = Cross2D(ax, ay, b.x0 - a.x0, b.y0 - a.y0);
    const float d2 = Cross2D(ax, ay, b.x1 - a.x0, b.y1 - a.y0);
    const float d3 = Cross2D(bx, by, a.x0 - b.x0, a.y0 - b.y0);
    const float d4 = Cross2D(bx, by, a.x1 - b.x0, a.y1 - b.y0);
    if (d1 == 0.0f && d2 == 0.0f && d3 == 0.0f && d4 == 0.0f) {
        const auto lo = [](float p, float q) { return p < q ? p : q; };
        const auto hi = [](float p, float q) { return p < q ? q : p; };
        return lo(a.x0, a.x1) <= hi(b.x0, b.x1) && lo(b.x0, b.x1) <= hi(a.x0, a.x1) &&
               lo(a.y0, a.y1) <= hi(b.y0, b.y1) && lo(b.y0, b.y1) <= hi(a.y0, a.y1);
    }
    const bool bApart = (d1 > 0.0f && d2 > 0.0f) || (d1 < 0.0f && d2 < 0.0f);
    const bool aApart = (d3 > 0.0f && d4 > 0.0f) || (d3 < 0.0f && d4 < 0.0f);
    return !bApart && !aApart && d1 == d1 && d2 == d2 && d3 == d3 && d4 == d4;
}

bool VornMath::CollisionLinePolygon(const VornSegment2& line, const VornPolygon& polygon)
{
    if (!ValidPolygon(polygon))
        return false;
    if (CollisionPointPolygon(VornVector2(line.x0, line.y0), polygon) ||
        CollisionPointPolygon(VornVector2(line.x1, line.y1), polygon))
        return true;
    for (uint32_t i = 0; i + 1 < polygon.count; i++)
        if (CollisionLineLine(line, Edge(polygon, i)))
            return true;
    return false;
}

bool VornMath::CollisionPolygonPolygon(const VornPolygon& a, const VornPolygon& b)
{
    if (!ValidPolygon(a) || !ValidPolygon(b))
        return false;
    const auto bounds = [](const VornPolygon& p, VornCollisionRect* r) {
        *r = {p.points[0].x, p.points[0].y, p.points[0].x, p.points[0].y};
        for (uint32_t i = 1; i < p.count; i++) {
            r->left = p.points[i].x < r->left ? p.points[i].x : r->left;
            r->right = p.points[i].x > r->right ? p.points[i].x : r->right;
            r->top = p.points[i].y < r->top ? p.points[i].y : r->top;
            r->bottom = p.points[i].y > r->bottom ? p.points[i].y : r->bottom;
        }
    };
    VornCollisionRect ra, rb;
    bounds(a, &ra);
    bounds(b, &rb);
    if (!CollisionRectRect(ra, rb))
        return false;
    for (uint32_t i = 0; i + 1 < a.count; i++)
        for (uint32_t j = 0; j + 1 < b.count; j++)
            if (CollisionLineLine(Edge(a, i), Edge(b, j)))
                return true;
    return CollisionPointPolygon(b.points[0], a) || CollisionPointPolygon(a.points[0], b);
}
