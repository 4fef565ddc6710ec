"""The harness itself: boxes answered by caption, Japanese titles, keys, screenshots, exit codes and
recorded sound, on a small probe program."""
import os
import vornharness as h

probe = os.path.join(h.BUILD, "tests", "vorn_probe.exe")
c = h.Checks("harness")

# A message box is answered by its (Shift-JIS) caption; Yes is 6, No is 7.
for answer, code in (("no", 7), ("yes", 6)):
    with h.App(probe, ["box"]) as app:
        c.check(h.answer_box("起動オプション", answer), "box found by its caption (%s)" % answer)
        c.equal(app.wait(20), code, "exit code after answering %s" % answer)

# A window titled in Japanese is found by that title; a typed key ends it with the key's code.
with h.App(probe, ["window"]) as app:
    wid = h.wait_window("トルメア")
    c.check(wid is not None, "window found by its Japanese title")
    c.equal(h.window_title(wid), "トルメア", "title reads back")
    c.equal(h.window_size(wid), (320, 240), "client size")
    shot = h.screenshot(os.path.join(h.OUT, "harness-window.png"))
    c.check(os.path.getsize(shot) > 0, "screenshot written")
    h.key(wid, "Escape")
    c.equal(app.wait(20), 0x1B, "exit code is the key typed (VK_ESCAPE)")

# Closing the window (Alt+F4, as a user would) ends it through WM_CLOSE.
with h.App(probe, ["window"]) as app:
    wid = h.wait_window("トルメア")
    h.focus(wid)
    h.key(wid, "alt+F4")
    c.equal(app.wait(20), 100, "Alt+F4 closes the window")

# A tone is heard on the null sink at its frequency.
rec = h.Recorder(os.path.join(h.OUT, "harness-tone.wav")).start()
with h.App(probe, ["tone"]) as app:
    c.equal(app.wait(30), 0, "tone played")
rec.stop()
stats = h.measure(rec.path)
c.check(stats.get("max", 0) > 0.3, "tone heard (max amplitude %.3f)" % stats.get("max", 0))
quiet = h.measure(rec.path, 0, 1.0)
c.check(quiet.get("max", 1) < 0.01, "silence before the tone (max %.4f)" % quiet.get("max", 1))
c.finish()
