#!/usr/bin/env python3
"""Reads facts off a screenshot of the Calvenor window (binary PPM on stdin or a file).

  colours <ppm>            prints, for each of the five curve colours, how many pixels have it
  plot <ppm>               prints the plot rectangle "left top right bottom" found from the axes
  detail <ppm> l t r b     prints how many 2 x 2 blocks of the rectangle hold more than one colour,
                           the least over the four ways of aligning them: 0 when the picture is a
                           picture of half the resolution scaled up
  status <ppm> <out.pgm> [scale]   crops the status line (19 pixels times the program's scale
                           factor), scales it up for OCR and writes it as PGM
"""
import sys

CURVE_COLOURS = {
    "Cr=0": [(0, 128, 0)],
    "Cr=0.25": [(69, 160, 0)],
    "Cr=0.5": [(166, 191, 0), (166, 192, 0)],
    "Cr=0.75": [(223, 157, 0)],
    "Cr=1": [(255, 69, 0)],
}


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while data[pos:pos + 1] not in (b"\n", b""):
                pos += 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise SystemExit("expected an 8-bit binary PPM")
    return int(fields[1]), int(fields[2]), data[pos:]


def pixel(img, x, y):
    w, _, px = img
    i = 3 * (y * w + x)
    return px[i], px[i + 1], px[i + 2]


def colours(img):
    w, h, px = img
    counts = {}
    for i in range(0, 3 * w * h, 3):
        c = (px[i], px[i + 1], px[i + 2])
        counts[c] = counts.get(c, 0) + 1
    for name, options in CURVE_COLOURS.items():
        print(name, sum(counts.get(c, 0) for c in options))


def longest_runs(img, dark):
    """Longest vertical and horizontal runs of dark pixels: the Y and X axis lines."""
    w, h, _ = img
    best_v = (0, 0, 0)  # length, x, last y
    for x in range(w):
        run = 0
        for y in range(h):
            run = run + 1 if dark(pixel(img, x, y)) else 0
            if run > best_v[0]:
                best_v = (run, x, y)
    best_h = (0, 0, 0)  # length, last x, y
    for y in range(h):
        run = 0
        for x in range(w):
            run = run + 1 if dark(pixel(img, x, y)) else 0
            if run > best_h[0]:
                best_h = (run, x, y)
    return best_v, best_h


def plot(img):
    dark = lambda c: max(c) < 60
    (vlen, vx, vy), (hlen, hx, hy) = longest_runs(img, dark)
    left, top = vx, vy - vlen + 1
    right, bottom = hx + 1, hy  # a GDI line leaves out its end pixel
    print(left, top, right, bottom)


def detail(img, left, top, right, bottom):
    least = None
    for oy in (0, 1):
        for ox in (0, 1):
            count = 0
            for y in range(top + oy, bottom - 1, 2):
                for x in range(left + ox, right - 1, 2):
                    p = pixel(img, x, y)
                    if p != pixel(img, x + 1, y) or p != pixel(img, x, y + 1) or \
                            p != pixel(img, x + 1, y + 1):
                        count += 1
            least = count if least is None else min(least, count)
    print(least)


def status(img, out, factor=1.0):
    w, h, _ = img
    top = h - int(round(19 * factor))
    scale = max(1, int(round(4 / factor)))
    rows = []
    for y in range(top, h):
        row = bytearray()
        for x in range(w):
            r, g, b = pixel(img, x, y)
            row.append((r * 299 + g * 587 + b * 114) // 1000)
        rows.append(row)
    with open(out, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (w * scale, len(rows) * scale))
        for row in rows:
            wide = bytearray()
            for v in row:
                wide.extend([v] * scale)
            for _ in range(scale):
                f.write(wide)


def main():
    cmd, path = sys.argv[1], sys.argv[2]
    img = read_ppm(path)
    if cmd == "colours":
        colours(img)
    elif cmd == "plot":
        plot(img)
    elif cmd == "detail":
        detail(img, *(int(v) for v in sys.argv[3:7]))
    elif cmd == "status":
        status(img, sys.argv[3], float(sys.argv[4]) if len(sys.argv) > 4 else 1.0)
    else:
        raise SystemExit("unknown command " + cmd)


if __name__ == "__main__":
    main()
