// LZSS decode: a whole stream (header and body) into a buffer of exactly the announced size, and a
// headerless body (as QSG entries hold them) into an output size taken from the input's first two
// bytes. A body that decodes to n bytes decodes to any shorter size as the same prefix.
#include "FuzzCheck.h"
#include "VornLZSS.h"
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0xFFFFFFFFu) return 0;
    const uint32_t decoded = VornLZSS::GetDecodedSize(data, uint32_t(size));
    if (decoded != VornLZSS::INVALID_SIZE) {
        std::vector<uint8_t> out(decoded);
        VornLZSS::Decode(data, uint32_t(size), out.data(), decoded);
    }

    if (size < 2) return 0;
    const uint32_t wanted = data[0] | data[1] << 8;
    const uint8_t* body = data + 2;
    const uint32_t bodySize = uint32_t(size - 2);
    std::vector<uint8_t> whole(wanted);
    if (!VornLZSS::DecodeRaw(body, bodySize, whole.data(), wanted)) return 0;
    // The bound GetDecodedSize holds headers to: no body makes more than 144 bytes per 17.
    FUZZ_CHECK(uint64_t(wanted) * 17 <= uint64_t(bodySize) * 144);
    const uint32_t half = wanted / 2;
    std::vector<uint8_t> prefix(half);
    FUZZ_CHECK(VornLZSS::DecodeRaw(body, bodySize, prefix.data(), half));
    FUZZ_CHECK(half == 0 || memcmp(prefix.data(), whole.data(), half) == 0);
    return 0;
}
