// VornInput: the keyboard and up to 16 joysticks through DirectInput 8, the mouse through Win32, and
// up to 16 virtual pads of 20 buttons onto which keyboard and joysticks are folded, each with its
// trigger, release, hold and repeat masks and a recorder of up to 256 tracks (record, replay, PAD
// files). Static operations over process-wide state; main thread only.
#pragma once
#include <cstdint>
#include "VornPadFile.h"

struct IDirectInputDevice8A;

// The 20 buttons of a virtual pad (bit numbers of the pad masks).
enum VornPadButton : int32_t {
    PAD_UP = 0,
    PAD_DOWN = 1,
    PAD_LEFT = 2,
    PAD_RIGHT = 3,
    PAD_BUTTON1 = 4, // buttons 1-16 are bits 4-19
    PAD_BUTTON16 = 19,
};

// The four per-frame masks of a pad, in the order they are kept.
enum VornPadState : int32_t {
    PAD_STATE_TRIGGER = 0, // pressed this frame
    PAD_STATE_RELEASE = 1, // released this frame
    PAD_STATE_HOLD = 2,    // down this frame and the previous one
    PAD_STATE_REPEAT = 3,  // second frame of a press, then every interval after the delay
};

// A joystick's state block, as DirectInput fills it (absolute axes). After each update X and Y are
// scaled to -65535..65535, the POVs are whole degrees or -1 (centred) and the buttons are 0 or 1.
struct VornJoystickState {
    int32_t position[6];     // X, Y, Z, Rx, Ry, Rz
    int32_t velocity[6];
    int32_t acceleration[6];
    int32_t force[6];
    int32_t slider[2];
    uint32_t pov[4];
    uint8_t button[16];
};
static_assert(sizeof(VornJoystickState) == 136, "the joystick state block is 136 bytes");

// The mouse block of GetMouseData: eight 32-bit words.
struct VornMouseState {
    int32_t x, y;             // cursor, client coordinates of the main window
    int32_t wheel;            // sum of every wheel delta since start
    uint8_t down[3];          // left, right, middle down at the last update
    uint8_t doubleClick[3];   // left, right, middle double-clicked since the update before
    uint8_t unused[2];
    uint32_t button[3];       // left, right, middle: BUTTON_UP, _RELEASED, _PRESSED, _HELD
};
static_assert(sizeof(VornMouseState) == 32, "the mouse block is eight words");

// Fills the raw state block of a joystick slot in place of the DirectInput device; false when the
// read fails. Tests feed joysticks through it.
typedef bool (*VornJoystickReader)(uint32_t slot, VornJoystickState* state);

class VornInput {
public:
    static constexpr int32_t PAD_MAX = 16;
    static constexpr int32_t PAD_BUTTON_COUNT = 20;
    static constexpr int32_t JOYSTICK_MAX = 16;
    static constexpr int32_t JOYSTICK_BUTTON_COUNT = 16;
    static constexpr int32_t KEY_COUNT = 256;
    static constexpr uint32_t KEY_BUFFER_SIZE = 32;
    static constexpr int32_t TRACK_MAX = 256;
    static constexpr int32_t CURSOR_NO_MOVE = 21;
    enum MouseButtonState : uint32_t { BUTTON_UP = 0, BUTTON_RELEASED = 1, BUTTON_PRESSED = 2, BUTTON_HELD = 3 };

    static bool Initialize();
    static void Finalize();

    // Per frame: read the devices, then fold them into the pads (and record or replay).
    static void Refresh();
    static void UpdatePads();

    // ---- Virtual pads ----
    static void SetPadConfig(int32_t padCount, uint8_t keyboardToPad, int32_t repeatDelay, int32_t repeatInterval);
    static bool SetPadJoystickButton(int32_t pad, int32_t button, int32_t joystickButton);
    static bool SetPadKey(int32_t pad, int32_t button, int32_t key);
    static bool GetPadState(int32_t pad, int32_t kind, int32_t button);
    static bool SetPadState(int32_t pad, int32_t kind, uint32_t mask);
    static bool SetPadDisableMask(int32_t pad, uint32_t mask);

    // ---- Keyboard ----
    static bool IsKeyDown(int32_t key);
    static void ResetKeyBuffer();
    // The next key pressed since the last read (its DIK code in *key, true); release events are
    // passed over. At the end of the events *key := 0 and the result is false.
    static bool GetKeyBuffer(int32_t* key);

    // ---- Joysticks and mouse ----
    static bool GetJoystickData(int32_t slot, VornJoystickState* out);
    static void GetMouseData(VornMouseState* out);
    static void AddMouseWheel(int16_t delta);
    static void SetLeftDoubleClick();
    static void SetRightDoubleClick();
    static void SetMiddleDoubleClick();

    // ---- Menu cursors (read the pad's repeat mask; CURSOR_NO_MOVE when nothing moved) ----
    static int32_t CursorUpDownLoop(int32_t pad, int32_t* cursor, int32_t count);
    static int32_t CursorLeftRightLoop(int32_t pad, int32_t* cursor, int32_t count);
    static int32_t CursorUpDown(int32_t pad, int32_t* cursor, int32_t count);
    static int32_t CursorLeftRight(int32_t pad, int32_t* cursor, int32_t count);

    // ---- Pad recorder ----
    static bool InitPadRecorder(int32_t pad, int32_t trackCount, int32_t framesPerTrack);
    static bool StartPadRecording(int32_t pad, int32_t track, uint8_t rewind);
    static bool StopPadRecording(int32_t pad, int32_t track);
    static bool StartPadReplay(int32_t pad, int32_t track, uint8_t rewind);
    static bool StopPadReplay(int32_t pad, int32_t track);
    static bool SavePadRecord(int32_t pad, const char* fileName);
    static bool LoadPadRecord(int32_t pad, const char* fileName);

    // ---- Joystick feed ----
    // Attaches a joystick slot that reads its raw state through reader instead of a DirectInput
    // device, with the X and Y ranges its axes report. Used where no joystick exists (tests).
    static bool AttachJoystickReader(int32_t slot, VornJoystickReader reader, int32_t minX, int32_t maxX,
                                     int32_t minY, int32_t maxY);
    // Sets up a joystick device in a slot as start-up does for each one found (format, cooperative
    // level, axis ranges); the slot takes over the caller's reference. False (device released)
    // when a step fails.
    static bool AttachJoystickDevice(int32_t slot, IDirectInputDevice8A* device);

private:
    static bool InitKeyboard();
    static bool InitJoysticks();
    static void ReleaseAll();
    static void UpdateJoysticks();
    static void UpdateKeyboardState();
    static void UpdateKeyboardBuffer();
    static void UpdateMouse();
    static void StepPadRecorder(int32_t pad);
};
