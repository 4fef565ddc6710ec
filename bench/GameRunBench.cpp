// The game as a player meets it, the real Tormea.exe in a process of its own: the time from its
// start to its window, to its first presented frame and to the title's, the frame that starts the
// game (the player loads) and the first frame of play after it, the longest frame of a scripted
// game (the player walks into the enemies firing straight and homing shots until the game is over,
// and the title swaps its jingle again), and the time from Escape to the process's end. Each
// against its goal on a quiet machine; the game's own seam reports its side ("timing").
#include "BenchClock.h"
#include <windows.h>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kWindowToPictureGoal = 1.5;   // s from the window's opening to a picture in it
constexpr double kShotFrameGoalMs = 25.0;
constexpr double kStartFrameGoalMs = 100.0;    // the frame in which Z starts a game
constexpr double kFirstPlayFrameGoalMs = 25.0;   // the frame after it: an ordinary one
constexpr double kJingleFrameGoalMs = 50.0;
constexpr double kExitGoal = 2.0;              // s from Escape to the process's end
constexpr uint32_t kPadFrames = 60000;

// Pad bits of the replay: up 0, down 1, right 3, Z 4. An arrow counts as held from its second
// frame, so it goes down a frame before the Z that fires.
uint32_t PadAt(uint32_t frame)
{
    if (frame < 30) return 0;
    if (frame < 32) return 1u << 4;                                   // Z starts the game
    const uint32_t phase = frame % 120;
    if (phase == 39 || phase == 40) return 1u << 1 | (phase == 40 ? 1u << 4 : 0);    // a straight shot
    if (phase == 99 || phase == 100) return 1u << 0 | (phase == 100 ? 1u << 4 : 0);  // a homing shot
    return phase < 30 || (phase > 60 && phase < 90) ? 1u << 3 : 0;   // walk towards the target
}

// The replay as a PAD file: per frame the trigger, release, hold and repeat masks of track 0.
bool WritePad(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    const uint32_t head[2] = {1, kPadFrames};
    bool ok = fwrite("PAD", 1, 4, f) == 4 && fwrite(head, 4, 2, f) == 2;
    uint32_t previous = 0;
    for (uint32_t i = 0; ok && i < kPadFrames; ++i) {
        const uint32_t now = PadAt(i);
        const uint32_t masks[4] = {now & ~previous, previous & ~now, previous & now, 0};
        ok = fwrite(masks, 4, 4, f) == 4;
        previous = now;
    }
    return fclose(f) == 0 && ok;
}

struct Found {
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM data)
{
    Found* found = reinterpret_cast<Found*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != found->process || !IsWindowVisible(window)) return TRUE;
    found->window = window;
    return FALSE;
}

HWND WindowOf(DWORD process)
{
    Found found = {process, nullptr};
    EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

std::string ReadText(const std::string& path)
{
    std::string text;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
        fclose(f);
    }
    return text;
}

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

}  // namespace

int main()
{
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = n > 0 && n < MAX_PATH ? strrchr(path, '\\') : nullptr;
    if (!slash) return 1;
    const std::string benchDir(path, slash + 1);
    const std::string binDir = benchDir + "..\\bin\\";
    const std::string pad = benchDir + "game_run.pad", trace = benchDir + "game_run.trace";
    if (!WritePad(pad)) {
        printf("game run bench: cannot write %s\n", pad.c_str());
        return 1;
    }
    DeleteFileA(trace.c_str());
    const std::string seam = "VORN_GAME_TEST=seed=3;timing;replay=" + pad + ";trace=" + trace;
    _putenv(seam.c_str());

    // The game's standard output (the seam's figures) through a pipe.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16)) return 1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION child = {};
    std::string command = "\"" + binDir + "Tormea.exe\"";
    const double start = Now();
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, binDir.c_str(), &startup, &child)) {
        printf("game run bench: Tormea.exe did not start (%lu); build it first\n", GetLastError());
        return 1;
    }
    CloseHandle(writeEnd);

    // The window, then the scripted game until the title is back after the game over and has
    // swapped its jingle (its frame 100).
    double windowAt = -1.0;
    HWND window = nullptr;
    bool over = false, done = false;
    const double limit = start + 600.0;
    while (!done && Now() < limit && WaitForSingleObject(child.hProcess, windowAt < 0 ? 1 : 200) == WAIT_TIMEOUT) {
        if (!window && (window = WindowOf(child.dwProcessId)) != nullptr) windowAt = Now() - start;
        const std::string t = ReadText(trace);
        over = over || t.find(" scene 3") != std::string::npos;
        done = over && t.find(" scene 0", t.find(" scene 3")) != std::string::npos;
    }
    if (done) Sleep(3000);   // the title's frame 100
    double exitTime = -1.0;
    if (window && WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT) {
        const double escape = Now();
        PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
        if (WaitForSingleObject(child.hProcess, 60000) == WAIT_OBJECT_0) exitTime = Now() - escape;
    }
    if (WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(child.hProcess, 1);
    std::string output;
    char buffer[4096];
    for (DWORD got = 0; ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0;) output.append(buffer, got);
    CloseHandle(readEnd);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);

    double firstFrame = -1.0, titleFrame = -1.0, longest = -1.0, shot = -1.0, jingle = -1.0, startFrame = -1.0,
           firstPlay = -1.0;
    unsigned longestFrame = 0, shotFrame = 0, jingleFrame = 0;
    int longestScene = -1;
    const size_t at = output.find("seam timing:");
    const bool parsed =
        at != std::string::npos &&
        sscanf(output.c_str() + at,
               "seam timing: first frame presented %lf s after the process started, the title's %lf s; longest frame"
               " %lf ms (frame %u, scene %d); with a shot fired %lf ms (frame %u); with a jingle swap %lf ms (frame"
               " %u); the first game's start %lf ms, its first frame of play %lf ms",
               &firstFrame, &titleFrame, &longest, &longestFrame, &longestScene, &shot, &shotFrame, &jingle,
               &jingleFrame, &startFrame, &firstPlay) == 11;
    printf("game run bench: Tormea.exe from its start to Escape, a scripted game with shots and a game over (seed 3,"
           " 60 frames a second)\n");
    if (!parsed || !done || windowAt < 0.0 || exitTime < 0.0) {
        printf("  the run did not complete (window %s, game over and title %s, exit %s, seam figures %s)\n",
               windowAt < 0.0 ? "missing" : "seen", done ? "seen" : "missing", exitTime < 0.0 ? "missing" : "seen",
               parsed ? "read" : "missing");
        return 1;
    }
    const double picture = firstFrame - windowAt, title = titleFrame - windowAt;
    printf("  window opened %.2f s after the start; first frame presented %.2f s after the start, %.2f s after the"
           " window\n  opened: goal <= %.1f s: %s\n", windowAt, firstFrame, picture, kWindowToPictureGoal,
           Verdict(picture <= kWindowToPictureGoal));
    printf("  the title's first frame (every shader of play prepared before it) %.2f s after the window opened:"
           " goal <= %.1f s: %s\n", title, kWindowToPictureGoal, Verdict(title <= kWindowToPictureGoal));
    printf("  the frame in which Z starts the game (the player loads): %.1f ms: goal <= %.0f ms: %s\n", startFrame,
           kStartFrameGoalMs, Verdict(startFrame <= kStartFrameGoalMs));
    printf("  the first frame of play after it: %.1f ms: goal <= %.0f ms: %s\n", firstPlay, kFirstPlayFrameGoalMs,
           Verdict(firstPlay <= kFirstPlayFrameGoalMs));
    printf("  longest frame of the game: %.1f ms (frame %u, scene %d)\n", longest, longestFrame, longestScene);
    printf("  longest frame firing a shot: %.1f ms (frame %u): goal <= %.0f ms: %s\n", shot, shotFrame,
           kShotFrameGoalMs, Verdict(shot <= kShotFrameGoalMs));
    printf("  longest frame swapping the jingle (a title made after the game over is one): %.1f ms (frame %u):"
           " goal <= %.0f ms: %s\n", jingle, jingleFrame,
           kJingleFrameGoalMs, Verdict(jingle <= kJingleFrameGoalMs));
    printf("  Escape to the process's end: %.2f s: goal <= %.1f s: %s\n", exitTime, kExitGoal,
           Verdict(exitTime <= kExitGoal));
    return 0;
}
