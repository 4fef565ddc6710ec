#include "Title.h"
#include "GameDirector.h"

Title::Title() { g_taskList->Add(this, PRIORITY_TITLE); }
Title::~Title() { g_taskList->Kill(this); }
void Title::Run() {}
void Title::StartGame() {}
