// The game as a player meets it, the real Tormea.exe in processes of its own. First a scripted
// game: the time from its start to its window, to its first presented frame and to the title's,
// the frame that starts the game (the player loads) and the first frame of play after it, the
// player walking into the enemies firing straight and homing shots until the game is over, and
// the title swapping its jingle again. Then a fight of the seam's autopilot from 36 kills on: the
// boss's entry, the clear and the title after it, with the mix recorded from the null sink and its
// clipped samples counted. For both: every scene change's frame, the longest frame with its number
// and scene, and the time from Escape to the process's end. Each against its goal on a quiet
// machine; the game's own seam reports its side ("timing").
#include "BenchClock.h"
#include <windows.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr double kWindowToPictureGoal = 1.5;   // s from the window's opening to a picture in it
constexpr double kShotFrameGoalMs = 25.0;
constexpr double kStartFrameGoalMs = 100.0;    // the frame in which Z starts a game
constexpr double kFirstPlayFrameGoalMs = 25.0;   // the frame after it: an ordinary one
constexpr double kJingleFrameGoalMs = 50.0;
constexpr double kFrameGoalMs = 50.0;          // a scene change's frame, the boss's entry, any frame
constexpr double kExitGoal = 2.0;              // s from Escape to the process's end
constexpr uint32_t kPadFrames = 60000;
constexpr int kRecordSeconds = 50;             // of the fight: the title, three enemies, the boss's entry
// Pad bits of the replay: up 0, down 1, right 3, Z 4. An arrow counts as held from its second
// frame, so it goes down a frame before the Z that fires.
uint32_t PadAt(uint32_t frame)
{
    if (frame < 200) return 0;
    if (frame < 202) return 1u << 4;   // Z starts the game once the title asks for it (frame 181)
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

// One run of the game: its standard output (the seam's figures), when its window opened, whether
// its trace reached the end asked for, and how long it took to end after Escape.
struct Run {
    std::string output;
    double windowAt = -1.0, exitTime = -1.0;
    bool done = false;
};

// Mesa's shader cache, when the run keeps one (`vorn bench` does, as a player's machine would), is
// emptied before each game, so every run is a first launch. Says which it was.
const char* EmptyShaderCache()
{
    char dir[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("MESA_SHADER_CACHE_DIR", dir, MAX_PATH);
    char off[16];
    const DWORD offLength = GetEnvironmentVariableA("MESA_SHADER_CACHE_DISABLE", off, sizeof off);
    if (length == 0 || length >= MAX_PATH || dir[0] != '/' || (offLength > 0 && strcmp(off, "false") != 0))
        return "no shader cache";
    std::error_code error;
    std::filesystem::remove_all(std::string("Z:") + dir, error);   // Wine's Z: is the Unix root
    return error ? "SHADER CACHE NOT EMPTIED" : "shader cache empty";
}

Run RunGame(const std::string& binDir, const std::string& seam, const std::string& trace,
            bool (*done)(const std::string&), DWORD settle)
{
    Run run;
    DeleteFileA(trace.c_str());
    const std::string variable = "VORN_GAME_TEST=" + seam + ";timing;trace=" + trace;
    _putenv(variable.c_str());
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16)) return run;
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
        CloseHandle(readEnd);
        CloseHandle(writeEnd);
        return run;
    }
    CloseHandle(writeEnd);
    HWND window = nullptr;
    const double limit = start + 600.0;
    while (!run.done && Now() < limit &&
           WaitForSingleObject(child.hProcess, run.windowAt < 0 ? 1 : 200) == WAIT_TIMEOUT) {
        if (!window && (window = WindowOf(child.dwProcessId)) != nullptr) run.windowAt = Now() - start;
        run.done = done(ReadText(trace));
    }
    if (run.done) Sleep(settle);
    if (window && WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT) {
        const double escape = Now();
        PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
        if (WaitForSingleObject(child.hProcess, 60000) == WAIT_OBJECT_0) run.exitTime = Now() - escape;
    }
    if (WaitForSingleObject(child.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(child.hProcess, 1);
    char buffer[4096];
    for (DWORD got = 0; ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0;) run.output.append(buffer, got);
    CloseHandle(readEnd);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return run;
}

// The scripted game is done once the title is back after the game over; the fight once the title
// is back after the clear (or a game over).
bool OverAndTitle(const std::string& t)
{
    const size_t over = t.find(" scene 3");
    return over != std::string::npos && t.find(" scene 0", over) != std::string::npos;
}

bool ClearAndTitle(const std::string& t)
{
    size_t end = t.find(" scene 4");
    if (end == std::string::npos) end = t.find(" scene 3");
    return end != std::string::npos && t.find(" scene 0", end) != std::string::npos;
}

struct Longest {
    double ms = -1.0;
    unsigned frame = 0;
    int scene = -1;
};

// The seam's figures: its first line, and the scene changes of its second.
struct Figures {
    double firstFrame = -1.0, titleFrame = -1.0, shot = -1.0, jingle = -1.0, startFrame = -1.0, firstPlay = -1.0;
    unsigned shotFrame = 0, jingleFrame = 0;
    Longest longest;
    struct Change {
        int from, to;
        double ms;
        unsigned frame;
    };
    std::vector<Change> changes;
};

bool ReadFigures(const std::string& output, Figures* f)
{
    const size_t at = output.find("seam timing:");
    const size_t scenes = output.find("seam scenes:");
    if (at == std::string::npos || scenes == std::string::npos ||
        sscanf(output.c_str() + at,
               "seam timing: first frame presented %lf s after the process started, the title's %lf s; longest frame"
               " %lf ms (frame %u, scene %d); with a shot fired %lf ms (frame %u); with a jingle swap %lf ms (frame"
               " %u); the first game's start %lf ms, its first frame of play %lf ms",
               &f->firstFrame, &f->titleFrame, &f->longest.ms, &f->longest.frame, &f->longest.scene, &f->shot,
               &f->shotFrame, &f->jingle, &f->jingleFrame, &f->startFrame, &f->firstPlay) != 11)
        return false;
    const char* p = output.c_str() + scenes + strlen("seam scenes:");
    Figures::Change c;
    for (int n = 0; sscanf(p, " %d>%d %lf ms (frame %u);%n", &c.from, &c.to, &c.ms, &c.frame, &n) == 4 && n > 0; p += n)
        f->changes.push_back(c);
    return true;
}

const char* const kSceneNames[] = {"the title", "play", "the boss's entry", "the game over", "the clear"};

const char* SceneName(int scene) { return scene >= 0 && scene < 5 ? kSceneNames[scene] : "none"; }

// Each scene change's frame against the goal; the boss's entry is the change from play to it.
void PrintChanges(const Figures& f)
{
    for (const Figures::Change& c : f.changes) {
        printf("  %s -> %s (frame %u): %.1f ms: goal <= %.0f ms: %s\n", SceneName(c.from), SceneName(c.to), c.frame,
               c.ms, kFrameGoalMs, Verdict(c.ms >= 0.0 && c.ms <= kFrameGoalMs));
    }
    printf("  longest frame of the game: %.1f ms (frame %u, %s): goal <= %.0f ms: %s\n", f.longest.ms, f.longest.frame,
           SceneName(f.longest.scene), kFrameGoalMs, Verdict(f.longest.ms <= kFrameGoalMs));
}

// parecord, a program of the host, records the null sink's monitor for `seconds` into `path`
// (Wine starts host programs by their path). False where that cannot be (no host path for the file).
bool StartRecording(const std::string& path, int seconds)
{
    typedef char*(CDECL * UnixName)(LPCWSTR);
    const UnixName unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    WCHAR wide[MAX_PATH];
    if (!unixName || !MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH)) return false;
    char* host = unixName(wide);
    if (!host) return false;
    std::string command = "Z:\\usr\\bin\\env PULSE_LATENCY_MSEC=50 timeout -s INT " + std::to_string(seconds) +
                          " parecord --device=nullsink.monitor --file-format=wav --channels=2 --rate=44100 " + host;
    HeapFree(GetProcessHeap(), 0, host);
    DeleteFileA(path.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
        return false;
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return true;
}

// 16-bit samples at full scale (either sign, every channel) in a recorded WAVE's data; -1 when
// there is no recording. The data run to the file's end (a header cut off by the stop may not say).
long CountClipped(const std::string& path)
{
    const std::string wav = ReadText(path);
    const size_t data = wav.find("data");
    if (wav.size() < 44 || data == std::string::npos) return -1;
    long clipped = 0;
    for (size_t i = data + 8; i + 1 < wav.size(); i += 2) {
        const int16_t v = static_cast<int16_t>(static_cast<uint8_t>(wav[i]) | static_cast<uint8_t>(wav[i + 1]) << 8);
        clipped += v >= 32767 || v <= -32767;
    }
    return clipped;
}

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
    const std::string mix = benchDir + "game_fight.wav";
    if (!WritePad(pad)) {
        printf("game run bench: cannot write %s\n", pad.c_str());
        return 1;
    }

    const char* cache = EmptyShaderCache();
    printf("game run bench: Tormea.exe from its start to Escape, a scripted game with shots and a game over (seed 3,"
           " 60 frames a second, %s; load %.1f)\n", cache, MachineLoad());
    // The title's frame 100 swaps its jingle again after the game over.
    const Run scripted = RunGame(binDir, "seed=3;replay=" + pad, trace, OverAndTitle, 3000);
    Figures f;
    const bool parsed = ReadFigures(scripted.output, &f);
    if (!parsed || !scripted.done || scripted.windowAt < 0.0 || scripted.exitTime < 0.0) {
        printf("  the run did not complete (window %s, game over and title %s, exit %s, seam figures %s)\n",
               scripted.windowAt < 0.0 ? "missing" : "seen", scripted.done ? "seen" : "missing",
               scripted.exitTime < 0.0 ? "missing" : "seen", parsed ? "read" : "missing");
        return 1;
    }
    const double picture = f.firstFrame - scripted.windowAt, title = f.titleFrame - scripted.windowAt;
    printf("  window opened %.2f s after the start; first frame presented %.2f s after the start, %.2f s after the"
           " window\n  opened: goal <= %.1f s: %s\n", scripted.windowAt, f.firstFrame, picture, kWindowToPictureGoal,
           Verdict(picture <= kWindowToPictureGoal));
    printf("  the title's first frame (every first draw of play made before it) %.2f s after the window opened:"
           " goal <= %.1f s: %s\n", title, kWindowToPictureGoal, Verdict(title <= kWindowToPictureGoal));
    printf("  the frame in which Z starts the game (the player comes): %.1f ms: goal <= %.0f ms: %s\n", f.startFrame,
           kStartFrameGoalMs, Verdict(f.startFrame <= kStartFrameGoalMs));
    printf("  the first frame of play after it: %.1f ms: goal <= %.0f ms: %s\n", f.firstPlay, kFirstPlayFrameGoalMs,
           Verdict(f.firstPlay <= kFirstPlayFrameGoalMs));
    printf("  longest frame firing a shot: %.1f ms (frame %u): goal <= %.0f ms: %s\n", f.shot, f.shotFrame,
           kShotFrameGoalMs, Verdict(f.shot <= kShotFrameGoalMs));
    printf("  longest frame swapping the jingle (a title made after the game over is one): %.1f ms (frame %u):"
           " goal <= %.0f ms: %s\n", f.jingle, f.jingleFrame, kJingleFrameGoalMs, Verdict(f.jingle <= kJingleFrameGoalMs));
    PrintChanges(f);
    printf("  Escape to the process's end: %.2f s: goal <= %.1f s: %s\n", scripted.exitTime, kExitGoal,
           Verdict(scripted.exitTime <= kExitGoal));

    cache = EmptyShaderCache();
    printf("game run bench: the autopilot's fight from 36 kills on, the boss and the clear (seed 2, 60 frames a"
           " second, %s; load %.1f)\n", cache, MachineLoad());
    const bool recording = StartRecording(mix, kRecordSeconds);
    const Run fight = RunGame(binDir, "seed=2;autopilot;kills=36", trace, ClearAndTitle, 0);
    Figures g;
    if (!ReadFigures(fight.output, &g) || !fight.done || fight.exitTime < 0.0) {
        printf("  the run did not complete (clear and title %s, exit %s)\n", fight.done ? "seen" : "missing",
               fight.exitTime < 0.0 ? "missing" : "seen");
        return 1;
    }
    PrintChanges(g);
    printf("  Escape to the process's end: %.2f s: goal <= %.1f s: %s\n", fight.exitTime, kExitGoal,
           Verdict(fight.exitTime <= kExitGoal));
    // The recording has ended long before the fight did (its first seconds are the stream's start).
    const long clipped = recording ? CountClipped(mix) : -1;
    if (clipped < 0) {
        printf("  the mix was not recorded here (parecord on the null sink)\n");
    } else {
        printf("  the mix of its first %d s (the title, three enemies, the boss's entry and fight), recorded from the"
               " null sink: %ld samples at full scale: goal 0: %s\n", kRecordSeconds, clipped, Verdict(clipped == 0));
    }
    return 0;
}
