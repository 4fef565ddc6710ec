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
        Attach(0);
        MapPadInput();
        g_input = {};
    }
    static void Step()
    {
        Frame();
        LatchInput();
    }
    static bool AnyPush() { return g_input.pushZ || g_input.pushX || g_input.pushC; }
    static int Holds() { return g_input.holdUp + g_input.holdDown + g_input.holdLeft + g_input.holdRight; }
};

TEST_F(GameLatch, ZXAndCPushOnlyOnTheFrameOfThePress)
{
    EXPECT_EQ(std::string::npos, Log().find("範囲外の番号"));   // every mapping call was accepted
    // Joystick buttons 3, 2 and 1 are virtual buttons 4, 5 and 6 (Z, X, C).
    const int buttons[3] = {3, 2, 1};
    for (int i = 0; i < 3; ++i) {
        g_raw[0] = {};
        Step();
        g_raw[0].button[buttons[i]] = 0x80;
        Step();
        EXPECT_TRUE(g_input.pushZ == (i == 0) && g_input.pushX == (i == 1) && g_input.pushC == (i == 2)) << i;
        for (int held = 0; held < 40; ++held) {   // through the repeats
            Step();
            EXPECT_FALSE(AnyPush()) << i << " held " << held;
        }
        g_raw[0] = {};
        Step();
        EXPECT_FALSE(AnyPush());
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
    for (const auto& a : arrows) {
        g_raw[0] = {};
        Step();
        g_raw[0].position[0] = a.x;
        g_raw[0].position[1] = a.y;
        Step();   // one frame: a trigger only
        EXPECT_EQ(0, Holds());
        g_raw[0] = {};
        Step();
        EXPECT_EQ(0, Holds());
        // Held for two frames and more: the flag from the second frame on.
        g_raw[0].position[0] = a.x;
        g_raw[0].position[1] = a.y;
        Step();
        EXPECT_FALSE(g_input.*a.flag);
        Step();
        EXPECT_TRUE(g_input.*a.flag && Holds() == 1);
    }
}

// Mended: Z pressed and released while the game loaded (between two updates of the pad) was lost.
TEST_F(GameLatch, ZXOrCTypedBetweenTwoPadUpdatesPushesOnceAtTheNextLatch)
{
    NoteTypedKey(0x2C);   // Z, as the keyboard's event buffer gives it
    Step();
    EXPECT_TRUE(g_input.pushZ && !g_input.pushX && !g_input.pushC);
    Step();
    EXPECT_FALSE(AnyPush());
    NoteTypedKey(0x2D);
    NoteTypedKey(0x2E);
    Step();
    EXPECT_TRUE(!g_input.pushZ && g_input.pushX && g_input.pushC);
    // S, an arrow and Escape push and hold nothing.
    for (int32_t key : {0x1F, 0xC8, 0x01}) NoteTypedKey(key);
    Step();
    EXPECT_FALSE(AnyPush());
    EXPECT_EQ(0, Holds());
    // A replayed or recorded pad is the whole input.
    for (std::string TestSeam::*entry : {&TestSeam::replay, &TestSeam::record}) {
        g_seam.*entry = "pad";
        NoteTypedKey(0x2C);
        (g_seam.*entry).clear();
        Step();
        EXPECT_FALSE(AnyPush());
    }
}
