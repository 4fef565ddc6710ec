#include "VornPadFile.h"
#include <cstring>

static const uint8_t kMagic[4] = {'P', 'A', 'D', 0};

static void PutU32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

static uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint64_t VornPadFile::FileSize(uint32_t trackCount, uint32_t framesPerTrack)
{
    if (trackCount == 0 || trackCount > TRACK_MAX || framesPerTrack == 0) return 0;
    return HEADER_SIZE + static_cast<uint64_t>(trackCount) * framesPerTrack * FRAME_SIZE;
}

void VornPadFile::WriteHeader(uint8_t* out, uint32_t trackCount, uint32_t framesPerTrack)
{
    memcpy(out, kMagic, 4);
    PutU32(out + 4, trackCount);
    PutU32(out + 8, framesPerTrack);
}

bool VornPadFile::ReadHeader(const uint8_t* header, uint64_t fileSize, uint32_t* trackCount, uint32_t* framesPerTrack)
{
    if (fileSize < HEADER_SIZE || memcmp(header, kMagic, 4) != 0) return false;
    const uint32_t tracks = GetU32(header + 4);
    const uint32_t frames = GetU32(header + 8);
    const uint64_t size = FileSize(tracks, frames);
    if (size == 0 || size != fileSize) return false;
    *trackCount = tracks;
    *framesPerTrack = frames;
    return true;
}

void VornPadFile::EncodeFrames(uint8_t* out, const VornPadFrame* frames, size_t count)
{
    for (size_t i = 0; i < count; ++i, out += FRAME_SIZE) {
        PutU32(out, frames[i].trigger);
        PutU32(out + 4, frames[i].release);
        PutU32(out + 8, frames[i].hold);
        PutU32(out + 12, frames[i].repeat);
    }
}

void VornPadFile::DecodeFrames(VornPadFrame* out, const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i, bytes += FRAME_SIZE) {
        // Read all four words before writing: decoding in place (out == bytes) is allowed.
        const VornPadFrame f = {GetU32(bytes), GetU32(bytes + 4), GetU32(bytes + 8), GetU32(bytes + 12)};
        out[i] = f;
    }
}
