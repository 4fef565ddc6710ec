// The task list: order by priority, kills, deferred deletion, tasks added during a run; and the
// damage rule of moving objects.
#include "GameDirector.h"
#include "GameMain.h"
#include "GameObject.h"
#include "Task.h"
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;
Names g_ran, g_deleted;

// A task that records its runs and its deletion, and may act during its run.
class Probe : public Task {
public:
    Probe(const std::string& name, int32_t priority, std::function<void(Probe*)> action = nullptr)
        : name_(name), action_(std::move(action))
    {
        g_taskList->Add(this, priority);
    }
    ~Probe() override { g_deleted.push_back(name_); }
    void Run() override
    {
        g_ran.push_back(name_);
        if (action_) action_(this);
    }

private:
    std::string name_;
    std::function<void(Probe*)> action_;
};

class TaskListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_ran.clear();
        g_deleted.clear();
        g_taskList = new TaskList;
    }
    void TearDown() override
    {
        delete g_taskList;
        g_taskList = nullptr;
        g_director = nullptr;
    }
    // Runs one frame; the names of the tasks that ran.
    static Names Frame()
    {
        g_ran.clear();
        g_taskList->RunAll();
        return g_ran;
    }
};

}  // namespace

TEST_F(TaskListTest, RunsByPriorityWithTiesInInsertionOrderBetweenItsTwoSentinels)
{
    Task* first = g_taskList->GetFirst();
    EXPECT_EQ(TASK_SENTINEL, first->state);
    EXPECT_EQ(PRIORITY_TAIL, first->priority);
    EXPECT_EQ(nullptr, first->next);
    EXPECT_TRUE(Frame().empty());
    EXPECT_EQ(2, g_taskList->GetCount());

    new Probe("player1", PRIORITY_PLAYER);
    new Probe("title", PRIORITY_TITLE);
    new Probe("player2", PRIORITY_PLAYER);
    new Probe("director", PRIORITY_DIRECTOR);
    new Probe("head-tie", PRIORITY_HEAD);
    new Probe("last", PRIORITY_TAIL - 1);
    EXPECT_EQ(8, g_taskList->GetCount());
    const Names order = {"head-tie", "title", "player1", "player2", "director", "last"};
    EXPECT_EQ(order, Frame());
    EXPECT_EQ(order, Frame());   // every frame again
    EXPECT_TRUE(g_deleted.empty());
}

TEST_F(TaskListTest, PrioritiesOutsideTheSentinelsAreRefused)
{
    struct Plain : Task {
        void Run() override { g_ran.push_back("plain"); }
    };
    for (int32_t priority : {-1, static_cast<int32_t>(PRIORITY_TAIL), 0x2000, INT32_MIN}) {
        Plain task;
        EXPECT_EQ(nullptr, g_taskList->Add(&task, priority)) << priority;
        EXPECT_EQ(2, g_taskList->GetCount()) << priority;
        EXPECT_EQ(nullptr, task.next);
        EXPECT_TRUE(Frame().empty());
    }
    Plain* ok = new Plain;
    EXPECT_EQ(ok, g_taskList->Add(ok, PRIORITY_ENEMY));
    EXPECT_EQ(3, g_taskList->GetCount());
}

TEST_F(TaskListTest, KilledTasksAreSkippedBeforeTheirTurnAndDeletedAtTheEndOfTheFrame)
{
    Probe* victim = nullptr;
    new Probe("killer", PRIORITY_TITLE, [&](Probe*) {
        if (victim) g_taskList->Kill(victim);
    });
    new Probe("before", PRIORITY_HEAD);
    victim = new Probe("victim", PRIORITY_ENEMY);
    new Probe("after", PRIORITY_DIRECTOR, [&](Probe*) {
        if (victim) {
            EXPECT_TRUE(g_deleted.empty());   // still linked while the run pass goes on
        }
    });
    int selfRuns = 0;
    new Probe("self", PRIORITY_PLAYER, [&](Probe* me) {
        g_taskList->Kill(me);   // finishes its run and goes that frame
        EXPECT_EQ(TASK_KILLED, me->state);
        ++selfRuns;
    });
    EXPECT_EQ((Names{"before", "killer", "self", "after"}), Frame());
    victim = nullptr;
    EXPECT_EQ((Names{"self", "victim"}), g_deleted);
    EXPECT_EQ(5, g_taskList->GetCount());
    EXPECT_EQ((Names{"before", "killer", "after"}), Frame());
    EXPECT_EQ(1, selfRuns);

    // By priority: only live tasks of that priority.
    g_deleted.clear();
    new Probe("enemy1", PRIORITY_ENEMY);
    new Probe("enemy2", PRIORITY_ENEMY);
    new Probe("shot", PRIORITY_ENEMY_SHOT);
    g_taskList->KillByPriority(PRIORITY_ENEMY);
    EXPECT_EQ((Names{"before", "killer", "shot", "after"}), Frame());
    EXPECT_EQ((Names{"enemy1", "enemy2"}), g_deleted);
}

TEST_F(TaskListTest, TasksAddedDuringARunRunThisFrameWhenBehindAndNextFrameWhenAhead)
{
    bool spawned = false;
    new Probe("spawner", PRIORITY_ENEMY, [&](Probe*) {
        if (spawned) return;
        spawned = true;
        new Probe("behind", PRIORITY_EFFECT);
        new Probe("tie", PRIORITY_ENEMY);
        new Probe("ahead", PRIORITY_PLAYER);
    });
    EXPECT_EQ((Names{"spawner", "tie", "behind"}), Frame());
    EXPECT_EQ((Names{"ahead", "spawner", "tie", "behind"}), Frame());
    EXPECT_EQ(6, g_taskList->GetCount());
}

TEST_F(TaskListTest, DeleteAllLiveAndTheListsDestructorDeleteEveryTask)
{
    new Probe("a", PRIORITY_TITLE);
    new Probe("b", PRIORITY_STAGE);
    g_taskList->DeleteAllLive();
    EXPECT_EQ((Names{"a", "b"}), g_deleted);
    EXPECT_EQ(2, g_taskList->GetCount());
    EXPECT_TRUE(Frame().empty());

    g_deleted.clear();
    new Probe("c", PRIORITY_TITLE);
    g_taskList->Kill(new Probe("d", PRIORITY_STAGE));   // killed but not yet swept: deleted all the same
    delete g_taskList;
    g_taskList = nullptr;
    EXPECT_EQ((Names{"c", "d"}), g_deleted);
}

namespace {
struct Target : MovingObject {
    Target(int32_t priority, int32_t hitPoints)
    {
        hp = hitPoints;
        g_taskList->Add(this, priority);
    }
};
}  // namespace

TEST_F(TaskListTest, AKillIsCountedOnceWhenAnEnemyGoesFromAliveToDead)
{
    g_director = new GameDirector;
    g_director->aliveCount = 5;
    g_director->spawnCount = WAVE_SPAWN_LIMIT + 1;   // no waves
    Target* enemy = new Target(PRIORITY_ENEMY, 3);
    enemy->Damage(2);
    EXPECT_EQ(1, enemy->GetHP());
    EXPECT_EQ(CONDITION_NORMAL, enemy->IsDead());
    EXPECT_EQ(0, g_director->killCount);
    enemy->Damage(2);
    EXPECT_EQ(CONDITION_DEAD, enemy->IsDead());
    EXPECT_EQ(std::make_pair(1, 4), std::make_pair(g_director->killCount, g_director->aliveCount));
    enemy->Damage(2);   // a second hit on a dying enemy in the same frame
    EXPECT_EQ(-3, enemy->GetHP());
    EXPECT_EQ(std::make_pair(1, 4), std::make_pair(g_director->killCount, g_director->aliveCount));

    Target* player = new Target(PRIORITY_PLAYER, 1);
    player->Damage(1);
    EXPECT_EQ(CONDITION_DEAD, player->IsDead());
    EXPECT_EQ(1, g_director->killCount);   // only enemies count
}

TEST_F(TaskListTest, TheDirectorRunsLastAndClearsTheInputBlock)
{
    memset(&g_input, 0xFF, sizeof g_input);
    new Probe("effect", PRIORITY_SHOCKWAVE);
    g_director = new GameDirector;
    new Probe("late", PRIORITY_SHOCKWAVE);
    const unsigned char zero[sizeof(GameInput)] = {};
    EXPECT_EQ(0, memcmp(zero, &g_input, sizeof g_input));
    EXPECT_EQ(PRIORITY_DIRECTOR, g_director->priority);
    EXPECT_EQ(SCENE_TITLE, g_director->GetScene());
    EXPECT_EQ((Names{"effect", "late"}), Frame());
    EXPECT_EQ(g_director, g_taskList->GetFirst()->next->next);
}
