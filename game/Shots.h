// The player's projectiles. A straight shot flies along the target line and passes through what it
// hits; a homing shot steers towards the current target and is consumed by its first hit. The
// enemies find both by their priorities and do the hit processing. Every shot of a kind draws the
// director's one model of it, setting its transform (and alpha) before each draw.
#pragma once
#include "GameObject.h"
#include "VornEngine.h"
#include <cstdint>

// Both shots expire after this many frames.
constexpr int32_t SHOT_LAST_FRAME = 250;

class StraightShot : public MovingObject {
public:
    StraightShot(float x, float y, float z, float vx, float vy, float vz, VornAngle heading);
    ~StraightShot() override;
    void Run() override;

    int32_t frame = 0;
    VornModelExHandle model = VORN_INVALID_HANDLE;
    float scale = 0.0f;
    VornAngle angle = 0;   // heading about Y
};

class HomingShot : public MovingObject {
public:
    HomingShot(float x, float y, float z);
    ~HomingShot() override;
    void Run() override;

    int32_t frame = 0;
    VornModelExHandle model = VORN_INVALID_HANDLE;
    int32_t alpha = 230;
    int32_t alphaStep = 5;
    // The target's position as last seen: the shot flies on towards it while there is no target.
    VornVector3 lastTargetPosition{0.0f, 0.0f, 0.0f};
};
