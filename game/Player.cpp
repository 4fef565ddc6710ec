#include "Player.h"
#include "Effects.h"
#include "Enemy.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Shots.h"
#include "StageField.h"
#include "Task.h"
#include <cmath>
#include <cstdlib>
#include <cstring>

Player* g_player = nullptr;
float animTime = 1.0f;
float animSpeed = 1.0f;

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;
constexpr float kWalkStep = 0.15f;
constexpr float kFootHeight = 0.8f;   // the body's origin above the ground
constexpr float kJumpGravity = 0.04f;
constexpr float kEdge = 200.0f;       // the play area is [-200, 200] on x and z

// Start time of each animation (ids 11 and 12 are unused).
constexpr float kAnimationStart[16] = {46.0f,  34.0f,  155.0f, 46.0f,  91.0f, 116.0f, 256.0f, 237.0f,
                                       197.0f, 222.0f, 153.0f, 0.0f,   0.0f,  301.0f, 308.0f, 170.0f};

void Sound(int8_t i)
{
    if (g_director) g_director->PlaySound(i);
}

// One of the listed voices, chosen by rand() % count.
template <size_t N>
void Voice(const int8_t (&voices)[N])
{
    Sound(voices[rand() % static_cast<int>(N)]);
}

constexpr int8_t kAttackVoices[] = {SOUND_V_ATTACK2, SOUND_V_ATTACK4, SOUND_V_ATTACK5};
constexpr int8_t kSecondHitVoices[] = {SOUND_V_ATTACK1, SOUND_V_ATTACK3};
constexpr int8_t kShotVoices[] = {SOUND_V_SHOT1, SOUND_V_SHOT2, SOUND_V_SHOT3};
constexpr int8_t kHomingVoices[] = {SOUND_V_SHOT2, SOUND_V_SHOT3};
constexpr int8_t kDownwardVoices[] = {SOUND_V_RAKKA1, SOUND_V_RAKKA2};
constexpr int8_t kAirVoices[] = {SOUND_V_JATTACK1, SOUND_V_JATTACK2};

// Radians to an engine angle (the low 16 bits).
VornAngle ToAngle(float radians)
{
    return static_cast<VornAngle>(static_cast<int64_t>(radians * 65536.0f / kTwoPi) & 0xFFFF);
}

bool IsLiveEnemy(const Task* t) { return t->state == TASK_LIVE && t->priority == PRIORITY_ENEMY; }

}  // namespace

Player::Player(float x, float y, float z)
{
    position = VornVector3(x, y, z);
    velocity = VornVector3(0.0f, 0.8f, 0.0f);
    condition = CONDITION_NORMAL;
    hp = 20;
    g_taskList->Add(this, PRIORITY_PLAYER);
    g_director->GetPlayerModels(&bodyModel, &weaponModel);
    handFrame = VornModelEx::GetFrameIndex(bodyModel, "Frame9_migite");
    previousPosition = position;
    g_player = this;
}

void Player::LoadModels(VornModelExHandle* body, VornModelExHandle* weapon)
{
    *body = VornModelEx::CreateFromFile("MyChara.x", 2, 0, 0);
    VornModelEx::SetShaderFromFile(*body, PLAYER_BODY_EFFECT, -1);
    VornModelEx::SetParameterFlags(*body, 0x39, -1);
    VornModelEx::SetAnimationSet(*body, 0);
    *weapon = VornModelEx::CreateFromFile("weapon.x", 2, 0, 0);
    VornModelEx::SetShaderFromFile(*weapon, "Data\\etc.fx", -1);
    VornModelEx::SetParameterFlags(*weapon, 0x31, -1);
}

Player::~Player()
{
    g_taskList->Kill(this);
    if (g_player == this) g_player = nullptr;
}

VornVector3 Player::GetTargetPosition()
{
    if (g_director && g_director->target) lastTargetPosition = g_director->target->GetPosition();
    return lastTargetPosition;
}

void Player::Run()
{
    previousPosition = position;
    const int8_t scene = g_director ? g_director->GetScene() : static_cast<int8_t>(SCENE_PLAY);
    if ((condition == CONDITION_DEAD && airVelocity.y > 0.0f) || scene == SCENE_BOSS_ENTRY || scene == SCENE_CLEAR)
        memset(&g_input, 0, sizeof g_input);

    if (g_input.pushC) SelectNextTarget();

    if (g_input.pushX && attackKind != ATTACK_DOWNWARD) {
        if (rand() % 3 == 0) Sound(SOUND_V_JUMP);
        Sound(SOUND_JUMP);
        SetAction(PLAYER_ACTION_JUMP, VornVector3(0.0f, 0.8f, 0.0f), kJumpGravity);
        new Trail(position.x, position.y, position.z, 0x4000, 0, 0, 24, 1);
    }

    if (g_input.pushZ && animation != PLAYER_STRAIGHT_SHOT && animation != PLAYER_HOMING_SHOT) {
        if (!inAir) {
            if (attackCount == 0) {
                SetAnimation(PLAYER_COMBO1);
                attackKind = ATTACK_COMBO1;
                if (!g_input.holdUp && !g_input.holdDown) Voice(kAttackVoices);
            }
            if (g_input.holdDown) {
                SetAnimation(PLAYER_STRAIGHT_SHOT);
                Voice(kShotVoices);
            }
        } else if (attackCount == 0) {
            SetAnimation(PLAYER_AIR_ATTACK);
            attackKind = ATTACK_AIR;
            SetAction(PLAYER_ACTION_LIFT, VornVector3(0.0f, 0.4f, 0.0f), kJumpGravity);
            if (g_input.holdDown) {
                SetAnimation(PLAYER_DOWN_ATTACK);
                attackKind = ATTACK_DOWNWARD;
                Voice(kDownwardVoices);
            } else {
                Voice(kAirVoices);
            }
        }
        ++attackCount;
        if (g_input.holdUp) {
            SetAnimation(PLAYER_HOMING_SHOT);
            Voice(kHomingVoices);
        }
    }

    Move();
    ResolveAttack();

    if (!g_director || g_director->gameOverFrame < 120) {
        if (inAir)
            MoveInAir();
        else
            StandOnGround();
        CheckEnemyContact();
        CheckEnemyShotContact();
    }

    if (position.x < -kEdge || position.x > kEdge) position.x = previousPosition.x;
    if (position.z < -kEdge || position.z > kEdge) position.z = previousPosition.z;

    DrawModels();
    if (++frame > 1024) frame = 0;
}

void Player::DrawModels()
{
    VornModelEx::TransformInit(bodyModel);
    VornModelEx::RotationY(bodyModel, ToAngle(yaw));
    VornModelEx::SetPosition(bodyModel, position.x, position.y, position.z);
    VornModelEx::TransformUpdate(bodyModel, animTime, true);
    VornMatrix hand;
    VornModelEx::GetFrameMatrix(bodyModel, &hand, handFrame);
    VornModelEx::TransformInit(weaponModel);
    VornModelEx::SetFrameMatrix(weaponModel, &hand, -1);
    VornModelEx::Rendering(bodyModel);
    VornModelEx::Rendering(weaponModel);
}

void Player::Move()
{
    const VornVector3 t = GetTargetPosition();
    const float a = atan2f(position.x - t.x, position.z - t.z);
    velocity.x = sinf(a) * kWalkStep;
    velocity.z = cosf(a) * kWalkStep;
    side = a >= 0.0f ? 1 : -1;

    if (dashing) {
        velocity.x *= 4.0f;
        velocity.z *= 4.0f;
        VornPosture posture;
        VornModelEx::GetPosture(bodyModel, &posture);
        if (!inAir && GameTime() % 2 == 0) {
            const float dx = VornMath::RandFloat(-0.2f, 0.2f);
            const float dz = VornMath::RandFloat(-0.2f, 0.2f);
            new Dust(position.x + dx, position.y, position.z + dz, posture.GetAngleY() + 0x4000);
            if (frame % 4 == 0) Sound(SOUND_WALK);
        }
    }

    const bool right = g_input.holdRight && !g_input.holdLeft;
    const bool left = g_input.holdLeft && !g_input.holdRight;
    if (condition != CONDITION_DEAD && (right || left)) {
        const int8_t dir = right ? 1 : -1;
        if (animation == PLAYER_STAND) SetAnimation(PLAYER_WALK);
        if (attackKind == ATTACK_NONE) {
            if (!inAir) facing = dir;
            position.x += dir * side * velocity.x;
            position.z += dir * side * velocity.z;
            if (!inAir) yaw = (side == -dir) ? a : a + kPi;
            if (!inAir && !dashing && frame % 23 == 0) Sound(SOUND_WALK);
        }
        ++g_input.pressFrames;
        if (g_input.pressFrames > 1 && g_input.pressFrames < 10 && g_input.releaseFrames > 1 &&
            g_input.releaseFrames < 8 && !inAir && !dashing && animation != PLAYER_STRAIGHT_SHOT &&
            animation != PLAYER_HOMING_SHOT)
            SetAnimation(PLAYER_DASH);
        g_input.releaseFrames = 0;
    }
    if (!g_input.holdRight && !g_input.holdLeft) {
        ++g_input.releaseFrames;
        if (g_input.pressFrames > 10) g_input.pressFrames = 0;
        if (g_input.releaseFrames > 8) {
            g_input.pressFrames = 0;
            g_input.releaseFrames = 0;
        }
    }
}

void Player::SetAnimation(int8_t id)
{
    animation = id;
    animTime = (id >= 0 && id < 16) ? kAnimationStart[id] : 0.0f;
    animSpeed = 1.0f;
    const float turn = facing * side;
    switch (id) {
    case PLAYER_STAND:
        inAir = 0;
        dashing = 0;
        attackActive = 0;
        attackCount = 0;
        attackKind = ATTACK_NONE;
        break;
    case PLAYER_JUMP:
    case PLAYER_FALL:
        inAir = 1;
        attackActive = 0;
        attackCount = 0;
        attackKind = ATTACK_NONE;
        break;
    case PLAYER_COMBO2:
        position.x += velocity.x * 10.0f * turn;
        position.z += velocity.z * 10.0f * turn;
        break;
    case PLAYER_COMBO3:
        position.x += velocity.x * 0.5f * turn;
        position.z += velocity.z * 0.5f * turn;
        break;
    case PLAYER_AIR_ATTACK:
        velocity.y = 0.5f;
        break;
    case PLAYER_DOWN_ATTACK:
        velocity.y = -0.8f;
        break;
    case PLAYER_DASH:
        dashing = 1;
        attackActive = 0;
        attackCount = 0;
        attackKind = ATTACK_NONE;
        break;
    case PLAYER_KNOCKED_FORWARD:
    case PLAYER_KNOCKED_BACKWARD:
        attackActive = 0;
        dashing = 0;
        attackCount = 0;
        attackKind = ATTACK_NONE;
        break;
    default:
        break;
    }
}

// The rules run in the order of the animation ids, so an animation entered by an earlier rule has
// its own rule applied in the same frame (hit 2 goes live on its first frame, 91).
void Player::ResolveAttack()
{
    const bool walking = g_input.holdLeft || g_input.holdRight;
    const float turn = facing * side;
    float& t = animTime;

    if (animation == PLAYER_STAND) t = 45.0f;
    if (animation == PLAYER_WALK) {
        if (t >= 45.0f || t <= 23.0f) animSpeed = -animSpeed;
        if (!walking) SetAnimation(PLAYER_STAND);
    }
    if (animation == PLAYER_JUMP && t > 195.0f) t = 195.0f;
    if (animation == PLAYER_COMBO1) {
        if (dashing) {
            position.x += velocity.x / 3.0f * turn;
            position.z += velocity.z / 3.0f * turn;
        }
        if (t == 54.0f) attackActive = 1;
        if (t == 60.0f) {
            animSpeed = 3.0f;
            dashing = 0;
        }
        if (t == 75.0f) animSpeed = 1.0f;
        if (t >= 90.0f) {
            if (attackCount < 2) {
                SetAnimation(PLAYER_STAND);
            } else {
                SetAnimation(PLAYER_COMBO2);
                attackKind = ATTACK_COMBO2;
                Voice(kAttackVoices);
            }
        }
    }
    if (animation == PLAYER_COMBO2) {
        if (t == 91.0f) attackActive = 1;
        if (attackCount < 3) {
            if (t >= 115.0f) SetAnimation(PLAYER_STAND);
        } else if (t >= 105.0f) {
            SetAnimation(PLAYER_COMBO3);
            attackKind = ATTACK_COMBO3;
            Voice(kSecondHitVoices);
        }
    }
    if (animation == PLAYER_COMBO3) {
        if (t == 128.0f) attackActive = 1;
        if (t >= 151.0f) SetAnimation(PLAYER_STAND);
    }
    if (animation == PLAYER_STRAIGHT_SHOT) {
        if (t == 278.0f) {
            VornPosture posture;
            VornModelEx::GetPosture(bodyModel, &posture);
            new StraightShot(position.x, position.y + 0.5f, position.z, velocity.x * 10.0f * turn, 0.0f,
                             velocity.z * 10.0f * turn, posture.GetAngleY());
            Sound(SOUND_SHOT1);
        }
        if (t > 280.0f) {
            position.x -= turn * velocity.x;
            position.z -= turn * velocity.z;
        }
        if (t >= 300.0f) SetAnimation(PLAYER_STAND);
    }
    if (animation == PLAYER_HOMING_SHOT) {
        if (t < 238.0f) {
            animSpeed = 0.1f;
        } else {
            animSpeed = 1.0f;
            position.x -= velocity.x / 5.0f * turn;
            position.z -= velocity.z / 5.0f * turn;
        }
        if (t >= 239.0f && t < 240.0f) {
            // While dashing the step is four times the walking one; the shot starts a walking
            // step's ten times ahead, level with the player (velocity.y is the jump's, not a step).
            const float scale = (dashing ? 10.0f / 4.0f : 10.0f) * turn;
            new HomingShot(position.x + velocity.x * scale, position.y, position.z + velocity.z * scale);
            Sound(SOUND_SHOT2);
        }
        if (t >= 256.0f) SetAnimation(inAir ? PLAYER_FALL : PLAYER_STAND);
    }
    if (animation == PLAYER_AIR_ATTACK) {
        if (t == 197.0f) attackActive = 1;
        if (t >= 221.0f) SetAnimation(PLAYER_FALL);
    }
    if (animation == PLAYER_DOWN_ATTACK) {
        if (t == 222.0f) attackActive = 1;
        if (t > 224.0f) t = 224.0f;
        charge += 1.0f;
    }
    if (animation == PLAYER_DASH) {
        if (t >= 154.0f || t <= 152.0f) animSpeed = -animSpeed;
        if (!walking) SetAnimation(PLAYER_STAND);
    }
    if (animation == PLAYER_KNOCKED_FORWARD && t > 306.0f) t = 306.0f;
    if (animation == PLAYER_KNOCKED_BACKWARD && t > 313.0f) t = 313.0f;
    if (animation == PLAYER_FALL && t > 195.0f) t = 195.0f;
    t += animSpeed;
}

void Player::SetAction(int32_t kind, const VornVector3& air, float gravityStep)
{
    inAir = 1;
    airVelocity = air;
    gravity = gravityStep;
    if (kind == PLAYER_ACTION_JUMP) SetAnimation(PLAYER_JUMP);
    if (kind == PLAYER_ACTION_KNOCKED_FORWARD) SetAnimation(PLAYER_KNOCKED_FORWARD);
    if (kind == PLAYER_ACTION_KNOCKED_BACKWARD) SetAnimation(PLAYER_KNOCKED_BACKWARD);
    if (kind != PLAYER_ACTION_KNOCKED_FORWARD && kind != PLAYER_ACTION_KNOCKED_BACKWARD) return;
    condition = CONDITION_DEAD;
    // The player dies once, and only in play or the boss's entry: never during a game over or a
    // clear (hits there only knock it down).
    const int8_t scene = g_director ? g_director->GetScene() : static_cast<int8_t>(SCENE_PLAY);
    if (hp < 1 && (scene == SCENE_PLAY || scene == SCENE_BOSS_ENTRY)) {
        g_director->SetScene(SCENE_GAME_OVER);
        airVelocity.x *= 3.0f;
        airVelocity.z *= 3.0f;
        airVelocity.y = 2.5f;
        gravity = 0.0f;
        Sound(SOUND_V_END);
    }
}

void Player::MoveInAir()
{
    position.y += airVelocity.y;
    if (condition == CONDITION_DEAD) {
        position.x += airVelocity.x;
        position.z += airVelocity.z;
        if (airVelocity.y < 0.0f) condition = CONDITION_NORMAL;
    }
    if (airVelocity.y <= 0.8f)
        airVelocity.y -= gravity;
    else
        airVelocity.y = 0.8f;

    const float ground = GroundY(position);
    if (position.y < ground + kFootHeight) {
        inAir = 0;
        if (animation == PLAYER_DOWN_ATTACK) {
            new Shockwave(position.x, position.y - kFootHeight, position.z, charge);
            charge = 0.0f;
        }
        SetAnimation(dashing ? PLAYER_DASH : PLAYER_STAND);
        attackKind = ATTACK_NONE;
        position.y = ground + kFootHeight;
        attackCount = 0;
    }
}

void Player::StandOnGround()
{
    const float ground = GroundY(position);
    position.y = ground + kFootHeight;
    if (!g_director) return;
    VornPosture flat;
    flat.RotationX(0x4000);
    const VornRect src = {128.0f, 128.0f, 128.0f, 128.0f};
    VornSprite3D::DrawSquare(g_director->GetSprite3D(1), &flat, position.x, ground, position.z, 1.0f, 1.0f, &src,
                             0x80FFFFFF, 1);
}

void Player::SelectNextTarget()
{
    if (!g_director) return;
    for (Task* t = g_taskList->GetFirst(); t && t->state != TASK_SENTINEL; t = t->next) {
        if (!IsLiveEnemy(t)) continue;
        Enemy* e = static_cast<Enemy*>(t);
        g_director->target = e;
        if (e->IsDead() != CONDITION_DEAD && e->GetSpawnIndex() > static_cast<uint8_t>(targetIndex)) {
            targetIndex = static_cast<int8_t>(e->GetSpawnIndex());
            return;
        }
    }
    // None follows: wrap to the first living enemy; only when none lives does the target stay on
    // the last enemy walked.
    targetIndex = 0;
    for (Task* t = g_taskList->GetFirst(); t && t->state != TASK_SENTINEL; t = t->next) {
        if (!IsLiveEnemy(t)) continue;
        Enemy* e = static_cast<Enemy*>(t);
        if (e->IsDead() == CONDITION_DEAD) continue;
        g_director->target = e;
        targetIndex = static_cast<int8_t>(e->GetSpawnIndex());
        return;
    }
}

void Player::TakeHit()
{
    Damage(1);
    TraceHit(hp);
    Sound(SOUND_KURAI);
    if (hp == 5) {
        Sound(SOUND_V_HUZEN);
    } else if (hp > 1) {
        const int r = rand() & 3;
        if (r < 3) Sound(static_cast<int8_t>(SOUND_V_DAMAGE1 + r));
    }
    // Knocked forward when facing away from the target, backward when facing it.
    if (side * facing < 0)
        SetAction(PLAYER_ACTION_KNOCKED_FORWARD, VornVector3(velocity.x, 0.8f, velocity.z), kJumpGravity);
    else
        SetAction(PLAYER_ACTION_KNOCKED_BACKWARD, VornVector3(-velocity.x, 0.8f, -velocity.z), kJumpGravity);
}

void Player::CheckEnemyContact()
{
    for (Task* t = g_taskList->GetFirst(); t && t->state != TASK_SENTINEL; t = t->next) {
        if (hp < 1) return;   // a dead player takes no hits
        if (!IsLiveEnemy(t)) continue;
        Enemy* e = static_cast<Enemy*>(t);
        const VornVector3 d = e->GetPosition() - position;
        const float reach = e->GetKind() == ENEMY_BOSS ? 5.0f : 1.5f;
        if (VornVector3(d).Length() < reach && e->IsAttackHit() && e->GetKind() != ENEMY_SHOOTER) {
            TakeHit();
            e->ClearAttackHit();
        }
    }
}

void Player::CheckEnemyShotContact()
{
    for (Task* t = g_taskList->GetFirst(); t && t->state != TASK_SENTINEL; t = t->next) {
        if (hp < 1) return;
        if (t->state != TASK_LIVE || t->priority != PRIORITY_ENEMY_SHOT) continue;
        const VornVector3 d = static_cast<MovingObject*>(t)->GetPosition() - position;
        if (VornVector3(d).Length() < 2.0f) {
            TakeHit();
            g_taskList->Kill(t);
        }
    }
}
