// Animation-key blocks of X data: a block is taken exactly when its type is known and not 3 and its
// keys, checked in order, each have their type's value count and lie inside the bytes; a taken
// block's keys all lie inside the bytes and read back as stored.
#include "FuzzCheck.h"
#include "VornXKeyReader.h"
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto word = [&](size_t at) {
        uint32_t w = 0;
        if (at + 4 <= size) memcpy(&w, data + at, 4);
        return w;
    };
    const uint32_t perType[5] = {4, 3, 3, 0, 16}, type = word(0), count = word(4);
    VornXKeyStatus want = size < 8 ? XKEY_SHORT : type > 4 ? XKEY_UNKNOWN_TYPE : type == 3 ? XKEY_IGNORED : XKEY_OK;
    const size_t keySize = 8 + 4 * size_t(type < 5 ? perType[type] : 0);
    for (size_t i = 0, at = 8; want == XKEY_OK && i < count; ++i, at += keySize) {
        if (at + 8 > size) want = XKEY_SHORT;
        else if (word(at + 4) != perType[type]) want = XKEY_VALUE_COUNT;
        else if (at + keySize > size) want = XKEY_SHORT;
    }
    VornXKeyBlock block = {};
    FUZZ_CHECK(VornXKeyReader::Parse(data, size, &block) == want);
    if (want != XKEY_OK) return 0;
    FUZZ_CHECK(block.values == perType[type] && block.count == count && block.keys == data + 8);
    float values[16];
    uint32_t time = 0;
    for (uint32_t i = 0; i < block.count; ++i) {
        VornXKeyReader::Key(block, i, &time, values);
        FUZZ_CHECK(time == word(8 + i * keySize) && memcmp(values, data + 8 + i * keySize + 8, 4 * block.values) == 0);
    }
    return 0;
}
