// VornAnimation: scalar key-frame curves behind handles, evaluated with one of eight kinds and
// looping over the time of the last key, and the stand-alone easing helpers.
#pragma once
#include "VornHandleTable.h"
#include <cstdint>

struct VornAnimationKey {
    float time;
    float value;
    VornAnimationKey* prev;   // null for the first key
    VornAnimationKey* next;   // null for the last key
};

struct VornAnimationData {
    uint8_t inUse;
    float* coefficients;   // Newton coefficients, count floats
    float* scratch;        // count floats
    VornAnimationKey* keys;
    uint32_t count;
    float firstTime;
    float lastTime;
};

enum VornAnimationType : uint32_t {
    VORN_ANIMATION_STEP = 0,
    VORN_ANIMATION_LINEAR = 1,
    VORN_ANIMATION_NEWTON = 2,          // polynomial through all keys (ComputeNewton first)
    VORN_ANIMATION_SPLINE_NEXT = 3,     // Spline(cur, next, next)
    VORN_ANIMATION_SPLINE_CURRENT = 4,  // Spline(cur, cur, next)
    VORN_ANIMATION_BEZIER_NEXT = 5,     // Bezier(cur, next, next)
    VORN_ANIMATION_BEZIER_CURRENT = 6,  // Bezier(cur, cur, next)
    VORN_ANIMATION_HERMITE = 7,
};

class VornAnimation {
public:
    static constexpr uint32_t DEFAULT_MAX = 0x10000;

    static bool Initialize();
    static void Finalize();
    // Capacity for the next Initialize (0: 65536).
    static void SetMax(uint32_t count);

    // A curve of count keys (0 is refused); none when the table is full or memory is short.
    static VornHandle Create(uint32_t count);
    static void Release(VornHandle handle);
    static void Delete(uint32_t index);
    static VornHandle AllocRecord();
    // Key (index mod count) := (time, value). Keys are expected in increasing time.
    static void SetKey(VornHandle handle, uint32_t index, float time, float value);
    static void ComputeNewton(VornHandle handle);
    // The curve at time (wrapped into 0 .. last key time) by kind; defaultValue for none, an
    // unused handle or an unknown kind.
    static float GetValue(VornHandle handle, float time, uint32_t kind, float defaultValue);
    // The key in force at t: the last key whose time is not above t (the first key below it).
    static const VornAnimationKey* SearchKey(const VornAnimationKey* keys, float t, uint32_t count);
    static const VornAnimationData* GetData(VornHandle handle);

    // Steps from start to end over count steps (a count of 0 gives end).
    static float FlatSpeed(float start, float end, int32_t count, int32_t index);
    static float AddSpeed(float start, float end, int32_t count, int32_t index);
    static float SubSpeed(float start, float end, int32_t count, int32_t index);
    static float Bezier(float a, float b, float c, float t);
    static float Spline(float p0, float p1, float p2, float t);
    static void HermiteBasis(float t, float* h1, float* h2, float* h3, float* h4);
};
