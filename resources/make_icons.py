#!/usr/bin/python3
"""Generates the embedded assets that are ours to draw.

    resources/pixelwrenicons.ttf  TrueType icon font, family "pixelwrenicons",
                                  one glyph at each of the codes A-N and a-z
    resources/icon256.png         256 x 256 RGBA logo (spots and stripes)

Run with Debian's python3 (needs python3-fonttools, nothing else):

    /usr/bin/python3 resources/make_icons.py

The output is deterministic: running it twice gives the same bytes.
"""

import math
import os
import struct
import sys
import zlib

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------
# Icon shapes
#
# Icons are drawn in a unit square (u, v), v upward, and mapped into the em box.
# Every shape is a closed contour; filled contours are emitted clockwise and
# holes counter-clockwise, as TrueType's non-zero fill expects, so overlapping
# filled shapes simply merge.

UNITS_PER_EM = 1000
ASCENT = 850
DESCENT = -150
BOX_X, BOX_Y, BOX_SIZE = 100, -50, 800
# A fixed timestamp keeps the font reproducible (2024-01-01, seconds since 1904).
FONT_TIMESTAMP = 3786825600


def _signed_area(pts):
    area = 0.0
    for i, (x0, y0) in enumerate(pts):
        x1, y1 = pts[(i + 1) % len(pts)]
        area += x0 * y1 - x1 * y0
    return area / 2.0


class Icon:
    def __init__(self):
        self.shapes = []  # ("poly", pts, hole) or ("circle", cx, cy, r, hole)

    # -- primitives ---------------------------------------------------------
    def poly(self, pts, hole=False):
        self.shapes.append(("poly", [tuple(p) for p in pts], hole))
        return self

    def circle(self, cx, cy, r, hole=False):
        self.shapes.append(("circle", cx, cy, r, hole))
        return self

    def rect(self, x0, y0, x1, y1, hole=False):
        return self.poly([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], hole)

    def ring(self, cx, cy, r, w):
        self.circle(cx, cy, r)
        return self.circle(cx, cy, r - w, hole=True)

    def frame(self, x0, y0, x1, y1, w):
        self.rect(x0, y0, x1, y1)
        return self.rect(x0 + w, y0 + w, x1 - w, y1 - w, hole=True)

    def line(self, x0, y0, x1, y1, w, cap=0.0):
        dx, dy = x1 - x0, y1 - y0
        n = math.hypot(dx, dy)
        ux, uy = dx / n, dy / n
        px, py = -uy * w / 2, ux * w / 2
        x0, y0 = x0 - ux * cap, y0 - uy * cap
        x1, y1 = x1 + ux * cap, y1 + uy * cap
        return self.poly([(x0 + px, y0 + py), (x1 + px, y1 + py),
                          (x1 - px, y1 - py), (x0 - px, y0 - py)])

    def arc(self, cx, cy, r, w, a0, a1, steps=24):
        """Annular sector from angle a0 to a1 (degrees), centre line radius r."""
        outer, inner = [], []
        for i in range(steps + 1):
            a = math.radians(a0 + (a1 - a0) * i / steps)
            outer.append((cx + (r + w / 2) * math.cos(a), cy + (r + w / 2) * math.sin(a)))
            inner.append((cx + (r - w / 2) * math.cos(a), cy + (r - w / 2) * math.sin(a)))
        return self.poly(outer + inner[::-1])

    def arc_arrow(self, cx, cy, r, w, a0, a1, head):
        """Arc from a0 to a1 with an arrow head at a1 pointing along the arc."""
        self.arc(cx, cy, r, w, a0, a1)
        a = math.radians(a1)
        sign = 1 if a1 > a0 else -1
        tx, ty = -math.sin(a) * sign, math.cos(a) * sign  # direction of travel
        ex, ey = cx + r * math.cos(a), cy + r * math.sin(a)
        nx, ny = math.cos(a), math.sin(a)
        return self.poly([(ex + nx * head, ey + ny * head),
                          (ex + tx * head * 1.2, ey + ty * head * 1.2),
                          (ex - nx * head, ey - ny * head)])

    # -- transforms ---------------------------------------------------------
    def rotated(self, degrees):
        c, s = math.cos(math.radians(degrees)), math.sin(math.radians(degrees))

        def tf(u, v):
            u, v = u - 0.5, v - 0.5
            return (0.5 + u * c - v * s, 0.5 + u * s + v * c)

        return self._mapped(tf)

    def mirrored(self):
        return self._mapped(lambda u, v: (1.0 - u, v))

    def _mapped(self, tf):
        out = Icon()
        for shape in self.shapes:
            if shape[0] == "poly":
                out.shapes.append(("poly", [tf(u, v) for u, v in shape[1]], shape[2]))
            else:
                cx, cy = tf(shape[1], shape[2])
                out.shapes.append(("circle", cx, cy, shape[3], shape[4]))
        return out

    # -- output -------------------------------------------------------------
    def draw(self, pen):
        def em(u, v):
            return (round(BOX_X + BOX_SIZE * u), round(BOX_Y + BOX_SIZE * v))

        for shape in self.shapes:
            if shape[0] == "poly":
                pts = [em(u, v) for u, v in shape[1]]
                # dedupe points that rounding merged
                clean = []
                for p in pts:
                    if not clean or clean[-1] != p:
                        clean.append(p)
                if len(clean) > 1 and clean[0] == clean[-1]:
                    clean.pop()
                if len(clean) < 3:
                    continue
                clockwise = _signed_area(clean) < 0
                if clockwise == shape[2]:  # holes go counter-clockwise
                    clean.reverse()
                pen.moveTo(clean[0])
                for p in clean[1:]:
                    pen.lineTo(p)
                pen.closePath()
            else:
                _, cx, cy, r, hole = shape
                # Eight quadratic segments with only off-curve points; the
                # implied on-curve midpoints lie on the circle.
                k = r / math.cos(math.pi / 8)
                angles = [math.pi / 8 + i * math.pi / 4 for i in range(8)]
                if not hole:
                    angles.reverse()  # clockwise
                pts = [em(cx + k * math.cos(a), cy + k * math.sin(a)) for a in angles]
                pen.qCurveTo(*pts, None)
                pen.closePath()


def arrow_right():
    return Icon().poly([(0.1, 0.42), (0.55, 0.42), (0.55, 0.2), (0.9, 0.5),
                        (0.55, 0.8), (0.55, 0.58), (0.1, 0.58)])


def check():
    return Icon().line(0.12, 0.5, 0.38, 0.22, 0.14, cap=0.05).line(0.38, 0.22, 0.88, 0.8, 0.14,
                                                                   cap=0.05)


def cross(w=0.14):
    return Icon().line(0.18, 0.18, 0.82, 0.82, w).line(0.18, 0.82, 0.82, 0.18, w)


def gear():
    icon = Icon().circle(0.5, 0.5, 0.3)
    for i in range(8):
        a = math.radians(i * 45)
        c, s = math.cos(a), math.sin(a)
        icon.line(0.5 + 0.22 * c, 0.5 + 0.22 * s, 0.5 + 0.44 * c, 0.5 + 0.44 * s, 0.14)
    return icon.circle(0.5, 0.5, 0.13, hole=True)


def folder():
    return Icon().poly([(0.05, 0.12), (0.95, 0.12), (0.95, 0.72), (0.5, 0.72), (0.42, 0.85),
                        (0.05, 0.85)]).rect(0.12, 0.19, 0.88, 0.62, hole=True)


def save():
    icon = Icon().poly([(0.08, 0.08), (0.92, 0.08), (0.92, 0.75), (0.75, 0.92), (0.08, 0.92)])
    icon.rect(0.2, 0.16, 0.8, 0.48, hole=True)
    icon.rect(0.28, 0.62, 0.66, 0.92, hole=True)
    return icon.rect(0.52, 0.68, 0.6, 0.86)


def lens(sign):
    icon = Icon().ring(0.42, 0.58, 0.32, 0.1).line(0.64, 0.36, 0.9, 0.1, 0.14, cap=0.03)
    icon.rect(0.27, 0.54, 0.57, 0.62)
    if sign == "+":
        icon.rect(0.38, 0.43, 0.46, 0.73)
    return icon


def brush():
    icon = Icon().line(0.42, 0.45, 0.9, 0.93, 0.12)
    icon.poly([(0.32, 0.55), (0.45, 0.42), (0.35, 0.24), (0.2, 0.12), (0.06, 0.08),
               (0.1, 0.22), (0.18, 0.38)])
    return icon


def dice():
    icon = Icon().frame(0.08, 0.08, 0.92, 0.92, 0.09)
    for u, v in ((0.3, 0.3), (0.7, 0.7), (0.5, 0.5), (0.3, 0.7), (0.7, 0.3)):
        icon.circle(u, v, 0.08)
    return icon


def almond(r, steps=24):
    upper = [(0.5 - r + 2 * r * i / steps, 0.5 + 0.62 * r * math.sin(math.pi * i / steps))
             for i in range(steps + 1)]
    lower = [(0.5 + r - 2 * r * i / steps, 0.5 - 0.62 * r * math.sin(math.pi * i / steps))
             for i in range(1, steps)]
    return upper + lower


def eye():
    return Icon().poly(almond(0.46)).poly(almond(0.36), hole=True).circle(0.5, 0.5, 0.15)


def grid():
    icon = Icon()
    for i in range(3):
        for j in range(3):
            x, y = 0.08 + i * 0.3, 0.08 + j * 0.3
            icon.rect(x, y, x + 0.24, y + 0.24)
    return icon


def skip_forward():
    return Icon().poly([(0.15, 0.15), (0.15, 0.85), (0.68, 0.5)]).rect(0.7, 0.15, 0.84, 0.85)


def undo():
    return Icon().arc_arrow(0.5, 0.45, 0.3, 0.12, -30, 200, 0.14)


def home():
    icon = Icon().poly([(0.05, 0.5), (0.5, 0.92), (0.95, 0.5), (0.85, 0.5), (0.85, 0.08),
                        (0.15, 0.08), (0.15, 0.5)])
    return icon.rect(0.42, 0.08, 0.58, 0.35, hole=True)


def image():
    icon = Icon().frame(0.05, 0.12, 0.95, 0.88, 0.08)
    icon.poly([(0.13, 0.2), (0.4, 0.6), (0.6, 0.35), (0.72, 0.5), (0.87, 0.2)])
    return icon.circle(0.7, 0.68, 0.08)


def star():
    pts = []
    for i in range(10):
        a = math.radians(90 + i * 36)
        r = 0.45 if i % 2 == 0 else 0.19
        pts.append((0.5 + r * math.cos(a), 0.48 + r * math.sin(a)))
    return Icon().poly(pts)


def heart():
    icon = Icon().circle(0.3, 0.62, 0.22).circle(0.7, 0.62, 0.22)
    return icon.poly([(0.1, 0.54), (0.5, 0.08), (0.9, 0.54), (0.5, 0.7)])


def refresh():
    icon = Icon().arc_arrow(0.5, 0.5, 0.33, 0.11, 110, 240, 0.13)
    return icon.arc_arrow(0.5, 0.5, 0.33, 0.11, -70, 60, 0.13)


def lock():
    icon = Icon().rect(0.15, 0.08, 0.85, 0.55)
    icon.arc(0.5, 0.55, 0.22, 0.1, 0, 180)
    icon.rect(0.23, 0.5, 0.33, 0.56).rect(0.67, 0.5, 0.77, 0.56)
    return icon.rect(0.45, 0.2, 0.55, 0.4, hole=True)


def info():
    return Icon().ring(0.5, 0.5, 0.45, 0.08).circle(0.5, 0.7, 0.06).rect(0.45, 0.22, 0.55, 0.56)


def sliders():
    icon = Icon()
    for v, u in ((0.2, 0.65), (0.5, 0.3), (0.8, 0.55)):
        icon.rect(0.08, v - 0.035, 0.92, v + 0.035).rect(u - 0.06, v - 0.1, u + 0.06, v + 0.1)
    return icon


def trash():
    icon = Icon().rect(0.1, 0.78, 0.9, 0.86).rect(0.38, 0.86, 0.62, 0.94)
    icon.poly([(0.18, 0.72), (0.82, 0.72), (0.75, 0.06), (0.25, 0.06)])
    for u in (0.37, 0.5, 0.63):
        icon.rect(u - 0.035, 0.16, u + 0.035, 0.62, hole=True)
    return icon


def tray_arrow(up):
    icon = Icon().rect(0.08, 0.08, 0.92, 0.16).rect(0.08, 0.16, 0.16, 0.38)
    icon.rect(0.84, 0.16, 0.92, 0.38)
    arrow = Icon().poly([(0.43, 0.28), (0.57, 0.28), (0.57, 0.62), (0.75, 0.62), (0.5, 0.92),
                         (0.25, 0.62), (0.43, 0.62)])
    if not up:
        arrow = arrow._mapped(lambda u, v: (u, 1.2 - v))
    icon.shapes += arrow.shapes
    return icon


def menu():
    return Icon().rect(0.08, 0.16, 0.92, 0.28).rect(0.08, 0.44, 0.92, 0.56).rect(
        0.08, 0.72, 0.92, 0.84)


def close_circle():
    icon = Icon().ring(0.5, 0.5, 0.45, 0.08)
    icon.line(0.33, 0.33, 0.67, 0.67, 0.1).line(0.33, 0.67, 0.67, 0.33, 0.1)
    return icon


def fullscreen():
    icon = Icon()
    for (u, v, du, dv) in ((0.08, 0.08, 1, 1), (0.92, 0.08, -1, 1), (0.08, 0.92, 1, -1),
                           (0.92, 0.92, -1, -1)):
        icon.poly([(u, v), (u + du * 0.32, v), (u + du * 0.32, v + dv * 0.1),
                   (u + du * 0.1, v + dv * 0.1), (u + du * 0.1, v + dv * 0.32),
                   (u, v + dv * 0.32)])
    return icon


# Glyph codes are part of the interface: the UI refers to icons by these letters.
ICONS = [
    ("A", "play", lambda: Icon().poly([(0.2, 0.1), (0.2, 0.9), (0.85, 0.5)])),
    ("B", "pause", lambda: Icon().rect(0.2, 0.1, 0.42, 0.9).rect(0.58, 0.1, 0.8, 0.9)),
    ("C", "stop", lambda: Icon().rect(0.15, 0.15, 0.85, 0.85)),
    ("D", "plus", lambda: Icon().rect(0.42, 0.1, 0.58, 0.9).rect(0.1, 0.42, 0.9, 0.58)),
    ("E", "minus", lambda: Icon().rect(0.1, 0.42, 0.9, 0.58)),
    ("F", "arrowleft", lambda: arrow_right().rotated(180)),
    ("G", "arrowright", arrow_right),
    ("H", "arrowup", lambda: arrow_right().rotated(90)),
    ("I", "arrowdown", lambda: arrow_right().rotated(-90)),
    ("J", "check", check),
    ("K", "cross", cross),
    ("L", "gear", gear),
    ("M", "folder", folder),
    ("N", "save", save),
    ("a", "zoomin", lambda: lens("+")),
    ("b", "zoomout", lambda: lens("-")),
    ("c", "brush", brush),
    ("d", "dice", dice),
    ("e", "eye", eye),
    ("f", "grid", grid),
    ("g", "record", lambda: Icon().circle(0.5, 0.5, 0.4)),
    ("h", "skipforward", skip_forward),
    ("i", "skipback", lambda: skip_forward().mirrored()),
    ("j", "undo", undo),
    ("k", "redo", lambda: undo().mirrored()),
    ("l", "home", home),
    ("m", "image", image),
    ("n", "star", star),
    ("o", "heart", heart),
    ("p", "refresh", refresh),
    ("q", "lock", lock),
    ("r", "info", info),
    ("s", "sliders", sliders),
    ("t", "trash", trash),
    ("u", "upload", lambda: tray_arrow(True)),
    ("v", "download", lambda: tray_arrow(False)),
    ("w", "menu", menu),
    ("x", "closecircle", close_circle),
    ("y", "fullscreen", fullscreen),
    ("z", "square", lambda: Icon().frame(0.12, 0.12, 0.88, 0.88, 0.1)),
]


def build_font(path):
    fb = FontBuilder(UNITS_PER_EM, isTTF=True)
    fb.updateHead(created=FONT_TIMESTAMP, modified=FONT_TIMESTAMP)
    order = [".notdef", "space"] + [name for _, name, _ in ICONS]
    fb.setupGlyphOrder(order)
    cmap = {0x20: "space"}
    cmap.update({ord(code): name for code, name, _ in ICONS})
    fb.setupCharacterMap(cmap)

    glyphs = {}
    pen = TTGlyphPen(None)
    Icon().frame(0.0, 0.0, 0.6, 1.0, 0.06).draw(pen)
    glyphs[".notdef"] = pen.glyph()
    glyphs["space"] = TTGlyphPen(None).glyph()
    for _, name, make in ICONS:
        pen = TTGlyphPen(None)
        make().draw(pen)
        glyphs[name] = pen.glyph()
    fb.setupGlyf(glyphs)

    glyf = fb.font["glyf"]
    metrics = {}
    for name in order:
        metrics[name] = (UNITS_PER_EM, getattr(glyf[name], "xMin", 0))
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=ASCENT, descent=DESCENT)
    fb.setupNameTable({
        "familyName": "pixelwrenicons",
        "styleName": "Regular",
        "uniqueFontIdentifier": "pixelwrenicons-Regular-1.0",
        "fullName": "pixelwrenicons",
        "version": "Version 1.000",
        "psName": "pixelwrenicons",
    })
    fb.setupOS2(sTypoAscender=ASCENT, sTypoDescender=DESCENT, sTypoLineGap=0,
                usWinAscent=ASCENT, usWinDescent=-DESCENT, achVendID="NONE")
    fb.setupPost()
    fb.save(path)


# ---------------------------------------------------------------------------
# Logo
#
# A disc on a dark rounded square; inside it the pattern turns from stripes
# (upper left) into spots (lower right), like the filter's own output.

SIZE = 256
SUPERSAMPLE = 4


def _rounded_square_coverage(x, y, inset, radius):
    lo, hi = inset + radius, SIZE - inset - radius
    dx = max(lo - x, 0.0, x - hi)
    dy = max(lo - y, 0.0, y - hi)
    return math.hypot(dx, dy) <= radius


def _pattern(x, y):
    u, v = (x - 128.0) / 100.0, (y - 128.0) / 100.0
    # stripes following a gentle swirl
    angle = 0.9 + 0.35 * math.hypot(u, v)
    stripes = math.cos(15.0 * (u * math.cos(angle) + v * math.sin(angle)))
    # three plane waves at 120 degrees make a hexagonal lattice of round spots
    spots = sum(math.cos(17.0 * (u * math.cos(a) + v * math.sin(a)))
                for a in (0.3, 0.3 + 2.0944, 0.3 + 4.1888)) - 0.9
    t = min(max((u + v) * 0.9 + 0.5, 0.0), 1.0)
    return stripes * (1.0 - t) + spots * t > 0.0


def build_png(path):
    background = (0x1e, 0x22, 0x2a)
    disc = (0x1c, 0x1f, 0x26)
    ink = (0xf2, 0xe8, 0xd0)
    rim = (0xe0, 0x7a, 0x3c)
    rows = []
    n = SUPERSAMPLE * SUPERSAMPLE
    for py in range(SIZE):
        row = bytearray([0])  # filter type None
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = px + (sx + 0.5) / SUPERSAMPLE
                    y = py + (sy + 0.5) / SUPERSAMPLE
                    if not _rounded_square_coverage(x, y, 4.0, 44.0):
                        continue
                    r = math.hypot(x - 128.0, y - 128.0)
                    if r > 108.0:
                        colour = background
                    elif r > 100.0:
                        colour = rim
                    else:
                        colour = ink if _pattern(x, y) else disc
                    acc[0] += colour[0]
                    acc[1] += colour[1]
                    acc[2] += colour[2]
                    acc[3] += 255.0
            if acc[3] > 0.0:
                # straight alpha: average colour over the covered samples
                covered = acc[3] / 255.0
                row += bytes([round(acc[0] / covered), round(acc[1] / covered),
                              round(acc[2] / covered), round(acc[3] / n)])
            else:
                row += bytes(4)
        rows.append(bytes(row))

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    ihdr = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else HERE
    build_font(os.path.join(out, "pixelwrenicons.ttf"))
    build_png(os.path.join(out, "icon256.png"))


if __name__ == "__main__":
    main()
