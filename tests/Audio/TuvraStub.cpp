// A stand-in Tuvra for the sound tests: instances that play nothing, report playing, and record
// every value sent to slots 5 and 6. Built without the create-from-handle entry as TuvraNoHandle,
// and without the error-text entry as TuvraNoError.
#define TUVRA_BUILD
#include "Tuvra.h"

namespace {

float g_values[256];
uint32_t g_count = 0;

class Recorder final : public TuvraInstance
{
public:
    bool IsPlaying() override { return true; }
    void Play() override {}
    void Stop() override {}
    void Pause() override {}
    void Resume() override {}
    void SetVolume(float v) override { Record(v); }
    void SetPan(float v) override { Record(v); }
    void Release() override {}

private:
    static void Record(float v) { if (g_count < 256) g_values[g_count++] = v; }
};
Recorder g_recorder;

}  // namespace

TUVRA_API BOOL Tuvra_Initialize(uint32_t, IDirectSound**, TuvraAllocFunc, TuvraFreeFunc) { return TRUE; }
TUVRA_API void Tuvra_Uninitialize(void) {}
TUVRA_API TuvraInstance* Tuvra_CreateInstanceFromFile(const char*, uint8_t) { return &g_recorder; }
TUVRA_API TuvraInstance* Tuvra_CreateInstanceFromMemory(const void*, uint32_t, uint8_t) { return &g_recorder; }
#ifndef TUVRA_STUB_NO_HANDLE
TUVRA_API TuvraInstance* Tuvra_CreateInstanceFromHandle(void*, uint32_t, uint32_t, uint8_t, TuvraSeekFunc,
                                                        TuvraReadFunc) { return &g_recorder; }
#endif
#ifndef TUVRA_STUB_NO_ERROR
TUVRA_API void Tuvra_GetLastError(char* buffer, uint32_t size) { if (buffer && size) buffer[0] = '\0'; }
#endif
// The values recorded so far.
TUVRA_API uint32_t TuvraStub_Values(const float** values)
{
    *values = g_values;
    return g_count;
}
