// The short-lived effects: the explosion where an enemy is hit, the shockwave where the downward
// attack lands, the trail ring behind shots and jumps, and the dust behind a dashing player. They
// push into the director's batches and draw its ball and torus models; each removes itself when
// faded out.
#pragma once
#include "GameObject.h"
#include "VornEngine.h"
#include <cstdint>

// Triangles into a 3D primitive batch; segment i of n spans the angles i * 65536 / n - 0x4000 to
// (i + 1) * 65536 / n - 0x4000.
// A flat disc in the XY plane.
void DrawDisc(VornPrimitive3DHandle batch, float x, float y, float z, float radius, uint32_t colour, int32_t segments);
// A ring between two radii, turned by the three angles.
void DrawRing(VornPrimitive3DHandle batch, float x, float y, float z, float innerRadius, float outerRadius,
              uint32_t innerColour, uint32_t outerColour, int32_t segments, VornAngle rx, VornAngle ry, VornAngle rz);
// A cylinder wall of the given width, turned by the three angles.
void DrawBand(VornPrimitive3DHandle batch, float x, float y, float z, float radius, float width, uint32_t colour,
              int32_t segments, VornAngle rx, VornAngle ry, VornAngle rz);

// The spin of the explosion's ball on frame `frame` with the random value `random`:
// frame * random * 65536 / 360, the low 16 bits.
VornAngle ExplosionSpin(int32_t frame, int32_t random);

class Explosion : public EffectObject {
public:
    static constexpr int32_t kFragments = 8;
    static constexpr int32_t kParticles = 128;
    struct Fragment {
        VornVector3 position;
        VornVector3 velocity;
    };

    Explosion(float x, float y, float z);
    ~Explosion() override;
    void Run() override;

    int32_t frame = 0;
    float scale = 0.0f;
    int32_t fadeAlpha = 255;
    int32_t ringAlpha = 255;
    float ringRadius = 0.0f;
    int32_t spin = 0;
    Fragment fragments[kFragments];
    VornVector3 particles[kParticles];
};

class Shockwave : public EffectObject {
public:
    Shockwave(float x, float y, float z, float strength);
    ~Shockwave() override;
    void Run() override;
    VornVector3 GetPosition() const { return position; }

    float baseY = 0.0f;
    float strength = 0.0f;
    int32_t frame = 0;
    float width = 0.0f;
    int32_t alpha = 255;
    float height = 0.0f;
    float ringRadius[4] = {0.0f, 0.0f, 0.0f, 0.0f};   // three rising rings, then the ground wall
    int32_t ringAlpha[4] = {255, 255, 255, 255};
};

class Trail : public EffectObject {
public:
    // flag 1: the inner edge starts half transparent.
    Trail(float x, float y, float z, VornAngle rx, VornAngle ry, VornAngle rz, int32_t segments, uint8_t flag);
    ~Trail() override;
    void Run() override;

    float radius = 0.0f;
    int32_t outerAlpha = 255;
    int32_t innerAlpha = 255;
    int32_t segments = 0;
    VornAngle rotationX = 0;
    VornAngle rotationY = 0;
    VornAngle rotationZ = 0;
    uint8_t flag = 0;
};

class Dust : public EffectObject {
public:
    Dust(float x, float y, float z, VornAngle angle);
    ~Dust() override;
    void Run() override;

    int32_t frame = 0;
    float size = 0.0f;
    int32_t alpha = 200;
    VornAngle angle = 0;
};
