"""Writes every file of the game's pack into one folder (emptied first): textures, models, effects,
sounds and music. Usage: make_data.py OUTDIR"""
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import models    # noqa: E402
import sounds    # noqa: E402
import textures  # noqa: E402

FX = ["field.fx", "etc.fx", "MyChara.fx", "ball.fx", "torus.fx"]


def main(out):
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(os.path.join(out, "Data"))
    here = os.path.dirname(os.path.abspath(__file__))
    for name in FX:   # the game names its effects Data\name.fx
        shutil.copyfile(os.path.join(here, "fx", name), os.path.join(out, "Data", name))
    models.build(out)
    textures.build(out)
    sounds.build(out)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make_data.py OUTDIR")
    main(sys.argv[1])
