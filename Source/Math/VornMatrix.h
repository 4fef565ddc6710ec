// VornMatrix: one D3DXMATRIX (row vectors, translation in the fourth row) kept at a 16-byte
// aligned address inside the holder, with the engine's builders on VornAngle.
//
// Two rotation senses: RotationX/Y/Z and RotationFromTo follow D3DX; RotationXYZ,
// RotationXYZSinCos, RotationAxis and RotationQuaternion give the transposed (opposite-sense)
// matrix, so RotationXYZ(0, 0, a) equals RotationZ(-a).
//
// A holder is plain data: it may be copied byte for byte (assignment, memcpy, the realloc of a
// record array) and zeroed by memset. The last byte of the buffer records where in the buffer the
// matrix lies. Every access goes through Get, which finds a holder whose pointer or recorded place
// is not its own (a copy, or a holder that moved) and first moves the matrix it was copied with to
// its own aligned place. A copy therefore never points into its source. (A holder copied as bytes
// is repaired by its first access; two threads must not make that first access to one holder at
// once.)
#pragma once
#include "VornMath.h"
#include <d3dx9.h>
#include <cstdint>
#include <type_traits>

class VornMatrix {
public:
    VornMatrix();   // identity

    // Points the holder at its own aligned matrix again, keeping the matrix it holds.
    void Align();

    D3DXMATRIX* Get() { return Place(); }
    const D3DXMATRIX* Get() const { return Place(); }
    void CopyTo(D3DXMATRIX* out) const;
    void Set(const D3DXMATRIX* m);
    // Row and column 0-based; outside 0..3 reads 0 and writes nothing.
    float GetElement(uint32_t row, uint32_t column) const;
    void SetElement(uint32_t row, uint32_t column, float value);

    VornMatrix& Identity();
    VornMatrix& Transpose(const VornMatrix& a);
    VornMatrix& TransposeSelf();
    VornMatrix& Inverse(const VornMatrix& a);
    VornMatrix& InverseSelf();
    VornMatrix& Multiply(const VornMatrix& a, const VornMatrix& b);
    VornMatrix& MultiplySelf(const VornMatrix& b);
    // Normalises the three upper-left columns of a into this; the other elements stay.
    VornMatrix& Normalize(const VornMatrix& a);
    VornMatrix& NormalizeSelf();
    VornMatrix& Scaling(float x, float y, float z);
    VornMatrix& Translation(float x, float y, float z);
    VornMatrix& PerspectiveFov(float fovy, float zNear, float zFar, float aspect);
    VornMatrix& Ortho(float width, float height, float zNear, float zFar);
    VornMatrix& LookAt(const D3DXVECTOR3& eye, const D3DXVECTOR3& at, const D3DXVECTOR3& up);

    VornMatrix& RotationX(VornAngle a);
    VornMatrix& RotationY(VornAngle a);
    VornMatrix& RotationZ(VornAngle a);
    // Half angles by arithmetic shift.
    VornMatrix& RotationXYZ(VornAngle ax, VornAngle ay, VornAngle az);
    // Half angles by division toward zero.
    VornMatrix& RotationXYZSinCos(VornAngle ax, VornAngle ay, VornAngle az);
    VornMatrix& RotationQuaternion(const D3DXQUATERNION& q);
    // The axis is normalised first; a zero axis gives the identity.
    VornMatrix& RotationAxis(VornAngle a, const D3DXVECTOR3& axis);
    // Turns from towards to, about the given axis or from x to. The axis is normalised and the
    // cosine clamped; parallel directions give the identity, opposite ones a half turn.
    VornMatrix& RotationFromTo(const D3DXVECTOR3& from, const D3DXVECTOR3& to, const D3DXVECTOR3* axis);

private:
    static constexpr uint32_t BUFFER_SIZE = 80;
    // The matrix sits at offset 0..15 of the buffer, so the last byte is never part of it: it
    // keeps the offset, which lets a byte-copied holder find its matrix.
    static constexpr uint32_t OFFSET_BYTE = BUFFER_SIZE - 1;

    uint32_t AlignedOffset() const { return static_cast<uint32_t>((16 - (reinterpret_cast<uintptr_t>(buffer_) & 15)) & 15); }
    // The aligned matrix, moved there first when the holder was copied or moved as bytes.
    D3DXMATRIX* Place() const
    {
        const uint32_t offset = AlignedOffset();
        D3DXMATRIX* aligned = reinterpret_cast<D3DXMATRIX*>(buffer_ + offset);
        if (matrix_ != aligned || buffer_[OFFSET_BYTE] != offset)
            Repair(offset);
        return aligned;
    }
    void Repair(uint32_t offset) const;
    VornMatrix& Quaternion(float qx, float qy, float qz, float qw);
    VornMatrix& HalfAngles(VornAngle hx, VornAngle hy, VornAngle hz);

    // Mutable: a read through a const holder may have to repair a byte copy.
    mutable uint8_t buffer_[BUFFER_SIZE];
    mutable D3DXMATRIX* matrix_;
};

// 80-byte buffer and the pointer: 84 bytes on 32-bit builds, 88 on 64-bit ones.
static_assert(sizeof(VornMatrix) == 80 + sizeof(void*), "VornMatrix is an 80-byte buffer and a pointer");
static_assert(std::is_trivially_copyable<VornMatrix>::value && std::is_standard_layout<VornMatrix>::value,
              "holders may live in records that are copied and cleared as bytes");
