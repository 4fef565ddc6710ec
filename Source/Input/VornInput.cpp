#define DIRECTINPUT_VERSION 0x0800
#include "VornInput.h"
#include "Vorn.h"
#include "VornLog.h"
#include "VornMemory.h"
#include <dinput.h>
#include <mmsystem.h>
#include <cstdio>
#include <cstring>

namespace {

// One joystick slot and the virtual pad of the same number.
struct VornJoystick {
    VornJoystickState state;
    int32_t centreX, centreY;
    int32_t halfRangeX, halfRangeY;
    IDirectInputDevice8A* device;
    uint8_t polled;
    uint8_t forceFeedback;
    VornJoystickReader reader;     // feeds the slot in place of a device
    uint32_t disableMask;
    uint32_t mask[4];              // trigger, release, hold, repeat (VornPadState order)
    uint32_t current, previous;
    int32_t repeatCounter[VornInput::PAD_BUTTON_COUNT];
    int32_t joystickMap[VornInput::PAD_BUTTON_COUNT];
    int32_t keyMap[VornInput::PAD_BUTTON_COUNT];
};
static_assert(sizeof(uint32_t[4]) == sizeof(VornPadFrame), "a recorded frame is the four pad masks");

struct VornPadRecorder {
    uint8_t replay[VornInput::TRACK_MAX];
    uint8_t record[VornInput::TRACK_MAX];
    int32_t frameIndex;
    int32_t framesPerTrack;
    int32_t trackCount;
    VornPadFrame* tracks[VornInput::TRACK_MAX];
};

IDirectInput8A* g_input;
IDirectInputDevice8A* g_keyboard;
uint32_t g_maxJoysticks;
uint32_t g_joystickCount;
VornJoystick* g_joysticks;          // JOYSTICK_MAX records from the work area

uint8_t g_keys[VornInput::KEY_COUNT];
DIDEVICEOBJECTDATA g_keyEvents[VornInput::KEY_BUFFER_SIZE];
uint32_t g_keyEventCount;
uint32_t g_keyEventIndex;

VornMouseState g_mouse;
uint8_t g_pendingDoubleClick[3];

int32_t g_padCount;
uint8_t g_keyboardToPad;
int32_t g_repeatDelay;
int32_t g_repeatInterval;

VornPadRecorder g_recorders[VornInput::PAD_MAX];

// A track frame holds at most this many frames (far beyond any work area).
constexpr int32_t kFramesPerTrackMax = 0x00FFFFFF;

bool ValidPad(int32_t pad) { return g_joysticks && pad >= 0 && pad < VornInput::PAD_MAX; }
bool ValidButton(int32_t b) { return b >= 0 && b < VornInput::PAD_BUTTON_COUNT; }
bool ValidTrack(int32_t t) { return t >= 0 && t < VornInput::TRACK_MAX; }

void Refused(const char* operation, const char* arguments)
{
    VornLog::StrongBlue("%s", operation);
    VornLog::Print(" : %s : ", arguments);
    VornLog::StrongRed("範囲外の番号");
    VornLog::LineBreak();
}

void Line(const char* text)
{
    VornLog::Print("%s", text);
    VornLog::LineBreak();
}

void ErrorLine(const char* text)
{
    VornLog::StrongRed("%s", text);
    VornLog::LineBreak();
}

// ---- DirectInput data formats ----

DIOBJECTDATAFORMAT g_keyboardObjects[VornInput::KEY_COUNT];
DIDATAFORMAT g_keyboardFormat;

// 6 axes x 4 aspects, 2 sliders x 4 aspects (each aspect onto the same two words), 4 POVs, 16 buttons.
constexpr int kJoystickObjectCount = 24 + 8 + 4 + 16;
DIOBJECTDATAFORMAT g_joystickObjects[kJoystickObjectCount];
DIDATAFORMAT g_joystickFormat;

void BuildDataFormats()
{
    for (int i = 0; i < VornInput::KEY_COUNT; ++i) {
        DIOBJECTDATAFORMAT& o = g_keyboardObjects[i];
        o.pguid = &GUID_Key;
        o.dwOfs = static_cast<DWORD>(i);
        o.dwType = DIDFT_OPTIONAL | DIDFT_MAKEINSTANCE(i) | DIDFT_BUTTON;
        o.dwFlags = 0;
    }
    g_keyboardFormat.dwSize = sizeof(DIDATAFORMAT);
    g_keyboardFormat.dwObjSize = sizeof(DIOBJECTDATAFORMAT);
    g_keyboardFormat.dwFlags = DIDF_RELAXIS;
    g_keyboardFormat.dwDataSize = VornInput::KEY_COUNT;
    g_keyboardFormat.dwNumObjs = VornInput::KEY_COUNT;
    g_keyboardFormat.rgodf = g_keyboardObjects;

    static const GUID* const axes[6] = {&GUID_XAxis, &GUID_YAxis, &GUID_ZAxis, &GUID_RxAxis, &GUID_RyAxis, &GUID_RzAxis};
    static const DWORD aspects[4] = {DIDOI_ASPECTPOSITION, DIDOI_ASPECTVELOCITY, DIDOI_ASPECTACCEL, DIDOI_ASPECTFORCE};
    const DWORD axisType = DIDFT_OPTIONAL | DIDFT_AXIS | DIDFT_ANYINSTANCE;
    int n = 0;
    for (int aspect = 0; aspect < 4; ++aspect)
        for (int axis = 0; axis < 6; ++axis)
            g_joystickObjects[n++] = {axes[axis], static_cast<DWORD>(aspect * 24 + axis * 4), axisType, aspects[aspect]};
    for (int aspect = 0; aspect < 4; ++aspect)
        for (int slider = 0; slider < 2; ++slider)
            g_joystickObjects[n++] = {&GUID_Slider, static_cast<DWORD>(96 + slider * 4), axisType, aspects[aspect]};
    for (int pov = 0; pov < 4; ++pov)
        g_joystickObjects[n++] = {&GUID_POV, static_cast<DWORD>(104 + pov * 4), DIDFT_OPTIONAL | DIDFT_POV | DIDFT_ANYINSTANCE, 0};
    for (int button = 0; button < 16; ++button)
        g_joystickObjects[n++] = {&GUID_Button, static_cast<DWORD>(120 + button), DIDFT_OPTIONAL | DIDFT_BUTTON | DIDFT_ANYINSTANCE, 0};
    g_joystickFormat.dwSize = sizeof(DIDATAFORMAT);
    g_joystickFormat.dwObjSize = sizeof(DIOBJECTDATAFORMAT);
    g_joystickFormat.dwFlags = DIDF_ABSAXIS;
    g_joystickFormat.dwDataSize = sizeof(VornJoystickState);
    g_joystickFormat.dwNumObjs = kJoystickObjectCount;
    g_joystickFormat.rgodf = g_joystickObjects;
}

// centre := (min + max) / 2 (towards zero), halfRange := max - centre, without overflowing.
void SetAxisRange(int32_t min, int32_t max, int32_t* centre, int32_t* halfRange)
{
    *centre = static_cast<int32_t>((static_cast<int64_t>(min) + max) / 2);
    *halfRange = static_cast<int32_t>(static_cast<int64_t>(max) - *centre);
}

void ReleaseJoystickDevice(VornJoystick& j)
{
    if (!j.device) return;
    j.device->Unacquire();
    j.device->Release();
    j.device = nullptr;
}

BOOL CALLBACK EnumJoystickCallback(const DIDEVICEINSTANCEA* instance, void*)
{
    if (g_joystickCount >= g_maxJoysticks) return DIENUM_STOP;
    IDirectInputDevice8A* device = nullptr;
    if (FAILED(g_input->CreateDevice(instance->guidInstance, &device, nullptr)) || !device) return DIENUM_STOP;
    g_joysticks[g_joystickCount].device = device;
    ++g_joystickCount;
    return g_joystickCount < g_maxJoysticks ? DIENUM_CONTINUE : DIENUM_STOP;
}

// The axes of one joystick; a range that cannot be read stops the walk and marks the device for
// release once EnumObjects has returned (never inside its own enumeration).
struct AxisWalk {
    VornJoystick* joystick;
    bool failed;
};

BOOL CALLBACK EnumAxisCallback(const DIDEVICEOBJECTINSTANCEA* object, void* context)
{
    AxisWalk& walk = *static_cast<AxisWalk*>(context);
    VornJoystick& j = *walk.joystick;
    DIPROPRANGE range = {};
    range.diph.dwSize = sizeof(DIPROPRANGE);
    range.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    range.diph.dwHow = DIPH_BYID;
    range.diph.dwObj = object->dwType;
    if (FAILED(j.device->GetProperty(DIPROP_RANGE, &range.diph))) {
        ErrorLine("　　　軸データ取得に失敗");
        walk.failed = true;
        return DIENUM_STOP;
    }
    const GUID& g = object->guidType;
    if (g == GUID_XAxis || g == GUID_YAxis) {
        Line(g == GUID_XAxis ? "　　　X軸" : "　　　Y軸");
        if (g == GUID_XAxis)
            SetAxisRange(range.lMin, range.lMax, &j.centreX, &j.halfRangeX);
        else
            SetAxisRange(range.lMin, range.lMax, &j.centreY, &j.halfRangeY);
        VornLog::Print("　　　( %d ～ %d )", static_cast<int>(range.lMin), static_cast<int>(range.lMax));
        VornLog::LineBreak();
    } else if (g == GUID_ZAxis) Line("　　　Z軸");
    else if (g == GUID_RxAxis) Line("　　　X回転軸");
    else if (g == GUID_RyAxis) Line("　　　Y回転軸");
    else if (g == GUID_RzAxis) Line("　　　Z回転軸");
    else if (g == GUID_Slider) Line("　　　スライダー");
    else if (g == GUID_POV) Line("　　　POV");
    else Line("　　　確定できない");
    return DIENUM_CONTINUE;
}

// Prepares a found joystick device (data format, cooperative level, report, axis ranges); a
// device that fails a step is released.
bool SetUpJoystick(VornJoystick& j)
{
    const char* error = nullptr;
    if (FAILED(j.device->SetDataFormat(&g_joystickFormat)))
        error = "　　　エラー : データフォーマットの設定に失敗";
    else if (FAILED(j.device->SetCooperativeLevel(Vorn::GetWindowHandle(), DISCL_EXCLUSIVE | DISCL_FOREGROUND)))
        error = "　　　エラー : 協調レベルの設定に失敗";
    if (error) {
        ErrorLine(error);
        ReleaseJoystickDevice(j);
        return false;
    }
    DIDEVICEINSTANCEA info = {};
    info.dwSize = sizeof info;
    DIDEVCAPS caps = {};
    caps.dwSize = sizeof caps;
    if (FAILED(j.device->GetDeviceInfo(&info)) || FAILED(j.device->GetCapabilities(&caps))) {
        ErrorLine("　　　エラー : デバイス情報の取得に失敗");
        ReleaseJoystickDevice(j);
        return false;
    }
    VornLog::Print("　　%s", info.tszProductName);
    VornLog::LineBreak();
    VornLog::Print("　　　%d軸 %dボタン %dPov", static_cast<int>(caps.dwAxes), static_cast<int>(caps.dwButtons),
                   static_cast<int>(caps.dwPOVs));
    VornLog::LineBreak();
    j.forceFeedback = (caps.dwFlags & DIDC_FORCEFEEDBACK) ? 1 : 0;
    j.polled = (caps.dwFlags & (DIDC_POLLEDDEVICE | DIDC_POLLEDDATAFORMAT)) ? 1 : 0;
    VornLog::Print("　　　ForceFeedback　[%s]", j.forceFeedback ? "ON" : "OFF");
    VornLog::LineBreak();
    VornLog::Print("　　　Polling　[%s]", j.polled ? "ON" : "OFF");
    VornLog::LineBreak();
    AxisWalk walk = {&j, false};
    if (FAILED(j.device->EnumObjects(EnumAxisCallback, &walk, DIDFT_AXIS))) {
        ErrorLine("　　　エラー : 軸の列挙に失敗");
        walk.failed = true;
    }
    if (walk.failed) {
        ReleaseJoystickDevice(j);
        return false;
    }
    j.device->Acquire();   // fails in the background; reads acquire again
    return true;
}

bool ReadJoystickDevice(VornJoystick& j)
{
    if (j.polled) j.device->Poll();
    if (SUCCEEDED(j.device->GetDeviceState(sizeof(VornJoystickState), &j.state))) return true;
    j.device->Acquire();
    return false;
}

// (value - centre) * 65535 / halfRange; an axis without a usable range reads centred.
int32_t ScaleAxis(int32_t value, int32_t centre, int32_t halfRange)
{
    if (halfRange <= 0) return 0;
    return static_cast<int32_t>((static_cast<int64_t>(value) - centre) * 65535 / halfRange);
}

// The menu cursor moved by the pad's repeat mask: back (PAD_UP or PAD_LEFT) moves it down by one,
// the button after it (PAD_DOWN or PAD_RIGHT) up by one; the result is the button that moved it,
// or CURSOR_NO_MOVE. Looping, it wraps round at both ends; clamped, back at 0 moves nothing and
// does not look at forward.
int32_t MoveCursor(int32_t pad, int32_t* cursor, int32_t count, int32_t back, bool loop)
{
    if (!ValidPad(pad) || !cursor || count < 1) return VornInput::CURSOR_NO_MOVE;
    const uint32_t repeat = g_joysticks[pad].mask[PAD_STATE_REPEAT];
    const int32_t forward = back + 1;
    if ((repeat >> back) & 1) {
        if (*cursor > 0) *cursor -= 1;
        else if (loop) *cursor = count - 1;
        else return VornInput::CURSOR_NO_MOVE;
        return back;
    }
    if ((repeat >> forward) & 1) {
        if (*cursor < count - 1) *cursor += 1;
        else if (loop) *cursor = 0;
        else return VornInput::CURSOR_NO_MOVE;
        return forward;
    }
    return VornInput::CURSOR_NO_MOVE;
}

void FreeTracks(VornPadRecorder& r)
{
    for (VornPadFrame*& track : r.tracks) {
        if (track) VornMemory::FreeQuiet(track);
        track = nullptr;
    }
}

// New or loaded tracks start stopped: no track goes on replaying or recording into them.
void ResetTracks(VornPadRecorder& r)
{
    FreeTracks(r);
    memset(r.replay, 0, sizeof r.replay);
    memset(r.record, 0, sizeof r.record);
    r.frameIndex = 0;
}

} // namespace

bool VornInput::Initialize()
{
    VornLog::Title("VornInputクラスの初期化");
    if (g_joysticks) return true;
    Line("　ジョイスティック用メモリを確保");
    g_joysticks = static_cast<VornJoystick*>(VORN_ALLOC_ZERO(sizeof(VornJoystick) * JOYSTICK_MAX));
    if (!g_joysticks) {
        ErrorLine("　エラー : ジョイスティック用メモリ確保に失敗");
        return false;
    }
    // No joystick button drives a virtual button until it is mapped (0 is a real button).
    for (int32_t i = 0; i < JOYSTICK_MAX; ++i)
        for (int32_t& button : g_joysticks[i].joystickMap) button = -1;
    memset(g_keys, 0, sizeof g_keys);
    memset(&g_mouse, 0, sizeof g_mouse);
    memset(g_pendingDoubleClick, 0, sizeof g_pendingDoubleClick);
    memset(g_recorders, 0, sizeof g_recorders);
    g_keyEventCount = g_keyEventIndex = 0;
    g_joystickCount = 0;
    g_padCount = 0;
    g_keyboardToPad = 0;
    g_repeatDelay = g_repeatInterval = 0;
    BuildDataFormats();

    if (FAILED(CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_ALL, IID_IDirectInput8A,
                                reinterpret_cast<void**>(&g_input))) || !g_input) {
        g_input = nullptr;
        ErrorLine("　エラー : DirectInputオブジェクトの生成に失敗");
        ErrorLine("　　[ DirectX8.1以降をインストールしてください ]");
        ReleaseAll();
        return false;
    }
    HINSTANCE instance = Vorn::GetInstanceHandle();
    if (!instance) instance = GetModuleHandleA(nullptr);
    if (FAILED(g_input->Initialize(instance, 0x0800))) {
        ErrorLine("　エラー : DirectInputオブジェクトの初期化に失敗");
        ReleaseAll();
        return false;
    }
    InitKeyboard();
    InitJoysticks();
    return true;
}

bool VornInput::InitKeyboard()
{
    if (FAILED(g_input->CreateDevice(GUID_SysKeyboard, &g_keyboard, nullptr)) || !g_keyboard) {
        g_keyboard = nullptr;
        ErrorLine("　　エラー : キーボードデバイスの生成に失敗");
        return false;
    }
    const char* error = nullptr;
    DIPROPDWORD buffer = {};
    buffer.diph.dwSize = sizeof(DIPROPDWORD);
    buffer.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    buffer.diph.dwHow = DIPH_DEVICE;
    buffer.dwData = KEY_BUFFER_SIZE;
    if (FAILED(g_keyboard->SetDataFormat(&g_keyboardFormat)))
        error = "　　エラー : データフォーマットの設定に失敗";
    else if (FAILED(g_keyboard->SetCooperativeLevel(Vorn::GetWindowHandle(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND)))
        error = "　　エラー : 協調レベルの設定に失敗";
    else if (FAILED(g_keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph)))
        error = "　　エラー : プロパティの設定に失敗";
    if (error) {
        ErrorLine(error);
        g_keyboard->Release();
        g_keyboard = nullptr;
        return false;
    }
    DIDEVCAPS caps = {};
    caps.dwSize = sizeof caps;
    if (SUCCEEDED(g_keyboard->GetCapabilities(&caps))) {
        VornLog::Print("　　%dキー キーボード", static_cast<int>(caps.dwButtons));
        VornLog::LineBreak();
    }
    g_keyboard->Acquire();   // fails while the window is in the background; reads acquire again
    return true;
}

bool VornInput::InitJoysticks()
{
    g_maxJoysticks = joyGetNumDevs();
    if (g_maxJoysticks > static_cast<uint32_t>(JOYSTICK_MAX)) g_maxJoysticks = JOYSTICK_MAX;
    VornLog::Print("　　使用可能な最大ジョイスティック数 [%d]", static_cast<int>(g_maxJoysticks));
    VornLog::LineBreak();
    g_joystickCount = 0;
    if (g_maxJoysticks == 0) return true;
    if (FAILED(g_input->EnumDevices(DI8DEVCLASS_GAMECTRL, EnumJoystickCallback, nullptr, DIEDFL_ATTACHEDONLY))) {
        for (uint32_t i = 0; i < g_joystickCount; ++i) ReleaseJoystickDevice(g_joysticks[i]);
        g_joystickCount = 0;
        ErrorLine("　　エラー : ジョイスティックデバイスの列挙に失敗");
        return false;
    }
    for (uint32_t i = 0; i < g_joystickCount; ++i) SetUpJoystick(g_joysticks[i]);
    return true;
}

void VornInput::Finalize()
{
    VornLog::Title("VornInputクラスの解放");
    ReleaseAll();
}

// Releases every device, the DirectInput object, the track buffers and the joystick records.
void VornInput::ReleaseAll()
{
    if (g_joysticks) {
        for (int32_t i = 0; i < JOYSTICK_MAX; ++i) {
            if (!g_joysticks[i].device) continue;
            ReleaseJoystickDevice(g_joysticks[i]);
            VornLog::Print("ジョイスティック用デバイスの解放 [%d]", static_cast<int>(i));
            VornLog::LineBreak();
        }
    }
    if (g_keyboard) {
        g_keyboard->Unacquire();
        g_keyboard->Release();
        g_keyboard = nullptr;
        Line("キーボード用デバイスの解放");
    }
    if (g_input) {
        g_input->Release();
        g_input = nullptr;
        Line("DirectInputオブジェクトの解放");
    }
    for (VornPadRecorder& r : g_recorders) FreeTracks(r);
    memset(g_recorders, 0, sizeof g_recorders);
    if (g_joysticks) VornMemory::Free(g_joysticks);
    g_joysticks = nullptr;
    g_joystickCount = 0;
    g_padCount = 0;
    g_keyEventCount = g_keyEventIndex = 0;
}

// ---- Per frame ----

void VornInput::Refresh()
{
    UpdateJoysticks();
    UpdateKeyboardState();
    UpdateKeyboardBuffer();
    UpdateMouse();
}

void VornInput::UpdateJoysticks()
{
    if (!g_joysticks) return;
    for (uint32_t slot = 0; slot < g_joystickCount; ++slot) {
        VornJoystick& j = g_joysticks[slot];
        bool read = false;
        if (j.reader) read = j.reader(slot, &j.state);
        else if (j.device) read = ReadJoystickDevice(j);
        if (!read) {
            // Only this joystick reads as released; the others keep what they read.
            memset(&j.state, 0, sizeof j.state);
            continue;
        }
        j.state.position[0] = ScaleAxis(j.state.position[0], j.centreX, j.halfRangeX);
        j.state.position[1] = ScaleAxis(j.state.position[1], j.centreY, j.halfRangeY);
        for (uint32_t& pov : j.state.pov)
            pov = (pov & 0xFFFF) == 0xFFFF ? 0xFFFFFFFFu : pov / 100;
        for (uint8_t& b : j.state.button) b = (b >> 7) & 1;
    }
}

void VornInput::UpdateKeyboardState()
{
    if (g_keyboard && SUCCEEDED(g_keyboard->GetDeviceState(sizeof g_keys, g_keys))) {
        for (uint8_t& k : g_keys) k = (k >> 7) & 1;
        return;
    }
    if (g_keyboard) g_keyboard->Acquire();
    memset(g_keys, 0, sizeof g_keys);
}

void VornInput::UpdateKeyboardBuffer()
{
    g_keyEventIndex = 0;
    g_keyEventCount = 0;
    if (!g_keyboard) return;
    DWORD count = KEY_BUFFER_SIZE;
    if (FAILED(g_keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), g_keyEvents, &count, 0))) {
        g_keyboard->Acquire();
        return;
    }
    g_keyEventCount = count < KEY_BUFFER_SIZE ? count : KEY_BUFFER_SIZE;
}

void VornInput::UpdateMouse()
{
    static const int keys[3] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON};
    for (int i = 0; i < 3; ++i) {
        const uint8_t down = (GetKeyState(keys[i]) & 0x80) ? 1 : 0;
        const uint8_t before = g_mouse.down[i];
        g_mouse.button[i] = down ? (before ? BUTTON_HELD : BUTTON_PRESSED) : (before ? BUTTON_RELEASED : BUTTON_UP);
        g_mouse.down[i] = down;
        g_mouse.doubleClick[i] = g_pendingDoubleClick[i];
        g_pendingDoubleClick[i] = 0;
    }
    POINT p;
    if (GetCursorPos(&p)) {
        HWND window = Vorn::GetWindowHandle();
        if (window) ScreenToClient(window, &p);
        g_mouse.x = p.x;
        g_mouse.y = p.y;
    }
}

void VornInput::UpdatePads()
{
    if (!g_joysticks) return;
    for (int32_t i = 0; i < g_padCount; ++i) {
        VornJoystick& j = g_joysticks[i];
        j.previous = j.current;
        j.current = 0;
        VornJoystickState stick;
        if (GetJoystickData(i, &stick)) {
            if (stick.position[0] < -32768) j.current |= 1u << PAD_LEFT;
            if (stick.position[0] > 32768) j.current |= 1u << PAD_RIGHT;
            if (stick.position[1] < -32768) j.current |= 1u << PAD_UP;
            if (stick.position[1] > 32768) j.current |= 1u << PAD_DOWN;
            for (int32_t b = PAD_BUTTON1; b < PAD_BUTTON_COUNT; ++b) {
                const int32_t button = j.joystickMap[b];
                if (button >= 0 && button < JOYSTICK_BUTTON_COUNT && stick.button[button]) j.current |= 1u << b;
            }
        }
        if (g_keyboardToPad) {
            for (int32_t b = 0; b < PAD_BUTTON_COUNT; ++b) {
                const int32_t key = j.keyMap[b];
                if (key >= 0 && key < KEY_COUNT && g_keys[key]) j.current |= 1u << b;
            }
        }
        j.mask[PAD_STATE_TRIGGER] = j.current & ~j.previous;
        j.mask[PAD_STATE_RELEASE] = j.previous & ~j.current;
        j.mask[PAD_STATE_HOLD] = j.previous & j.current;
        j.mask[PAD_STATE_REPEAT] = 0;
        for (int32_t b = 0; b < PAD_BUTTON_COUNT; ++b) {
            if (!((j.mask[PAD_STATE_HOLD] >> b) & 1)) {
                j.repeatCounter[b] = 0;
                continue;
            }
            const int32_t counter = j.repeatCounter[b];
            // An interval below 1 repeats only on the second frame of the press.
            if (counter == 0 || (counter > g_repeatDelay && g_repeatInterval > 0 && counter % g_repeatInterval == 0))
                j.mask[PAD_STATE_REPEAT] |= 1u << b;
            if (counter < INT32_MAX) j.repeatCounter[b] = counter + 1;
        }
        for (uint32_t& m : j.mask) m &= ~j.disableMask;
        StepPadRecorder(i);
    }
}

// ---- Pads ----

void VornInput::SetPadConfig(int32_t padCount, uint8_t keyboardToPad, int32_t repeatDelay, int32_t repeatInterval)
{
    if (padCount < 0 || padCount > PAD_MAX) {
        char text[64];
        snprintf(text, sizeof text, "[ %d ]", static_cast<int>(padCount));
        Refused("VornInput::SetPadConfig", text);
        return;
    }
    g_padCount = padCount;
    g_keyboardToPad = keyboardToPad;
    g_repeatDelay = repeatDelay;
    g_repeatInterval = repeatInterval;
}

bool VornInput::SetPadJoystickButton(int32_t pad, int32_t button, int32_t joystickButton)
{
    if (!ValidPad(pad) || !ValidButton(button) || joystickButton < 0 || joystickButton >= JOYSTICK_BUTTON_COUNT) {
        char text[96];
        snprintf(text, sizeof text, "[ %d ] [ %d ] [ %d ]", static_cast<int>(pad), static_cast<int>(button),
                 static_cast<int>(joystickButton));
        Refused("VornInput::SetPadJoystickButton", text);
        return false;
    }
    g_joysticks[pad].joystickMap[button] = joystickButton;
    return true;
}

bool VornInput::SetPadKey(int32_t pad, int32_t button, int32_t key)
{
    if (!ValidPad(pad) || !ValidButton(button) || key < 0 || key >= KEY_COUNT) {
        char text[96];
        snprintf(text, sizeof text, "[ %d ] [ %d ] [ %d ]", static_cast<int>(pad), static_cast<int>(button),
                 static_cast<int>(key));
        Refused("VornInput::SetPadKey", text);
        return false;
    }
    g_joysticks[pad].keyMap[button] = key;
    return true;
}

bool VornInput::GetPadState(int32_t pad, int32_t kind, int32_t button)
{
    if (!ValidPad(pad) || kind < PAD_STATE_TRIGGER || kind > PAD_STATE_REPEAT || !ValidButton(button)) return false;
    return (g_joysticks[pad].mask[kind] >> button) & 1;
}

bool VornInput::SetPadState(int32_t pad, int32_t kind, uint32_t mask)
{
    if (!ValidPad(pad) || kind < PAD_STATE_TRIGGER || kind > PAD_STATE_REPEAT) return false;
    g_joysticks[pad].mask[kind] = mask;
    return true;
}

bool VornInput::SetPadDisableMask(int32_t pad, uint32_t mask)
{
    if (!ValidPad(pad)) return false;
    g_joysticks[pad].disableMask = mask;
    return true;
}

// ---- Keyboard ----

bool VornInput::IsKeyDown(int32_t key)
{
    return key >= 0 && key < KEY_COUNT && g_keys[key] == 1;
}

void VornInput::ResetKeyBuffer()
{
    g_keyEventCount = 0;
    g_keyEventIndex = 0;
}

bool VornInput::GetKeyBuffer(int32_t* key)
{
    if (!key) return false;
    while (g_keyEventIndex < g_keyEventCount) {
        const DIDEVICEOBJECTDATA& e = g_keyEvents[g_keyEventIndex++];
        if (e.dwData & 0x80) {
            *key = static_cast<int32_t>(e.dwOfs);
            return *key != 0;
        }
    }
    *key = 0;
    return false;
}

// ---- Joysticks and mouse ----

bool VornInput::GetJoystickData(int32_t slot, VornJoystickState* out)
{
    if (!g_joysticks || slot < 0 || slot >= JOYSTICK_MAX || !out) return false;
    const VornJoystick& j = g_joysticks[slot];
    *out = j.state;
    return j.device != nullptr || j.reader != nullptr;
}

void VornInput::GetMouseData(VornMouseState* out)
{
    if (out) *out = g_mouse;
}

// The sum wraps round instead of overflowing.
void VornInput::AddMouseWheel(int16_t delta)
{
    g_mouse.wheel = static_cast<int32_t>(static_cast<uint32_t>(g_mouse.wheel) + static_cast<uint32_t>(delta));
}
void VornInput::SetLeftDoubleClick() { g_pendingDoubleClick[0] = 1; }
void VornInput::SetRightDoubleClick() { g_pendingDoubleClick[1] = 1; }
void VornInput::SetMiddleDoubleClick() { g_pendingDoubleClick[2] = 1; }

bool VornInput::AttachJoystickReader(int32_t slot, VornJoystickReader reader, int32_t minX, int32_t maxX,
                                     int32_t minY, int32_t maxY)
{
    if (!g_joysticks || slot < 0 || slot >= JOYSTICK_MAX) return false;
    VornJoystick& j = g_joysticks[slot];
    j.reader = reader;
    SetAxisRange(minX, maxX, &j.centreX, &j.halfRangeX);
    SetAxisRange(minY, maxY, &j.centreY, &j.halfRangeY);
    memset(&j.state, 0, sizeof j.state);
    if (reader && static_cast<uint32_t>(slot) >= g_joystickCount) g_joystickCount = slot + 1;
    return true;
}

bool VornInput::AttachJoystickDevice(int32_t slot, IDirectInputDevice8A* device)
{
    if (!g_joysticks || slot < 0 || slot >= JOYSTICK_MAX || !device) return false;
    VornJoystick& j = g_joysticks[slot];
    ReleaseJoystickDevice(j);
    j.device = device;
    if (static_cast<uint32_t>(slot) >= g_joystickCount) g_joystickCount = slot + 1;
    return SetUpJoystick(j);
}

// ---- Menu cursors ----

int32_t VornInput::CursorUpDownLoop(int32_t pad, int32_t* cursor, int32_t count)
{
    return MoveCursor(pad, cursor, count, PAD_UP, true);
}

int32_t VornInput::CursorLeftRightLoop(int32_t pad, int32_t* cursor, int32_t count)
{
    return MoveCursor(pad, cursor, count, PAD_LEFT, true);
}

int32_t VornInput::CursorUpDown(int32_t pad, int32_t* cursor, int32_t count)
{
    return MoveCursor(pad, cursor, count, PAD_UP, false);
}

int32_t VornInput::CursorLeftRight(int32_t pad, int32_t* cursor, int32_t count)
{
    return MoveCursor(pad, cursor, count, PAD_LEFT, false);
}

// ---- Pad recorder ----

void VornInput::StepPadRecorder(int32_t pad)
{
    VornPadRecorder& r = g_recorders[pad];
    if (r.frameIndex >= r.framesPerTrack) return;
    uint32_t* masks = g_joysticks[pad].mask;
    bool active = false;
    for (int32_t t = 0; t < r.trackCount; ++t) {
        VornPadFrame& frame = r.tracks[t][r.frameIndex];
        if (r.record[t]) {
            memcpy(&frame, masks, sizeof frame);
            active = true;
        } else if (r.replay[t]) {
            memcpy(masks, &frame, sizeof frame);
            active = true;
        }
    }
    // One frame position for the whole pad: every active track uses the same slot this frame.
    if (active) ++r.frameIndex;
}

bool VornInput::InitPadRecorder(int32_t pad, int32_t trackCount, int32_t framesPerTrack)
{
    if (!ValidPad(pad) || trackCount < 0 || trackCount > TRACK_MAX || framesPerTrack < 0 ||
        framesPerTrack > kFramesPerTrackMax || (trackCount > 0 && framesPerTrack == 0)) {
        char text[96];
        snprintf(text, sizeof text, "[ %d ] [ %d ] [ %d ]", static_cast<int>(pad), static_cast<int>(trackCount),
                 static_cast<int>(framesPerTrack));
        Refused("VornInput::InitPadRecorder", text);
        return false;
    }
    VornPadRecorder& r = g_recorders[pad];
    ResetTracks(r);
    r.trackCount = trackCount;
    r.framesPerTrack = framesPerTrack;
    for (int32_t t = 0; t < trackCount; ++t) {
        r.tracks[t] = static_cast<VornPadFrame*>(
            VORN_ALLOC_ZERO_QUIET(static_cast<uint32_t>(framesPerTrack) * sizeof(VornPadFrame)));
        if (!r.tracks[t]) {
            FreeTracks(r);
            r.trackCount = r.framesPerTrack = 0;
            VornLog::StrongBlue("VornInput::InitPadRecorder");
            VornLog::StrongRed(" : トラック用メモリ確保に失敗");
            VornLog::LineBreak();
            return false;
        }
    }
    return true;
}

bool VornInput::StartPadRecording(int32_t pad, int32_t track, uint8_t rewind)
{
    if (!ValidPad(pad) || !ValidTrack(track)) return false;
    VornPadRecorder& r = g_recorders[pad];
    r.record[track] = 1;
    r.replay[track] = 0;
    if (rewind) r.frameIndex = 0;
    return true;
}

bool VornInput::StopPadRecording(int32_t pad, int32_t track)
{
    if (!ValidPad(pad) || !ValidTrack(track)) return false;
    g_recorders[pad].record[track] = g_recorders[pad].replay[track] = 0;
    return true;
}

bool VornInput::StartPadReplay(int32_t pad, int32_t track, uint8_t rewind)
{
    if (!ValidPad(pad) || !ValidTrack(track)) return false;
    VornPadRecorder& r = g_recorders[pad];
    r.replay[track] = 1;
    r.record[track] = 0;
    if (rewind) r.frameIndex = 0;
    return true;
}

bool VornInput::StopPadReplay(int32_t pad, int32_t track)
{
    return StopPadRecording(pad, track);
}

bool VornInput::SavePadRecord(int32_t pad, const char* fileName)
{
    VornLog::StrongBlue("VornInput::SavePadRecord");
    VornLog::Print(" : [ %d ] [ %s ] : ", static_cast<int>(pad), fileName ? fileName : "");
    const char* error = nullptr;
    if (!ValidPad(pad) || !fileName) error = "範囲外の番号";
    else if (g_recorders[pad].trackCount == 0) error = "記録がありません";
    if (error) {
        VornLog::StrongRed("%s", error);
        VornLog::LineBreak();
        return false;
    }
    const VornPadRecorder& r = g_recorders[pad];
    Vorn::ResetCurrentDirectory();
    FILE* file = fopen(fileName, "wb");
    if (!file) {
        VornLog::StrongRed("ファイルを開けません");
        VornLog::LineBreak();
        return false;
    }
    uint8_t bytes[256 * VornPadFile::FRAME_SIZE];
    VornPadFile::WriteHeader(bytes, static_cast<uint32_t>(r.trackCount), static_cast<uint32_t>(r.framesPerTrack));
    bool ok = fwrite(bytes, VornPadFile::HEADER_SIZE, 1, file) == 1;
    for (int32_t t = 0; ok && t < r.trackCount; ++t) {
        for (int32_t f = 0; ok && f < r.framesPerTrack; f += 256) {
            const size_t n = static_cast<size_t>(r.framesPerTrack - f < 256 ? r.framesPerTrack - f : 256);
            VornPadFile::EncodeFrames(bytes, r.tracks[t] + f, n);
            ok = fwrite(bytes, VornPadFile::FRAME_SIZE * n, 1, file) == 1;
        }
    }
    if (fclose(file) != 0) ok = false;
    if (!ok) {
        remove(fileName);   // a half-written file would only be refused later
        VornLog::StrongRed("書き込みに失敗");
        VornLog::LineBreak();
        return false;
    }
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return true;
}

bool VornInput::LoadPadRecord(int32_t pad, const char* fileName)
{
    VornLog::StrongBlue("VornInput::LoadPadRecord");
    VornLog::Print(" : [ %d ] [ %s ] : ", static_cast<int>(pad), fileName ? fileName : "");
    if (!ValidPad(pad) || !fileName) {
        VornLog::StrongRed("範囲外の番号");
        VornLog::LineBreak();
        return false;
    }
    Vorn::ResetCurrentDirectory();
    FILE* file = fopen(fileName, "rb");
    if (!file) {
        VornLog::StrongRed("ファイルを開けません");
        VornLog::LineBreak();
        return false;
    }
    const char* error = nullptr;
    uint8_t header[VornPadFile::HEADER_SIZE];
    uint32_t trackCount = 0, framesPerTrack = 0;
    int64_t fileSize = -1;
    if (_fseeki64(file, 0, SEEK_END) == 0) fileSize = _ftelli64(file);
    if (fileSize < 0 || _fseeki64(file, 0, SEEK_SET) != 0 || fread(header, sizeof header, 1, file) != 1 ||
        !VornPadFile::ReadHeader(header, static_cast<uint64_t>(fileSize), &trackCount, &framesPerTrack) ||
        framesPerTrack > static_cast<uint32_t>(kFramesPerTrackMax))
        error = "PADファイルではありません";

    // Read into new buffers first: a file that fails half-way leaves the recorder as it was.
    VornPadFrame* tracks[TRACK_MAX] = {};
    const size_t trackBytes = static_cast<size_t>(framesPerTrack) * VornPadFile::FRAME_SIZE;
    for (uint32_t t = 0; !error && t < trackCount; ++t) {
        tracks[t] = static_cast<VornPadFrame*>(VORN_ALLOC_ZERO_QUIET(static_cast<uint32_t>(trackBytes)));
        if (!tracks[t]) error = "トラック用メモリ確保に失敗";
        else if (fread(tracks[t], trackBytes, 1, file) != 1) error = "読み込みに失敗";
        else VornPadFile::DecodeFrames(tracks[t], reinterpret_cast<const uint8_t*>(tracks[t]), framesPerTrack);
    }
    fclose(file);
    if (error) {
        for (VornPadFrame* track : tracks)
            if (track) VornMemory::FreeQuiet(track);
        VornLog::StrongRed("%s", error);
        VornLog::LineBreak();
        return false;
    }
    VornPadRecorder& r = g_recorders[pad];
    ResetTracks(r);
    r.trackCount = static_cast<int32_t>(trackCount);
    r.framesPerTrack = static_cast<int32_t>(framesPerTrack);
    for (uint32_t t = 0; t < trackCount; ++t) r.tracks[t] = tracks[t];
    VornLog::StrongGreen("Success");
    VornLog::LineBreak();
    return true;
}
