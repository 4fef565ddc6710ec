#!/usr/bin/env bash
# Makes the Wine prefix inside the root (run through run-in-root.sh).
set -eu
wineboot -i >/dev/null 2>&1
# Japanese faces that the engine asks for, served by the IPA Gothic font of the root.
for face in "ＭＳ ゴシック" "ＭＳ Ｐゴシック" "MS Gothic" "MS PGothic" "MS UI Gothic" "ＭＳ 明朝" "MS Mincho"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ /d "IPAGothic" /f >/dev/null 2>&1
done
wineserver -w
