// The task list: order by priority, kills, deferred deletion, tasks added during a run.
#include "Checks.h"
#include "Task.h"
#include <functional>

namespace {

using Names = std::vector<std::string>;
Names g_ran, g_deleted;

// A task that records its runs and its deletion, and may act during its run.
struct Probe : Task {
    Probe(const char* n, int32_t priority, std::function<void(Probe*)> a = nullptr) : name(n), action(std::move(a)) { g_taskList->Add(this, priority); }
    ~Probe() override { g_deleted.push_back(name); }
    void Run() override
    {
        g_ran.push_back(name);
        if (action) action(this);
    }
    std::string name;
    std::function<void(Probe*)> action;
};

struct TaskListTest : ::testing::Test {
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
    const std::pair<const char*, int32_t> added[] = {{"player1", PRIORITY_PLAYER}, {"title", PRIORITY_TITLE},
        {"player2", PRIORITY_PLAYER}, {"director", PRIORITY_DIRECTOR}, {"head-tie", PRIORITY_HEAD}, {"last", PRIORITY_TAIL - 1}};
    for (const auto& a : added) new Probe(a.first, a.second);
    EXPECT_EQ(8, g_taskList->GetCount());
    const Names order = {"head-tie", "title", "player1", "player2", "director", "last"};
    EXPECT_EQ(order, Frame());
    EXPECT_EQ(order, Frame());   // every frame again: none was deleted
}

TEST_F(TaskListTest, PrioritiesOutsideTheSentinelsAreRefused)
{
    for (int32_t priority : {-1, static_cast<int32_t>(PRIORITY_TAIL), 0x2000, INT32_MIN}) {
        Task task;
        EXPECT_EQ(nullptr, g_taskList->Add(&task, priority)) << priority;
        EXPECT_NAMED({"tasks", g_taskList->GetCount(), 2}, {"the refused task's next", task.next, static_cast<Task*>(nullptr)});
    }
    Task* ok = new Task;
    Task* added = g_taskList->Add(ok, PRIORITY_ENEMY);
    EXPECT_NAMED({"Add", added, ok}, {"tasks", g_taskList->GetCount(), 3});
}

TEST_F(TaskListTest, KilledTasksAreSkippedBeforeTheirTurnAndDeletedAtTheEndOfTheFrame)
{
    Probe* victim = nullptr;
    new Probe("killer", PRIORITY_TITLE, [&](Probe*) {
        if (victim) g_taskList->Kill(victim);
    });
    new Probe("before", PRIORITY_HEAD);
    victim = new Probe("victim", PRIORITY_ENEMY);
    new Probe("after", PRIORITY_DIRECTOR);
    new Probe("self", PRIORITY_PLAYER, [](Probe* me) { g_taskList->Kill(me); });   // finishes its run and goes that frame
    EXPECT_EQ((Names{"before", "killer", "self", "after"}), Frame());
    victim = nullptr;
    // Deleted after the run pass: the victim, killed before the self-killer ran, went after it.
    EXPECT_NAMED({"deleted", g_deleted, Names{"self", "victim"}}, {"tasks", g_taskList->GetCount(), 5});
    EXPECT_EQ((Names{"before", "killer", "after"}), Frame());

    // By priority: only live tasks of that priority.
    g_deleted.clear();
    for (auto p : {std::make_pair("enemy1", PRIORITY_ENEMY), {"enemy2", PRIORITY_ENEMY}, {"shot", PRIORITY_ENEMY_SHOT}})
        new Probe(p.first, p.second);
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
    const Names second = Frame();
    EXPECT_NAMED({"the second frame", second, Names{"ahead", "spawner", "tie", "behind"}}, {"tasks", g_taskList->GetCount(), 6});
}

TEST_F(TaskListTest, DeleteAllLiveAndTheListsDestructorDeleteEveryTask)
{
    new Probe("a", PRIORITY_TITLE);
    new Probe("b", PRIORITY_STAGE);
    g_taskList->DeleteAllLive();
    EXPECT_NAMED({"deleted", g_deleted, Names{"a", "b"}}, {"tasks", g_taskList->GetCount(), 2});
    EXPECT_EQ(Names{}, Frame());

    g_deleted.clear();
    new Probe("c", PRIORITY_TITLE);
    g_taskList->Kill(new Probe("d", PRIORITY_STAGE));   // killed but not yet swept: deleted all the same
    delete g_taskList;
    g_taskList = nullptr;
    EXPECT_EQ((Names{"c", "d"}), g_deleted);
}
