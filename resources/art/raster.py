"""A small anti-aliased rasteriser and the image file writers the artwork generators share.

Shapes are point-membership tests in pixel coordinates (y grows downwards, pixel (x, y)
covers the square [x, x+1) x [y, y+1)); a pixel's coverage is the fraction of a grid of
sub-samples inside the shape. That is slow in pure Python but the pictures are tiny, and it
keeps the generators free of anything beyond the standard library. Text comes from
ImageMagick (/usr/bin/convert) as a coverage mask, since fonts need a real font engine.
"""

import math
import struct
import subprocess
import zlib

SUBSAMPLES = 5  # per axis: 25 samples a pixel
CONVERT = "/usr/bin/convert"


# ---------------------------------------------------------------------------- shapes

class Shape:
    def bbox(self):
        raise NotImplementedError

    def contains(self, x, y):
        raise NotImplementedError

    def __or__(self, other):
        return Union(self, other)

    def __sub__(self, other):
        return Difference(self, other)


class Polygon(Shape):
    """Even-odd filled polygon."""

    def __init__(self, points):
        self.points = [(float(x), float(y)) for x, y in points]

    def bbox(self):
        xs = [p[0] for p in self.points]
        ys = [p[1] for p in self.points]
        return min(xs), min(ys), max(xs), max(ys)

    def contains(self, x, y):
        inside = False
        pts = self.points
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y):
                cross_x = xi + (y - yi) * (xj - xi) / (yj - yi)
                if x < cross_x:
                    inside = not inside
            j = i
        return inside


class Rect(Polygon):
    def __init__(self, x0, y0, x1, y1):
        super().__init__([(x0, y0), (x1, y0), (x1, y1), (x0, y1)])


class Circle(Shape):
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r

    def bbox(self):
        return self.cx - self.r, self.cy - self.r, self.cx + self.r, self.cy + self.r

    def contains(self, x, y):
        dx, dy = x - self.cx, y - self.cy
        return dx * dx + dy * dy <= self.r * self.r


class RoundRect(Shape):
    def __init__(self, x0, y0, x1, y1, r):
        self.x0, self.y0, self.x1, self.y1, self.r = x0, y0, x1, y1, r

    def bbox(self):
        return self.x0, self.y0, self.x1, self.y1

    def contains(self, x, y):
        if not (self.x0 <= x <= self.x1 and self.y0 <= y <= self.y1):
            return False
        r = self.r
        cx = min(max(x, self.x0 + r), self.x1 - r)
        cy = min(max(y, self.y0 + r), self.y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


class Stroke(Shape):
    """A polyline of the given width with round joins and caps."""

    def __init__(self, points, width):
        self.points = [(float(x), float(y)) for x, y in points]
        self.half = width / 2.0

    def bbox(self):
        xs = [p[0] for p in self.points]
        ys = [p[1] for p in self.points]
        h = self.half
        return min(xs) - h, min(ys) - h, max(xs) + h, max(ys) + h

    def contains(self, x, y):
        h2 = self.half * self.half
        pts = self.points
        for (ax, ay), (bx, by) in zip(pts, pts[1:] or pts):
            vx, vy = bx - ax, by - ay
            length2 = vx * vx + vy * vy
            t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / length2))
            dx, dy = x - (ax + t * vx), y - (ay + t * vy)
            if dx * dx + dy * dy <= h2:
                return True
        return False


class Union(Shape):
    def __init__(self, *shapes):
        self.shapes = shapes

    def bbox(self):
        boxes = [s.bbox() for s in self.shapes]
        return (min(b[0] for b in boxes), min(b[1] for b in boxes),
                max(b[2] for b in boxes), max(b[3] for b in boxes))

    def contains(self, x, y):
        return any(s.contains(x, y) for s in self.shapes)


class Difference(Shape):
    def __init__(self, keep, cut):
        self.keep, self.cut = keep, cut

    def bbox(self):
        return self.keep.bbox()

    def contains(self, x, y):
        return self.keep.contains(x, y) and not self.cut.contains(x, y)


# ---------------------------------------------------------------------------- colours

def hex_colour(text):
    text = text.lstrip("#")
    return tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


def mix(c1, c2, t):
    """c1 at t = 0, c2 at t = 1."""
    return tuple(round(a + (b - a) * t) for a, b in zip(c1, c2))


# ---------------------------------------------------------------------------- canvas

class Canvas:
    """Straight (non-premultiplied) RGBA in floats, 0..255 colour and 0..1 alpha."""

    def __init__(self, width, height):
        self.width, self.height = width, height
        self.rgb = [[(0.0, 0.0, 0.0)] * width for _ in range(height)]
        self.alpha = [[0.0] * width for _ in range(height)]

    def blend(self, x, y, colour, a):
        if a <= 0.0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        a = min(a, 1.0)
        old_a = self.alpha[y][x]
        new_a = a + old_a * (1.0 - a)
        old = self.rgb[y][x]
        self.rgb[y][x] = tuple((c * a + o * old_a * (1.0 - a)) / new_a for c, o in zip(colour, old))
        self.alpha[y][x] = new_a

    def fill(self, shape, colour, opacity=1.0, colour_at=None):
        """Paints the shape; colour_at(x, y) may give a per-pixel colour (gradients)."""
        x0, y0, x1, y1 = shape.bbox()
        n = SUBSAMPLES
        offsets = [(i + 0.5) / n for i in range(n)]
        for py in range(max(0, math.floor(y0)), min(self.height, math.ceil(y1) + 1)):
            for px in range(max(0, math.floor(x0)), min(self.width, math.ceil(x1) + 1)):
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        if shape.contains(px + ox, py + oy):
                            hits += 1
                if hits:
                    c = colour_at(px + 0.5, py + 0.5) if colour_at else colour
                    self.blend(px, py, c, opacity * hits / (n * n))

    def fill_mask(self, mask, left, top, colour):
        for my, row in enumerate(mask):
            for mx, cover in enumerate(row):
                self.blend(left + mx, top + my, colour, cover)

    def paste(self, other, left, top):
        for y in range(other.height):
            for x in range(other.width):
                self.blend(left + x, top + y, other.rgb[y][x], other.alpha[y][x])

    def flatten(self, background, transparent=None, cutoff=0.0):
        """Opaque RGB rows composed over background; pixels with coverage at or below
        cutoff become the transparent colour instead (when one is given)."""
        rows = []
        for y in range(self.height):
            row = []
            for x in range(self.width):
                a = self.alpha[y][x]
                if transparent is not None and a <= cutoff:
                    row.append(transparent)
                else:
                    row.append(tuple(round(c * a + b * (1.0 - a)) for c, b in zip(self.rgb[y][x], background)))
            rows.append(row)
        return rows

    def rgba_bytes_rows(self):
        """Rows of (r, g, b, a) integer tuples."""
        return [[tuple(round(c) for c in self.rgb[y][x]) + (round(self.alpha[y][x] * 255),)
                 for x in range(self.width)] for y in range(self.height)]


# ---------------------------------------------------------------------------- text

def label_coverage(text, font, pointsize, antialias=True):
    """Coverage (rows of 0..1) of ImageMagick's label for the text, uncropped. Without
    anti-aliasing the font's hinted outlines give whole pixels only, which keep small CJK
    glyphs sharper than grey edges do."""
    args = [CONVERT, "-background", "white", "-fill", "black", "-font", font,
            "-pointsize", str(pointsize), "-antialias" if antialias else "+antialias",
            "label:" + text, "-depth", "8", "pgm:-"]
    data = subprocess.run(args, check=True, capture_output=True).stdout
    fields = data.split(maxsplit=4)
    assert fields[0] == b"P5", "ImageMagick did not write a binary PGM"
    width, height, maximum = int(fields[1]), int(fields[2]), int(fields[3])
    pixels = fields[4][-width * height:]
    return [[1.0 - pixels[y * width + x] / maximum for x in range(width)] for y in range(height)]


def ink_box(cover, threshold=0.02):
    """(x0, y0, x1, y1) inclusive bounds of the inked pixels."""
    ink = [(x, y) for y, row in enumerate(cover) for x, c in enumerate(row) if c > threshold]
    xs = [p[0] for p in ink]
    ys = [p[1] for p in ink]
    return min(xs), min(ys), max(xs), max(ys)


def text_mask(text, font, pointsize, rows=None, antialias=True):
    """Coverage mask of the text cropped to its ink; rows=(top, bottom) crops vertically to
    fixed label rows instead, so that several texts share one baseline."""
    cover = label_coverage(text, font, pointsize, antialias)
    x0, y0, x1, y1 = ink_box(cover)
    if rows is not None:
        y0, y1 = rows
    return [row[x0:x1 + 1] for row in cover[y0:y1 + 1]]


def mask_size(mask):
    return (len(mask[0]) if mask else 0), len(mask)


# ---------------------------------------------------------------------------- writers

def bmp24_bytes(rows):
    """Uncompressed 24-bit bottom-up Windows bitmap (BITMAPINFOHEADER, BI_RGB)."""
    height, width = len(rows), len(rows[0])
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        body += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + bytes(body)


def read_bmp24(path):
    """Rows top-down of (r, g, b) from a file bmp24_bytes wrote."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        line = data[offset + y * stride:offset + y * stride + width * 3]
        rows.append([(line[3 * x + 2], line[3 * x + 1], line[3 * x]) for x in range(width)])
    return rows


def ico_bytes(images):
    """Icon file with one 32-bit image (alpha plus AND mask) per RGBA row set, smallest first."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for rows in images:
        size = len(rows)
        xor = bytearray()
        for row in reversed(rows):
            for r, g, b, a in row:
                xor += bytes((b, g, r, a))
        mask_stride = ((size + 31) // 32) * 4
        and_mask = bytearray()
        for row in reversed(rows):
            bits = bytearray(mask_stride)
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            and_mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
        blob = info + bytes(xor) + bytes(and_mask)
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


def png_bytes(rows, alpha=False):
    """PNG of RGB rows, or RGBA rows when alpha is set."""
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for px in row:
            raw += bytes(px[:4] if alpha else px[:3])

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def scale_rows(rows, factor):
    """Nearest-neighbour enlargement, for previews."""
    out = []
    for row in rows:
        wide = [px for px in row for _ in range(factor)]
        out.extend([wide] * factor)
    return out


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)
