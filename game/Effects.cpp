#include "Effects.h"
#include "Task.h"

void DrawDisc(VornPrimitive3DHandle, float, float, float, float, uint32_t, int32_t) {}
void DrawRing(VornPrimitive3DHandle, float, float, float, float, float, uint32_t, uint32_t, int32_t, VornAngle, VornAngle,
              VornAngle)
{
}
void DrawBand(VornPrimitive3DHandle, float, float, float, float, float, uint32_t, int32_t, VornAngle, VornAngle, VornAngle)
{
}
VornAngle ExplosionSpin(int32_t, int32_t) { return 0; }

Explosion::Explosion(float x, float y, float z)
{
    position = VornVector3(x, y, z);
    g_taskList->Add(this, PRIORITY_EFFECT);
}
Explosion::~Explosion() { g_taskList->Kill(this); }
void Explosion::Run() {}

Shockwave::Shockwave(float x, float y, float z, float s) : baseY(y), strength(s)
{
    position = VornVector3(x, y, z);
    g_taskList->Add(this, PRIORITY_SHOCKWAVE);
}
Shockwave::~Shockwave() { g_taskList->Kill(this); }
void Shockwave::Run() {}

Trail::Trail(float x, float y, float z, VornAngle rx, VornAngle ry, VornAngle rz, int32_t n, uint8_t f)
    : innerAlpha(f ? 127 : 255), segments(n), rotationX(rx), rotationY(ry), rotationZ(rz), flag(f)
{
    position = VornVector3(x, y, z);
    g_taskList->Add(this, PRIORITY_EFFECT);
}
Trail::~Trail() { g_taskList->Kill(this); }
void Trail::Run() {}

Dust::Dust(float x, float y, float z, VornAngle a) : angle(a)
{
    position = VornVector3(x, y, z);
    g_taskList->Add(this, PRIORITY_EFFECT);
}
Dust::~Dust() { g_taskList->Kill(this); }
void Dust::Run() {}
