"""A whole game lost, the real exe under Wine: a PAD file (Z at frame 200, then nothing) replayed
with a fixed seed, frames unthrottled. The trace shows play from 200, hits down to the death, game
over within 20,000 frames and the title 481 frames later; the PNGs show the title, play (sky,
ground, face, caption box) and the game-over letters; closing the window at the title ends it with
0 and a clean log. A second run of the same replay forces a device reset at frame 1000: the frames
just before and after it match the first run's region by region, and the trace is unchanged."""
import os
import gamerun as g
import vornharness as h

c = h.Checks("game.game_over")
pad = g.write_pad("game_over.pad", 200, 20000)
shots = os.path.join(g.OUT, "game_over")
seam = {"seed": 3, "replay": g.win(pad), "nowait": True, "fast": True}
over_at = lambda t: g.scene_frame(t, 3)
last_hit = lambda t: next((int(line.split()[0]) for line in t if line.split()[1:] == ["hit", "0"]), 20000)
STEPS = [g.step("play at frame 200", lambda t: g.scene_frame(t, 1) is not None, 200),
         g.step("the game over in the 20th hit's frame", lambda t: over_at(t) is not None, last_hit),
         g.step("the title 481 frames after the game over", lambda t: g.scene_frame(t, 0) is not None,
                lambda t: over_at(t) + 481)]
trace, log, code = g.run(c, "game_over", dict(seam, png=g.win(shots) + ":190,999,1001,s1+300,s3+100,s3+400"), STEPS)
print("\n".join(trace[:6] + ["..."] + trace[-4:]))

events = [line.split() for line in trace]
frame_of = lambda what, n: next((int(f) for f, w, v in events if w == what and int(v) == n), None)
c.equal(events[0], ["200", "scene", "1"], "Z at 200 starts the game")
hits = [int(v) for f, w, v in events if w == "hit"]
c.equal(hits, list(range(19, -1, -1)), "hit points fall by one a hit from 19 to 0")
over, title = frame_of("scene", 3), frame_of("scene", 0)
c.check(over is not None and over < 20000, "game over within 20,000 frames (at %r)" % over)
c.check(over is not None and int([e for e in events if e[1] == "hit"][-1][0]) == over, "the 20th hit ends the game")
c.equal(title - over if over and title else None, 481, "the title returns 481 frames after the game over")

t = g.read_png(shots + "_190.png")
c.check(g.share(g.region(t, 10, 50, 150, 400), lambda p: p != 0) > 0.8, "title: the first picture stands at x 0")
c.check(g.share(g.region(t, 224, 400, 420, 416), lambda p: g.near(p, 0xFFFFFF, 60)) > 0.05, "title: the prompt")
p = g.read_png(shots + "_s1+300.png")
c.check(g.share(g.region(p, 140, 0, 380, 40), lambda q: g.near(q, 0x5050FF)) > 0.95, "play: sky 0xFF5050FF")
c.check(g.share(g.region(p, 0, 440, 640, 480), lambda q: (q >> 8 & 255) > (q & 255)) > 0.5, "play: green ground")
c.check(g.share(g.region(p, 20, 20, 108, 108), lambda q: g.near(q, 0x5050FF)) < 0.2, "play: the face")
c.check(g.share(g.region(p, 400, 10, 620, 50), lambda q: g.near(q, 0x5050FF)) < 0.05, "play: the caption box")
red = lambda q: (q >> 16) > 150 and (q >> 8 & 255) < 80 and (q & 255) < 80
before, after = (g.share(g.region(g.read_png(shots + "_s3+%d.png" % n), 0, 140, 560, 300), red) for n in (100, 400))
c.check(before < 0.01 and after > 0.1, "game over: red letters unrolled below y 128 (%.2f, then %.2f)" % (before, after))
c.equal(code, 0, "closing the window at the title ends the game with 0")
g.clean_log(c, log)

# Device loss mid-game, in a replay of the same run.
again = os.path.join(g.OUT, "game_over_reset")
trace_reset, log, code = g.run(c, "game_over_reset", dict(seam, reset=1000, png=g.win(again) + ":999,1001"), STEPS)
c.check("1000 reset 1" in trace_reset, "the device was reset at frame 1000 and came back")
c.equal([t for t in trace_reset if " reset " not in t], trace, "the run goes on to its end unchanged")
regions = {"models": (200, 150, 440, 400), "stage": (0, 400, 640, 480), "face": (0, 0, 128, 128),
           "caption box and text": (384, 0, 640, 100), "sky": (130, 0, 380, 60)}
for frame in (999, 1001):
    one, two = (g.read_png("%s_%d.png" % (run, frame)) for run in (shots, again))
    for name, (x0, y0, x1, y1) in regions.items():
        differ = sum(1 for a, b in zip(g.region(one, x0, y0, x1, y1), g.region(two, x0, y0, x1, y1)) if not g.near(a, b, 2))
        c.equal(differ, 0, "frame %d around the reset: %s as without it" % (frame, name))
c.equal(code, 0, "closing the window at the title ends the reset run with 0")
g.clean_log(c, log)
c.finish()
