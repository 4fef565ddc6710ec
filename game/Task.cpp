#include "Task.h"
#include "GameDirector.h"
#include "VornEngine.h"

TaskList* g_taskList = nullptr;

TaskList::TaskList() : head_(new Task), tail_(new Task), count_(2)
{
    head_->state = TASK_SENTINEL;
    head_->priority = PRIORITY_HEAD;
    tail_->state = TASK_SENTINEL;
    tail_->priority = PRIORITY_TAIL;
    head_->next = tail_;
    tail_->prev = head_;
}

TaskList::~TaskList() { DestroyAll(); }

Task* TaskList::Add(Task* task, int32_t priority)
{
    if (!task) return nullptr;
    if (priority < PRIORITY_HEAD || priority >= PRIORITY_TAIL) {
        VornLog::StrongBlue("TaskList::Add");
        VornLog::Print(" : [ %d ] : ", static_cast<int>(priority));
        VornLog::StrongRed("優先度が範囲外です");
        VornLog::LineBreak();
        task->state = TASK_UNLINKED;
        return nullptr;
    }
    task->state = TASK_LIVE;
    task->priority = priority;
    Task* at = head_->next;
    while (at->priority <= priority) at = at->next;   // the tail's priority stops every walk
    task->prev = at->prev;
    task->next = at;
    at->prev->next = task;
    at->prev = task;
    ++count_;
    return task;
}

void TaskList::Kill(Task* task)
{
    if (task && task->state != TASK_SENTINEL) task->state = TASK_KILLED;
}

void TaskList::KillByPriority(int32_t priority)
{
    for (Task* t = head_->next; t != tail_; t = t->next) {
        if (t->state == TASK_LIVE && t->priority == priority) t->state = TASK_KILLED;
    }
}

void TaskList::Unlink(Task* task)
{
    task->prev->next = task->next;
    task->next->prev = task->prev;
    task->prev = nullptr;
    task->next = nullptr;
}

void TaskList::RunAll()
{
    // The director's batches start empty; tasks fill them and the director, last, draws them.
    if (g_director) g_director->ResetBatches();

    // The next node is read only after Run returns: a task added behind the running one runs too.
    for (Task* t = head_->next; t; t = t->next) {
        if (t->state == TASK_LIVE) t->Run();
    }
    DeleteInState(TASK_KILLED);
}

void TaskList::DeleteAllLive() { DeleteInState(TASK_LIVE); }

void TaskList::DeleteInState(int32_t state)
{
    for (Task* t = head_->next; t && t != tail_;) {
        Task* next = t->next;   // read first: t is deleted here
        if (t->state == state) {
            --count_;
            t->state = TASK_UNLINKED;
            Unlink(t);
            delete t;
        }
        t = next;
    }
}

void TaskList::DestroyAll()
{
    for (Task* t = head_; t;) {
        Task* next = t->next;
        delete t;
        t = next;
    }
    head_ = tail_ = nullptr;
    count_ = 0;
}
