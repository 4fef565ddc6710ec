"""The keyboard through the real DirectInput 8 device under Wine: keys typed into the focused
window reach the virtual pad (trigger, hold, repeat, release) and the key buffer, and the start and
shutdown of the input class are logged."""
import os
import queue
import threading
import time
import vornharness as h

probe = os.path.join(h.BUILD, "tests", "input_tests.exe")
c = h.Checks("input.keyboard")


def wait_line(lines, seen, want, timeout=10.0, count=1):
    """Collects the probe's lines into seen until want has come count times; True when it did."""
    end = time.time() + timeout
    while seen.count(want) < count and time.time() < end:
        try:
            line = lines.get(timeout=max(0.05, end - time.time()))
        except queue.Empty:
            break
        if line is None:
            break
        seen.append(line)
    return seen.count(want) >= count


def run(case):
    """Starts input_tests' disabled case Keyboard.DISABLED_<case> and focuses its window."""
    app = h.App(probe, ["--gtest_also_run_disabled_tests", "--gtest_filter=Keyboard.DISABLED_" + case], cwd=h.OUT).start()
    lines = queue.Queue()

    def pump():
        for raw in app.proc.stdout:
            lines.put(raw.decode("utf-8", "replace").strip())
        lines.put(None)
    threading.Thread(target=pump, daemon=True).start()
    seen = []
    c.check(wait_line(lines, seen, "READY 0", 30), "%s: the probe started" % case)
    wid = h.wait_window("Vorn.Keyboard.DISABLED_" + case, 20)
    c.check(wid is not None, "%s: window found" % case)
    if wid:
        h.focus(wid)
        time.sleep(0.5)
    return app, lines, seen, wid


# ---- Per frame: a key held for about a second, then short presses ----
log_base = os.path.join(h.OUT, "input_keyboard")
app, lines, seen, wid = run("Frames")
if wid:
    # Z: button 4, held until it has repeated past the delay (30 frames), however slow the frames.
    h.focus(wid)
    h._xdotool("keydown", "z")
    c.check(wait_line(lines, seen, "REPEAT 4", 15, count=3), "Z held repeats after the delay")
    h._xdotool("keyup", "z")
    c.check(wait_line(lines, seen, "RELEASE 4"), "Z released reaches the pad")
    h.key(wid, "Up", 0.3)
    c.check(wait_line(lines, seen, "RELEASE 0"), "Up released reaches the pad")
    h.key(wid, "x", 0.3)
    c.check(wait_line(lines, seen, "RELEASE 5"), "X released reaches the pad")
    h.key(wid, "Escape", 0.3)
    c.check(wait_line(lines, seen, "ESCAPE 1"), "Escape read with IsKeyDown")
c.equal(app.wait(20), 0, "the probe ended")   # a probe that does not end is killed and fails the run
z = [l for l in seen if l.endswith(" 4") and not l.startswith("KEY")]
print("Z events:", z)
c.check(z[:3] in (["TRIGGER 4", "REPEAT 4", "HOLD 4"], ["TRIGGER 4", "HOLD 4", "REPEAT 4"]),
        "Z: trigger first, then hold and repeat on the next frame")
c.check(z.count("TRIGGER 4") == 1 and z.count("RELEASE 4") == 1, "Z: one trigger and one release")
c.check(seen.index("TRIGGER 0") < seen.index("RELEASE 0") if "TRIGGER 0" in seen else False, "Up: trigger then release")
c.check("KEY 44" in seen and "KEY 200" in seen and "KEY 45" in seen, "key buffer gives the DIK codes of Z, Up and X")
c.check(all(l == "KEYEND 0" for l in seen if l.startswith("KEYEND")), "after the last event the key buffer writes 0")
log = h.read_log(log_base + ".html") if os.path.exists(log_base + ".html") else ""
for text in ("VornInputクラスの初期化", "　ジョイスティック用メモリを確保", "キー キーボード",
             "　　使用可能な最大ジョイスティック数 [", "VornInputクラスの解放", "キーボード用デバイスの解放",
             "DirectInputオブジェクトの解放"):
    c.check(text in log, "log holds %r" % text)

# ---- Several keys in one buffer read: presses after a release are not lost ----
app, lines, seen, wid = run("Burst")
if wid:
    h.key(wid, "space", 0.1)
    if c.check(wait_line(lines, seen, "PAUSE 0"), "burst: the first key was read"):
        h.focus(wid)
        h._xdotool("key", "--delay", "60", "z", "x", "Left")
        first = len(seen)
        wait_line(lines, seen, "KEYEND 0", 5, count=seen.count("KEYEND 0") + 1)
        burst = seen[first:]
        print("burst:", burst)
        c.equal([l for l in burst if l.startswith("KEY")], ["KEY 44", "KEY 45", "KEY 203", "KEYEND 0"],
                "three presses and their releases in one read give the three codes, then 0")
    h.key(wid, "Escape", 0.3)
    wait_line(lines, seen, "ESCAPE 1")
c.equal(app.wait(20), 0, "the probe ended")   # a probe that does not end is killed and fails the run
c.finish()
