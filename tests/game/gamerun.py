"""Runs of the game under its test seam: PAD files written from text scripts, the seam's variable,
the trace, and back-buffer PNGs read back for region checks."""
import os
import struct
import time
import zlib
import vornharness as h

GAME = os.path.join(h.BUILD, "bin", "Tormea.exe")
OUT = os.path.join(h.BUILD, "test-out", "game")
BUTTONS = {"up": 0, "down": 1, "left": 2, "right": 3, "z": 4, "x": 5, "c": 6}


def pad_frames(script, frames):
    """Pad masks (trigger, release, hold, repeat) per frame from lines "FRAME BUTTON... [xN]": the
    buttons are down from FRAME for N frames (1 by default); '#' starts a comment."""
    down = [0] * frames
    for line in script.splitlines():
        words = line.split("#")[0].split()
        if not words:
            continue
        count = int(words[-1][1:]) if words[-1].startswith("x") else 1
        names = words[1:-1] if words[-1].startswith("x") else words[1:]
        start = int(words[0])
        for f in range(start, min(start + count, frames)):
            for n in names:
                down[f] |= 1 << BUTTONS[n.lower()]
    out, prev = [], 0
    for cur in down:
        out.append((cur & ~prev, prev & ~cur, prev & cur, 0))
        prev = cur
    return out


def write_pad(path, script, frames):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"PAD\0" + struct.pack("<II", 1, frames))
        for m in pad_frames(script, frames):
            f.write(struct.pack("<4I", *m))
    return path


def win(path):
    return "Z:" + path.replace("/", "\\")


def start(name, entries):
    """Starts the game with the seam entries (a dict; True for flags), a log and a trace named
    after the run. Returns (app, trace path)."""
    os.makedirs(OUT, exist_ok=True)
    base = os.path.join(OUT, name)
    for ext in (".html", ".trace"):
        if os.path.exists(base + ext):
            os.remove(base + ext)
    entries = dict(entries, log=win(base), trace=win(base + ".trace"))
    seam = ";".join(k if v is True else "%s=%s" % (k, v) for k, v in entries.items())
    return h.App(GAME, env={"VORN_GAME_TEST": seam}).start(), base + ".trace"


def wait_trace(path, done, timeout):
    """Polls the trace until done(lines) holds or the time is up; the lines."""
    end, lines = time.time() + timeout, []
    while time.time() < end:
        lines = open(path).read().splitlines() if os.path.exists(path) else []
        if lines and done(lines):
            break
        time.sleep(1.0)
    return lines


def escape(app, timeout=300):
    """Escape to the game's window; the exit code (None when it did not end)."""
    wid = h.wait_window("トルメア", 30, exact=False)
    if wid:
        time.sleep(0.5)
        h.key(wid, "Escape")
    try:
        return app.wait(timeout)
    except TimeoutError:
        return None
    finally:
        app.kill()


def results(name):
    """The trace lines and the log text of a finished run."""
    base = os.path.join(OUT, name)
    trace = open(base + ".trace").read().splitlines() if os.path.exists(base + ".trace") else []
    log = open(base + ".html", "rb").read().decode("cp932", "replace") if os.path.exists(base + ".html") else ""
    return trace, log


def read_png(path):
    """(width, height, rows of 0xRRGGBB) of a 24-bit PNG without filters, as the seam writes them."""
    data = open(path, "rb").read()
    at, idat, w, hgt = 8, b"", 0, 0
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        if kind == b"IHDR":
            w, hgt = struct.unpack(">II", body[:8])
        elif kind == b"IDAT":
            idat += body
        at += 12 + n
    raw = zlib.decompress(idat)
    rows, stride = [], w * 3 + 1
    for y in range(hgt):
        r = raw[y * stride + 1:(y + 1) * stride]
        rows.append([r[i] << 16 | r[i + 1] << 8 | r[i + 2] for i in range(0, len(r), 3)])
    return w, hgt, rows


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
