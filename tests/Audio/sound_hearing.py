"""What VornSound plays through Tuvra.dll, recorded from the null sink: audio_tests' case
DISABLED_SoundHearing plays a 0.6 s 440 Hz tone from a loose file, then from a pack entry."""
import struct
import wave
import vornharness as h
from hearing_pieces import heard, record_case


def tone(path, start, length, floor=0.003):
    """(seconds of sound, pitch in Hz) of a stretch of the left channel. A loaded machine can leave
    gaps of silence in a playing sound (the sink runs dry): the sound is counted in 1 ms steps above
    the floor, and the pitch is the mean of the middle half of the periods between rising zero
    crossings, so that the few periods across a gap do not count."""
    w = wave.open(path)
    w.setpos(int(max(start - 0.05, 0) * 44100))
    frames = int((length + 0.1) * 44100)
    left = struct.unpack("<%dh" % (2 * frames), w.readframes(frames).ljust(4 * frames, b"\0"))[0::2]
    sound = sum(max(abs(v) for v in left[i:i + 44]) / 32768 > floor for i in range(0, len(left) - 43, 44))
    rises = [i for i in range(1, len(left)) if left[i - 1] < 0 <= left[i]]
    periods = sorted(b - a for a, b in zip(rises, rises[1:]))
    middle = periods[len(periods) // 4:len(periods) * 3 // 4]
    return sound * 44 / 44100, 44100 * len(middle) / sum(middle) if middle else 0


c = h.Checks("audio.sound_hearing")
code, _, path = record_case("DISABLED_SoundHearing", "sound_hearing.wav", 120)
c.equal(code, 0, "both sounds are made and play once")
found = heard(path)
if c.equal(len(found), 2, "two tones with silence between them"):
    for (start, length, _, _), where in zip(found, ("loose file", "pack entry")):
        seconds, freq = tone(path, start, length)
        c.check(0.57 <= seconds <= 0.63, "the tone from the %s is heard whole (%.3f s of 0.6 s)" % (where, seconds))
        c.check(435 <= freq <= 445, "the tone from the %s is heard at 440 Hz (%.1f Hz)" % (where, freq))
c.finish()
