"""The game's pictures, drawn with ImageMagick: colour-keyed 2D sheets (pure green is transparent,
on/off alpha), the models' textures and the enemies' DDS skins."""
import os
import subprocess
import tempfile

from models import PALETTES

FONT = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"
KEY = "#00FF00"


def magick(*args):
    subprocess.run(["magick"] + [str(a) for a in args], check=True)


def keyed(src, out):
    """Alpha thresholded to on/off, then flattened onto the key colour; a 24-bit BMP."""
    magick(src, "-channel", "A", "-threshold", "50%", "+channel", "-background", KEY, "-flatten", "-alpha", "off",
           "-type", "truecolor", "BMP3:" + out)


def plain(src, out):
    magick(src, "-alpha", "off", "-type", "truecolor", "BMP3:" + out)


def text(size, colour, stroke, s, extra=()):
    return ["-font", FONT, "-pointsize", size, "-fill", colour, "-stroke", stroke, "-strokewidth", 3, *extra,
            "-annotate", "+0+0", s]


def title(tmp, out):
    t = os.path.join(tmp, "title.png")
    band = os.path.join(tmp, "band.png")
    # the logo band: night-blue gradient, gold frame and a sword down its length
    magick("-size", "160x448", "gradient:#1a2a6c-#6a1b4d", "-fill", "none", "-stroke", "#e8c050", "-strokewidth", 6,
           "-draw", "rectangle 5,5 154,442", "-stroke", "#e8c050", "-strokewidth", 2, "-draw", "rectangle 14,14 145,433",
           "-stroke", "#202020", "-strokewidth", 2, "-fill", "#d8e0f0",
           "-draw", "polygon 80,40 94,70 94,330 80,350 66,330 66,70",
           "-fill", "#c89030", "-draw", "rectangle 36,330 124,346", "-fill", "#703818", "-draw", "rectangle 72,346 88,400",
           "-fill", "#e8c050", "-draw", "circle 80,410 80,420", band)
    sub = os.path.join(tmp, "sub.png")
    magick("-size", "96x288", "gradient:#b01818-#401010", "-fill", "none", "-stroke", "#f0d070", "-strokewidth", 4,
           "-draw", "rectangle 3,3 92,284", "-stroke", "none", "-fill", "#f8f0c0",
           *sum((["-draw", "polygon 48,%d 60,%d 48,%d 36,%d" % (y, y + 16, y + 32, y + 16)] for y in range(24, 260, 48)), []),
           sub)
    logo = os.path.join(tmp, "logo.png")
    magick("-size", "256x128", "xc:none", "-gravity", "center",
           *text(58, "#ffd860", "#5a1000", "トルメア", ("-strokewidth", 6)), "-stroke", "none",
           "-fill", "#fff4c0", "-annotate", "+0+0", "トルメア", logo)
    subtitle = os.path.join(tmp, "subtitle.png")
    magick("-size", "256x128", "xc:none", "-gravity", "center",
           "-font", FONT, "-pointsize", 34, "-fill", "#ffffff", "-stroke", "#102060", "-strokewidth", 2,
           "-annotate", "+0-22", "TORMEA", "-pointsize", 26,
           "-stroke", "#102060", "-annotate", "+0+26", "～ 駆逐の剣 ～", "-stroke", "none", "-annotate", "+0+26", "～ 駆逐の剣 ～",
           subtitle)
    glow = os.path.join(tmp, "glow.png")
    dots = " ".join("circle %d,%d %d,%d" % (x, y, x + r, y) for x, y, r in
                    ((20, 10, 3), (70, 40, 2), (120, 14, 2), (170, 52, 3), (230, 20, 2), (290, 44, 3), (330, 8, 2),
                     (45, 56, 2), (150, 30, 2), (260, 58, 2), (310, 26, 2), (95, 22, 2)))
    magick("-size", "352x64", "xc:none", "-fill", "#fff8d0", "-draw", dots, "-fill", "#ffe080",
           "-draw", "rectangle 0,62 351,63", glow)
    magick("-size", "512x512", "xc:none", band, "-geometry", "+0+0", "-composite", sub, "-geometry", "+160+0",
           "-composite", logo, "-geometry", "+256+0", "-composite", subtitle, "-geometry", "+256+128", "-composite",
           glow, "-geometry", "+0+448", "-composite", t)
    keyed(t, out)


def system(tmp, out):
    s = os.path.join(tmp, "system.png")
    args = ["-size", "512x512", "xc:none"]
    for i, ch in enumerate("GAMEOVER"):
        g = os.path.join(tmp, "g%d.png" % i)
        magick("-background", "none", "-font", FONT, "-pointsize", 120, "-fill", "#e02020", "-stroke", "#400000",
               "-strokewidth", 4, "label:" + ch, "-trim", "+repage", "-resize", "64x116>", g)
        args += [g, "-geometry", "+%d+%d" % ((i % 4) * 128 + 2, (i // 4) * 128 + 6), "-composite"]
    banner = os.path.join(tmp, "banner.png")
    magick("-size", "512x128", "xc:none", "-fill", "#801010", "-draw", "rectangle 0,24 511,104",
           "-fill", "#f0c040", "-draw", "rectangle 0,24 511,30", "-draw", "rectangle 0,98 511,104",
           "-fill", "#ffffff", "-draw", "circle 60,64 60,98", "-fill", "#ffffff", "-draw", "rectangle 30,34 90,94",
           "-gravity", "center", "-font", FONT, "-pointsize", 54, "-fill", "#fff0c0", "-stroke", "#301000",
           "-strokewidth", 3, "-annotate", "+40+0", "MISSION START", banner)
    box = os.path.join(tmp, "box.png")
    magick("-size", "256x64", "xc:none", "-fill", "#102050", "-stroke", "#e0e8ff", "-strokewidth", 4,
           "-draw", "roundrectangle 3,3 252,60 10,10", box)
    args += [banner, "-geometry", "+0+256", "-composite", box, "-geometry", "+0+384", "-composite", s]
    magick(*args)
    keyed(s, out)


def faces(tmp, out):
    c = os.path.join(tmp, "chara.png")
    args = ["-size", "256x256", "xc:none"]
    # healthy, hurt, badly hurt, knocked down
    for i, (ox, oy) in enumerate(((0, 0), (128, 0), (0, 128), (128, 128))):
        skin = ("#f8d0b0", "#f0c0a0", "#e0a890", "#c89888")[i]
        d = ["-fill", "#603018", "-stroke", "#281008", "-strokewidth", 2, "-draw", "ellipse %d,%d 52,50 180,360" % (ox + 64, oy + 56),
             "-fill", skin, "-draw", "ellipse %d,%d 42,46 0,360" % (ox + 64, oy + 70),
             "-fill", "#603018", "-draw", "polygon %d,%d %d,%d %d,%d %d,%d" % (ox + 22, oy + 50, ox + 106, oy + 50, ox + 96, oy + 34, ox + 32, oy + 34)]
        if i < 2:
            d += ["-fill", "#202040", "-draw", "ellipse %d,%d 6,9 0,360" % (ox + 48, oy + 70),
                  "-draw", "ellipse %d,%d 6,9 0,360" % (ox + 80, oy + 70)]
        else:
            for ex in (48, 80):
                d += ["-stroke", "#202040", "-strokewidth", 4, "-draw",
                      "line %d,%d %d,%d" % (ox + ex - 7, oy + 63, ox + ex + 7, oy + 77),
                      "-draw", "line %d,%d %d,%d" % (ox + ex + 7, oy + 63, ox + ex - 7, oy + 77)]
        mouth = ("arc %d,%d %d,%d 20,160", "line %d,%d %d,%d", "arc %d,%d %d,%d 200,340", "ellipse %d,%d 8,10 0,360")[i]
        if i == 3:
            d += ["-stroke", "#401010", "-strokewidth", 3, "-fill", "#401010", "-draw", mouth % (ox + 64, oy + 96)]
        else:
            d += ["-stroke", "#401010", "-strokewidth", 3, "-fill", "none", "-draw", mouth % (ox + 52, oy + 88, ox + 76, oy + 100)]
        if i >= 1:
            d += ["-stroke", "none", "-fill", "#f8f8f0", "-draw", "rectangle %d,%d %d,%d" % (ox + 88, oy + 40, ox + 106, oy + 52)]
        if i >= 2:
            d += ["-stroke", "#c01010", "-strokewidth", 3, "-draw", "line %d,%d %d,%d" % (ox + 30, oy + 80, ox + 40, oy + 96)]
        args += d
    magick(*args, c)
    keyed(c, out)


def clear(tmp, out):
    c = os.path.join(tmp, "clear.png")
    rays = " ".join("polygon 256,240 %d,%d %d,%d" % (256 + 700 * __import__("math").cos(a / 12.0 * 6.2832),
                                                    240 + 700 * __import__("math").sin(a / 12.0 * 6.2832),
                                                    256 + 700 * __import__("math").cos((a + 0.5) / 12.0 * 6.2832),
                                                    240 + 700 * __import__("math").sin((a + 0.5) / 12.0 * 6.2832))
                    for a in range(12))
    magick("-size", "512x512", "gradient:#ffb040-#802080", "-fill", "#ffe08080", "-draw", rays,
           "-gravity", "center", "-font", FONT, "-pointsize", 96, "-fill", "#ffffff", "-stroke", "#802000",
           "-strokewidth", 6, "-annotate", "+0-70", "クリア！", "-pointsize", 40, "-strokewidth", 3,
           "-annotate", "+0+40", "STAGE CLEAR", "-pointsize", 26, "-fill", "#fff0a0", "-strokewidth", 2,
           "-annotate", "+0+100", "CONGRATULATIONS", c)
    plain(c, out)


def enebul(tmp, out):
    e = os.path.join(tmp, "enebul.png")
    magick("-size", "512x512", "xc:none",
           "-fill", "#302820", "-draw", "circle 192,192 192,140",                    # shadow
           "-fill", "#ff4020", "-draw", "circle 64,320 64,270", "-fill", "#ffc060", "-draw", "circle 64,320 64,295",
           "-fill", "#ffffff", "-draw", "circle 64,320 64,308",                      # bullet 1
           "-fill", "#a040ff", "-draw", "polygon 192,266 206,306 248,320 206,334 192,374 178,334 136,320 178,306",
           "-fill", "#f0d0ff", "-draw", "circle 192,320 192,304",                    # bullet 2
           "-fill", "none", "-stroke", "#ff2020", "-strokewidth", 8, "-draw", "circle 320,448 320,400",
           "-draw", "line 320,392 320,424", "-draw", "line 320,472 320,504", "-draw", "line 264,448 296,448",
           "-draw", "line 344,448 376,448", "-stroke", "none", "-fill", "#ffe020",
           "-draw", "polygon 320,440 328,448 320,456 312,448", e)               # target sign
    keyed(e, out)


def sand(tmp, out):
    s = os.path.join(tmp, "sand.png")
    blobs = " ".join("circle %d,%d %d,%d" % (x, y, x + r, y) for x, y, r in
                     ((128, 150, 70), (80, 160, 45), (176, 160, 48), (110, 110, 46), (160, 112, 40), (128, 190, 50)))
    magick("-size", "256x256", "xc:none", "-fill", "#c8b088", "-draw", blobs, "-fill", "#e0d0b0",
           "-draw", "circle 112,120 112,90 circle 150,140 150,118", s)
    keyed(s, out)


def noise(tmp, name, size, seed, blur, colours, extra=()):
    """Tileable noise mapped between two colours."""
    p = os.path.join(tmp, name + ".png")
    magick("-seed", seed, "-size", "%dx%d" % (size, size), "xc:gray50", "+noise", "Random", "-virtual-pixel", "tile",
           "-blur", "0x%g" % blur, "-colorspace", "Gray", "-auto-level", "+level-colors", colours, *extra, p)
    return p


def atlas(tmp, name, size, seed, blur, pattern=None):
    """The colour swatches of a model's materials (4 x 4, material m at swatch m) over light noise."""
    n = noise(tmp, name + "_n", size, seed, blur, "#a8a8a8,#ffffff")
    cell = size // 4
    draw = ["-size", "%dx%d" % (size, size), "xc:white"]
    for m, (r, g, b, a, power, tex) in enumerate(PALETTES[name]):
        x, y = (m % 4) * cell, (m // 4) * cell
        draw += ["-fill", "#%02x%02x%02x" % (int(r * 255), int(g * 255), int(b * 255)),
                 "-draw", "rectangle %d,%d %d,%d" % (x, y, x + cell - 1, y + cell - 1)]
    layers = [n, "-colorspace", "sRGB"]
    if pattern:
        layers += ["(", "-size", "%dx%d" % (size, size), "pattern:" + pattern, "-blur", "0x0.7", "-fill", "#b0b0b0",
                   "-opaque", "black", ")", "-compose", "Multiply", "-composite"]
    p = os.path.join(tmp, name + ".png")
    magick(*layers, "(", *draw, ")", "-compose", "Multiply", "-composite", p)
    return p


def build(out):
    with tempfile.TemporaryDirectory() as tmp:
        title(tmp, os.path.join(out, "title.bmp"))
        system(tmp, os.path.join(out, "system.bmp"))
        faces(tmp, os.path.join(out, "chara.bmp"))
        clear(tmp, os.path.join(out, "clear.bmp"))
        enebul(tmp, os.path.join(out, "enebul.bmp"))
        sand(tmp, os.path.join(out, "sand.bmp"))
        # the bands of the shockwave: bright at the bottom of the band, fading up
        tb = os.path.join(tmp, "torus.png")
        magick("-size", "64x64", "gradient:#ffffff-#4080ff", "-fill", "#c0e0ff", "-draw", "rectangle 0,20 63,26",
               "-draw", "rectangle 0,44 63,48", tb)
        plain(tb, os.path.join(out, "torus.bmp"))
        plain(atlas(tmp, "mychara.bmp", 256, 3, 1.0), os.path.join(out, "mychara.bmp"))
        plain(atlas(tmp, "weapon.bmp", 128, 4, 0.6), os.path.join(out, "weapon.bmp"))
        plain(atlas(tmp, "bullet.bmp", 64, 5, 0.6), os.path.join(out, "bullet.bmp"))
        g = noise(tmp, "ground", 256, 7, 4.0, "#3c6a26,#86a848")
        d = noise(tmp, "dirt", 256, 8, 10.0, "black,white", ("-level", "55%,65%"))
        gd = os.path.join(tmp, "ground2.png")
        magick(g, "(", "-size", "256x256", "xc:#8a7048", d, "-alpha", "off", "-compose", "CopyOpacity", "-composite", ")",
               "-compose", "Over", "-composite", "(", "-seed", 9, "-size", "256x256", "xc:gray50", "+noise", "Random",
               "-colorspace", "Gray", "-blur", "0x0.8", ")", "-compose", "Overlay", "-composite", gd)
        plain(gd, os.path.join(out, "ground.bmp"))
        for i, (name, pattern) in enumerate((("enemy1", "hexagons"), ("enemy2", "circles"), ("enemy3", "hs_diagcross"),
                                             ("enemy_boss", "bricks"))):
            magick(atlas(tmp, name + ".dds", 256, 20 + i, 2.0, pattern), "-alpha", "off", "-define", "dds:compression=none",
                   "-define", "dds:mipmaps=0", "DDS:" + os.path.join(out, name + ".dds"))


if __name__ == "__main__":
    import sys
    build(sys.argv[1])
