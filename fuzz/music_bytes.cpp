// Music bytes: any input is answered, and a WAVE taken lies whole within the input.
#include "FuzzCheck.h"
#include "VornBytes.h"
#include "VornMusicFormat.h"
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (VornMusicFormat::Check(data, size) && size >= 12 && memcmp(data, "RIFF", 4) == 0 && memcmp(data + 8, "WAVE", 4) == 0)
        FUZZ_CHECK(uint64_t(VornBytes::ReadLE32(data + 4)) + 8 <= size);
    return 0;
}
