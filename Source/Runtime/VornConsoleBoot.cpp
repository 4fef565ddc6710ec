// VornConsole's start and end steps: their titles go to the log. Above the log, beneath the boot
// tables that call them.
#include "VornConsole.h"
#include "VornLog.h"

bool VornConsole::Initialize()
{
    VornLog::Title("VornConsoleクラスの初期化");
    return true;
}

void VornConsole::Finalize()
{
    VornLog::Title("VornConsoleクラスの解放");
    Release();
}
