#include "Enemy.h"
#include "GameDirector.h"
#include "Task.h"
#include "VornEngine.h"

uint8_t bossSwings = 0;

Enemy::Enemy(const VornVector3& p, int32_t k)
{
    position = p;
    kind = static_cast<int8_t>(k);
    g_taskList->Add(this, PRIORITY_ENEMY);
}

Enemy::~Enemy() { g_taskList->Kill(this); }

void Enemy::Run() {}
void Enemy::ActKind0(float) {}
void Enemy::ActKind1(float) {}
void Enemy::ActKind2(float) {}
void Enemy::ActBoss(float) {}
void Enemy::Animate() {}
void Enemy::SetAction(int8_t a) { action = a; }
void Enemy::Launch(const VornVector3& air, float g)
{
    inAir = 1;
    airVelocity = air;
    gravity = g;
}
void Enemy::MoveInAir() {}
void Enemy::MoveOnGround() {}
void Enemy::Die() {}
void Enemy::CheckPlayerAttack(float) {}
void Enemy::CheckEnemyOverlap() {}
void Enemy::CheckShockwave(float) {}
void Enemy::CheckShots() {}

EnemyShot::EnemyShot(float x, float y, float z, float vx, float vy, float vz, int32_t a, int32_t mode)
{
    position = VornVector3(x, y, z);
    velocity = VornVector3(vx, vy, vz);
    angle = a;
    hp = mode;
    g_taskList->Add(this, PRIORITY_ENEMY_SHOT);
}

EnemyShot::~EnemyShot() { g_taskList->Kill(this); }

void EnemyShot::Run() {}
