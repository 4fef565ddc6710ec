// VornMusicFormat: the shape of music bytes before DirectMusic sees them, which takes a WAVE cut
// short or a MIDI file of garbage as a segment. A RIFF WAVE needs its "fmt " and "data" chunks
// whole within the bytes; a standard MIDI file ("MThd", big-endian) its header and every track it
// announces ("MTrk") whole. Other bytes are left to DirectMusic.
#pragma once
#include <cstddef>
#include <cstdint>

class VornMusicFormat
{
public:
    // True unless the bytes are a WAVE or MIDI file that is cut short or malformed.
    static bool Check(const uint8_t* data, size_t size);
};
