#include "VornXAnimator.h"
#include "VornXKeyReader.h"
#include <cmath>
#include <cstring>

namespace {

// Index of the last key at or before tick (0 before the first).
template <typename Key> size_t Before(const std::vector<Key>& keys, double tick)
{
    size_t i = 0;
    while (i + 1 < keys.size() && keys[i + 1].time <= tick) ++i;
    return i;
}

// Fraction of tick between key i and key i + 1 (0 at or past the last key).
template <typename Key> float Between(const std::vector<Key>& keys, size_t i, double tick)
{
    if (i + 1 >= keys.size() || keys[i + 1].time <= keys[i].time || tick <= keys[i].time) return 0.0f;
    return static_cast<float>((tick - keys[i].time) / (keys[i + 1].time - keys[i].time));
}

template <typename Key> D3DXVECTOR3 Lerp(const std::vector<Key>& keys, double tick)
{
    const size_t i = Before(keys, tick);
    const float t = Between(keys, i, tick);
    if (t == 0.0f) return keys[i].v;
    D3DXVECTOR3 out;
    D3DXVec3Lerp(&out, &keys[i].v, &keys[i + 1].v, t);
    return out;
}

}  // namespace

struct VornXAnimatorReader {
    static void Keys(const VornXDocument& doc, const VornXObject& o, VornXAnimator::Animation* a, uint32_t* length)
    {
        VornXKeyBlock block;
        if (!VornXKeyReader::Take(o.count ? &doc.cells[o.first] : nullptr, static_cast<size_t>(o.count) * 4, a->frame.c_str(), &block))
            return;
        float v[16];
        uint32_t time = 0;
        for (uint32_t i = 0; i < block.count; ++i) {
            VornXKeyReader::Key(block, i, &time, v);
            *length = time > *length ? time : *length;
            switch (block.type) {
            case XKEY_ROTATION: a->rotation.push_back({time, D3DXQUATERNION(-v[1], -v[2], -v[3], v[0])}); break;
            case XKEY_SCALE: a->scale.push_back({time, D3DXVECTOR3(v[0], v[1], v[2])}); break;
            case XKEY_POSITION: a->position.push_back({time, D3DXVECTOR3(v[0], v[1], v[2])}); break;
            default: a->matrix.push_back({time, D3DXMATRIX(v)}); break;
            }
        }
    }

    static void Set(const VornXDocument& doc, const VornXObject& o, VornXAnimator::Set* set)
    {
        for (int32_t c = o.child; c >= 0; c = doc.objects[c].next) {
            const VornXObject& child = doc.objects[c];
            if (child.reference || child.type != XTYPE_ANIMATION) continue;
            VornXAnimator::Animation a;
            for (int32_t k = child.child; k >= 0; k = doc.objects[k].next) {
                const VornXObject& part = doc.objects[k];
                if (part.reference) a.frame = doc.NameOf(part);
                else if (part.type == XTYPE_ANIMATION_KEY) Keys(doc, part, &a, &set->length);
            }
            set->animations.push_back(std::move(a));
        }
    }
};

VornXAnimator* VornXAnimator::Create(const VornXDocument& doc)
{
    VornXAnimator* animator = nullptr;
    for (int32_t i = doc.first; i >= 0; i = doc.objects[i].next) {
        const VornXObject& o = doc.objects[i];
        if (o.type == XTYPE_ANIMATION_SET) {
            if (!animator) animator = new VornXAnimator();
            animator->sets_.emplace_back();
            VornXAnimatorReader::Set(doc, o, &animator->sets_.back());
        }
    }
    if (!animator) return nullptr;
    for (int32_t i = doc.first; i >= 0; i = doc.objects[i].next) {
        const VornXObject& o = doc.objects[i];
        if (o.type == XTYPE_ANIM_TICKS_PER_SECOND && o.count >= 1 && doc.cells[o.first]) animator->ticksPerSecond_ = doc.cells[o.first];
    }
    // Track 0 plays set 0; track t is set t, disabled.
    animator->tracks_.resize(animator->sets_.size());
    for (uint32_t t = 0; t < animator->tracks_.size(); ++t) animator->tracks_[t].set = t;
    animator->tracks_[0].enabled = true;
    return animator;
}

void VornXAnimator::RegisterOutput(const char* name, D3DXMATRIX* matrix)
{
    if (!name || !matrix) return;
    for (const Set& set : sets_)
        for (const Animation& a : set.animations)
            if (a.frame == name) {
                outputs_.push_back({name, matrix, *matrix});
                return;
            }
}

bool VornXAnimator::SetTrackSet(uint32_t track, uint32_t set)
{
    if (track >= tracks_.size() || set >= sets_.size()) return false;
    tracks_[track].set = set;
    return true;
}

bool VornXAnimator::SetTrackEnable(uint32_t track, bool enable)
{
    if (track >= tracks_.size()) return false;
    tracks_[track].enabled = enable;
    return true;
}

bool VornXAnimator::SetTrackSpeed(uint32_t track, float speed)
{
    if (track >= tracks_.size()) return false;
    tracks_[track].speed = speed;
    return true;
}

bool VornXAnimator::SetTrackWeight(uint32_t track, float weight)
{
    if (track >= tracks_.size()) return false;
    tracks_[track].weight = weight;
    return true;
}

bool VornXAnimator::SetTrackPosition(uint32_t track, double position)
{
    if (track >= tracks_.size()) return false;
    tracks_[track].position = position;
    return true;
}

void VornXAnimator::AdvanceTime(double seconds)
{
    for (Track& t : tracks_) t.position += seconds * t.speed;
    Pose();
}

bool VornXAnimator::Sample(const Animation& a, double tick, const D3DXMATRIX& bind, D3DXVECTOR3* s,
                           D3DXQUATERNION* q, D3DXVECTOR3* p, D3DXMATRIX* m) const
{
    if (!a.matrix.empty()) {
        *m = a.matrix[Before(a.matrix, tick)].m;
        return true;
    }
    *s = a.scale.empty() ? D3DXVECTOR3(1.0f, 1.0f, 1.0f) : Lerp(a.scale, tick);
    *p = a.position.empty() ? D3DXVECTOR3(bind._41, bind._42, bind._43) : Lerp(a.position, tick);
    D3DXQuaternionIdentity(q);
    if (!a.rotation.empty()) {
        const size_t i = Before(a.rotation, tick);
        const float t = Between(a.rotation, i, tick);
        if (t == 0.0f) *q = a.rotation[i].q;
        else D3DXQuaternionSlerp(q, &a.rotation[i].q, &a.rotation[i + 1].q, t);
    }
    return false;
}

void VornXAnimator::Pose()
{
    for (const Output& out : outputs_) {
        float total = 0.0f;
        D3DXVECTOR3 scale(0, 0, 0), position(0, 0, 0);
        D3DXQUATERNION rotation(0, 0, 0, 0);
        D3DXMATRIX sum;
        sum = D3DXMATRIX(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
        bool matrices = false;
        for (const Track& track : tracks_) {
            if (!track.enabled || track.weight == 0.0f) continue;
            const Set& set = sets_[track.set];
            const Animation* a = nullptr;
            for (const Animation& candidate : set.animations)
                if (candidate.frame == out.name) a = &candidate;
            if (!a) continue;
            double tick = track.position * ticksPerSecond_;
            if (set.length > 0) {
                tick = std::fmod(tick, static_cast<double>(set.length));
                if (tick < 0.0) tick += set.length;
            } else {
                tick = 0.0;
            }
            D3DXVECTOR3 s, p;
            D3DXQUATERNION q;
            D3DXMATRIX m;
            const float w = track.weight;
            if (Sample(*a, tick, out.bind, &s, &q, &p, &m)) {
                sum += m * w;
                matrices = true;
            } else {
                D3DXMATRIX sm, rm;
                D3DXMatrixScaling(&sm, s.x, s.y, s.z);
                D3DXMatrixRotationQuaternion(&rm, &q);
                m = sm * rm;
                m._41 = p.x, m._42 = p.y, m._43 = p.z;
                sum += m * w;
                scale += s * w;
                position += p * w;
                // Quaternions on one hemisphere before they are summed.
                if (D3DXQuaternionDot(&rotation, &q) < 0.0f) q = -q;
                rotation += q * w;
            }
            total += w;
        }
        if (total == 0.0f) continue;
        if (matrices) {
            *out.matrix = sum / total;
            continue;
        }
        scale /= total;
        position /= total;
        D3DXQuaternionNormalize(&rotation, &rotation);
        D3DXMATRIX sm, rm;
        D3DXMatrixScaling(&sm, scale.x, scale.y, scale.z);
        D3DXMatrixRotationQuaternion(&rm, &rotation);
        *out.matrix = sm * rm;
        out.matrix->_41 = position.x;
        out.matrix->_42 = position.y;
        out.matrix->_43 = position.z;
    }
}
