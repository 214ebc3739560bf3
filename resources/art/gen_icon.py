#!/usr/bin/env python3
"""Draws the program icon: a blue tile with a white waveform held between the two
amber brackets of an A-B loop. Writes program.ico (16, 32 and 48 px, 32-bit with alpha)
and program.png (48 px).

Each size has its own layout with bars and brackets on whole pixels, so every size stays
crisp instead of being a blurred copy of the large one.

usage: gen_icon.py OUTPUT_DIR
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source folder free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import raster as R  # noqa: E402

TILE_TOP = R.hex_colour("3d8de8")
TILE_BOTTOM = R.hex_colour("1a4c98")
TILE_EDGE = R.hex_colour("143c78")
WAVE = (255, 255, 255)
BRACKET = R.hex_colour("ffc531")

# size: tile inset and corner radius, bar centres/width/heights, bracket x positions,
# bracket top/bottom, stroke width and foot length, edge line width.
LAYOUTS = {
    48: dict(inset=1.0, radius=9.0, bars=[11.5, 16.5, 21.5, 26.5, 31.5, 36.5], bar_w=3.0,
             heights=[10, 22, 30, 18, 26, 12], brackets=(5.5, 42.5), top=10.5, bottom=37.5,
             stroke=3.0, foot=4.5, edge=1.2),
    32: dict(inset=0.5, radius=6.0, bars=[10.0, 13.0, 16.0, 19.0, 22.0], bar_w=2.0,
             heights=[8, 16, 22, 14, 8], brackets=(6.0, 26.0), top=7.0, bottom=25.0,
             stroke=2.0, foot=3.0, edge=1.0),
    16: dict(inset=0.0, radius=3.0, bars=[5.5, 7.5, 9.5, 11.5], bar_w=1.0,
             heights=[4, 10, 8, 4], brackets=(2.5, 13.5), top=3.0, bottom=13.0,
             stroke=1.0, foot=1.5, edge=0.0),
}


def draw_icon(size):
    L = LAYOUTS[size]
    c = R.Canvas(size, size)
    lo, hi = L["inset"], size - L["inset"]
    tile = R.RoundRect(lo, lo, hi, hi, L["radius"])

    def gradient(x, y):
        return R.mix(TILE_TOP, TILE_BOTTOM, min(1.0, max(0.0, y / size)))

    if L["edge"]:
        c.fill(tile, TILE_EDGE)
        e = L["edge"]
        c.fill(R.RoundRect(lo + e, lo + e, hi - e, hi - e, L["radius"] - e), None, colour_at=gradient)
    else:
        c.fill(tile, None, colour_at=gradient)

    mid = size / 2.0
    for x, h in zip(L["bars"], L["heights"]):
        half_w = L["bar_w"] / 2.0
        # Bars sit on whole pixels in every size; only their ends are rounded.
        rounding = 0.0 if size == 16 else half_w * 0.6
        c.fill(R.RoundRect(x - half_w, mid - h / 2.0, x + half_w, mid + h / 2.0, rounding), WAVE)

    left, right = L["brackets"]
    top, bottom, w, foot = L["top"], L["bottom"], L["stroke"], L["foot"]
    if size == 16:
        # "[" and "]" one pixel wide, with one-pixel feet.
        c.fill(R.Rect(2, 3, 3, 13) | R.Rect(3, 3, 4, 4) | R.Rect(3, 12, 4, 13), BRACKET)
        c.fill(R.Rect(13, 3, 14, 13) | R.Rect(12, 3, 13, 4) | R.Rect(12, 12, 13, 13), BRACKET)
    else:
        c.fill(R.Stroke([(left + foot, top), (left, top), (left, bottom), (left + foot, bottom)], w), BRACKET)
        c.fill(R.Stroke([(right - foot, top), (right, top), (right, bottom), (right - foot, bottom)], w), BRACKET)
    return c.rgba_bytes_rows()


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    images = {size: draw_icon(size) for size in sorted(LAYOUTS)}
    R.write_file(os.path.join(out_dir, "program.ico"), R.ico_bytes([images[s] for s in sorted(images)]))
    R.write_file(os.path.join(out_dir, "program.png"), R.png_bytes(images[48], alpha=True))


if __name__ == "__main__":
    main()
