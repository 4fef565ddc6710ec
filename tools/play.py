"""Runs the game under Wine inside the root (see tools/play.sh)."""
import argparse
import glob
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "harness"))
import vornharness as h  # noqa: E402

ap = argparse.ArgumentParser()
ap.add_argument("--build", required=True)
ap.add_argument("--out")
ap.add_argument("--interactive", action="store_true")
ap.add_argument("--seconds", type=float, default=float(os.environ.get("VORN_PLAY_SECONDS", "20")))
a = ap.parse_args()

# The game keeps Mesa's shader cache, as on a player's machine; only the tests run without one.
os.environ["MESA_SHADER_CACHE_DISABLE"] = "false"

exe = os.path.join(a.build, "bin", "Tormea.exe")
if not os.path.exists(exe):
    sys.exit("[vorn] FAILED: %s was not built" % exe)

if a.interactive:
    app = h.App(exe).start()
    code = app.proc.wait()
    print("[vorn] the game ended with exit code %d" % code)
    sys.exit(0)

app = h.App(exe).start()
# Windowed: answer No to the full-screen question.
h.answer_box("起動オプション", "no", timeout=20)
wid = h.wait_window("トルメア", timeout=20, exact=False)
if wid is None:
    app.kill()
    sys.exit("[vorn] FAILED: the game's window did not open")
end = time.time() + a.seconds
n = 0
while time.time() < end and app.running():
    time.sleep(min(5.0, max(0.0, end - time.time())))
    if not app.running():
        break
    n += 1
    shot = h.screenshot(os.path.join(a.out, "frame-%02d.png" % n))
    print("[vorn] %4.0fs  %s  (%s)" % (time.time() - app.started, shot, h.window_title(wid)))
if app.running():
    h.key(wid, "Escape")
try:
    code = app.wait(20)
except TimeoutError as e:
    sys.exit("[vorn] FAILED: %s" % e)
for log in glob.glob(os.path.join(os.path.dirname(exe), "*.html")):
    shutil.copy(log, a.out)
print("[vorn] the game ended with exit code %d; screenshots and log in %s" % (code, a.out))
sys.exit(0 if code == 0 else 1)
