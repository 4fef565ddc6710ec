#include "VornMath.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <cmath>
#include <cstdlib>
#include <ctime>

float* VornMath::sinTable_ = nullptr;
int32_t* VornMath::atanTable_ = nullptr;

namespace {

constexpr int64_t QUARTER = 16384;
constexpr int64_t HALF = 32768;
constexpr int64_t THREE_QUARTERS = 49152;
constexpr int64_t TURN = 65536;

} // namespace

bool VornMath::Initialize()
{
    VornLog::Title("VornMathクラスの初期化");
    FreeTables();   // a second Initialize rebuilds the tables instead of leaking them

    sinTable_ = static_cast<float*>(VORN_ALLOC_ZERO(SIN_TABLE_SIZE * sizeof(float)));
    if (!sinTable_)
        return false;
    // The product is formed in double from the float nearest to 2 pi, then stored as float.
    const double pi2 = static_cast<double>(PI2);
    for (uint32_t i = 0; i < SIN_TABLE_SIZE; i++)
        sinTable_[i] = static_cast<float>(std::sin(i * pi2 / 65536.0));

    atanTable_ = static_cast<int32_t*>(VORN_ALLOC_ZERO(ATAN_TABLE_SIZE * sizeof(int32_t)));
    if (!atanTable_) {
        FreeTables();
        return false;
    }
    for (uint32_t i = 0; i < ATAN_TABLE_SIZE; i++)
        atanTable_[i] = static_cast<int32_t>(std::atan(i / 8192.0) * 65536.0 / pi2);

    RandSeed(static_cast<uint32_t>(time(nullptr)));
    return true;
}

void VornMath::Finalize()
{
    VornLog::Title("VornMathクラスの解放");
    FreeTables();
}

void VornMath::FreeTables()
{
    if (sinTable_)
        VORN_FREE(sinTable_);
    if (atanTable_)
        VORN_FREE(atanTable_);
    sinTable_ = nullptr;
    atanTable_ = nullptr;
}

// The components' magnitudes are taken and shifted in 64 bits, so any int32 pair is in range.
VornAngle VornMath::Atan(int32_t dx, int32_t dy)
{
    if (dx == 0)
        return dy < 0 ? THREE_QUARTERS : QUARTER;
    if (dy == 0)
        return dx < 0 ? HALF : 0;
    const int64_t ax = std::llabs(dx);
    const int64_t ay = std::llabs(dy);
    const int32_t* t = atanTable_;
    if (dx > 0 && dy > 0)
        return static_cast<VornAngle>(ax >= ay ? t[(ay << 13) / ax] : QUARTER - t[(ax << 13) / ay]);
    if (dx < 0 && dy > 0)
        return static_cast<VornAngle>(ax >= ay ? HALF - t[(ay << 13) / ax] : QUARTER + t[(ax << 13) / ay]);
    if (dx < 0)
        return static_cast<VornAngle>(ax >= ay ? HALF + t[(ay << 13) / ax] : THREE_QUARTERS - t[(ax << 13) / ay]);
    return static_cast<VornAngle>(ax >= ay ? TURN - t[(ay << 13) / ax] : THREE_QUARTERS + t[(ax << 13) / ay]);
}

namespace {

// trunc(smaller * 8192 / larger), kept inside the table: infinite components of equal size give
// the diagonal.
uint32_t AtanIndex(double smaller, double larger)
{
    const double q = smaller * 8192.0 / larger;
    if (!(q >= 0.0))
        return 8192;
    if (q >= 8192.0)
        return 8192;
    return static_cast<uint32_t>(q);
}

} // namespace

VornAngle VornMath::AtanF(float dx, float dy)
{
    if (std::isnan(dx) || std::isnan(dy))
        return 0;
    if (dx == 0.0)
        return dy < 0.0 ? THREE_QUARTERS : QUARTER;
    if (dy == 0.0)
        return dx < 0.0 ? HALF : 0;
    const double ax = std::fabs(static_cast<double>(dx));
    const double ay = std::fabs(static_cast<double>(dy));
    const int32_t* t = atanTable_;
    if (dx > 0.0 && dy > 0.0)
        return static_cast<VornAngle>(ax >= ay ? t[AtanIndex(ay, ax)] : QUARTER - t[AtanIndex(ax, ay)]);
    if (dx < 0.0 && dy > 0.0)
        return static_cast<VornAngle>(ax >= ay ? HALF - t[AtanIndex(ay, ax)] : QUARTER + t[AtanIndex(ax, ay)]);
    if (dx < 0.0)
        return static_cast<VornAngle>(ax >= ay ? HALF + t[AtanIndex(ay, ax)] : THREE_QUARTERS - t[AtanIndex(ax, ay)]);
    return static_cast<VornAngle>(ax >= ay ? TURN - t[AtanIndex(ay, ax)] : THREE_QUARTERS + t[AtanIndex(ax, ay)]);
}

void VornMath::RotationPoint(D3DXVECTOR2* p, VornAngle a)
{
    const float s = Sin(a);
    const float c = Cos(a);
    const float x = p->x;
    const float y = p->y;
    p->x = c * x - s * y;
    p->y = s * x + c * y;
}

void VornMath::RandSeed(uint32_t seed)
{
    srand(seed);
}

int32_t VornMath::Rand()
{
    const int32_t a = rand();
    const int32_t b = rand();
    return a * b;
}

int32_t VornMath::RandInt(int32_t min, int32_t max)
{
    const int32_t x = Rand();
    const int64_t range = static_cast<int64_t>(max) + 1 - min;
    if (range <= 0)
        return min;
    return static_cast<int32_t>(min + x % range);
}

float VornMath::Rand01()
{
    return static_cast<float>(rand() / 32767.0);
}

float VornMath::RandFloat(float min, float max)
{
    return min + Rand01() * (max - min);
}
