// The player character: a skinned body with a weapon on its right hand. It walks along the line to
// the current target, jumps, dashes on a double tap, attacks in a three-hit combo, attacks from the
// air, fires straight and homing shots, is knocked down by enemy hits and dies at 0 hit points.
// All timing of its actions is in key frames of its one animation timeline.
#pragma once
#include "GameObject.h"
#include "VornEngine.h"
#include <cstdint>

class Enemy;

enum PlayerAnimation : int8_t {
    PLAYER_STAND = 0,
    PLAYER_WALK = 1,
    PLAYER_JUMP = 2,
    PLAYER_COMBO1 = 3,
    PLAYER_COMBO2 = 4,
    PLAYER_COMBO3 = 5,
    PLAYER_STRAIGHT_SHOT = 6,
    PLAYER_HOMING_SHOT = 7,
    PLAYER_AIR_ATTACK = 8,
    PLAYER_DOWN_ATTACK = 9,
    PLAYER_DASH = 10,
    PLAYER_KNOCKED_FORWARD = 13,
    PLAYER_KNOCKED_BACKWARD = 14,
    PLAYER_FALL = 15,
};

// The attack under way; an enemy takes one hit per change of it.
enum PlayerAttackKind : int8_t {
    ATTACK_NONE = 0,
    ATTACK_COMBO1 = 1,
    ATTACK_COMBO2 = 2,
    ATTACK_COMBO3 = 3,
    ATTACK_AIR = 4,
    ATTACK_DOWNWARD = 5,
};

// SetAction kinds: a jump, knocked down forward or backward, or a lift that keeps the animation.
enum PlayerActionKind : int32_t {
    PLAYER_ACTION_JUMP = 0,
    PLAYER_ACTION_KNOCKED_FORWARD = 1,
    PLAYER_ACTION_KNOCKED_BACKWARD = 2,
    PLAYER_ACTION_LIFT = 3,
};

// The effect of the player's body.
constexpr const char* PLAYER_BODY_EFFECT = "Data\\MyChara.fx";

class Player : public MovingObject {
public:
    Player(float x, float y, float z);
    ~Player() override;
    void Run() override;

    // The body (animation set 0) and the weapon, each with its effect, as every player has them.
    static void LoadModels(VornModelExHandle* body, VornModelExHandle* weapon);

    void Move();
    // The current animation's per-frame rule, then the time steps on.
    void ResolveAttack();
    void SetAction(int32_t kind, const VornVector3& air, float gravityStep);
    void MoveInAir();
    void StandOnGround();
    // The next living enemy created after the current target, wrapping to the first.
    void SelectNextTarget();
    void SetAnimation(int8_t id);
    void CheckEnemyContact();
    void CheckEnemyShotContact();

    bool IsAttacking() const { return attackActive != 0; }
    VornModelExHandle GetModel() const { return bodyModel; }
    VornModelExHandle GetWeaponModel() const { return weaponModel; }
    VornVector3 GetVelocity() const { return velocity; }
    int8_t GetAttackKind() const { return attackKind; }
    // Where the player walks to: the target's position, or its last one while there is no target.
    VornVector3 GetTargetPosition();

    int32_t frame = 0;
    VornModelExHandle bodyModel = VORN_INVALID_HANDLE;
    VornModelExHandle weaponModel = VORN_INVALID_HANDLE;
    VornVector3 previousPosition{0.0f, 0.0f, 0.0f};
    VornVector3 airVelocity{0.0f, 0.0f, 0.0f};
    uint8_t inAir = 0;
    uint8_t dashing = 0;
    uint8_t attackActive = 0;
    int8_t targetIndex = 1;
    int8_t animation = PLAYER_STAND;
    int8_t attackKind = ATTACK_NONE;
    int8_t attackCount = 0;
    int8_t facing = 1;
    int8_t side = -1;
    float yaw = 0.0f;
    float gravity = 0.0f;
    float charge = 0.0f;
    // The target's position as last seen.
    VornVector3 lastTargetPosition{0.0f, 0.0f, 0.0f};
    // The body's right-hand frame, which carries the weapon.
    int32_t handFrame = -1;

private:
    // A hit from an enemy or its shot: damage, sounds, knock-back along the target line.
    void TakeHit();
    void DrawModels();
};

// Set by the constructor, cleared by the destructor.
extern Player* g_player;
// The animation time given to the body model, and its step per frame.
extern float animTime;
extern float animSpeed;
