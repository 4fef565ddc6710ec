"""Stretches of sound in a recording of the null sink, and audio_tests' cases recorded from it."""
import os
import struct
import wave
import vornharness as h


def pieces(path, step=0.05, floor=0.003, gap=0.3, channel=None):
    """(start s, length s, left rms, right rms) of each stretch of sound in a 16-bit stereo WAV; the
    rms is the median of its 50 ms steps. Dropouts shorter than gap (a loaded machine) do not split.
    With a channel (0 left, 1 right) only that channel's sound counts."""
    w, n, out = wave.open(path), int(44100 * step), []
    for i in range(w.getnframes() // n):
        s = struct.unpack("<%dh" % (2 * n), w.readframes(n))
        rms = [(sum(v * v for v in s[ch::2]) / n) ** 0.5 / 32768 for ch in (0, 1)]
        if (max(rms) if channel is None else rms[channel]) > floor:
            if not out or i * step - out[-1][1] > gap:
                out.append([i * step, 0, [], []])
            out[-1][1:] = [(i + 1) * step, out[-1][2] + [rms[0]], out[-1][3] + [rms[1]]]
    return [(a, e - a, sorted(ls)[len(ls) // 2], sorted(rs)[len(rs) // 2]) for a, e, ls, rs in out]


def record_case(case, wav, timeout):
    """Runs audio_tests' case (a DISABLED_ one) while recording the null sink into wav: (exit code,
    the case's output, the recording's path)."""
    rec = h.Recorder(os.path.join(h.OUT, wav)).start()
    app = h.App(os.path.join(h.BUILD, "tests", "audio_tests.exe"),
                ["--gtest_also_run_disabled_tests", "--gtest_filter=AudioTest." + case], cwd=h.OUT).start()
    try:
        code = app.wait(timeout)
    finally:
        rec.stop()
    return code, app.proc.stdout.read().decode("utf-8", "replace"), rec.path


def heard(path, **options):
    """pieces(), printed."""
    found = pieces(path, **options)
    print("pieces (start, length, left rms, right rms): %r" % [tuple(round(v, 3) for v in p) for p in found])
    return found
