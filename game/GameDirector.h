// The game director: the last task of every frame. It keeps the game's counters and its scene.
// (Its shared resources, HUD, captions and camera join it with the director's own work.)
#pragma once
#include "Task.h"
#include <cstdint>

enum GameScene : int8_t {
    SCENE_TITLE = 0,
    SCENE_PLAY = 1,
    SCENE_BOSS_ENTRY = 2,
    SCENE_GAME_OVER = 3,
    SCENE_CLEAR = 4,
};

class GameDirector : public Task {
public:
    GameDirector();
    ~GameDirector() override;
    void Run() override;

    int8_t GetScene() const { return scene; }
    void SetScene(int8_t s) { scene = s; }

    int8_t scene = SCENE_TITLE;
    int32_t killCount = 0;
    int32_t spawnCount = 0;
    int32_t aliveCount = 0;
};

extern GameDirector* g_director;
