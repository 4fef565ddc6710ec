// The ground: a height field in culled blocks, drawn with distance fog from the first play frame.
#pragma once
#include "Task.h"
#include "VornEngine.h"

class StageField : public Task {
public:
    StageField();
    ~StageField() override;
    void Run() override;
    VornFieldHandle GetField() const { return field; }

    VornFieldHandle field = VORN_INVALID_HANDLE;
    VornShaderFxHandle effect = VORN_INVALID_HANDLE;
};

extern StageField* g_stage;

// The ground under a point: its height, or 0.0 off the field or without a stage (the query starts
// from a defined output: HitCheckDown leaves it untouched when it finds no block).
float GroundY(const VornVector3& at);
