#!/usr/bin/env python3
"""Draws the pictures of the timeline bar and the A-B display as 24-bit BMP files:

  flag_148.bmp   6 x 10  red A flag, its staff on the right column (the A point)
  flag_149.bmp   6 x 10  blue b flag, its staff on the left column (the B point)
  thumb_142.bmp 13 x 13  upward pentagon, its tip in column 6 (the position)
  play_146.bmp  64 x 64  round play button
  keys_147.bmp 114 x 69  the table of shortcut keys shown while no file is loaded

The panels combine them with SRCAND, so white lets the background through. The panels
place them by their staff and tip columns, so the small ones are drawn pixel by pixel, and
the table's text comes from a bitmap font in whole pixels.

usage: gen_panel_art.py OUTPUT_DIR BITMAP_FONT
  BITMAP_FONT  WenQuanYi's 12 px bitmap face (xfonts-wqy: wenquanyi_9pt.pcf); glyphs drawn
               for this size stay legible where outline fonts either blur (anti-aliased)
               or lose strokes (monochrome hinting)
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source folder free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import raster as R  # noqa: E402

WHITE = (255, 255, 255)
FLAG_A_RED = (255, 0, 0)
FLAG_B_BLUE = (0, 0, 255)
THUMB_FILL = (212, 212, 212)
THUMB_EDGE = (0, 0, 0)
PANEL_BLUE = R.hex_colour("2a6fd6")  # play button and table header
KEY_RED = R.hex_colour("d01818")
RULE_GREY = (176, 176, 176)

TEXT_SIZE = 12

# '#' is ink, '.' is white. The A stands left of its staff, the b's stem is its staff, so
# when A and B coincide the two flags stand back to back on one column.
FLAG_A = [
    ".....#",
    ".....#",
    ".##..#",
    "#..#.#",
    "#..#.#",
    "####.#",
    "#..#.#",
    "#..#.#",
    ".....#",
    ".....#",
]
FLAG_B = [
    "#.....",
    "#.....",
    "#.###.",
    "##...#",
    "#....#",
    "#....#",
    "##...#",
    "#.###.",
    "#.....",
    "#.....",
]
ARROW_UP = [
    "...#...",
    "..###..",
    ".#.#.#.",
    "#..#..#",
    "...#...",
    "...#...",
    "...#...",
]


def from_pattern(pattern, colour):
    return [[colour if ch == "#" else WHITE for ch in line] for line in pattern]


def rotate_right(pattern):
    return ["".join(line[x] for line in reversed(pattern)) for x in range(len(pattern[0]))]


def blank(width, height):
    return [[WHITE] * width for _ in range(height)]


def paint(rows, left, top, mask, colour):
    """Sets the pixels of a 0/1 coverage mask (or pattern rows) to the colour."""
    for y, line in enumerate(mask):
        for x, value in enumerate(line):
            if value == "#" or (not isinstance(value, str) and value >= 0.5):
                rows[top + y][left + x] = colour


def fill_rect(rows, x0, y0, x1, y1, colour):  # inclusive corners
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            rows[y][x] = colour


# ------------------------------------------------------------------------ timeline bar

def draw_thumb():
    """Tip at (6, 0); 45-degree shoulders down to row 6, straight sides, flat bottom."""
    size, tip = 13, 6
    rows = blank(size, size)
    for y in range(size):
        half = min(y, tip)
        for x in range(tip - half, tip + half + 1):
            edge = x in (tip - half, tip + half) or y == size - 1
            rows[y][x] = THUMB_EDGE if edge else THUMB_FILL
    return rows


# ------------------------------------------------------------------------ A-B display

def draw_play_button():
    canvas = R.Canvas(64, 64)
    canvas.fill(R.Circle(32.0, 32.0, 30.5) - R.Circle(32.0, 32.0, 26.5), PANEL_BLUE)
    canvas.fill(R.Polygon([(24.0, 17.0), (24.0, 47.0), (48.0, 32.0)]), PANEL_BLUE)
    return canvas.flatten(WHITE)


TABLE_W, TABLE_H = 114, 69
ROW_PITCH = 17                 # rules at rows 0, 17, 34, 51, 68
HEADER_RIGHT = 16              # the blue column spans x 0..16
KEY_RULE_X = 34                # between the key cell and the action cell
TEXT_LEFT = KEY_RULE_X + 4
HEADER_GAP = 3                 # rows between the header's stacked characters
KEY_SIDE = 13

SHORTCUTS = [  # (arrow pattern, action) in the order the rows show them
    (rotate_right(rotate_right(ARROW_UP)), "播放、暂停"),
    (rotate_right(rotate_right(rotate_right(ARROW_UP))), "向后跳跃"),
    (rotate_right(ARROW_UP), "向前跳跃"),
    (ARROW_UP, "ab点定位键"),
]


def sharp_text(text, font, rows=None):
    return R.text_mask(text, font, TEXT_SIZE, rows=rows, antialias=False)


def draw_key(rows, left, top, arrow):
    """A square key cap (corners cut) with the arrow in its middle."""
    side = KEY_SIDE
    for i in range(1, side - 1):
        rows[top][left + i] = rows[top + side - 1][left + i] = KEY_RED
        rows[top + i][left] = rows[top + i][left + side - 1] = KEY_RED
    paint(rows, left + (side - len(arrow[0])) // 2, top + (side - len(arrow)) // 2, arrow, KEY_RED)


def draw_header(rows, font):
    fill_rect(rows, 0, 0, HEADER_RIGHT, TABLE_H - 1, PANEL_BLUE)
    glyphs = [sharp_text(ch, font) for ch in "快捷键表"]
    cell = max(R.mask_size(g)[1] for g in glyphs)
    top = (TABLE_H - (len(glyphs) * cell + (len(glyphs) - 1) * HEADER_GAP)) // 2
    for glyph in glyphs:
        w, h = R.mask_size(glyph)
        paint(rows, (HEADER_RIGHT + 1 - w) // 2, top + (cell - h) // 2, glyph, WHITE)
        top += cell + HEADER_GAP


def action_label_rows(font):
    """The label rows that hold the ink of every action, so that all share one baseline."""
    boxes = [R.ink_box(R.label_coverage(text, font, TEXT_SIZE, antialias=False)) for _, text in SHORTCUTS]
    return min(b[1] for b in boxes), max(b[3] for b in boxes)


def draw_shortcut_table(font):
    rows = blank(TABLE_W, TABLE_H)
    for k in range(len(SHORTCUTS) + 1):
        fill_rect(rows, HEADER_RIGHT + 1, k * ROW_PITCH, TABLE_W - 1, k * ROW_PITCH, RULE_GREY)
    fill_rect(rows, KEY_RULE_X, 0, KEY_RULE_X, TABLE_H - 1, RULE_GREY)
    fill_rect(rows, TABLE_W - 1, 0, TABLE_W - 1, TABLE_H - 1, RULE_GREY)
    draw_header(rows, font)
    label_rows = action_label_rows(font)
    inner = ROW_PITCH - 1
    key_left = HEADER_RIGHT + 1 + (KEY_RULE_X - HEADER_RIGHT - 1 - KEY_SIDE) // 2
    for k, (arrow, action) in enumerate(SHORTCUTS):
        row_top = k * ROW_PITCH + 1
        draw_key(rows, key_left, row_top + (inner - KEY_SIDE) // 2, arrow)
        text = sharp_text(action, font, rows=label_rows)
        paint(rows, TEXT_LEFT, row_top + (inner - len(text)) // 2, text, KEY_RED)
    return rows


# ------------------------------------------------------------------------ files

NAMES = ["flag_148.bmp", "flag_149.bmp", "thumb_142.bmp", "play_146.bmp", "keys_147.bmp"]  # resource numbers


def main():
    out_dir, font = sys.argv[1], sys.argv[2]
    os.makedirs(out_dir, exist_ok=True)
    images = [from_pattern(FLAG_A, FLAG_A_RED), from_pattern(FLAG_B, FLAG_B_BLUE), draw_thumb(),
              draw_play_button(), draw_shortcut_table(font)]
    for name, rows in zip(NAMES, images):
        R.write_file(os.path.join(out_dir, name), R.bmp24_bytes(rows))


if __name__ == "__main__":
    main()
