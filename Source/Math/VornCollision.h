// The geometric records of the collision tests in VornMath.
#pragma once
#include "VornMath.h"
#include "VornVector2.h"
#include "VornVector3.h"
#include <cstdint>

// Edges inclusive (not the {x, y, w, h} rectangle of the sprites).
struct VornCollisionRect {
    float left, top, right, bottom;
};

struct VornCircle {
    float x, y, r;
};

struct VornSegment2 {
    float x0, y0, x1, y1;
};

// A convex polygon stored closed: points[count - 1] equals points[0], so it has count - 1 edges
// (a rectangle has 5 points).
struct VornPolygon {
    uint32_t count;
    VornVector2* points;
};

struct VornSphere {
    VornSphere() {}
    VornSphere(const D3DXVECTOR3& centre, float radius) : x(centre.x), y(centre.y), z(centre.z), r(radius) {}
    VornSphere(float cx, float cy, float cz, float radius) : x(cx), y(cy), z(cz), r(radius) {}
    float x, y, z, r;
};

struct VornSegment3 {
    VornVector3 start;
    VornVector3 end;
};

struct VornTriangle {
    VornVector3 p0, p1, p2;
};

// Planar and convex, corners in winding order.
struct VornQuad {
    VornVector3 corner[4];
};

// p is inside (in front) when a p.x + b p.y + c p.z + d >= 0.
struct VornPlane {
    float a, b, c, d;
};

// An oriented hexahedron. Corner index bit 0 = x max, bit 1 = y max, bit 2 = z max of the source
// box; faces z-min, z-max, x-min, x-max, y-max, y-min, each with its inside towards the box.
struct VornBox {
    VornVector3 corner[8];
    VornPlane face[6];
};

static_assert(sizeof(VornSphere) == 16 && sizeof(VornSegment3) == 24 && sizeof(VornTriangle) == 36 &&
              sizeof(VornQuad) == 48 && sizeof(VornPlane) == 16 && sizeof(VornBox) == 192,
              "geometric records are plain floats");
