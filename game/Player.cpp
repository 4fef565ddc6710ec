#include "Player.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Task.h"

Player* g_player = nullptr;
float animTime = 1.0f;
float animSpeed = 1.0f;

Player::Player(float x, float y, float z)
{
    position = VornVector3(x, y, z);
    velocity = VornVector3(0.0f, 0.8f, 0.0f);
    hp = 20;
    g_taskList->Add(this, PRIORITY_PLAYER);
    g_player = this;
}

Player::~Player()
{
    g_taskList->Kill(this);
    if (g_player == this) g_player = nullptr;
}

void Player::Run() {}
void Player::Move() {}
void Player::ResolveAttack() {}
void Player::SetAction(int32_t, const VornVector3&, float) {}
void Player::MoveInAir() {}
void Player::StandOnGround() {}
void Player::SelectNextTarget() {}
void Player::SetAnimation(int8_t) {}
void Player::CheckEnemyContact() {}
void Player::CheckEnemyShotContact() {}
VornVector3 Player::GetTargetPosition() { return lastTargetPosition; }
void Player::TakeHit() {}
void Player::DrawModels() {}
