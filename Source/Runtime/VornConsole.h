// VornConsole: a text console for the process (mirror of the log, or free printing).
#pragma once
#include <cstdint>

class VornConsole
{
public:
    static bool Initialize();
    static void Finalize();
    static bool Create();
    static void Release();
    static bool IsOpen();
    static void Clear();
    static void SetCursorPosition(uint16_t x, uint16_t y);
    static void Print(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 1, 2)))
#endif
        ;
    static void PrintAt(uint16_t x, uint16_t y, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;
    static void SetTextAttribute(uint16_t attribute);
    static void HideCursor();
    static void ShowCursor();
};
