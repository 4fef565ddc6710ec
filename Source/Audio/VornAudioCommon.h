// Shared by the audio classes: COM release, failure lines, and the level conversions.
#pragma once
#include "VornAudioLevel.h"
#include "VornLog.h"
#include <cstdint>

// Releases a COM pointer when there is one and clears it.
template <typename T> void VornReleaseCom(T*& p)
{
    if (p) p->Release();
    p = nullptr;
}

// A red failure line, with the platform's result when it has one.
inline void VornAudioError(const char* text, long result = 0)
{
    VornLog::StrongRed("%s", text);
    if (result) VornLog::Print(" [ 0x%08lX ]", static_cast<unsigned long>(result));
    VornLog::LineBreak();
}
