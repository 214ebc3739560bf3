#!/usr/bin/env python3
"""Draws the six transport toolbar strips (450 x 32, ten 45 x 32 images each) as 24-bit
BMP files.

Every image is a symbol of about 16 px above a 12 px Chinese caption on a white background.
The toolbar treats white as transparent, so anti-aliased edges are blended against the
usual light-grey button face and only untouched pixels stay pure white.

usage: gen_toolbar.py OUTPUT_DIR
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source folder free of __pycache__
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import raster as R  # noqa: E402

CELL_W, CELL_H = 45, 32
IMAGES_PER_STRIP = 10
CAPTION_FONT = "WenQuanYi-Zen-Hei"
CAPTION_SIZE = 12
LETTER_FONT = "DejaVu-Sans-Bold"
CAPTION_LABEL_ROWS = (1, 14)   # rows of ImageMagick's 12 px label that hold CJK ink
CAPTION_GAMMA = 0.75           # < 1 darkens the anti-aliased strokes
CAPTION_TOP = 17               # so the caption ink ends on row 30
CX = CELL_W / 2.0              # horizontal centre of a cell
SYMBOL_MID = 8.5               # vertical centre of the symbol area (rows 1..16)

WHITE = (255, 255, 255)
BUTTON_FACE = (240, 240, 240)
INK = R.hex_colour("2b3440")
CAPTION_INK = R.hex_colour("1c1c1c")
PLAY_GREEN = R.hex_colour("2e9d47")
A_BLUE = R.hex_colour("1e66d0")
B_ORANGE = R.hex_colour("e0541b")
CANCEL_RED = R.hex_colour("d0312d")
FOLDER_BACK = R.hex_colour("d99a1e")
FOLDER_FRONT = R.hex_colour("f7c948")
FOLDER_EDGE = R.hex_colour("8a5a0a")
BLADE = R.hex_colour("4a5560")

# Colours that LoadImage's LR_LOADMAP3DCOLORS would remap to system colours; the pictures
# avoid them so that they look the same however they are loaded.
MAPPED_GREYS = {(128, 128, 128), (192, 192, 192), (223, 223, 223)}


# ------------------------------------------------------------------------ symbol helpers

def letter(canvas, text, colour, pointsize, centre_x, centre_y=SYMBOL_MID):
    mask = R.text_mask(text, LETTER_FONT, pointsize)
    w, h = R.mask_size(mask)
    canvas.fill_mask(mask, round(centre_x - w / 2.0), round(centre_y - h / 2.0), colour)
    return w


def outline(points, width):
    return R.Stroke(list(points) + [points[0]], width)


def bracket(left_x, top, bottom, facing_right, colour, canvas, width=2.2, foot=3.2):
    """A square bracket: '[' when facing_right, ']' otherwise; left_x is its spine."""
    d = foot if facing_right else -foot
    canvas.fill(R.Stroke([(left_x + d, top), (left_x, top), (left_x, bottom), (left_x + d, bottom)], width), colour)


def plus_sign(canvas, cx, cy, colour, arm=3.6, width=2.2):
    canvas.fill(R.Stroke([(cx - arm, cy), (cx + arm, cy)], width) | R.Stroke([(cx, cy - arm), (cx, cy + arm)], width),
                colour)


def minus_sign(canvas, cx, cy, colour, arm=3.6, width=2.2):
    canvas.fill(R.Stroke([(cx - arm, cy), (cx + arm, cy)], width), colour)


# ------------------------------------------------------------------------ symbols

def draw_open(c):
    back = [(14.5, 3.5), (20.0, 3.5), (22.0, 5.5), (29.5, 5.5), (29.5, 15.5), (14.5, 15.5)]
    c.fill(R.Polygon(back), FOLDER_BACK)
    c.fill(outline(back, 1.1), FOLDER_EDGE)
    front = [(17.5, 8.5), (32.5, 8.5), (29.5, 15.5), (14.5, 15.5)]
    c.fill(R.Polygon(front), FOLDER_FRONT)
    c.fill(outline(front, 1.1), FOLDER_EDGE)


def draw_play(c):
    c.fill(R.Polygon([(17.0, 1.5), (17.0, 15.5), (29.5, 8.5)]), PLAY_GREEN)


def draw_pause(c):
    c.fill(R.RoundRect(16.5, 2.0, 20.7, 15.0, 0.8), INK)
    c.fill(R.RoundRect(24.3, 2.0, 28.5, 15.0, 0.8), INK)


def double_triangle(c, pointing_right):
    for start in (13.5, 22.5):
        if pointing_right:
            tri = [(start, 2.5), (start, 14.5), (start + 9.0, 8.5)]
        else:
            tri = [(start + 9.0, 2.5), (start + 9.0, 14.5), (start, 8.5)]
        c.fill(R.Polygon(tri), INK)


def draw_jump_forward(c):
    double_triangle(c, True)


def draw_jump_backward(c):
    double_triangle(c, False)


def draw_set_a(c):
    bracket(16.0, 2.0, 15.0, True, A_BLUE, c)
    letter(c, "A", A_BLUE, 17, 25.0)


def draw_set_b(c):
    letter(c, "B", B_ORANGE, 17, 20.0)
    bracket(29.0, 2.0, 15.0, False, B_ORANGE, c)


def draw_cancel_ab(c):
    # "AB" followed by a red cross: both points go.
    letter(c, "A", A_BLUE, 15, 11.5)
    letter(c, "B", B_ORANGE, 15, 22.5)
    arm = 4.0
    cross = R.Stroke([(33.5 - arm, 8.5 - arm), (33.5 + arm, 8.5 + arm)], 2.4) | \
        R.Stroke([(33.5 - arm, 8.5 + arm), (33.5 + arm, 8.5 - arm)], 2.4)
    c.fill(cross, CANCEL_RED)


def draw_cut(c):
    # Open scissors, blades up, handles (red rings) down, crossing at a small pivot.
    c.fill(R.Stroke([(19.6, 11.0), (28.2, 1.2)], 2.1), BLADE)
    c.fill(R.Stroke([(25.4, 11.0), (16.8, 1.2)], 2.1), BLADE)
    c.fill(R.Circle(22.5, 7.8, 0.9), WHITE)
    for cx in (18.0, 27.0):
        c.fill(R.Circle(cx, 12.9, 3.8) - R.Circle(cx, 12.9, 1.9), CANCEL_RED)


def nudge(letter_text, colour, plus):
    def draw(c):
        # "a" has no ascender; it sits a pixel lower so both letters share a baseline look.
        letter(c, letter_text, colour, 19, 18.5, SYMBOL_MID + (0.0 if letter_text == "b" else 1.0))
        if plus:
            plus_sign(c, 28.5, 9.0, INK)
        else:
            minus_sign(c, 28.5, 9.0, INK)
    return draw


# ------------------------------------------------------------------------ cells and strips

CAPTION_OF = {
    "open": "打开", "play": "播放", "pause": "暂停", "jump_forward": "前跳", "jump_backward": "后跳",
    "set_a": "设a点", "set_b": "设b点", "cancel_ab": "取消ab", "cut": "剪切",
    "a_plus": "微调", "a_minus": "微调", "b_plus": "微调", "b_minus": "微调",
}

SYMBOL_OF = {
    "open": draw_open, "play": draw_play, "pause": draw_pause,
    "jump_forward": draw_jump_forward, "jump_backward": draw_jump_backward,
    "set_a": draw_set_a, "set_b": draw_set_b, "cancel_ab": draw_cancel_ab, "cut": draw_cut,
    "a_plus": nudge("a", A_BLUE, True), "a_minus": nudge("a", A_BLUE, False),
    "b_plus": nudge("b", B_ORANGE, True), "b_minus": nudge("b", B_ORANGE, False),
}

# Strip resource number -> (image 1, image 4); the other eight images are shared.
STRIPS = {
    143: ("play", "set_a"), 144: ("play", "set_b"), 145: ("play", "cancel_ab"),
    140: ("pause", "set_a"), 141: ("pause", "set_b"), 139: ("pause", "cancel_ab"),
}


STRIP_ORDER = [143, 144, 145, 140, 141, 139]  # play images first, as the preview shows them


def strip_images(image1, image4):
    return ["open", image1, "jump_forward", "jump_backward", image4, "cut",
            "a_plus", "a_minus", "b_plus", "b_minus"]


def draw_cell(name):
    canvas = R.Canvas(CELL_W, CELL_H)
    SYMBOL_OF[name](canvas)
    caption = R.text_mask(CAPTION_OF[name], CAPTION_FONT, CAPTION_SIZE, rows=CAPTION_LABEL_ROWS)
    # Small CJK glyphs come out faint; firm up the partial coverage a little.
    caption = [[min(1.0, c ** CAPTION_GAMMA) for c in row] for row in caption]
    w, _ = R.mask_size(caption)
    canvas.fill_mask(caption, (CELL_W - w) // 2, CAPTION_TOP, CAPTION_INK)
    rows = canvas.flatten(BUTTON_FACE, transparent=WHITE, cutoff=0.12)
    return [[px if px not in MAPPED_GREYS else tuple(v + 1 for v in px) for px in row] for row in rows]


def join_cells(cells):
    return [sum((cell[y] for cell in cells), []) for y in range(CELL_H)]


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    cells = {name: draw_cell(name) for name in SYMBOL_OF}
    for number in STRIP_ORDER:
        rows = join_cells([cells[name] for name in strip_images(*STRIPS[number])])
        assert len(rows) == CELL_H and len(rows[0]) == CELL_W * IMAGES_PER_STRIP
        R.write_file(os.path.join(out_dir, "strip_%d.bmp" % number), R.bmp24_bytes(rows))


if __name__ == "__main__":
    main()
