"""Runs of the game under its test seam: PAD files, the seam's variable, the trace, the close box,
and back-buffer PNGs read back for region checks."""
import os
import struct
import time
import zlib
import vornharness as h

GAME = os.path.join(h.BUILD, "bin", "Tormea.exe")
OUT = os.path.join(h.BUILD, "test-out", "game")


def write_pad(name, frame, frames):
    """A one-track PAD file of `frames` frames in which Z is down at `frame` alone: per frame the
    trigger, release, hold and repeat masks. Returns its path."""
    down = [16 if f == frame else 0 for f in range(frames)]   # Z: virtual button 4
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(b"PAD\0" + struct.pack("<II", 1, frames))
        for prev, cur in zip([0] + down, down):
            f.write(struct.pack("<4I", cur & ~prev, prev & ~cur, prev & cur, 0))
    return f.name


def win(path):
    return "Z:" + path.replace("/", "\\")


def start(name, entries):
    """The game started with the seam entries (True for flags), a log and a trace named after the
    run: (app, trace path)."""
    os.makedirs(OUT, exist_ok=True)
    base = os.path.join(OUT, name)
    for old in (base + ".html", base + ".trace"):
        if os.path.exists(old):
            os.remove(old)
    seam = ";".join(k if v is True else "%s=%s" % (k, v) for k, v in dict(entries, log=win(base), trace=win(base + ".trace")).items())
    return h.App(GAME, env={"VORN_GAME_TEST": seam}).start(), base + ".trace"


def events(path):
    """A trace's lines without the seam's ticks."""
    lines = open(path).read().splitlines() if os.path.exists(path) else []
    return [line for line in lines if " tick " not in line]


def follow(app, path, steps, stall=60.0):
    """Follows a run's trace through its expected steps, each (name, came(events), deadline(events)):
    came says the step is in the trace, deadline the last frame it may come in (None: not known
    yet). The seam ticks every 60 frames, so the game's frame is known between events, and a
    missed step fails within seconds of its deadline, not at the test's time limit. Returns the
    events and None, or the events and what went wrong: "waited for <name> past frame N", the game
    ending, or no frame for stall seconds."""
    step, frame, moved = 0, -1, time.time()
    while True:
        lines = open(path).read().splitlines() if os.path.exists(path) else []
        seen = [line for line in lines if " tick " not in line]
        at = int(lines[-1].split()[0]) if lines and lines[-1].split()[0].isdigit() else -1
        frame, moved = (at, time.time()) if at > frame else (frame, moved)
        while step < len(steps) and steps[step][1](seen):
            step += 1
        if step == len(steps):
            return seen, None
        name, _, deadline = steps[step]
        bound = deadline(seen)
        if bound is not None and frame > bound:
            return seen, "waited for %s past frame %d (the game is at frame %d)" % (name, bound, frame)
        if not app.running():
            return seen, "waited for %s: the game ended at frame %d" % (name, frame)
        if time.time() - moved > stall:
            return seen, "waited for %s: no frame past %d for %.0f s" % (name, frame, stall)
        time.sleep(0.2)


def scene_frame(seen, scene, after=-1):
    """The frame of the first change to scene after frame after, or None."""
    return next((int(line.split()[0]) for line in seen
                 if line.split()[1:] == ["scene", str(scene)] and int(line.split()[0]) > after), None)


def step(name, came, last):
    """A step for follow(): came(events), and the last frame it may come in as a number or as a
    function of the events (None while it cannot be said)."""
    return name, came, last if callable(last) else (lambda seen: last)


def close(app, timeout=300):
    """Closes the game's window (found by its process: programs beside it open windows too) as a
    user would, with no focus needed: the exit code within timeout seconds (the time is printed),
    None when it does not end."""
    wid = h.wait_window("トルメア", 30, exact=False, pid=app.proc.pid)
    start = time.time()
    if wid:
        h.close_window(wid)
    try:
        return app.wait(timeout)
    except TimeoutError:
        return None
    finally:
        print("figure: the process ended %.2f s after the close box" % (time.time() - start))
        app.kill()


def run(c, name, entries, steps):
    """A run followed through its steps (follow()), then closed: (trace events, log text, exit
    code). A step that does not come in time is a failed check naming it."""
    app, trace_path = start(name, entries)
    try:
        _, missed = follow(app, trace_path, steps)
        c.check(missed is None, "%s: every step came in time%s" % (name, ": " + missed if missed else ""))
    finally:
        code = close(app)
    return results(name) + (code,)


def results(name):
    """The trace lines and the log text of a finished run."""
    read = lambda p, mode: open(p, mode).read() if os.path.exists(p) else (b"" if mode == "rb" else "")
    base = os.path.join(OUT, name)
    return events(base + ".trace"), read(base + ".html", "rb").decode("cp932", "replace")


def read_png(path):
    """Rows of 0xRRGGBB of a 24-bit PNG without filters, as the seam writes them."""
    data, at, idat, w = open(path, "rb").read(), 8, b"", 0
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        w = struct.unpack(">I", data[at + 8:at + 12])[0] if kind == b"IHDR" else w
        idat += data[at + 8:at + 8 + n] if kind == b"IDAT" else b""
        at += 12 + n
    raw, stride = zlib.decompress(idat), w * 3 + 1
    return [[r[i] << 16 | r[i + 1] << 8 | r[i + 2] for i in range(0, w * 3, 3)]
            for r in (raw[y + 1:y + stride] for y in range(0, len(raw), stride))]


def region(rows, x0, y0, x1, y1):
    return [rows[y][x] for y in range(y0, y1) for x in range(x0, x1)]


def share(pixels, pred):
    return sum(1 for p in pixels if pred(p)) / float(len(pixels))


def near(p, rgb, tol=8):
    return all(abs((p >> s & 255) - (rgb >> s & 255)) <= tol for s in (0, 8, 16))


def clean_log(c, log):
    c.check("MemoryLeak" not in log, "no memory leak in the log")
    c.check("Memory OverAccess" not in log, "no memory overrun in the log")
    c.check("Destroy [ No." not in log, "no record left for the engine to destroy")
