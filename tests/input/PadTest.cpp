// The virtual pad: mask sequences, joysticks fed through their state blocks, refused indices, menu
// cursors, the key buffer and the mouse block.
#include "InputSupport.h"

using namespace inputtest;

namespace {

constexpr uint32_t kButton1 = 1u << PAD_BUTTON1;

// Frames (1-based) on which the button's bit was set in the given mask.
std::vector<int> FramesWith(const std::vector<uint32_t>& masks, uint32_t bit)
{
    std::vector<int> frames;
    for (size_t i = 0; i < masks.size(); ++i)
        if (masks[i] & bit) frames.push_back(static_cast<int>(i) + 1);
    return frames;
}

std::vector<int> Range(int first, int last)
{
    std::vector<int> v;
    for (int i = first; i <= last; ++i) v.push_back(i);
    return v;
}

}  // namespace

class PadMasks : public InputTest {};

TEST_F(PadMasks, ButtonHeld40FramesTriggersOnceHoldsFromFrameTwoAndRepeatsOn2And35And38)
{
    Attach(0);
    VornInput::SetPadConfig(1, 0, 30, 3);
    ASSERT_TRUE(VornInput::SetPadJoystickButton(0, PAD_BUTTON1, 2));
    std::vector<uint32_t> trigger, release, hold, repeat;
    for (int frame = 1; frame <= 44; ++frame) {
        g_raw[0].button[2] = frame <= 40 ? 0x80 : 0x00;
        Frame();
        trigger.push_back(Mask(0, PAD_STATE_TRIGGER));
        release.push_back(Mask(0, PAD_STATE_RELEASE));
        hold.push_back(Mask(0, PAD_STATE_HOLD));
        repeat.push_back(Mask(0, PAD_STATE_REPEAT));
    }
    EXPECT_EQ(std::vector<int>({1}), FramesWith(trigger, kButton1));
    EXPECT_EQ(Range(2, 40), FramesWith(hold, kButton1));
    EXPECT_EQ(std::vector<int>({2, 35, 38}), FramesWith(repeat, kButton1));
    EXPECT_EQ(std::vector<int>({41}), FramesWith(release, kButton1));
    for (size_t i = 0; i < trigger.size(); ++i) {
        // No other button ever shows.
        EXPECT_EQ(0u, (trigger[i] | release[i] | hold[i] | repeat[i]) & ~kButton1) << "frame " << i + 1;
    }

    // A second press starts its repeat count again: repeat on its second frame.
    g_raw[0].button[2] = 0x80;
    Frame();
    EXPECT_TRUE(VornInput::GetPadState(0, PAD_STATE_TRIGGER, PAD_BUTTON1));
    EXPECT_FALSE(VornInput::GetPadState(0, PAD_STATE_REPEAT, PAD_BUTTON1));
    Frame();
    EXPECT_TRUE(VornInput::GetPadState(0, PAD_STATE_REPEAT, PAD_BUTTON1));
}

TEST_F(PadMasks, DisabledButtonNeverShowsButItsRawStateIsFollowed)
{
    Attach(0);
    VornInput::SetPadConfig(1, 0, 30, 3);
    VornInput::SetPadJoystickButton(0, PAD_BUTTON1, 0);
    VornInput::SetPadJoystickButton(0, PAD_BUTTON1 + 1, 1);
    ASSERT_TRUE(VornInput::SetPadDisableMask(0, kButton1));
    for (int frame = 1; frame <= 6; ++frame) {
        g_raw[0].button[0] = (frame >= 2 && frame <= 4) ? 0x80 : 0;   // pressed frames 2-4
        g_raw[0].button[1] = 0x80;                                    // the other button held all along
        Frame();
        for (int kind = PAD_STATE_TRIGGER; kind <= PAD_STATE_REPEAT; ++kind)
            EXPECT_FALSE(VornInput::GetPadState(0, kind, PAD_BUTTON1)) << "frame " << frame << " kind " << kind;
    }
    EXPECT_TRUE(VornInput::GetPadState(0, PAD_STATE_HOLD, PAD_BUTTON1 + 1));

    // Enabled again while held: it shows as held at once (current and previous kept the raw state).
    g_raw[0].button[0] = 0x80;
    Frame();
    VornInput::SetPadDisableMask(0, 0);
    Frame();
    EXPECT_TRUE(VornInput::GetPadState(0, PAD_STATE_HOLD, PAD_BUTTON1));
    EXPECT_FALSE(VornInput::GetPadState(0, PAD_STATE_TRIGGER, PAD_BUTTON1));
}

TEST_F(PadMasks, WithoutConfiguredPadsNothingChanges)
{
    Attach(0);
    VornInput::SetPadJoystickButton(0, PAD_BUTTON1, 0);
    ASSERT_TRUE(VornInput::SetPadState(0, PAD_STATE_TRIGGER, 0xF));
    g_raw[0].button[0] = 0x80;
    Frame();
    EXPECT_EQ(0xFu, Mask(0, PAD_STATE_TRIGGER));
    EXPECT_EQ(0u, Mask(0, PAD_STATE_HOLD));
}

TEST_F(PadMasks, RepeatIntervalOfZeroRepeatsOnlyOnTheSecondFrame)
{
    Attach(0);
    VornInput::SetPadConfig(1, 0, 2, 0);   // would divide by zero
    VornInput::SetPadJoystickButton(0, PAD_BUTTON1, 0);
    std::vector<uint32_t> repeat;
    g_raw[0].button[0] = 0x80;
    for (int frame = 1; frame <= 10; ++frame) {
        Frame();
        repeat.push_back(Mask(0, PAD_STATE_REPEAT));
    }
    EXPECT_EQ(std::vector<int>({2}), FramesWith(repeat, kButton1));
}

class Joystick : public InputTest {};

TEST_F(Joystick, AxesPastHalfDeflectionSetTheDirections)
{
    Attach(0);
    VornInput::SetPadConfig(1, 0, 30, 3);
    struct Case { int32_t x, y; uint32_t current; };
    const Case cases[] = {
        {-32768, 0, 0},
        {-32769, 0, 1u << PAD_LEFT},
        {32768, 0, 0},
        {32769, 0, 1u << PAD_RIGHT},
        {0, -32768, 0},
        {0, -32769, 1u << PAD_UP},
        {0, 32768, 0},
        {0, 32769, 1u << PAD_DOWN},
        {-65535, 65535, 1u << PAD_LEFT | 1u << PAD_DOWN},
    };
    for (const Case& c : cases) {
        // Release, then press for one frame: the direction is this frame's trigger.
        g_raw[0] = {};
        Frame();
        g_raw[0].position[0] = c.x;
        g_raw[0].position[1] = c.y;
        Frame();
        EXPECT_EQ(c.current, Mask(0, PAD_STATE_TRIGGER)) << "x " << c.x << " y " << c.y;
        VornJoystickState s;
        ASSERT_TRUE(VornInput::GetJoystickData(0, &s));
        EXPECT_EQ(c.x, s.position[0]);
        EXPECT_EQ(c.y, s.position[1]);
    }
}

TEST_F(Joystick, AxesAreScaledFromTheirRangeWithTruncatingSignedDivision)
{
    Attach(0, 0, 65535, -1000, 1000);   // centre 32767, half range 32768; centre 0, half range 1000
    g_raw[0].position[0] = 0;
    g_raw[0].position[1] = 1000;
    g_raw[0].position[2] = 12345;   // other axes pass unscaled
    Frame();
    VornJoystickState s;
    ASSERT_TRUE(VornInput::GetJoystickData(0, &s));
    EXPECT_EQ(-65533, s.position[0]);   // -32767 * 65535 / 32768 = -65533.00003
    EXPECT_EQ(65535, s.position[1]);
    EXPECT_EQ(12345, s.position[2]);
    g_raw[0].position[0] = 65535;
    g_raw[0].position[1] = -1;
    Frame();
    ASSERT_TRUE(VornInput::GetJoystickData(0, &s));
    EXPECT_EQ(65535, s.position[0]);
    EXPECT_EQ(-65, s.position[1]);      // -65.535, towards zero
}

TEST_F(Joystick, AnAxisWithoutARangeReadsCentred)
{
    Attach(0, 100, 100, 0, 0);   // half range 0 would divide by zero
    VornInput::SetPadConfig(1, 0, 30, 3);
    g_raw[0].position[0] = -90000;
    g_raw[0].position[1] = 90000;
    Frame();
    VornJoystickState s;
    ASSERT_TRUE(VornInput::GetJoystickData(0, &s));
    EXPECT_EQ(0, s.position[0]);
    EXPECT_EQ(0, s.position[1]);
    EXPECT_EQ(0u, Mask(0, PAD_STATE_TRIGGER));
}

TEST_F(Joystick, PovsAreWholeDegreesOrMinusOneAndButtonsAreBitSeven)
{
    Attach(0);
    g_raw[0].pov[0] = 0xFFFFFFFFu;
    g_raw[0].pov[1] = 0x0001FFFFu;   // only the low word tells centred
    g_raw[0].pov[2] = 9000;
    g_raw[0].pov[3] = 35999;
    g_raw[0].button[0] = 0x80;
    g_raw[0].button[1] = 0x7F;
    g_raw[0].button[15] = 0xFF;
    Frame();
    VornJoystickState s;
    ASSERT_TRUE(VornInput::GetJoystickData(0, &s));
    EXPECT_EQ(0xFFFFFFFFu, s.pov[0]);
    EXPECT_EQ(0xFFFFFFFFu, s.pov[1]);
    EXPECT_EQ(90u, s.pov[2]);
    EXPECT_EQ(359u, s.pov[3]);
    EXPECT_EQ(1, s.button[0]);
    EXPECT_EQ(0, s.button[1]);
    EXPECT_EQ(1, s.button[15]);
    for (int b = 2; b < 15; ++b) EXPECT_EQ(0, s.button[b]);
}

TEST_F(Joystick, MappedButtonsSetTheirVirtualButtons)
{
    Attach(0);
    VornInput::SetPadConfig(1, 0, 30, 3);
    // The game's mapping: virtual 4 <- 3, 5 <- 2, 6 <- 1, 7 <- 6, 8 <- 7, 9 <- 0, 10 <- 4. The
    // unmapped virtual buttons 11-19 follow no joystick button (not button 0).
    const int32_t map[][2] = {{4, 3}, {5, 2}, {6, 1}, {7, 6}, {8, 7}, {9, 0}, {10, 4}};
    for (const auto& m : map) ASSERT_TRUE(VornInput::SetPadJoystickButton(0, m[0], m[1]));
    for (const auto& m : map) {
        g_raw[0] = {};
        Frame();
        g_raw[0].button[m[1]] = 0x80;
        Frame();
        EXPECT_EQ(1u << m[0], Mask(0, PAD_STATE_TRIGGER)) << "joystick button " << m[1];
    }
    // A joystick button mapped to two virtual buttons sets both.
    VornInput::SetPadJoystickButton(0, 12, 3);
    g_raw[0] = {};
    Frame();
    g_raw[0].button[3] = 0x80;
    Frame();
    EXPECT_EQ(1u << 4 | 1u << 12, Mask(0, PAD_STATE_TRIGGER));
    // The directions come from the axes only.
    EXPECT_FALSE(VornInput::SetPadJoystickButton(0, 20, 1));
}

TEST_F(Joystick, AFailedReadClearsOnlyThatJoystick)
{
    Attach(0);
    Attach(1);
    Attach(2);
    VornInput::SetPadConfig(3, 0, 30, 3);
    for (int pad = 0; pad < 3; ++pad) VornInput::SetPadJoystickButton(pad, PAD_BUTTON1, 5);
    for (int slot = 0; slot < 3; ++slot) {
        g_raw[slot].button[5] = 0x80;
        g_raw[slot].position[0] = -40000;
    }
    Frame();
    Frame();
    g_readFails[1] = true;
    Frame();
    VornJoystickState s;
    ASSERT_TRUE(VornInput::GetJoystickData(0, &s));
    EXPECT_EQ(1, s.button[5]);
    EXPECT_EQ(-40000, s.position[0]);
    ASSERT_TRUE(VornInput::GetJoystickData(1, &s));
    EXPECT_EQ(0, s.button[5]);
    EXPECT_EQ(0, s.position[0]);
    ASSERT_TRUE(VornInput::GetJoystickData(2, &s));
    EXPECT_EQ(1, s.button[5]);
    // Pads 0 and 2 still hold; pad 1 reads as released.
    EXPECT_TRUE(VornInput::GetPadState(0, PAD_STATE_HOLD, PAD_BUTTON1));
    EXPECT_TRUE(VornInput::GetPadState(0, PAD_STATE_HOLD, PAD_LEFT));
    EXPECT_TRUE(VornInput::GetPadState(1, PAD_STATE_RELEASE, PAD_BUTTON1));
    EXPECT_TRUE(VornInput::GetPadState(1, PAD_STATE_RELEASE, PAD_LEFT));
    EXPECT_TRUE(VornInput::GetPadState(2, PAD_STATE_HOLD, PAD_BUTTON1));
    // Readable again: a new press.
    g_readFails[1] = false;
    Frame();
    EXPECT_TRUE(VornInput::GetPadState(1, PAD_STATE_TRIGGER, PAD_BUTTON1));
    EXPECT_TRUE(VornInput::GetPadState(0, PAD_STATE_HOLD, PAD_BUTTON1));
}

TEST_F(Joystick, SlotsWithoutAJoystickReportNoDevice)
{
    VornJoystickState s;
    memset(&s, 0x5A, sizeof s);
    EXPECT_FALSE(VornInput::GetJoystickData(3, &s));
    EXPECT_EQ(0, s.button[0]);   // the cleared block is still copied
    EXPECT_FALSE(VornInput::GetJoystickData(16, &s));
    EXPECT_FALSE(VornInput::GetJoystickData(-1, &s));
    EXPECT_FALSE(VornInput::AttachJoystickReader(16, FeedReader, 0, 1, 0, 1));
}

class Indices : public InputTest {};

TEST_F(Indices, OutOfRangePadsButtonsKeysAndJoystickButtonsAreRefused)
{
    Attach(0);
    VornInput::SetPadConfig(1, 0, 30, 3);
    ASSERT_TRUE(VornInput::SetPadJoystickButton(0, PAD_BUTTON1, 15));
    // A joystick button past the 16 button bytes, a pad past 16, a virtual button past 20.
    EXPECT_FALSE(VornInput::SetPadJoystickButton(0, PAD_BUTTON1, 16));
    EXPECT_FALSE(VornInput::SetPadJoystickButton(0, PAD_BUTTON1, -1));
    EXPECT_FALSE(VornInput::SetPadJoystickButton(16, PAD_BUTTON1, 1));
    EXPECT_FALSE(VornInput::SetPadJoystickButton(-1, PAD_BUTTON1, 1));
    EXPECT_FALSE(VornInput::SetPadJoystickButton(0, 20, 1));
    EXPECT_FALSE(VornInput::SetPadJoystickButton(0, -1, 1));
    EXPECT_FALSE(VornInput::SetPadKey(0, PAD_BUTTON1, 256));
    EXPECT_FALSE(VornInput::SetPadKey(0, PAD_BUTTON1, -1));
    EXPECT_FALSE(VornInput::SetPadKey(16, PAD_BUTTON1, 0x2C));
    EXPECT_FALSE(VornInput::SetPadKey(0, 20, 0x2C));
    EXPECT_TRUE(VornInput::SetPadKey(15, 19, 255));

    // The refused calls left the mapping as it was.
    g_raw[0].button[15] = 0x80;
    Frame();
    EXPECT_EQ(kButton1, Mask(0, PAD_STATE_TRIGGER));

    EXPECT_FALSE(VornInput::GetPadState(16, PAD_STATE_TRIGGER, PAD_BUTTON1));
    EXPECT_FALSE(VornInput::GetPadState(-1, PAD_STATE_TRIGGER, PAD_BUTTON1));
    EXPECT_FALSE(VornInput::GetPadState(0, 4, PAD_BUTTON1));
    EXPECT_FALSE(VornInput::GetPadState(0, -1, PAD_BUTTON1));
    EXPECT_FALSE(VornInput::GetPadState(0, PAD_STATE_TRIGGER, 20));
    EXPECT_FALSE(VornInput::GetPadState(0, PAD_STATE_TRIGGER, 32));
    EXPECT_FALSE(VornInput::GetPadState(0, PAD_STATE_TRIGGER, -1));
    EXPECT_FALSE(VornInput::SetPadState(0, 4, 0xFFFFFFFF));
    EXPECT_FALSE(VornInput::SetPadState(16, PAD_STATE_TRIGGER, 0xFFFFFFFF));
    EXPECT_FALSE(VornInput::SetPadDisableMask(16, 0xFFFFFFFF));
    EXPECT_FALSE(VornInput::IsKeyDown(256));
    EXPECT_FALSE(VornInput::IsKeyDown(-1));

    // More than 16 pads is refused and the configured count stays.
    VornInput::SetPadConfig(17, 1, 0, 0);
    g_raw[0].button[15] = 0;
    Frame();
    EXPECT_EQ(kButton1, Mask(0, PAD_STATE_RELEASE));

    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("VornInput::SetPadJoystickButton"));
    EXPECT_NE(std::string::npos, log.find(" : [ 0 ] [ 4 ] [ 16 ] : "));
    EXPECT_NE(std::string::npos, log.find("VornInput::SetPadKey"));
    EXPECT_NE(std::string::npos, log.find(" : [ 0 ] [ 4 ] [ 256 ] : "));
    EXPECT_NE(std::string::npos, log.find("VornInput::SetPadConfig"));
    EXPECT_NE(std::string::npos, log.find("範囲外の番号"));
}

class Cursor : public InputTest {};

TEST_F(Cursor, LoopingAndClampedMoves)
{
    const uint32_t up = 1u << PAD_UP, down = 1u << PAD_DOWN, left = 1u << PAD_LEFT, right = 1u << PAD_RIGHT;
    int32_t c = 0;
    VornInput::SetPadState(0, PAD_STATE_REPEAT, up);
    EXPECT_EQ(0, VornInput::CursorUpDownLoop(0, &c, 5));
    EXPECT_EQ(4, c);
    EXPECT_EQ(0, VornInput::CursorUpDownLoop(0, &c, 5));
    EXPECT_EQ(3, c);
    VornInput::SetPadState(0, PAD_STATE_REPEAT, down);
    c = 4;
    EXPECT_EQ(1, VornInput::CursorUpDownLoop(0, &c, 5));
    EXPECT_EQ(0, c);
    VornInput::SetPadState(0, PAD_STATE_REPEAT, up | down);   // up wins
    c = 2;
    EXPECT_EQ(0, VornInput::CursorUpDownLoop(0, &c, 5));
    EXPECT_EQ(1, c);

    VornInput::SetPadState(0, PAD_STATE_REPEAT, left);
    c = 0;
    EXPECT_EQ(2, VornInput::CursorLeftRightLoop(0, &c, 3));
    EXPECT_EQ(2, c);
    VornInput::SetPadState(0, PAD_STATE_REPEAT, right);
    EXPECT_EQ(3, VornInput::CursorLeftRightLoop(0, &c, 3));
    EXPECT_EQ(0, c);

    // Clamped: up at the top does not move and down is then not looked at.
    VornInput::SetPadState(0, PAD_STATE_REPEAT, up | down);
    c = 0;
    EXPECT_EQ(VornInput::CURSOR_NO_MOVE, VornInput::CursorUpDown(0, &c, 5));
    EXPECT_EQ(0, c);
    VornInput::SetPadState(0, PAD_STATE_REPEAT, down);
    c = 3;
    EXPECT_EQ(1, VornInput::CursorUpDown(0, &c, 5));
    EXPECT_EQ(4, c);
    EXPECT_EQ(VornInput::CURSOR_NO_MOVE, VornInput::CursorUpDown(0, &c, 5));
    EXPECT_EQ(4, c);
    VornInput::SetPadState(0, PAD_STATE_REPEAT, left);
    EXPECT_EQ(2, VornInput::CursorLeftRight(0, &c, 5));
    EXPECT_EQ(3, c);
    VornInput::SetPadState(0, PAD_STATE_REPEAT, right);
    EXPECT_EQ(3, VornInput::CursorLeftRight(0, &c, 5));
    EXPECT_EQ(4, c);
    EXPECT_EQ(VornInput::CURSOR_NO_MOVE, VornInput::CursorLeftRight(0, &c, 5));

    // Only the repeat mask counts; a bad pad or an empty menu moves nothing.
    VornInput::SetPadState(0, PAD_STATE_REPEAT, 0);
    VornInput::SetPadState(0, PAD_STATE_TRIGGER, up | down | left | right);
    c = 1;
    EXPECT_EQ(VornInput::CURSOR_NO_MOVE, VornInput::CursorUpDownLoop(0, &c, 5));
    EXPECT_EQ(VornInput::CURSOR_NO_MOVE, VornInput::CursorLeftRightLoop(16, &c, 5));
    VornInput::SetPadState(0, PAD_STATE_REPEAT, up);
    EXPECT_EQ(VornInput::CURSOR_NO_MOVE, VornInput::CursorUpDownLoop(0, &c, 0));
    EXPECT_EQ(1, c);
}

class Devices : public InputTest {};

TEST_F(Devices, EmptyKeyBufferWritesZeroAndReportsNothing)
{
    Frame();
    int32_t key = 0x7777;
    EXPECT_FALSE(VornInput::GetKeyBuffer(&key));
    EXPECT_EQ(0, key);
    EXPECT_FALSE(VornInput::GetKeyBuffer(nullptr));
    for (int k = 0; k < 256; ++k) EXPECT_FALSE(VornInput::IsKeyDown(k));
}

TEST_F(Devices, MouseWheelSumsAndDoubleClicksLatchForOneUpdate)
{
    VornInput::AddMouseWheel(120);
    VornInput::AddMouseWheel(120);
    VornInput::AddMouseWheel(-360);
    VornInput::SetLeftDoubleClick();
    VornInput::SetMiddleDoubleClick();
    VornMouseState m;
    VornInput::GetMouseData(&m);
    EXPECT_EQ(-120, m.wheel);
    EXPECT_EQ(0, m.doubleClick[0]);   // pending until the next update
    Frame();
    VornInput::GetMouseData(&m);
    EXPECT_EQ(1, m.doubleClick[0]);
    EXPECT_EQ(0, m.doubleClick[1]);
    EXPECT_EQ(1, m.doubleClick[2]);
    EXPECT_EQ(-120, m.wheel);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(VornInput::BUTTON_UP, m.button[i]);
    VornInput::SetRightDoubleClick();
    Frame();
    VornInput::GetMouseData(&m);
    EXPECT_EQ(0, m.doubleClick[0]);
    EXPECT_EQ(1, m.doubleClick[1]);
    EXPECT_EQ(0, m.doubleClick[2]);
    // The sum wraps round rather than overflowing.
    for (int i = 0; i < 70000; ++i) VornInput::AddMouseWheel(32767);
    VornInput::GetMouseData(&m);
    EXPECT_EQ(static_cast<int32_t>(70000u * 32767u - 120u), m.wheel);
    // The block is eight words: x, y, wheel, six flag bytes and padding, three button states.
    EXPECT_EQ(12u, offsetof(VornMouseState, down));
    EXPECT_EQ(20u, offsetof(VornMouseState, button));
}

TEST_F(Devices, StartAndShutdownAreLoggedAndGiveBackEveryBlock)
{
    ASSERT_TRUE(VornInput::InitPadRecorder(3, 4, 100));
    VornInput::Finalize();
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("VornInputクラスの初期化"));
    EXPECT_NE(std::string::npos, log.find("　ジョイスティック用メモリを確保"));
    EXPECT_NE(std::string::npos, log.find("　　使用可能な最大ジョイスティック数 ["));
    EXPECT_NE(std::string::npos, log.find("VornInputクラスの解放"));
    EXPECT_NE(std::string::npos, log.find("DirectInputオブジェクトの解放"));
    EXPECT_EQ(0u, VornMemory::GetUsedSize());
    // Calls after shutdown are harmless; a second start works.
    EXPECT_FALSE(VornInput::GetPadState(0, PAD_STATE_TRIGGER, 0));
    VornInput::UpdatePads();
    ASSERT_TRUE(VornInput::Initialize());
}
