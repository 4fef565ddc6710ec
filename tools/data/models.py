"""The game's X models: the skinned player, its weapon, three enemies, the boss, shots, effects and
the stage's height field. Characters are primitives bound to bones, posed by key frames."""
import math
import os
import random
from xfile import Mesh, document, frame, animation, matrix, quat, qmul, f

X, Y, Z = (1, 0, 0), (0, 1, 0), (0, 0, 1)


def _mats(tex, *colours):
    return [(r, g, b, a, power, tex) for r, g, b, a, power in colours]


# Material colours by texture: material m is swatch m of the texture (textures.py paints them).
PALETTES = {
    "mychara.bmp": _mats("mychara.bmp", (0.98, 0.80, 0.66, 1.0, 8.0), (0.20, 0.35, 0.85, 1.0, 8.0),   # skin, tunic
                         (0.35, 0.20, 0.12, 1.0, 4.0), (0.80, 0.80, 0.86, 1.0, 30.0),                 # hair, armour
                         (0.10, 0.10, 0.12, 1.0, 4.0), (0.85, 0.20, 0.18, 1.0, 8.0)),                 # boots, scarf
    "weapon.bmp": _mats("weapon.bmp", (0.88, 0.92, 1.0, 1.0, 60.0), (0.85, 0.65, 0.15, 1.0, 30.0),
                        (0.35, 0.18, 0.10, 1.0, 4.0)),
    "enemy1.dds": _mats("enemy1.dds", (0.55, 0.75, 0.35, 1.0, 8.0), (0.95, 0.90, 0.75, 1.0, 20.0),
                        (0.9, 0.15, 0.1, 1.0, 30.0), (0.35, 0.45, 0.20, 1.0, 8.0)),
    "enemy2.dds": _mats("enemy2.dds", (0.65, 0.45, 0.85, 1.0, 20.0), (1.0, 1.0, 0.95, 1.0, 40.0),
                        (0.10, 0.05, 0.15, 1.0, 4.0), (0.95, 0.75, 0.25, 1.0, 30.0)),
    "enemy3.dds": _mats("enemy3.dds", (0.85, 0.55, 0.25, 1.0, 10.0), (0.98, 0.92, 0.70, 1.0, 10.0),
                        (0.1, 0.1, 0.1, 1.0, 40.0), (0.65, 0.30, 0.15, 1.0, 10.0)),
    "enemy_boss.dds": _mats("enemy_boss.dds", (0.60, 0.50, 0.55, 1.0, 10.0), (0.35, 0.28, 0.30, 1.0, 10.0),
                            (1.0, 0.55, 0.1, 1.0, 60.0), (0.75, 0.72, 0.65, 1.0, 40.0)),
    "bullet.bmp": _mats("bullet.bmp", (1.0, 0.9, 0.5, 1.0, 30.0), (1.0, 0.5, 0.2, 1.0, 30.0),
                        (0.5, 0.8, 1.0, 0.8, 30.0), (1.0, 1.0, 1.0, 0.9, 30.0)),
}


class Rig:
    """Bones (name, parent, world pivot) and parts bound to them, in world bind coordinates."""

    def __init__(self, materials):
        self.bones = []          # (name, parent index or -1, pivot)
        self.mesh = Mesh("body", materials, atlas=True)

    def bone(self, name, parent, pivot):
        self.bones.append((name, parent, pivot))
        return len(self.bones) - 1

    def children(self, b):
        return [i for i, bn in enumerate(self.bones) if bn[1] == b]

    def local(self, b):
        name, parent, p = self.bones[b]
        q = self.bones[parent][2] if parent >= 0 else (0.0, 0.0, 0.0)
        return (p[0] - q[0], p[1] - q[1], p[2] - q[2])

    def skinned_text(self):
        def walk(b):
            return frame(self.bones[b][0], self.local(b), "\n".join(walk(c) for c in self.children(b)))
        bones = [(n, p) for n, _, p in self.bones]
        return walk(0) + "\n" + self.mesh.text(bones=bones)

    def rigid_text(self):
        """One mesh per bone in its frame's space; bone 0's mesh comes first (mesh 0 = the body)."""
        m = self.mesh
        meshes = {}
        for b in range(len(self.bones)):
            part = Mesh("%s_mesh" % self.bones[b][0], m.materials)
            remap = {}
            piv = self.bones[b][2]
            for fi, fc in enumerate(m.faces):
                if m.bone[fc[0]] != b:
                    continue
                for v in fc:
                    if v not in remap:
                        p = m.pos[v]
                        remap[v] = part.vertex((p[0] - piv[0], p[1] - piv[1], p[2] - piv[2]), m.nrm[v], m.uv[v])
                part.tri(remap[fc[0]], remap[fc[1]], remap[fc[2]], m.mat[fi])
            meshes[b] = part.text() if part.faces else ""

        def walk(b):
            return frame(self.bones[b][0], self.local(b), meshes[b] + "\n" + "\n".join(walk(c) for c in self.children(b)))
        return walk(0)

    def animation(self, keys, last):
        """keys: [(time, {bone: quaternion}, hip offset)]; every bone keyed at every time, the last key
        repeating the first pose at `last` so that all curves end together."""
        keys = sorted(keys, key=lambda k: k[0]) + [(last, keys[0][1], keys[0][2])]
        out = []
        for b in range(len(self.bones)):
            rot, pos = [], []
            for t, pose, hip in keys:
                q = pose.get(b, (1.0, 0.0, 0.0, 0.0))
                rot.append((t, (q[0], -q[1], -q[2], -q[3])))     # the loader conjugates
                l = self.local(b)
                if b == 0:
                    l = (l[0] + hip[0], l[1] + hip[1], l[2] + hip[2])
                pos.append((t, l))
            out.append(animation(self.bones[b][0], rot, pos))
        return "\n".join(out)


def R(axis, deg):
    return quat(axis, deg)


def RR(*rots):
    q = (1.0, 0.0, 0.0, 0.0)
    for axis, deg in rots:
        q = qmul(q, quat(axis, deg))
    return q


# ----------------------------------------------------------------------------------- player
def player():
    r = Rig(PALETTES["mychara.bmp"])
    m = r.mesh
    hips = r.bone("Frame0_koshi", -1, (0.0, 0.0, 0.0))
    chest = r.bone("Frame1_mune", hips, (0.0, 0.15, 0.0))
    neck = r.bone("Frame2_kubi", chest, (0.0, 0.52, 0.0))
    head = r.bone("Frame3_atama", neck, (0.0, 0.62, 0.0))
    bones = {}
    for side, sx in (("hidari", 1.0), ("migi", -1.0)):
        up = r.bone("Frame%d_%sude" % (len(r.bones), side), chest, (0.27 * sx, 0.46, 0.0))
        el = r.bone("Frame%d_%shiji" % (len(r.bones), side), up, (0.29 * sx, 0.22, 0.0))
        ha = r.bone("Frame%d_%ste" % (len(r.bones), side), el, (0.30 * sx, -0.02, 0.0))
        bones[side] = (up, el, ha)
    legs = {}
    for side, sx in (("hidari", 1.0), ("migi", -1.0)):
        th = r.bone("Frame%d_%smomo" % (len(r.bones), side), hips, (0.11 * sx, -0.06, 0.0))
        kn = r.bone("Frame%d_%shiza" % (len(r.bones), side), th, (0.11 * sx, -0.42, 0.0))
        an = r.bone("Frame%d_%sashi" % (len(r.bones), side), kn, (0.11 * sx, -0.72, 0.0))
        legs[side] = (th, kn, an)
    assert r.bones[bones["migi"][2]][0] == "Frame9_migite"
    # body
    m.tube((0, -0.12, 0), (0, 0.16, 0), 0.17, 0.15, 5, hips)             # belt and hips
    m.tube((0, 0.14, 0), (0, 0.56, 0), 0.16, 0.21, 1, chest)            # tunic
    m.box((0, 0.38, -0.13), (0.28, 0.26, 0.08), 3, chest)               # breastplate
    m.ellipsoid((0.27, 0.50, 0), (0.1, 0.07, 0.1), 3, bones["hidari"][0], 8, 5)  # pauldrons
    m.ellipsoid((-0.27, 0.50, 0), (0.1, 0.07, 0.1), 3, bones["migi"][0], 8, 5)
    m.tube((0, 0.52, 0), (0, 0.62, 0), 0.08, 0.07, 5, neck, 8)          # scarf at the neck
    m.ellipsoid((0, 0.76, 0), (0.15, 0.17, 0.15), 0, head, 12, 8)       # head
    m.ellipsoid((0, 0.84, 0.05), (0.165, 0.14, 0.16), 2, head, 12, 6)   # hair
    m.box((0, 0.91, 0.05), (0.10, 0.08, 0.22), 2, head, rot=R(X, -20))  # tuft
    for sx in (1, -1):
        m.box((0.055 * sx, 0.77, -0.14), (0.04, 0.05, 0.02), 4, head)   # eyes
    for side, sx in (("hidari", 1.0), ("migi", -1.0)):
        up, el, ha = bones[side]
        m.tube((0.27 * sx, 0.46, 0), (0.29 * sx, 0.22, 0), 0.06, 0.05, 1, up, 8)
        m.tube((0.29 * sx, 0.22, 0), (0.30 * sx, 0.02, 0), 0.05, 0.055, 3, el, 8)
        m.ellipsoid((0.30 * sx, -0.05, 0), (0.05, 0.06, 0.05), 0, ha, 8, 5)
        th, kn, an = legs[side]
        m.tube((0.11 * sx, -0.06, 0), (0.11 * sx, -0.42, 0), 0.085, 0.07, 1, th, 8)
        m.tube((0.11 * sx, -0.42, 0), (0.11 * sx, -0.70, 0), 0.075, 0.06, 4, kn, 8)
        m.box((0.11 * sx, -0.76, -0.04), (0.11, 0.08, 0.24), 4, an)
    assert len(m.faces) <= 2000 and abs(m.lowest() + 0.8) < 1e-4

    Lup, Lel, Lha = bones["hidari"]
    Rup, Rel, Rha = bones["migi"]
    Lth, Lkn, Lan = legs["hidari"]
    Rth, Rkn, Ran = legs["migi"]

    def pose(arm=0.0, elbow=-20.0, twist=0.0, lean=0.0, larm=10.0, lleg=0.0, rleg=0.0, knee=0.0, lknee=None,
             rknee=None, roll=0.0, sweep=0.0, larm_side=0.0):
        lk = knee if lknee is None else lknee
        rk = knee if rknee is None else rknee
        return {hips: RR((X, lean), (Y, twist * 0.3), (Z, roll)), chest: RR((Y, twist * 0.7), (X, lean * 0.3)),
                head: R(Y, -twist * 0.5),
                Rup: RR((Y, sweep), (X, arm), (Z, -8.0)), Rel: R(X, -elbow),
                Lup: RR((X, larm), (Z, 8.0 + larm_side)), Lel: R(X, 25.0),
                Lth: R(X, lleg), Lkn: R(X, -lk), Lan: R(X, lk * 0.5 - lleg * 0.3),
                Rth: R(X, rleg), Rkn: R(X, -rk), Ran: R(X, rk * 0.5 - rleg * 0.3)}

    O = (0.0, 0.0, 0.0)
    stand = pose(arm=30.0, elbow=40.0)
    keys = [(0, stand, O), (22, stand, O),
            (23, pose(arm=40.0, elbow=40.0, larm=-30.0, lleg=30.0, rleg=-30.0, rknee=30.0), (0.0, -0.03, 0.0)),
            (34, pose(arm=30.0, elbow=40.0, knee=30.0, lknee=5.0), (0.0, 0.02, 0.0)),
            (45, pose(arm=20.0, elbow=40.0, larm=30.0, lleg=-30.0, rleg=30.0, lknee=30.0), (0.0, -0.03, 0.0)),
            (46, stand, O), (47, stand, O),
            (50, pose(arm=-150.0, elbow=10.0, twist=15.0, lean=-8.0), O),        # raised behind
            (54, pose(arm=90.0, elbow=0.0, twist=-10.0, lean=10.0, lleg=-20.0, rleg=20.0), (0.0, -0.05, 0.0)),
            (60, pose(arm=70.0, elbow=0.0, twist=-20.0, lean=20.0, lleg=-25.0, rleg=25.0, knee=20.0), (0.0, -0.1, -0.1)),
            (75, pose(arm=60.0, elbow=0.0, twist=-20.0, lean=20.0, lleg=-25.0, rleg=25.0, knee=20.0), (0.0, -0.1, -0.1)),
            (90, stand, O),
            (91, pose(arm=90.0, elbow=0.0, twist=5.0, sweep=12.0, lean=5.0), O),
            (100, pose(arm=90.0, elbow=0.0, twist=-45.0, sweep=-60.0, lean=10.0, lleg=-20.0, rleg=20.0), (0.0, -0.05, -0.05)),
            (115, stand, O),
            (116, pose(arm=20.0, elbow=100.0, twist=30.0, lean=-5.0, knee=30.0), (0.0, -0.1, 0.0)),
            (124, pose(arm=30.0, elbow=110.0, twist=35.0, knee=35.0), (0.0, -0.12, 0.05)),
            (128, pose(arm=90.0, elbow=0.0, twist=-15.0, lean=15.0, lleg=-35.0, rleg=30.0, lknee=30.0), (0.0, -0.1, -0.25)),
            (140, pose(arm=90.0, elbow=0.0, twist=-15.0, lean=15.0, lleg=-35.0, rleg=30.0, lknee=30.0), (0.0, -0.1, -0.25)),
            (151, stand, O),
            (152, pose(arm=-40.0, elbow=20.0, larm=-40.0, lean=30.0, lleg=-30.0, rleg=40.0, rknee=50.0), (0.0, -0.05, 0.0)),
            (154, pose(arm=-40.0, elbow=20.0, larm=-40.0, lean=30.0, lleg=-30.0, rleg=40.0, rknee=50.0), (0.0, -0.05, 0.0)),
            (155, pose(arm=10.0, elbow=30.0, larm=-20.0, lean=20.0, lleg=-40.0, rleg=-40.0, knee=80.0), (0.0, -0.2, 0.0)),
            (162, pose(arm=150.0, elbow=10.0, larm=150.0, lean=-5.0, lleg=10.0, rleg=10.0, knee=10.0), O),
            (170, pose(arm=60.0, elbow=40.0, larm=60.0, lleg=-60.0, rleg=-20.0, lknee=90.0, rknee=40.0), O),
            (196, pose(arm=40.0, elbow=40.0, larm=40.0, lleg=-30.0, rleg=-30.0, knee=40.0), O),
            (197, pose(arm=-120.0, elbow=30.0, twist=40.0, lleg=-40.0, rleg=-40.0, knee=60.0), O),
            (205, pose(arm=90.0, elbow=0.0, twist=-40.0, sweep=-40.0, lleg=-40.0, rleg=-40.0, knee=60.0, roll=20.0), O),
            (221, pose(arm=60.0, elbow=20.0, lleg=-30.0, rleg=-30.0, knee=50.0), O),
            (222, pose(arm=150.0, elbow=0.0, lean=-10.0, lleg=-60.0, rleg=-60.0, knee=100.0), O),
            (225, pose(arm=20.0, elbow=0.0, lean=40.0, lleg=-60.0, rleg=-60.0, knee=100.0), O),
            (236, stand, O),
            (237, pose(arm=30.0, elbow=40.0, larm=-60.0, twist=-30.0), O),
            (239, pose(arm=30.0, elbow=40.0, larm=90.0, twist=20.0, lleg=-15.0, rleg=15.0), O),
            (250, pose(arm=30.0, elbow=40.0, larm=90.0, twist=20.0, lleg=-15.0, rleg=15.0), O),
            (256, stand, O),
            (266, pose(arm=-20.0, elbow=60.0, larm=-20.0, twist=30.0, knee=30.0), (0.0, -0.08, 0.0)),
            (278, pose(arm=90.0, elbow=0.0, larm=90.0, larm_side=-30.0, lean=10.0, lleg=-25.0, rleg=25.0), O),
            (290, pose(arm=90.0, elbow=0.0, larm=90.0, larm_side=-30.0, lean=10.0, lleg=-25.0, rleg=25.0), O),
            (300, stand, O),
            (301, pose(arm=120.0, larm=120.0, lean=60.0, knee=30.0), (0.0, -0.3, -0.2)),
            (307, pose(arm=160.0, larm=160.0, lean=85.0, lleg=10.0, rleg=10.0), (0.0, -0.62, -0.3)),
            (308, pose(arm=-40.0, larm=-40.0, lean=-50.0, knee=30.0), (0.0, -0.3, 0.2)),
            (314, pose(arm=-150.0, larm=-150.0, lean=-85.0, lleg=10.0, rleg=10.0), (0.0, -0.62, 0.3))]
    body = r.skinned_text()
    return document("Root", body, ("Anim", r.animation(keys, 320)))


def weapon():
    mats = PALETTES["weapon.bmp"]
    blade, guard, grip = Mesh("blade", mats, True), Mesh("guard", mats, True), Mesh("grip", mats, True)
    # the blade runs down the hand's -Y (along the arm), a diamond section tapering to a point
    tip = (0.0, -1.32, 0.0)
    sec = [(0.0, -0.12, -0.045), (0.012, -0.12, 0.0), (0.0, -0.12, 0.045), (-0.012, -0.12, 0.0)]
    mid = [(p[0], -1.18, p[2] * 0.9) for p in sec]
    for i in range(4):
        a, b = sec[i], sec[(i + 1) % 4]
        c, d = mid[i], mid[(i + 1) % 4]
        for tri in ((a, c, b), (b, c, d), (c, tip, d)):
            ids = [blade.vertex(p, (p[0] * 3, 0.0, p[2]), (0.5 + p[2] * 5, -p[1] / 1.4), 0) for p in tri]
            blade.tri(ids[0], ids[1], ids[2], 0)
    blade.box((0.0, -0.10, 0.0), (0.05, 0.04, 0.10), 0)
    guard.box((0.0, -0.09, 0.0), (0.07, 0.05, 0.32), 1)
    guard.ellipsoid((0.0, 0.13, 0.0), (0.04, 0.04, 0.04), 1, 0, 8, 5)
    grip.tube((0.0, 0.11, 0.0), (0.0, -0.07, 0.0), 0.025, 0.025, 2, 0, 8)
    return document("Root", blade.text() + "\n" + guard.text() + "\n" + grip.text())


# ----------------------------------------------------------------------------------- enemies
def enemy1():
    """Walker: a horned imp on two legs with claws."""
    r = Rig(PALETTES["enemy1.dds"])
    m = r.mesh
    body = r.bone("Body", -1, (0.0, -0.15, 0.0))
    head = r.bone("Head", body, (0.0, 0.5, 0.0))
    la = r.bone("ArmL", body, (0.34, 0.32, 0.0))
    ra = r.bone("ArmR", body, (-0.34, 0.32, 0.0))
    ll = r.bone("LegL", body, (0.16, -0.15, 0.0))
    rl = r.bone("LegR", body, (-0.16, -0.15, 0.0))
    m.ellipsoid((0.0, 0.15, 0.0), (0.34, 0.38, 0.3), 0, body, 12, 8)
    m.ellipsoid((0.0, 0.10, -0.16), (0.22, 0.26, 0.16), 3, body, 10, 6)     # belly
    m.ellipsoid((0.0, 0.75, -0.05), (0.24, 0.22, 0.22), 0, head, 12, 8)
    for sx in (1, -1):
        m.tube((0.14 * sx, 0.88, -0.02), (0.30 * sx, 1.15, 0.05), 0.06, 0.0, 1, head, 6, False)   # horns
        m.ellipsoid((0.09 * sx, 0.80, -0.24), (0.05, 0.05, 0.03), 2, head, 8, 5)                   # eyes
    m.box((0.0, 0.64, -0.24), (0.18, 0.04, 0.04), 1, head)                     # teeth
    for b, sx in ((la, 1), (ra, -1)):
        m.tube((0.34 * sx, 0.32, 0.0), (0.42 * sx, -0.05, -0.12), 0.09, 0.07, 0, b, 8)
        for k in (-1, 0, 1):
            m.tube((0.42 * sx, -0.05, -0.12), (0.42 * sx + 0.05 * k, -0.22, -0.22), 0.03, 0.0, 1, b, 5, False)
    for b, sx in ((ll, 1), (rl, -1)):
        m.tube((0.16 * sx, -0.15, 0.0), (0.17 * sx, -0.62, 0.0), 0.11, 0.08, 3, b, 8)
        m.box((0.17 * sx, -0.66, -0.06), (0.16, 0.08, 0.26), 3, b)
    assert len(m.faces) <= 1000 and abs(m.lowest() + 0.7) < 1e-4, (len(m.faces), m.lowest())
    O = (0.0, 0.0, 0.0)

    def walk(s, t):
        return {ll: R(X, 30.0 * s), rl: R(X, -30.0 * s), la: R(X, -25.0 * s), ra: R(X, 25.0 * s),
                body: R(Z, 5.0 * s), head: R(Y, 8.0 * s)}
    stand = {}
    keys = [(0, stand, O), (1, stand, O), (11, walk(1, 0), (0.0, 0.04, 0.0)), (21, stand, (0.0, -0.02, 0.0)),
            (31, walk(-1, 0), (0.0, 0.04, 0.0)), (41, stand, O),
            (42, {body: R(X, -25.0), head: R(X, -20.0), la: R(X, -40.0), ra: R(X, -40.0)}, (0.0, 0.0, 0.15)),
            (44, stand, O),
            (45, {body: R(X, -15.0), la: R(X, 140.0), ra: R(X, 140.0)}, O),
            (48, {body: R(X, 25.0), head: R(X, 10.0), la: R(X, 60.0), ra: R(X, 60.0), ll: R(X, -40.0), rl: R(X, 20.0)},
             (0.0, -0.05, -0.35)),
            (50, {body: R(X, 20.0), la: R(X, 40.0), ra: R(X, 40.0)}, (0.0, 0.0, -0.2))]
    return document("Root", r.rigid_text(), ("Anim", r.animation(keys, 56)))


def enemy2():
    """Hovering shooter: a one-eyed floating jelly with a spiked shell and four tentacles."""
    r = Rig(PALETTES["enemy2.dds"])
    m = r.mesh
    body = r.bone("Body", -1, (0.0, 0.45, 0.0))
    eye = r.bone("Eye", body, (0.0, 0.45, -0.3))
    tent = [r.bone("Tentacle%d" % i, body, (0.18 * math.cos(i * math.pi / 2 + 0.78), 0.15, 0.18 * math.sin(i * math.pi / 2 + 0.78)))
            for i in range(4)]
    m.ellipsoid((0.0, 0.5, 0.0), (0.42, 0.38, 0.42), 0, body, 14, 9)
    m.tube((0.0, 0.18, 0.0), (0.0, 0.1, 0.0), 0.36, 0.2, 0, body, 12)
    for i in range(6):
        a = i * math.pi / 3
        m.tube((0.3 * math.cos(a), 0.75, 0.3 * math.sin(a)), (0.45 * math.cos(a), 1.12, 0.45 * math.sin(a)), 0.07, 0.0, 3, body, 6, False)
    m.ellipsoid((0.0, 0.48, -0.36), (0.2, 0.2, 0.1), 1, eye, 12, 7)
    m.ellipsoid((0.0, 0.48, -0.45), (0.09, 0.11, 0.04), 2, eye, 10, 5)
    for i, b in enumerate(tent):
        p = r.bones[b][2]
        m.tube(p, (p[0] * 1.5, -0.3, p[2] * 1.5), 0.07, 0.04, 0, b, 6)
        m.tube((p[0] * 1.5, -0.3, p[2] * 1.5), (p[0] * 1.2, -0.7, p[2] * 1.2), 0.04, 0.0, 3, b, 6, False)
    assert len(m.faces) <= 1000 and abs(m.lowest() + 0.7) < 1e-3, (len(m.faces), m.lowest())
    O = (0.0, 0.0, 0.0)

    def sway(s):
        d = {b: R(X if i % 2 else Z, 15.0 * s * (1 if i < 2 else -1)) for i, b in enumerate(tent)}
        d[body] = R(Y, 10.0 * s)
        return d
    keys = [(0, {}, O), (1, sway(0), O), (6, sway(1), (0.0, 0.08, 0.0)), (11, sway(0), (0.0, 0.12, 0.0)),
            (16, sway(-1), (0.0, 0.06, 0.0)), (20, sway(0), O),
            (21, {body: R(X, -15.0), eye: RR((X, 0.0))}, (0.0, 0.1, 0.1)),
            (33, {body: R(X, -20.0), eye: R(X, -10.0)}, (0.0, 0.15, 0.15)),
            (39, {body: R(X, 15.0), eye: R(X, 10.0)}, (0.0, 0.05, -0.1)),
            (40, {}, O),
            (41, {body: RR((X, -30.0), (Z, 15.0))}, (0.0, 0.15, 0.2)), (45, {}, O)]
    return document("Root", r.rigid_text(), ("Anim", r.animation(keys, 50)))


def enemy3():
    """Hopper: a warty toad with long folded hind legs."""
    r = Rig(PALETTES["enemy3.dds"])
    m = r.mesh
    body = r.bone("Body", -1, (0.0, -0.2, 0.0))
    head = r.bone("Head", body, (0.0, 0.05, -0.35))
    legs = [r.bone(n, body, (sx * 0.3, -0.25, 0.2)) for n, sx in (("HindL", 1), ("HindR", -1))]
    arms = [r.bone(n, body, (sx * 0.22, -0.25, -0.3)) for n, sx in (("ArmL", 1), ("ArmR", -1))]
    m.ellipsoid((0.0, -0.1, 0.05), (0.42, 0.32, 0.5), 0, body, 10, 7)
    m.ellipsoid((0.0, -0.25, -0.05), (0.34, 0.18, 0.42), 1, body, 10, 5)
    for k in range(3):
        a = 0.6 + k * 1.0
        m.ellipsoid((0.3 * math.cos(a), 0.1, 0.35 * math.sin(a)), (0.07, 0.05, 0.07), 3, body, 5, 3)
    m.ellipsoid((0.0, 0.05, -0.5), (0.32, 0.22, 0.25), 0, head, 10, 6)
    for sx in (1, -1):
        m.ellipsoid((0.17 * sx, 0.27, -0.55), (0.09, 0.09, 0.09), 1, head, 6, 5)
        m.ellipsoid((0.17 * sx, 0.28, -0.63), (0.045, 0.05, 0.03), 2, head, 5, 3)
    m.box((0.0, -0.02, -0.72), (0.36, 0.03, 0.06), 2, head)
    for b, sx in zip(legs, (1, -1)):
        m.tube((sx * 0.3, -0.25, 0.2), (sx * 0.5, -0.05, 0.45), 0.12, 0.09, 0, b, 7)
        m.tube((sx * 0.5, -0.05, 0.45), (sx * 0.5, -0.62, 0.25), 0.08, 0.06, 0, b, 7)
        m.box((sx * 0.5, -0.66, 0.05), (0.2, 0.08, 0.45), 3, b)
    for b, sx in zip(arms, (1, -1)):
        m.tube((sx * 0.22, -0.25, -0.3), (sx * 0.3, -0.62, -0.42), 0.07, 0.05, 0, b, 6)
        m.box((sx * 0.3, -0.66, -0.47), (0.14, 0.08, 0.16), 3, b)
    assert len(m.faces) <= 1000 and abs(m.lowest() + 0.7) < 1e-4, (len(m.faces), m.lowest())
    O = (0.0, 0.0, 0.0)
    crouch = {legs[0]: R(X, 20.0), legs[1]: R(X, 20.0), body: R(X, 10.0)}
    leap = {legs[0]: R(X, -50.0), legs[1]: R(X, -50.0), arms[0]: R(X, 40.0), arms[1]: R(X, 40.0), body: R(X, -20.0)}
    keys = [(0, {}, O), (1, crouch, (0.0, -0.08, 0.0)), (3, leap, (0.0, 0.6, 0.0)), (5, leap, (0.0, 0.4, 0.0)),
            (6, {}, O),
            (7, {body: R(X, 25.0), head: R(X, -30.0), arms[0]: R(X, 70.0), arms[1]: R(X, 70.0)}, (0.0, 0.1, -0.3)),
            (8, {body: R(X, 10.0), head: R(X, -15.0)}, (0.0, 0.0, -0.2)), (10, {}, O), (17, {}, O),
            (18, {body: R(X, -30.0), head: R(X, 20.0)}, (0.0, 0.1, 0.25)), (22, {}, O)]
    return document("Root", r.rigid_text(), ("Anim", r.animation(keys, 26)))


def boss():
    """The boss: a stone ogre about 5.5 tall with a spiked club."""
    r = Rig(PALETTES["enemy_boss.dds"])
    m = r.mesh
    hips = r.bone("Hips", -1, (0.0, -0.6, 0.0))
    chest = r.bone("Chest", hips, (0.0, 0.3, 0.0))
    head = r.bone("Head", chest, (0.0, 1.9, -0.3))
    arm_r = r.bone("ArmR", chest, (-1.25, 1.5, 0.0))
    fore_r = r.bone("ForeR", arm_r, (-1.45, 0.3, 0.0))
    arm_l = r.bone("ArmL", chest, (1.25, 1.5, 0.0))
    fore_l = r.bone("ForeL", arm_l, (1.45, 0.3, 0.0))
    leg = {sx: r.bone("Leg%s" % n, hips, (0.55 * sx, -0.75, 0.0)) for n, sx in (("L", 1), ("R", -1))}
    shin = {sx: r.bone("Shin%s" % n, leg[sx], (0.6 * sx, -1.75, 0.0)) for n, sx in (("L", 1), ("R", -1))}
    m.ellipsoid((0.0, -0.5, 0.0), (0.85, 0.55, 0.65), 1, hips, 12, 7)
    m.ellipsoid((0.0, 1.0, 0.0), (1.2, 1.0, 0.8), 0, hips, 16, 10)
    m.ellipsoid((0.0, 1.35, 0.25), (1.0, 0.8, 0.6), 1, chest, 12, 8)          # hunched back
    for k in range(4):
        m.tube((0.0, 1.0 + k * 0.35, 0.55), (0.0, 1.1 + k * 0.35, 1.1), 0.14, 0.0, 3, chest, 6, False)
    m.ellipsoid((0.0, 2.15, -0.55), (0.48, 0.45, 0.45), 0, head, 12, 8)
    for sx in (1, -1):
        m.ellipsoid((0.2 * sx, 2.25, -0.95), (0.1, 0.08, 0.06), 2, head, 8, 5)
        m.tube((0.35 * sx, 2.4, -0.55), (0.75 * sx, 2.7, -0.75), 0.12, 0.0, 3, head, 8, False)
    m.box((0.0, 1.95, -0.95), (0.5, 0.08, 0.1), 3, head)
    for a, fo, sx in ((arm_l, fore_l, 1), (arm_r, fore_r, -1)):
        m.ellipsoid((1.25 * sx, 1.55, 0.0), (0.45, 0.4, 0.45), 1, a, 10, 7)
        m.tube((1.25 * sx, 1.5, 0.0), (1.45 * sx, 0.3, 0.0), 0.35, 0.3, 0, a, 10)
        m.tube((1.45 * sx, 0.3, 0.0), (1.5 * sx, -0.8, -0.2), 0.32, 0.38, 0, fo, 10)
        m.ellipsoid((1.5 * sx, -0.95, -0.2), (0.38, 0.32, 0.38), 0, fo, 10, 6)
    # the club in the right fist, pointing forward-down
    m.tube((-1.5, -0.95, 0.1), (-1.5, -1.0, -1.9), 0.14, 0.3, 1, fore_r, 8)
    for k in range(6):
        a = k * math.pi / 3
        p = (-1.5 + 0.3 * math.cos(a), -1.0 + 0.3 * math.sin(a), -1.6)
        m.tube(p, (-1.5 + 0.55 * math.cos(a), -1.0 + 0.55 * math.sin(a), -1.7), 0.1, 0.0, 3, fore_r, 5, False)
    for sx in (1, -1):
        m.tube((0.55 * sx, -0.75, 0.0), (0.6 * sx, -1.75, 0.0), 0.45, 0.38, 1, leg[sx], 10)
        m.tube((0.6 * sx, -1.75, 0.0), (0.6 * sx, -2.55, 0.0), 0.38, 0.32, 0, shin[sx], 10)
        m.box((0.6 * sx, -2.675, -0.2), (0.7, 0.25, 1.0), 3, shin[sx])
    assert len(m.faces) <= 3000 and abs(m.lowest() + 2.8) < 1e-3, (len(m.faces), m.lowest())
    O = (0.0, 0.0, 0.0)

    def step(s):
        return {leg[1]: R(X, 25.0 * s), leg[-1]: R(X, -25.0 * s), shin[1]: R(X, -10.0 * (1 + s)), shin[-1]: R(X, -10.0 * (1 - s)),
                arm_l: R(X, -15.0 * s), arm_r: R(X, 15.0 * s), chest: R(Y, 6.0 * s), hips: R(Z, 3.0 * s)}
    keys = [(0, {}, O),
            (4, {arm_r: RR((X, -120.0), (Z, -20.0)), fore_r: R(X, -40.0), chest: R(Y, 30.0)}, O),
            (7, {arm_r: R(X, 60.0), fore_r: R(X, 10.0), chest: RR((Y, -25.0), (X, 15.0))}, (0.0, -0.2, -0.3)),
            (12, {arm_r: R(X, 40.0), chest: RR((Y, -20.0), (X, 10.0))}, (0.0, -0.15, -0.2)),
            (16, {}, O), (17, {}, O),
            (18, step(0), O), (33, step(1), (0.0, 0.12, 0.0)), (48, step(0), O), (62, step(-1), (0.0, 0.12, 0.0)),
            (77, step(0), O),
            (78, {chest: R(X, 30.0), arm_l: R(X, -60.0), arm_r: R(X, -60.0), leg[1]: R(X, 30.0), leg[-1]: R(X, -30.0)}, (0.0, -0.2, 0.0)),
            (84, {chest: R(X, 35.0), arm_l: R(X, -70.0), arm_r: R(X, -70.0), leg[1]: R(X, -30.0), leg[-1]: R(X, 30.0)}, (0.0, -0.1, 0.0)),
            (90, {chest: R(X, 30.0), arm_l: R(X, -60.0), arm_r: R(X, -60.0), leg[1]: R(X, 30.0), leg[-1]: R(X, -30.0)}, (0.0, -0.2, 0.0)),
            (93, {chest: R(X, -10.0), leg[1]: R(X, -20.0)}, (0.0, -0.3, 0.0)), (96, {}, O)]
    return document("Root", r.rigid_text(), ("Anim", r.animation(keys, 100)))


# ----------------------------------------------------------------------------------- shots, effects
def bullet():
    """A wheel 1 across in the Y-Z plane: a rim ring and spokes, axle along X."""
    m = Mesh("wheel", PALETTES["bullet.bmp"], True)

    def rim(u, v):
        a, b = u * 2 * math.pi, v * 2 * math.pi
        rr = 0.43 + 0.07 * math.cos(b)
        return (0.07 * math.sin(b), rr * math.cos(a), rr * math.sin(a))
    m.grid(rim, 16, 6, 0)
    for k in range(4):
        a = k * math.pi / 4
        m.tube((0.0, -0.4 * math.cos(a), -0.4 * math.sin(a)), (0.0, 0.4 * math.cos(a), 0.4 * math.sin(a)), 0.035, 0.035, 1, 0, 5, False)
    m.ellipsoid((0.0, 0.0, 0.0), (0.1, 0.12, 0.12), 1, 0, 8, 5)
    return document("Root", m.text())


def bullet2():
    m = Mesh("orb", PALETTES["bullet.bmp"], True)
    m.ellipsoid((0.0, 0.0, 0.0), (0.3, 0.3, 0.3), 2, 0, 12, 8)
    m.ellipsoid((0.0, 0.0, 0.12), (0.12, 0.12, 0.5), 3, 0, 8, 5)
    return document("Root", m.text())


def ball():
    m = Mesh("ball", [(1.0, 0.55, 0.1, 1.0, 10.0, None)])
    m.ellipsoid((0.0, 0.0, 0.0), (0.1, 0.1, 0.1), 0, 0, 16, 10)
    return document("Root", m.text())


def torus():
    """A band 1 across and 0.1 high: U around, V up."""
    m = Mesh("ring", [(1.0, 1.0, 1.0, 1.0, 0.0, "torus.bmp")])
    m.grid(lambda u, v: (0.5 * math.cos(u * 2 * math.pi), v * 0.1 - 0.05, 0.5 * math.sin(u * 2 * math.pi)), 32, 1, 0)
    return document("Root", m.text())


def ground_height(x, z):
    """Hills towards the edges, a gentle middle."""
    d = math.hypot(x, z)
    edge = max(0.0, (d - 60.0) / 190.0)
    hills = (math.sin(x * 0.031) * math.cos(z * 0.027) + 0.6 * math.sin(x * 0.013 + z * 0.021 + 1.3)
             + 0.3 * math.cos(x * 0.057 - z * 0.049))
    return 0.35 * math.sin(x * 0.05) * math.cos(z * 0.043) + edge * edge * (26.0 + 16.0 * hills)


def height_field():
    n, size = 128, 500.0
    m = Mesh("ground", [(1.0, 1.0, 1.0, 1.0, 0.0, "ground.bmp")])
    sun = (-0.45, 0.8, -0.4)
    sl = math.sqrt(sum(s * s for s in sun))
    step = size / n
    for j in range(n + 1):
        for i in range(n + 1):
            x, z = -250.0 + i * step, -250.0 + j * step
            y = ground_height(x, z)
            nx = ground_height(x - 1.0, z) - ground_height(x + 1.0, z)
            nz = ground_height(x, z - 1.0) - ground_height(x, z + 1.0)
            nrm = (nx, 2.0, nz)
            nl = math.sqrt(nx * nx + 4.0 + nz * nz)
            nrm = (nx / nl, 2.0 / nl, nz / nl)
            lit = max(0.0, sum(a * b for a, b in zip(nrm, sun)) / sl)
            shade = 0.45 + 0.55 * lit
            m.vertex((x, y, z), nrm, (i / 8.0, j / 8.0), 0, (shade, shade, shade * 0.95, 1.0))
    for j in range(n):
        for i in range(n):
            a = j * (n + 1) + i
            m.tri(a, a + n + 1, a + 1, 0)
            m.tri(a + 1, a + n + 1, a + n + 2, 0)
    return document("Root", m.text(colours=True))


MODELS = {"MyChara.x": player, "weapon.x": weapon, "enemy1.x": enemy1, "enemy2.x": enemy2, "enemy3.x": enemy3,
          "boss.x": boss, "bullet.x": bullet, "bullet2.x": bullet2, "ball.x": ball, "torus.x": torus,
          "height_field.x": height_field}


def build(out):
    for name, fn in MODELS.items():
        with open(os.path.join(out, name), "w", newline="\n") as fh:
            fh.write(fn())


if __name__ == "__main__":
    import sys
    build(sys.argv[1])
