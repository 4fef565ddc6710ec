// The game's objects on the engine's device: the data pack beside the test, the classes the game
// uses, a seeded random generator, the task list and the director in play; frames run one at a time.
#pragma once
#include "EngineFixture.h"
#include "../Draw3D/ModelXText.h"
#include "Enemy.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Player.h"
#include "Task.h"
#include "VornEngine.h"
#include <functional>

// The game's enums by name where a failure prints them (cast a stored int8_t to its enum to check it).
inline void PrintName(int value, std::ostream* os, std::initializer_list<const char*> names)
{
    const char* name = value >= 0 && size_t(value) < names.size() ? names.begin()[value] : "";
    if (*name) *os << name;
    else *os << value;
}
inline void PrintTo(GameScene v, std::ostream* os) { PrintName(v, os, {"title", "play", "boss entry", "game over", "clear"}); }
inline void PrintTo(EnemyKind v, std::ostream* os) { PrintName(v, os, {"walker", "shooter", "hopper", "", "", "boss"}); }
inline void PrintTo(PlayerAttackKind v, std::ostream* os) { PrintName(v, os, {"none", "combo 1", "combo 2", "combo 3", "air", "downward"}); }
inline void PrintTo(PlayerAnimation v, std::ostream* os)
{
    PrintName(v, os, {"stand", "walk", "jump", "combo 1", "combo 2", "combo 3", "straight shot", "homing shot", "air attack",
                      "down attack", "dash", "", "", "knocked forward", "knocked backward", "fall"});
}

namespace vorntest {

constexpr unsigned Z = 1, X = 2, UP = 4, DOWN = 8, LEFT = 16, RIGHT = 32;   // Press()'s keys

// (the skinned model's classes in their start order, then those the game draws with).
class GameFixture : public EngineWith<VornMath, VornAnimation, VornTexture, VornShaderFx, VornCamera, VornLight, VornModelEx,
                                      VornPrimitive, VornSprite, VornSprite3D, VornPrimitive3D, VornLine3D, VornField> {
protected:
    void SetUp() override
    {
        EngineWith::SetUp();
        VornFile::SetRootPath("Data", (ModuleFolder() + "\\Data\\Data.bin").c_str());
        srand(7);
        g_taskList = new TaskList;
        g_director = new GameDirector;
        g_director->LoadShared();
        memset(&g_input, 0, sizeof g_input);
        g_director->SetScene(SCENE_PLAY);
    }
    void TearDown() override
    {
        delete g_taskList;
        g_taskList = nullptr;
        g_director = nullptr;
        EngineWith::TearDown();
    }
    // One frame of the game inside a scene, read back.
    void Step() { Frame([] { g_taskList->RunAll(); }); }
    // One frame with these keys (Z and X pushed, arrows held), the dash counters kept.
    static void Press(unsigned k = 0)
    {
        bool* flags[] = {&g_input.pushZ, &g_input.pushX, &g_input.holdUp, &g_input.holdDown, &g_input.holdLeft, &g_input.holdRight};
        for (int i = 0; i < 6; ++i) *flags[i] = k >> i & 1;
        g_input.pushC = false;
        g_taskList->RunAll();
    }
    // A player at (x, 0, 0) after its first frame.
    static Player* Landed(float x = -20.0f)
    {
        Player* p = new Player(x, 0.0f, 0.0f);
        Press();
        return p;
    }
    // Frames with no key while cond() holds (at most 1000): how many ran.
    static int PressWhile(const std::function<bool()>& cond)
    {
        int frames = 0;
        for (; cond() && frames < 1000; ++frames) Press();
        return frames;
    }
    // Live tasks of a priority, in the list's order.
    static std::vector<Task*> Live(int32_t priority)
    {
        std::vector<Task*> out;
        for (Task* t = g_taskList->GetFirst(); t->state != TASK_SENTINEL; t = t->next)
            if (t->priority == priority && t->state == TASK_LIVE) out.push_back(t);
        return out;
    }
    static int Count(int32_t priority) { return static_cast<int>(Live(priority).size()); }
};

}  // namespace vorntest
