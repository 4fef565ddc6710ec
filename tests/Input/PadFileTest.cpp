// The PAD file format as bytes: which headers are accepted and the frame encoding. The header's
// bytes are pinned by the recorder tests' saved file.
#include "Checks.h"
#include "VornPadFile.h"

// That an accepted header's length is exact is the pad fuzz target's check; here the counts.
TEST(PadFile, HeadersAreAcceptedOnlyWithSaneCountsAndTheExactLength)
{
    // The last rows: one wrong byte of the magic each.
    const struct { uint32_t tracks, frames; uint64_t size; bool ok; const char* magic = "PAD"; } cases[] = {
        {256, 1, 12 + 256 * 16, true}, {2, 0x103, 12 + 2 * 0x103 * 16, true}, {257, 1, 12 + 257 * 16, false}, {0, 1, 12, false}, {1, 0, 12, false},
        {256, 0xFFFFFFFFu, 12 + ((256ull * 0xFFFFFFFFull * 16) & 0xFFFFFFFFull), false},
        {1, 1, 28, false, "PAD "}, {1, 1, 28, false, "pad"}, {1, 1, 28, false, "PACK"},
    };
    uint8_t h[12];
    for (const auto& c : cases) {
        uint32_t tracks = 77, frames = 77;
        VornPadFile::WriteHeader(h, c.tracks, c.frames);
        memcpy(h, c.magic, 4);
        SCOPED_TRACE(testing::Message() << c.magic << ", " << c.tracks << " tracks of " << c.frames << " frames, " << c.size << " bytes");
        const bool read = VornPadFile::ReadHeader(h, c.size, &tracks, &frames);
        EXPECT_NAMED({"accepted", read, c.ok}, {"tracks", tracks, c.ok ? c.tracks : 77}, {"frames", frames, c.ok ? c.frames : 77});   // refused: nothing written
    }
    // 256 tracks of 0xFFFFFFFF frames: the size is computed without wrapping.
    EXPECT_EQ(12 + 256ull * 0xFFFFFFFFull * 16, VornPadFile::FileSize(256, 0xFFFFFFFFu));
}

TEST(PadFile, FramesAreFourLittleEndianMasksInStateOrder)
{
    const VornPadFrame frames[2] = {{0x00000010u, 0x00080000u, 0x0000000Fu, 0x12345678u}, {1, 2, 3, 4}};
    uint8_t bytes[32];
    VornPadFile::EncodeFrames(bytes, frames, 2);
    const uint8_t first[16] = {0x10, 0, 0, 0, 0, 0, 0x08, 0, 0x0F, 0, 0, 0, 0x78, 0x56, 0x34, 0x12};
    EXPECT_BYTES_EQ(first, bytes, 16);
    EXPECT_EQ(4, bytes[28]);   // decoding back, in place too, is the fuzz target's round trip
}
