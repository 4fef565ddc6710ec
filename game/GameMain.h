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

// Before the engine starts: the data pack opens and its directory reads; otherwise a box names the
// file, missing or damaged, the game ends with exit code 1, and this returns false.
bool CheckGameData();

// GameMain's parts, shared with the game benchmark: the world once the engine has started (device
// states, pad map, test seam, pack, task list, director, title, stage), one frame of it (clear,
// input, every task, present), and its end.
void StartGameWorld();
void RunGameFrame();
void EndGameWorld();

// Pad 0's keys and joystick buttons (once, after the engine started).
void MapPadInput();
// Z, X and C push on the frame of their press. A key pressed and released between two updates of
// the pad (a frame that loads lasts long enough) never shows in the pad's state, so the keyboard's
// event buffer is read after each read of the devices and every press of Z, X or C it holds
// pushes at the next latch. Not while the test seam replays or records the pad.
void NoteTypedKey(int32_t key);
void LatchInput();

// The test seam (inert in play; VORN_GAME_TEST configures it, read once by GameMain).
// The game's clock: timeGetTime in play, a frame count under the seam so seeded replays agree.
// Game code reads the time only through this.
uint32_t GameTime();
// Frames since GameMain's loop began.
uint32_t GameFrame();
// Trace lines, one per event with its frame ("<frame> scene <n>", "<frame> hit <hp>",
// "<frame> kill <count>"): the director traces scene changes, the player calls TraceHit after each
// hit it takes (hp after the hit), MovingObject::Damage calls TraceKill on each enemy kill.
void TraceScene(int32_t scene);
void TraceHit(int32_t hp);
void TraceKill(int32_t killCount);
// Frame events the seam's timing keeps apart (a shot fired, the jingle swapped) for this frame.
enum FrameEvent : uint32_t { FRAME_EVENT_SHOT = 1, FRAME_EVENT_JINGLE = 2 };
void NoteFrameEvent(uint32_t event);
