// VornDebug: debugger output and a small list-box window for debug lines.
#pragma once
#include <windows.h>

class VornDebug
{
public:
    static bool Initialize();
    static void Finalize();
    static bool OpenWindow();
    static void CloseWindow();
    static HWND GetWindow();
    static void WindowPrint(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 1, 2)))
#endif
        ;
    static void WindowClear();
    static void Print(const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 1, 2)))
#endif
        ;
};
