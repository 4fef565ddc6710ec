// WAVE files of the Tuvra library: an accepted file's samples are whole frames inside the bytes.
#include "FuzzCheck.h"
#include "TuvraWave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TuvraWaveInfo info = {};
    const char* error = nullptr;
    if (size > 0xFFFFFFFFu) return 0;
    if (!TuvraParseWave(data, uint32_t(size), &info, &error)) {
        FUZZ_CHECK(error && *error);
        return 0;
    }
    FUZZ_CHECK(info.channels == 1 || info.channels == 2);
    FUZZ_CHECK(info.bitsPerSample == 8 || info.bitsPerSample == 16);
    FUZZ_CHECK(info.blockAlign == info.channels * info.bitsPerSample / 8);
    FUZZ_CHECK(uint64_t(info.dataOffset) + info.dataSize <= size);
    FUZZ_CHECK(info.dataSize % info.blockAlign == 0);
    return 0;
}
