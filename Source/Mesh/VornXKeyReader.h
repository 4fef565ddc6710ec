// Reader of one locked AnimationKey block of X data: {u32 key type; u32 key count; keys}, each
// key {u32 time; u32 value count; values}. Plain C++ over a byte buffer. A block is accepted only
// when every key has the value count of its type (rotation 4, scale 3, position 3, matrix 16) and
// its key count fits the bytes; the keys are checked in order, so a key of the wrong size is named
// as that, not as keys missing. Type 3 is known and ignored.
#pragma once
#include <cstddef>
#include <cstdint>

enum VornXKeyStatus : uint32_t {
    XKEY_OK,
    XKEY_IGNORED,        // key type 3
    XKEY_SHORT,          // fewer bytes than the header or the keys need
    XKEY_UNKNOWN_TYPE,
    XKEY_VALUE_COUNT,    // a key whose value count is not its type's
};

enum : uint32_t { XKEY_ROTATION = 0, XKEY_SCALE = 1, XKEY_POSITION = 2, XKEY_UNUSED = 3, XKEY_MATRIX = 4 };

struct VornXKeyBlock {
    uint32_t type;
    uint32_t count;
    uint32_t values;            // values per key
    const unsigned char* keys;  // the first key
};

class VornXKeyReader
{
public:
    static VornXKeyStatus Parse(const void* data, size_t size, VornXKeyBlock* out);
    // Parse, with a log line naming the animated frame when the block is skipped (type 3 silently);
    // true when it is taken.
    static bool Take(const void* data, size_t size, const char* frame, VornXKeyBlock* out);
    // Key i of a parsed block: its time and its values as stored (values floats).
    static void Key(const VornXKeyBlock& block, uint32_t i, uint32_t* time, float* values);
    static const char* StatusText(VornXKeyStatus status);
};
