#include "Enemy.h"
#include "Effects.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Player.h"
#include "StageField.h"
#include "Task.h"
#include "VornEngine.h"
#include <cmath>
#include <cstdint>

uint8_t bossSwings = 0;

namespace {

constexpr float FIELD_LIMIT = 200.0f;
constexpr float GROUND_OFFSET = 0.7f;        // an enemy's centre above the ground
constexpr float BOSS_GROUND_OFFSET = 2.8f;
constexpr float JUMP_DONE = 1000000.0f;      // a boss jump past its top: it drops straight down
constexpr int32_t DEATH_FRAMES = 128;        // a dead enemy blinks this long, then goes
constexpr int32_t SHOT_LIFE = 64;            // frames of a straight enemy shot

// Radians to the engine's angle, only the low 16 bits kept (no overflow however large the value).
VornAngle ToAngle(double radians)
{
    return static_cast<VornAngle>(static_cast<int64_t>(radians * 65536.0 / VornMath::PI2) & 0xFFFF);
}

float Distance(const VornVector3& a, const VornVector3& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Knock-back of the player's attack kinds 1-5: horizontal and upward speed, and what comes off the
// enemy's weight for its gravity.
struct Knock {
    float h, u, lighter;
};
constexpr Knock KNOCKS[5] = {{0.07f, 0.3f, 0.025f}, {0.02f, 0.55f, 0.028f}, {0.1f, 0.4f, 0.04f},
                             {0.5f, 0.7f, 0.03f},   {1.0f, 1.0f, 0.05f}};

// Start times of the actions by kind (-1: the kind has no such action).
float StartTime(int8_t kind, int8_t action)
{
    static const int8_t starts[4][8] = {
        {0, 0, 45, -1, -1, -1, -1, 41},   // kind 0
        {0, 0, 21, -1, -1, -1, -1, 41},   // kind 1
        {0, 0, 7, -1, -1, -1, -1, 18},    // kind 2
        {0, 18, 0, 78, 90, 0, 0, 0},      // the boss
    };
    const int row = kind == ENEMY_BOSS ? 3 : kind;
    if (row < 0 || row > 3 || action < 0 || action > 7) return -1.0f;
    return starts[row][action];
}

}  // namespace

Enemy::Enemy(const VornVector3& p, int32_t k)
{
    g_taskList->Add(this, PRIORITY_ENEMY);
    ++g_director->spawnCount;
    ++g_director->aliveCount;
    position = p;
    speed = VornVector3(VornMath::RandFloat(0.05f, 0.15f), 0.0f, VornMath::RandFloat(0.05f, 0.15f));
    hp = VornMath::RandInt(5, 20);
    kind = static_cast<int8_t>(k);
    spawnIndex = static_cast<uint8_t>(g_director->spawnCount & 0xFF);
    period = kind == ENEMY_HOPPER ? VornMath::RandInt(50, 100) : VornMath::RandInt(100, 400);
    weight = VornMath::RandInt(6, 10) * 0.01f;
    if (kind == ENEMY_SHOOTER) velocity.y = VornMath::RandFloat(3.0f, 5.0f);   // its hover height
    if (kind == ENEMY_BOSS) {
        // The boss drops in from the sky. The entry scene follows only from play: a boss brought
        // by shots still flying after the player's death leaves the game over alone.
        if (g_director->GetScene() == SCENE_PLAY) g_director->SetScene(SCENE_BOSS_ENTRY);
        g_director->target = this;
        hp = 50;
        weight = 0.1f;
        speed = VornVector3(0.07f, 0.0f, 0.07f);
        Launch(VornVector3(0.0f, 0.1f, 0.0f), 0.01f);
    } else {
        Launch(VornVector3(0.0f, 0.5f, 0.0f), 0.07f);   // a hop on arrival
    }
}

Enemy::~Enemy()
{
    g_taskList->Kill(this);
    // Nobody keeps aiming at a deleted enemy.
    if (g_director) g_director->ForgetEnemy(this);
}

void Enemy::Run()
{
    previousPosition = position;
    const VornVector3 p = g_player ? g_player->position : position;
    // The boss's charge keeps the heading it started with.
    if (!(kind == ENEMY_BOSS && action == ACTION_CHARGE)) angle = std::atan2(position.x - p.x, position.z - p.z);
    velocity.x = std::sin(angle) * speed.x;
    velocity.z = std::cos(angle) * speed.z;
    const float d = Distance(position, p);

    if (condition == CONDITION_DEAD) {
        Die();
    } else {
        switch (kind) {
        case ENEMY_WALKER: ActKind0(d); break;
        case ENEMY_SHOOTER: ActKind1(d); break;
        case ENEMY_HOPPER: ActKind2(d); break;
        case ENEMY_BOSS: ActBoss(d); break;
        default: break;
        }
        Animate();
    }
    if (inAir)
        MoveInAir();
    else
        MoveOnGround();
    if (position.x < -FIELD_LIMIT || position.x > FIELD_LIMIT) position.x = previousPosition.x;
    if (position.z < -FIELD_LIMIT || position.z > FIELD_LIMIT) position.z = previousPosition.z;

    const VornModelExHandle model = g_director->GetModel(kind);
    VornModelEx::TransformInit(model);
    // A hopper spins one radian a frame through its attack.
    if (kind == ENEMY_HOPPER && attackHit) VornModelEx::RotationX(model, -ToAngle(static_cast<double>(frame)));
    VornModelEx::RotationY(model, ToAngle(angle));
    VornModelEx::SetPosition(model, position.x, position.y, position.z);
    VornModelEx::TransformUpdate(model, animTime, true);
    if (IsDrawn()) VornModelEx::Rendering(model);

    if (condition == CONDITION_NORMAL || condition == CONDITION_ACTING) {
        CheckPlayerAttack(angle);
        CheckEnemyOverlap();
        CheckShockwave(angle);
        CheckShots();
    }

    const Enemy* target = g_director->target;
    if (target && target->spawnIndex == spawnIndex && kind != ENEMY_BOSS) {
        VornPosture posture;
        posture.RotationY(static_cast<VornAngle>((GameTime() * 50u) & 0xFFFF));
        posture.UpdateMatrices();
        const VornRect src = {256.0f, 384.0f, 128.0f, 128.0f};
        VornSprite3D::DrawSquare(g_director->GetSprite3D(1), &posture, position.x, position.y + 1.7f, position.z,
                                 1.0f, 1.0f, &src, 0xFFFFFFFF, 1);
    }
}

bool Enemy::IsDrawn() const { return (deathFrame / 2) % 2 == 0; }

bool Enemy::WalkTiming()
{
    const int32_t phase = frame % period;
    if (phase == 10) {
        condition = CONDITION_ACTING;
        SetAction(ACTION_WALK);
        return false;
    }
    if (phase == 80) {
        condition = CONDITION_NORMAL;
        SetAction(ACTION_STAND);
        return false;
    }
    return true;
}

void Enemy::WalkTowardsPlayer()
{
    if (condition == CONDITION_ACTING && action != ACTION_FLINCH) {
        position.x -= velocity.x;
        position.z -= velocity.z;
    }
}

void Enemy::ActKind0(float d)
{
    if (!attackHit && action != ACTION_FLINCH && WalkTiming() && d < 6.0f &&
        frame % period == VornMath::RandInt(0, period)) {
        attackHit = 1;
        SetAction(ACTION_ATTACK);
        Launch(VornVector3(-4.0f * velocity.x, 0.5f, -4.0f * velocity.z), 0.07f);   // a lunge
        g_director->PlaySound(SOUND_ENE_ATTACK);
    }
    ++frame;
    WalkTowardsPlayer();
}

void Enemy::ActKind1(float d)
{
    const VornVector3 p = g_player ? g_player->position : position;
    // It fires only down at a player within 15.
    if (!attackHit && action != ACTION_FLINCH && WalkTiming() && d < 15.0f && p.y < position.y &&
        frame % period == VornMath::RandInt(0, period)) {
        attackHit = 1;
        SetAction(ACTION_ATTACK);
    }
    ++frame;
    if (attackHit && animTime == 39.0f) {
        const float a = std::atan2(position.x - p.x, position.z - p.z);
        const float b = std::atan2(position.x - p.x, position.y - p.y);
        new EnemyShot(position.x, position.y, position.z, std::sin(a) * 0.1f, std::cos(b) * 0.1f,
                      std::cos(a) * 0.1f, ToAngle(angle), EnemyShot::MODE_STRAIGHT);
        g_director->PlaySound(SOUND_ENE_BUL);
    }
    WalkTowardsPlayer();
}

void Enemy::ActKind2(float d)
{
    if (!attackHit && action != ACTION_FLINCH) {
        const int32_t phase = frame % period;
        if (phase == 10) {
            condition = CONDITION_ACTING;
            SetAction(ACTION_WALK);
            Launch(VornVector3(-velocity.x, 0.5f, -velocity.z), 0.05f);   // a hop towards the player
            jumpBaseY = position.y;
        } else if (d < 8.0f && condition != CONDITION_ACTING && phase == VornMath::RandInt(0, period)) {
            attackHit = 1;
            SetAction(ACTION_ATTACK);
            Launch(VornVector3(-2.0f * velocity.x, 0.5f, -2.0f * velocity.z), 0.03f);
            g_director->PlaySound(SOUND_ENE_ATTACK);
        }
    }
    ++frame;
}

void Enemy::ActBoss(float d)
{
    if (frame > 250 && !attackHit && action != ACTION_VOLLEY) {
        const int32_t phase = frame % period;
        if (phase == 10) {
            if (d > 10.0f) {
                condition = CONDITION_ACTING;
                SetAction(ACTION_WALK);
            }
        } else if (phase == VornMath::RandInt(50, 100)) {
            condition = CONDITION_NORMAL;
            SetAction(ACTION_STAND);
            frame = 250;
        } else if (frame == 300) {
            switch (rand() & 3) {
            case 0: {
                const float py = g_player ? g_player->position.y : position.y;
                if (py < 100.0f) {
                    SetAction(ACTION_JUMP);
                    Launch(VornVector3(1.0f, 1.0f, 1.0f), py + 100.0f);   // the top of the jump
                    attackHit = 1;
                }
                break;
            }
            case 1: SetAction(ACTION_VOLLEY); break;
            case 2:
                SetAction(ACTION_CHARGE);
                attackHit = 1;
                airVelocity.x = 8.0f * velocity.x;
                airVelocity.z = 8.0f * velocity.z;
                g_director->PlaySoundLoop(SOUND_BOSS_STEP);
                break;
            default:
                SetAction(ACTION_ATTACK);
                attackHit = 1;
                break;
            }
            frame = 250;
        }
    }
    if (action == ACTION_VOLLEY) {
        if (frame % 4 == 0) {
            const float vx = VornMath::RandFloat(-0.5f, 0.5f);
            const float vy = VornMath::RandFloat(-1.0f, -0.5f);
            const float vz = VornMath::RandFloat(-0.5f, 0.5f);
            new EnemyShot(position.x, position.y, position.z, vx, vy, vz, ToAngle(angle), EnemyShot::MODE_BALLISTIC);
            g_director->PlaySound(SOUND_BOSS_BUL);
        }
        if (frame > 550) SetAction(ACTION_STAND);
    }
    WalkTowardsPlayer();
    if (action == ACTION_CHARGE && frame > 262) {
        position.x -= airVelocity.x;
        position.z -= airVelocity.z;
        if (frame > 350) {
            SetAction(ACTION_CHARGE_END);
            g_director->StopSound(SOUND_BOSS_STEP);
        }
    }
    ++frame;
}

void Enemy::Animate()
{
    bool step = true;
    switch (kind) {
    case ENEMY_WALKER:
        if (action == ACTION_STAND) {
            animTime = 0.0f;
            step = false;
        } else if (action == ACTION_WALK && animTime > 40.0f) {
            animTime = 0.0f;
        } else if (action == ACTION_ATTACK && animTime > 49.0f) {
            animTime = 49.0f;
        } else if (action == ACTION_FLINCH && animTime > 43.0f) {
            animTime = 43.0f;
        }
        break;
    case ENEMY_SHOOTER:
        if ((action == ACTION_STAND || action == ACTION_WALK) && animTime > 19.0f) {
            animTime = 0.0f;
        } else if (action == ACTION_ATTACK) {
            if (animTime > 39.0f) animSpeed = -animSpeed;
            if (animTime <= 20.0f) SetAction(ACTION_STAND);
        } else if (action == ACTION_FLINCH && animTime > 44.0f) {
            animTime = 44.0f;
        }
        break;
    case ENEMY_HOPPER:
        if (action == ACTION_STAND) {
            animTime = 0.0f;
            step = false;
        } else if (action == ACTION_WALK && animTime > 5.0f) {
            animTime = 5.0f;
        } else if (action == ACTION_ATTACK) {
            animTime = 7.0f;
        } else if (action == ACTION_FLINCH && animTime > 21.0f) {
            animTime = 21.0f;
        }
        break;
    case ENEMY_BOSS:
        switch (action) {
        case ACTION_STAND: animTime = 0.0f; step = false; break;
        case ACTION_JUMP:
        case ACTION_FLINCH: animTime = 0.0f; break;
        case ACTION_WALK:
            if (animTime > 76.0f) animTime = 17.0f;
            break;
        case ACTION_ATTACK:
            if (animTime > 15.0f) {
                animTime = 0.0f;
                ++bossSwings;
            }
            if (animTime == 7.0f) g_director->PlaySound(SOUND_BOSS_SWING);
            if (bossSwings >= 3) {
                SetAction(ACTION_STAND);
                bossSwings = 0;
            }
            break;
        case ACTION_CHARGE:
            if (animTime > 89.0f) animTime = 89.0f;
            break;
        case ACTION_CHARGE_END:
            if (animTime > 95.0f) SetAction(ACTION_STAND);
            break;
        case ACTION_VOLLEY:
            if (animTime > 7.0f) animTime = 7.0f;
            break;
        default: break;
        }
        break;
    default: break;
    }
    if (step) animTime += animSpeed;
}

void Enemy::SetAction(int8_t a)
{
    action = a;
    animSpeed = 1.0f;
    if (a != ACTION_ATTACK) attackHit = 0;
    const float start = StartTime(kind, a);
    if (start >= 0.0f) animTime = start;
    if (kind == ENEMY_BOSS && (a == ACTION_STAND || a == ACTION_WALK || a == ACTION_FLINCH))
        g_director->StopSound(SOUND_BOSS_STEP);
}

void Enemy::Launch(const VornVector3& air, float gravityOrHeight)
{
    inAir = 1;
    airVelocity = air;
    gravity = gravityOrHeight;
}

void Enemy::MoveInAir()
{
    position += airVelocity;
    if (kind == ENEMY_BOSS && action == ACTION_JUMP) {
        // Up towards the player until the jump's top, then straight down.
        if (gravity != JUMP_DONE) {
            const VornVector3 p = g_player ? g_player->position : position;
            const float a = std::atan2(position.x - p.x, position.z - p.z);
            const float b = std::atan2(position.x - p.x, position.y - gravity);
            airVelocity = VornVector3(-2.0f * std::sin(a), -2.0f * std::cos(b), -2.0f * std::cos(a));
            if (position.y > gravity) {
                airVelocity = VornVector3(0.0f, -3.0f, 0.0f);
                gravity = JUMP_DONE;
            }
        }
    } else if (airVelocity.y <= 0.8f) {
        airVelocity.y -= gravity;
    } else {
        airVelocity.y = 0.8f;
    }
    const float floor = GroundY(position) + (kind == ENEMY_BOSS ? BOSS_GROUND_OFFSET : GROUND_OFFSET);
    if (position.y < floor) {
        position.y = floor;
        inAir = 0;
        if (condition != CONDITION_DEAD) {
            SetAction(ACTION_STAND);
            condition = CONDITION_NORMAL;
            if (kind == ENEMY_BOSS) g_director->PlaySound(SOUND_BOSS_RAKKA);
        }
    }
}

void Enemy::MoveOnGround()
{
    const float ground = GroundY(position);
    if (kind == ENEMY_BOSS) {
        position.y = ground + BOSS_GROUND_OFFSET;
    } else if (kind == ENEMY_SHOOTER && condition != CONDITION_DEAD) {
        const float hover = ground + GROUND_OFFSET + velocity.y;
        if (position.y < hover)
            position.y = std::fmin(position.y + 0.1f, hover);
        else
            position.y = std::fmax(position.y - 0.1f, hover);
    } else {
        position.y = ground + GROUND_OFFSET;
    }
}

void Enemy::Die()
{
    if (deathFrame == 0 && g_director->killCount < g_director->spawnCount && g_director->target == this && g_player)
        g_player->SelectNextTarget();
    if (++deathFrame > DEATH_FRAMES) g_taskList->Kill(this);
}

void Enemy::Hit()
{
    Damage(1);
    SetAction(ACTION_FLINCH);
    new Explosion(position.x, position.y, position.z);
    g_director->PlaySound(SOUND_EXPLOS1);
}

void Enemy::CheckPlayerAttack(float a)
{
    if (!g_player) return;
    lastAttackKind = seenAttackKind;
    seenAttackKind = g_player->GetAttackKind();
    if (lastAttackKind != seenAttackKind) hitByAttack = 0;
    if (kind == ENEMY_BOSS && (action == ACTION_ATTACK || action == ACTION_CHARGE || action == ACTION_JUMP))
        hitByAttack = 1;

    const VornModelExHandle model = g_director->GetModel(kind);
    if (HitTest(g_player->GetModel(), model)) {
        const float k = condition == CONDITION_ACTING ? 2.0f : 1.0f;
        const VornVector3 pv = g_player->GetVelocity();
        position.x -= pv.x * k;
        position.z -= pv.z * k;
    }
    if (!g_player->IsAttacking() || hitByAttack || condition == CONDITION_DEAD) return;
    if (seenAttackKind < 1 || seenAttackKind > 5) return;
    if (!HitTest(g_player->GetWeaponModel(), model)) return;
    const Knock& knock = KNOCKS[seenAttackKind - 1];
    velocity.x = std::sin(a) * knock.h;
    velocity.z = std::cos(a) * knock.h;
    Launch(VornVector3(velocity.x, knock.u, velocity.z), weight - knock.lighter);
    hitByAttack = 1;
    Hit();
}

void Enemy::CheckEnemyOverlap()
{
    const float k = condition == CONDITION_ACTING ? 2.0f : 1.0f;
    for (Task* t = g_taskList->GetFirst(); t->next; t = t->next) {
        if (t == this || t->state != TASK_LIVE || t->priority != PRIORITY_ENEMY) continue;
        const VornVector3& o = static_cast<const Enemy*>(t)->position;
        if (Distance(position, o) >= 1.0f) continue;
        const float sx = std::fabs(k * velocity.x), sz = std::fabs(k * velocity.z);
        position.x += position.x >= o.x ? sx : -sx;
        position.z += position.z >= o.z ? sz : -sz;
    }
}

void Enemy::CheckShockwave(float a)
{
    if (kind == ENEMY_BOSS && attackHit) return;
    for (Task* t = g_taskList->GetFirst(); t->next; t = t->next) {
        if (t->state != TASK_LIVE || t->priority != PRIORITY_SHOCKWAVE) continue;
        if (Distance(position, static_cast<const EffectObject*>(t)->position) >= 5.0f) continue;
        velocity.x = std::sin(a);
        velocity.z = std::cos(a);
        Launch(VornVector3(velocity.x, 5.0f, velocity.z), weight);
        Hit();
    }
}

void Enemy::CheckShots()
{
    const bool boss = kind == ENEMY_BOSS;
    for (Task* t = g_taskList->GetFirst(); t->next; t = t->next) {
        if (t->state != TASK_LIVE) continue;
        float reach = 0.0f, lift = 0.0f;
        if (t->priority == PRIORITY_STRAIGHT_SHOT) {
            reach = boss ? 4.0f : 2.0f;
            lift = 5.0f;
        } else if (t->priority == PRIORITY_HOMING_SHOT && !(boss && attackHit)) {
            reach = boss ? 3.0f : 1.5f;
            lift = 3.0f;
        } else {
            continue;
        }
        if (Distance(position, static_cast<const MovingObject*>(t)->position) >= reach) continue;
        // A straight shot flies on through; a homing shot is spent on its first hit.
        if (t->priority == PRIORITY_HOMING_SHOT) g_taskList->Kill(t);
        Launch(VornVector3(velocity.x, lift, velocity.z), weight);
        Hit();
    }
}

EnemyShot::EnemyShot(float x, float y, float z, float vx, float vy, float vz, int32_t a, int32_t mode)
{
    g_taskList->Add(this, PRIORITY_ENEMY_SHOT);
    position = VornVector3(x, y, z);
    velocity = VornVector3(vx, vy, vz);
    angle = a;
    hp = mode;
}

EnemyShot::~EnemyShot() { g_taskList->Kill(this); }

void EnemyShot::Run()
{
    position -= velocity;
    VornPosture posture;
    posture.RotationY(angle);
    posture.UpdateMatrices();
    const VornRect src = {static_cast<float>((frame % 2) * 128), 256.0f, 128.0f, 128.0f};
    VornSprite3D::DrawSquare(g_director->GetSprite3D(1), &posture, position.x, position.y, position.z, 1.0f, 1.0f,
                             &src, 0xFFFFFFFF, 1);
    ++frame;
    if (hp == MODE_BALLISTIC) {
        if (velocity.y <= 0.8f)
            velocity.y += 0.04f;
        else
            velocity.y = 0.8f;
        if (position.y < GroundY(position)) g_taskList->Kill(this);
    } else if (frame >= SHOT_LIFE) {
        g_taskList->Kill(this);
    }
}
