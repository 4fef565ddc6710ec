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


def wait_trace(path, done, timeout):
    end, lines = time.time() + timeout, []
    while time.time() < end and not (lines and done(lines)):
        time.sleep(0.2)
        lines = open(path).read().splitlines() if os.path.exists(path) else []
    return lines


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


def run(name, entries, done, timeout=1500):
    """A run until its trace is done(lines), then closed: (trace lines, log text, exit code)."""
    app, trace_path = start(name, entries)
    wait_trace(trace_path, done, timeout)
    code = close(app)
    return results(name) + (code,)


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
