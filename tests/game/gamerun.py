"""Runs of the game under its test seam: PAD files from text scripts, the seam's variable, the
trace, and back-buffer PNGs read back for region checks."""
import os
import struct
import time
import zlib
import vornharness as h

GAME = os.path.join(h.BUILD, "bin", "Tormea.exe")
OUT = os.path.join(h.BUILD, "test-out", "game")
BUTTONS = {"up": 0, "down": 1, "left": 2, "right": 3, "z": 4, "x": 5, "c": 6}


def write_pad(path, script, frames):
    """A one-track PAD file from lines "FRAME BUTTON... [xN]" (down from FRAME for N frames, 1 by
    default; '#' starts a comment): per frame the trigger, release, hold and repeat masks."""
    down = [0] * frames
    for words in (line.split("#")[0].split() for line in script.splitlines() if line.split("#")[0].strip()):
        counted = words[-1][0] == "x" and words[-1][1:].isdigit()
        for f in range(int(words[0]), min(int(words[0]) + (int(words[-1][1:]) if counted else 1), frames)):
            for n in words[1:-1] if counted else words[1:]:
                down[f] |= 1 << BUTTONS[n.lower()]
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"PAD\0" + struct.pack("<II", 1, frames))
        for prev, cur in zip([0] + down, down):
            f.write(struct.pack("<4I", cur & ~prev, prev & ~cur, prev & cur, 0))
    return path


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


def wait_trace(path, done, timeout):
    end, lines = time.time() + timeout, []
    while time.time() < end and not (lines and done(lines)):
        time.sleep(1.0)
        lines = open(path).read().splitlines() if os.path.exists(path) else []
    return lines


def escape(app, timeout=300):
    """Escape to the game's window, again while it stays (a test program beside it can take the
    focus between the focus and the key): the exit code, None when it does not end."""
    pid = app.proc.pid
    wid = h.wait_window("トルメア", 30, exact=False, pid=pid)
    shown = lambda: wid in h.find_windows("トルメア", False, pid)
    for _ in range(10 if wid else 0):
        time.sleep(0.5)
        h.key(wid, "Escape")
        end = time.time() + 5
        while shown() and time.time() < end:
            time.sleep(0.2)
        if not shown():
            break
    try:
        return app.wait(timeout)
    except TimeoutError:
        return None
    finally:
        app.kill()


def results(name):
    """The trace lines and the log text of a finished run."""
    read = lambda p, mode: open(p, mode).read() if os.path.exists(p) else (b"" if mode == "rb" else "")
    base = os.path.join(OUT, name)
    return read(base + ".trace", "r").splitlines(), read(base + ".html", "rb").decode("cp932", "replace")


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
