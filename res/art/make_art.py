#!/usr/bin/env python3
"""Draws the program's pictures: the wizard picture (wizard.bmp, 122 x 353,
the left edge of the wizard pages; 256 colours, run-length encoded, so that
setup.exe stays small) and the program icon (setup.ico: 16, 32 and 48
pixels, 32-bit colour: its soft edges need the alpha channel). Standard library only; the results are committed beside the
resource script, so a build needs neither Python nor this script.

    res/art/make_art.py [OUTPUT_DIR]      (default: res/)

Shapes are drawn as polygons with 4 x 4 supersampling; the motif is a fax
sheet above a fax board, on the same blue as the setup screen."""
import math
import os
import struct
import sys

SAMPLES = 4


class Canvas:
    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.width = width
        self.height = height
        self.pixels = [list(background) for _ in range(width * height)]

    def vertical_gradient(self, top, bottom):
        for y in range(self.height):
            t = y / max(1, self.height - 1)
            colour = [round(top[i] + (bottom[i] - top[i]) * t) for i in range(3)] + [255]
            for x in range(self.width):
                self.pixels[y * self.width + x] = list(colour)

    def polygon(self, points, colour, opacity=1.0):
        """Fills a polygon (even-odd rule) with anti-aliased edges."""
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        x0 = max(0, int(math.floor(min(xs))))
        x1 = min(self.width - 1, int(math.ceil(max(xs))))
        y0 = max(0, int(math.floor(min(ys))))
        y1 = min(self.height - 1, int(math.ceil(max(ys))))
        edges = list(zip(points, points[1:] + points[:1]))
        step = 1.0 / SAMPLES
        for py in range(y0, y1 + 1):
            # Coverage per pixel of this row, from the sub-sample rows.
            coverage = {}
            for sy in range(SAMPLES):
                y = py + (sy + 0.5) * step
                crossings = []
                for (ax, ay), (bx, by) in edges:
                    if (ay <= y < by) or (by <= y < ay):
                        crossings.append(ax + (y - ay) * (bx - ax) / (by - ay))
                crossings.sort()
                for i in range(0, len(crossings) - 1, 2):
                    left, right = crossings[i], crossings[i + 1]
                    for px in range(max(x0, int(left)), min(x1, int(right)) + 1):
                        for sx in range(SAMPLES):
                            x = px + (sx + 0.5) * step
                            if left <= x < right:
                                coverage[px] = coverage.get(px, 0) + 1
            for px, count in coverage.items():
                self.blend(px, py, colour, opacity * count / (SAMPLES * SAMPLES))

    def blend(self, x, y, colour, alpha):
        pixel = self.pixels[y * self.width + x]
        a = pixel[3] / 255.0
        out_a = alpha + a * (1 - alpha)
        if out_a <= 0:
            return
        for i in range(3):
            pixel[i] = round((colour[i] * alpha + pixel[i] * a * (1 - alpha)) / out_a)
        pixel[3] = round(out_a * 255)

    def rect(self, x0, y0, x1, y1, colour, opacity=1.0):
        self.polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], colour, opacity)

    def rounded_rect(self, x0, y0, x1, y1, r, colour, opacity=1.0):
        points = []
        for cx, cy, start in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0), (x0 + r, y1 - r, 90),
                              (x0 + r, y0 + r, 180)):
            for k in range(7):
                angle = math.radians(start + k * 15)
                points.append((cx + r * math.cos(angle), cy + r * math.sin(angle)))
        self.polygon(points, colour, opacity)

    def line(self, ax, ay, bx, by, width, colour, opacity=1.0):
        dx, dy = bx - ax, by - ay
        length = math.hypot(dx, dy) or 1.0
        nx, ny = -dy / length * width / 2, dx / length * width / 2
        self.polygon([(ax + nx, ay + ny), (bx + nx, by + ny), (bx - nx, by - ny), (ax - nx, ay - ny)], colour,
                     opacity)

    def arc(self, cx, cy, radius, start, end, width, colour, opacity=1.0):
        steps = 12
        outer, inner = [], []
        for k in range(steps + 1):
            angle = math.radians(start + (end - start) * k / steps)
            outer.append((cx + (radius + width / 2) * math.cos(angle), cy + (radius + width / 2) * math.sin(angle)))
            inner.append((cx + (radius - width / 2) * math.cos(angle), cy + (radius - width / 2) * math.sin(angle)))
        self.polygon(outer + inner[::-1], colour, opacity)


def rotate(points, cx, cy, degrees):
    a = math.radians(degrees)
    c, s = math.cos(a), math.sin(a)
    return [(cx + (x - cx) * c - (y - cy) * s, cy + (x - cx) * s + (y - cy) * c) for x, y in points]


WHITE = (255, 255, 255)
PAPER_SHADE = (206, 216, 236)
INK = (40, 80, 190)
PCB = (22, 122, 66)
PCB_DARK = (12, 84, 44)
GOLD = (232, 186, 60)
CHIP = (28, 28, 36)
STEEL = (196, 202, 212)
STEEL_DARK = (120, 128, 142)
SIGNAL = (150, 210, 255)


def fax_sheet(canvas, x, y, w, h, fold, angle, lines, line_width):
    """A sheet with a folded top right corner and lines of text."""
    cx, cy = x + w / 2, y + h / 2
    body = [(x, y), (x + w - fold, y), (x + w, y + fold), (x + w, y + h), (x, y + h)]
    shadow = [(px + line_width, py + line_width) for px, py in body]
    canvas.polygon(rotate(shadow, cx, cy, angle), (0, 0, 40), 0.35)
    canvas.polygon(rotate(body, cx, cy, angle), WHITE)
    corner = [(x + w - fold, y), (x + w - fold, y + fold), (x + w, y + fold)]
    canvas.polygon(rotate(corner, cx, cy, angle), PAPER_SHADE)
    margin = w * 0.14
    for i, length in enumerate(lines):
        ly = y + h * 0.22 + i * h * 0.13
        right = x + margin + (w - 2 * margin) * length
        if i == 0:
            right = min(right, x + w - fold - margin * 0.5)
        a, b = rotate([(x + margin, ly), (right, ly)], cx, cy, angle)
        canvas.line(a[0], a[1], b[0], b[1], line_width, INK)


def fax_board(canvas, x, y, w, h, detail):
    """A plug-in card seen from the front: board, chips, edge fingers and the
    metal bracket with the line jack."""
    canvas.rounded_rect(x, y, x + w, y + h, h * 0.08, PCB)
    canvas.rect(x, y + h * 0.84, x + w, y + h, PCB_DARK)
    fingers = max(3, int(w / (h * 0.16)))
    finger_w = w * 0.7 / fingers
    for i in range(fingers):
        fx = x + w * 0.22 + i * (w * 0.74 / fingers)
        canvas.rect(fx, y + h * 0.86, fx + finger_w * 0.62, y + h * 1.02, GOLD)
    chips = [(0.30, 0.18, 0.28, 0.40), (0.64, 0.22, 0.22, 0.30)]
    if detail:
        chips.append((0.64, 0.58, 0.14, 0.16))
    for cx, cy, cw, ch in chips:
        canvas.rect(x + w * cx, y + h * cy, x + w * (cx + cw), y + h * (cy + ch), CHIP)
        if detail:
            pins = 5
            for k in range(pins):
                px = x + w * (cx + cw * (k + 0.5) / pins)
                canvas.rect(px - 0.6, y + h * cy - 1.6, px + 0.6, y + h * cy, STEEL)
                canvas.rect(px - 0.6, y + h * (cy + ch), px + 0.6, y + h * (cy + ch) + 1.6, STEEL)
    # the bracket on the left, with the telephone jack
    canvas.rect(x - w * 0.10, y - h * 0.12, x + w * 0.06, y + h * 1.06, STEEL)
    canvas.rect(x + w * 0.04, y - h * 0.12, x + w * 0.06, y + h * 1.06, STEEL_DARK)
    canvas.rect(x - w * 0.07, y + h * 0.30, x + w * 0.03, y + h * 0.56, CHIP)


def wizard_picture():
    canvas = Canvas(122, 353)
    canvas.vertical_gradient((0, 0, 240), (0, 0, 70))
    # faint rulings, like the lines of a form, fading downwards
    for k in range(10):
        y = 18 + k * 34
        canvas.line(0, y, 122, y - 10, 1.0, (255, 255, 255), 0.05)
    fax_sheet(canvas, 24, 78, 74, 98, 17, -7, [0.55, 1.0, 0.9, 1.0, 0.7, 0.4], 2.2)
    # the signal between sheet and board
    for k, radius in enumerate((12, 21, 30)):
        canvas.arc(61, 250, radius, 235, 305, 2.4, SIGNAL, 0.85 - 0.2 * k)
    fax_board(canvas, 26, 248, 80, 52, True)
    return canvas


def icon_picture(size):
    canvas = Canvas(size, size)
    s = size / 48.0
    line = max(1.0, 2.4 * s)
    if size <= 16:
        # drawn on the pixel grid: at this size smoothing only blurs
        canvas.rect(4, 1, 14, 12, (0, 0, 40), 0.35)
        canvas.polygon([(3, 0), (10, 0), (13, 3), (13, 11), (3, 11)], WHITE)
        canvas.polygon([(10, 0), (10, 3), (13, 3)], PAPER_SHADE)
        for y, right in ((3, 9), (5, 12), (7, 11)):
            canvas.rect(5, y, right, y + 1, INK)
        canvas.rect(1, 10, 15, 15, PCB)
        canvas.rect(1, 14, 15, 15, PCB_DARK)
        for fx in (4, 7, 10, 13):
            canvas.rect(fx - 1, 14, fx, 16, GOLD)
        canvas.rect(4, 11, 8, 13, CHIP)
        canvas.rect(0, 9, 2, 16, STEEL)
        return canvas
    fax_sheet(canvas, 9 * s, 1 * s, 30 * s, 34 * s, 9 * s, 0, [0.55, 1.0, 0.85, 1.0], line)
    fax_board(canvas, 6 * s, 30 * s, 40 * s, 15 * s, False)
    return canvas


def colour_distance(a, b):
    return (a[0] - b[0]) ** 2 + (a[1] - b[1]) ** 2 + (a[2] - b[2]) ** 2


def make_palette(pixels, size=256, common=20, rounds=8):
    """A palette of at most `size` colours for the pixels. Every colour that
    covers at least `common` pixels (the gradient, the flat faces) keeps its
    exact value; the rare ones, the anti-aliased edges, share the remaining
    entries, which start spread out (farthest first) and settle as the means
    of their colours. Deterministic: ties go to the first colour drawn."""
    counts = {}
    for colour in pixels:
        counts[colour] = counts.get(colour, 0) + 1
    if len(counts) <= size:
        return list(counts)
    fixed = [c for c in counts if counts[c] >= common]
    rare = [c for c in counts if counts[c] < common]
    shared = [max(rare, key=lambda c: counts[c])]
    nearest_fixed = {c: min(colour_distance(c, f) for f in fixed) if fixed else 1 << 30 for c in rare}
    nearest = {c: min(nearest_fixed[c], colour_distance(c, shared[0])) for c in rare}
    while len(shared) < size - len(fixed):
        pick = max(rare, key=lambda c: nearest[c])
        shared.append(pick)
        for c in rare:
            nearest[c] = min(nearest[c], colour_distance(c, pick))
    for _ in range(rounds):
        palette = fixed + shared
        sums = {}
        for c in rare:
            j = min(range(len(palette)), key=lambda k: colour_distance(c, palette[k]))
            if j >= len(fixed):
                s = sums.setdefault(j - len(fixed), [0, 0, 0, 0])
                for i in range(3):
                    s[i] += c[i] * counts[c]
                s[3] += counts[c]
        shared = [tuple(round(sums[j][i] / sums[j][3]) for i in range(3)) if j in sums else shared[j]
                  for j in range(len(shared))]
    return fixed + shared


def rle8_row(row):
    """One row in the BI_RLE8 encoding: runs of one index as (count, index),
    stretches of differing indices in absolute mode (0, n, indices, padded to
    a word), the row closed by (0, 0)."""
    out = bytearray()
    i, n = 0, len(row)
    while i < n:
        run = 1
        while i + run < n and run < 255 and row[i + run] == row[i]:
            run += 1
        if run >= 2:
            out += bytes((run, row[i]))
            i += run
            continue
        # collect indices up to the next run of two or more
        j = i
        while j < n and j - i < 255 and not (j + 1 < n and row[j + 1] == row[j]):
            j += 1
        if j - i >= 3:
            out += bytes((0, j - i)) + bytes(row[i:j])
            if (j - i) % 2:
                out += b"\0"
        else:
            for k in range(i, j):
                out += bytes((1, row[k]))
        i = j
    return out + b"\0\0"


def unrle8(data, width, height):
    """The rows (bottom first) that a BI_RLE8 stream decodes to; the
    encoder's output is checked against it."""
    rows, row, i = [], [], 0
    while True:
        count, value = data[i], data[i + 1]
        i += 2
        if count:
            row += [value] * count
        elif value == 0:
            rows.append(row)
            row = []
        elif value == 1:
            break
        elif value == 2:
            raise ValueError("delta is not used")
        else:
            row += list(data[i:i + value])
            i += value + (value % 2)
    if len(rows) != height or any(len(r) != width for r in rows):
        raise ValueError("rows of the wrong size")
    return rows


def write_bmp(canvas, path):
    """The picture with a palette, run-length encoded (BI_RLE8): the
    gradient's rows are single runs."""
    pixels = [tuple(p[:3]) for p in canvas.pixels]
    palette = make_palette(pixels)
    index = {}
    for colour in pixels:
        if colour not in index:
            index[colour] = min(range(len(palette)), key=lambda k: colour_distance(colour, palette[k]))
    rows = [[index[pixels[y * canvas.width + x]] for x in range(canvas.width)]
            for y in range(canvas.height - 1, -1, -1)]
    data = b"".join(rle8_row(row) for row in rows) + b"\0\1"
    if unrle8(data, canvas.width, canvas.height) != rows:
        raise SystemExit("make_art: the run-length encoding does not decode to the picture")
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 8, 1, len(data), 2835, 2835,
                       len(palette), len(palette))
    with open(path, "wb") as out:
        out.write(header + info + colours + data)


def icon_image(canvas):
    """One icon image: 32-bit colour with alpha, plus the AND mask that
    systems without alpha blending use."""
    w, h = canvas.width, canvas.height
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = canvas.pixels[y * w + x]
            xor += bytes((b, g, r, a))
    mask_row = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mask_row)
        for x in range(w):
            if canvas.pixels[y * w + x][3] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(canvases, path):
    images = [icon_image(c) for c in canvases]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for canvas, image in zip(canvases, images):
        directory += struct.pack("<BBBBHHII", canvas.width % 256, canvas.height % 256, 0, 0, 1, 32, len(image),
                                 offset)
        offset += len(image)
    with open(path, "wb") as out:
        out.write(directory + b"".join(images))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(here)
    write_bmp(wizard_picture(), os.path.join(out_dir, "wizard.bmp"))
    write_ico([icon_picture(16), icon_picture(32), icon_picture(48)], os.path.join(out_dir, "setup.ico"))


if __name__ == "__main__":
    main()
