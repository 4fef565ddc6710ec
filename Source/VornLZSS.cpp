#include "VornLZSS.h"

bool VornLZSS::Initialize() { return true; }
void VornLZSS::Finalize() {}
