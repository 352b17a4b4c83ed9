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
LAMP_POST = (0.0, -12.0)  # where the street lamp's post stands (x, z)
NEAR_BARREL = (12.5, 8.0)  # the barrel before the camera at the start


def away_from_light(picture, foot):
    """Unit ground direction (x, z) in which a caster standing at foot (x, z) casts its shadow."""
    light = picture.notes['light']
    d = (foot[0] - light[0], foot[1] - light[2])
    length = (d[0] ** 2 + d[1] ** 2) ** 0.5
    return d[0] / length, d[1] / length


def ground_window(picture, foot, direction, s):
    """Window pixel of the ground point s units from foot along direction."""
    return picture.window((foot[0] + direction[0] * s, GROUND_HEIGHT, foot[1] + direction[1] * s))


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def post_shadow_contrasts(hard, other):
    """Contrast (1 - shadow / ground beside it) along the lamp post's shadow line, from 2 to 5.5
    units out from its foot (past the pedestal, short of the lamp head's shadow). The line is
    found in the hard picture: the darkest pixel within three rows of where the line projects."""
    direction = away_from_light(hard, LAMP_POST)
    contrasts = []
    for k in range(36):
        x, y = ground_window(hard, LAMP_POST, direction, 2.0 + k * 0.1)
        x, y = int(round(x)), int(round(y))
        line = min(range(y - 3, y + 4), key=lambda r: hard.luminance(x, r))
        dark = min(other.luminance(x, r) for r in (line - 1, line, line + 1))
        beside = median([other.luminance(x, r) for r in list(range(line - 9, line - 4)) +
                         list(range(line + 5, line + 10))])
        contrasts.append(1.0 - dark / beside)
    return contrasts


def box_median(picture, cx, cy, width, height):
    return median([picture.luminance(x, y) for y in range(int(cy - height / 2), int(cy + height / 2))
                   for x in range(int(cx - width / 2), int(cx + width / 2))])


def shadow_core_darkening(picture):
    """How much a 50 x 30 box in the middle of the near barrel's shadow (0.85 units out from its
    foot) is darkened against the lit ground 80 pixels beside it: 1 - median / median."""
    x, y = ground_window(picture, NEAR_BARREL, away_from_light(picture, NEAR_BARREL), 0.85)
    return 1.0 - box_median(picture, x, y - 8, 50, 30) / box_median(picture, x - 80, y - 8, 50, 30)


def saturation(picture, x0, y0, x1, y1):
    total, count = 0.0, 0
    for y in range(y0, y1, 2):
        row = picture.rows[y]
        for x in range(x0, x1, 2):
            r, g, b = row[3 * x:3 * x + 3]
            top = max(r, g, b)
            total += (top - min(r, g, b)) / top if top > 0 else 0.0
            count += 1
    return total / count


def horizon_trench(picture):
    """The darkest row (median luminance) in rows 250 to 350, against the lower of the medians of
    the rows 6 to 14 above and below it."""
    rows = {y: median([picture.luminance(x, y) for x in range(0, picture.width, 4)])
            for y in range(236, 365)}
    darkest = min(range(250, 351), key=lambda y: rows[y])
    above = median([rows[y] for y in range(darkest - 14, darkest - 5)])
    below = median([rows[y] for y in range(darkest + 6, darkest + 15)])
    return darkest, rows[darkest], min(above, below)


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
    elif name == 'post-shadow':
        # The lamp post's thin shadow, against the hard mode's (second stem): as dark, and even
        # along its length (no beads).
        hard = Picture(sys.argv[3])
        reference, own = post_shadow_contrasts(hard, hard), post_shadow_contrasts(hard, picture)
        mean = sum(own) / len(own)
        spread = (sum((c - mean) ** 2 for c in own) / len(own)) ** 0.5 / mean
        ratio = mean / (sum(reference) / len(reference))
        check(ratio >= 0.85 and spread <= 0.10,
              f'the lamp post\'s shadow keeps its darkness (mode '
              f'{picture.notes["shadowMode"][0]:.0f}): contrast {mean:.2f}, {ratio:.2f} of the '
              f'hard mode\'s; varies by {spread:.3f} along the line (at most 0.10)')
    elif name == 'shadow-core':
        # The core of the near barrel's shadow, darkened as much as in the hard mode (second stem).
        own, hard = shadow_core_darkening(picture), shadow_core_darkening(Picture(sys.argv[3]))
        check(own >= 0.85 * hard, f'the barrel\'s shadow core is darkened {own:.2f}, '
                                  f'{own / hard:.2f} of the hard mode\'s {hard:.2f}')
    elif name == 'saturation':
        # No milky sheen over the meadow: the bottom centre as saturated as the bottom corners.
        w, h = picture.width, picture.height
        centre = saturation(picture, w // 2 - 128, h - 128, w // 2 + 128, h)
        corners = (saturation(picture, 0, h - 128, 256, h) +
                   saturation(picture, w - 256, h - 128, w, h)) / 2
        check(centre >= 0.85 * corners, f'the meadow keeps its colour at '
                                        f'{picture.notes["time"][0]:.0f} s: saturation '
                                        f'{centre:.2f} at the bottom centre, {corners:.2f} at the '
                                        f'corners ({centre / corners:.2f})')
    elif name == 'horizon':
        # No dark trench where the ground meets the hills.
        row, darkest, side = horizon_trench(picture)
        check(darkest >= 0.8 * side, f'no trench at the hills\' foot: darkest row {row} at '
                                     f'{darkest:.0f}, {darkest / side:.2f} of its lower side '
                                     f'({side:.0f})')
    elif name == 'sphere-itself':
        # With the light inside it, the sphere is still a red mirror, not the light's glow.
        low = picture.window((SPHERE_CENTRE[0], SPHERE_CENTRE[1] - 1.2, SPHERE_CENTRE[2]))
        r, g, b = picture.rows[int(low[1])][3 * int(low[0]):3 * int(low[0]) + 3]
        check(r > g + 40 and min(r, g, b) < 200, f'the sphere is red, not glowing: rgb {r},{g},{b}')
    else:
        fail('unknown check ' + name)


if __name__ == '__main__':
    main()
