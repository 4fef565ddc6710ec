// The bases of the game's objects: MovingObject (everything that moves and can be hit) and
// EffectObject (the effects).
#pragma once
#include "Task.h"
#include "VornEngine.h"
#include <cstdint>

enum ObjectCondition : int8_t {
    CONDITION_NORMAL = 0,
    CONDITION_DEAD = 1,     // set by Damage
    CONDITION_ACTING = 2,   // enemies: an attack or a special move under way
};

class MovingObject : public Task {
public:
    // Takes n hit points. At 0 or below the object is dead; an enemy's death (counted once, on
    // the change from alive to dead) drives the waves and the boss.
    void Damage(int32_t n);
    // Contact of two models: mesh 0's box of each, turned by mesh 0's matrix, as oriented boxes.
    static bool HitTest(VornModelExHandle a, VornModelExHandle b);

    VornVector3 GetPosition() const { return position; }
    int32_t GetHP() const { return hp; }
    int8_t IsDead() const { return condition; }   // the condition byte itself: compare with 1 or 2

    VornVector3 position{0.0f, 0.0f, 0.0f};
    VornVector3 velocity{0.0f, 0.0f, 0.0f};
    int8_t condition = CONDITION_NORMAL;
    int32_t hp = 0;
};

class EffectObject : public Task {
public:
    VornVector3 position{0.0f, 0.0f, 0.0f};
    VornVector3 vector{0.0f, 0.0f, 0.0f};   // its meaning is the effect's own
};

// Kill counts of the waves: the boss comes at the 39th kill.
constexpr int32_t BOSS_KILL_COUNT = 39;
constexpr int32_t WAVE_SPAWN_LIMIT = 38;   // waves spawn while at most this many were spawned
constexpr int32_t WAVE_ALIVE_LIMIT = 20;   // and fewer than this many are alive
