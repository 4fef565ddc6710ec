// QRB scrambled files: the head checked against the size the caller expects (here: the rest of the
// file), the body unscrambled whole and in two pieces, and scrambled back to the stored bytes.
#include "FuzzCheck.h"
#include "VornQrbFormat.h"
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < VornQrbFormat::HEADER_SIZE || size > 0xFFFFFFFFu) return 0;
    const uint32_t bodySize = uint32_t(size - VornQrbFormat::HEADER_SIZE);
    if (!VornQrbFormat::CheckHeader(data, bodySize)) return 0;
    const uint8_t* body = data + VornQrbFormat::HEADER_SIZE;
    std::vector<uint8_t> plain(bodySize), pieces(bodySize), back(bodySize);
    VornQrbFormat::Unscramble(body, plain.data(), bodySize);
    const uint32_t cut = bodySize / 3;
    const uint8_t key = VornQrbFormat::UnscrambleRun(body, pieces.data(), cut, VornQrbFormat::FirstKey(bodySize));
    VornQrbFormat::UnscrambleRun(body + cut, pieces.data() + cut, bodySize - cut, key);
    FUZZ_CHECK(pieces == plain);
    VornQrbFormat::Scramble(plain.data(), back.data(), bodySize);
    FUZZ_CHECK(bodySize == 0 || memcmp(back.data(), body, bodySize) == 0);
    return 0;
}
