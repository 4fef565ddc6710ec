#include "Shots.h"
#include "Task.h"

StraightShot::StraightShot(float x, float y, float z, float vx, float vy, float vz, VornAngle heading) : angle(heading)
{
    position = VornVector3(x, y, z);
    velocity = VornVector3(vx, vy, vz);
    g_taskList->Add(this, PRIORITY_STRAIGHT_SHOT);
}

StraightShot::~StraightShot() { g_taskList->Kill(this); }

void StraightShot::Run() {}

HomingShot::HomingShot(float x, float y, float z)
{
    position = VornVector3(x, y, z);
    g_taskList->Add(this, PRIORITY_HOMING_SHOT);
}

HomingShot::~HomingShot() { g_taskList->Kill(this); }

void HomingShot::Run() {}
