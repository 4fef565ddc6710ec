// RIFF WAVE reader over a byte buffer: finds the PCM format and the sample data.
#pragma once
#include <stdint.h>

struct TuvraWaveInfo
{
    uint16_t channels;        // 1 or 2
    uint16_t bitsPerSample;   // 8 or 16
    uint32_t sampleRate;
    uint16_t blockAlign;      // channels * bits / 8
    uint32_t dataOffset;      // of the samples within the buffer
    uint32_t dataSize;        // whole frames, within the buffer
};

// True with info filled for a playable PCM WAVE; otherwise false with a static reason text.
bool TuvraParseWave(const uint8_t* data, uint32_t size, TuvraWaveInfo* info, const char** error);
