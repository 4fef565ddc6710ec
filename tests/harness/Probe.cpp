// A small Windows program that the harness's own test drives: a message box, a window that ends
// with the first key it gets, and a tone.
#include <windows.h>
#include <mmsystem.h>
#include <cmath>
#include <cstring>
#include <vector>

static LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_KEYDOWN:
        PostQuitMessage(static_cast<int>(wp));
        return 0;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(100);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

static int RunWindow(HINSTANCE inst)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ProbeProc;
    wc.hInstance = inst;
    wc.hbrBackground = CreateSolidBrush(RGB(0, 128, 255));
    wc.lpszClassName = "VornProbe";
    RegisterClassA(&wc);
    RECT r = {0, 0, 320, 240};
    AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
    HWND hwnd = CreateWindowA("VornProbe", "トルメア", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, inst, nullptr);
    if (!hwnd) return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

static int PlayTone()
{
    const int rate = 44100, seconds = 3;
    std::vector<short> samples(static_cast<size_t>(rate) * seconds);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(16000.0 * std::sin(2.0 * 3.14159265358979 * 440.0 * i / rate));
    WAVEFORMATEX fmt = {};
    fmt.wFormatTag = WAVE_FORMAT_PCM;
    fmt.nChannels = 1;
    fmt.nSamplesPerSec = rate;
    fmt.wBitsPerSample = 16;
    fmt.nBlockAlign = 2;
    fmt.nAvgBytesPerSec = rate * 2;
    HWAVEOUT out;
    if (waveOutOpen(&out, WAVE_MAPPER, &fmt, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) return 2;
    WAVEHDR hdr = {};
    hdr.lpData = reinterpret_cast<LPSTR>(samples.data());
    hdr.dwBufferLength = static_cast<DWORD>(samples.size() * 2);
    waveOutPrepareHeader(out, &hdr, sizeof hdr);
    waveOutWrite(out, &hdr, sizeof hdr);
    while (!(hdr.dwFlags & WHDR_DONE)) Sleep(20);
    waveOutUnprepareHeader(out, &hdr, sizeof hdr);
    waveOutClose(out);
    return 0;
}

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR cmd, int)
{
    if (strcmp(cmd, "box") == 0)
        return MessageBoxA(nullptr, "フルスクリーンモードで起動します", "起動オプション", MB_YESNO | MB_ICONQUESTION);
    if (strcmp(cmd, "window") == 0) return RunWindow(inst);
    if (strcmp(cmd, "tone") == 0) return PlayTone();
    return 99;
}
