// Engine-only test programs have no game: these stand in for the game's entry functions.
#include "GameStubs.h"
#include "Vorn.h"

namespace vorntest {
static std::function<bool()> g_init;
static std::function<int(int, char**)> g_main;
static std::function<bool(UINT, WPARAM, LPARAM)> g_hook;
void SetGameInit(std::function<bool()> init) { g_init = std::move(init); }
void SetGameMain(std::function<int(int, char**)> main) { g_main = std::move(main); }
void SetGameMessageHook(std::function<bool(UINT, WPARAM, LPARAM)> hook) { g_hook = std::move(hook); }
}  // namespace vorntest

bool GameInit() { return vorntest::g_init ? vorntest::g_init() : true; }
int GameMain(int argc, char** argv) { return vorntest::g_main ? vorntest::g_main(argc, argv) : 0; }
bool GameMessageHook(UINT message, WPARAM wParam, LPARAM lParam) { return vorntest::g_hook ? vorntest::g_hook(message, wParam, lParam) : true; }
