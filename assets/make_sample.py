#!/usr/bin/python3
"""Draws tovalin's own sample art and writes it beside this script.

    sample/frames/frame01.gif ... frame50.gif   the walking character "tovalin"
    sample/tovalin.ico                          its face, 32 x 32, 256 colours
    sample/preview.png                          a contact sheet for reviewers
    favourites/ぷかり/01.gif 02.bmp 03.ico 04.gif 05.bmp 06.gif readme.txt
                                                the floating favourite "ぷかり"

Everything is drawn in code with the standard library only, so the output is
byte-for-byte the same on every run.  `--check` re-reads the written files and
verifies what the player relies on: sizes, signatures, the transparent index,
a transparent (or key-coloured) top-left pixel, and no opaque pixel in a
button-face colour (those would be cut out of the window region).
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE_DIR = os.path.join(HERE, "sample")
FRAMES_DIR = os.path.join(SAMPLE_DIR, "frames")
FAVOURITE_NAME = "ぷかり"
FAVOURITE_DIR = os.path.join(HERE, "favourites", FAVOURITE_NAME)

# Transparent pixels of GIF and ICO frames render in the button face colour
# and the region builder cuts that colour out; an opaque pixel in one of these
# colours would vanish from the character.
BUTTON_FACES = {(240, 240, 240), (212, 208, 200)}

# ---------------------------------------------------------------- drawing ---

CLEAR = 0  # palette index 0 is transparent in every image drawn here


class Canvas:
    """Palette-indexed pixels, row-major, with painter's-order helpers."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [CLEAR] * (width * height)

    def inside(self, x, y):
        return 0 <= x < self.width and 0 <= y < self.height

    def get(self, x, y):
        return self.pixels[y * self.width + x]

    def put(self, x, y, index):
        if self.inside(x, y):
            self.pixels[y * self.width + x] = index

    def paint(self, shape, fill, outline):
        """Paints a part over what is beneath, ringed by a one-pixel outline.

        Drawing every part with its own ring, back to front, gives the
        silhouette and the seams between overlapping parts in one go.
        """
        ring = set()
        for x, y in shape:
            for nx, ny in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)):
                if (nx, ny) not in shape:
                    ring.add((nx, ny))
        for x, y in ring:
            self.put(x, y, outline)
        for x, y in shape:
            self.put(x, y, fill(x, y) if callable(fill) else fill)

    def stamp(self, left, top, rows, colours):
        """Copies a small hand-drawn sprite; '.' leaves the pixel alone."""
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch != ".":
                    self.put(left + dx, top + dy, colours[ch])


def ellipse(cx, cy, rx, ry, power=2.0):
    """Pixels whose centres lie inside the ellipse (crisp, no coverage).
    A power above 2 squares the ends off, which suits small shapes whose
    plain ellipses rasterise to diamonds."""
    shape = set()
    for y in range(math.floor(cy - ry) - 1, math.ceil(cy + ry) + 1):
        for x in range(math.floor(cx - rx) - 1, math.ceil(cx + rx) + 1):
            u = abs(x + 0.5 - cx) / rx
            v = abs(y + 0.5 - cy) / ry
            if u ** power + v ** power <= 1.0:
                shape.add((x, y))
    return shape


def leaf(bx, by, angle, length, width):
    """An almond-shaped leaf growing from (bx, by) towards `angle` (radians,
    0 = right, measured clockwise because y grows downwards)."""
    dx, dy = math.cos(angle), math.sin(angle)
    shape = set()
    reach = int(length) + 2
    for y in range(int(by) - reach, int(by) + reach + 1):
        for x in range(int(bx) - reach, int(bx) + reach + 1):
            px, py = x + 0.5 - bx, y + 0.5 - by
            along = px * dx + py * dy
            across = -px * dy + py * dx
            if 0.0 < along < length:
                t = along / length
                half = 0.5 * width * (4.0 * t * (1.0 - t)) ** 0.7
                if abs(across) <= half:
                    shape.add((x, y))
    return shape


def curve(p0, p1, p2):
    """Pixels along a quadratic Bezier curve, one pixel wide."""
    shape = set()
    for step in range(65):
        t = step / 64
        x = (1 - t) ** 2 * p0[0] + 2 * (1 - t) * t * p1[0] + t * t * p2[0]
        y = (1 - t) ** 2 * p0[1] + 2 * (1 - t) * t * p1[1] + t * t * p2[1]
        shape.add((math.floor(x), math.floor(y)))
    return shape


def nearest(value):
    """Rounds half away from zero, so mirrored poses stay mirrored."""
    return int(math.floor(abs(value) + 0.5)) * (1 if value >= 0 else -1)


# ---------------------------------------------------------------- tovalin ---

TOVALIN_SIZE = (49, 64)
TOVALIN_FRAMES = 50

# Index 0 is transparent; in the icon, where transparent pixels must be
# black for the AND/XOR pair to leave the screen alone, it becomes black.
TOVALIN_PALETTE = [
    (255, 0, 255),  # 0 transparent
    (64, 36, 48),  # 1 outline
    (219, 110, 70),  # 2 body shadow
    (247, 155, 88),  # 3 body
    (255, 196, 132),  # 4 body light
    (255, 232, 196),  # 5 body shine
    (190, 92, 62),  # 6 feet
    (222, 128, 86),  # 7 feet light
    (58, 128, 66),  # 8 leaf shadow
    (104, 184, 86),  # 9 leaf
    (168, 222, 118),  # 10 leaf light
    (44, 26, 40),  # 11 eyes
    (255, 255, 255),  # 12 eye shine
    (236, 92, 112),  # 13 cheeks
    (128, 44, 58),  # 14 mouth
    (78, 150, 70),  # 15 stem
]

EYE_OPEN = [
    ".##.",
    "#W##",
    "####",
    "####",
    ".##.",
]
EYE_HALF = [
    "....",
    "####",
    "####",
    "####",
    ".##.",
]
EYE_SHUT = [
    "....",
    "....",
    "#..#",
    ".##.",
    "....",
]
MOUTH = [
    "#..#",
    ".##.",
]
EYE_COLOURS = {"#": 11, "W": 12}


def body_tone(cx, cy, rx, ry):
    """Banded sphere shading, lit from the upper left."""
    lx, ly, lz = -0.45, -0.62, 0.64

    def tone(x, y):
        u = (x + 0.5 - cx) / rx
        v = (y + 0.5 - cy) / ry
        w = math.sqrt(max(0.0, 1.0 - u * u - v * v))
        light = lx * u + ly * v + lz * w
        if light > 0.95:
            return 5
        if light > 0.74:
            return 4
        if light > 0.22:
            return 3
        return 2

    return tone


def leaf_tone(bx, by, angle):
    """Upper half of a leaf catches the light, lower half is in shade."""
    dx, dy = math.cos(angle), math.sin(angle)

    def tone(x, y):
        across = -(x + 0.5 - bx) * dy + (y + 0.5 - by) * dx
        if across < -0.9:
            return 10
        if across > 0.9:
            return 8
        return 9

    return tone


def feet_tone(cy):
    return lambda x, y: 7 if y + 0.5 < cy - 0.8 else 6


# One step of the walk, frame by frame: how high the body rides (-1 is the
# squashed landing, 2 the top of the stride) and how high the swinging foot
# is lifted.  The body never moves twice in one frame: a step starts with the
# weight shifting over the standing foot (frames 0 and 1) and only then does
# the body rise and fall.  Steps of 13 and 12 frames alternate, 50 in all.
STEP_RIDE = {
    13: [-1, -1, 0, 0, 1, 1, 2, 2, 2, 1, 1, 0, -1],
    12: [-1, -1, 0, 0, 1, 1, 2, 2, 1, 1, 0, -1],
}
STEP_LIFT = {
    13: [0, 0, 0, 1, 2, 3, 3, 3, 3, 2, 1, 0, 0],
    12: [0, 0, 0, 1, 2, 3, 3, 3, 2, 1, 0, 0],
}
STEP_LENGTHS = [13, 12, 13, 12]  # left, right, left, right: the feet alternate across the loop
# Blink once per loop, at the top of the third step, where the body hangs.
BLINK = {31: "half", 32: "shut", 33: "half"}


def tovalin_pose(frame):
    """Integer offsets of every moving part for one frame of the walk."""
    start = 0
    for step, length in enumerate(STEP_LENGTHS):
        if frame < start + length:
            break
        start += length
    j = frame - start
    left_swings = step % 2 == 0
    ride, lift = STEP_RIDE[length][j], STEP_LIFT[length][j]
    # the weight goes over the standing foot, passing the middle as a step begins
    sway = 0 if j == 0 else (1 if left_swings else -1)
    # The sprout trails the body: a slow swing a fifth of a stride behind it.
    stride = sum(STEP_LENGTHS[:2])
    lean = nearest(2.2 * math.sin(2.0 * math.pi * (frame - 5) / stride))
    arm = -1 if 3 <= j < length - 3 else 0  # the arm over the lifted foot rises
    return {
        "lift_left": lift if left_swings else 0,
        "lift_right": 0 if left_swings else lift,
        "sway": sway,
        "bob": -max(ride, 0),
        "squash": 1 if ride < 0 else 0,
        "sprout": lean,
        "arm_left": arm if left_swings else 0,
        "arm_right": 0 if left_swings else arm,
        "eyes": {"half": EYE_HALF, "shut": EYE_SHUT}.get(BLINK.get(frame), EYE_OPEN),
    }


def draw_sprout(canvas, base_x, base_y, height, lean, scale=1.0):
    """The stem with two leaves that grows out of the top of the head."""
    tip = (base_x + lean, base_y - height)
    bend = (base_x + 0.4 * lean, base_y - 0.55 * height)
    stem = curve((base_x, base_y), bend, tip)
    canvas.paint(stem, 15, 1)
    tilt = 0.16 * lean
    length, width = 8.5 * scale, 5.0 * scale
    for angle in (math.radians(-150) + tilt, math.radians(-30) + tilt):
        canvas.paint(leaf(tip[0], tip[1], angle, length, width),
                     leaf_tone(tip[0], tip[1], angle), 1)
    # the stem is drawn again so that it stays visible between the leaves
    for x, y in stem:
        if y < tip[1] + 1:
            canvas.put(x, y, 15)


def draw_face(canvas, centre_x, centre_y, eyes, spread=6):
    """Eyes, cheeks and mouth around the body centre (column, row)."""
    canvas.stamp(centre_x - spread - 2, centre_y - 4, eyes, EYE_COLOURS)
    canvas.stamp(centre_x + spread - 1, centre_y - 4, eyes, EYE_COLOURS)
    for side in (-1, 1):
        cx = centre_x + side * (spread + 4)
        for x in range(cx - 1, cx + 2):
            canvas.put(x, centre_y + 2, 13)
    canvas.stamp(centre_x - 1, centre_y + 2, MOUTH, {"#": 14})


def tovalin_frame(frame):
    pose = tovalin_pose(frame)
    canvas = Canvas(*TOVALIN_SIZE)
    column = 24 + pose["sway"]  # body centre column; 24 is the middle of 49
    row = 40 + pose["bob"] + pose["squash"]
    rx, ry = 16.8 + 0.6 * pose["squash"], 15.8 - 0.6 * pose["squash"]
    cx, cy = column + 0.5, row + 0.5

    draw_sprout(canvas, cx, cy - ry + 3, 10.0, pose["sprout"])
    canvas.paint(ellipse(cx, cy, rx, ry), body_tone(cx, cy, rx, ry), 1)
    for side, lift in ((-1, pose["lift_left"]), (1, pose["lift_right"])):
        fx, fy = 24.5 + side * 8.0, 58.5 - lift
        canvas.paint(ellipse(fx, fy, 4.8, 2.8, 2.6), feet_tone(fy), 1)
    for side, raise_ in ((-1, pose["arm_left"]), (1, pose["arm_right"])):
        ax, ay = cx + side * 16.5, cy + 4.0 + raise_
        canvas.paint(ellipse(ax, ay, 3.0, 2.6), body_tone(ax - side, ay - 1, 4.0, 4.0), 1)
    draw_face(canvas, column, row, pose["eyes"])
    return canvas


def tovalin_icon():
    """The face on its own, filling a 32 x 32 icon."""
    canvas = Canvas(32, 32)
    column, row = 16, 19
    rx, ry = 14.2, 11.8
    cx, cy = column, row + 0.5  # even width: centre between columns 15 and 16
    draw_sprout(canvas, cx, cy - ry + 3, 5.0, 1, scale=0.72)
    canvas.paint(ellipse(cx, cy, rx, ry), body_tone(cx, cy, rx, ry), 1)
    canvas.stamp(column - 8, row - 4, EYE_OPEN, EYE_COLOURS)
    canvas.stamp(column + 4, row - 4, EYE_OPEN, EYE_COLOURS)
    for cheek in (column - 10, column + 9):
        for x in range(cheek - 1, cheek + 2):
            canvas.put(x, row + 2, 13)
    canvas.stamp(column - 2, row + 2, MOUTH, {"#": 14})
    return canvas


# ------------------------------------------------------------------ ぷかり ---

PUKARI_SIZE = (40, 48)
PUKARI_FRAMES = 6
PUKARI_PALETTE = [
    (255, 0, 255),  # 0 transparent / key colour
    (78, 66, 134),  # 1 outline
    (186, 192, 244),  # 2 body shadow
    (222, 226, 255),  # 3 body
    (250, 250, 255),  # 4 body light
    (46, 36, 84),  # 5 eyes
    (255, 255, 255),  # 6 eye shine
    (255, 158, 190),  # 7 cheeks
    (150, 62, 112),  # 8 mouth
    (230, 96, 140),  # 9 tongue
]
PUKARI_EYE = [
    ".##.",
    "#W##",
    "####",
    ".##.",
]
PUKARI_MOUTH = [
    "####",
    "#tt#",
    ".##.",
]


def pukari_frame(frame):
    """A floating sheet-ghost: it bobs up and down, the curl on its head
    sways and scallops run along its hem, one scallop per loop."""
    canvas = Canvas(*PUKARI_SIZE)
    phase = 2.0 * math.pi * frame / PUKARI_FRAMES
    rise = nearest(1.5 - 1.5 * math.cos(phase))
    cx, cy = 20.0, 20.0 - rise  # head centre; even width, so between columns
    radius, hem = 12.6, 39.0 - rise
    scallop = 7.0
    shift = scallop * frame / PUKARI_FRAMES

    body = set()
    for y in range(PUKARI_SIZE[1]):
        for x in range(PUKARI_SIZE[0]):
            px, py = x + 0.5, y + 0.5
            if py < cy:
                inside = (px - cx) ** 2 + (py - cy) ** 2 <= radius * radius
            else:
                # the sides flare a little towards the hem
                width = radius + 1.4 * (py - cy) / (hem - cy)
                edge = hem + 3.4 * abs(math.sin(math.pi * (px - cx - shift) / scallop)) - 3.4
                inside = abs(px - cx) <= width and py <= edge
            if inside:
                body.add((x, y))
    sway = nearest(1.2 * math.sin(phase - 1.5))
    body |= leaf(cx + 1.5, cy - radius + 3.0, math.radians(-58) + 0.2 * sway, 8.0, 3.8)

    lx, ly, lz = -0.5, -0.45, 0.74

    def tone(x, y):
        u = max(-1.0, min(1.0, (x + 0.5 - cx) / radius))
        v = (y + 0.5 - cy) / radius
        if v < 0:
            v = max(v, -math.sqrt(max(0.0, 1.0 - u * u)))
            normal = (u, v, math.sqrt(max(0.0, 1.0 - u * u - v * v)))
        else:
            normal = (u, 0.0, math.sqrt(max(0.0, 1.0 - u * u)))
        light = lx * normal[0] + ly * normal[1] + lz * normal[2]
        if light > 0.93:
            return 4
        if light > 0.28:
            return 3
        return 2

    canvas.paint(body, tone, 1)
    # little hands held out in front, bobbing a beat behind the body
    hand = nearest(1.0 * math.sin(phase - 1.2))
    for side in (-1, 1):
        canvas.paint(ellipse(cx + side * 12.6, cy + 9.5 + hand, 2.9, 2.3, 2.4), 3, 1)
    eye_row = int(cy) - 2
    canvas.stamp(int(cx) - 7, eye_row, PUKARI_EYE, {"#": 5, "W": 6})
    canvas.stamp(int(cx) + 3, eye_row, PUKARI_EYE, {"#": 5, "W": 6})
    for cheek in (int(cx) - 9, int(cx) + 8):
        for x in range(cheek - 1, cheek + 2):
            canvas.put(x, eye_row + 5, 7)
    canvas.stamp(int(cx) - 2, eye_row + 5, PUKARI_MOUTH, {"#": 8, "t": 9})
    return canvas


# ----------------------------------------------------------------- writers --


def lzw_compress(indices, min_code_size):
    """GIF-flavoured LZW: variable-width codes, packed least significant
    bit first, with a clear code whenever the 4096-entry table fills up."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, width):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += width
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    width = min_code_size + 1
    table = {}
    next_code = end + 1
    emit(clear, width)
    prefix = indices[0]
    for index in indices[1:]:
        key = (prefix << 8) | index
        code = table.get(key)
        if code is not None:
            prefix = code
            continue
        emit(prefix, width)
        if next_code == 4096:
            emit(clear, width)
            table = {}
            next_code = end + 1
            width = min_code_size + 1
        else:
            table[key] = next_code
            next_code += 1
            # The decoder adds each entry one code later than we do, so it
            # widens its codes one code later too.
            if next_code - 1 == (1 << width) and width < 12:
                width += 1
        prefix = index
    emit(prefix, width)
    emit(end, width)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def gif_bytes(canvas, palette):
    """A single-image GIF89a with a global palette and index 0 transparent."""
    bits = max(2, (len(palette) - 1).bit_length())
    table = list(palette) + [(0, 0, 0)] * ((1 << bits) - len(palette))
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", canvas.width, canvas.height, 0x80 | ((bits - 1) << 4) | (bits - 1),
                        0, 0)
    for rgb in table:
        data += bytes(rgb)
    # Graphic Control Extension: dispose to background, transparent index 0.
    data += b"\x21\xf9\x04" + struct.pack("<BHB", (2 << 2) | 1, 0, CLEAR) + b"\x00"
    data += b"\x2c" + struct.pack("<HHHHB", 0, 0, canvas.width, canvas.height, 0)
    data.append(bits)
    packed = lzw_compress(canvas.pixels, bits)
    for start in range(0, len(packed), 255):
        chunk = packed[start:start + 255]
        data.append(len(chunk))
        data += chunk
    data += b"\x00\x3b"
    return bytes(data)


def and_mask_rows(canvas):
    """1-bpp AND mask, bottom-up, rows padded to 32 bits; 1 = transparent."""
    stride = (canvas.width + 31) // 32 * 4
    out = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        row = bytearray(stride)
        for x in range(canvas.width):
            if canvas.get(x, y) == CLEAR:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def ico_bytes(canvas, palette, bit_count):
    """One-image ICO: BITMAPINFOHEADER, XOR image (8 bpp with a 256-entry
    palette, or 32 bpp with alpha) and the AND mask.  Transparent pixels are
    black in the XOR image, as the AND/XOR pair requires."""
    w, h = canvas.width, canvas.height
    if bit_count == 8:
        colours = [(0, 0, 0)] + list(palette[1:])
        colours += [(0, 0, 0)] * (256 - len(colours))
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
        stride = (w + 3) // 4 * 4
        xor = bytearray()
        for y in range(h - 1, -1, -1):
            row = bytearray(canvas.pixels[y * w:(y + 1) * w])
            xor += row + bytes(stride - w)
    elif bit_count == 32:
        table = b""
        xor = bytearray()
        for y in range(h - 1, -1, -1):
            for x in range(w):
                index = canvas.get(x, y)
                if index == CLEAR:
                    xor += b"\x00\x00\x00\x00"
                else:
                    r, g, b = palette[index]
                    xor += bytes((b, g, r, 255))
    else:
        raise ValueError("unsupported icon depth")
    mask = and_mask_rows(canvas)
    image_size = len(xor) + len(mask)
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bit_count, 0, image_size, 0, 0, 0, 0)
    body = info + table + bytes(xor) + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, bit_count, len(body), 6 + 16)
    return header + entry + body


def bmp_bytes(canvas, palette, bit_count):
    """An uncompressed bottom-up BMP with no transparency: index 0 is drawn
    in its palette colour, so the top-left pixel carries the key colour."""
    w, h = canvas.width, canvas.height
    if bit_count == 24:
        table = b""
        stride = (w * 3 + 3) // 4 * 4
        rows = bytearray()
        for y in range(h - 1, -1, -1):
            row = bytearray()
            for x in range(w):
                r, g, b = palette[canvas.get(x, y)]
                row += bytes((b, g, r))
            rows += row + bytes(stride - len(row))
        colours_used = 0
    elif bit_count == 8:
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        stride = (w + 3) // 4 * 4
        rows = bytearray()
        for y in range(h - 1, -1, -1):
            rows += bytearray(canvas.pixels[y * w:(y + 1) * w]) + bytes(stride - w)
        colours_used = len(palette)
    else:
        raise ValueError("unsupported bitmap depth")
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bit_count, 0, len(rows), 3780, 3780,
                       colours_used, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    return header + info + table + bytes(rows)


def png_bytes(width, height, rgb_rows):
    """An 8-bit RGB PNG without ancillary chunks (so no timestamp)."""
    def chunk(kind, payload):
        crc = zlib.crc32(kind + payload) & 0xFFFFFFFF
        return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", crc)

    raw = b"".join(b"\x00" + bytes(row) for row in rgb_rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


# ----------------------------------------------------------------- preview --


def contact_sheet(rows_of_images, scale=3, gap=6):
    """Lays (canvas, palette) pairs out in rows over a light checkerboard,
    which shows where the frames are transparent."""
    cells = [[(c, p) for c, p in row] for row in rows_of_images]
    row_heights = [max(c.height for c, _ in row) * scale for row in cells]
    width = max(sum(c.width * scale + gap for c, _ in row) + gap for row in cells)
    height = sum(h + gap for h in row_heights) + gap
    sheet = [[(238, 232, 246) if (x // 6 + y // 6) % 2 else (222, 230, 244)
              for x in range(width)] for y in range(height)]
    top = gap
    for row, row_height in zip(cells, row_heights):
        left = gap
        for canvas, palette in row:
            for y in range(canvas.height * scale):
                for x in range(canvas.width * scale):
                    index = canvas.get(x // scale, y // scale)
                    if index != CLEAR:
                        sheet[top + y][left + x] = palette[index]
            left += canvas.width * scale + gap
        top += row_height + gap
    return png_bytes(width, height, [[v for rgb in row for v in rgb] for row in sheet])


# ------------------------------------------------------------------ output --

README_TXT = (
    "ぷかり — tovalin のお気に入りフォルダーの見本です。\r\n"
    "このフォルダーの .gif / .bmp / .ico がファイル名の順にコマ送りされます。\r\n"
    "このテキストファイルは画像ではないので読み込まれません。\r\n"
    "\r\n"
    "Pukari - a sample favourites folder for tovalin.\r\n"
    "The .gif, .bmp and .ico files here are played in file-name order;\r\n"
    "this text file is not an image and is ignored.\r\n"
)

# Frame file name, writer.  The formats are mixed on purpose: the player has
# to read all of them, and the opaque bitmaps carry their key colour at (0, 0).
PUKARI_FILES = [
    ("01.gif", lambda c: gif_bytes(c, PUKARI_PALETTE)),
    ("02.bmp", lambda c: bmp_bytes(c, PUKARI_PALETTE, 24)),
    ("03.ico", lambda c: ico_bytes(c, PUKARI_PALETTE, 32)),
    ("04.gif", lambda c: gif_bytes(c, PUKARI_PALETTE)),
    ("05.bmp", lambda c: bmp_bytes(c, PUKARI_PALETTE, 8)),
    ("06.gif", lambda c: gif_bytes(c, PUKARI_PALETTE)),
]


def build():
    """Every output file as {path: bytes}, plus the canvases for checking."""
    files = {}
    tovalin = [tovalin_frame(i) for i in range(TOVALIN_FRAMES)]
    for i, canvas in enumerate(tovalin):
        files[os.path.join(FRAMES_DIR, "frame%02d.gif" % (i + 1))] = gif_bytes(canvas, TOVALIN_PALETTE)
    icon = tovalin_icon()
    files[os.path.join(SAMPLE_DIR, "tovalin.ico")] = ico_bytes(icon, TOVALIN_PALETTE, 8)
    pukari = [pukari_frame(i) for i in range(PUKARI_FRAMES)]
    for (name, writer), canvas in zip(PUKARI_FILES, pukari):
        files[os.path.join(FAVOURITE_DIR, name)] = writer(canvas)
    files[os.path.join(FAVOURITE_DIR, "readme.txt")] = README_TXT.encode("utf-8")
    files[os.path.join(SAMPLE_DIR, "preview.png")] = contact_sheet([
        [(tovalin[i], TOVALIN_PALETTE) for i in range(0, TOVALIN_FRAMES, 5)],
        [(icon, TOVALIN_PALETTE)] + [(c, PUKARI_PALETTE) for c in pukari],
    ])
    return files, {"tovalin": tovalin, "icon": icon, "pukari": pukari}


def write(files):
    for path, data in sorted(files.items()):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


# ------------------------------------------------------------------- check --


class CheckError(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise CheckError(message)


def lzw_decompress(data, min_code_size, pixel_count):
    clear = 1 << min_code_size
    end = clear + 1
    width = min_code_size + 1
    table = [bytes((i,)) for i in range(clear)] + [b"", b""]
    out = bytearray()
    previous = None
    position = 0
    total_bits = len(data) * 8
    while position + width <= total_bits:
        code = 0
        for bit in range(width):
            byte = data[(position + bit) >> 3]
            code |= ((byte >> ((position + bit) & 7)) & 1) << bit
        position += width
        if code == clear:
            table = table[:clear + 2]
            width = min_code_size + 1
            previous = None
            continue
        if code == end:
            break
        if previous is None:
            expect(code < clear, "LZW stream starts with an undefined code")
            entry = table[code]
        elif code < len(table):
            entry = table[code]
            table.append(table[previous] + entry[:1])
        else:
            expect(code == len(table), "LZW code %d out of range" % code)
            entry = table[previous] + table[previous][:1]
            table.append(entry)
        if len(table) == (1 << width) and width < 12:
            width += 1
        out += entry
        previous = code
    else:
        raise CheckError("LZW stream has no end code")
    expect(len(out) == pixel_count, "LZW stream holds %d pixels, not %d" % (len(out), pixel_count))
    return list(out)


def read_gif(data):
    """Decodes a single-image GIF; returns (width, height, palette, indices,
    transparent index)."""
    expect(data[:6] == b"GIF89a", "not a GIF89a file")
    width, height, flags = struct.unpack_from("<HHB", data, 6)
    expect(flags & 0x80, "no global palette")
    size = 2 << (flags & 7)
    palette = [tuple(data[13 + 3 * i:16 + 3 * i]) for i in range(size)]
    pos = 13 + 3 * size
    transparent = None
    images = 0
    indices = None
    while True:
        kind = data[pos]
        if kind == 0x3B:
            break
        if kind == 0x21:
            label = data[pos + 1]
            pos += 2
            if label == 0xF9:
                expect(data[pos] == 4, "bad graphic control block")
                if data[pos + 1] & 1:
                    transparent = data[pos + 4]
            while data[pos]:
                pos += data[pos] + 1
            pos += 1
        elif kind == 0x2C:
            left, top, w, h, image_flags = struct.unpack_from("<HHHHB", data, pos + 1)
            expect((left, top, w, h) == (0, 0, width, height), "image does not fill the screen")
            expect(image_flags & 0x40 == 0, "interlaced")
            expect(image_flags & 0x80 == 0, "local palette")
            pos += 10
            min_code_size = data[pos]
            pos += 1
            packed = bytearray()
            while data[pos]:
                packed += data[pos + 1:pos + 1 + data[pos]]
                pos += data[pos] + 1
            pos += 1
            indices = lzw_decompress(bytes(packed), min_code_size, w * h)
            images += 1
        else:
            raise CheckError("unexpected block 0x%02x" % kind)
    expect(images == 1, "%d images instead of one" % images)
    expect(pos == len(data) - 1, "bytes after the trailer")
    expect(transparent is not None, "no transparent colour index")
    return width, height, palette, indices, transparent


def read_ico(data):
    """Returns (width, height, pixels) with None for transparent pixels."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    expect((reserved, kind, count) == (0, 1, 1), "not a one-image icon")
    bw, bh, colours, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6)
    width, height = bw or 256, bh or 256
    expect(offset + size == len(data), "icon entry does not cover the file")
    head, biw, bih, biplanes, bibits = struct.unpack_from("<IiiHH", data, offset)
    expect(head == 40 and biw == width and bih == 2 * height, "bad icon bitmap header")
    expect(biplanes == 1 and bibits == bits and planes == 1, "bad icon depth fields")
    expect(colours == 0, "colour count must be 0")
    pos = offset + 40
    palette = []
    if bits == 8:
        palette = [(data[pos + 4 * i + 2], data[pos + 4 * i + 1], data[pos + 4 * i])
                   for i in range(256)]
        pos += 1024
        stride = (width + 3) // 4 * 4
    elif bits == 32:
        stride = width * 4
    else:
        raise CheckError("icon depth %d" % bits)
    mask_pos = pos + stride * height
    mask_stride = (width + 31) // 32 * 4
    expect(mask_pos + mask_stride * height == len(data), "icon size does not add up")
    pixels = []
    for y in range(height):
        src = height - 1 - y
        row = []
        for x in range(width):
            masked = data[mask_pos + src * mask_stride + x // 8] & (0x80 >> (x % 8))
            if bits == 8:
                rgb = palette[data[pos + src * stride + x]]
                alpha = None
            else:
                b, g, r, alpha = data[pos + src * stride + 4 * x:pos + src * stride + 4 * x + 4]
                rgb = (r, g, b)
            if masked:
                expect(rgb == (0, 0, 0), "transparent icon pixel is not black")
                expect(alpha in (None, 0), "transparent icon pixel has alpha")
                row.append(None)
            else:
                expect(alpha in (None, 255), "partial transparency in icon")
                row.append(rgb)
        pixels.append(row)
    return width, height, pixels


def read_bmp(data):
    """Returns (width, height, pixels) of an uncompressed bottom-up BMP."""
    expect(data[:2] == b"BM", "not a BMP file")
    file_size, _, _, offset = struct.unpack_from("<IHHI", data, 2)
    expect(file_size == len(data), "BMP size field is wrong")
    head, width, height, planes, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    expect(head == 40 and height > 0 and planes == 1 and compression == 0, "unexpected BMP header")
    used = struct.unpack_from("<I", data, 46)[0]
    pixels = []
    if bits == 24:
        stride = (width * 3 + 3) // 4 * 4
        for y in range(height):
            base = offset + (height - 1 - y) * stride
            pixels.append([(data[base + 3 * x + 2], data[base + 3 * x + 1], data[base + 3 * x])
                           for x in range(width)])
    elif bits == 8:
        palette = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i])
                   for i in range(used or 256)]
        expect(offset == 54 + 4 * len(palette), "BMP palette size is wrong")
        stride = (width + 3) // 4 * 4
        for y in range(height):
            base = offset + (height - 1 - y) * stride
            pixels.append([palette[data[base + x]] for x in range(width)])
    else:
        raise CheckError("BMP depth %d" % bits)
    expect(offset + stride * height == len(data), "BMP pixel data size is wrong")
    return width, height, pixels


def check_opaque_colours(pixels, key):
    """No character pixel may share a button-face colour or the key colour."""
    for row in pixels:
        for rgb in row:
            if rgb is None or rgb == key:
                continue
            expect(rgb not in BUTTON_FACES, "opaque pixel in button-face colour %r" % (rgb,))


def check_gif(data, size, canvas):
    width, height, palette, indices, transparent = read_gif(data)
    expect((width, height) == size, "size %dx%d" % (width, height))
    expect(indices[0] == transparent, "top-left pixel is not transparent")
    expect(indices == canvas.pixels, "decoded pixels differ from the drawing")
    check_opaque_colours([[None if i == transparent else palette[i] for i in indices]], None)
    expect(palette[transparent] not in [palette[i] for i in set(indices) if i != transparent],
           "an opaque pixel has the transparent entry's colour")


def check_ico(data, size, canvas, palette):
    width, height, pixels = read_ico(data)
    expect((width, height) == size, "size %dx%d" % (width, height))
    expect(pixels[0][0] is None, "top-left pixel is not transparent")
    for y in range(height):
        for x in range(width):
            index = canvas.get(x, y)
            want = None if index == CLEAR else palette[index]
            expect(pixels[y][x] == want, "icon pixel (%d, %d) differs from the drawing" % (x, y))
    check_opaque_colours(pixels, None)


def check_bmp(data, size, canvas, palette):
    width, height, pixels = read_bmp(data)
    expect((width, height) == size, "size %dx%d" % (width, height))
    key = pixels[0][0]
    expect(key == palette[CLEAR], "top-left pixel is not the background colour")
    for y in range(height):
        for x in range(width):
            expect((pixels[y][x] == key) == (canvas.get(x, y) == CLEAR),
                   "key colour at (%d, %d) does not match the background" % (x, y))
    check_opaque_colours(pixels, key)


def motion_report(frames):
    """Largest share of character pixels that change between neighbouring
    frames, the wrap from the last frame to the first included."""
    worst = 0.0
    for i, current in enumerate(frames):
        following = frames[(i + 1) % len(frames)]
        changed = sum(1 for a, b in zip(current.pixels, following.pixels) if a != b)
        opaque = sum(1 for a in current.pixels if a != CLEAR)
        worst = max(worst, changed / opaque)
    return worst


def walk_problems():
    """At 500 ms a frame any jump shows, so every part moves by at most one
    pixel between frames, the body along one axis at a time, and the last
    frame leads into the first like any other pair."""
    body = ("sway", "bob", "squash")
    poses = [tovalin_pose(i) for i in range(TOVALIN_FRAMES)]
    for i, pose in enumerate(poses):
        following = poses[(i + 1) % len(poses)]
        label = "frame%02d -> frame%02d" % (i + 1, (i + 1) % len(poses) + 1)
        for part, value in pose.items():
            if part != "eyes" and abs(following[part] - value) > 1:
                yield "%s: %s jumps by %d" % (label, part, following[part] - value)
        moved = [part for part in body if following[part] != pose[part]]
        if len(moved) > 1:
            yield "%s: body moves along %s at once" % (label, " and ".join(moved))


def check(files, canvases):
    problems = 0

    def run(path, test):
        nonlocal problems
        label = os.path.relpath(path, HERE)
        try:
            with open(path, "rb") as f:
                data = f.read()
            test(data)
            expect(data == files[path], "differs from a fresh build; run make_sample.py")
        except (CheckError, OSError, IndexError, struct.error) as error:
            problems += 1
            print("FAIL %s: %s" % (label, error))
        else:
            print("ok   %s (%d bytes)" % (label, len(data)))

    for i, canvas in enumerate(canvases["tovalin"]):
        path = os.path.join(FRAMES_DIR, "frame%02d.gif" % (i + 1))
        run(path, lambda d, c=canvas: check_gif(d, TOVALIN_SIZE, c))
    run(os.path.join(SAMPLE_DIR, "tovalin.ico"),
        lambda d: check_ico(d, (32, 32), canvases["icon"], TOVALIN_PALETTE))
    for (name, _), canvas in zip(PUKARI_FILES, canvases["pukari"]):
        path = os.path.join(FAVOURITE_DIR, name)
        if name.endswith(".gif"):
            run(path, lambda d, c=canvas: check_gif(d, PUKARI_SIZE, c))
        elif name.endswith(".ico"):
            run(path, lambda d, c=canvas: check_ico(d, PUKARI_SIZE, c, PUKARI_PALETTE))
        else:
            run(path, lambda d, c=canvas: check_bmp(d, PUKARI_SIZE, c, PUKARI_PALETTE))
    run(os.path.join(FAVOURITE_DIR, "readme.txt"), lambda d: None)
    run(os.path.join(SAMPLE_DIR, "preview.png"),
        lambda d: expect(d.startswith(b"\x89PNG\r\n\x1a\n"), "not a PNG"))

    on_disk = set()
    for folder in (FRAMES_DIR, FAVOURITE_DIR):
        on_disk |= {os.path.join(folder, name) for name in os.listdir(folder)}
    stray = sorted(p for p in on_disk if p not in files)
    for path in stray:
        problems += 1
        print("FAIL %s: not written by this generator" % os.path.relpath(path, HERE))

    for message in walk_problems():
        problems += 1
        print("FAIL walk: " + message)
    worst = motion_report(canvases["tovalin"])
    print("largest change between neighbouring frames: %.0f%% of the character" % (100 * worst))
    if worst > 0.4:
        problems += 1
        print("FAIL the walk changes too much of the character between two frames")
    print("%d problem(s)" % problems)
    return problems == 0


def main(argv):
    files, canvases = build()
    if argv[1:] == ["--check"]:
        return 0 if check(files, canvases) else 1
    if argv[1:]:
        print("usage: make_sample.py [--check]", file=sys.stderr)
        return 2
    write(files)
    print("wrote %d files under %s" % (len(files), HERE))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
