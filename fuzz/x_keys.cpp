// Animation-key blocks of X files: a parsed block's keys all lie inside the bytes given.
#include "FuzzCheck.h"
#include "VornXKeyReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VornXKeyBlock block = {};
    if (VornXKeyReader::Parse(data, size, &block) != XKEY_OK) return 0;
    FUZZ_CHECK(block.values <= 16);
    FUZZ_CHECK(block.keys >= data && block.keys <= data + size);
    float values[16];
    uint32_t time = 0;
    for (uint32_t i = 0; i < block.count; ++i) VornXKeyReader::Key(block, i, &time, values);
    return 0;
}
