// Test support for VornInput: a work area, the input class started without a window, and joysticks
// fed from plain state blocks.
#pragma once
#include "EngineFixture.h"
#include "VornInput.h"
#include <objbase.h>

// A pad frame's four masks, in hex, by name.
inline void PrintTo(const VornPadFrame& f, std::ostream* os)
{
    *os << "{trigger " << vorntest::Argb{f.trigger} << ", release " << vorntest::Argb{f.release} << ", hold "
        << vorntest::Argb{f.hold} << ", repeat " << vorntest::Argb{f.repeat} << "}";
}
inline bool operator==(const VornPadFrame& a, const VornPadFrame& b) { return memcmp(&a, &b, sizeof a) == 0; }

namespace inputtest {

// The raw blocks the fed joysticks report, and whether their next read fails.
inline VornJoystickState g_raw[VornInput::JOYSTICK_MAX];
inline bool g_readFails[VornInput::JOYSTICK_MAX];

inline bool FeedReader(uint32_t slot, VornJoystickState* state)
{
    if (g_readFails[slot]) return false;
    *state = g_raw[slot];
    return true;
}

// One update of the devices and the pads, as the message pump does it.
inline void Frame()
{
    VornInput::Refresh();
    VornInput::UpdatePads();
}

const char* const kKinds[] = {"trigger", "release", "hold", "repeat"};   // the mask kinds, PAD_STATE_ order

inline uint32_t Mask(int32_t pad, int32_t kind)
{
    uint32_t m = 0;
    for (int32_t b = 0; b < VornInput::PAD_BUTTON_COUNT; ++b) if (VornInput::GetPadState(pad, kind, b)) m |= 1u << b;
    return m;
}

// The four masks of a pad now, as a PAD frame.
inline VornPadFrame Masks(int32_t pad = 0)
{
    return {Mask(pad, PAD_STATE_TRIGGER), Mask(pad, PAD_STATE_RELEASE), Mask(pad, PAD_STATE_HOLD), Mask(pad, PAD_STATE_REPEAT)};
}

using vorntest::Argb;
using vorntest::ReadFile;

// VornInput started on a work area with joystick 0 fed from g_raw[0], with a log of the test's own.
class InputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        memset(g_raw, 0, sizeof g_raw);
        memset(g_readFails, 0, sizeof g_readFails);
        CoInitializeEx(nullptr, 0);
        ASSERT_TRUE(VornMemory::Initialize());
        ASSERT_TRUE(VornMemory::SetWorkArea(8u << 20, true));
        ASSERT_TRUE(VornInput::Initialize());
        Attach(0);
    }
    void TearDown() override
    {
        VornInput::Finalize();
        VornMemory::Finalize();
        CoUninitialize();
    }
    // Joystick slot fed from g_raw[slot] (slot 0 from the start); X and Y report -65535..65535 (centre 0), so raw values
    // pass through the scaling unchanged.
    void Attach(int32_t slot, int32_t minX = -65535, int32_t maxX = 65535, int32_t minY = -65535, int32_t maxY = 65535)
    {
        ASSERT_TRUE(VornInput::AttachJoystickReader(slot, FeedReader, minX, maxX, minY, maxY));
    }
    // The log so far (closed by the reading).
    std::string Log() { return log_.Text(); }

    vorntest::LogCapture log_;
};

}  // namespace inputtest
