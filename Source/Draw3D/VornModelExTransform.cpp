// VornModelEx: placement, the hierarchy walk with animation sampling, baked animations and the
// matrices of parts.
#include "VornModelEx.h"
#include "Vorn3D.h"
#include "VornAnimation.h"
#include "VornCamera.h"
#include "VornLog.h"
#include "VornMath.h"
#include "VornMemory.h"
#include "VornModelExWalk.h"
#include <cmath>
#include <cstring>

using namespace vorn_modelex;

namespace {

void Conjugate(D3DXQUATERNION* q, const VornModelExRotationKey& k) { *q = D3DXQUATERNION(-k.x, -k.y, -k.z, k.w); }

// The local matrix of a frame from the enabled sets; false when no enabled set gives one.
bool SampleAnimation(VornModelExFrame* frame, VornModelExAnimationSet* sets, float time, D3DXMATRIX* local)
{
    bool wrote = false;
    VornModelExAnimationSet* set = sets;
    for (uint32_t n = 0; n < frame->animationCount && set; ++n, set = set->next) {
        if (!set->enabled) continue;
        VornModelExAnimation* a = frame->animation[n];
        if (!set->hasMatrixKeys) {
            if (!a) continue;
            float sx = 1.0f, sy = 1.0f, sz = 1.0f;
            if (a->scaleCount) {
                for (uint32_t c = 0; c < 3; ++c)
                    a->scale[c] = VornAnimation::GetValue(a->scaleCurve[c], time, VORN_ANIMATION_LINEAR, 1.0f);
                sx = a->scale[0], sy = a->scale[1], sz = a->scale[2];
            }
            D3DXQUATERNION q(0.0f, 0.0f, 0.0f, 1.0f);
            if (a->rotationCount) {
                const float step = VornAnimation::GetValue(a->rotationStep, time, VORN_ANIMATION_STEP, 0.0f);
                const float linear = VornAnimation::GetValue(a->rotationLinear, time, VORN_ANIMATION_LINEAR, 0.0f);
                uint32_t i = step > 0.0f ? static_cast<uint32_t>(step) : 0u;
                if (i >= a->rotationCount) i = a->rotationCount - 1;
                D3DXQUATERNION q1, q2;
                Conjugate(&q1, a->rotationKeys[i]);
                Conjugate(&q2, a->rotationKeys[(i + 1) % a->rotationCount]);
                D3DXQuaternionSlerp(&q, &q1, &q2, linear - step);
            }
            const D3DXMATRIX& file = *frame->file.Get();
            float px = file._41, py = file._42, pz = file._43;
            if (a->positionCount) {
                for (uint32_t c = 0; c < 3; ++c)
                    a->position[c] = VornAnimation::GetValue(a->positionCurve[c], time, VORN_ANIMATION_LINEAR, 0.0f);
                px = a->position[0], py = a->position[1], pz = a->position[2];
            }
            D3DXMATRIX s, r;
            D3DXMatrixScaling(&s, sx, sy, sz);
            D3DXMatrixRotationQuaternion(&r, &q);
            D3DXMatrixMultiply(local, &s, &r);
            local->_41 += px;
            local->_42 += py;
            local->_43 += pz;
            wrote = true;
        } else if (!a) {
            *local = *frame->file.Get();
            local->_41 += frame->user.Get()->_41;
            local->_42 += frame->user.Get()->_42;
            local->_43 += frame->user.Get()->_43;
            wrote = true;
        } else if (a->matrixCount) {
            const float step = VornAnimation::GetValue(a->matrixStep, time, VORN_ANIMATION_STEP, 0.0f);
            uint32_t i = step > 0.0f ? static_cast<uint32_t>(step) : 0u;
            if (i >= a->matrixCount) i = a->matrixCount - 1;
            a->sampledMatrix = a->matrixKeys[i].matrix;
            *local = *a->sampledMatrix.Get();
            wrote = true;
        }
    }
    return wrote;
}

// Each mesh container takes the frame's matrix and its culling box.
void PlaceMeshes(VornModelExFrame* frame)
{
    for (VornModelExMesh* m = frame->meshes; m; m = m->next) {
        m->combined = frame->combined;
        VornMath::TransformBox(&m->cullingBox, m->boxMin, m->boxMax, m->combined);
    }
}

void WorldMatrix(VornModelExRecord& r)
{
    r.posture.UpdateMatrices();
    D3DXMATRIX scaling;
    D3DXMatrixScaling(&scaling, r.scaleX, r.scaleY, r.scaleZ);
    D3DXMatrixMultiply(r.world.Get(), &scaling, r.posture.world.Get());
}

}  // namespace

void VornModelEx::UpdateFrame(VornModelExRecord& r, VornModelExFrame* root, const D3DXMATRIX& parent, float time,
                              bool animate)
{
    struct Item { VornModelExFrame* frame; const D3DXMATRIX* parent; };
    std::vector<Item> stack;
    if (root) stack.push_back({root, &parent});
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        VornModelExFrame* f = item.frame;
        D3DXMATRIX local;
        const bool animated = animate && f->animationCount > 0 && f->animation[0] && SampleAnimation(f, r.sets, time, &local);
        if (!animated) D3DXMatrixMultiply(&local, f->user.Get(), f->file.Get());
        D3DXMatrixMultiply(f->combined.Get(), &local, item.parent);
        PlaceMeshes(f);
        if (f->child) stack.push_back({f->child, f->combined.Get()});
        if (f->sibling) stack.push_back({f->sibling, item.parent});
    }
}

void VornModelEx::SetPosition(VornModelExHandle model, float x, float y, float z)
{
    if (VornModelExRecord* r = Live(model)) r->posture.SetPosition(x, y, z);
}

void VornModelEx::SetScale(VornModelExHandle model, float x, float y, float z)
{
    if (VornModelExRecord* r = Live(model)) {
        r->scaleX = x;
        r->scaleY = y;
        r->scaleZ = z;
    }
}

void VornModelEx::RotationX(VornModelExHandle model, VornAngle a) { if (VornModelExRecord* r = Live(model)) r->posture.RotationX(a); }
void VornModelEx::RotationY(VornModelExHandle model, VornAngle a) { if (VornModelExRecord* r = Live(model)) r->posture.RotationY(a); }
void VornModelEx::RotationZ(VornModelExHandle model, VornAngle a) { if (VornModelExRecord* r = Live(model)) r->posture.RotationZ(a); }
void VornModelEx::LocalRotationX(VornModelExHandle model, VornAngle a) { if (VornModelExRecord* r = Live(model)) r->posture.LocalRotationX(a); }
void VornModelEx::LocalRotationY(VornModelExHandle model, VornAngle a) { if (VornModelExRecord* r = Live(model)) r->posture.LocalRotationY(a); }
void VornModelEx::LocalRotationZ(VornModelExHandle model, VornAngle a) { if (VornModelExRecord* r = Live(model)) r->posture.LocalRotationZ(a); }

void VornModelEx::RotationQuaternion(VornModelExHandle model, const D3DXQUATERNION& q)
{
    if (VornModelExRecord* r = Live(model)) r->posture.RotationQuaternion(q);
}

void VornModelEx::LookAt(VornModelExHandle model, const D3DXVECTOR3& eye, const D3DXVECTOR3& target, const D3DXVECTOR3* up)
{
    if (VornModelExRecord* r = Live(model)) r->posture.LookAt(eye, target, up);
}

bool VornModelEx::GetPosture(VornModelExHandle model, VornPosture* out)
{
    const VornModelExRecord* r = Live(model);
    if (!r || !out) return false;
    out->Copy(r->posture);
    return true;
}

bool VornModelEx::SetPosture(VornModelExHandle model, const VornPosture* posture)
{
    VornModelExRecord* r = Live(model);
    if (!r || !posture) return false;
    r->posture.Copy(*posture);
    return true;
}

void VornModelEx::TransformInit(VornModelExHandle model)
{
    VornModelExRecord* r = Live(model);
    if (!r) return;
    r->posture.Init();
    r->world.Identity();
    r->scaleX = r->scaleY = r->scaleZ = 1.0f;
    ForEachFrame(r->root, [](VornModelExFrame* f) {
        f->combined.Identity();
        f->user.Identity();
        for (VornModelExMesh* m = f->meshes; m; m = m->next) m->combined.Identity();
    });
}

void VornModelEx::TransformUpdate(VornModelExHandle model, float time, bool animate)
{
    VornModelExRecord* r = Live(model);
    if (!r) return;
    WorldMatrix(*r);
    UpdateFrame(*r, r->root, *r->world.Get(), time, animate);
}

void VornModelEx::TransformUpdateByMatrix(VornModelExHandle model, const VornMatrix* matrix, float time, bool animate)
{
    VornModelExRecord* r = Live(model);
    if (!r || !matrix) return;
    r->world = *matrix;
    UpdateFrame(*r, r->root, *r->world.Get(), time, animate);
}

void VornModelEx::TransformPreComputeAnimation(VornModelExHandle model, int32_t length, float step)
{
    VornModelExRecord* r = Live(model);
    if (!r || !(step > 0.0f) || length <= 0) return;
    const float samplesF = static_cast<float>(length) / step;
    if (!(samplesF >= 1.0f) || samplesF > 1048576.0f) return;
    const uint32_t samples = static_cast<uint32_t>(samplesF);
    // A second bake replaces the first.
    for (uint32_t i = 0; i < r->frameCount; ++i) {
        VORN_FREE(r->frameList[i]->baked);
        r->frameList[i]->baked = nullptr;
    }
    r->sampleCount = 0;
    uint64_t bytes = 0;
    for (uint32_t i = 0; i < r->frameCount; ++i) {
        VornModelExFrame* f = r->frameList[i];
        f->baked = static_cast<VornMatrix*>(VORN_ALLOC_ZERO(samples * static_cast<uint32_t>(sizeof(VornMatrix))));
        if (!f->baked) {
            for (uint32_t k = 0; k <= i; ++k) {
                VORN_FREE(r->frameList[k]->baked);
                r->frameList[k]->baked = nullptr;
            }
            return;
        }
        bytes += samples * sizeof(VornMatrix);
    }
    r->sampleCount = samples;
    r->sampleStep = step;
    VornLog::StrongBlue("VornModelEx::TransformPreComputeAnimation");
    VornLog::Print(" : Matrix Buffer [%.5lfKB]", static_cast<double>(bytes) / 1024.0);
    VornLog::LineBreak();
    const D3DXMATRIX identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    float time = 0.0f;
    for (uint32_t s = 0; s < samples; ++s) {
        UpdateFrame(*r, r->root, identity, time, true);
        for (uint32_t i = 0; i < r->frameCount; ++i) r->frameList[i]->baked[s] = r->frameList[i]->combined;
        time += step;
    }
}

void VornModelEx::TransformUpdatePreComputed(VornModelExHandle model, float time)
{
    VornModelExRecord* r = Live(model);
    if (!r) return;
    if (r->sampleCount == 0) {
        TransformUpdate(model, time, false);
        return;
    }
    WorldMatrix(*r);
    const double span = static_cast<double>(r->sampleCount) * r->sampleStep;
    double t = std::fmod(static_cast<double>(time), span);
    if (t < 0.0) t += span;
    uint32_t s = static_cast<uint32_t>(t / r->sampleStep);
    if (s >= r->sampleCount) s = r->sampleCount - 1;
    for (uint32_t i = 0; i < r->frameCount; ++i) {
        VornModelExFrame* f = r->frameList[i];
        D3DXMatrixMultiply(f->combined.Get(), f->baked[s].Get(), r->world.Get());
        PlaceMeshes(f);
    }
}

void VornModelEx::SetAnimationSet(VornModelExHandle model, uint32_t set)
{
    VornModelExRecord* r = Live(model);
    if (!r) return;
    uint32_t n = 0;
    for (VornModelExAnimationSet* s = r->sets; s; s = s->next, ++n) s->enabled = n == set ? 1 : 0;
}

uint32_t VornModelEx::GetAnimationLength(VornModelExHandle model, uint32_t set)
{
    const VornModelExRecord* r = Live(model);
    if (!r) return 0xFFFFFFFFu;
    uint32_t n = 0;
    for (const VornModelExAnimationSet* s = r->sets; s; s = s->next, ++n)
        if (n == set) return s->length;
    return 0;
}

int32_t VornModelEx::GetAnimationSetIndex(VornModelExHandle model, const char* name)
{
    const VornModelExRecord* r = Live(model);
    if (!r || !name) return -1;
    int32_t n = 0;
    for (const VornModelExAnimationSet* s = r->sets; s; s = s->next, ++n)
        if (strcmp(s->name, name) == 0) return n;
    return -1;
}

bool VornModelEx::GetMeshMatrix(VornModelExHandle model, VornMatrix* out, int32_t mesh)
{
    const VornModelExRecord* r = Live(model);
    const VornModelExMesh* m = r ? MeshAt(r, mesh) : nullptr;
    if (!m || !out) return false;
    *out = m->combined;
    return true;
}

bool VornModelEx::GetFrameMatrix(VornModelExHandle model, VornMatrix* out, int32_t frame)
{
    const VornModelExRecord* r = Live(model);
    if (!r || !out || !r->root) return false;
    if (frame < 0) {
        *out = r->root->combined;
        return true;
    }
    if (static_cast<uint32_t>(frame) >= r->frameCount) return false;
    *out = r->frameList[frame]->combined;
    return true;
}

void VornModelEx::SetFrameMatrix(VornModelExHandle model, const VornMatrix* matrix, int32_t frame)
{
    VornModelExRecord* r = Live(model);
    if (!r || !matrix || !r->root) return;
    if (frame < 0) {
        r->root->user = *matrix;
        UpdateFrame(*r, r->root, *r->world.Get(), 0.0f, false);
    } else if (static_cast<uint32_t>(frame) < r->frameCount) {
        r->frameList[frame]->user = *matrix;
    }
}

void VornModelEx::CopyMeshMatrix(VornModelExHandle model, int32_t mesh, VornMatrix* out) { GetMeshMatrix(model, out, mesh); }

void VornModelEx::CopyFrameMatrix(VornModelExHandle model, int32_t frame, VornMatrix* out)
{
    const VornModelExRecord* r = Live(model);
    if (r && out && frame >= 0 && static_cast<uint32_t>(frame) < r->frameCount) *out = r->frameList[frame]->combined;
}

bool VornModelEx::GetMeshScreenPosition(VornModelExHandle model, VornVector3* out, int32_t mesh)
{
    const VornModelExRecord* r = Live(model);
    const VornModelExMesh* m = r ? MeshAt(r, mesh) : nullptr;
    if (!m || !out) return false;
    VornMatrix viewProjection, all;
    VornCamera::GetMatrices(nullptr, nullptr, &viewProjection, nullptr);
    all.Multiply(m->combined, viewProjection);
    D3DXVECTOR3 p;
    D3DXVec3TransformCoord(&p, &m->centre, all.Get());
    RECT viewport;
    Vorn3D::GetViewport(&viewport);
    const int32_t halfW = (viewport.right - viewport.left) / 2, halfH = -((viewport.bottom - viewport.top) / 2);
    out->x = static_cast<float>(viewport.left) + halfW + halfW * p.x;
    out->y = static_cast<float>(viewport.top) - halfH + halfH * p.y;
    out->z = p.z;
    return true;
}
