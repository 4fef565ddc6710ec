// The task list: every game object is a task, run once per frame in priority order (which is also
// the drawing order), and deleted at the end of the frame in which it was killed.
#pragma once
#include <cstdint>

// Priorities of the game's classes. They double as type tags: hit tests find enemies, shots and
// shockwaves by their priority.
enum TaskPriority : int32_t {
    PRIORITY_HEAD = 0,                // head sentinel
    PRIORITY_TITLE = 0x100,
    PRIORITY_STAGE = 0x200,
    PRIORITY_PLAYER = 0x300,
    PRIORITY_ENEMY = 0x400,
    PRIORITY_STRAIGHT_SHOT = 0x500,
    PRIORITY_HOMING_SHOT = 0x600,
    PRIORITY_ENEMY_SHOT = 0x700,
    PRIORITY_EFFECT = 0x800,          // explosion, trail, dust
    PRIORITY_SHOCKWAVE = 0x900,
    PRIORITY_DIRECTOR = 0x1000,
    PRIORITY_TAIL = 0x1100,           // tail sentinel
};

enum TaskState : int32_t {
    TASK_LIVE = 0,
    TASK_UNLINKED = 1,   // taken out of the list, about to be deleted
    TASK_KILLED = 2,     // kill requested; deleted by the sweep at the end of the frame
    TASK_SENTINEL = 3,
};

class Task {
public:
    Task() = default;
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    virtual void Run() {}
    virtual ~Task() = default;

    int32_t state = TASK_LIVE;
    int32_t priority = 0;
    Task* prev = nullptr;
    Task* next = nullptr;
};

class TaskList {
public:
    TaskList();
    ~TaskList();   // deletes every node, sentinels included (DestroyAll)
    TaskList(const TaskList&) = delete;
    TaskList& operator=(const TaskList&) = delete;

    // Links the task in before the first node of greater priority (ties keep insertion order).
    // A priority outside the sentinels (below 0, or 0x1100 and above) is refused: null is returned,
    // nothing is linked or counted, and the task stays the caller's.
    Task* Add(Task* task, int32_t priority);
    void Kill(Task* task);
    void KillByPriority(int32_t priority);
    // One frame: run every live task in order, then delete the killed ones.
    void RunAll();
    int32_t GetCount() const { return count_; }
    Task* GetFirst() const { return head_->next; }
    // Unlinks and deletes every live node at once.
    void DeleteAllLive();

private:
    void DestroyAll();
    void Unlink(Task* task);
    // Unlinks and deletes every node in this state.
    void DeleteInState(int32_t state);

    Task* head_;
    Task* tail_;
    int32_t count_;
};

// The game's one list, created by GameMain before any task.
extern TaskList* g_taskList;
