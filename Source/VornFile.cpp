#include "VornFile.h"
#include "VornLog.h"

bool VornFile::Initialize() { VornLog::Title("VornFileクラスの初期化"); return true; }
void VornFile::Finalize() { VornLog::Title("VornFileクラスの解放"); }
