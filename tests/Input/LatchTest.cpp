// The game's input latch on the game's own pad mapping: pushes only on the frame of the press,
// holds only from the second frame of an arrow.
#include "GameMain.h"
#include "InputSupport.h"
#include "TestSeam.h"

using namespace inputtest;

class GameLatch : public InputTest {
protected:
    void SetUp() override
    {
        InputTest::SetUp();
        MapPadInput();
        g_input = {};
    }
    static void Step()
    {
        Frame();
        LatchInput();
    }
    static int Holds() { return g_input.holdUp + g_input.holdDown + g_input.holdLeft + g_input.holdRight; }
};

TEST_F(GameLatch, ZXAndCPushOnlyOnTheFrameOfThePress)
{
    EXPECT_EQ(std::string::npos, Log().find("範囲外の番号"));   // every mapping call was accepted
    // Joystick buttons 3, 2 and 1 are virtual buttons 4, 5 and 6 (Z, X, C).
    const int buttons[3] = {3, 2, 1};
    for (int i = 0; i < 3; ++i)
        for (int frame = 0; frame < 43; ++frame) {   // released, held for 41 frames (through the repeats), released
            g_raw[0] = {};
            g_raw[0].button[buttons[i]] = frame >= 1 && frame <= 41 ? 0x80 : 0;
            Step();
            SCOPED_TRACE(testing::Message() << "joystick button " << buttons[i] << ", frame " << frame);
            EXPECT_NAMED({"pushZ", g_input.pushZ, frame == 1 && i == 0}, {"pushX", g_input.pushX, frame == 1 && i == 1},
                         {"pushC", g_input.pushC, frame == 1 && i == 2});
        }
    // Joystick button 0 is virtual button 9 (Return), with the game's repeat settings (30, 3).
    g_raw[0].button[0] = 0x80;
    Step();
    EXPECT_TRUE(VornInput::GetPadState(0, PAD_STATE_TRIGGER, 9));
    for (int f = 2; f <= 35; ++f) Step();
    EXPECT_TRUE(VornInput::GetPadState(0, PAD_STATE_REPEAT, 9));   // frame 35 repeats
}

TEST_F(GameLatch, AnArrowForOneFrameSetsNoHoldFlag)
{
    const struct { int32_t x, y; bool GameInput::*flag; } arrows[] = {
        {0, -60000, &GameInput::holdUp}, {0, 60000, &GameInput::holdDown}, {-60000, 0, &GameInput::holdLeft}, {60000, 0, &GameInput::holdRight}};
    // Per arrow five frames: released, pressed for one frame (a trigger only), released, then held:
    // the flag from the second held frame on, and no other hold.
    for (const auto& a : arrows)
        for (int frame = 0; frame < 5; ++frame) {
            g_raw[0] = {};
            if (frame == 1 || frame >= 3) g_raw[0].position[0] = a.x, g_raw[0].position[1] = a.y;
            Step();
            SCOPED_TRACE(testing::Message() << "arrow " << a.x << "," << a.y << ", frame " << frame);
            EXPECT_NAMED({"its hold flag", g_input.*a.flag, frame == 4}, {"hold flags set", Holds(), frame == 4 ? 1 : 0});
        }
}

// Mended: Z pressed and released while the game loaded (between two updates of the pad) was lost.
TEST_F(GameLatch, ZXOrCTypedBetweenTwoPadUpdatesPushesOnceAtTheNextLatch)
{
    // Keys as the keyboard's event buffer gives them (Z; none; X and C; S, Up and Escape), typed while
    // a replayed or recorded pad (then the whole input) is set or not: the pushes at the next latch,
    // and no key holds.
    const struct { std::vector<int32_t> keys; std::string TestSeam::*pad; bool z, x, c; } steps[] = {
        {{0x2C}, nullptr, true, false, false}, {{}, nullptr, false, false, false}, {{0x2D, 0x2E}, nullptr, false, true, true},
        {{0x1F, 0xC8, 0x01}, nullptr, false, false, false}, {{0x2C}, &TestSeam::replay, false, false, false},
        {{0x2C}, &TestSeam::record, false, false, false}};
    for (const auto& s : steps) {
        if (s.pad) g_seam.*s.pad = "pad";
        for (int32_t key : s.keys) NoteTypedKey(key);
        if (s.pad) (g_seam.*s.pad).clear();
        Step();
        SCOPED_TRACE("step " + std::to_string(&s - steps));
        EXPECT_NAMED({"pushZ", g_input.pushZ, s.z}, {"pushX", g_input.pushX, s.x}, {"pushC", g_input.pushC, s.c}, {"hold flags set", Holds(), 0});
    }
}
