"""Pictures of the skin: status images, masks, the arrow strip and the icons.

Everything is drawn at 1:1 in pixels from the layout table. Only masks may
hold pure white; the status images never do.
"""

import io
import struct

from PIL import Image, ImageDraw, ImageFont

import layout as L

DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
DEJAVU_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
WQY = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

JPEG_QUALITY = 92

# Palette. The accent marks an assigned key and nothing else.
CASE = (0x1B, 0x1D, 0x22)
STRIP = (0x15, 0x16, 0x1A)
PLATE = (0x21, 0x23, 0x29)
PLATE_EDGE = (0x2A, 0x2D, 0x34)
OUTLINE = (0x3A, 0x3E, 0x47)
TEXT = (0xAE, 0xB2, 0xBA)
TEXT_DIM = (0x7C, 0x81, 0x8B)
TITLE = (0xF2, 0xF3, 0xF5)
ACCENT = (0xFF, 0x8A, 0x1F)
LAMP_ON = (0x4C, 0xD9, 0x64)
RECORD_RED = (0xE0, 0x45, 0x3A)

# The system controls inside the dialogs (edit fields, combo boxes, report
# lists), section COLOURS of each dialog's INI file: dark fields sunk into the
# plates, the hover cap's grey for a selected row, no accent.
CONTROL_COLOURS = [
    ("FIELD_TEXT", (0xD8, 0xDA, 0xDF)),
    ("FIELD_BACK", (0x16, 0x17, 0x1B)),
    ("FIELD_DISABLED_TEXT", (0x5C, 0x60, 0x68)),
    ("LIST_TEXT", (0xD8, 0xDA, 0xDF)),
    ("LIST_BACK", (0x16, 0x17, 0x1B)),
    ("LIST_SELECTED_TEXT", (0xFF, 0xFF, 0xFF)),
    ("LIST_SELECTED_BACK", (0x3A, 0x3E, 0x47)),
    ("LIST_SHADE", (0x24, 0x26, 0x2B)),
    ("HEADER_TEXT", (0xAE, 0xB2, 0xBA)),
    ("HEADER_BACK", (0x2C, 0x2F, 0x36)),
]

# Key caps per state: cap, bottom edge, top highlight, legend, legend drop, outline.
CAPS = {
    "normal": ((0x2C, 0x2F, 0x36), (0x1F, 0x21, 0x26), (0x3B, 0x3F, 0x48), (0xD8, 0xDA, 0xDF), 0, None),
    "hover": ((0x3A, 0x3E, 0x47), (0x25, 0x28, 0x2E), (0x52, 0x57, 0x62), (0xF6, 0xF7, 0xF9), 0,
              (0x8E, 0x94, 0xA0)),
    "pressed": ((0x16, 0x17, 0x1B), None, None, (0xC4, 0xC7, 0xCE), 1, (0x4A, 0x4F, 0x59)),
    "disabled": ((0x24, 0x26, 0x2B), (0x1E, 0x20, 0x24), None, (0x5C, 0x60, 0x68), 0, None),
    "marked": (ACCENT, (0xB8, 0x5E, 0x0E), (0xFF, 0xB0, 0x66), (0x1B, 0x1D, 0x22), 0, None),
}

_fonts = {}


def font(path, size):
    key = (path, size)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(path, size)
    return _fonts[key]


def is_cjk(text):
    return any(ord(ch) > 0x2FFF for ch in text)


def text_at(draw, cx, cy, text, fnt, fill):
    """Draws text with its glyph box centred on (cx, cy)."""
    x0, y0, x1, y1 = draw.textbbox((0, 0), text, font=fnt)
    draw.text((round(cx - (x1 - x0) / 2 - x0), round(cy - (y1 - y0) / 2 - y0)), text, font=fnt, fill=fill)


def label_font(text, size):
    return font(WQY if is_cjk(text) else DEJAVU, size)


# --- controls ----------------------------------------------------------------

def draw_cap(draw, rect, state, radius=3):
    x, y, w, h = rect
    cap, edge, light, _, drop, outline = CAPS[state]
    if edge is not None:
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], radius, fill=edge)
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 3], radius, fill=cap)
    else:
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], radius, fill=cap)
    if outline is not None:
        draw.rounded_rectangle([x, y + drop, x + w - 1, y + h - 1], radius, outline=outline)
    if light is not None:
        draw.line([x + radius, y + 1, x + w - 1 - radius, y + 1], fill=light)
    return drop


def draw_key(draw, c, state):
    x, y, w, h = c.cap
    drop = draw_cap(draw, c.cap, state)
    legend_colour = CAPS[state][3]
    face_h = h - 2
    lines = c.legend
    bold = state == "marked"
    if len(lines) == 1:
        text = lines[0]
        size = 12 if len(text) == 1 else (11 if len(text) <= 3 else 10)
        fnt = font(DEJAVU_BOLD if bold or len(text) == 1 else DEJAVU, size)
        text_at(draw, x + w / 2, y + face_h / 2 + drop, text, fnt, legend_colour)
    elif len(lines) == 2:
        # shifted symbol up left, base symbol down right: two lines do not fit a low cap
        top, bottom = lines
        weight = DEJAVU_BOLD if bold else DEJAVU
        if c.group == "keypad":
            f_top, f_bottom = font(DEJAVU_BOLD, 11), font(weight, 9)
        else:
            f_top = font(weight, 10)
            f_bottom = font(DEJAVU_BOLD if len(bottom) == 1 and bottom.isalnum() else weight, 11)
        if c.group == "keypad" and w > 40:
            text_at(draw, x + w * 0.3, y + face_h * 0.5 + drop, top, f_top, legend_colour)
            text_at(draw, x + w * 0.7, y + face_h * 0.5 + drop, bottom, f_bottom, legend_colour)
            return
        if c.group in ("keypad", "macro"):
            if c.group == "macro":
                f_top = f_bottom = font(weight, 9)
            text_at(draw, x + w / 2, y + face_h * 0.30 + drop, top, f_top, legend_colour)
            text_at(draw, x + w / 2, y + face_h * 0.76 + drop, bottom, f_bottom, legend_colour)
            return
        bx0, _, bx1, _ = draw.textbbox((0, 0), bottom, font=f_bottom)
        text_at(draw, x + 9, y + face_h * 0.33 + drop, top, f_top, legend_colour)
        right = x + w - 5 - (bx1 - bx0) / 2
        text_at(draw, max(right, x + w / 2), y + face_h * 0.70 + drop, bottom, f_bottom, legend_colour)


def draw_button(draw, c, state, caption=None):
    x, y, w, h = c.px
    fills = {
        "normal": ((0x2C, 0x2F, 0x36), (0x40, 0x44, 0x4D), (0xD8, 0xDA, 0xDF)),
        "hover": ((0x3A, 0x3E, 0x47), (0x8E, 0x94, 0xA0), (0xF6, 0xF7, 0xF9)),
        "pressed": ((0x1F, 0x21, 0x26), (0x16, 0x17, 0x1B), (0xC4, 0xC7, 0xCE)),
        "disabled": ((0x22, 0x24, 0x29), (0x2A, 0x2D, 0x33), (0x5C, 0x60, 0x68)),
        # flagged by the window: a lit rim
        "marked": ((0x33, 0x37, 0x3F), (0xC8, 0xCC, 0xD4), (0xF6, 0xF7, 0xF9)),
    }
    fill, border, ink = fills[state]
    drop = 1 if state == "pressed" else 0
    draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], 5, fill=fill, outline=border)
    if state in ("normal", "hover"):
        draw.line([x + 5, y + 1, x + w - 6, y + 1], fill=tuple(min(255, v + 14) for v in fill))
    text = caption if caption is not None else (c.legend[0] if c.legend else "")
    if text:
        text_at(draw, x + w / 2, y + h / 2 + drop, text, label_font(text, 12), ink)


def draw_record(draw, c, state):
    x, y, w, h = c.px
    if state == "marked":
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], 5, fill=(0x5A, 0x1F, 0x1B), outline=RECORD_RED)
        draw.rectangle([x + 9, y + h // 2 - 4, x + 16, y + h // 2 + 3], fill=RECORD_RED)
        text_at(draw, x + w / 2 + 7, y + h / 2, L.MACRO_RECORDING, label_font(L.MACRO_RECORDING, 11),
                (0xF6, 0xE0, 0xDD))
        return
    draw_button(draw, c, state, caption="")
    drop = 1 if state == "pressed" else 0
    dot = RECORD_RED if state != "disabled" else (0x5C, 0x3A, 0x38)
    cy = y + h // 2 + drop
    draw.ellipse([x + 9, cy - 4, x + 17, cy + 4], fill=dot)
    ink = {"disabled": (0x5C, 0x60, 0x68), "hover": (0xF6, 0xF7, 0xF9)}.get(state, (0xD8, 0xDA, 0xDF))
    text_at(draw, x + w / 2 + 7, y + h / 2 + drop, c.legend[0], label_font(c.legend[0], 12), ink)


def draw_lamp(draw, c, lit):
    x, y, w, h = c.px
    r = 4
    cx, cy = x + 4 + r, y + h // 2
    if lit:
        draw.ellipse([cx - r - 2, cy - r - 2, cx + r + 2, cy + r + 2], fill=(0x23, 0x4A, 0x2D))
        draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=LAMP_ON)
        draw.point((cx - 1, cy - 2), fill=(0xB8, 0xF5, 0xC4))
    else:
        draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(0x2C, 0x2F, 0x36), outline=(0x3A, 0x3E, 0x47))
    text = c.legend[0]
    fnt = font(DEJAVU, 10)
    x0, y0, x1, y1 = draw.textbbox((0, 0), text, font=fnt)
    draw.text((cx + r + 4 - x0, round(cy - (y1 - y0) / 2 - y0)), text, font=fnt, fill=TITLE if lit else TEXT)


def draw_winbtn(draw, c, state):
    x, y, w, h = c.px
    close = c.skin_key == "CONTROL_CLOSE"
    if state == "hover":
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], 4, fill=(0xC4, 0x3B, 0x31) if close else
                               (0x3A, 0x3E, 0x47))
    elif state == "pressed":
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], 4, fill=(0x8E, 0x2A, 0x23) if close else
                               (0x23, 0x25, 0x2B))
    ink = (0xF6, 0xF7, 0xF9) if state in ("hover", "pressed") else TEXT
    drop = 1 if state == "pressed" else 0
    cx, cy = x + w // 2, y + h // 2 + drop
    if close:
        draw.line([cx - 4, cy - 4, cx + 4, cy + 4], fill=ink, width=2)
        draw.line([cx - 4, cy + 4, cx + 4, cy - 4], fill=ink, width=2)
    elif c.skin_key == "CONTROL_MINIMIZE":
        draw.line([cx - 5, cy + 3, cx + 4, cy + 3], fill=ink, width=2)
    else:
        text_at(draw, cx, cy, "?", font(DEJAVU_BOLD, 13), ink)


def draw_link(draw, c, state):
    x, y, w, h = c.px
    ink = {"hover": TITLE, "pressed": TEXT_DIM}.get(state, TEXT)
    drop = 1 if state == "pressed" else 0
    fnt = font(DEJAVU_BOLD, 15)
    text = c.legend[0]
    x0, y0, x1, y1 = draw.textbbox((0, 0), text, font=fnt)
    tx, ty = x + 2 - x0, round(y + (h - (y1 - y0)) / 2 - y0) + drop
    draw.text((tx, ty), text, font=fnt, fill=ink)
    # a small keycap mark after the name
    mx = x + 2 + (x1 - x0) + 5
    draw.rounded_rectangle([mx, y + h // 2 - 4 + drop, mx + 8, y + h // 2 + 4 + drop], 2, outline=ink)
    if state == "hover":
        draw.line([x + 2, y + h - 3, x + 2 + (x1 - x0), y + h - 3], fill=ink)


def draw_control(draw, c, state):
    if c.look == "key":
        draw_key(draw, c, state)
    elif c.look == "button":
        draw_button(draw, c, state)
    elif c.look == "record":
        draw_record(draw, c, state)
    elif c.look == "flipswitch":
        draw_button(draw, c, "pressed" if state == "marked" else state)
    elif c.look == "winbtn":
        draw_winbtn(draw, c, state)
    elif c.look == "link":
        draw_link(draw, c, state)


STATES = ("normal", "hover", "pressed", "disabled", "marked")


def state_in(c, image):
    """The state a control shows in status image `image` (1..5; the second set counts alike)."""
    k = int(str(image)[0])
    for state, face in zip(STATES, c.faces):
        if int(str(face)[0]) == k:
            return state
    return "normal"


# --- windows -----------------------------------------------------------------

def outline_shape(w):
    """Opaque region of a window as a mode "1" image (1 = window)."""
    W, H = w.px_size
    m = Image.new("1", (W, H), 0)
    d = ImageDraw.Draw(m)
    r = 14
    if w.template == 102:
        kx = L.mul_div(L.MAIN_KEYPAD_LEFT, L.BASE_X, 4)
        kb = L.mul_div(L.MAIN_KEYPAD_BOTTOM, L.BASE_Y, 8)
        d.rounded_rectangle([0, 0, W - 1, kb - 1], r, fill=1)
        d.rounded_rectangle([0, 0, kx - 1, H - 1], r, fill=1)
        # concave fillet where the keypad's bay meets the deck
        f = 12
        d.rectangle([kx, kb, kx + f - 1, kb + f - 1], fill=1)
        d.ellipse([kx, kb, kx + 2 * f - 1, kb + 2 * f - 1], fill=0)
    else:
        d.rounded_rectangle([0, 0, W - 1, H - 1], r, fill=1)
    return m


def edge_of(shape):
    """Pixels of the shape that touch the outside: drawn as a thin rim."""
    W, H = shape.size
    px = shape.load()
    edge = []
    for y in range(H):
        for x in range(W):
            if not px[x, y]:
                continue
            if x == 0 or y == 0 or x == W - 1 or y == H - 1 or not px[x - 1, y] or not px[x + 1, y] \
                    or not px[x, y - 1] or not px[x, y + 1]:
                edge.append((x, y))
    return edge


def dlu_box(rect):
    x, y, w, h = L.to_px(rect)
    return [x, y, x + w - 1, y + h - 1]


def main_background(w, draw):
    W, H = w.px_size
    strip_h = L.mul_div(L.MAIN_STRIP_HEIGHT, L.BASE_Y, 8)
    draw.rectangle([0, 0, W - 1, strip_h - 1], fill=STRIP)
    draw.line([0, strip_h - 1, W - 1, strip_h - 1], fill=PLATE_EDGE)
    title = L.MAIN_TITLE
    text_at(draw, W / 2, strip_h / 2, title, font(WQY, 15), TITLE)
    # plates behind the key groups
    for rect in ((3, 95, 397, 115), (405, 65, 90, 145), (505, 95, 102, 115), (97, 27, 80, 38)):
        draw.rounded_rectangle(dlu_box(rect), 6, fill=PLATE, outline=PLATE_EDGE)
    draw.rounded_rectangle(dlu_box((34, 65, 365, 23)), 6, fill=PLATE, outline=PLATE_EDGE)
    draw.rounded_rectangle(dlu_box((3, 65, 29, 23)), 6, fill=PLATE, outline=PLATE_EDGE)
    # Flip hint over the right switch
    hx, hy, _, _ = L.to_px((194, 31, 38, 11))
    f = font(DEJAVU, 9)
    draw.text((hx + 1, hy + 1), "%s \u21c5 %s" % L.FLIP_HINT, font=f, fill=TEXT_DIM)
    # the deck under the keyboard
    deck = L.mul_div(L.MAIN_DECK_TOP, L.BASE_Y, 8)
    kx = L.mul_div(L.MAIN_KEYPAD_LEFT, L.BASE_X, 4)
    draw.line([14, deck, kx - 14, deck], fill=PLATE_EDGE)
    prof = next(c for c in w.controls if c.skin_key == "FUNC_PROFILES")
    px, py, pw, ph = prof.px
    f = font(WQY, 12)
    x0, y0, x1, y1 = draw.textbbox((0, 0), L.MAIN_PROFILE_LABEL, font=f)
    draw.text((px - 8 - (x1 - x0) - x0, round(py + (ph - (y1 - y0)) / 2 - y0)), L.MAIN_PROFILE_LABEL,
              font=f, fill=TEXT)
    # legend of the marked face, and a hint
    macro = next(c for c in w.controls if c.skin_key == "FUNC_MACRO")
    mx, my, mw, mh = macro.px
    sx = mx + mw + 24
    sy = my + mh // 2 - 8
    draw_cap(draw, (sx, sy, 24, 17), "marked")
    draw.text((sx + 32, sy + 1), L.MAIN_LEGEND, font=font(WQY, 12), fill=TEXT)
    hint_y = L.mul_div(256, L.BASE_Y, 8)
    draw.text((px - 8 - (x1 - x0), hint_y), L.MAIN_HINT, font=font(WQY, 12), fill=TEXT_DIM)


def dialog_background(w, draw):
    W, H = w.px_size
    if w.title:
        strip_h = L.mul_div(20, L.BASE_Y, 8)
        draw.rectangle([0, 0, W - 1, strip_h - 1], fill=STRIP)
        draw.line([0, strip_h - 1, W - 1, strip_h - 1], fill=PLATE_EDGE)
        draw.text((16, 8), w.title, font=font(WQY, 14), fill=TITLE)
    for c in w.controls:
        if c.kind in ("list", "memo", "edit"):
            x, y, cw, ch = c.px
            draw.rectangle([x - 2, y - 2, x + cw + 1, y + ch + 1], fill=PLATE, outline=PLATE_EDGE)
    if w.template == 132:
        # a panel behind the function choices
        draw.rounded_rectangle(dlu_box((8, 24, 244, 164)), 6, fill=PLATE, outline=PLATE_EDGE)
    if w.template == 133:
        # no title bar: the name stands in the free corner beside the lists
        draw.rounded_rectangle(dlu_box((338, 164, 70, 114)), 6, fill=PLATE, outline=PLATE_EDGE)
        x, y, _, _ = L.to_px((340, 9, 0, 0))
        draw.text((x, y), L.MACRO_TITLE, font=font(WQY, 16), fill=TITLE)
        for i, line in enumerate(L.MACRO_HINT):
            draw.text((x, y + 28 + 17 * i), line, font=font(WQY, 11), fill=TEXT_DIM)
        mode = next(c for c in w.controls if c.name == "kMacroPlayMode")
        mx, my, _, _ = mode.px
        f = font(WQY, 12)
        x0, y0, x1, y1 = draw.textbbox((0, 0), L.MACRO_MODE_LABEL, font=f)
        draw.text((mx - 8 - (x1 - x0) - x0, my + 3 - y0), L.MACRO_MODE_LABEL, font=f, fill=TEXT)


def render_window(w, image, flip_on=False):
    W, H = w.px_size
    img = Image.new("RGB", (W, H), CASE)
    draw = ImageDraw.Draw(img)
    if w.template == 102:
        main_background(w, draw)
    else:
        dialog_background(w, draw)
    for c in w.controls:
        if not c.faces or c.hidden:
            continue
        if c.look == "lamp":
            draw_lamp(draw, c, int(str(image)[0]) == 2)
        elif c.look == "fliplamp":
            draw_lamp(draw, c, flip_on)
        else:
            draw_control(draw, c, state_in(c, image))
    for (x, y) in w._edge:
        img.putpixel((x, y), OUTLINE)
    return img


def jpeg(img):
    buf = io.BytesIO()
    img.save(buf, "JPEG", quality=JPEG_QUALITY, subsampling=0, optimize=False, progressive=False)
    return buf.getvalue()


def bmp_mask(shape):
    # pure white outside the shape, black inside; 8-bit grey keeps it lossless and small
    grey = shape.convert("L").point(lambda v: 0 if v else 255)
    buf = io.BytesIO()
    grey.save(buf, "BMP")
    return buf.getvalue()


def arrow_strip(main_bg, frames):
    """Eight frames: for each stem, frame 1 and 2, on the background under the arrow."""
    left = next(c for c in L.window(102).controls if c.skin_key == "LEFT_ARROW")
    right = next(c for c in L.window(102).controls if c.skin_key == "RIGHT_ARROW")
    fw, fh = left.px[2], left.px[3]
    strip = Image.new("RGB", (fw * len(frames), fh), CASE)
    for key, (fx, fy, _, _) in frames.items():
        src = left if "LEFT" in key else right
        x, y, _, _ = src.px
        tile = main_bg.crop((x, y, x + fw, y + fh))
        d = ImageDraw.Draw(tile)
        up = key.startswith("UP")
        second = key.endswith("2")
        # two chevrons; the bright one moves in the arrow's direction between frames
        for i, pos in enumerate((0.30, 0.62)):
            bright = (i == 1) != second if not up else (i == 0) != second
            colour = LAMP_ON if bright else (0x3A, 0x3E, 0x47)
            cy = round(fh * pos)
            cx = fw // 2
            s = 6
            if up:
                pts = [(cx - s, cy + s // 2), (cx, cy - s // 2), (cx + s, cy + s // 2)]
            else:
                pts = [(cx - s, cy - s // 2), (cx, cy + s // 2), (cx + s, cy - s // 2)]
            d.line(pts, fill=colour, width=2, joint="curve")
        strip.paste(tile, (fx, fy))
    return strip


# --- icons -------------------------------------------------------------------

def icon_image(size, kind):
    s = size * 4
    img = Image.new("RGBA", (s, s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    m = s // 16
    d.rounded_rectangle([m, 3 * m, s - m - 1, s - 3 * m - 1], 2 * m, fill=(0x2C, 0x2F, 0x36, 255),
                        outline=(0x5A, 0x5F, 0x6B, 255), width=max(1, m // 2))
    keys = (0x7C, 0x81, 0x8B, 255) if kind == "app" else (0xD8, 0xDA, 0xDF, 255)
    kw = (s - 6 * m) / 4
    for row in range(2):
        for col in range(4):
            x = 3 * m + col * kw
            y = 5 * m + row * 2.2 * m
            d.rectangle([round(x + m * 0.3), round(y), round(x + kw - m * 0.3), round(y + 1.6 * m)], fill=keys)
    d.rectangle([round(3 * m + kw), round(5 * m + 4.4 * m), round(3 * m + 3 * kw), round(5 * m + 6 * m)],
                fill=keys)
    if kind == "attached":
        d.ellipse([s - 7 * m, s - 7 * m, s - 1, s - 1], fill=(0x4C, 0xD9, 0x64, 255),
                  outline=(0x1B, 0x1D, 0x22, 255), width=m)
    elif kind == "playing":
        d.ellipse([s - 8 * m, s - 8 * m, s - 1, s - 1], fill=(0x1B, 0x1D, 0x22, 255))
        d.polygon([(s - 6 * m, s - 6.5 * m), (s - 6 * m, s - 1.5 * m), (s - 1.6 * m, s - 4 * m)],
                  fill=(0xFF, 0x8A, 0x1F, 255))
    return img.resize((size, size), Image.LANCZOS)


def ico(images):
    """An .ico of 32-bit DIB entries (with their AND masks), readable by every loader."""
    entries = []
    for img in images:
        w, h = img.size
        px = img.load()
        rows = []
        for y in range(h - 1, -1, -1):
            rows.append(b"".join(struct.pack("<BBBB", px[x, y][2], px[x, y][1], px[x, y][0], px[x, y][3])
                                 for x in range(w)))
        stride = ((w + 31) // 32) * 4
        mask = []
        for y in range(h - 1, -1, -1):
            bits = bytearray(stride)
            for x in range(w):
                if px[x, y][3] == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask.append(bytes(bits))
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        entries.append((w, h, header + b"".join(rows) + b"".join(mask)))
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for w, h, data in entries:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(d for _, _, d in entries)


# --- all ---------------------------------------------------------------------

def render_all(frames):
    files = {}
    skins = "app/skin/Skins/"
    for w in L.SKINNED:
        shape = outline_shape(w)
        w._edge = edge_of(shape)
        files[skins + w.prefix + "_Mask.bmp"] = bmp_mask(shape)
        first = None
        for n in range(1, w.images + 1):
            img = render_window(w, n)
            if n == 1:
                first = img
            files[skins + "%s_Status%d.jpg" % (w.prefix, n)] = jpeg(img)
        if w.second_set:
            for n in range(1, w.images + 1):
                files[skins + "%s_Status%d_2.jpg" % (w.prefix, n)] = jpeg(render_window(w, "%db" % n, True))
            files[skins + "Arrow.jpg"] = jpeg(arrow_strip(first, frames))
    for _, _, fname in L.ICONS:
        kind = fname[:-4]
        files["app/skin/generated/icons/" + fname] = ico([icon_image(s, kind) for s in (16, 32, 48)])
    return files
