"""Test harness for Vorn's Windows programs under Wine, on the root's virtual display.

Runs a GUI program with a time limit, finds its windows by title, answers message boxes by their
caption, types keys, takes screenshots, collects the exit code and the HTML log, and records what
was played on the PulseAudio null sink. Used by the Python tests that CTest runs inside the root.
"""
import os
import re
import subprocess
import time

BUILD = os.environ.get("VORN_BUILD", "")
OUT = os.path.join(BUILD, "test-out") if BUILD else "/tmp"


def _xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True)


def find_windows(title, exact=True, pid=None):
    """X window ids whose title matches (the whole title when exact), of the process pid if given
    (test programs beside it may open windows of the same title)."""
    pattern = "^" + re.escape(title) + "$" if exact else re.escape(title)
    return _xdotool("search", "--all", "--onlyvisible", *(["--pid", str(pid)] if pid else []), "--name", pattern).stdout.split()


def wait_window(title, timeout=20.0, exact=True, pid=None):
    """The first window with this title, waiting up to timeout seconds; None when none came."""
    end = time.time() + timeout
    while not (ids := find_windows(title, exact, pid)) and time.time() < end:
        time.sleep(0.1)
    return ids[0] if ids else None


def window_title(wid):
    return _xdotool("getwindowname", wid).stdout.rstrip("\n")


def window_size(wid):
    """(width, height) of the X window (the client area: there is no window manager frame)."""
    m = re.search(r"Geometry:\s*(\d+)x(\d+)", _xdotool("getwindowgeometry", wid).stdout)
    return (int(m.group(1)), int(m.group(2))) if m else None


def focus(wid):
    # There is no window manager, so windowactivate fails; windowfocus works.
    _xdotool("windowfocus", "--sync", wid)
    time.sleep(0.1)


def key(wid, keysym, hold=0.15):
    """Press and release a key in a window (held long enough for a polled keyboard to see it). The
    press reaches no other window: should one take the focus first, it is sent to this window
    itself, which Wine ignores (a caller checks and tries again). The release goes to the display,
    which would otherwise hold the key and repeat it."""
    focus(wid)
    _xdotool("keydown", "--window", wid, keysym)
    time.sleep(hold)
    _xdotool("keyup", keysym)


def close_window(wid):
    """Asks the window to close as a window manager would (WM_DELETE_WINDOW). It needs no focus: Wine
    posts the close to the window's own thread (the engine ignores Alt+F4: system keys have no
    default handling)."""
    import ctypes
    x = ctypes.cdll.LoadLibrary("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x.XFlush.argtypes = x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    d = x.XOpenDisplay(None)
    # An XClientMessageEvent as the 24 longs of an XEvent (x86_64): type 33, serial, send_event,
    # display, window, message_type, format 32, then l[0] = WM_DELETE_WINDOW and l[1] = 0 (CurrentTime).
    ev = (ctypes.c_long * 24)(33, 0, 0, 0, int(wid), x.XInternAtom(d, b"WM_PROTOCOLS", 0), 32,
                              x.XInternAtom(d, b"WM_DELETE_WINDOW", 0))
    x.XSendEvent(d, int(wid), 0, 0, ctypes.byref(ev))
    x.XFlush(d)
    x.XCloseDisplay(d)


def answer_box(caption, answer, timeout=20.0):
    """Answers the message box with this caption: 'yes' (Return), 'no' (n), 'ok' (Return).
    Returns True when a box was found and answered."""
    wid = wait_window(caption, timeout)
    if wid is None:
        return False
    keysym = "n" if answer == "no" else "Return"
    focus(wid)
    _xdotool("key", "--window", wid, keysym)
    time.sleep(0.2)
    if find_windows(caption):          # a second try: focus can race the box's creation
        focus(wid)
        _xdotool("key", keysym)
    # The display can be left holding the key when the box goes between its press and release;
    # its auto-repeat would then answer the next box that takes the focus.
    _xdotool("keyup", keysym)
    return True


def screenshot(path):
    """The whole virtual display as PNG."""
    subprocess.run(["import", "-window", "root", path], check=True, capture_output=True)
    return path


class App:
    """A Windows program run through Wine, with a time limit."""
    proc = started = None

    def __init__(self, exe, args=(), cwd=None, env=None):
        self.exe = exe
        self.args = list(args)
        self.cwd = cwd or os.path.dirname(exe)
        self.env = dict(os.environ, **(env or {}))

    def start(self):
        self.proc = subprocess.Popen(["wine", self.exe, *self.args], cwd=self.cwd, env=self.env,
                                     stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT)
        self.started = time.time()
        return self

    def running(self):
        return self.proc is not None and self.proc.poll() is None

    def wait(self, timeout=30.0):
        """The exit code; kills the program and raises TimeoutError when it does not end in time."""
        try:
            self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise TimeoutError("%s did not end within %.0f s" % (os.path.basename(self.exe), timeout))
        return self.proc.returncode

    def kill(self):
        if self.running():
            self.proc.kill()
            self.proc.wait()


def read_log(path):
    """An HTML log written by the engine (Shift-JIS) as text."""
    return open(path, "rb").read().decode("cp932")


class Recorder:
    """Records what is played on the null sink. Start it before the sound: the first ~2 s of a
    recording can be lost while the stream starts. It takes 50 ms fragments: with parecord's
    default (about 2 s) the file grows in 2 s steps, stretches of time drop out when another stream
    starts, and what the server still holds at the stop is lost."""
    proc = None

    def __init__(self, path):
        self.path = path

    def start(self, lead=2.0):
        if os.path.exists(self.path):
            os.remove(self.path)   # an older recording's size would end the wait below at once
        self.proc = subprocess.Popen(["parecord", "--device=nullsink.monitor", "--file-format=wav",
                                      "--channels=2", "--rate=44100", self.path],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     env=dict(os.environ, PULSE_LATENCY_MSEC="50"))
        # The stream takes about a second to start, longer on a loaded machine: wait (up to 15 s)
        # until lead seconds of silence are in the file, so nothing played after start() is lost
        # and a recording starts quiet.
        end = time.time() + 15
        while time.time() < end and (not os.path.exists(self.path) or os.path.getsize(self.path) < 44 + lead * 176400):
            time.sleep(0.05)
        return self

    def stop(self, tail=0.3):
        if self.proc:
            time.sleep(tail)   # the last fragments reach the file
            self.proc.terminate()
            self.proc.wait(5)
            self.proc = None
        return self.path


# A small assertion helper for script tests: counts checks and prints the plain closing line.
class Checks:
    def __init__(self, name):
        self.name, self.passed, self.failed = name, 0, 0

    def check(self, cond, what):
        self.passed, self.failed = self.passed + bool(cond), self.failed + (not cond)
        print("%s %s" % ("ok  " if cond else "FAIL", what))
        return cond

    def equal(self, got, want, what):
        return self.check(got == want, "%s (got %r, want %r)" % (what, got, want))

    def finish(self):
        print("%s: %d passed, %d failed" % (self.name, self.passed, self.failed))
        raise SystemExit(1 if self.failed else 0)
