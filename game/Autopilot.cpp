#include "Autopilot.h"
#include "Enemy.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Player.h"
#include "Task.h"
#include <cmath>

namespace {

constexpr uint32_t kUp = 1u << 0, kDown = 1u << 1, kLeft = 1u << 2, kRight = 1u << 3;
constexpr uint32_t kZ = 1u << 4, kX = 1u << 5, kC = 1u << 6;

float Flat(const VornVector3& a, const VornVector3& b)
{
    const float dx = a.x - b.x, dz = a.z - b.z;
    return std::sqrt(dx * dx + dz * dz);
}

float Full(const VornVector3& a, const VornVector3& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// What the bot sees around the player this frame.
struct View {
    int living = 0;
    bool shotNear = false;   // an enemy bullet about to reach the player
    bool lunger = false;     // a walker or hopper attacking close by
};

View Look(const Player* p)
{
    View v;
    for (Task* t = g_taskList->GetFirst(); t && t->state != TASK_SENTINEL; t = t->next) {
        if (t->state != TASK_LIVE) continue;
        const MovingObject* m = static_cast<const MovingObject*>(t);
        if (t->priority == PRIORITY_ENEMY_SHOT) {
            // Where the bullet will be a few frames on (it moves by minus its velocity).
            const VornVector3 ahead = m->position - m->velocity * 6.0f;
            if (Full(ahead, p->position) < 3.5f || Full(m->position, p->position) < 3.0f) v.shotNear = true;
        } else if (t->priority == PRIORITY_ENEMY) {
            const Enemy* e = static_cast<const Enemy*>(t);
            if (e->IsDead() == CONDITION_DEAD) continue;
            ++v.living;
            if (e->IsAttackHit() && e->GetKind() != ENEMY_SHOOTER && e->GetKind() != ENEMY_BOSS &&
                Flat(e->position, p->position) < 4.0f)
                v.lunger = true;
        }
    }
    return v;
}

}  // namespace

uint32_t AutopilotPad(uint32_t frame)
{
    static bool started = false;   // one game: back at the title the bot lets go
    const bool even = frame % 2 == 0;
    if (!g_director || !g_taskList) return 0;
    const int8_t scene = g_director->GetScene();
    if (scene == SCENE_TITLE) return started || !even ? 0 : kZ;
    started = true;
    Player* p = g_player;
    if (!p || scene != SCENE_PLAY || p->condition == CONDITION_DEAD) return 0;

    const View view = Look(p);
    const bool idle = p->animation == PLAYER_STAND || p->animation == PLAYER_WALK || p->animation == PLAYER_DASH;
    const bool grounded = !p->inAir;
    const bool jump = even && grounded && idle;

    Enemy* t = g_director->target;
    if (!t || t->IsDead() == CONDITION_DEAD) {
        if (view.living > 0) return even ? kC : 0;
        return (view.shotNear && jump) ? kX : 0;
    }
    const float dist = Flat(t->position, p->position);
    const uint32_t toward = p->side < 0 ? kRight : kLeft, away = p->side < 0 ? kLeft : kRight;

    if (t->GetKind() == ENEMY_BOSS) {
        // Kept at range, homing shots; bullets and the boss's own attacks are jumped.
        if ((view.shotNear || (t->IsAttackHit() && dist < 8.0f)) && jump) return kX | away;
        if (!grounded) return away;
        if (!idle) return 0;
        if (dist < 12.0f) return away;
        if (dist > 16.0f) return toward;
        return kUp | (even ? kZ : 0);
    }
    // In the air: the downward attack once past the top of the jump; its landing sends a
    // shockwave through everything near.
    if (!grounded) {
        if (p->animation == PLAYER_DOWN_ATTACK || p->attackKind != ATTACK_NONE) return 0;
        if (p->airVelocity.y < 0.1f) return kDown | (even ? kZ : 0);
        return dist > 1.0f ? toward : 0;
    }
    if (!idle) return 0;
    if (view.shotNear || view.lunger) return even ? kX : toward;
    if (dist > 2.5f) return toward;
    return even ? kX : 0;
}
