"""The game's executable from boot to exit: the start-up question, the 640x480 window, the FPS
caption once a second, a refused second instance, and Escape or closing the window ending it with 0."""
import ctypes
import os
import re
import time
import vornharness as h

GAME = os.path.join(h.BUILD, "bin", "Tormea.exe")
TITLE = "トルメア"
CAPTION = re.compile(r"^トルメア FPS\[(\d+)\] PPS\[(\d+)\] PPF\[(\d+)\] PPF3D\[(\d+)\]$")
c = h.Checks("game.boot_and_exit")


def close_window(wid):
    """Asks the window to close as a window manager would (WM_DELETE_WINDOW); the engine ignores
    Alt+F4 (system keys have no default handling), so this is how a user closes it here."""
    x = ctypes.cdll.LoadLibrary("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]

    class ClientMessage(ctypes.Structure):
        _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                    ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                    ("message_type", ctypes.c_ulong), ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]

    class XEvent(ctypes.Union):
        _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

    d = x.XOpenDisplay(None)
    ev = XEvent()
    ev.xclient.type = 33   # ClientMessage
    ev.xclient.window = int(wid)
    ev.xclient.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
    ev.xclient.format = 32
    ev.xclient.l[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
    ev.xclient.l[1] = 0    # CurrentTime
    x.XSendEvent(d, int(wid), 0, 0, ctypes.byref(ev))
    x.XFlush(d)
    x.XCloseDisplay(d)


def start_windowed():
    app = h.App(GAME).start()
    c.check(h.answer_box("起動オプション", "no", 60), "the start-up question is asked and answered No")
    wid = h.wait_window(TITLE, 60, exact=False)
    c.check(wid is not None, "the window titled %s opens" % TITLE)
    return app, wid


# 1. Windowed 640x480, the caption once a second, a refused second instance, Escape ends it.
app, wid = start_windowed()
try:
    if wid:
        c.equal(h.window_size(wid), (640, 480), "windowed client area")
        changes, last, seen = [], None, []
        end = time.time() + 3.6
        while time.time() < end:
            t = h.window_title(wid)
            if t != last:
                changes.append(time.time())
                seen.append(t)
                last = t
            time.sleep(0.05)
        stats = [CAPTION.match(t) for t in seen[1:]]
        c.check(seen[:1] == [TITLE], "the title is the application name before the first second (%r)" % seen[:1])
        c.check(len(stats) >= 2 and all(stats), "captions in the FPS format: %r" % seen[1:])
        if len(changes) >= 3:
            # Two seconds in a row can read the same, so a change may come after two seconds.
            gaps = [b - a for a, b in zip(changes[1:], changes[2:])]
            print("figure: caption changes %s s apart" % ", ".join("%.2f" % g for g in gaps))
            c.check(all(g > 0.7 and abs(g - round(g)) < 0.35 for g in gaps),
                    "the caption changes only on whole seconds")
        values = [tuple(int(v) for v in m.groups()) for m in stats if m]
        if values:
            print("figure: frames per second %s" % [v[0] for v in values])
            # A loaded machine can slow a second down, never speed it up: the best second counts.
            best = max(v[0] for v in values)
            c.check(50 <= best <= 70, "60 frames per second (best second %d)" % best)
            c.check(all(v[0] <= 70 for v in values), "never above the limit")
            c.check(all(v[2] == (v[1] // v[0] if v[0] else 0) for v in values), "PPF is polygons per frame")

        second = h.App(GAME).start()
        try:
            # The second instance asks the start-up question too; here its box is sometimes answered
            # by a key the display still holds from the first answer, so it is only answered if seen.
            second_asked = False
            end = time.time() + 60
            while time.time() < end and not h.find_windows("ERROR"):
                if not second_asked and h.find_windows("起動オプション"):
                    second_asked = h.answer_box("起動オプション", "no", 5)
                time.sleep(0.1)
            c.check(h.answer_box("ERROR", "ok", 5), "the second instance shows its refusal box")
            c.equal(second.wait(30), 0, "the refused second instance ends with 0")
        finally:
            second.kill()
        c.check(app.running(), "the first instance keeps running")

        h.key(wid, "Escape")
    c.equal(app.wait(30), 0, "Escape ends the game with exit code 0")
finally:
    app.kill()

# 2. Closing the window ends it with 0.
app, wid = start_windowed()
try:
    if wid:
        time.sleep(0.5)
        close_window(wid)
    c.equal(app.wait(30), 0, "closing the window ends the game with exit code 0")
finally:
    app.kill()

c.finish()
