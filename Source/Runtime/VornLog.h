// VornLog: the engine's HTML log (Shift-JIS, one entry per call, flushed after each entry).
// Nothing is written, and nothing is formatted, unless a file name was set before Open.
#pragma once
#include <cstdint>

#if defined(__GNUC__)
#define VORN_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VORN_PRINTF(fmt, args)
#endif

class VornLog
{
public:
    // Log file "<base>.html" beside the module; an existing file of that name is deleted.
    static void SetFileName(const char* base);
    static const char* GetFileName();
    // Mirror every entry on the text console (opened with the log).
    static void EnableConsole();
    // Opens the file and writes the head with the application name as title. Without a file
    // name this does nothing and returns false.
    static bool Open();
    static bool Open(const char* title);
    static void Close();
    static bool IsOpen();

    static void Title(const char* format, ...) VORN_PRINTF(1, 2);
    static void Print(const char* format, ...) VORN_PRINTF(1, 2);
    static void Strong(const char* format, ...) VORN_PRINTF(1, 2);
    static void StrongBlue(const char* format, ...) VORN_PRINTF(1, 2);
    static void StrongRed(const char* format, ...) VORN_PRINTF(1, 2);
    static void StrongGreen(const char* format, ...) VORN_PRINTF(1, 2);
    static void LineBreak();

    // The boot system report (library banner, boot time, OS, drives, memory, paths, screen).
    static void LogSystemInfo(const char* banner);
};
