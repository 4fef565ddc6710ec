// The application's state, shared by the files of class Vorn (services, window and boot tables).
// Private to the engine: nothing outside the Vorn class includes it.
#pragma once
#include <winsock2.h>
#include "Vorn.h"

// All of the application's state: one application per process.
struct VornState {
    // settings
    HINSTANCE instance = nullptr;
    char applicationName[Vorn::APPLICATION_NAME_MAX] = {};
    uint32_t width = 640, height = 480;
    bool windowed = false;
    uint32_t option = 0;
    uint32_t memorySize = 0;
    bool memoryDebug = false;
    bool drawTitleInfo = false;
    bool keepCursorVisible = false;
    bool allowMultipleInstances = false;
    char menuName[Vorn::MENU_NAME_MAX] = {};
    void (*bootCallback)() = nullptr;
    bool drawBootText = false;
    char baseDirectory[Vorn::DIRECTORY_MAX] = {};
    bool (*dialogBoxHook)(bool on) = nullptr;   // the device's dialog-box mode around boxes

    // run time
    bool abort = false;
    HANDLE mutex = nullptr;
    bool mutexOwned = false;
    WSADATA wsaData = {};
    MSG msg = {};
    char bootText[Vorn::BOOT_TEXT_LINES][Vorn::BOOT_TEXT_LENGTH] = {};
    int bootTextCount = 0;

    // window
    HWND window = nullptr;
    HWND listBox = nullptr;
    HMENU menu = nullptr;
    bool active = true;         // a window that never gets WM_ACTIVATEAPP still runs
    bool subLoop = false;
    bool quitRequest = false;

    // timer
    bool timerPeriod = false;
    bool performanceCounter = false;
    uint64_t frequency = 1000;
    uint64_t now = 0, previous = 0, elapsed = 0;
    uint32_t frameRate = 0;
    uint32_t syncCount = 0;
    float frameTime = 0.0f;

    // statistics of the current second and of the last full one
    bool secondStarted = false;
    uint64_t secondStart = 0;
    uint32_t secondFrames = 0, secondPolygons = 0, secondPolygons3D = 0;
    uint32_t fps = 0, pps = 0, pps3D = 0, ppf = 0, ppf3D = 0;

    // virtual screen
    uint32_t virtualWidth = 640, virtualHeight = 480;
    float scaleX = 1.0f, scaleY = 1.0f, backupScaleX = 1.0f, backupScaleY = 1.0f;
};

extern VornState g_vorn;
