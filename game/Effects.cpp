#include "Effects.h"
#include "GameDirector.h"
#include "GameMain.h"
#include "Task.h"

namespace {

uint32_t Argb(int32_t alpha, uint32_t rgb) { return (static_cast<uint32_t>(alpha) << 24) | rgb; }

// Segment i of n starts at i * 65536 / n, a quarter turn back.
VornAngle SegmentAngle(int32_t i, int32_t n)
{
    return static_cast<VornAngle>(static_cast<int64_t>(i) * 65536 / n) - 0x4000;
}

VornVertex3D Vertex(float x, float y, float z, uint32_t colour)
{
    VornVertex3D v = {};
    v.x = x;
    v.y = y;
    v.z = z;
    v.colour = colour;
    return v;
}

// A point of the circle of radius r at angle a in the XY plane, at height h on z, turned by m and
// moved to the centre.
VornVertex3D RingPoint(const VornMatrix& m, const VornVector3& centre, VornAngle a, float r, float h, uint32_t colour)
{
    VornVector3 p(VornMath::Cos(a) * r, VornMath::Sin(a) * r, h);
    p.TransformSelf(m);
    return Vertex(p.x + centre.x, p.y + centre.y, p.z + centre.z, colour);
}

// Two triangles over the quad a0 b0 b1 a1 (a the first edge, b the second).
void PushQuad(VornPrimitive3DHandle batch, const VornVertex3D& a0, const VornVertex3D& b0, const VornVertex3D& a1,
              const VornVertex3D& b1)
{
    const VornVertex3D v[6] = {a0, b0, b1, a0, b1, a1};
    VornPrimitive3D::PushPolygon(batch, v, 2);
}

}  // namespace

void DrawDisc(VornPrimitive3DHandle batch, float x, float y, float z, float radius, uint32_t colour, int32_t segments)
{
    if (batch == VORN_INVALID_HANDLE) return;
    for (int32_t i = 0; i < segments; ++i) {
        const VornAngle a0 = SegmentAngle(i, segments), a1 = SegmentAngle(i + 1, segments);
        const VornVertex3D v[3] = {
            Vertex(x, y, z, colour),
            Vertex(x + VornMath::Cos(a0) * radius, y + VornMath::Sin(a0) * radius, z, colour),
            Vertex(x + VornMath::Cos(a1) * radius, y + VornMath::Sin(a1) * radius, z, colour),
        };
        VornPrimitive3D::PushPolygon(batch, v, 1);
    }
}

void DrawRing(VornPrimitive3DHandle batch, float x, float y, float z, float innerRadius, float outerRadius,
              uint32_t innerColour, uint32_t outerColour, int32_t segments, VornAngle rx, VornAngle ry, VornAngle rz)
{
    if (batch == VORN_INVALID_HANDLE) return;
    VornMatrix m;
    m.RotationXYZ(rx, ry, rz);
    const VornVector3 centre(x, y, z);
    for (int32_t i = 0; i < segments; ++i) {
        const VornAngle a0 = SegmentAngle(i, segments), a1 = SegmentAngle(i + 1, segments);
        PushQuad(batch, RingPoint(m, centre, a0, innerRadius, 0.0f, innerColour),
                 RingPoint(m, centre, a0, outerRadius, 0.0f, outerColour),
                 RingPoint(m, centre, a1, innerRadius, 0.0f, innerColour),
                 RingPoint(m, centre, a1, outerRadius, 0.0f, outerColour));
    }
}

void DrawBand(VornPrimitive3DHandle batch, float x, float y, float z, float radius, float width, uint32_t colour,
              int32_t segments, VornAngle rx, VornAngle ry, VornAngle rz)
{
    if (batch == VORN_INVALID_HANDLE) return;
    VornMatrix m;
    m.RotationXYZ(rx, ry, rz);
    const VornVector3 centre(x, y, z);
    const float h = width / 2.0f;
    for (int32_t i = 0; i < segments; ++i) {
        const VornAngle a0 = SegmentAngle(i, segments), a1 = SegmentAngle(i + 1, segments);
        PushQuad(batch, RingPoint(m, centre, a0, radius, -h, colour), RingPoint(m, centre, a0, radius, h, colour),
                 RingPoint(m, centre, a1, radius, -h, colour), RingPoint(m, centre, a1, radius, h, colour));
    }
}

VornAngle ExplosionSpin(int32_t frame, int32_t random)
{
    return static_cast<VornAngle>((static_cast<int64_t>(frame) * random * 65536 / 360) & 0xFFFF);
}

Explosion::Explosion(float x, float y, float z)
{
    position = VornVector3(x, y, z);
    g_taskList->Add(this, PRIORITY_EFFECT);
    spin = VornMath::Rand();
    for (Fragment& f : fragments) {
        f.position = position;
        const float vx = VornMath::RandFloat(-0.3f, 0.3f);
        const float vy = VornMath::RandFloat(-0.3f, 0.3f);
        const float vz = VornMath::RandFloat(-0.3f, 0.3f);
        f.velocity = VornVector3(vx, vy, vz);
    }
    for (VornVector3& p : particles) {
        const float px = VornMath::RandFloat(-3.0f, 3.0f);
        const float py = VornMath::RandFloat(-3.0f, 3.0f);
        const float pz = VornMath::RandFloat(-3.0f, 3.0f);
        p = VornVector3(px, py, pz);
    }
}

Explosion::~Explosion() { g_taskList->Kill(this); }

void Explosion::Run()
{
    scale += 5.0f;
    if (scale > 17.0f) {
        scale = 17.0f;
        fadeAlpha -= 15;
        if (fadeAlpha < 0) {
            fadeAlpha = 0;
            g_taskList->Kill(this);
        }
    }
    ringRadius += 0.4f;
    ringAlpha -= 25;
    if (ringAlpha < 0) ringAlpha = 0;

    const VornPrimitive3DHandle batch = g_director ? g_director->GetPrimitive3D() : VORN_INVALID_HANDLE;
    for (Fragment& f : fragments) {
        if (frame < 10) f.position += f.velocity;
        DrawDisc(batch, f.position.x, f.position.y, f.position.z, 0.1f, Argb(fadeAlpha, 0xFF8040), 8);
    }
    ++frame;
    DrawRing(batch, position.x, position.y, position.z, ringRadius, ringRadius + 0.3f, Argb(ringAlpha, 0xFFFFFF),
             Argb(ringAlpha, 0xFFFFFF), 24, spin, spin, spin);

    const VornLine3DHandle lines = g_director ? g_director->GetLine3D() : VORN_INVALID_HANDLE;
    for (VornVector3& p : particles) {
        const VornVertex3D ends[2] = {
            Vertex(position.x, position.y, position.z, 0x00FFFF00),
            Vertex(position.x + p.x, position.y + p.y, position.z + p.z, Argb(ringAlpha, 0xFFA064)),
        };
        if (lines != VORN_INVALID_HANDLE) VornLine3D::PushLine(lines, ends, 1);
        p.x += p.x > 0.0f ? 0.3f : -0.3f;
        p.y += p.y > 0.0f ? 0.3f : -0.3f;
        p.z += p.z > 0.0f ? 0.3f : -0.3f;
    }

    const VornModelExHandle ball = g_director ? g_director->GetModel(MODEL_BALL) : VORN_INVALID_HANDLE;
    VornModelEx::SetAlpha(ball, static_cast<uint32_t>(fadeAlpha), -1, -1);
    VornModelEx::TransformInit(ball);
    VornModelEx::RotationX(ball, ExplosionSpin(frame, VornMath::Rand()));
    VornModelEx::RotationY(ball, ExplosionSpin(frame, VornMath::Rand()));
    VornModelEx::RotationZ(ball, ExplosionSpin(frame, VornMath::Rand()));
    VornModelEx::SetScale(ball, scale, scale, scale);
    VornModelEx::SetPosition(ball, position.x, position.y, position.z);
    VornModelEx::TransformUpdate(ball, 0.0f, false);
    VornModelEx::Rendering(ball);
}

Shockwave::Shockwave(float x, float y, float z, float s) : baseY(y), strength(s)
{
    position = VornVector3(x, y, z);
    g_taskList->Add(this, PRIORITY_SHOCKWAVE);
    if (g_director) g_director->PlaySound(SOUND_EXPLOS2);
}

Shockwave::~Shockwave() { g_taskList->Kill(this); }

void Shockwave::Run()
{
    height += 2.0f;
    if (height < strength)
        position.y += 1.0f;
    else
        height = strength;
    width += 0.5f;
    if (width > strength / 5.0f) width = strength / 5.0f;

    if (++frame > 30) {
        alpha -= 20;
        if (alpha < 1) {
            alpha = 0;
            g_taskList->Kill(this);
        }
    }

    const VornPrimitive3DHandle batch = g_director ? g_director->GetPrimitive3D() : VORN_INVALID_HANDLE;
    // Three rings rising from the ground, started 5 frames apart at their own heights.
    const float ringY[3] = {strength / 10.0f, strength / 4.0f, strength / 2.0f};
    for (int r = 0; r < 3; ++r) {
        if (frame <= 5 * r) continue;
        ringAlpha[r] -= 20;
        if (ringAlpha[r] < 0) ringAlpha[r] = 0;
        ringRadius[r] += 2.0f;
        const uint32_t colour = Argb(ringAlpha[r], 0xFFFFFF);
        DrawRing(batch, position.x, baseY + ringY[r], position.z, ringRadius[r], ringRadius[r] + 0.5f, colour, colour,
                 24, 0x4000, 0, 0);
    }
    // The wall along the ground, repeating as it fades.
    ringRadius[3] += 1.5f;
    ringAlpha[3] -= 24;
    if (ringAlpha[3] < 1) {
        ringRadius[3] = 0.0f;
        ringAlpha[3] = 255;
    }
    DrawBand(batch, position.x, baseY, position.z, ringRadius[3], 0.8f, Argb(ringAlpha[3], 0xFFFFFF), 16, 0x4000, 0, 0);

    const VornModelExHandle torus = g_director ? g_director->GetModel(MODEL_TORUS) : VORN_INVALID_HANDLE;
    const uint32_t now = GameTime();
    VornModelEx::SetAlpha(torus, static_cast<uint32_t>(alpha), -1, -1);
    VornModelEx::TransformInit(torus);
    VornModelEx::RotationY(torus, static_cast<VornAngle>((now * static_cast<uint32_t>(-100)) & 0xFFFFu));
    VornModelEx::SetScale(torus, width, height, width);
    VornModelEx::SetPosition(torus, position.x, position.y, position.z);
    VornModelEx::TransformUpdate(torus, 0.0f, false);
    VornModelEx::SetSlideTextureV(torus, static_cast<float>(now % 500) / 500.0f, -1);
    VornModelEx::Rendering(torus);
}

Trail::Trail(float x, float y, float z, VornAngle rx, VornAngle ry, VornAngle rz, int32_t n, uint8_t f)
    : innerAlpha(f ? 127 : 255), segments(n), rotationX(rx), rotationY(ry), rotationZ(rz), flag(f)
{
    position = VornVector3(x, y, z);
    g_taskList->Add(this, PRIORITY_EFFECT);
}

Trail::~Trail() { g_taskList->Kill(this); }

void Trail::Run()
{
    radius += 1.0f;
    outerAlpha -= 30;
    innerAlpha -= 30;
    if (outerAlpha < 0) outerAlpha = 0;
    if (innerAlpha < 0) innerAlpha = 0;
    if (outerAlpha < 1) g_taskList->Kill(this);
    DrawRing(g_director ? g_director->GetPrimitive3D() : VORN_INVALID_HANDLE, position.x, position.y, position.z,
             radius, radius + 0.5f, Argb(innerAlpha, 0xFFFFFF), Argb(outerAlpha, 0xFFFFFF), segments, rotationX,
             rotationY, rotationZ);
}

Dust::Dust(float x, float y, float z, VornAngle a) : angle(a)
{
    position = VornVector3(x, y, z);
    g_taskList->Add(this, PRIORITY_EFFECT);
}

Dust::~Dust() { g_taskList->Kill(this); }

// The puff only queues its quad: the director's flush uploads and draws batch 0 once a frame.
void Dust::Run()
{
    size += 2.0f;
    alpha -= 20;
    if (alpha < 0) {
        // Faded out: nothing left to draw (a negative alpha would wrap to a nearly opaque colour).
        g_taskList->Kill(this);
        return;
    }
    if (frame % 2 == 0) size /= 1.5f;
    ++frame;
    if (!g_director) return;
    VornPosture posture;
    posture.RotationY(angle);
    const VornRect src = {0.0f, 0.0f, 256.0f, 256.0f};
    VornSprite3D::DrawSquare(g_director->GetSprite3D(0), &posture, position.x, position.y + size / 4.0f, position.z,
                             size, size, &src, Argb(alpha, 0xFFFFFF), 1);
}
