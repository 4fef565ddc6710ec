// The program entry: everything goes through the engine's boot.
#include "VornEngine.h"
#include <cstdlib>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return static_cast<int>(Vorn::Boot(instance, __argc, __argv));
}
