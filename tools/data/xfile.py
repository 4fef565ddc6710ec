"""Meshes from primitives and their X text (xof 0303txt 0032): frames, meshes, skin weights, keys."""
import math


def f(v):
    """An X float: always with its decimal point."""
    s = "%.5f" % v
    return "0.00000" if s == "-0.00000" else s


def norm(v):
    l = math.sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) or 1.0
    return (v[0] / l, v[1] / l, v[2] / l)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def quat(axis, deg):
    """Rotation as (w, x, y, z)."""
    a = math.radians(deg) / 2
    ax = norm(axis)
    return (math.cos(a), ax[0] * math.sin(a), ax[1] * math.sin(a), ax[2] * math.sin(a))


def qmul(a, b):
    w1, x1, y1, z1 = a
    w2, x2, y2, z2 = b
    return (w1 * w2 - x1 * x2 - y1 * y2 - z1 * z2, w1 * x2 + x1 * w2 + y1 * z2 - z1 * y2,
            w1 * y2 - x1 * z2 + y1 * w2 + z1 * x2, w1 * z2 + x1 * y2 - y1 * x2 + z1 * w2)


def qrot(q, v):
    """Rotates v by q (row-vector convention of the file: v' = v * R, R from q conjugated)."""
    w, x, y, z = q
    p = qmul(qmul(q, (0.0, v[0], v[1], v[2])), (w, -x, -y, -z))
    return p[1:]


class Mesh:
    """Triangles with position, normal, uv, colour, material and one bone per vertex."""

    def __init__(self, name, materials, atlas=False):
        """atlas: material m takes swatch m of a 4 x 4 grid in the shared texture (the loader draws a
        textured material in white, so the texture carries the colours)."""
        self.name = name
        self.atlas, self.mapped = atlas, set()
        self.materials = materials          # (r, g, b, a, power, texture or None)
        self.pos, self.nrm, self.uv, self.col, self.bone = [], [], [], [], []
        self.faces, self.mat = [], []

    def vertex(self, p, n, uv, bone=0, col=None):
        self.pos.append(p)
        self.nrm.append(n)
        self.uv.append(uv)
        self.col.append(col)
        self.bone.append(bone)
        return len(self.pos) - 1

    def tri(self, a, b, c, m):
        if self.atlas:
            for v in (a, b, c):
                if v not in self.mapped:
                    self.mapped.add(v)
                    u, w = self.uv[v]
                    self.uv[v] = ((m % 4 + 0.1 + 0.8 * min(max(u, 0.0), 1.0)) / 4, (m // 4 + 0.1 + 0.8 * min(max(w, 0.0), 1.0)) / 4)
        self.faces.append((a, b, c))
        self.mat.append(m)

    def grid(self, fn, nu, nv, m, bone=0, uvscale=(1.0, 1.0)):
        """A parametric surface fn(u, v) -> point over [0,1]^2; normals from the surface."""
        base = len(self.pos)
        eps = 1e-3
        for j in range(nv + 1):
            for i in range(nu + 1):
                u, v = i / nu, j / nv
                p = fn(u, v)
                du = [a - b for a, b in zip(fn(min(u + eps, 1), v), fn(max(u - eps, 0), v))]
                dv = [a - b for a, b in zip(fn(u, min(v + eps, 1)), fn(u, max(v - eps, 0)))]
                n = cross(dv, du)
                if abs(n[0]) + abs(n[1]) + abs(n[2]) < 1e-12:   # a pole: point away from the centre line
                    c = fn(0.5, v)
                    n = (p[0] - c[0], p[1] - c[1], p[2] - c[2])
                self.vertex(p, norm(n), (u * uvscale[0], v * uvscale[1]), bone)
        for j in range(nv):
            for i in range(nu):
                a = base + j * (nu + 1) + i
                self.tri(a, a + nu + 1, a + 1, m)
                self.tri(a + 1, a + nu + 1, a + nu + 2, m)

    def box(self, c, s, m, bone=0, rot=None):
        """A box of size s centred on c, rotated by the quaternion rot about its centre."""
        hx, hy, hz = s[0] / 2, s[1] / 2, s[2] / 2
        sides = [((1, 0, 0), (0, 0, 1), (0, 1, 0)), ((-1, 0, 0), (0, 0, -1), (0, 1, 0)),
                 ((0, 1, 0), (1, 0, 0), (0, 0, 1)), ((0, -1, 0), (1, 0, 0), (0, 0, -1)),
                 ((0, 0, 1), (-1, 0, 0), (0, 1, 0)), ((0, 0, -1), (1, 0, 0), (0, 1, 0))]
        for n, u, v in sides:
            idx = []
            for a, b in ((-1, -1), (1, -1), (1, 1), (-1, 1)):
                p = [n[k] * (hx, hy, hz)[k] + a * u[k] * (hx, hy, hz)[k] + b * v[k] * (hx, hy, hz)[k] for k in range(3)]
                nn = n
                if rot:
                    p, nn = qrot(rot, p), qrot(rot, n)
                idx.append(self.vertex((p[0] + c[0], p[1] + c[1], p[2] + c[2]), nn, ((a + 1) / 2, (1 - b) / 2), bone))
            self.tri(idx[0], idx[2], idx[1], m)
            self.tri(idx[0], idx[3], idx[2], m)

    def ellipsoid(self, c, r, m, bone=0, seg=10, rings=7, rot=None):
        def fn(u, v):
            th, ph = u * 2 * math.pi, v * math.pi
            p = (r[0] * math.sin(ph) * math.cos(th), r[1] * math.cos(ph), r[2] * math.sin(ph) * math.sin(th))
            if rot:
                p = qrot(rot, p)
            return (p[0] + c[0], p[1] + c[1], p[2] + c[2])
        self.grid(fn, seg, rings, m, bone)

    def tube(self, a, b, ra, rb, m, bone=0, seg=8, caps=True):
        """A (tapered) cylinder from point a (radius ra) to b (radius rb), closed at both ends."""
        d = norm([b[k] - a[k] for k in range(3)])
        t = norm(cross(d, (0, 0, 1) if abs(d[2]) < 0.9 else (1, 0, 0)))
        s = cross(d, t)
        rings = [(0.0, 0.0), (0.0, 1.0), (1.0, 1.0), (1.0, 0.0)] if caps else [(0.0, 1.0), (1.0, 1.0)]
        # one vertex row per ring (along, radius scale): caps face along the axis, the side outwards
        base = len(self.pos)
        for k, (along, scale) in enumerate(rings):
            for i in range(seg + 1):
                th = i / seg * 2 * math.pi
                al = along
                r = (ra + (rb - ra) * al) * scale
                radial = tuple(math.cos(th) * t[j] + math.sin(th) * s[j] for j in range(3))
                p = tuple(a[j] + (b[j] - a[j]) * al + r * radial[j] for j in range(3))
                if caps and k == 0:
                    n = tuple(-x for x in d)
                elif caps and k == len(rings) - 1:
                    n = d
                else:
                    n = radial
                self.vertex(p, n, (i / seg, al), bone)
        for k in range(len(rings) - 1):
            for i in range(seg):
                p0 = base + k * (seg + 1) + i
                p1 = p0 + seg + 1
                self.tri(p0, p0 + 1, p1, m)
                self.tri(p0 + 1, p1 + 1, p1, m)

    def lowest(self):
        return min(p[1] for p in self.pos)

    def text(self, bones=None, colours=False):
        out = ["Mesh %s {" % self.name, "%d;" % len(self.pos)]
        out.append(",\n".join("%s;%s;%s;" % (f(p[0]), f(p[1]), f(p[2])) for p in self.pos) + ";")
        out.append("%d;" % len(self.faces))
        out.append(",\n".join("3;%d,%d,%d;" % fc for fc in self.faces) + ";")
        out.append("MeshNormals {\n%d;" % len(self.nrm))
        out.append(",\n".join("%s;%s;%s;" % (f(n[0]), f(n[1]), f(n[2])) for n in self.nrm) + ";")
        out.append("%d;" % len(self.faces))
        out.append(",\n".join("3;%d,%d,%d;" % fc for fc in self.faces) + ";\n}")
        out.append("MeshTextureCoords {\n%d;" % len(self.uv))
        out.append(",\n".join("%s;%s;" % (f(u[0]), f(u[1])) for u in self.uv) + ";\n}")
        if colours:
            out.append("MeshVertexColors {\n%d;" % len(self.col))
            out.append(",\n".join("%d;%s;%s;%s;%s;;" % ((i,) + tuple(f(c) for c in col)) for i, col in enumerate(self.col)) + ";\n}")
        out.append("MeshMaterialList {\n%d;\n%d;" % (len(self.materials), len(self.faces)))
        out.append(",\n".join(str(m) for m in self.mat) + ";")
        for r, g, b, a, power, tex in self.materials:
            body = "%s;%s;%s;%s;;\n%s;\n%s;%s;%s;;\n0.00000;0.00000;0.00000;;" % (
                f(r), f(g), f(b), f(a), f(power), f(0.3), f(0.3), f(0.3))
            if tex:
                body += '\nTextureFilename {\n"%s";\n}' % tex
            out.append("Material {\n%s\n}" % body)
        out.append("}")
        if bones is not None:
            used = sorted(set(self.bone))
            out.append("XSkinMeshHeader {\n1;\n1;\n%d;\n}" % len(used))
            for b in used:
                vs = [i for i, vb in enumerate(self.bone) if vb == b]
                out.append('SkinWeights {\n"%s";\n%d;\n%s;\n%s;\n%s;;\n}' % (
                    bones[b][0], len(vs), ",\n".join(map(str, vs)), ",\n".join("1.00000" for _ in vs),
                    matrix(tuple(-x for x in bones[b][1]))))
        out.append("}")
        return "\n".join(out)


def matrix(t=(0.0, 0.0, 0.0)):
    return "1.00000,0.00000,0.00000,0.00000,0.00000,1.00000,0.00000,0.00000,0.00000,0.00000,1.00000,0.00000,%s,%s,%s,1.00000" % (
        f(t[0]), f(t[1]), f(t[2]))


def frame(name, offset, body):
    return "Frame %s {\nFrameTransformMatrix {\n%s;;\n}\n%s\n}" % (name, matrix(offset), body)


def animation(frame_name, rot_keys, pos_keys):
    """rot_keys: [(time, (w, x, y, z))], pos_keys: [(time, (x, y, z))]."""
    out = ["Animation {", "{%s}" % frame_name]
    if rot_keys:
        out.append("AnimationKey {\n0;\n%d;" % len(rot_keys))
        out.append(",\n".join("%d;4;%s,%s,%s,%s;;" % ((t,) + tuple(f(x) for x in q)) for t, q in rot_keys) + ";\n}")
    if pos_keys:
        out.append("AnimationKey {\n2;\n%d;" % len(pos_keys))
        out.append(",\n".join("%d;3;%s,%s,%s;;" % ((t,) + tuple(f(x) for x in p)) for t, p in pos_keys) + ";\n}")
    out.append("}")
    return "\n".join(out)


def document(root_name, body, anim_set=None):
    s = "xof 0303txt 0032\n" + "Frame %s {\nFrameTransformMatrix {\n%s;;\n}\n%s\n}\n" % (root_name, matrix(), body)
    if anim_set:
        s += "AnimationSet %s {\n%s\n}\n" % anim_set
    return s
