// VornMath: the engine's angle unit with its sine and arctangent tables, the runtime library's
// random numbers, and the 2D and 3D collision tests (records in VornCollision.h).
#pragma once
#include <d3dx9.h>
#include <cstdint>

// An angle of which the low 16 bits count: 65536 is one turn, 16384 a quarter turn. Angles grow
// from +x towards +y.
typedef int32_t VornAngle;

struct VornCollisionRect;
struct VornCircle;
struct VornSegment2;
struct VornPolygon;
struct VornSphere;
struct VornSegment3;
struct VornTriangle;
struct VornQuad;
struct VornPlane;
struct VornBox;
class VornVector2;
class VornVector3;
class VornMatrix;

class VornMath {
public:
    static constexpr uint32_t SIN_TABLE_SIZE = 65536;
    static constexpr uint32_t ATAN_TABLE_SIZE = 8193;
    // The float nearest to 2 pi; the tables and the angle conversions are built on it.
    static constexpr float PI2 = 6.2831855f;

    // Builds both tables in the work area and seeds the runtime library's generator with the time.
    static bool Initialize();
    static void Finalize();

    static float Sin(VornAngle a) { return sinTable_[a & 0xFFFF]; }
    static float Cos(VornAngle a) { return sinTable_[(a + 16384) & 0xFFFF]; }
    static void SinCos(VornAngle a, float* s, float* c)
    {
        *s = sinTable_[a & 0xFFFF];
        *c = sinTable_[(a + 16384) & 0xFFFF];
    }
    // Direction of (dx, dy) as an angle in 0..65536 (a direction just below +x gives 65536).
    static VornAngle Atan(int32_t dx, int32_t dy);
    static VornAngle AtanF(float dx, float dy);
    // Rotates the point in place by a (x' = cos x - sin y, y' = sin x + cos y).
    static void RotationPoint(D3DXVECTOR2* p, VornAngle a);

    // The runtime library's generator.
    static void RandSeed(uint32_t seed);
    static int32_t Rand();                       // rand() * rand(): 0 .. 1073676289
    static int32_t RandInt(int32_t min, int32_t max);
    static float Rand01();
    static float RandFloat(float min, float max);

    // --- 3D geometry (VornCollision.cpp) ---
    static void PlaneFromPoints(VornPlane* out, const VornVector3& p0, const VornVector3& p1, const VornVector3& p2);
    static void PlaneFromPointNormal(VornPlane* out, const VornVector3& p, const VornVector3& n);
    static void TransformBox(VornBox* out, const VornVector3& min, const VornVector3& max, const VornMatrix& m);
    static void TransformBoxCoord(VornBox* out, const VornVector3& min, const VornVector3& max, const VornMatrix& m);
    // Bit i set: the point is outside face plane i. 0: inside (faces included).
    static uint32_t IsPointInBox(const VornVector3& p, const VornBox& box);
    static bool CollisionPointBox(const VornVector3& p, const VornBox& box);
    static bool CollisionPointPoint3D(const VornVector3& a, const VornVector3& b);
    static bool CollisionSphereSphere(const VornSphere& a, const VornSphere& b);
    static bool CollisionPointSphere(const VornVector3& p, const VornSphere& s);
    static bool CollisionSphereSegment(const VornSphere& s, const VornSegment3& seg);
    static bool CollisionPointSegment(const VornVector3& p, const VornSegment3& seg);
    static bool CollisionSegmentPlane(VornVector3* out, const VornPlane& plane, const VornVector3& a, const VornVector3& b);
    static bool CollisionSegmentQuad(const VornSegment3& seg, const VornQuad& quad, const VornPlane& plane, VornVector3* out);
    static bool CollisionSegmentTriangle(const VornSegment3& seg, const VornPlane& plane, const VornTriangle& tri, VornVector3* out);
    // Both faces; t is the distance from the start along the unit direction (not limited to the segment).
    static bool CollisionLineTriangle(const VornSegment3& seg, const VornTriangle& tri, float* t, float* u, float* v);
    static bool CollisionSegmentBox(const VornSegment3& seg, const VornBox& box);
    static bool CollisionQuadQuad(const VornQuad& a, const VornPlane& planeA, const VornQuad& b, const VornPlane& planeB);
    static bool CollisionBoxBox(const VornBox& a, const VornBox& b);
    static bool CollisionFrustumBox(const VornBox& volume, const VornBox& b);

    // --- 2D geometry (VornCollision.cpp) ---
    static float Cross2D(float ax, float ay, float bx, float by) { return ax * by - ay * bx; }
    static bool CollisionPointPoint(const VornVector2& a, const VornVector2& b);
    static bool CollisionPointLine(const VornVector2& p, const VornSegment2& line);
    static bool CollisionPointRect(const VornVector2& p, const VornCollisionRect& rect);
    static bool CollisionPointCircle(const VornVector2& p, const VornCircle& circle);
    static bool CollisionPointPolygon(const VornVector2& p, const VornPolygon& polygon);
    static bool CollisionRectRect(const VornCollisionRect& a, const VornCollisionRect& b);
    static bool CollisionRectCircle(const VornCollisionRect& rect, const VornCircle& circle);
    static bool CollisionRectLine(const VornCollisionRect& rect, const VornSegment2& line);
    static bool CollisionRectPolygon(const VornCollisionRect& rect, const VornPolygon& polygon);
    static bool CollisionCircleCircle(const VornCircle& a, const VornCircle& b);
    static bool CollisionCircleLine(const VornCircle& circle, const VornSegment2& line);
    static bool CollisionCirclePolygon(const VornCircle& circle, const VornPolygon& polygon);
    static bool CollisionLineLine(const VornSegment2& a, const VornSegment2& b);
    static bool CollisionLinePolygon(const VornSegment2& line, const VornPolygon& polygon);
    static bool CollisionPolygonPolygon(const VornPolygon& a, const VornPolygon& b);

    // Table entry i of the arctangent table (tests and tools).
    static int32_t AtanTable(uint32_t i) { return atanTable_[i]; }

private:
    static void FreeTables();
    static float* sinTable_;
    static int32_t* atanTable_;
};
