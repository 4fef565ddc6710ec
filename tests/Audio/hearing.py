"""What VornMusic and VornMedia play, recorded from the null sink: audio_tests' case
DISABLED_HearingSounds plays five sounds with silence between them (see MediaTest.cpp). Then the
game started without a sound server."""
import math
import os
import vornharness as h
from hearing_pieces import heard, record_case

c = h.Checks("audio.hearing")
code, _, path = record_case("DISABLED_HearingSounds", "audio_hearing.wav", 120)
c.equal(code, 0, "the sounds play and the engine's states follow them")
found = heard(path)
if c.equal(len(found), 5, "five sounds with silence between them"):
    music, full, half, left, loop = found
    c.check(music[2] > 0.05 and music[1] <= 1.3, "the 1 s WAVE through VornMusic is heard, then silence (%.2f s)" % music[1])
    c.check(1.3 <= full[1] <= 1.8, "the media tone plays its 1.5 s once")
    db = 20 * math.log10(half[2] / full[2])
    c.check(-27 <= db <= -23, "volume 50 is -25 dB against volume 100 (%.1f dB)" % db)
    c.check(left[2] > 0.05 and left[3] < 0.001, "pan -100 silences the right channel (%.4f)" % left[3])
    c.check(loop[1] >= 2.5, "the looping 0.5 s sound is still heard after 2 s (%.2f s)" % loop[1])

# Without a sound server DirectMusic has no driver: the game's start-up shows its ERROR box and ends.
game = h.App(os.path.join(h.BUILD, "bin", "Tormea.exe"), env={"PULSE_SERVER": "unix:/nonexistent"}).start()
try:
    c.check(h.answer_box("起動オプション", "no", 60), "the game asks its start-up question")
    c.check(h.answer_box("ERROR", "ok", 60), "without a sound server start-up shows the ERROR box")
    c.equal(game.wait(30), 0, "and the game ends")
finally:
    game.kill()
c.finish()
