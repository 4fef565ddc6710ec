// The game's test seam: one environment variable, VORN_GAME_TEST, read once before the engine
// starts. Absent (play), nothing here acts. Present, it holds entries separated by ';':
//   seed=N          srand(N) in place of the time
//   replay=FILE     the PAD file replayed on pad 0 track 0 from the first frame
//   record=FILE     pad 0 recorded on track 0 and saved to FILE at exit
//   log=NAME        the engine's log in NAME.html
//   nowait          no pause while the window is inactive (another window has the focus)
//   fast            no frame-rate limit: frames follow each other as fast as they are made
//   trace=FILE      one line per scene change, player hit and kill: "<frame> scene|hit|kill <n>",
//                   and "<frame> tick 0" every 60 frames (how far the game is between events)
//   png=PREFIX:F,F  the back buffer at frames F (before Present) as PREFIX_<F>.png; F is a frame,
//                   or sN+K: K frames after the last change to scene N (PREFIX_sN+K.png)
//   reset=F         a forced device reset (Vorn3D::ResetDevice(true)) after frame F's Present,
//                   traced as "F reset 1" when the device came back (0 when it did not)
//   quit=F          the application ends after frame F
//   kills=N         a game starts with N kills counted and N more enemies spawned, as near its end
//   autopilot       a joystick on pad 0 that plays the game (walks, combos, targets, shoots)
//   timing          at the end prints to stdout when the first (cleared) frame and the title's first
//                   frame were presented after the process started, the longest frame: of all, of
//                   those that fired a shot and of those that swapped the jingle, and the first
//                   game's frames: the one that started it (the player loads) and the next; then
//                   every scene change with the time of the frame that made it
//   bench=N         starts a game and keeps its busiest scene (20 enemies in view, five explosions,
//                   a shockwave, trails, dust, a volley) for N frames, then prints the frame times
//                   (task run and Present) and the triangles a frame, and ends
// Under the seam the game's clock is the frame count, the start-up question is not asked
// (windowed), and a second instance is not refused (seeded runs go side by side).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct TestSeam {
    bool active = false;
    bool seeded = false;
    uint32_t seed = 0;
    std::string replay, record, log, trace, pngPrefix;
    bool noWait = false;
    bool fast = false;
    bool autopilot = false;
    bool timing = false;
    struct Shot {
        int32_t scene;   // -1: an absolute frame
        uint32_t frame;
        std::string name;
    };
    std::vector<Shot> pngFrames;
    int64_t resetFrame = -1;
    int64_t quitFrame = -1;
    int64_t startKills = 0;
    int64_t benchFrames = 0;

    // Parses the variable's text; false with a reason for an entry it does not know.
    bool Parse(const char* text, std::string* error);
};

extern TestSeam g_seam;

// Reads VORN_GAME_TEST (GameInit).
void ReadTestSeam();
// After the engine started and the first (cleared) frame was presented: the pad recorder, the
// autopilot, the trace file.
void StartTestSeam();
// Each frame, after the input latch and before the task run: the benchmark's scene.
void SeamBeforeRun(uint32_t frame);
// Each frame, between EndScene and Present: PNGs of the back buffer.
void SeamBeforePresent(uint32_t frame);
// After Present: the forced reset, the end of the run.
void SeamAfterPresent(uint32_t frame);
// Before teardown: the recording saved, the trace closed.
void EndTestSeam();
// The back buffer as a PNG file (24-bit, rows top first).
bool SaveBackBufferPng(const char* path);
// Autopilot's pad for this frame: bit i = virtual button i, from the game's state.
uint32_t AutopilotButtons(uint32_t frame);
