// VornPosture: the orientation frame of a 3D object: three unit axes stored as the rows of the
// rotation (right, up, front; left-handed, right x up = front) and a position, with the four
// matrices derived from them. Only UpdateMatrices brings the matrices up to date.
#pragma once
#include "VornMatrix.h"
#include "VornVector3.h"

class VornPosture {
public:
    VornPosture() { Init(); }
    // Copies are byte copies; the holders find their own aligned matrices on first use.

    // Identity matrices, axes (1,0,0), (0,1,0), (0,0,1), position 0.
    void Init();
    void Copy(const VornPosture& source);
    void UpdateMatrices();
    void GetWorldMatrix(VornMatrix& out) const { out = world; }
    // Axes from the first three elements of rows 1 to 3.
    void SetRotationMatrix(const VornMatrix& m);
    void SetPosition(float x, float y, float z) { position.Set(x, y, z); }

    // About the world axes: every axis v becomes v x VornMatrix::RotationX/Y/Z(a).
    void RotationX(VornAngle a);
    void RotationY(VornAngle a);
    void RotationZ(VornAngle a);
    // About the own axes: pitch (right), yaw (up), roll (front).
    void LocalRotationX(VornAngle a);
    void LocalRotationY(VornAngle a);
    void LocalRotationZ(VornAngle a);
    void RotationQuaternion(const D3DXQUATERNION& q);
    // Points front from eye at target (up: null for (0, 1, 0)). Looking straight up or down takes
    // (0, 0, -1) or (0, 0, 1) as up; an eye on the target keeps the axes as they were (and moves
    // the position to the eye).
    void LookAt(const D3DXVECTOR3& eye, const D3DXVECTOR3& target, const D3DXVECTOR3* upVector);

    VornAngle GetAngleX() const;
    VornAngle GetAngleY() const;
    // 0 while front points straight up or down.
    VornAngle GetAngleZ() const;

    VornMatrix rotation;          // rows right, up, front; row 4 (0, 0, 0, 1)
    VornMatrix inverseRotation;   // transpose of rotation
    VornMatrix world;             // rows right, up, front, position
    VornMatrix inverseWorld;
    VornVector3 up;
    VornVector3 right;
    VornVector3 front;
    VornVector3 position;
};

static_assert(sizeof(VornPosture) == 4 * sizeof(VornMatrix) + 4 * sizeof(VornVector3),
              "four holders and four vectors: 384 bytes on 32-bit builds, 400 on 64-bit ones");
static_assert(std::is_trivially_copyable<VornPosture>::value && std::is_standard_layout<VornPosture>::value,
              "postures may live in records that are copied and cleared as bytes");
