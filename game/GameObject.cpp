#include "GameObject.h"
#include "Enemy.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "VornEngine.h"

void MovingObject::Damage(int32_t n)
{
    hp -= n;
    if (hp > 0) return;
    // A second hit on an object that is already dying counts nothing.
    if (condition == CONDITION_DEAD) return;
    condition = CONDITION_DEAD;
    if (priority != PRIORITY_ENEMY || !g_director) return;

    ++g_director->killCount;
    --g_director->aliveCount;
    TraceKill(g_director->killCount);
    const int32_t waves = VornMath::RandInt(1, 5);
    if (g_director->killCount == BOSS_KILL_COUNT) {
        new Enemy(VornVector3(10.0f, 200.0f, 30.0f), ENEMY_BOSS);
        return;
    }
    for (int32_t i = 0; i < waves; ++i) {
        if (g_director->spawnCount > WAVE_SPAWN_LIMIT || g_director->aliveCount >= WAVE_ALIVE_LIMIT) continue;
        const int32_t kind = VornMath::RandInt(0, 2);
        const float z = VornMath::RandFloat(-50.0f, 50.0f);
        const float x = VornMath::RandFloat(-50.0f, 50.0f);
        new Enemy(VornVector3(x, 0.0f, z), kind);
    }
}

bool MovingObject::HitTest(VornModelExHandle a, VornModelExHandle b)
{
    VornBox boxes[2];
    const VornModelExHandle models[2] = {a, b};
    for (int i = 0; i < 2; ++i) {
        VornMatrix matrix;
        VornVector3 lo(0.0f, 0.0f, 0.0f), hi(0.0f, 0.0f, 0.0f);
        VornModelEx::GetMeshMatrix(models[i], &matrix, 0);
        VornModelEx::GetBoundingBox(models[i], 0, &lo, &hi);
        VornMath::TransformBox(&boxes[i], lo, hi, matrix);
    }
    return VornMath::CollisionBoxBox(boxes[0], boxes[1]);
}
