// LZSS streams: round trips, hand-built streams against a plain ring decoder, broken streams.
#include "RuntimeTestSupport.h"
#include "VornLZSS.h"
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The stream as written down: a 4096-byte zero ring, writes from 4080. Returns false when the
// input runs out first.
bool RingDecode(const Bytes& body, uint32_t size, Bytes* out)
{
    uint8_t ring[4096] = {};
    uint32_t r = 4080, flags = 0, in = 0;
    out->clear();
    while (out->size() < size) {
        flags >>= 1;
        if (!(flags & 0x100)) {
            if (in >= body.size()) return false;
            flags = body[in++] | 0xFF00;
        }
        if (flags & 1) {
            if (in >= body.size()) return false;
            const uint8_t c = body[in++];
            out->push_back(c);
            ring[r] = c;
            r = (r + 1) & 0xFFF;
        } else {
            if (in + 2 > body.size()) return false;
            const uint32_t b0 = body[in], b1 = body[in + 1];
            in += 2;
            const uint32_t p = b0 | ((b1 & 0xF0) << 4), length = (b1 & 0x0F) + 3;
            for (uint32_t k = 0; k < length && out->size() < size; ++k) {
                const uint8_t c = ring[(p + k) & 0xFFF];
                out->push_back(c);
                ring[r] = c;
                r = (r + 1) & 0xFFF;
            }
        }
    }
    return true;
}

Bytes Wrap(uint32_t size, const Bytes& body)
{
    Bytes s = {'L', 'Z', 'S', 'S', uint8_t(size), uint8_t(size >> 8), uint8_t(size >> 16), uint8_t(size >> 24)};
    s.insert(s.end(), body.begin(), body.end());
    return s;
}

Bytes Encode(const Bytes& in)
{
    Bytes out(VornLZSS::GetEncodeBound(uint32_t(in.size())));
    uint32_t length = 0;
    EXPECT_TRUE(VornLZSS::Encode(in.data(), uint32_t(in.size()), out.data(), uint32_t(out.size()), &length));
    out.resize(length);
    return out;
}

Bytes Decode(const Bytes& stream)
{
    const uint32_t size = VornLZSS::GetDecodedSize(stream.data(), uint32_t(stream.size()));
    EXPECT_NE(size, VornLZSS::INVALID_SIZE);
    Bytes out(size);
    EXPECT_TRUE(VornLZSS::Decode(stream.data(), uint32_t(stream.size()), out.data(), size));
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

TEST(LzssTest, OneToSixteenBytesRoundTripWithEveryByte)
{
    for (uint32_t n = 1; n <= 16; ++n) {
        Bytes in;
        for (uint32_t i = 0; i < n; ++i) in.push_back(uint8_t(0x41 + i * 7));
        const Bytes stream = Encode(in);
        // Distinct bytes: all literals, one flag byte per eight.
        EXPECT_EQ(stream.size(), 8 + n + (n + 7) / 8) << n;
        EXPECT_EQ(Decode(stream), in) << n;
        Bytes zeros(n, 0), ones(n, 0xFF);
        EXPECT_EQ(Decode(Encode(zeros)), zeros) << n;
        EXPECT_EQ(Decode(Encode(ones)), ones) << n;
    }
}

TEST(LzssTest, LargerDataRoundTripsAndRepetitionShrinks)
{
    std::mt19937 rng(5);
    Bytes random(100000);
    for (auto& b : random) b = uint8_t(rng());
    const Bytes randomStream = Encode(random);
    EXPECT_EQ(Decode(randomStream), random);
    EXPECT_LE(randomStream.size(), 8 + random.size() + (random.size() + 7) / 8);

    const Bytes text = Text(300000);
    const Bytes textStream = Encode(text);
    EXPECT_EQ(Decode(textStream), text);
    EXPECT_LT(textStream.size(), text.size() / 2);

    Bytes run(100, 'x');
    run.insert(run.begin(), 'y');
    const Bytes runStream = Encode(run);
    EXPECT_EQ(Decode(runStream), run);
    EXPECT_LT(runStream.size(), 8 + 20u);   // back-references overlapping their own output
}

TEST(LzssTest, EncoderOutputIsPinnedAndReproducible)
{
    // 'a' as a literal, then three bytes from 4080, where that 'a' went.
    EXPECT_EQ(Encode(Bytes(4, 'a')), Bytes({'L', 'Z', 'S', 'S', 4, 0, 0, 0, 0x01, 'a', 0xF0, 0xF0}));
    const Bytes text = Text(7777);
    std::vector<Bytes> noise;
    for (int i = 0; i < 8; ++i) noise.emplace_back(70000, uint8_t(0x5A + i));   // leave garbage on the heap
    const Bytes first = Encode(text);
    noise.clear();
    EXPECT_EQ(Encode(text), first);
}

TEST(LzssTest, EncoderOutputMatchesThePlainRingDecoder)
{
    const Bytes text = Text(20000);
    const Bytes stream = Encode(text);
    Bytes out;
    ASSERT_TRUE(RingDecode(Bytes(stream.begin() + 8, stream.end()), uint32_t(text.size()), &out));
    EXPECT_EQ(out, text);
}

TEST(LzssTest, HandBuiltStreamsOverlapAndReachIntoTheZeroWindow)
{
    // 'A', then 18 bytes from 4080 (where 'A' went): each copied byte feeds the next.
    const Bytes overlap = Wrap(19, {0x01, 'A', 0xF0, 0xFF});
    EXPECT_EQ(Decode(overlap), Bytes(19, 'A'));

    // 'X' at 4080, then 8 bytes from 4075: five zeros of the untouched window, 'X', then two
    // bytes this very reference wrote.
    const Bytes window = Wrap(9, {0x01, 'X', 0xEB, 0xF5});
    EXPECT_EQ(Decode(window), Bytes({'X', 0, 0, 0, 0, 0, 'X', 0, 0}));

    // A reference before any literal: position 0 of the zero window, 3 bytes.
    EXPECT_EQ(Decode(Wrap(3, {0x00, 0x00, 0x00})), Bytes(3, 0));

    // Decoding stops in the middle of a reference once the size is reached.
    EXPECT_EQ(Decode(Wrap(5, {0x01, 'Q', 0xF0, 0xFF})), Bytes(5, 'Q'));
}

TEST(LzssTest, RandomStreamsDecodeLikeThePlainRingDecoder)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        Bytes body(rng() % 200);
        for (auto& b : body) b = uint8_t(rng());
        const uint32_t size = rng() % 400;
        Bytes expected;
        const bool complete = RingDecode(body, size, &expected);
        const Bytes stream = Wrap(size, body);
        Bytes out(size + 1, 0xEE);
        const bool ok = VornLZSS::Decode(stream.data(), uint32_t(stream.size()), out.data(), size);
        ASSERT_EQ(ok, complete) << round;
        EXPECT_EQ(out[size], 0xEE) << "wrote past the decoded size";
        if (ok) {
            out.resize(size);
            ASSERT_EQ(out, expected) << round;
        }
    }
}

TEST(LzssTest, BrokenStreamsFailCleanly)
{
    const Bytes text = Text(5000);
    Bytes stream = Encode(text);
    Bytes out(text.size());
    for (size_t cut : {stream.size() - 1, stream.size() / 2, size_t(9), size_t(8)}) {
        EXPECT_FALSE(VornLZSS::Decode(stream.data(), uint32_t(cut), out.data(), uint32_t(out.size()))) << cut;
    }
    // Too short for the header, or no magic.
    EXPECT_EQ(VornLZSS::GetDecodedSize(stream.data(), 7), VornLZSS::INVALID_SIZE);
    Bytes noMagic = stream;
    noMagic[0] = 'l';
    EXPECT_EQ(VornLZSS::GetDecodedSize(noMagic.data(), uint32_t(noMagic.size())), VornLZSS::INVALID_SIZE);
    EXPECT_FALSE(VornLZSS::Decode(noMagic.data(), uint32_t(noMagic.size()), out.data(), uint32_t(out.size())));
    // An output buffer smaller than the header's size.
    EXPECT_FALSE(VornLZSS::Decode(stream.data(), uint32_t(stream.size()), out.data(), uint32_t(out.size() - 1)));
    // Headerless bodies as QSG entries hold them.
    Bytes raw(text.size());
    EXPECT_TRUE(VornLZSS::DecodeRaw(stream.data() + 8, uint32_t(stream.size() - 8), raw.data(), uint32_t(raw.size())));
    EXPECT_EQ(raw, text);
}

TEST(LzssTest, EncoderRefusesEmptyInputAndShortOutput)
{
    uint8_t in[64], out[256];
    for (int i = 0; i < 64; ++i) in[i] = uint8_t(i * 3 + 1);   // nothing to match
    uint32_t length = 123;
    EXPECT_FALSE(VornLZSS::Encode(in, 0, out, sizeof out, &length));
    EXPECT_EQ(length, 0u);
    EXPECT_FALSE(VornLZSS::Encode(in, 64, out, 20, &length));   // needs 8 + 64 + 8
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(VornLZSS::GetEncodeBound(64), 8u + 128u);
}

TEST(LzssTest, DecodesRunOnSeveralThreadsAtOnce)
{
    std::vector<Bytes> inputs, streams;
    for (int t = 0; t < 4; ++t) {
        Bytes in = Text(50000 + t * 1000);
        for (size_t i = 0; i < in.size(); i += 97) in[i] = uint8_t(t);
        streams.push_back(Encode(in));
        inputs.push_back(in);
    }
    std::vector<std::thread> threads;
    std::vector<int> good(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                Bytes out(inputs[t].size());
                if (VornLZSS::Decode(streams[t].data(), uint32_t(streams[t].size()), out.data(), uint32_t(out.size())) &&
                    out == inputs[t])
                    ++good[t];
            }
        });
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(good[t], 20);
}
