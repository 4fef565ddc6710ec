"""The game's executable from boot to exit: the start-up question, the 640x480 window, the FPS
caption once a second, a refused second instance, and Escape at the title ending it with 0 within
EXIT_BOUND seconds. (Closing the window in the middle of a game: game.game_audio.)"""
import os
import re
import time
import vornharness as h

GAME = os.path.join(h.BUILD, "bin", "Tormea.exe")
TITLE = "トルメア"
CAPTION = re.compile(r"^トルメア FPS\[(\d+)\] PPS\[(\d+)\] PPF\[(\d+)\] PPF3D\[(\d+)\]$")
c = h.Checks("game.boot_and_exit")
# The game ends within 2 s of Escape or the close box on a quiet machine; the bound allows for load.
EXIT_BOUND = 10.0


def caption_changes(reads):
    """(read start before, read end after) of each change to a statistics caption."""
    return [(a[0], b[1]) for a, b in zip(reads, reads[1:]) if a[2] != b[2] and CAPTION.match(b[2])]


def watch_caption(wid, timeout=40.0):
    """Reads the title until three changes of the statistics caption and a second of 50-70 frames
    were seen, or for timeout seconds: two seconds that read the same show as no change, and a
    loaded machine slows frames down (at load 20 a second of 50 frames can take a while to come,
    and a quiet machine shows one at once). Returns [(read start, read end, title)]."""
    reads, end = [], time.time() + timeout
    while time.time() < end:
        before = time.time()
        title = h.window_title(wid)
        reads.append((before, time.time(), title))
        stats = [m for m in (CAPTION.match(t) for _, _, t in reads) if m]
        if len(caption_changes(reads)) >= 3 and any(50 <= int(m.group(1)) <= 70 for m in stats):
            break
        time.sleep(0.05)
    return reads


app = h.App(GAME).start()
try:
    c.check(h.answer_box("起動オプション", "no", 60), "the start-up question is asked and answered No")
    wid = h.wait_window(TITLE, 60, exact=False)
    if c.check(wid is not None, "the window titled %s opens" % TITLE):
        c.equal(h.window_size(wid), (640, 480), "windowed client area")
        reads = watch_caption(wid)
        titles = [t for _, _, t in reads]
        c.check(all(t == TITLE or CAPTION.match(t) for t in titles), "the title is the application name, then the statistics: %r" % sorted(set(titles)))
        # Each change happened between the read before it began and the read that saw it end. The
        # game's second is its own clock, so load only makes a change later: the widest the gap
        # between two changes can have been must reach a second.
        changes = caption_changes(reads)
        c.check(len(changes) >= 1, "the statistics caption comes (%d changes seen)" % len(changes))
        print("figure: caption changes %s s apart" % ", ".join("%.2f" % (b[1] - a[1]) for a, b in zip(changes, changes[1:])))
        c.check(all(b[1] - a[0] > 0.95 for a, b in zip(changes, changes[1:])), "the caption changes at most once a second")
        values = [tuple(int(v) for v in m.groups()) for m in (CAPTION.match(t) for t in titles) if m]
        if values:
            print("figure: frames per second %s" % sorted(set(v[0] for v in values)))
            # The limiter: load can slow a second down, never speed it up, so no second is above
            # the limit however loaded the machine; and a limiter that waits too long never shows
            # a second of 50 frames, which a working one does whenever the machine gives it one.
            c.check(all(v[0] <= 70 for v in values), "never above the limit")
            c.check(50 <= max(v[0] for v in values), "60 frames per second (best second %d)" % max(v[0] for v in values))
            c.check(all(v[2] == (v[1] // v[0] if v[0] else 0) for v in values), "PPF is polygons per frame")

        second = h.App(GAME).start()
        try:
            # Its start-up question (asked before the instance check) answered No, its refusal OK.
            seen = [box for box, answer in (("起動オプション", "no"), ("ERROR", "ok")) if h.answer_box(box, answer, 60)]
            print("boxes of the second instance: %r" % seen)
            c.check(seen[:1] == ["起動オプション"], "the second instance asks the start-up question first")
            c.check("ERROR" in seen, "then shows its refusal box")
            c.equal(second.wait(30), 0, "the refused second instance ends with 0")
        finally:
            second.kill()
        c.check(app.running(), "the first instance keeps running")
        h.focus(wid)
        start = time.time()
        h._xdotool("key", "Escape")
        code = None
        try:
            code = app.wait(EXIT_BOUND)
        except TimeoutError:
            pass
        print("figure: Escape at the title: the process ended %.2f s later" % (time.time() - start))
        c.equal(code, 0, "Escape at the title ends the game with exit code 0 within %.0f s" % EXIT_BOUND)
finally:
    app.kill()
c.finish()
