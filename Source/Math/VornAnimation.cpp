#include "VornAnimation.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cmath>

namespace {

void DestroyCurve(VornAnimationData& curve)
{
    if (curve.coefficients)
        VORN_FREE(curve.coefficients);
    if (curve.scratch)
        VORN_FREE(curve.scratch);
    if (curve.keys)
        VORN_FREE(curve.keys);
}

VornHandleTable<VornAnimationData> g_curves(DestroyCurve, nullptr);
uint32_t g_max = 0;

VornAnimationData* Live(VornHandle handle)
{
    return g_curves.GetLive(handle);
}

// (t - from) / (to - from), 0 when the keys share their time or are out of order.
float Fraction(float t, float from, float to)
{
    const float span = to - from;
    if (!(span > 0.0f))
        return 0.0f;
    return (t - from) / span;
}

} // namespace

bool VornAnimation::Initialize()
{
    VornLog::Title("VornAnimationクラスの初期化");
    VornLog::Print("アニメーション用メモリ確保");
    VornLog::LineBreak();
    g_curves.Finalize();
    g_curves.SetMax(g_max ? g_max : DEFAULT_MAX);
    if (!g_curves.Initialize(__FILE__, __LINE__)) {
        VornLog::StrongRed("　　　アニメーション用メモリの確保に失敗");
        VornLog::LineBreak();
        return false;
    }
    return true;
}

void VornAnimation::Finalize()
{
    VornLog::Title("VornAnimationクラスの解放");
    g_curves.Finalize();
}

void VornAnimation::SetMax(uint32_t count)
{
    g_max = count;
}

VornHandle VornAnimation::AllocRecord()
{
    return g_curves.AllocRecord();
}

VornHandle VornAnimation::Create(uint32_t count)
{
    if (count == 0 || count > 0xFFFFFFFFu / sizeof(VornAnimationKey))
        return VORN_INVALID_HANDLE;
    const VornHandle handle = AllocRecord();
    VornAnimationData* curve = g_curves.Get(handle);
    if (!curve)
        return VORN_INVALID_HANDLE;
    curve->count = count;
    curve->keys = static_cast<VornAnimationKey*>(VORN_ALLOC_ZERO(count * static_cast<uint32_t>(sizeof(VornAnimationKey))));
    curve->coefficients = static_cast<float*>(VORN_ALLOC_ZERO(count * static_cast<uint32_t>(sizeof(float))));
    curve->scratch = static_cast<float*>(VORN_ALLOC_ZERO(count * static_cast<uint32_t>(sizeof(float))));
    if (!curve->keys || !curve->coefficients || !curve->scratch) {
        g_curves.ReleaseRecord(handle);
        return VORN_INVALID_HANDLE;
    }
    for (uint32_t i = 0; i < count; i++) {
        curve->keys[i].prev = i > 0 ? &curve->keys[i - 1] : nullptr;
        curve->keys[i].next = i + 1 < count ? &curve->keys[i + 1] : nullptr;
    }
    return handle;
}

void VornAnimation::Release(VornHandle handle)
{
    g_curves.ReleaseRecord(handle);
}

void VornAnimation::Delete(uint32_t index)
{
    g_curves.ReleaseRecord(index);
}

const VornAnimationData* VornAnimation::GetData(VornHandle handle)
{
    return Live(handle);
}

void VornAnimation::SetKey(VornHandle handle, uint32_t index, float time, float value)
{
    VornAnimationData* curve = Live(handle);
    if (!curve)
        return;
    VornAnimationKey& key = curve->keys[index % curve->count];
    key.time = time;
    key.value = value;
    curve->firstTime = curve->keys[0].time;
    curve->lastTime = curve->keys[curve->count - 1].time;
}

// Divided differences; keys sharing a time contribute 0 instead of dividing by zero.
void VornAnimation::ComputeNewton(VornHandle handle)
{
    VornAnimationData* curve = Live(handle);
    if (!curve)
        return;
    const VornAnimationKey* keys = curve->keys;
    float* s = curve->scratch;
    for (uint32_t i = 0; i < curve->count; i++) {
        s[i] = keys[i].value;
        for (uint32_t j = i; j-- > 0;) {
            const float span = keys[i].time - keys[j].time;
            s[j] = span != 0.0f ? (s[j + 1] - s[j]) / span : 0.0f;
        }
        curve->coefficients[i] = s[0];
    }
}

// Largest index whose time is not above t, found by halving: every step narrows the range, so it
// ends on any key times (unsorted, repeated, not a number) and reads only keys 0 .. count - 1.
const VornAnimationKey* VornAnimation::SearchKey(const VornAnimationKey* keys, float t, uint32_t count)
{
    if (t < keys[0].time)
        return &keys[0];
    if (t >= keys[count - 1].time)
        return &keys[count - 1];
    uint32_t lo = 0, hi = count - 1;
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo + 1) / 2;
        if (t >= keys[mid].time)
            lo = mid;
        else
            hi = mid - 1;
    }
    return &keys[lo];
}

float VornAnimation::GetValue(VornHandle handle, float time, uint32_t kind, float defaultValue)
{
    const VornAnimationData* curve = Live(handle);
    if (!curve)
        return defaultValue;
    const float t = curve->lastTime > 0.0f ? std::fmod(time, curve->lastTime) : 0.0f;
    const VornAnimationKey* key = SearchKey(curve->keys, t, curve->count);
    const VornAnimationKey* next = key->next;
    if (!next)
        return key->value;
    const float f = key->value != next->value ? Fraction(t, key->time, next->time) : 0.0f;
    switch (kind) {
    case VORN_ANIMATION_STEP:
        return key->value;
    case VORN_ANIMATION_LINEAR:
        return key->value + (next->value - key->value) * f;
    case VORN_ANIMATION_NEWTON: {
        const uint32_t n = curve->count;
        float v = curve->coefficients[n - 1];
        for (uint32_t i = n - 1; i-- > 0;)
            v = (t - curve->keys[i].time) * v + curve->coefficients[i];
        return v;
    }
    case VORN_ANIMATION_SPLINE_NEXT:
        return Spline(key->value, next->value, next->value, f);
    case VORN_ANIMATION_SPLINE_CURRENT:
        return Spline(key->value, key->value, next->value, f);
    case VORN_ANIMATION_BEZIER_NEXT:
        return Bezier(key->value, next->value, next->value, f);
    case VORN_ANIMATION_BEZIER_CURRENT:
        return Bezier(key->value, key->value, next->value, f);
    case VORN_ANIMATION_HERMITE: {
        const float dv = next->value - key->value;
        float start = dv;
        if (key->prev) {
            const float span = next->time - key->prev->time;
            if (span > 0.0f)
                start = (key->value - key->prev->value + dv) * (next->time - key->time) / span;
        }
        float end = dv;
        if (next->next) {
            const float span = next->next->time - key->time;
            if (span > 0.0f)
                end = (next->next->value - next->value + dv) * (next->time - key->time) / span;
        }
        float h1, h2, h3, h4;
        HermiteBasis(f, &h1, &h2, &h3, &h4);
        return h1 * key->value + h2 * next->value + h3 * start + h4 * end;
    }
    default:
        return defaultValue;
    }
}

float VornAnimation::FlatSpeed(float start, float end, int32_t count, int32_t index)
{
    if (count == 0)
        return end;
    return start + (end - start) * static_cast<float>(index) / static_cast<float>(count);
}

float VornAnimation::AddSpeed(float start, float end, int32_t count, int32_t index)
{
    const int64_t total = (static_cast<int64_t>(count) * (count + 1)) >> 1;
    if (total == 0)
        return end;
    const int64_t done = (static_cast<int64_t>(index) * (index + 1)) >> 1;
    return start + (end - start) * static_cast<float>(done) / static_cast<float>(total);
}

float VornAnimation::SubSpeed(float start, float end, int32_t count, int32_t index)
{
    const int64_t total = (static_cast<int64_t>(count) * (count + 1)) >> 1;
    if (total == 0)
        return end;
    const int64_t done = ((2 * static_cast<int64_t>(count) - index + 1) * index) >> 1;
    return start + (end - start) * static_cast<float>(done) / static_cast<float>(total);
}

float VornAnimation::Bezier(float a, float b, float c, float t)
{
    const float u = 1.0f - t;
    return u * u * a + 2.0f * u * t * b + t * t * c;
}

float VornAnimation::Spline(float p0, float p1, float p2, float t)
{
    const float a = (p1 - p0) * (2.0f * t - 1.0f) + p1;
    const float b = (p2 - p1) * (2.0f * t - 2.0f) + p2;
    return (b - a) * (2.0f * t - 2.0f) * 0.5f + b;
}

void VornAnimation::HermiteBasis(float t, float* h1, float* h2, float* h3, float* h4)
{
    const float t2 = t * t;
    const float t3 = t2 * t;
    *h2 = 3.0f * t2 - 2.0f * t3;
    *h1 = 1.0f - *h2;
    *h4 = t3 - t2;
    *h3 = *h4 - t2 + t;
}
