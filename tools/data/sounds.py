"""Sound effects synthesised with sox, voices spoken by espeak-ng from kana and shaped with sox, and
the two background tunes (melody, bass, drums) encoded by lame. sox -R keeps every build the same."""
import os
import subprocess
import tempfile
from concurrent.futures import ThreadPoolExecutor

RATE = 22050
PCM = ["-r", str(RATE), "-c", "1", "-b", "16", "-e", "signed-integer"]
# Headroom of the mix: every sound, voice and jingle is made at its level and then this much
# quieter, the tunes likewise, so that the music and several sounds at once stay below full scale.
SOUND_HEADROOM = ["gain", "-12"]
MUSIC_HEADROOM = ["gain", "-10"]


def run(*args):
    subprocess.run([str(a) for a in args], check=True, stdout=subprocess.DEVNULL)


def sox(out, *chain):
    run("sox", "-V1", "-R", "-n", *PCM, out, *chain, *SOUND_HEADROOM)


# name: sox chain from silence (effects shorter than 1.5 s)
EFFECTS = {
    "explos1": ["synth", "0.9", "brownnoise", "synth", "0.9", "sine", "amod", "70:30", "lowpass", "900",
                "fade", "0", "0.9", "0.75", "gain", "8", "norm", "-1"],
    "explos2": ["synth", "1.3", "pinknoise", "lowpass", "1400", "tremolo", "9", "60", "fade", "0", "1.3", "1.1",
                "norm", "-1"],
    "jump": ["synth", "0.25", "sine", "280:900", "fade", "0", "0.25", "0.15", "norm", "-3"],
    "kurai": ["synth", "0.3", "square", "220:70", "synth", "0.3", "whitenoise", "amod", "lowpass", "2000",
              "fade", "0", "0.3", "0.2", "norm", "-2"],
    "shot1": ["synth", "0.3", "sine", "1500:300", "fade", "0", "0.3", "0.25", "norm", "-2"],
    "shot2": ["synth", "0.5", "sawtooth", "500:1600", "tremolo", "30", "50", "lowpass", "3000",
              "fade", "0", "0.5", "0.3", "norm", "-3"],
    "walk": ["synth", "0.12", "brownnoise", "lowpass", "500", "fade", "0", "0.12", "0.1", "norm", "-6"],
    "ene_attack": ["synth", "0.5", "sawtooth", "160:80", "synth", "0.5", "sine", "amod", "25", "overdrive", "10",
                   "lowpass", "1500", "fade", "0.02", "0.5", "0.2", "norm", "-2"],
    "ene_bul": ["synth", "0.25", "square", "900:350", "lowpass", "2500", "fade", "0", "0.25", "0.2", "norm", "-4"],
    "boss_rakka": ["synth", "1.3", "brownnoise", "synth", "1.3", "sine", "mix", "50", "lowpass", "300",
                   "fade", "0", "1.3", "1.1", "gain", "6", "norm", "-1"],
    # one thud a loop, silent at both ends so that it repeats without a click
    "boss_step": ["synth", "0.6", "sine", "70:40", "fade", "q", "0.005", "0.6", "0.45", "norm", "-2"],
    "boss_swing": ["synth", "0.6", "pinknoise", "bandpass", "500", "300", "fade", "h", "0.25", "0.6", "0.3",
                   "gain", "10", "norm", "-2"],
    "boss_bul": ["synth", "0.4", "sawtooth", "300:100", "synth", "0.4", "sine", "amod", "40", "lowpass", "2000",
                 "fade", "0", "0.4", "0.3", "norm", "-3"],
}

# name: (kana, espeak pitch 0-99, speed, sox pitch shift in cents)
HERO = (75, 175, 250)
VOICES = {
    "v_attack1": "はっ", "v_attack2": "せいっ", "v_attack3": "やあっ", "v_attack4": "とうっ", "v_attack5": "えいっ",
    "v_damage1": "うっ", "v_damage2": "ぐあっ", "v_damage3": "うわあ",
    "v_huzen": "まだまだ", "v_jattack1": "てやあ", "v_jattack2": "そりゃ", "v_jump": "ほっ",
    "v_rakka1": "うわああ", "v_rakka2": "おちるう", "v_shot1": "いけっ", "v_shot2": "くらえ", "v_shot3": "とどけ",
    "v_start": "いくぞ", "v_end": "むねん",
}

NOTE = {n: i for i, n in enumerate(["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"])}


def freq(note):
    """'A4' -> Hz."""
    name, octave = note[:-1], int(note[-1])
    return 440.0 * 2 ** ((NOTE[name] + 12 * (octave + 1) - 69) / 12.0)


def voice(tmp, out, name, kana):
    raw = os.path.join(tmp, name + "_raw.wav")
    pitch, speed, shift = HERO
    run("espeak-ng", "-v", "ja", "-p", pitch, "-s", speed, "-a", 180, "-w", raw, kana)
    run("sox", "-V1", "-R", raw, *PCM, out, "silence", "1", "0.01", "0.5%", "reverse", "silence", "1", "0.01", "0.5%",
        "reverse", "pitch", shift, "overdrive", "3", "dcshift", "0", "highpass", "60", "trim", "0", "1.35",
        "reverse", "fade", "0.04", "reverse", "norm", "-1", *SOUND_HEADROOM)


def melody_chain(notes, beat, wave, extra=()):
    """notes: [(note or None, beats)] -> sox effect chains joined by ':'."""
    chain = []
    for note, beats in notes:
        d = "%.4f" % (beats * beat)
        if note is None:
            chain += ["synth", d, "sine", "100", "vol", "0", ":"]
        else:
            chain += ["synth", d, wave, "%.3f" % freq(note), *extra, "fade", "0.005", d, "%.4f" % min(beats * beat * 0.6, 0.2),
                      ":"]
    return chain[:-1]


def drum_chain(pattern, beat, bars):
    """pattern: 8 steps a bar of 'k' kick, 's' snare, 'h' hat, '.' rest."""
    d = "%.4f" % (beat / 2)
    chain = []
    for _ in range(bars):
        for step in pattern:
            if step == "k":
                chain += ["synth", d, "sine", "120:40", "fade", "0", d, d, "gain", "4", ":"]
            elif step == "s":
                chain += ["synth", d, "whitenoise", "lowpass", "4000", "fade", "0", d, d, "vol", "0.7", ":"]
            elif step == "h":
                chain += ["synth", d, "whitenoise", "highpass", "7000", "fade", "0", "0.04", "0.04", "vol", "0.3", ":"]
            else:
                chain += ["synth", d, "sine", "100", "vol", "0", ":"]
    return chain[:-1]


def tune(tmp, out, name, bpm, melody, bass, drums, bars):
    beat = 60.0 / bpm
    parts = []
    for part, chain, gain in (("mel", melody_chain(melody, beat, "square", ("lowpass", "3500")), "-9"),
                              ("bass", melody_chain(bass, beat, "sawtooth", ("lowpass", "700")), "-8"),
                              ("drum", drum_chain(drums, beat, bars), "-6")):
        p = os.path.join(tmp, "%s_%s.wav" % (name, part))
        run("sox", "-V1", "-R", "-n", "-r", "44100", "-c", "1", "-b", "16", p, *chain, "gain", gain)
        parts.append(p)
    mix = os.path.join(tmp, name + "_mix.wav")
    run("sox", "-V1", "-R", "-m", *parts, "-c", "2", mix, "remix", "1", "1", "reverb", "20", "norm", "-2",
        *MUSIC_HEADROOM, "trim", "0", "%.4f" % (bars * 4 * beat))
    run("lame", "--quiet", "-m", "j", "-b", "128", "--resample", "44.1", "--noreplaygain", mix, out)


def scale(pattern):
    """'A4 C5 E5 ...' with '-' for rests; every note an eighth."""
    return [(None if n == "-" else n, 0.5) for n in pattern.split()]


def bgm1():
    # A minor, 140 bpm, 20 bars (34 s): Am F G Em repeated; the last bar leads back to the first
    prog = [("A2", "A3"), ("F2", "F3"), ("G2", "G3"), ("E2", "E3")]
    bass = []
    for bar in range(20):
        lo, hi = prog[bar % 4]
        bass += [(lo, 0.5), (lo, 0.5), (hi, 0.5), (lo, 0.5), (lo, 0.5), (hi, 0.5), (lo, 0.5), (hi, 0.5)]
    phrase_a = "A4 C5 E5 A5 G5 E5 D5 E5  F5 E5 C5 A4 C5 D5 C5 A4  G4 B4 D5 G5 F5 D5 B4 D5  E5 - B4 E5 G#5 - E5 -"
    phrase_b = "C6 B5 A5 E5 A5 B5 C6 E6  D6 C6 A5 F5 A5 C6 A5 F5  G5 F5 D5 B4 D5 F5 G5 B5  G#5 E5 B4 E5 G#5 B5 E6 -"
    mel = scale(phrase_a) * 2 + scale(phrase_b) + scale(phrase_a) + scale(phrase_b)
    return 140, mel, bass, "k.h.sh.hk.kh.sh.h", 20


def bgm2():
    # D minor, 168 bpm, 24 bars (34 s), driving: Dm Bb C A
    prog = [("D2", "D3"), ("A#1", "A#2"), ("C2", "C3"), ("A1", "A2")]
    bass = []
    for bar in range(24):
        lo, hi = prog[bar % 4]
        bass += [(lo, 0.5), (hi, 0.5)] * 4
    a = "D5 F5 A5 D6 C6 A5 F5 A5  A#5 A5 F5 D5 F5 A5 A#5 D6  C6 A#5 G5 E5 G5 A#5 C6 E6  C#6 A5 E5 C#5 E5 A5 C#6 E6"
    b = "D6 - D6 C6 A5 - F5 A5  A#5 - A#5 A5 F5 - D5 F5  C6 - C6 A#5 G5 - E5 G5  A5 G5 F5 E5 C#5 E5 A5 C#6"
    mel = scale(a) * 2 + scale(b) + scale(a) + scale(b) * 2
    return 168, mel, bass, "khkhskhkkhkhskhs", 24


def jingles(tmp, out):
    op1 = os.path.join(out, "op1.wav")
    sox(op1, "synth", "0.5", "square", "880:1760", "synth", "0.5", "sine", "amod", "12", "lowpass", "4000",
        "fade", "0", "0.5", "0.3", "norm", "-3")
    # op2: the title called out over a rising chord (2 s)
    chord = os.path.join(tmp, "op2_chord.wav")
    sox(chord, "synth", "2.0", "sawtooth", "220", "sawtooth", "277.2", "sawtooth", "329.6", "lowpass", "2500",
        "fade", "0.05", "2.0", "0.8", "norm", "-8")
    call = os.path.join(tmp, "op2_call.wav")
    run("espeak-ng", "-v", "ja", "-p", 40, "-s", 120, "-a", 200, "-w", call, "トルメア")
    call2 = os.path.join(tmp, "op2_call2.wav")
    run("sox", "-V1", "-R", call, *PCM, call2, "silence", "1", "0.01", "0.5%", "pitch", "-200", "reverb", "40", "pad", "0.2",
        "trim", "0", "2.0", "norm", "-1")
    run("sox", "-V1", "-R", "-m", chord, call2, *PCM, os.path.join(out, "op2.wav"), "trim", "0", "2.0", "norm", "-1",
        *SOUND_HEADROOM)
    # v_clear: a fanfare (3 s) and the hero's cheer over its end
    fan = os.path.join(tmp, "fanfare.wav")
    notes = [("C5", 0.18), ("C5", 0.18), ("C5", 0.18), ("C5", 0.5), ("G#4", 0.5), ("A#4", 0.5), ("C5", 0.3),
             ("A#4", 0.15), ("C5", 0.49)]
    chain = []
    for n, d in notes:
        chain += ["synth", "%.3f" % d, "square", "%.3f" % freq(n), "square", "%.3f" % (freq(n) * 1.5),
                  "fade", "0.005", "%.3f" % d, "%.3f" % (d * 0.3), ":"]
    sox(fan, *chain[:-1], "lowpass", "4000", "norm", "-6")
    cheer = os.path.join(tmp, "cheer.wav")
    voice(tmp, cheer, "cheer", "やったあ")
    cheer2 = os.path.join(tmp, "cheer2.wav")
    run("sox", "-V1", cheer, cheer2, "pad", "1.9")
    run("sox", "-V1", "-R", "-m", fan, cheer2, *PCM, os.path.join(out, "v_clear.wav"), "pad", "0", "1", "trim", "0", "3.0",
        "fade", "0", "3.0", "0.3", "norm", "-1", *SOUND_HEADROOM)


def build(out):
    with tempfile.TemporaryDirectory() as tmp, ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        jobs = [pool.submit(sox, os.path.join(out, n + ".wav"), *chain) for n, chain in EFFECTS.items()]
        jobs += [pool.submit(voice, tmp, os.path.join(out, n + ".wav"), n, kana) for n, kana in VOICES.items()]
        jobs += [pool.submit(tune, tmp, os.path.join(out, "bgm1.mp3"), "bgm1", *bgm1()),
                 pool.submit(tune, tmp, os.path.join(out, "bgm2.mp3"), "bgm2", *bgm2()),
                 pool.submit(jingles, tmp, out)]
        for j in jobs:
            j.result()


if __name__ == "__main__":
    import sys
    build(sys.argv[1])
