#include "Shots.h"
#include "Effects.h"
#include "Enemy.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Task.h"
#include <cmath>

StraightShot::StraightShot(float x, float y, float z, float vx, float vy, float vz, VornAngle heading) : angle(heading)
{
    position = VornVector3(x, y, z);
    velocity = VornVector3(vx, vy, vz);
    g_taskList->Add(this, PRIORITY_STRAIGHT_SHOT);
    model = g_director->GetShotModel(SHOT_MODEL_STRAIGHT);
    NoteFrameEvent(FRAME_EVENT_SHOT);
}

StraightShot::~StraightShot() { g_taskList->Kill(this); }

void StraightShot::Run()
{
    position += velocity;
    scale += 0.15f;
    if (scale > 1.0f) scale = 1.0f;
    if (frame % 6 == 0) new Trail(position.x, position.y, position.z, 0, angle + 0x4000, 0, 12, 0);

    VornModelEx::TransformInit(model);
    VornModelEx::RotationX(model, static_cast<VornAngle>((GameTime() * 500u) & 0xFFFFu));
    VornModelEx::RotationY(model, angle);
    VornModelEx::SetScale(model, scale, scale, scale);
    VornModelEx::SetPosition(model, position.x, position.y, position.z);
    VornModelEx::TransformUpdate(model, 0.0f, false);
    VornModelEx::Rendering(model);

    if (++frame > SHOT_LAST_FRAME) g_taskList->Kill(this);
}

HomingShot::HomingShot(float x, float y, float z)
{
    position = VornVector3(x, y, z);
    g_taskList->Add(this, PRIORITY_HOMING_SHOT);
    model = g_director->GetShotModel(SHOT_MODEL_HOMING);
    NoteFrameEvent(FRAME_EVENT_SHOT);
    lastTargetPosition = position;
    if (g_director && g_director->target) lastTargetPosition = g_director->target->GetPosition();
}

HomingShot::~HomingShot() { g_taskList->Kill(this); }

void HomingShot::Run()
{
    if (g_director && g_director->target) lastTargetPosition = g_director->target->GetPosition();
    const VornVector3& t = lastTargetPosition;
    const float a = atan2f(position.x - t.x, position.z - t.z);
    const float b = atan2f(position.x - t.x, position.y - t.y);
    velocity = VornVector3(sinf(a) * 0.1f, cosf(b) * 0.1f, cosf(a) * 0.1f);
    position -= velocity;

    alpha -= alphaStep;
    if (alpha < 64 || alpha > 230) alphaStep = -alphaStep;

    VornModelEx::TransformInit(model);
    VornModelEx::SetAlpha(model, static_cast<uint32_t>(alpha), -1, -1);
    const VornAngle spin = static_cast<VornAngle>(GameTime() & 0xFFFFu);
    VornModelEx::RotationX(model, spin + VornMath::Rand());
    VornModelEx::RotationY(model, spin + VornMath::Rand());
    VornModelEx::RotationZ(model, spin + VornMath::Rand());
    VornModelEx::SetPosition(model, position.x, position.y, position.z);
    VornModelEx::TransformUpdate(model, 0.0f, false);
    VornModelEx::Rendering(model);

    if (++frame > SHOT_LAST_FRAME) g_taskList->Kill(this);
}
