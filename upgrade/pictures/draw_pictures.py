#!/usr/bin/env python3
"""Draws the upgrade dialogs' pictures: logo.bmp, side.bmp and password.ico.

Standard library only, so any build machine can rerun it.  A picture is a list of
layers (shape, paint, opacity) painted in order over a background.  Each pixel is
sampled SS x SS times and the samples are averaged, which gives smooth edges
without an imaging library.  Nothing depends on time or randomness, so running
the script again rewrites byte-identical files next to itself.
"""
import os
import struct

SS = 4  # samples per pixel along each axis
HERE = os.path.dirname(os.path.abspath(__file__))


# ---- Shapes: predicates inside(x, y) on continuous coordinates, y grows downwards.
# Pixel (i, j) covers [i, i+1) x [j, j+1), so integer-aligned rectangles stay crisp.

def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)  # nearest point of the inner rectangle
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def ellipse(cx, cy, rx, ry=None):
    ry = rx if ry is None else ry
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def ring(cx, cy, r_out, r_in):
    return lambda x, y: r_in ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out ** 2


def polygon(*points):
    def inside(x, y):  # even-odd crossing test
        hit = False
        for (xi, yi), (xj, yj) in zip(points, points[-1:] + points[:-1]):
            if (yi > y) != (yj > y) and x < xi + (y - yi) * (xj - xi) / (yj - yi):
                hit = not hit
        return hit
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


# ---- Paints: a fixed (r, g, b) or a function of (x, y) giving one.

def vgradient(y0, top, y1, bottom):
    def paint(x, y):
        t = min(max((y - y0) / (y1 - y0), 0.0), 1.0)
        return tuple(a + (b - a) * t for a, b in zip(top, bottom))
    return paint


WHITE = (255, 255, 255)
BLACK = (0, 0, 0)


def render(width, height, layers, background=None):
    """Returns rows (top first) of (r, g, b, a) ints; background None means transparent."""
    n = SS * SS
    offsets = [(i + 0.5) / SS for i in range(SS)]
    layers = [layer if len(layer) == 3 else (layer[0], layer[1], 1.0) for layer in layers]
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied colour and coverage
            for oy in offsets:
                for ox in offsets:
                    x, y = px + ox, py + oy
                    if background is None:
                        col, alpha = [0.0, 0.0, 0.0], 0.0
                    else:
                        bg = background(x, y) if callable(background) else background
                        col, alpha = list(bg), 1.0
                    for shape, paint, opacity in layers:
                        if shape(x, y):
                            c = paint(x, y) if callable(paint) else paint
                            col = [c[k] * opacity + col[k] * (1 - opacity) for k in range(3)]
                            alpha = opacity + alpha * (1 - opacity)
                    for k in range(3):
                        acc[k] += col[k]
                    acc[3] += alpha
            a = acc[3] / n
            rgb = [acc[k] / acc[3] if acc[3] else 0.0 for k in range(3)]
            row.append(tuple(min(255, max(0, int(v + 0.5))) for v in rgb + [a * 255]))
        rows.append(row)
    return rows


# ---- File writers

def bmp_bytes(rows):
    """24-bit BMP: BITMAPFILEHEADER + BITMAPINFOHEADER, rows bottom-up padded to 4 bytes."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, _ in row:
            line += bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


def ico_bytes(rows):
    """One 32-bit BGRA image; the AND mask is still set where the picture is fully
    transparent, for anything that draws icons without looking at alpha."""
    height, width = len(rows), len(rows[0])
    xor, mask = bytearray(), bytearray()
    mask_stride = ((width + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for i, (r, g, b, a) in enumerate(row):
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    image = struct.pack('<IiiHHIIiiII', 40, width, height * 2, 1, 32, 0,
                        len(xor) + len(mask), 0, 0, 0, 0) + bytes(xor) + bytes(mask)
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', width % 256, height % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


# ---- The pictures

BLUE_LIGHT = (70, 146, 232)
BLUE_DEEP = (24, 78, 172)


def up_arrow(cx, tip, head_bottom, head_half, shaft_half, shaft_bottom):
    head = polygon((cx, tip), (cx + head_half, head_bottom), (cx - head_half, head_bottom))
    shaft = rect(cx - shaft_half, head_bottom - 0.5, cx + shaft_half, shaft_bottom)
    return union(head, shaft)


def logo():
    """72 x 17 on white: a blue badge with an upward arrow, then abstract marks that
    stand in for a wordmark (a heading bar and a lighter caption bar) and three dots
    climbing towards the right edge, echoing the arrow."""
    layers = [
        (rounded(0, 0, 17, 17, 4), vgradient(0, BLUE_LIGHT, 17, BLUE_DEEP)),
        (up_arrow(8.5, 2.5, 9, 5.5, 1.5, 14), WHITE),
        (rounded(22, 4, 54, 8, 2), (36, 58, 92)),
        (rounded(22, 10, 45, 13, 1.5), (150, 172, 204)),
    ]
    for i in range(3):
        layers.append((ellipse(58.5 + i * 5.5, 11 - i * 3, 2), vgradient(3, BLUE_LIGHT, 13, BLUE_DEEP)))
    return render(72, 17, layers, WHITE)


def side():
    """100 x 239: deep blue fading lighter downwards, faint rings, and a large white
    arrow rising out of an open box."""
    sky = vgradient(0, (14, 44, 112), 239, (72, 142, 218))
    box_top, box_bottom, left, right = 156, 202, 22, 78
    rim_y, rim_in = 143, 8   # the box opening seen slightly from above
    layers = [
        (ring(86, 34, 56, 53.5), WHITE, 0.10),
        (ring(86, 34, 38, 36.5), WHITE, 0.08),
        (ellipse(86, 34, 18), WHITE, 0.05),
        (ring(6, 226, 40, 38.5), WHITE, 0.07),
        (ellipse(50, 110, 44), WHITE, 0.05),
        (ellipse(50, box_bottom + 1.5, 36, 4.5), BLACK, 0.18),
        # Inside of the box: the back wall, darker than the front.
        (polygon((left, box_top), (right, box_top), (right - rim_in, rim_y), (left + rim_in, rim_y)),
         (118, 156, 210)),
        (up_arrow(50, 44, 92, 25, 9, box_top + 4), vgradient(44, WHITE, box_top, (214, 231, 252))),
        # Front of the box, with a slightly darker band along its top edge.
        (rounded(left, box_top, right, box_bottom, 2.5), vgradient(box_top, (236, 244, 253), box_bottom, (196, 218, 245))),
        (rect(left, box_top, right, box_top + 5), (184, 208, 240)),
        # Flaps folded outwards from the sides of the opening.
        (polygon((left, box_top), (left + rim_in, rim_y), (left - 4, rim_y - 12), (left - 13, rim_y + 3)), (206, 224, 248)),
        (polygon((right, box_top), (right - rim_in, rim_y), (right + 4, rim_y - 12), (right + 13, rim_y + 3)), (206, 224, 248)),
    ]
    return render(100, 239, layers, sky)


def password_icon():
    """32 x 32, transparent: a brass padlock with a steel shackle and a keyhole, each
    part drawn once grown by the outline width in a darker tone, then at its own size."""
    def shackle(grow):
        arc = minus(ring(16, 12, 8.5 + grow, 5 - grow), rect(0, 12, 32, 32))
        legs = union(rect(7.5 - grow, 11.9, 11 + grow, 17), rect(21 - grow, 11.9, 24.5 + grow, 17))
        return union(arc, legs)

    def body(grow):
        return rounded(4 - grow, 14 - grow, 28 + grow, 30 + grow, 3 + grow)

    keyhole = union(ellipse(16, 20.5, 2.6), polygon((14.6, 21), (17.4, 21), (18.1, 26.5), (13.9, 26.5)))
    layers = [
        (shackle(1.1), (70, 76, 88)),
        (shackle(0), vgradient(3, (236, 240, 246), 16, (150, 160, 176))),
        (body(1.1), (122, 78, 14)),
        (body(0), vgradient(14, (255, 214, 96), 30, (206, 140, 30))),
        (rounded(5.5, 15.2, 26.5, 17.4, 1.1), (255, 240, 180), 0.75),  # light catching the top
        (keyhole, (84, 50, 8)),
    ]
    return render(32, 32, layers)


def main():
    outputs = {
        'logo.bmp': bmp_bytes(logo()),
        'side.bmp': bmp_bytes(side()),
        'password.ico': ico_bytes(password_icon()),
    }
    for name, data in outputs.items():
        with open(os.path.join(HERE, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
