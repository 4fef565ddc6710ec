// The enemies (kinds 0, 1, 2 and the boss, kind 5) and their bullets.
#pragma once
#include "GameObject.h"
#include <cstdint>

enum EnemyKind : int8_t {
    ENEMY_WALKER = 0,    // walks and lunges
    ENEMY_SHOOTER = 1,   // hovers and shoots
    ENEMY_HOPPER = 2,    // hops
    ENEMY_BOSS = 5,
};

enum EnemyAction : int8_t {
    ACTION_STAND = 0,
    ACTION_WALK = 1,          // walk, or hover
    ACTION_ATTACK = 2,
    ACTION_CHARGE = 3,        // boss
    ACTION_CHARGE_END = 4,    // boss
    ACTION_VOLLEY = 5,        // boss
    ACTION_JUMP = 6,          // boss
    ACTION_FLINCH = 7,        // after a hit
};

class Enemy : public MovingObject {
public:
    Enemy(const VornVector3& position, int32_t kind);
    ~Enemy() override;
    void Run() override;

    // The behaviour of each kind, given the distance to the player.
    void ActKind0(float d);
    void ActKind1(float d);
    void ActKind2(float d);
    void ActBoss(float d);
    // The kind's per-frame animation rule, then the time step.
    void Animate();
    void SetAction(int8_t a);
    void Launch(const VornVector3& air, float gravityOrHeight);
    void MoveInAir();
    void MoveOnGround();
    void Die();
    // The hit tests; `a` is the angle from the player to this enemy.
    void CheckPlayerAttack(float a);
    void CheckEnemyOverlap();
    void CheckShockwave(float a);
    void CheckShots();

    uint8_t GetSpawnIndex() const { return spawnIndex; }
    uint8_t IsAttackHit() const { return attackHit; }
    void ClearAttackHit() { attackHit = 0; }
    int8_t GetKind() const { return kind; }
    float GetJumpBaseY() const { return jumpBaseY; }
    // A dying enemy blinks: drawn two frames of four.
    bool IsDrawn() const;

    int32_t frame = 0;                       // behaviour timer
    VornVector3 previousPosition{0.0f, 0.0f, 0.0f};
    VornVector3 speed{0.0f, 0.0f, 0.0f};     // per-axis walking speed
    VornVector3 airVelocity{0.0f, 0.0f, 0.0f};   // also the boss's charge step
    int8_t kind = ENEMY_WALKER;
    uint8_t spawnIndex = 0;                  // the spawn count right after this enemy was counted
    int8_t lastAttackKind = 0;               // the player's attack kind one frame ago
    int8_t seenAttackKind = 0;               // and now
    int8_t action = ACTION_STAND;
    uint8_t inAir = 0;
    uint8_t hitByAttack = 0;                 // already hit by the player's current attack
    uint8_t attackHit = 0;                   // this enemy's attack is live
    float gravity = 0.0f;                    // a boss jump keeps its target height here
    float animTime = 0.0f;
    float animSpeed = 1.0f;
    float weight = 0.0f;                     // knock-back gravity is taken from it
    float jumpBaseY = 0.0f;                  // y where a kind-2 hop started
    float angle = 0.0f;                      // radians, from the player to this enemy
    int32_t deathFrame = 0;
    int32_t period = 0;                      // behaviour period

private:
    // The walk and the stop of kinds 0 and 1; true when neither came this frame.
    bool WalkTiming();
    void WalkTowardsPlayer();
    // One hit: a point of damage, the flinch, an explosion and its sound (the caller launches).
    void Hit();
};

// The boss's swings in its current attack.
extern uint8_t bossSwings;

class EnemyShot : public MovingObject {
public:
    enum Mode : int32_t { MODE_STRAIGHT = 0, MODE_BALLISTIC = 1 };

    // The velocity is subtracted from the position each frame.
    EnemyShot(float x, float y, float z, float vx, float vy, float vz, int32_t angle, int32_t mode);
    ~EnemyShot() override;
    void Run() override;

    // hp holds the mode.
    int32_t frame = 0;
    int32_t angle = 0;   // the billboard's turn about Y
};
