"""The game's data pack as a user may have it: missing or truncated, the game names the file in a
box and ends with exit code 1; with one entry's bytes damaged it logs the entry and plays on."""
import os
import shutil
import struct
import gamerun as g
import vornharness as h

c = h.Checks("game.data")
PACK = open(os.path.join(h.BUILD, "bin", "Data", "Data.bin"), "rb").read()


def entry_span(name):
    """(offset, size) of a pack entry by its stored name."""
    count = struct.unpack_from("<I", PACK, 4)[0]
    for i in range(count):
        at = 8 + 80 * i
        if PACK[at:at + 64].rstrip(b"\0").lower() == name:
            return struct.unpack_from("<II", PACK, at + 72)
    raise KeyError(name)


title_at, title_size = entry_span(b"title.bmp")
damaged = bytearray(PACK)
damaged[title_at + title_size // 2] ^= 0xFF
# name: the pack's bytes (None: no pack), whether a box comes, the exit code, the log's line.
CASES = [
    ("missing", None, True, 1, "ファイルが開けません"),
    ("truncated", PACK[:len(PACK) // 2], True, 1, "PACKファイルが壊れています"),
    ("damaged_entry", bytes(damaged), False, 0, "ファイルのCRCが一致しません"),
]
for name, pack, box, code, line in CASES:
    folder = os.path.join(g.OUT, "data_" + name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "Data"))
    exe = shutil.copy(g.GAME, folder)
    if pack is not None:
        open(os.path.join(folder, "Data", "Data.bin"), "wb").write(pack)
    log = os.path.join(folder, "run")
    app = h.App(exe, env={"VORN_GAME_TEST": "seed=1;quit=200;log=" + g.win(log)}).start()
    try:
        c.equal(h.answer_box("ERROR", "ok", 30 if box else 10), box, "%s: the box naming Data\\Data.bin" % name)
        c.equal(app.wait(60), code, "%s: exit code" % name)
    except TimeoutError:
        c.check(False, "%s: the game ends" % name)
    finally:
        app.kill()
    text = h.read_log(log + ".html") if os.path.exists(log + ".html") else ""
    c.check(line in text, "%s: the log says %s" % (name, line))
c.finish()
