"""The game's data pack as a user may have it: missing or truncated, the game names the file in a
box and ends with exit code 1; with one entry's bytes damaged it logs the entry and plays on."""
import os
import shutil
import struct
import time
import gamerun as g
import vornharness as h

c = h.Checks("game.data")
PACK = open(os.path.join(h.BUILD, "bin", "Data", "Data.bin"), "rb").read()


# title.bmp's (offset, size) from the pack's directory: 80-byte records of a 64-byte name, then at
# 72 the offset and size.
records = (8 + 80 * i for i in range(struct.unpack_from("<I", PACK, 4)[0]))
title_at, title_size = next(struct.unpack_from("<II", PACK, at + 72) for at in records
                            if PACK[at:at + 64].rstrip(b"\0").lower() == b"title.bmp")
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
    app = h.App(exe, env={"VORN_GAME_TEST": "seed=1;nowait;fast;quit=200;log=" + g.win(log)}).start()
    try:
        # Its own box (programs beside it show boxes too), closed as a user would: no focus needed.
        seen, end = [], time.time() + 60
        while not seen and app.running() and time.time() < end:
            seen = h.find_windows("ERROR", pid=app.proc.pid)
            time.sleep(0.1)
        for wid in seen:
            h.close_window(wid)
        c.equal(bool(seen), box, "%s: the box naming Data\\Data.bin" % name)
        c.equal(app.wait(60), code, "%s: exit code" % name)
    except TimeoutError:
        c.check(False, "%s: the game ends" % name)
    finally:
        app.kill()
    text = h.read_log(log + ".html") if os.path.exists(log + ".html") else ""
    c.check(line in text, "%s: the log says %s" % (name, line))
c.finish()
