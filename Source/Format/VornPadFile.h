// The "PAD" file of the pad recorder: a 12-byte header (magic "PAD\0", u32 track count, u32 frames
// per track) and then every track's frames, 16 bytes each (trigger, release, hold, repeat masks),
// all little-endian. Plain byte-buffer code: the recorder in VornInput does the file I/O.
#pragma once
#include <cstddef>
#include <cstdint>

// One recorded frame of a pad: its four state masks, in the order of VornPadState.
struct VornPadFrame {
    uint32_t trigger;
    uint32_t release;
    uint32_t hold;
    uint32_t repeat;
};
static_assert(sizeof(VornPadFrame) == 16, "a pad frame is 16 bytes in memory and in PAD files");

class VornPadFile {
public:
    static constexpr size_t HEADER_SIZE = 12;
    static constexpr size_t FRAME_SIZE = 16;
    static constexpr uint32_t TRACK_MAX = 256;

    // Bytes of a file holding these counts; 0 when a file may not hold them (no tracks, more than
    // TRACK_MAX tracks, or no frames).
    static uint64_t FileSize(uint32_t trackCount, uint32_t framesPerTrack);

    static void WriteHeader(uint8_t* out, uint32_t trackCount, uint32_t framesPerTrack);

    // Checks a header against the length of the whole file: the magic, 1..TRACK_MAX tracks, at least
    // one frame per track, and a length of exactly the header and every frame. False when the header
    // is refused; the counts are written only when it is accepted.
    static bool ReadHeader(const uint8_t* header, uint64_t fileSize, uint32_t* trackCount, uint32_t* framesPerTrack);

    // Frames to and from their little-endian bytes (count x FRAME_SIZE bytes).
    static void EncodeFrames(uint8_t* out, const VornPadFrame* frames, size_t count);
    static void DecodeFrames(VornPadFrame* out, const uint8_t* bytes, size_t count);
};
