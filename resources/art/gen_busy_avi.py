#!/usr/bin/env python3
"""Writes busy.avi: the looping "working" clip for the animation controls of the repair
and cut progress dialogs. A ring of twelve dots whose dark head runs clockwise with a
fading tail, one step per frame: 12 frames of 32 x 32 pixels, 8-bit palette, every frame
a run-length (BI_RLE8) key frame, 100 ms a frame, no sound.

The common animation control plays only such simple clips: one video stream, no palette
changes, uncompressed or RLE8. In transparent mode it takes the colour of the frame's
top-left pixel as the background, so the corners are left as background (palette index 0).

usage: gen_busy_avi.py OUTPUT_DIR [PREVIEW_PNG]
"""

import math
import os
import struct
import sys

sys.dont_write_bytecode = True  # keep the source folder free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import raster as R  # noqa: E402

SIZE = 32
FRAMES = 12
MICROSECONDS_PER_FRAME = 100000
DOTS = 12
RING_RADIUS = 10.8
DOT_RADIUS = 2.5
TAIL = 8                       # dots behind the head that are still darker than the rest
COVERAGE_STEPS = 16            # anti-aliasing levels kept in the palette

BACKGROUND = (240, 240, 240)   # the usual dialog face; edges are blended against it
HEAD = R.hex_colour("1e66d0")
REST = R.hex_colour("c8d3e3")

BI_RLE8 = 1
AVIF_HASINDEX = 0x10
AVIIF_KEYFRAME = 0x10
STREAM_HANDLER = b"mrle"       # Microsoft RLE, the codec that matches BI_RLE8 frames


# ------------------------------------------------------------------------ pictures

def dot_colour(age):
    return R.mix(HEAD, REST, min(age, TAIL) / TAIL)


def frame_pixels(frame):
    """RGB rows of one frame: the head is the dot at position `frame`, clockwise from 12 o'clock."""
    canvas = R.Canvas(SIZE, SIZE)
    centre = SIZE / 2.0
    for dot in range(DOTS):
        angle = math.radians(-90.0 + dot * 360.0 / DOTS)
        age = (frame - dot) % DOTS
        shape = R.Circle(centre + RING_RADIUS * math.cos(angle), centre + RING_RADIUS * math.sin(angle), DOT_RADIUS)
        canvas.fill(shape, dot_colour(age))
    # Few coverage levels keep the palette small and identical across frames.
    for y in range(SIZE):
        for x in range(SIZE):
            canvas.alpha[y][x] = round(canvas.alpha[y][x] * COVERAGE_STEPS) / COVERAGE_STEPS
    return canvas.flatten(BACKGROUND)


def build_palette(frames):
    colours = [BACKGROUND]
    for rows in frames:
        for row in rows:
            for px in row:
                if px not in colours:
                    colours.append(px)
    if len(colours) > 256:
        raise SystemExit("busy clip needs %d colours; an 8-bit palette holds 256" % len(colours))
    return colours


# ------------------------------------------------------------------------ RLE8

MAX_RUN = 255
MIN_ENCODED_RUN = 3   # shorter runs are cheaper inside an absolute (literal) block


def run_length(row, start):
    end = start
    while end < len(row) and row[end] == row[start] and end - start < MAX_RUN:
        end += 1
    return end - start


def rle8_row(row):
    out = bytearray()
    i = 0
    while i < len(row):
        run = run_length(row, i)
        if run >= MIN_ENCODED_RUN:
            out += bytes((run, row[i]))
            i += run
            continue
        j = i
        while j < len(row) and j - i < MAX_RUN and run_length(row, j) < MIN_ENCODED_RUN:
            j += 1
        literal = row[i:j]
        if len(literal) >= 3:
            # Absolute mode: escape 0, count, the bytes, padded to a 16-bit boundary.
            out += bytes((0, len(literal))) + bytes(literal)
            if len(literal) % 2:
                out.append(0)
        else:
            for value in literal:
                out += bytes((1, value))
        i = j
    return out


def rle8_frame(index_rows):
    """Bottom-up RLE8 stream: end-of-line after each row but the last, then end-of-bitmap."""
    out = bytearray()
    bottom_up = list(reversed(index_rows))
    for n, row in enumerate(bottom_up):
        out += rle8_row(row)
        out += b"\x00\x00" if n < len(bottom_up) - 1 else b"\x00\x01"
    return bytes(out)


# ------------------------------------------------------------------------ RIFF

def chunk(fourcc, data):
    return fourcc + struct.pack("<I", len(data)) + data + (b"\0" if len(data) % 2 else b"")


def riff_list(kind, payload):
    return chunk(b"LIST", kind + payload)


def avi_bytes(encoded_frames, palette):
    largest = max(len(f) for f in encoded_frames)
    fps_rate, fps_scale = 1000000 // MICROSECONDS_PER_FRAME, 1
    avih = struct.pack("<14I", MICROSECONDS_PER_FRAME, largest * fps_rate, 0, AVIF_HASINDEX,
                       len(encoded_frames), 0, 1, largest, SIZE, SIZE, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", STREAM_HANDLER, 0, 0, 0, 0,
                       fps_scale, fps_rate, 0, len(encoded_frames), largest, 0xFFFFFFFF, 0,
                       0, 0, SIZE, SIZE)
    bitmap_info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 8, BI_RLE8, largest, 0, 0, 256, 0)
    colour_table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette) + b"\0" * 4 * (256 - len(palette))
    hdrl = riff_list(b"hdrl", chunk(b"avih", avih)
                     + riff_list(b"strl", chunk(b"strh", strh) + chunk(b"strf", bitmap_info + colour_table)))

    movi_payload = bytearray()
    index = bytearray()
    for frame in encoded_frames:
        offset = 4 + len(movi_payload)   # from the 'movi' list type
        movi_payload += chunk(b"00dc", frame)
        index += struct.pack("<4sIII", b"00dc", AVIIF_KEYFRAME, offset, len(frame))
    movi = riff_list(b"movi", bytes(movi_payload))
    return chunk(b"RIFF", b"AVI " + hdrl + movi + chunk(b"idx1", bytes(index)))


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    frames = [frame_pixels(n) for n in range(FRAMES)]
    palette = build_palette(frames)
    lookup = {colour: i for i, colour in enumerate(palette)}
    index_frames = [[[lookup[px] for px in row] for row in rows] for rows in frames]
    for rows in index_frames:
        assert rows[0][0] == 0, "the top-left pixel must be the background"
    R.write_file(os.path.join(out_dir, "busy.avi"), avi_bytes([rle8_frame(f) for f in index_frames], palette))
    if len(sys.argv) > 2:
        # All frames side by side, enlarged, for a person to look at.
        strip = [sum((rows[y] for rows in frames), []) for y in range(SIZE)]
        R.write_file(sys.argv[2], R.png_bytes(R.scale_rows(strip, 4)))


if __name__ == "__main__":
    main()
