"""Takes the README's pictures from the real game (build/bin/Tormea.exe): the title, and the busiest
play scene as the seam's bench mode keeps it (player, 20 enemies, explosions, a shockwave, trails,
dust, a volley), each read from the back buffer through the game's test seam in a seeded run and
written compressed to docs/. Run inside the root after a build:

    ./vorn shell -c 'python3 tools/screenshots.py'

The same build and seed give the same pictures."""
import os
import struct
import sys
import zlib

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.environ.setdefault("VORN_BUILD", os.path.join(top, "build"))
sys.path[:0] = [os.path.join(top, "tests", "harness"), os.path.join(top, "tests", "game")]
import gamerun as g  # noqa: E402

SEED = 1
TITLE_FRAME = 190   # the pictures in place and the prompt shown
PLAY_FRAME = 300    # frames into play, the busy scene held by the seam's bench mode


def compress(src, dst):
    """Rewrites a seam PNG (stored, unfiltered) with the Up filter and zlib at level 9."""
    w, h, rows = g.read_png(src)
    raw, prev = bytearray(), bytes(w * 3)
    for row in rows:
        line = bytes(b for p in row for b in (p >> 16, p >> 8 & 255, p & 255))
        raw.append(2)
        raw += bytes((a - b) & 255 for a, b in zip(line, prev))
        prev = line

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(dst, "wb") as f:
        f.write(png)
    print("%s: %d x %d, %d bytes" % (dst, w, h, len(png)))


def run(name, entries, frame):
    """One seeded run of the game with the seam entries; the seam's PNG of the frame."""
    shots = os.path.join(g.OUT, name)
    app, _ = g.start(name, dict(entries, seed=SEED, nowait=True, png=g.win(shots) + ":" + frame))
    try:
        code = app.wait(600)
    finally:
        app.kill()
    if code != 0:
        sys.exit("screenshots: the game ended with %r" % code)
    return "%s_%s.png" % (shots, frame)


def main():
    docs = os.path.join(top, "docs")
    os.makedirs(docs, exist_ok=True)
    title = run("screenshots_title", {"quit": TITLE_FRAME + 1}, str(TITLE_FRAME))
    compress(title, os.path.join(docs, "tormea-title.png"))
    play = run("screenshots_play", {"bench": PLAY_FRAME + 100}, "s1+%d" % PLAY_FRAME)
    compress(play, os.path.join(docs, "tormea-play.png"))


if __name__ == "__main__":
    main()
