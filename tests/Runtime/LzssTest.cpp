// LZSS streams: pinned streams, round trips, threads. The encoder's refusals are the lzss_roundtrip
// fuzz target's; hand-built and broken streams (references overlapping their output, into the zero
// window, cut, without the whole head, into a short buffer) the lzss fuzz target's, which compares
// every decode with a plain window decoder.
#include "RuntimeTestSupport.h"
#include "VornLZSS.h"
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The decoded bytes; "fail" in one byte when decoding fails.
Bytes Decode(const Bytes& stream)
{
    const uint32_t size = VornLZSS::GetDecodedSize(stream.data(), uint32_t(stream.size()));
    EXPECT_NE(size, VornLZSS::INVALID_SIZE);
    Bytes out(size);
    if (!VornLZSS::Decode(stream.data(), uint32_t(stream.size()), out.data(), size)) return {'f', 'a', 'i', 'l'};
    return out;
}

Bytes Text(size_t n)
{
    static const char* words[] = {"vorn ", "texture ", "model ", "の ", "テクスチャ ", "sprite ", "\r\n", "0.5f, "};
    std::mt19937 rng(11);
    Bytes out;
    while (out.size() < n) {
        const char* w = words[rng() % 8];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(n);
    return out;
}

} // namespace

TEST(LzssTest, DistinctBytesAreLiteralsAndARunIsOneReference)
{
    // Round trips of any input within the bound are the lzss_roundtrip fuzz target's.
    Bytes in;
    for (uint32_t i = 0; i < 16; ++i) in.push_back(uint8_t(0x41 + i * 7));
    EXPECT_EQ(vorntest::LzssStream(in).size(), 8u + 16 + 2);   // all literals, one flag byte per eight
    // 'a' as a literal, then three bytes from 4080, where that 'a' went.
    EXPECT_EQ(vorntest::LzssStream(Bytes(4, 'a')), Bytes({'L', 'Z', 'S', 'S', 4, 0, 0, 0, 0x01, 'a', 0xF0, 0xF0}));
}

// Random data within the bound is the lzss_roundtrip fuzz target's. The text's repeated words make
// back-references that overlap their own output, in the first window and past it (where whole groups
// decode without bound checks).
TEST(LzssTest, StreamsDecodeToTheBytesTheWindowHolds)
{
    const Bytes text = Text(300000);
    const Bytes textStream = vorntest::LzssStream(text);
    EXPECT_LT(textStream.size(), text.size() / 2);
    const auto bytes = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    // Sixteen literals take the window round to 0; then five bytes from 4080, where the first went.
    const std::string wrapping("LZSS\x15\0\0\0\xFF" "01234567" "\xFF" "89ABCDEF" "\x00\xF0\xF2", 29);
    const struct { const char* name; Bytes stream, bytes; } rows[] = {
        {"a literal, then a reference overlapping its own output", bytes(std::string("LZSS\4\0\0\0\x01" "a\xF0\xF0", 12)), Bytes(4, 'a')},
        {"a reference into the zero-filled window", bytes(std::string("LZSS\3\0\0\0\0\0\0", 11)), Bytes(3, 0)},
        {"a reference across the window's wrap", bytes(wrapping), bytes("0123456789ABCDEF01234")},
        {"300000 bytes of text", textStream, text}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Bytes got = Decode(row.stream);
        EXPECT_EQ(got.size(), row.bytes.size());
        EXPECT_BYTES_EQ(row.bytes.data(), got.data(), std::min(got.size(), row.bytes.size()));
    }
}

// An encoder that leaves its window uninitialised makes streams that fail to decode here (four
// encodes in a row, on a heap other tests have used).
TEST(LzssTest, DecodesRunOnSeveralThreadsAtOnce)
{
    std::vector<Bytes> inputs, streams;
    for (int t = 0; t < 4; ++t) {
        inputs.push_back(Text(50000 + t * 1000));
        for (size_t i = 0; i < inputs[t].size(); i += 97) inputs[t][i] = uint8_t(t);
        streams.push_back(vorntest::LzssStream(inputs[t]));
    }
    std::vector<int> good(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) good[t] += Decode(streams[t]) == inputs[t];
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(good, std::vector<int>(4, 20));
}
