// LZSS round trip: any input encodes within the bound and decodes to itself, with the header and as
// a headerless body. Empty input, and a buffer one byte short of the stream, are refused with no
// length.
#include "FuzzCheck.h"
#include "VornLZSS.h"
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0xFFFFFFFFu) return 0;
    uint32_t refused = 1;
    if (size == 0) {
        uint8_t room[16];
        FUZZ_CHECK(!VornLZSS::Encode(room, 0, room, sizeof room, &refused) && refused == 0);
        return 0;
    }
    const uint32_t n = uint32_t(size);
    std::vector<uint8_t> stream(VornLZSS::GetEncodeBound(n));
    uint32_t length = 0;
    FUZZ_CHECK(VornLZSS::Encode(data, n, stream.data(), uint32_t(stream.size()), &length));
    FUZZ_CHECK(length >= VornLZSS::HEADER_SIZE && length <= VornLZSS::HEADER_SIZE + n + (n + 7) / 8);
    FUZZ_CHECK(VornLZSS::GetDecodedSize(stream.data(), length) == n);
    std::vector<uint8_t> back(n);
    FUZZ_CHECK(VornLZSS::Decode(stream.data(), length, back.data(), n));
    FUZZ_CHECK(memcmp(back.data(), data, n) == 0);
    FUZZ_CHECK(!VornLZSS::Encode(data, n, stream.data(), length - 1, &refused) && refused == 0);

    // The body alone, as QSG entries hold their pixels.
    std::vector<uint8_t> raw(n);
    FUZZ_CHECK(VornLZSS::DecodeRaw(stream.data() + VornLZSS::HEADER_SIZE, length - VornLZSS::HEADER_SIZE, raw.data(), n));
    FUZZ_CHECK(memcmp(raw.data(), data, n) == 0);
    return 0;
}
