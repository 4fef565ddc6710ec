// The virtual pad: mask sequences, joysticks fed through their state blocks, refused indices, menu
// cursors, the key buffer and the mouse block.
#include "InputSupport.h"
#include <dinput.h>
#include <numeric>

using namespace inputtest;

constexpr uint32_t kButton1 = 1u << PAD_BUTTON1;   // const: this file's own

using PadMasks = InputTest;

TEST_F(PadMasks, ButtonHeld40FramesTriggersOnceHoldsFromFrameTwoAndRepeatsAfterTheDelay)
{
    ASSERT_TRUE(VornInput::SetPadJoystickButton(0, PAD_BUTTON1, 2));
    // (30, 3) repeats on frames 2, 35 and 38; an interval of 0 (which would divide by zero) only on 2.
    const struct { int32_t delay, interval; std::vector<int> repeats; } settings[] = {{30, 3, {2, 35, 38}}, {2, 0, {2}}};
    for (const auto& s : settings) {
        SCOPED_TRACE(testing::Message() << "delay " << s.delay << ", interval " << s.interval);
        VornInput::SetPadConfig(1, 0, s.delay, s.interval);
        std::vector<std::vector<int>> frames(4);   // per mask kind, the frames (1-based) with button 1 set
        for (int frame = 1; frame <= 44; ++frame) {
            g_raw[0].button[2] = frame <= 40 ? 0x80 : 0x00;
            Frame();
            for (int kind = PAD_STATE_TRIGGER; kind <= PAD_STATE_REPEAT; ++kind) {
                const uint32_t m = Mask(0, kind);
                if (m & kButton1) frames[kind].push_back(frame);
                EXPECT_EQ(Argb{0}, Argb{m & ~kButton1}) << "no other button shows, " << kKinds[kind] << " frame " << frame;
            }
        }
        std::vector<int> held(39);
        std::iota(held.begin(), held.end(), 2);
        EXPECT_NAMED({"trigger frames", frames[0], std::vector<int>{1}}, {"release frames", frames[1], std::vector<int>{41}},
                     {"hold frames", frames[2], held}, {"repeat frames", frames[3], s.repeats});
    }
    // A second press starts its repeat count again: repeat on its second frame.
    g_raw[0].button[2] = 0x80;
    Frame();
    EXPECT_EQ(Masks(), (VornPadFrame{kButton1, 0, 0, 0}));
    Frame();
    EXPECT_EQ(Masks(), (VornPadFrame{0, 0, kButton1, kButton1}));
}

TEST_F(PadMasks, DisabledButtonNeverShowsButItsRawStateIsFollowed)
{
    VornInput::SetPadConfig(1, 0, 30, 3);   // pad 0 on joystick 0, the game's repeat settings
    for (int32_t b : {0, 1}) VornInput::SetPadJoystickButton(0, PAD_BUTTON1 + b, b);
    ASSERT_TRUE(VornInput::SetPadDisableMask(0, kButton1));
    for (int frame = 1; frame <= 6; ++frame) {
        g_raw[0].button[0] = (frame >= 2 && frame <= 4) ? 0x80 : 0;   // pressed frames 2-4
        g_raw[0].button[1] = 0x80;                                    // the other button held all along
        Frame();
        for (int kind = PAD_STATE_TRIGGER; kind <= PAD_STATE_REPEAT; ++kind)
            EXPECT_FALSE(VornInput::GetPadState(0, kind, PAD_BUTTON1)) << "frame " << frame << ", " << kKinds[kind];
    }
    EXPECT_EQ(Argb{kButton1 << 1}, Argb{Mask(0, PAD_STATE_HOLD)});
    // Enabled again while held: it shows as held at once (current and previous kept the raw state).
    g_raw[0].button[0] = 0x80;
    Frame();
    VornInput::SetPadDisableMask(0, 0);
    Frame();
    EXPECT_NAMED({"trigger", Argb{Mask(0, PAD_STATE_TRIGGER)}, Argb{0}}, {"hold", Argb{Mask(0, PAD_STATE_HOLD)}, Argb{kButton1 | kButton1 << 1}});
}

TEST_F(PadMasks, WithoutConfiguredPadsNothingChanges)
{
    VornInput::SetPadJoystickButton(0, PAD_BUTTON1, 0);
    ASSERT_TRUE(VornInput::SetPadState(0, PAD_STATE_TRIGGER, 0xF));
    g_raw[0].button[0] = 0x80;
    Frame();
    EXPECT_NAMED({"trigger", Argb{Mask(0, PAD_STATE_TRIGGER)}, Argb{0xF}}, {"hold", Argb{Mask(0, PAD_STATE_HOLD)}, Argb{0}});
}

using Joystick = InputTest;

TEST_F(Joystick, AxesPastHalfDeflectionSetTheDirections)
{
    VornInput::SetPadConfig(1, 0, 30, 3);   // pad 0 on joystick 0, the game's repeat settings
    const struct { int32_t x, y; uint32_t current; } cases[] = {
        {-32768, 0, 0}, {-32769, 0, 1u << PAD_LEFT}, {32768, 0, 0}, {32769, 0, 1u << PAD_RIGHT},
        {0, -32768, 0}, {0, -32769, 1u << PAD_UP}, {0, 32768, 0}, {0, 32769, 1u << PAD_DOWN},
        {-65535, 65535, 1u << PAD_LEFT | 1u << PAD_DOWN}};
    for (const auto& c : cases) {
        // Release, then press for one frame: the direction is this frame's trigger.
        g_raw[0] = {};
        Frame();
        g_raw[0].position[0] = c.x;
        g_raw[0].position[1] = c.y;
        Frame();
        EXPECT_EQ(Argb{c.current}, Argb{Mask(0, PAD_STATE_TRIGGER)}) << "x " << c.x << " y " << c.y;
    }
}

TEST_F(Joystick, AxesScaleFromTheirRangeWithTruncatingDivisionPovsAreWholeDegreesOrMinusOneAndButtonsBitSeven)
{
    Attach(0, 0, 65535, -1000, 1000);   // centre 32767, half range 32768; centre 0, half range 1000
    Attach(1, 100, 100, 0, 0);          // half range 0 would divide by zero: reads centred
    VornInput::SetPadConfig(2, 0, 30, 3);
    const uint32_t povs[4] = {0xFFFFFFFFu, 0x0001FFFFu, 9000, 35999};   // only the low word tells centred
    memcpy(g_raw[0].pov, povs, sizeof povs);
    g_raw[0].button[0] = 0x80;
    g_raw[0].button[1] = 0x7F;
    g_raw[0].button[15] = 0xFF;
    // -32767 * 65535 / 32768 = -65533.00003; -65.535, towards zero.
    const struct { int32_t rawX, rawY, x, y; } cases[] = {{0, 1000, -65533, 65535}, {65535, -1, 65535, -65}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "raw x " << c.rawX << ", y " << c.rawY);
        g_raw[0].position[0] = c.rawX;
        g_raw[0].position[1] = c.rawY;
        g_raw[0].position[2] = 12345;   // other axes pass unscaled
        g_raw[1].position[0] = -90000;
        g_raw[1].position[1] = 90000;
        Frame();
        VornJoystickState s, centred;
        ASSERT_TRUE(VornInput::GetJoystickData(0, &s));
        ASSERT_TRUE(VornInput::GetJoystickData(1, &centred));
        EXPECT_NAMED({"x", s.position[0], c.x}, {"y", s.position[1], c.y}, {"third axis", s.position[2], 12345},
                     {"x of a zero range", centred.position[0], 0}, {"y of a zero range", centred.position[1], 0});
        EXPECT_EQ(Argb{0}, Argb{Mask(1, PAD_STATE_TRIGGER) | Mask(1, PAD_STATE_HOLD)});
        EXPECT_EQ((std::vector<uint32_t>{0xFFFFFFFFu, 0xFFFFFFFFu, 90, 359}), std::vector<uint32_t>(s.pov, s.pov + 4));
        for (int b = 0; b < 16; ++b) EXPECT_EQ(b == 0 || b == 15, s.button[b]) << b;
    }
}

TEST_F(Joystick, AFailedReadClearsOnlyThatJoystick)
{
    for (int slot = 0; slot < 3; ++slot) {
        Attach(slot);
        VornInput::SetPadJoystickButton(slot, PAD_BUTTON1, 5);
        g_raw[slot].button[5] = 0x80;
        g_raw[slot].position[0] = -40000;
    }
    VornInput::SetPadConfig(3, 0, 30, 3);
    Frame();
    Frame();
    g_readFails[1] = true;
    Frame();
    VornJoystickState s;
    for (int slot = 0; slot < 3; ++slot) {
        SCOPED_TRACE("joystick " + std::to_string(slot));
        ASSERT_TRUE(VornInput::GetJoystickData(slot, &s));
        // Pads 0 and 2 still hold; pad 1 reads as released.
        const int kind = slot != 1 ? PAD_STATE_HOLD : PAD_STATE_RELEASE;
        EXPECT_NAMED({"button 5", int(s.button[5]), int(slot != 1)}, {"x", s.position[0], slot != 1 ? -40000 : 0},
                     {kKinds[kind], Argb{Mask(slot, kind)}, Argb{kButton1 | 1u << PAD_LEFT}});
    }
    // Readable again: a new press.
    g_readFails[1] = false;
    Frame();
    EXPECT_NAMED({"pad 1 trigger", VornInput::GetPadState(1, PAD_STATE_TRIGGER, PAD_BUTTON1), true},
                 {"pad 0 hold", VornInput::GetPadState(0, PAD_STATE_HOLD, PAD_BUTTON1), true});
}

using Indices = InputTest;

TEST_F(Indices, OutOfRangePadsButtonsKeysAndJoysticksAreRefused)
{
    VornInput::SetPadConfig(1, 0, 30, 3);   // pad 0 on joystick 0, the game's repeat settings
    ASSERT_TRUE(VornInput::SetPadJoystickButton(0, PAD_BUTTON1, 15));
    // A joystick button past the 16 button bytes, a pad past 16, a virtual button past 20.
    const int32_t refused[][3] = {{0, PAD_BUTTON1, 16}, {0, PAD_BUTTON1, -1}, {16, PAD_BUTTON1, 1}, {-1, PAD_BUTTON1, 1}, {0, 20, 1}, {0, -1, 1}};
    for (const auto& r : refused) EXPECT_FALSE(VornInput::SetPadJoystickButton(r[0], r[1], r[2])) << r[0] << " " << r[1] << " " << r[2];
    const int32_t refusedKeys[][3] = {{0, PAD_BUTTON1, 256}, {0, PAD_BUTTON1, -1}, {16, PAD_BUTTON1, 0x2C}, {0, 20, 0x2C}};
    for (const auto& r : refusedKeys) EXPECT_FALSE(VornInput::SetPadKey(r[0], r[1], r[2])) << r[0] << " " << r[1] << " " << r[2];
    EXPECT_TRUE(VornInput::SetPadKey(15, 19, 255));

    // The refused calls left the mapping as it was.
    g_raw[0].button[15] = 0x80;
    Frame();
    EXPECT_EQ(Argb{kButton1}, Argb{Mask(0, PAD_STATE_TRIGGER)});
    ASSERT_TRUE(VornInput::SetPadState(0, PAD_STATE_HOLD, 0xFFFFFFFF));   // every bit held: only the bounds refuse
    const int32_t states[][3] = {{16, 2, 4}, {-1, 2, 4}, {0, 4, 4}, {0, -1, 4}, {0, 2, 20}, {0, 2, 32}, {0, 2, -1}};
    for (const auto& r : states) EXPECT_FALSE(VornInput::GetPadState(r[0], r[1], r[2])) << r[0] << " " << r[1] << " " << r[2];
    const bool kind4 = VornInput::SetPadState(0, 4, 0xFFFFFFFF), pad16 = VornInput::SetPadState(16, PAD_STATE_TRIGGER, 0xFFFFFFFF),
               mask16 = VornInput::SetPadDisableMask(16, 0xFFFFFFFF), key256 = VornInput::IsKeyDown(256),
               keyMinus1 = VornInput::IsKeyDown(-1), noBuffer = VornInput::GetKeyBuffer(nullptr);
    EXPECT_NAMED({"SetPadState kind 4", kind4, false}, {"SetPadState pad 16", pad16, false}, {"SetPadDisableMask pad 16", mask16, false},
                 {"IsKeyDown(256)", key256, false}, {"IsKeyDown(-1)", keyMinus1, false}, {"GetKeyBuffer(null)", noBuffer, false});

    // Joystick slots without a device or out of range.
    VornJoystickState s;
    memset(&s, 0x5A, sizeof s);
    EXPECT_FALSE(VornInput::GetJoystickData(3, &s));
    EXPECT_EQ(0, s.button[0]);   // the cleared block is still copied
    const bool data16 = VornInput::GetJoystickData(16, &s), dataMinus1 = VornInput::GetJoystickData(-1, &s),
               attach16 = VornInput::AttachJoystickReader(16, FeedReader, 0, 1, 0, 1);
    EXPECT_NAMED({"GetJoystickData(16)", data16, false}, {"GetJoystickData(-1)", dataMinus1, false}, {"AttachJoystickReader(16)", attach16, false});

    // More than 16 pads is refused and the configured count stays.
    VornInput::SetPadConfig(17, 1, 0, 0);
    g_raw[0].button[15] = 0;
    Frame();
    EXPECT_EQ(Argb{kButton1}, Argb{Mask(0, PAD_STATE_RELEASE)});

    EXPECT_TRUE(vorntest::HasAll(Log(), {"VornInput::SetPadJoystickButton", " : [ 0 ] [ 4 ] [ 16 ] : ", "VornInput::SetPadKey",
                                         " : [ 0 ] [ 4 ] [ 256 ] : ", "VornInput::SetPadConfig", "範囲外の番号"}));
}

using Cursor = InputTest;

TEST_F(Cursor, LoopingAndClampedMoves)
{
    using Move = int32_t (*)(int32_t, int32_t*, int32_t);
    const uint32_t up = 1u << PAD_UP, down = 1u << PAD_DOWN, left = 1u << PAD_LEFT, right = 1u << PAD_RIGHT;
    const int32_t none = VornInput::CURSOR_NO_MOVE;
    const struct { Move move; uint32_t repeat; int32_t pad, from, count, result, to; } cases[] = {
        {VornInput::CursorUpDownLoop, up, 0, 0, 5, 0, 4}, {VornInput::CursorUpDownLoop, up, 0, 4, 5, 0, 3},
        {VornInput::CursorUpDownLoop, down, 0, 4, 5, 1, 0}, {VornInput::CursorUpDownLoop, up | down, 0, 2, 5, 0, 1},   // up wins
        {VornInput::CursorLeftRightLoop, left, 0, 0, 3, 2, 2}, {VornInput::CursorLeftRightLoop, right, 0, 2, 3, 3, 0},
        // Clamped: up at the top does not move and down is then not looked at.
        {VornInput::CursorUpDown, up | down, 0, 0, 5, none, 0}, {VornInput::CursorUpDown, down, 0, 3, 5, 1, 4},
        {VornInput::CursorUpDown, down, 0, 4, 5, none, 4}, {VornInput::CursorLeftRight, left, 0, 4, 5, 2, 3},
        {VornInput::CursorLeftRight, right, 0, 3, 5, 3, 4}, {VornInput::CursorLeftRight, right, 0, 4, 5, none, 4},
        // Only the repeat mask counts (the trigger mask is full); a bad pad or an empty menu moves nothing.
        {VornInput::CursorUpDownLoop, 0, 0, 1, 5, none, 1}, {VornInput::CursorLeftRightLoop, left, 16, 1, 5, none, 1},
        {VornInput::CursorUpDownLoop, up, 0, 1, 0, none, 1}};
    VornInput::SetPadState(0, PAD_STATE_TRIGGER, up | down | left | right);
    for (const auto& c : cases) {
        VornInput::SetPadState(0, PAD_STATE_REPEAT, c.repeat);
        int32_t cursor = c.from;
        const int32_t result = c.move(c.pad, &cursor, c.count);
        SCOPED_TRACE(testing::Message() << "case " << &c - cases << ": from " << c.from << " of " << c.count);
        EXPECT_NAMED({"result", result, c.result}, {"cursor", cursor, c.to});
    }
}

using Devices = InputTest;

TEST_F(Devices, MouseWheelSumsAndDoubleClicksLatchForOneUpdate)
{
    for (int32_t delta : {120, 120, -360}) VornInput::AddMouseWheel(delta);
    for (auto set : {&VornInput::SetLeftDoubleClick, &VornInput::SetMiddleDoubleClick}) set();
    VornMouseState m;
    VornInput::GetMouseData(&m);
    EXPECT_NAMED({"wheel", m.wheel, -120}, {"left double click", int(m.doubleClick[0]), 0});   // the double click pending until the next update
    Frame();
    VornInput::GetMouseData(&m);
    EXPECT_NAMED({"wheel", m.wheel, -120}, {"left double click", int(m.doubleClick[0]), 1}, {"right", int(m.doubleClick[1]), 0},
                 {"middle", int(m.doubleClick[2]), 1});
    // Buttons as the thread's key state shows them: pressed, held, released, up.
    BYTE keys[256] = {};
    const uint32_t seen[][3] = {{2, 0, 2}, {3, 2, 3}, {1, 3, 1}, {0, 1, 0}};
    for (int step = 0; step < 4; ++step) {
        const BYTE state = step < 2 ? 0x80 : 0;
        keys[VK_LBUTTON] = keys[VK_MBUTTON] = state;
        keys[VK_RBUTTON] = step == 1 || step == 2 ? 0x80 : 0;
        SetKeyboardState(keys);
        Frame();
        VornInput::GetMouseData(&m);
        SCOPED_TRACE("step " + std::to_string(step));
        EXPECT_NAMED({"left", m.button[0], seen[step][0]}, {"right", m.button[1], seen[step][1]}, {"middle", m.button[2], seen[step][2]},
                     {"left down", int(m.down[0]), state ? 1 : 0});
    }
    VornInput::SetRightDoubleClick();
    Frame();
    VornInput::GetMouseData(&m);
    EXPECT_NAMED({"left double click", int(m.doubleClick[0]), 0}, {"right", int(m.doubleClick[1]), 1}, {"middle", int(m.doubleClick[2]), 0});
    // The sum wraps round rather than overflowing.
    for (int i = 0; i < 70000; ++i) VornInput::AddMouseWheel(32767);
    VornInput::GetMouseData(&m);
    EXPECT_EQ(static_cast<int32_t>(70000u * 32767u - 120u), m.wheel);
    // The block is eight words: x, y, wheel, six flag bytes and padding, three button states.
    EXPECT_NAMED({"offset of down", offsetof(VornMouseState, down), 12}, {"offset of button", offsetof(VornMouseState, button), 20});
}

// A joystick device whose axis ranges cannot be read: it counts releases, and those made while its
// own EnumObjects runs.
struct FakeJoystick {
    void** vtable;
    LONG references = 1;
    int releasedWhileEnumerating = 0;
    bool enumerating = false;

    static ULONG STDMETHODCALLTYPE Release(FakeJoystick* self)
    {
        if (self->enumerating) ++self->releasedWhileEnumerating;
        return static_cast<ULONG>(--self->references);
    }
    static HRESULT STDMETHODCALLTYPE Ok(FakeJoystick*, void*, DWORD) { return S_OK; }
    static HRESULT STDMETHODCALLTYPE GetProperty(FakeJoystick*, REFGUID, DIPROPHEADER*) { return E_FAIL; }
    static HRESULT STDMETHODCALLTYPE EnumObjects(FakeJoystick* self, LPDIENUMDEVICEOBJECTSCALLBACKA callback,
                                                 void* context, DWORD)
    {
        DIDEVICEOBJECTINSTANCEA axis = {};
        axis.dwSize = sizeof axis;
        axis.guidType = GUID_XAxis;
        self->enumerating = true;
        callback(&axis, context);
        self->enumerating = false;
        return S_OK;
    }
};

TEST_F(Devices, AJoystickWhoseAxesCannotBeReadIsReleasedAfterItsEnumeration)
{
    void* vtable[32] = {};
    vtable[2] = reinterpret_cast<void*>(FakeJoystick::Release);
    // Caps, unacquire, format, cooperative level and info all succeed.
    vtable[3] = vtable[8] = vtable[11] = vtable[13] = vtable[15] = reinterpret_cast<void*>(FakeJoystick::Ok);
    vtable[4] = reinterpret_cast<void*>(FakeJoystick::EnumObjects);
    vtable[5] = reinterpret_cast<void*>(FakeJoystick::GetProperty);
    FakeJoystick device = {vtable};
    EXPECT_FALSE(VornInput::AttachJoystickDevice(2, reinterpret_cast<IDirectInputDevice8A*>(&device)));
    EXPECT_NAMED({"released while enumerating", device.releasedWhileEnumerating, 0}, {"references left", device.references, 0});
    EXPECT_NE(std::string::npos, Log().find("軸データ取得に失敗"));
}

TEST_F(Devices, ShutdownGivesBackEveryBlockAndAllowsAnotherStart)
{
    ASSERT_TRUE(VornInput::InitPadRecorder(3, 4, 100));
    VornInput::Finalize();
    EXPECT_EQ(0u, VornMemory::GetUsedSize());
    // Calls after shutdown are harmless; a second start works.
    EXPECT_FALSE(VornInput::GetPadState(0, PAD_STATE_TRIGGER, 0));
    VornInput::UpdatePads();
    ASSERT_TRUE(VornInput::Initialize());
}
