// The benchmarks' clocks: seconds from the performance counter, CPU seconds of this thread and of
// the whole process, and the machine's load.
#pragma once
#include <windows.h>
#include <cstdint>
#include <cstdio>

inline double Now()
{
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

inline double CpuSeconds(const FILETIME& kernel, const FILETIME& user)
{
    auto seconds = [](const FILETIME& f) { return (static_cast<uint64_t>(f.dwHighDateTime) << 32 | f.dwLowDateTime) * 1e-7; };
    return seconds(kernel) + seconds(user);
}

// CPU seconds used so far by the calling thread.
inline double ThreadCpu()
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0.0;
    return CpuSeconds(kernel, user);
}

// CPU seconds used so far by every thread of the process (Wine's command-stream and rasteriser
// threads included).
inline double ProcessCpu()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0.0;
    return CpuSeconds(kernel, user);
}

// The machine's one-minute load average where the program runs under Wine on Linux (the figures
// depend on it on a shared machine); a negative value elsewhere.
inline double MachineLoad()
{
    double load = -1.0;
    if (FILE* f = fopen("Z:\\proc\\loadavg", "r")) {
        if (fscanf(f, "%lf", &load) != 1) load = -1.0;
        fclose(f);
    }
    return load;
}
