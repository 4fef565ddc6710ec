"""What VornSound plays through Tuvra.dll, recorded from the null sink: audio_tests' case
DISABLED_SoundHearing plays a 0.6 s 440 Hz tone from a loose file, then from a pack entry."""
import vornharness as h
from hearing_pieces import heard, record_case

c = h.Checks("audio.sound_hearing")
code, _, path = record_case("DISABLED_SoundHearing", "sound_hearing.wav", 120)
c.equal(code, 0, "both sounds are made and play once")
found = heard(path)
if c.equal(len(found), 2, "two tones with silence between them"):
    for (start, length, _, _), where in zip(found, ("loose file", "pack entry")):
        freq = h.measure(path, start + 0.1, max(length - 0.2, 0.1))["freq"]
        c.check(430 <= freq <= 450, "the tone from the %s is heard at 440 Hz (%.1f Hz)" % (where, freq))
c.finish()
