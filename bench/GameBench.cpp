// The game's busiest scene: the real game (bin/Tormea.exe) run under its test seam, which starts a
// game and keeps the player, 20 enemies in view, five explosions, a shockwave, trails, dust and a
// volley of enemy bullets alive for 600 frames without frame wait, then prints the mean, 95th
// percentile and worst frame time (task run and Present) and the triangles a frame.
#include <windows.h>
#include <cstdio>
#include <cstring>

int main()
{
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = n ? strrchr(path, '\\') : nullptr;
    if (!slash || (slash - path) + 20 >= MAX_PATH) return 1;
    strcpy(slash, "\\..\\bin\\Tormea.exe");
    SetEnvironmentVariableA("VORN_GAME_TEST", "seed=1;nowait;bench=600");
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(path, nullptr, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process)) {
        printf("game bench: cannot start %s (%lu)\n", path, GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
