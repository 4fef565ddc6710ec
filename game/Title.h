// The title screen: pictures sliding in, the opening jingles, and Z to start a game.
#pragma once
#include "Task.h"
#include "VornEngine.h"
#include <cstdint>

// From the frame after this one the title shows its prompt, "PUSH Z KEY or BUTTON 1".
constexpr int32_t TITLE_PROMPT_FRAME = 180;

class Title : public Task {
public:
    Title();
    ~Title() override;
    void Run() override;

    VornTextureHandle texture = VORN_INVALID_HANDLE;
    VornFontHandle font = VORN_INVALID_HANDLE;
    int32_t frame = 0;
    float logoX = -160.0f;
    float subX = 640.0f;

private:
    void StartGame();
};
