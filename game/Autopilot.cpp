#include "Autopilot.h"
#include "Enemy.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Player.h"
#include "StageField.h"
#include "Task.h"
#include "Title.h"
#include <cmath>

// The bot hovers: kinds 0 and 2 cannot reach a player more than about 6.5 above the ground, and a
// kind 1 fires only at a player below it. From up there it fires homing shots at the nearest
// enemy, a new jump (X) cancelling the rest of each shot's animation once the shot is out. It
// dashes before its first jump and stays up (it lands only while the boss's entry holds the
// controls), so it keeps the dash's pace in the air. The boss is fought from 16-21 away.

namespace {

constexpr uint32_t kUp = 1u << 0, kLeft = 1u << 2, kRight = 1u << 3;
constexpr uint32_t kZ = 1u << 4, kX = 1u << 5, kC = 1u << 6;

constexpr float kHoverLow = 8.0f;    // above the ground under the player
constexpr float kHoverHigh = 12.0f;

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

bool Living(const Task* t)
{
    return t->state == TASK_LIVE && t->priority == PRIORITY_ENEMY &&
           static_cast<const Enemy*>(t)->IsDead() != CONDITION_DEAD;
}

struct View {
    Enemy* nearest = nullptr;
    float nearestDist = 1e9f;
    float floor = 0.0f;       // the lowest safe height (world y)
    bool shotNear = false;    // an enemy bullet reaches the player within a few frames
};

View Look(const Player* p)
{
    View v;
    v.floor = GroundY(p->position) + kHoverLow;
    for (Task* t = g_taskList->GetFirst(); t && t->state != TASK_SENTINEL; t = t->next) {
        if (t->state != TASK_LIVE) continue;
        const MovingObject* m = static_cast<const MovingObject*>(t);
        if (t->priority == PRIORITY_ENEMY_SHOT) {
            VornVector3 at = m->position, vel = m->velocity;
            for (int k = 0; k < 8; ++k) {
                if (Full(at, p->position) < 2.6f) v.shotNear = true;
                at -= vel;
                if (m->hp == EnemyShot::MODE_BALLISTIC) vel.y = vel.y <= 0.8f ? vel.y + 0.04f : 0.8f;
            }
        } else if (Living(t)) {
            Enemy* e = static_cast<Enemy*>(t);
            const float d = Flat(e->position, p->position);
            if (d < v.nearestDist) {
                v.nearestDist = d;
                v.nearest = e;
            }
            if (e->GetKind() == ENEMY_SHOOTER && d < 20.0f && e->position.y + 1.5f > v.floor)
                v.floor = e->position.y + 1.5f;
        }
    }
    return v;
}

// One frame's buttons from what the bot sees.
uint32_t Decide(uint32_t frame)
{
    static bool started = false;   // one game: back at the title the bot lets go
    static uint32_t prev = 0;      // last frame's buttons: a trigger needs a release between presses
    static uint32_t dashFrame = 0;
    uint32_t out = 0;
    auto press = [&](uint32_t bit) {
        if (!(prev & bit)) out |= bit;
    };

    if (!g_director || !g_taskList) return prev = 0;
    const int8_t scene = g_director->GetScene();
    if (scene == SCENE_TITLE) {
        // Z once the title asks for it, as a player would.
        const Task* t = g_taskList->GetFirst();
        if (!started && t && t->priority == PRIORITY_TITLE && static_cast<const Title*>(t)->frame > TITLE_PROMPT_FRAME)
            press(kZ);
        return prev = out;
    }
    started = true;
    Player* p = g_player;
    if (!p) return prev = 0;
    if (scene != SCENE_PLAY || p->condition == CONDITION_DEAD) return prev = 0;

    const View view = Look(p);
    Enemy* t = g_director->target;
    const bool targetLive = t && t->IsDead() != CONDITION_DEAD;
    // Keep the nearest enemy as the target when the current one is much farther.
    if (view.nearest && view.nearest != t &&
        (!targetLive || Flat(t->position, p->position) > view.nearestDist + 4.0f))
        press(kC);
    const VornVector3 aim = targetLive ? t->position : (view.nearest ? view.nearest->position : p->position);
    const float dist = Flat(aim, p->position);
    const uint32_t toward = p->side < 0 ? kRight : kLeft, away = p->side < 0 ? kLeft : kRight;

    if (!p->inAir) {
        // A dash first (two taps), then up.
        if (!p->dashing) {
            const uint32_t k = (frame - dashFrame) % 8;
            if (frame - dashFrame > 16) dashFrame = frame;
            if (k < 3 || k > 6) out |= dist > 3.0f ? toward : away;
            return prev = out;
        }
        press(kX);
        return prev = out | kUp | (dist > 3.0f ? toward : away);
    }

    out |= kUp;
    const float y = p->position.y;
    const bool homing = p->animation == PLAYER_HOMING_SHOT;
    const bool shotOut = homing && animTime >= 240.0f;   // this shot is flying
    const bool free = p->attackKind == ATTACK_NONE;        // jump or fall: it can move
    const bool distant = !targetLive || dist > 14.0f;

    if (view.shotNear || y < view.floor - 1.0f) {
        // Up now (a jump cancels a shot not yet out).
        if (!homing || shotOut || y < view.floor - 3.0f) press(kX);
    }
    // The boss's jump climbs two a frame towards the player, and from above it drops straight
    // down where the player was: the bot moves off on both.
    uint32_t move = distant ? toward : 0;
    bool urgent = false;
    if (targetLive && t->GetKind() == ENEMY_BOSS) {
        const bool jumping = t->action == ACTION_JUMP && t->IsAttackHit();
        move = dist > 21.0f ? toward : dist < 16.0f ? away : 0;
        if (jumping && (t->position.y < y + 3.0f ? dist < 20.0f : dist < 10.0f)) {
            move = away;
            urgent = true;
        }
    }
    if (move) {
        if (free) out |= move;
        else if (homing && (shotOut || urgent)) {
            press(kX);   // the jump ends the shot's animation: it moves this frame
            out |= move;
        }
        if (y < view.floor && (!homing || shotOut)) press(kX);
        return prev = out;
    }
    if (homing) {
        if (shotOut && y < view.floor + 2.0f) {
            press(kX);
            press(kZ);
        }
    } else if (y < kHoverHigh + GroundY(p->position)) {
        press(kZ);
    } else if (free && dist > 8.0f) {
        out |= toward;
    }
    return prev = out;
}

}  // namespace

// The pad is read more than once a frame: one decision per frame.
uint32_t AutopilotPad(uint32_t frame)
{
    static uint32_t lastFrame = ~0u, lastPad = 0;
    if (frame != lastFrame) {
        lastFrame = frame;
        lastPad = Decide(frame);
    }
    return lastPad;
}
