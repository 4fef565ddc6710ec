#include "VornMusicFormat.h"
#include "VornBytes.h"
#include <cstring>

namespace {

uint32_t ReadBE32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

bool CheckWave(const uint8_t* data, size_t size)
{
    if (size < 12 || VornBytes::ReadLE32(data + 4) > size - 8) return false;
    const size_t end = 8 + size_t(VornBytes::ReadLE32(data + 4));
    bool format = false;
    for (size_t at = 12; at + 8 <= end;) {
        const uint32_t length = VornBytes::ReadLE32(data + at + 4);
        if (length > end - at - 8) return false;
        if (memcmp(data + at, "fmt ", 4) == 0) format = length >= 16;
        if (memcmp(data + at, "data", 4) == 0) return format;
        at += 8 + size_t(length) + (length & 1);
    }
    return false;
}

bool CheckMidi(const uint8_t* data, size_t size)
{
    if (size < 14) return false;
    const uint32_t header = ReadBE32(data + 4);
    const uint32_t format = uint32_t(data[8]) << 8 | data[9], tracks = uint32_t(data[10]) << 8 | data[11];
    if (header < 6 || header > size - 8 || format > 2 || tracks == 0) return false;
    size_t at = 8 + size_t(header);
    for (uint32_t found = 0; found < tracks;) {
        if (size - at < 8) return false;
        const uint32_t length = ReadBE32(data + at + 4);
        if (length > size - at - 8) return false;
        if (memcmp(data + at, "MTrk", 4) == 0) ++found;
        at += 8 + size_t(length);
    }
    return true;
}

}  // namespace

bool VornMusicFormat::Check(const uint8_t* data, size_t size)
{
    if (!data || size < 4) return data != nullptr;
    if (memcmp(data, "MThd", 4) == 0) return CheckMidi(data, size);
    if (memcmp(data, "RIFF", 4) == 0 && size >= 12 && memcmp(data + 8, "WAVE", 4) == 0) return CheckWave(data, size);
    return true;
}
