// LZSS decode: a whole stream (header and body) into a buffer of exactly the announced size and into
// no shorter one, and a headerless body (as QSG entries hold them) into an output size taken from the
// input's first two bytes. Both decode to the bytes of a plain decoder that keeps the 4096-byte
// window as the format describes it, and a body that decodes to n bytes decodes to any shorter size
// as the same prefix.
#include "FuzzCheck.h"
#include "VornLZSS.h"
#include <cstring>
#include <vector>

namespace {

// The window decoder, byte by byte; false when the body ends early.
bool WindowDecode(const uint8_t* in, uint32_t size, uint8_t* out, uint32_t wanted)
{
    uint8_t window[4096] = {};
    uint32_t r = 4080, o = 0, at = 0, flags = 0;
    while (o < wanted) {
        flags >>= 1;
        if (!(flags & 0x100)) {
            if (at >= size) return false;
            flags = in[at++] | 0xFF00u;
        }
        if (flags & 1) {
            if (at >= size) return false;
            out[o++] = window[r] = in[at++];
            r = (r + 1) & 0xFFF;
            continue;
        }
        if (size - at < 2) return false;
        const uint32_t p = in[at] | (in[at + 1] & 0xF0) << 4, length = (in[at + 1] & 0x0F) + 3u;
        at += 2;
        for (uint32_t k = 0; k < length && o < wanted; ++k) {
            out[o++] = window[r] = window[(p + k) & 0xFFF];
            r = (r + 1) & 0xFFF;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 0xFFFFFFFFu) return 0;
    // A size comes only from a stream with the whole head. The stream decodes as the plain decoder
    // reads its body, into a buffer of the head's size and into no shorter one.
    const uint32_t decoded = VornLZSS::GetDecodedSize(data, uint32_t(size));
    FUZZ_CHECK(decoded == VornLZSS::INVALID_SIZE || (size >= VornLZSS::HEADER_SIZE && memcmp(data, "LZSS", 4) == 0));
    if (decoded != VornLZSS::INVALID_SIZE) {
        std::vector<uint8_t> out(decoded), plain(decoded);
        const bool ok = VornLZSS::Decode(data, uint32_t(size), out.data(), decoded);
        FUZZ_CHECK(ok == WindowDecode(data + VornLZSS::HEADER_SIZE, uint32_t(size - VornLZSS::HEADER_SIZE), plain.data(), decoded));
        FUZZ_CHECK(!ok || out == plain);
        FUZZ_CHECK(decoded == 0 || !VornLZSS::Decode(data, uint32_t(size), out.data(), decoded - 1));
    }

    if (size < 2) return 0;
    const uint32_t wanted = data[0] | data[1] << 8;
    const uint8_t* body = data + 2;
    const uint32_t bodySize = uint32_t(size - 2);
    std::vector<uint8_t> whole(wanted), plain(wanted);
    const bool ok = VornLZSS::DecodeRaw(body, bodySize, whole.data(), wanted);
    FUZZ_CHECK(ok == WindowDecode(body, bodySize, plain.data(), wanted));
    if (!ok) return 0;
    FUZZ_CHECK(wanted == 0 || memcmp(whole.data(), plain.data(), wanted) == 0);
    // The bound GetDecodedSize holds headers to: no body makes more than 144 bytes per 17.
    FUZZ_CHECK(uint64_t(wanted) * 17 <= uint64_t(bodySize) * 144);
    const uint32_t half = wanted / 2;
    std::vector<uint8_t> prefix(half);
    FUZZ_CHECK(VornLZSS::DecodeRaw(body, bodySize, prefix.data(), half));
    FUZZ_CHECK(half == 0 || memcmp(prefix.data(), whole.data(), half) == 0);
    return 0;
}
