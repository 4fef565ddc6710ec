#include "VornPadFile.h"
#include "VornBytes.h"
#include <cstring>

static const uint8_t kMagic[4] = {'P', 'A', 'D', 0};

using VornBytes::ReadLE32;
using VornBytes::WriteLE32;

uint64_t VornPadFile::FileSize(uint32_t trackCount, uint32_t framesPerTrack)
{
    if (trackCount == 0 || trackCount > TRACK_MAX || framesPerTrack == 0) return 0;
    return HEADER_SIZE + static_cast<uint64_t>(trackCount) * framesPerTrack * FRAME_SIZE;
}

void VornPadFile::WriteHeader(uint8_t* out, uint32_t trackCount, uint32_t framesPerTrack)
{
    memcpy(out, kMagic, 4);
    WriteLE32(out + 4, trackCount);
    WriteLE32(out + 8, framesPerTrack);
}

bool VornPadFile::ReadHeader(const uint8_t* header, uint64_t fileSize, uint32_t* trackCount, uint32_t* framesPerTrack)
{
    if (fileSize < HEADER_SIZE || memcmp(header, kMagic, 4) != 0) return false;
    const uint32_t tracks = ReadLE32(header + 4);
    const uint32_t frames = ReadLE32(header + 8);
    const uint64_t size = FileSize(tracks, frames);
    if (size == 0 || size != fileSize) return false;
    *trackCount = tracks;
    *framesPerTrack = frames;
    return true;
}

void VornPadFile::EncodeFrames(uint8_t* out, const VornPadFrame* frames, size_t count)
{
    for (size_t i = 0; i < count; ++i, out += FRAME_SIZE) {
        WriteLE32(out, frames[i].trigger);
        WriteLE32(out + 4, frames[i].release);
        WriteLE32(out + 8, frames[i].hold);
        WriteLE32(out + 12, frames[i].repeat);
    }
}

void VornPadFile::DecodeFrames(VornPadFrame* out, const uint8_t* bytes, size_t count)
{
    for (size_t i = 0; i < count; ++i, bytes += FRAME_SIZE) {
        // Read all four words before writing: decoding in place (out == bytes) is allowed.
        const VornPadFrame f = {ReadLE32(bytes), ReadLE32(bytes + 4), ReadLE32(bytes + 8), ReadLE32(bytes + 12)};
        out[i] = f;
    }
}
