// PAD recordings: the head checked against the file length, every track's frames decoded (in place,
// as the recorder does) and encoded back to the same bytes.
#include "FuzzCheck.h"
#include "VornPadFile.h"
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    uint32_t tracks = 0, frames = 0;
    if (!VornPadFile::ReadHeader(data, size, &tracks, &frames)) return 0;
    FUZZ_CHECK(VornPadFile::FileSize(tracks, frames) == size);
    const size_t trackBytes = size_t(frames) * VornPadFile::FRAME_SIZE;
    std::vector<uint8_t> bytes(trackBytes);
    for (uint32_t t = 0; t < tracks; ++t) {
        const uint8_t* stored = data + VornPadFile::HEADER_SIZE + t * trackBytes;
        std::vector<VornPadFrame> track(frames);
        memcpy(track.data(), stored, trackBytes);
        VornPadFile::DecodeFrames(track.data(), reinterpret_cast<const uint8_t*>(track.data()), frames);
        VornPadFile::EncodeFrames(bytes.data(), track.data(), frames);
        FUZZ_CHECK(memcmp(bytes.data(), stored, trackBytes) == 0);
    }
    return 0;
}
