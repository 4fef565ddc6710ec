#include "VornQrbFormat.h"
#include "VornBytes.h"
#include <cstring>

namespace {
uint8_t SwapNibbles(uint8_t b) { return uint8_t((b << 4) | (b >> 4)); }
} // namespace

void VornQrbFormat::WriteHeader(uint8_t* head, uint32_t size)
{
    std::memcpy(head, "QRB", 4);
    VornBytes::WriteLE32(head + 4, size);
}

bool VornQrbFormat::CheckHeader(const uint8_t* head, uint32_t size)
{
    return std::memcmp(head, "QRB", 4) == 0 && VornBytes::ReadLE32(head + 4) == size;
}

uint8_t VornQrbFormat::ScrambleRun(const uint8_t* in, uint8_t* out, uint32_t n, uint8_t key)
{
    for (uint32_t i = 0; i < n; ++i, ++key) out[i] = SwapNibbles(uint8_t(in[i] ^ key));
    return key;
}

uint8_t VornQrbFormat::UnscrambleRun(const uint8_t* in, uint8_t* out, uint32_t n, uint8_t key)
{
    for (uint32_t i = 0; i < n; ++i, ++key) out[i] = uint8_t(SwapNibbles(in[i]) ^ key);
    return key;
}
