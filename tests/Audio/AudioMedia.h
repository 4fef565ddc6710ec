// Sounds and movies made by the audio tests: a WAVE tone, a standard MIDI file, an uncompressed AVI.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>

namespace audiotest {

inline void Put(std::string& s, uint32_t v, int bytes = 4)
{
    for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
}

inline std::string Chunk(const char* id, const std::string& body)
{
    std::string s(id, 4);
    Put(s, static_cast<uint32_t>(body.size()));
    return s + body + (body.size() & 1 ? std::string(1, '\0') : "");
}

// 44.1 kHz 16-bit stereo sine of 440 Hz at half scale.
inline std::string MakeWave(double seconds)
{
    std::string fmt, data;
    for (uint32_t v : {0x00020001u, 44100u, 176400u, 0x00100004u}) Put(fmt, v);
    for (int i = 0; i < static_cast<int>(seconds * 44100); ++i) {
        const uint32_t v = static_cast<uint16_t>(static_cast<int16_t>(16384 * std::sin(i * 2 * 3.14159265 * 440 / 44100)));
        Put(data, v | v << 16);
    }
    return Chunk("RIFF", "WAVE" + Chunk("fmt ", fmt) + Chunk("data", data));
}

// Format 0, one track: a one-second note.
inline std::string MakeSmf()
{
    const std::string track("\x00\x90\x3C\x64\x83\x60\x80\x3C\x40\x00\xFF\x2F\x00", 13);
    return std::string("MThd\0\0\0\6\0\0\0\1\1\xE0", 14) + "MTrk" + std::string("\0\0\0", 3) +
           static_cast<char>(track.size()) + track;
}

// Uncompressed frames of bits 24 or 32 at 10 per second. Frame k is blue, with its top-left pixel
// red 50 * (k + 1) and the next one green.
inline std::string MakeAvi(int width, int height, int bits, int frames)
{
    const uint32_t frameSize = static_cast<uint32_t>((width * bits / 8 + 3) / 4 * 4 * height);
    std::string avih, strh, strf, movi = "movi", idx;
    for (uint32_t v : {100000u, frameSize * 10, 0u, 0x10u, uint32_t(frames), 0u, 1u, frameSize, uint32_t(width),
                       uint32_t(height), 0u, 0u, 0u, 0u})
        Put(avih, v);
    strh = "vidsDIB ";
    // The last word of two: the frame rectangle, 16-bit sides.
    for (uint32_t v : {0u, 0u, 0u, 1u, 10u, 0u, uint32_t(frames), frameSize, 0xFFFFFFFFu, 0u, 0u, uint32_t(height) << 16 | uint32_t(width)})
        Put(strh, v);
    for (uint32_t v : {40u, uint32_t(width), uint32_t(height), uint32_t(bits) << 16 | 1, 0u, frameSize, 0u, 0u, 0u, 0u}) Put(strf, v);
    for (int k = 0; k < frames; ++k) {
        std::string frame;
        for (int y = height - 1; y >= 0; --y) {   // bottom row first
            std::string row;
            for (int x = 0; x < width; ++x)
                Put(row, y ? 0x0000FFu : x == 0 ? (50u * (k + 1)) << 16 : x == 1 ? 0x00FF00u : 0x0000FFu, bits / 8);
            frame += row + std::string((4 - row.size() % 4) % 4, '\0');
        }
        idx += "00db";
        for (uint32_t v : {0x10u, uint32_t(movi.size()), frameSize}) Put(idx, v);
        movi += Chunk("00db", frame);
    }
    const std::string hdrl = "hdrl" + Chunk("avih", avih) + Chunk("LIST", "strl" + Chunk("strh", strh) + Chunk("strf", strf));
    return Chunk("RIFF", "AVI " + Chunk("LIST", hdrl) + Chunk("LIST", movi) + Chunk("idx1", idx));
}

}  // namespace audiotest
