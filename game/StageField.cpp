#include "StageField.h"
#include "GameDirector.h"

StageField* g_stage = nullptr;

StageField::StageField() { g_taskList->Add(this, PRIORITY_STAGE); }
StageField::~StageField()
{
    g_taskList->Kill(this);
    if (g_stage == this) g_stage = nullptr;
}
void StageField::Run() {}

float GroundY(const VornVector3& at)
{
    VornVector3 ground(at.x, 0.0f, at.z);
    if (g_stage) VornField::HitCheckDown(g_stage->field, at, &ground, nullptr, nullptr);
    return ground.y;
}
