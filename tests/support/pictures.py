"""Reads the capture tool's pictures and notes, and checks what a viewer would notice.

    pictures.py CHECK DIR [ARGS...]    exits 1 with a message when the check fails

Two checks read a screenshot of the window alone, at any size (PNG, without notes):

    pictures.py fills SHOT.png                 the picture reaches every edge of the window
    pictures.py bars SHOT.png LEFT WIDTH       black bars left and right of columns
                                               LEFT to LEFT + WIDTH - 1, the picture between
    pictures.py varied SHOT.png MIN            not blank: besides black (empty cells, bars) and
                                               the dark blue of a pass view's "nothing drawn",
                                               at least MIN colours over a range of luminance
"""
import struct
import sys
import zlib


def read_png(path):
    """8-bit RGB PNG -> (width, height, rows of bytes)."""
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        sys.exit(f'{path}: not a PNG')
    pos, idat, width, height = 8, b'', 0, 0
    while pos < len(data):
        (length,) = struct.unpack('>I', data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b'IHDR':
            width, height, depth, colour = struct.unpack('>IIBB', body[:10])
            if (depth, colour) != (8, 2):
                sys.exit(f'{path}: expected 8-bit RGB, got depth {depth} colour type {colour}')
        elif kind == b'IDAT':
            idat += body
    raw, stride, rows = zlib.decompress(idat), width * 3, []
    previous, at = bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for x in range(stride):
            a = line[x - 3] if x >= 3 else 0
            b = previous[x]
            c = previous[x - 3] if x >= 3 else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        previous = line
    return width, height, rows


class Picture:
    def __init__(self, stem):
        self.width, self.height, self.rows = read_png(stem + '.png')
        self.notes = {}
        for line in open(stem + '.txt'):
            key, *values = line.split()
            self.notes[key] = [float(v) for v in values]
        m = self.notes['viewProjection']
        self.matrix = [m[c * 4:c * 4 + 4] for c in range(4)]  # columns

    def luminance(self, x, y):
        x = min(max(int(x), 0), self.width - 1)
        y = min(max(int(y), 0), self.height - 1)
        r, g, b = self.rows[y][3 * x:3 * x + 3]
        return 0.2126 * r + 0.7152 * g + 0.0722 * b

    def clip(self, point):
        p = list(point) + [1.0]
        return [sum(self.matrix[c][r] * p[c] for c in range(4)) for r in range(4)]

    def window(self, point):
        """Window pixel (x right, y down) of a world point, or None behind the camera."""
        x, y, _, w = self.clip(point)
        if w <= 0:
            return None
        return ((x / w * 0.5 + 0.5) * self.width, (0.5 - y / w * 0.5) * self.height)

    def mean(self, cx, cy, radius, inner=0.0):
        values = [self.luminance(cx + dx, cy + dy)
                  for dy in range(-int(radius), int(radius) + 1)
                  for dx in range(-int(radius), int(radius) + 1)
                  if inner * inner <= dx * dx + dy * dy <= radius * radius]
        return sum(values) / len(values)

    def brightest(self, cx, cy, radius):
        return max(self.luminance(cx + dx, cy + dy)
                   for dy in range(-int(radius), int(radius) + 1)
                   for dx in range(-int(radius), int(radius) + 1))


def fail(message):
    print('FAIL: ' + message)
    sys.exit(1)


def check(condition, message):
    print(('ok: ' if condition else 'FAIL: ') + message)
    if not condition:
        sys.exit(1)


SPHERE_CENTRE = (-30.0, 7.5, 0.0)  # the reflecting sphere, as placed (scale x position)
GROUND_HEIGHT = -1.75


def shadow_points(picture):
    """Ground point under the sphere's shadow, and two lit ground points beside it."""
    light = picture.notes['light']
    d = [s - l for s, l in zip(SPHERE_CENTRE, light)]
    k = (GROUND_HEIGHT - light[1]) / d[1]
    shadow = [l + k * v for l, v in zip(light, d)]
    length = (d[0] ** 2 + d[2] ** 2) ** 0.5
    side = (-d[2] / length * 12.0, d[0] / length * 12.0)
    beside = [(shadow[0] + s * side[0], GROUND_HEIGHT, shadow[2] + s * side[1]) for s in (1, -1)]
    return shadow, beside


class Shot:
    """A screenshot: pixels only."""

    def __init__(self, path):
        self.width, self.height, self.rows = read_png(path)

    def luminance(self, x, y):
        r, g, b = self.rows[y][3 * x:3 * x + 3]
        return 0.2126 * r + 0.7152 * g + 0.0722 * b

    def column(self, x):
        """Mean and peak luminance of a column, from every 8th row."""
        values = [self.luminance(x, y) for y in range(0, self.height, 8)]
        return sum(values) / len(values), max(values)

    def row(self, y):
        values = [self.luminance(x, y) for x in range(0, self.width, 8)]
        return sum(values) / len(values), max(values)


def check_shot(name, path, args):
    shot = Shot(path)
    size = f'{shot.width} x {shot.height}'
    if name == 'fills':
        # The sky along the top edge, the ground along the bottom, the picture at both sides.
        top, bottom = shot.row(2)[0], shot.row(shot.height - 3)[0]
        left, right = shot.column(2)[0], shot.column(shot.width - 3)[0]
        check(top > 120 and min(bottom, left, right) > 25,
              f'the picture fills the {size} window: mean luminance along the top {top:.0f}, '
              f'bottom {bottom:.0f}, left {left:.0f}, right {right:.0f}')
    elif name == 'bars':
        first, width = int(args[0]), int(args[1])
        bars = [shot.column(x)[1] for x in list(range(0, first)) +
                list(range(first + width, shot.width))]
        inside = [shot.column(x)[0] for x in (first + 1, first + width // 2, first + width - 2)]
        check(max(bars, default=0) < 4 and min(inside) > 25,
              f'{size}: black bars beside columns {first} to {first + width - 1} '
              f'(brightest bar pixel {max(bars, default=0):.0f}), the picture between '
              f'(column means {", ".join(f"{v:.0f}" for v in inside)})')
    elif name == 'varied':
        least = int(args[0])
        colours = set()
        for row in shot.rows[::2]:
            for x in range(0, 3 * shot.width, 6):
                colour = bytes(row[x:x + 3])
                if colour[0] == 0 and colour[1] == 0 and (colour[2] == 0 or 75 <= colour[2] <= 79):
                    continue
                colours.add(colour)
        lums = [0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2] for c in colours]
        spread = max(lums) - min(lums) if lums else 0.0
        check(len(colours) >= least and spread >= 20,
              f'{path} is not blank: {len(colours)} colours besides black and blue '
              f'(at least {least}), luminance spread {spread:.0f}')
    else:
        fail('unknown check ' + name)


def main():
    name, stem = sys.argv[1], sys.argv[2]
    if name in ('fills', 'bars', 'varied'):
        check_shot(name, stem, sys.argv[3:])
        return
    picture = Picture(stem)
    if (picture.width, picture.height) != (1024, 768):
        fail(f'{stem}.png is {picture.width} x {picture.height}, not 1024 x 768')
    if name == 'sky':
        top = sum(picture.mean(x, 12, 8) for x in range(64, 1024, 128)) / 8
        middle = sum(picture.mean(x, 600, 8) for x in range(64, 1024, 128)) / 8
        check(top > 150 and top > middle + 30,
              f'sky bright at the top: top {top:.0f}, lower frame {middle:.0f}')
    elif name == 'light':
        at = picture.window(picture.notes['light'])
        if at is None:
            fail('the light is behind the camera')
        centre = picture.brightest(at[0], at[1], 4)
        around = picture.brightest(at[0] + 60, at[1] + 60, 30)
        check(centre >= 245 and centre >= around, f'light cube brightest near {at[0]:.0f},'
                                                   f'{at[1]:.0f}: {centre:.0f} (near by {around:.0f})')
    elif name == 'flare':
        # Pixels a little way from the light, against the same pixels of a picture (second stem)
        # whose light is behind the camera.
        other = Picture(sys.argv[3])
        at = picture.window(picture.notes['light'])
        lit = picture.mean(at[0], at[1], 45, inner=25)
        unlit = other.mean(at[0], at[1], 45, inner=25)
        check(lit > unlit + 40, f'flare brightens around the light: {lit:.0f} against {unlit:.0f}')
    elif name == 'no-flare':
        x, y, _, w = picture.clip(picture.notes['light'])
        if w > 0:
            fail('the light is in front of the camera')
        mirrored = ((x / w * 0.5 + 0.5) * picture.width, (0.5 - y / w * 0.5) * picture.height)
        peak = picture.brightest(mirrored[0], mirrored[1], 12)
        check(peak < 235, f'no flare for a light behind the camera: peak {peak:.0f} '
                          f'at {mirrored[0]:.0f},{mirrored[1]:.0f}')
    elif name == 'shadow':
        shadow, beside = shadow_points(picture)
        s = picture.window(shadow)
        dark = picture.mean(s[0], s[1], 5)
        lit = [picture.mean(*picture.window(p), 5) for p in beside]
        check(dark < 0.75 * min(lit), f'ground under the sphere darker than beside it '
                                      f'(mode {picture.notes["shadowMode"][0]:.0f}): '
                                      f'{dark:.0f} against {lit[0]:.0f}, {lit[1]:.0f}')
    elif name == 'reflection':
        # The sphere's upper half mirrors the bright sky: much lighter than plain red would be.
        top = picture.window((SPHERE_CENTRE[0], SPHERE_CENTRE[1] + 1.5, SPHERE_CENTRE[2]))
        r, g, b = picture.rows[int(top[1])][3 * int(top[0]):3 * int(top[0]) + 3]
        check(r > 100 and g + b > 120, f'the sphere reflects the sky: rgb {r},{g},{b}')
    elif name == 'sphere-itself':
        # With the light inside it, the sphere is still a red mirror, not the light's glow.
        low = picture.window((SPHERE_CENTRE[0], SPHERE_CENTRE[1] - 1.2, SPHERE_CENTRE[2]))
        r, g, b = picture.rows[int(low[1])][3 * int(low[0]):3 * int(low[0]) + 3]
        check(r > g + 40 and min(r, g, b) < 200, f'the sphere is red, not glowing: rgb {r},{g},{b}')
    else:
        fail('unknown check ' + name)


if __name__ == '__main__':
    main()
