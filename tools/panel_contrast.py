#!/usr/bin/env python3
"""Measures how legible the text of the ranking and options panels is over the title.

Runs kelvorine-replay through the title with the ranking panel open and then the options panel
open, each for one whole loop of the scrolling title backdrop (240 frames), and draws every
STEP-th frame with the software renderer. In each drawn frame, every glyph sprite of the font
sheet is measured against the picture actually drawn:

  glyph    the screen pixels whose font texel belongs to the light body of the glyph;
  around   the pixels within RING texels (as drawn) of the body that belong to no glyph's body or shaded
           edge (so: the outline, the panel and whatever shows through it).

Contrast is the ratio of relative luminances (L1 + 0.05) / (L2 + 0.05), the glyph's mean against
the mean of its surroundings ("mean") and against their 90th percentile ("p90", the brighter
tenth: stars, logo and item text showing through). Python 3 standard library only.

    panel_contrast.py REPLAY DATA_FOLDER [--ini FILE] [--step N] [--keep DIR] [--worst N]
                      [--min-mean RATIO] [--min-p90 RATIO]

With --min-mean or --min-p90, exits 1 when a glyph of either panel has a lower contrast by
that measure.
"""
import argparse
import json
import os
import struct
import subprocess
import sys
import tempfile
import zlib

RING = 3  # texels of the glyph's own drawn size (3 pixels for the options, 6 for the ranking)
LOOP = 240  # frames until the title backdrop repeats (3 pixels a frame over 720)
FONT_TEXTURE = 6


def read_png(path):
    """8-bit PNG of colour type 2, 3 or 6 -> (width, height, rows of (r, g, b) or None)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + ": not a PNG")
    pos, idat, plte, trns = 8, b"", None, b""
    width = height = ctype = 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, ctype, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or interlace != 0 or ctype not in (2, 3, 6):
                raise ValueError(path + ": only 8-bit, non-interlaced RGB, RGBA or palette")
        elif kind == b"PLTE":
            plte = body
        elif kind == b"tRNS":
            trns = body
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    raw = zlib.decompress(idat)
    bpp = {2: 3, 3: 1, 6: 4}[ctype]
    stride = width * bpp
    prev = bytearray(stride)
    rows = []
    i = 0
    for _ in range(height):
        ftype = raw[i]
        line = bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b = prev[x]
            c = prev[x - bpp] if x >= bpp else 0
            if ftype == 1:
                line[x] = (line[x] + a) & 255
            elif ftype == 2:
                line[x] = (line[x] + b) & 255
            elif ftype == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[x] = (line[x] + pred) & 255
        prev = line
        if ctype == 3:
            row = []
            for v in line:
                opaque = v >= len(trns) or trns[v] != 0
                row.append((plte[3 * v], plte[3 * v + 1], plte[3 * v + 2]) if opaque else None)
        else:
            row = [(line[x], line[x + 1], line[x + 2])
                   if ctype == 2 or line[x + 3] != 0 else None for x in range(0, stride, bpp)]
        rows.append(row)
    return width, height, rows


def channel(v):
    v /= 255.0
    return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4


def luminance(rgb):
    return 0.2126 * channel(rgb[0]) + 0.7152 * channel(rgb[1]) + 0.0722 * channel(rgb[2])


def ratio(a, b):
    hi, lo = max(a, b), min(a, b)
    return (hi + 0.05) / (lo + 0.05)


def body_texels(font_rows):
    """{(x, y): kind} of the font texels: 2 for the light body of a glyph, 1 for the shaded
    texels where the body meets its outline (part of neither the glyph nor its surroundings)."""
    kinds = {}
    for y, row in enumerate(font_rows):
        for x, px in enumerate(row):
            if px is not None:
                lum = luminance(px)
                if lum >= 0.35:
                    kinds[(x, y)] = 2
                elif lum >= 0.03:
                    kinds[(x, y)] = 1
    return kinds


def glyph_bodies(draws, body):
    """Per font sprite of a frame: the screen pixels of its body, of its shaded edge, and where."""
    out = []
    for d in draws:
        tex, x, y, w, h, sx, sy, sw, sh = d[:9]
        if tex != FONT_TEXTURE or w <= 0 or h <= 0:
            continue
        pix, edge = set(), set()
        for py in range(max(0, y), min(720, y + h)):
            ty = sy + ((2 * (py - y) + 1) * sh) // (2 * h)
            for px in range(max(0, x), min(1280, x + w)):
                tx = sx + ((2 * (px - x) + 1) * sw) // (2 * w)
                kind = body.get((tx, ty))
                if kind == 2:
                    pix.add((px, py))
                elif kind == 1:
                    edge.add((px, py))
        if pix:
            scale = max(1, h // sh)
            out.append((pix, edge, (x, y, sx // 16 + 16 * (sy // 32), scale)))
    return out


def measure_frame(shot_rows, bodies):
    """(mean ratio, p90 ratio) per glyph of one frame."""
    lum = {}

    def L(x, y):
        v = lum.get((x, y))
        if v is None:
            v = lum[(x, y)] = luminance(shot_rows[y][x])
        return v

    every_body = bytearray(1280 * 720)
    for pix, edge, _ in bodies:
        for (x, y) in pix | edge:
            every_body[y * 1280 + x] = 1
    results = []
    for pix, _, where in bodies:
        ring_px = RING * where[3]
        g = sum(L(x, y) for (x, y) in pix) / len(pix)
        x0 = min(p[0] for p in pix) - ring_px
        y0 = min(p[1] for p in pix) - ring_px
        w = max(p[0] for p in pix) + ring_px + 1 - x0
        h = max(p[1] for p in pix) + ring_px + 1 - y0
        grid = [[0] * w for _ in range(h)]
        for (x, y) in pix:
            grid[y - y0][x - x0] = 1
        # Square dilation by ring_px, one axis at a time, with running sums.
        for row in grid:
            acc = [0]
            for v in row:
                acc.append(acc[-1] + v)
            row[:] = [1 if acc[min(w, i + ring_px + 1)] - acc[max(0, i - ring_px)] else 0 for i in range(w)]
        ring = []
        for i in range(w):
            acc = [0]
            for j in range(h):
                acc.append(acc[-1] + grid[j][i])
            x = x0 + i
            if not 0 <= x < 1280:
                continue
            for j in range(h):
                y = y0 + j
                if 0 <= y < 720 and acc[min(h, j + ring_px + 1)] - acc[max(0, j - ring_px)] \
                        and not every_body[y * 1280 + x]:
                    ring.append(L(x, y))
        if not ring:
            continue
        ring.sort()
        mean = sum(ring) / len(ring)
        p90 = ring[min(len(ring) - 1, int(0.9 * len(ring)))]
        results.append((ratio(g, mean), ratio(g, p90), where))
    return results


def script(step_rows):
    """Replay script: ranking open for a loop, then options open for a loop, cursor walking."""
    t = "1700000000"
    lines = ["0 0 " + t] * 12
    lines += ["2 0 " + t, "0 0 " + t, "0 1 " + t] + ["0 0 " + t] * 12
    lines += ["0 0 " + t] * LOOP
    lines += ["0 1 " + t] + ["0 0 " + t] * 12
    lines += ["2 0 " + t, "0 0 " + t, "0 1 " + t] + ["0 0 " + t] * 12
    for i in range(LOOP):
        lines.append(("2 0 " if step_rows and i % 22 == 21 else "0 0 ") + t)
    return "\n".join(lines) + "\n"


def percentile(values, q):
    values = sorted(values)
    return values[min(len(values) - 1, int(q * len(values)))]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("replay")
    ap.add_argument("data")
    ap.add_argument("--ini")
    ap.add_argument("--step", type=int, default=8)
    ap.add_argument("--keep", help="folder that keeps the drawn frames")
    ap.add_argument("--min-mean", type=float)
    ap.add_argument("--min-p90", type=float)
    ap.add_argument("--worst", type=int, default=0, help="list the N worst glyphs of each panel")
    args = ap.parse_args()

    with open(os.path.join(args.data, "grp", "grp_0003.txt"), "rb") as f:
        names = f.read()[2:]
    record = names[36 * FONT_TEXTURE:36 * FONT_TEXTURE + 32].decode("utf-16-le").rstrip("\0")
    _, _, font_rows = read_png(os.path.join(args.data, record.replace("\\", "/")))
    body = body_texels(font_rows)

    work = tempfile.mkdtemp()
    shots = args.keep or work
    os.makedirs(shots, exist_ok=True)
    cmd = [args.replay, "--start", "title", "--sprites", "--png-every", str(args.step), shots,
           "--data", args.data]
    if args.ini:
        cmd += ["--ini", args.ini]
    trace = subprocess.run(cmd, input=script(True), capture_output=True, text=True, check=True).stdout

    panels = {1: ("ranking", []), 2: ("options", [])}
    for frame, line in enumerate(trace.splitlines()):
        d = json.loads(line)
        if frame % args.step or d["subOpen"] != 8 or d["menuChoice"] not in panels:
            continue
        _, _, rows = read_png(os.path.join(shots, "frame_%06d.png" % frame))
        panels[d["menuChoice"]][1].extend(measure_frame(rows, glyph_bodies(d["draws"], body)))
    if not args.keep:
        for name in os.listdir(work):
            os.remove(os.path.join(work, name))
        os.rmdir(work)

    failed = False
    print("panel     glyphs   mean: min  median  >=4.5    p90: min  median  >=4.5")
    for choice in (1, 2):
        name, res = panels[choice]
        if not res:
            print("%-8s  no glyphs measured" % name)
            failed = True
            continue
        means = [r[0] for r in res]
        p90s = [r[1] for r in res]
        share = lambda v: 100.0 * sum(1 for x in v if x >= 4.5) / len(v)
        print("%-8s %7d   %9.2f %7.2f %5.1f%%   %8.2f %7.2f %5.1f%%" %
              (name, len(res), min(means), percentile(means, 0.5), share(means),
               min(p90s), percentile(p90s, 0.5), share(p90s)))
        for r in sorted(res, key=lambda r: r[1])[:args.worst]:
            print("    mean %.2f p90 %.2f at (%d, %d) %r" % (r[0], r[1], r[2][0], r[2][1], chr(r[2][2])))
        if args.min_mean is not None and min(means) < args.min_mean:
            print("%s: a glyph has a mean contrast of %.2f, below %.2f" % (name, min(means), args.min_mean))
            failed = True
        if args.min_p90 is not None and min(p90s) < args.min_p90:
            print("%s: a glyph has a p90 contrast of %.2f, below %.2f" % (name, min(p90s), args.min_p90))
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
