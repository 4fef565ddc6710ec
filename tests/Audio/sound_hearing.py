"""What VornSound plays through Tuvra.dll, recorded from the null sink: audio_tests' case
DISABLED_SoundHearing plays a 0.6 s 440 Hz tone from a loose file, then from a pack entry."""
import os
import vornharness as h
from hearing_pieces import pieces

c = h.Checks("audio.sound_hearing")
rec = h.Recorder(os.path.join(h.OUT, "sound_hearing.wav")).start()
app = h.App(os.path.join(h.BUILD, "tests", "audio_tests.exe"),
            ["--gtest_also_run_disabled_tests", "--gtest_filter=AudioTest.DISABLED_SoundHearing"], cwd=h.OUT).start()
c.equal(app.wait(120), 0, "both sounds are made and play once")
rec.stop()
found = pieces(rec.path)
print("pieces (start, length, left rms, right rms): %r" % [tuple(round(v, 3) for v in p) for p in found])
if c.equal(len(found), 2, "two tones with silence between them"):
    for (start, length, _, _), where in zip(found, ("loose file", "pack entry")):
        freq = h.measure(rec.path, start + 0.1, max(length - 0.2, 0.1))["freq"]
        c.check(430 <= freq <= 450, "the tone from the %s is heard at 440 Hz (%.1f Hz)" % (where, freq))
c.finish()
