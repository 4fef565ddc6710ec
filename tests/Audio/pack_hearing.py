"""The game's sounds from Data/Data.bin, recorded from the null sink: audio_tests' case
DISABLED_PackSoundsHearing plays the 35 WAVEs one by one through VornMusic, then both MP3s at once
through VornMedia, looping, bgm1 on the left and bgm2 on the right, on past their ends."""
import os
import re
import struct
import wave
import vornharness as h
from hearing_pieces import pieces

WAVES = ["explos1", "explos2", "jump", "kurai", "shot1", "shot2", "walk", "v_attack1", "v_attack2", "v_attack3",
         "v_attack4", "v_attack5", "ene_attack", "v_damage1", "v_damage2", "v_damage3", "ene_bul", "v_huzen",
         "v_jattack1", "v_jattack2", "v_jump", "v_rakka1", "v_rakka2", "v_shot1", "v_shot2", "v_shot3", "boss_rakka",
         "boss_step", "boss_swing", "boss_bul", "v_start", "v_end", "op1", "op2", "v_clear"]


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
rec = h.Recorder(os.path.join(h.OUT, "pack_hearing.wav")).start()
app = h.App(os.path.join(h.BUILD, "tests", "audio_tests.exe"),
            ["--gtest_also_run_disabled_tests", "--gtest_filter=AudioTest.DISABLED_PackSoundsHearing"], cwd=h.OUT).start()
code = app.wait(240)
rec.stop()
out = app.output()
if not c.equal(code, 0, "every sound and tune loads from the pack and the tunes loop"):
    print(out[-4000:])
found = pieces(rec.path, gap=0.4)
print("pieces (start, length, left rms, right rms): %r" % [tuple(round(v, 3) for v in p) for p in found])
if c.equal(len(found), len(WAVES) + 1, "each sound heard apart, then the tunes"):
    for name, (_, length, left, right) in zip(WAVES, found):
        total, end = audible(os.path.join(h.BUILD, "data", "pack", name + ".wav"))
        # A loaded machine can stretch a sound a little (underruns); its neighbours stay apart.
        c.check(max(left, right) > 0.01 and end * 0.5 <= length <= total + 0.6,
                "%s.wav is heard (%.2f s of %.2f s audible, rms %.3f)" % (name, length, end, max(left, right)))
    durations = dict(re.findall(r"^(bgm\d)\.mp3 ([\d.]+)", out, re.M))
    starts = []
    for channel, name in enumerate(["bgm1", "bgm2"]):
        heard = [p for p in pieces(rec.path, gap=0.4, channel=channel) if p[0] >= found[-1][0] - 0.1]
        need = float(durations.get(name, 1e9)) + 2
        c.check(len(heard) == 1 and heard[0][1] >= need and heard[0][2 + channel] > 0.01,
                "%s.mp3 (%s) plays on past its end without a break: %r" % (name, "left right".split()[channel], heard))
        starts.append(heard[0][0] if heard else 0)
    c.check(starts[1] - starts[0] >= 1.0, "bgm2 starts 1.5 s after bgm1: each channel holds its own tune")
c.finish()
