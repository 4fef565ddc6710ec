"""The game's sounds from Data/Data.bin, recorded from the null sink: audio_tests' case
DISABLED_PackSoundsHearing plays the 35 WAVEs one by one through VornMusic, then both MP3s at once
through VornMedia, looping, bgm1 on the left and bgm2 on the right, on past their ends."""
import os
import re
import struct
import wave
import vornharness as h
from hearing_pieces import heard, pieces, record_case


def audible(path, step=0.05, floor=0.003):
    """(length s, end of the last 50 ms step above the floor) of a generated 16-bit mono WAVE."""
    w = wave.open(path)
    n, frames = int(w.getframerate() * step), w.getnframes()
    end = 0
    data = struct.unpack("<%dh" % frames, w.readframes(frames))
    for i in range(0, frames, n):
        part = data[i:i + n]
        if part and (sum(v * v for v in part) / len(part)) ** 0.5 / 32768 > floor:
            end = (i + len(part)) / w.getframerate()
    return frames / w.getframerate(), end


c = h.Checks("audio.pack_hearing")
code, out, path = record_case("DISABLED_PackSoundsHearing", "pack_hearing.wav", 240)
waves = re.findall(r"^(\S+)\.wav\s*$", out, re.M)   # as the case plays them
if not c.equal(code, 0, "every sound and tune loads from the pack and the tunes loop"):
    print(out[-4000:])
found = heard(path, gap=0.4)
if c.equal((len(waves), len(found)), (35, 36), "the 35 sounds played and each heard apart, then the tunes"):
    for name, (_, length, left, right) in zip(waves, found):
        total, end = audible(os.path.join(h.BUILD, "data", "pack", name + ".wav"))
        # A loaded machine can stretch a sound a little (underruns); its neighbours stay apart.
        c.check(max(left, right) > 0.01 and end * 0.5 <= length <= total + 0.6,
                "%s.wav is heard (%.2f s of %.2f s audible, rms %.3f)" % (name, length, end, max(left, right)))
    durations = dict(re.findall(r"^(bgm\d)\.mp3 ([\d.]+)", out, re.M))
    starts = []
    for channel, name in enumerate(["bgm1", "bgm2"]):
        tune = [p for p in pieces(path, gap=0.4, channel=channel) if p[0] >= found[-1][0] - 0.1]
        need = float(durations.get(name, 1e9)) + 2
        c.check(len(tune) == 1 and tune[0][1] >= need and tune[0][2 + channel] > 0.01,
                "%s.mp3 (%s) plays on past its end without a break: %r" % (name, "left right".split()[channel], tune))
        starts.append(tune[0][0] if tune else 0)
    c.check(starts[1] - starts[0] >= 1.0, "bgm2 starts 1.5 s after bgm1: each channel holds its own tune")
c.finish()
