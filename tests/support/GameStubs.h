// Engine-only test programs have no game: these stand in for the game's entry functions. A test
// can replace each one; by default GameInit succeeds, GameMain returns at once and the message hook
// lets every message through.
#pragma once
#include <windows.h>
#include <functional>

namespace vorntest {

void SetGameInit(std::function<bool()> init);
void SetGameMain(std::function<int(int, char**)> main);
void SetGameMessageHook(std::function<bool(UINT, WPARAM, LPARAM)> hook);

}  // namespace vorntest
