#!/usr/bin/env python3
"""Puts the generated bitmaps on one enlarged sheet for people to look at: each toolbar strip
on white and on the button face (how the toolbar shows it), then the panel pictures on white
and combined with SRCAND into the button face (how the timeline bar draws them), the two
flags also back to back as they stand when A equals B.

usage: gen_preview.py ART_DIR OUTPUT_PNG
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source folder free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import raster as R  # noqa: E402
import gen_panel_art as P  # noqa: E402
import gen_toolbar as T  # noqa: E402

SCALE = 3
GAP_COLOUR = (200, 210, 230)
SHEET_W = T.CELL_W * T.IMAGES_PER_STRIP
SPACING = 8


def srcand(rows, background):
    return [[tuple(a & b for a, b in zip(px, background)) for px in row] for row in rows]


def side_by_side(images, background):
    """One band of the sheet's width with the images in a line, top-aligned."""
    height = max(len(img) for img in images)
    band = [[background] * SHEET_W for _ in range(height)]
    left = SPACING
    for img in images:
        for y, row in enumerate(img):
            band[y][left:left + len(row)] = row
        left += len(img[0]) + SPACING
    return band


def main():
    art, output = sys.argv[1], sys.argv[2]
    gap = [[GAP_COLOUR] * SHEET_W] * 2
    sheet = []
    for number in T.STRIP_ORDER:
        rows = R.read_bmp24(os.path.join(art, "strip_%d.bmp" % number))
        on_face = [[T.BUTTON_FACE if px == T.WHITE else px for px in row] for row in rows]
        sheet += rows + on_face + gap
    panel = [R.read_bmp24(os.path.join(art, name)) for name in P.NAMES]
    flag_a, flag_b = panel[0], panel[1]
    back_to_back = [a[:5] + b for a, b in zip(flag_a, flag_b)]  # b's staff over A's
    panel.insert(2, back_to_back)
    sheet += side_by_side(panel, T.WHITE) + gap
    sheet += side_by_side([srcand(img, T.BUTTON_FACE) for img in panel], T.BUTTON_FACE)
    R.write_file(output, R.png_bytes(R.scale_rows(sheet, SCALE)))


if __name__ == "__main__":
    main()
