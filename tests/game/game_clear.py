"""A game won by the seam's autopilot, the real exe under Wine: a fixed seed, frames unthrottled,
pad 0 recorded, the game started from the title with 36 kills counted (the seam's `kills`), so that
three enemies are left before the boss. The trace shows kills 37 to 40 each counted once in order,
the boss's entry after the 39th, the clear and the title after it. The recording replayed without
the autopilot gives the same trace line for line. PNGs of the boss's entry and of the clear; closing
the window at the title ends each run with 0 and a clean log."""
import os
import gamerun as g
import vornharness as h

KILLS = 36   # the game starts with 36 kills counted: three enemies left, then the boss
c = h.Checks("game.game_clear")
pad = os.path.join(g.OUT, "game_clear.pad")
if os.path.exists(pad):
    os.remove(pad)
shots = os.path.join(g.OUT, "game_clear")
came = lambda scene: lambda t: g.scene_frame(t, scene) is not None
landed = lambda t: g.scene_frame(t, 1, g.scene_frame(t, 2))
# A game over ends the wait for the clear at once.
STEPS = [g.step("play from the title once it shows its prompt", came(1), 400),
         g.step("the boss's entry at the 39th kill", came(2), 10000),
         g.step("play once the boss has landed", lambda t: landed(t) is not None, lambda t: g.scene_frame(t, 2) + 1000),
         g.step("the clear at the 40th kill", came(4), lambda t: g.scene_frame(t, 3) or landed(t) + 20000),
         g.step("the title 661 frames after the clear", came(0), lambda t: g.scene_frame(t, 4) + 661)]
seam = dict(seed=2, nowait=True, fast=True, kills=KILLS)
trace, log, code = g.run(c, "game_clear", dict(seam, autopilot=True, record=g.win(pad), png=g.win(shots) + ":s2+180,s4+320"), STEPS)
events = [line.split() for line in trace]
kills = [int(v) for f, w, v in events if w == "kill"]
scenes = [int(v) for f, w, v in events if w == "scene"]
print("\n".join(trace[:3] + ["..."] + trace[-4:]))
print("kills %d, hits %d, scenes %s" % (len(kills), sum(1 for e in events if e[1] == "hit"), scenes))
c.equal(events[0][1:] if events else None, ["scene", "1"], "the autopilot starts a game from the title")
c.equal(kills, list(range(KILLS + 1, 41)), "kills %d to 40, each counted once, in order" % (KILLS + 1))
c.equal(scenes, [1, 2, 1, 4, 0], "play, the boss's entry, play, the clear, the title")
frames = lambda what, n: [f for f, w, v in events if w == what and v == n]
c.check(frames("scene", "2") and frames("kill", "39") == frames("scene", "2"), "the 39th kill brings the boss")
c.check(frames("scene", "4") and frames("kill", "40") == frames("scene", "4"), "the clear in the 40th kill's frame")
c.equal(code, 0, "closing the window at the title ends the autopilot's run with 0")
g.clean_log(c, log)
sky = lambda q: g.near(q, 0x5050FF)
b = g.read_png(shots + "_s2+180.png")
c.check(g.share(g.region(b, 0, 0, 640, 200), sky) > 0.95, "boss entry: the sky above")
c.check(g.share(g.region(b, 300, 230, 340, 262), lambda q: not sky(q)) > 0.1, "boss entry: the boss in view, mid-air")
e = g.read_png(shots + "_s4+320.png")
c.check(g.share(g.region(e, 0, 0, 640, 100), lambda q: q >> 16 > 200 and (q & 255) < 170) > 0.9, "clear: the image's orange rays cover the top")
c.check(g.share(g.region(e, 100, 140, 520, 230), lambda q: q >> 16 < 160 and (q >> 8 & 255) < 80) > 0.1, "clear: its dark red title in place")

replayed, log2, code2 = g.run(c, "game_clear_replay", dict(seam, replay=g.win(pad)), STEPS)
c.check(len(trace) > 0 and replayed == trace, "the replayed recording gives the same trace line for line "
        "(%d lines, %d replayed)" % (len(trace), len(replayed)))
c.equal(code2, 0, "closing the window at the title ends the replay with 0")
g.clean_log(c, log2)
c.finish()
