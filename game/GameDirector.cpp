#include "GameDirector.h"
#include "GameMain.h"
#include <cstring>

GameDirector* g_director = nullptr;
float letterHeights[8] = {};
float clearY = -480.0f;
int32_t clearAngle = 0;

GameDirector::GameDirector()
{
    memset(&g_input, 0, sizeof g_input);
    for (auto& h : textures) h = VORN_INVALID_HANDLE;
    for (auto& h : sprites) h = VORN_INVALID_HANDLE;
    for (auto& h : sprites3D) h = VORN_INVALID_HANDLE;
    for (auto& h : models) h = VORN_INVALID_HANDLE;
    for (auto& h : sounds) h = VORN_INVALID_HANDLE;
    g_taskList->Add(this, PRIORITY_DIRECTOR);
}

GameDirector::~GameDirector()
{
    g_taskList->Kill(this);
    if (g_director == this) g_director = nullptr;
}

void GameDirector::Run() {}
void GameDirector::SetScene(int8_t s) { scene = s; }
void GameDirector::PlaySound(int8_t) {}
void GameDirector::PlaySoundLoop(int8_t) {}
void GameDirector::StopSound(int8_t) {}
void GameDirector::StartCaption() {}
void GameDirector::ResetGame() {}
void GameDirector::LoadJingle(const char*) {}
void GameDirector::LoadBgm(const char*) {}
void GameDirector::ResetBatches() {}
void GameDirector::ForgetEnemy(const Enemy* enemy)
{
    if (target == enemy) target = nullptr;
}
