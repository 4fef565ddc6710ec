// The game's entry functions (GameInit, GameMain, GameMessageHook are declared in Vorn.h) and its
// latched input.
#pragma once
#include <cstdint>

// The pad bits the game reads, latched once per frame, and the player's dash counters.
struct GameInput {
    bool pushZ;      // virtual button 4 pressed this frame
    bool pushX;      // button 5
    bool pushC;      // button 6
    bool holdUp;     // button 0 held (down this frame and the one before)
    bool holdDown;   // button 1
    bool holdLeft;   // button 2
    bool holdRight;  // button 3
    int32_t pressFrames;
    int32_t releaseFrames;
};
static_assert(sizeof(GameInput) == 16, "the input block is 16 bytes");

extern GameInput g_input;

// Pad 0's keys and joystick buttons (once, after the engine started).
void MapPadInput();
void LatchInput();
