#include "GameDirector.h"
#include "GameMain.h"
#include <cstring>

GameDirector* g_director = nullptr;

GameDirector::GameDirector()
{
    memset(&g_input, 0, sizeof g_input);
    g_taskList->Add(this, PRIORITY_DIRECTOR);
}

GameDirector::~GameDirector()
{
    g_taskList->Kill(this);
    if (g_director == this) g_director = nullptr;
}

void GameDirector::Run()
{
    // Scene work, then the flush of every batch the other tasks filled this frame.
}
