#include "VornList.h"
#include "VornLog.h"

bool VornList::Initialize() { VornLog::Title("VornListクラスの初期化"); return true; }
void VornList::Finalize() { VornLog::Title("VornListクラスの解放"); }
