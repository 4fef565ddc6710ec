// VornModel: fixed-function models. X files loaded by the platform's hierarchy loader through our
// allocator (VornModelSub) and built-in shapes (box, sphere, regular polygon, extruded text), each
// placed by a posture and a scale, drawn with device materials and texture stage 0, skinned on the
// CPU, and answering bounding-sphere queries. A counted table that loads anew on every call.
#pragma once
#include "VornHandleTable.h"
#include "VornMatrix.h"
#include "VornModelSub.h"
#include "VornPosture.h"
#include "VornVector3.h"
#include <d3dx9.h>
#include <cstdint>

using VornModelHandle = VornHandle;
class VornXAnimator;

struct VornModelRecord {
    uint8_t inUse;
    uint32_t refCount;
    VornXAnimator* animation;           // null without animation
    VornModelFrame* root;
    uint32_t containerCount;            // 0 for built-in shapes
    VornModelContainer** containers;    // in frame-walk order
    float radius;
    VornVector3 centre;
    float scaleX, scaleY, scaleZ;
    VornPosture posture;
    VornMatrix matrix;                  // scale x the posture's world matrix
};

class VornModel : public VornTableClass<VornModel, VornModelRecord>
{
    friend VornTableClass;
    static VornHandleTable<VornModelRecord>& Table();
    static constexpr const char* kReleaseName = "VornModel::Release";

public:
    static bool Initialize();
    static void Finalize();
    static void OnDeviceLost();
    static void OnDeviceRestore();

    static VornModelHandle CreateFromFile(const char* name);
    static VornModelHandle CreateFromMemory(const void* data, uint32_t size);
    static VornModelHandle CreateCube(float width, float height, float depth, float r, float g, float b, float a);
    static VornModelHandle CreateSphere(float radius, uint32_t slices, uint32_t stacks, float r, float g, float b, float a);
    static VornModelHandle CreateFromPack(float length, uint32_t sides, float r, float g, float b, float a);
    static VornModelHandle CreateText(const char* face, const char* text, float deviation, float depth, float scale,
                                      float r, float g, float b, float a);

    static bool GetPosture(VornModelHandle model, VornPosture* out);
    static bool SetPosture(VornModelHandle model, const VornPosture* posture);
    static void SetScale(VornModelHandle model, float x, float y, float z);
    static void LocalRotationX(VornModelHandle model, VornAngle a);
    static void LocalRotationY(VornModelHandle model, VornAngle a);
    static void LocalRotationZ(VornModelHandle model, VornAngle a);
    static void RotationX(VornModelHandle model, VornAngle a);
    static void RotationY(VornModelHandle model, VornAngle a);
    static void RotationZ(VornModelHandle model, VornAngle a);
    static void RotationQuaternion(VornModelHandle model, const D3DXQUATERNION& q);
    static void SetPosition(VornModelHandle model, float x, float y, float z);
    static void LookAt(VornModelHandle model, const D3DXVECTOR3& eye, const D3DXVECTOR3& target, const D3DXVECTOR3* up);

    static void TransformUpdate(VornModelHandle model, float time);
    static void Rendering(VornModelHandle model);

    static bool SetTrackEnable(VornModelHandle model, uint32_t track, bool enable);
    static bool SetTrackSpeed(VornModelHandle model, uint32_t track, float speed);
    static bool SetTrackWeight(VornModelHandle model, uint32_t track, float weight);

    static void GetBoundingSphere(VornModelHandle model, VornVector3* centre, float* radius);
    static bool HitCheckRay(VornModelHandle model, const VornVector3& position, const VornVector3& direction);
    static bool HitCheckSphere(VornModelHandle a, VornModelHandle b);

    static void SetTexture(VornModelHandle model, uint32_t stage, VornHandle texture, int32_t container, int32_t material);
    static void SetAlpha(VornModelHandle model, uint32_t alpha, int32_t container, int32_t material);

    // The record of a live model, for the engine's own readers (null otherwise).
    static const VornModelRecord* GetModel(VornModelHandle model) { return GetRecord(model); }
};
