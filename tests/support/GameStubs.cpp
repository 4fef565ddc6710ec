// Engine-only test programs have no game: these stand in for the game's entry functions.
#include "GameStubs.h"
#include "Vorn.h"

namespace {
std::function<bool()> g_init;
std::function<int(int, char**)> g_main;
std::function<bool(UINT, WPARAM, LPARAM)> g_hook;
}  // namespace

namespace vorntest {
void SetGameInit(std::function<bool()> init) { g_init = std::move(init); }
void SetGameMain(std::function<int(int, char**)> main) { g_main = std::move(main); }
void SetGameMessageHook(std::function<bool(UINT, WPARAM, LPARAM)> hook) { g_hook = std::move(hook); }
}  // namespace vorntest

bool GameInit() { return g_init ? g_init() : true; }
int GameMain(int argc, char** argv) { return g_main ? g_main(argc, argv) : 0; }
bool GameMessageHook(UINT message, WPARAM wParam, LPARAM lParam) { return g_hook ? g_hook(message, wParam, lParam) : true; }
