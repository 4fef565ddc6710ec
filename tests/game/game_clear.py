"""A whole game played by the seam's autopilot, the real exe under Wine: a fixed seed, no frame
wait, pad 0 recorded. The trace shows the game started from the title, every kill counted once in
order up to at least the floor this bot reaches with the seed, and the game's end back at the title.
The recording replayed without the autopilot gives the same trace line for line. A PNG of play;
Escape at the title ends each run with 0 and a clean log."""
import os
import gamerun as g
import vornharness as h

SEED = 7
KILL_FLOOR = 8   # what the autopilot reaches with this seed; 40 is the clear
c = h.Checks("game.game_clear")
pad = os.path.join(g.OUT, "game_clear.pad")
if os.path.exists(pad):
    os.remove(pad)
shots = os.path.join(g.OUT, "game_clear")
ended = lambda t: any(line.endswith(("scene 3", "scene 4")) for line in t) and t[-1].endswith("scene 0")


def run(name, entries):
    app, trace_path = g.start(name, dict(entries, seed=SEED, nowait=True))
    g.wait_trace(trace_path, ended, 1500)
    code = g.escape(app)
    trace, log = g.results(name)
    return trace, log, code


trace, log, code = run("game_clear", {"autopilot": True, "record": g.win(pad), "png": g.win(shots) + ":s1+300"})
events = [line.split() for line in trace]
kills = [int(v) for f, w, v in events if w == "kill"]
scenes = [int(v) for f, w, v in events if w == "scene"]
print("\n".join(trace[:3] + ["..."] + trace[-4:]))
print("kills %d, hits %d, scenes %s" % (len(kills), sum(1 for e in events if e[1] == "hit"), scenes))
c.equal(events[0][1:] if events else None, ["scene", "1"], "the autopilot starts a game from the title")
c.equal(kills, list(range(1, len(kills) + 1)), "each kill counted once, in order")
c.check(len(kills) >= KILL_FLOOR, "the autopilot reaches %d kills or more (%d)" % (KILL_FLOOR, len(kills)))
c.check(scenes[-2:] in ([3, 0], [4, 0]), "the game ends (game over or clear) and the title returns: %s" % scenes)
c.equal(code, 0, "Escape at the title ends the autopilot's run with 0")
g.clean_log(c, log)
p = g.read_png(shots + "_s1+300.png")
c.check(g.share(g.region(p, 140, 0, 380, 40), lambda q: g.near(q, 0x5050FF)) > 0.5, "play: the sky")

replayed, log2, code2 = run("game_clear_replay", {"replay": g.win(pad)})
c.check(len(trace) > 0 and replayed == trace, "the replayed recording gives the same trace line for line "
        "(%d lines, %d replayed)" % (len(trace), len(replayed)))
c.equal(code2, 0, "Escape at the title ends the replay with 0")
g.clean_log(c, log2)
c.finish()
