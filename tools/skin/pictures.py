"""Pictures of the skin: status images, masks, the arrow strip and the icons.

Everything is drawn in pixels from the layout table, at 1:1 for the skin's
own set and with every length and font grown by the scale for the scaled
sets (drawn afresh, never resampled). Only masks may hold pure white; the
status images never do.
"""

import io

from PIL import Image, ImageChops, ImageDraw, ImageFont

import layout as L
from file_formats import bmp_rle8, ico

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
    # a layer's key that the base's function shows through: the accent, dimmed
    "inherited": ((0x4A, 0x35, 0x22), (0x33, 0x25, 0x19), None, (0xE0, 0x9A, 0x58), 0, (0x8A, 0x55, 0x26)),
}

_fonts = {}

# Scale of the set being drawn, in per cent. All lengths below are written at 1x
# and pass through S(); at 100 they are used exactly as written.
_pct = 100


def S(v):
    return v if _pct == 100 else L.scaled(v, _pct)


def px(c):
    return c.px_at(_pct)


def cap_of(c):
    return c.cap_at(_pct)


def box(rect):
    return L.to_px(rect, _pct)


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
    radius = S(radius)
    cap, edge, light, _, drop, outline = CAPS[state]
    drop = S(drop)
    if edge is not None:
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], radius, fill=edge)
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1 - S(2)], radius, fill=cap)
    else:
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], radius, fill=cap)
    if outline is not None:
        draw.rounded_rectangle([x, y + drop, x + w - 1, y + h - 1], radius, outline=outline, width=S(1))
    if light is not None:
        draw.line([x + radius, y + S(1), x + w - 1 - radius, y + S(1)], fill=light, width=S(1))
    return drop


def draw_key(draw, c, state):
    x, y, w, h = cap_of(c)
    drop = draw_cap(draw, (x, y, w, h), state)
    legend_colour = CAPS[state][3]
    face_h = h - S(2)
    lines = c.legend
    bold = state in ("marked", "inherited")
    if len(lines) == 1:
        text = lines[0]
        size = 12 if len(text) == 1 else (11 if len(text) <= 3 else 10)
        fnt = font(DEJAVU_BOLD if bold or len(text) == 1 else DEJAVU, S(size))
        text_at(draw, x + w / 2, y + face_h / 2 + drop, text, fnt, legend_colour)
    elif len(lines) == 2:
        # shifted symbol up left, base symbol down right: two lines do not fit a low cap
        top, bottom = lines
        weight = DEJAVU_BOLD if bold else DEJAVU
        if c.group == "keypad":
            f_top, f_bottom = font(DEJAVU_BOLD, S(11)), font(weight, S(9))
        else:
            f_top = font(weight, S(10))
            f_bottom = font(DEJAVU_BOLD if len(bottom) == 1 and bottom.isalnum() else weight, S(11))
        if c.group == "keypad" and w > S(40):
            text_at(draw, x + w * 0.3, y + face_h * 0.5 + drop, top, f_top, legend_colour)
            text_at(draw, x + w * 0.7, y + face_h * 0.5 + drop, bottom, f_bottom, legend_colour)
            return
        if c.group in ("keypad", "macro"):
            if c.group == "macro":
                f_top = f_bottom = font(weight, S(9))
            text_at(draw, x + w / 2, y + face_h * 0.30 + drop, top, f_top, legend_colour)
            text_at(draw, x + w / 2, y + face_h * 0.76 + drop, bottom, f_bottom, legend_colour)
            return
        bx0, _, bx1, _ = draw.textbbox((0, 0), bottom, font=f_bottom)
        text_at(draw, x + S(9), y + face_h * 0.33 + drop, top, f_top, legend_colour)
        right = x + w - S(5) - (bx1 - bx0) / 2
        text_at(draw, max(right, x + w / 2), y + face_h * 0.70 + drop, bottom, f_bottom, legend_colour)


def draw_button(draw, c, state, caption=None):
    x, y, w, h = px(c)
    fills = {
        "normal": ((0x2C, 0x2F, 0x36), (0x40, 0x44, 0x4D), (0xD8, 0xDA, 0xDF)),
        "hover": ((0x3A, 0x3E, 0x47), (0x8E, 0x94, 0xA0), (0xF6, 0xF7, 0xF9)),
        "pressed": ((0x1F, 0x21, 0x26), (0x16, 0x17, 0x1B), (0xC4, 0xC7, 0xCE)),
        "disabled": ((0x22, 0x24, 0x29), (0x2A, 0x2D, 0x33), (0x5C, 0x60, 0x68)),
        # flagged by the window: a lit rim
        "marked": ((0x33, 0x37, 0x3F), (0xC8, 0xCC, 0xD4), (0xF6, 0xF7, 0xF9)),
    }
    fill, border, ink = fills[state]
    drop = S(1) if state == "pressed" else 0
    draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], S(5), fill=fill, outline=border, width=S(1))
    if state in ("normal", "hover"):
        draw.line([x + S(5), y + S(1), x + w - 1 - S(5), y + S(1)], fill=tuple(min(255, v + 14) for v in fill),
                  width=S(1))
    text = caption if caption is not None else (c.legend[0] if c.legend else "")
    if text:
        text_at(draw, x + w / 2, y + h / 2 + drop, text, label_font(text, S(12)), ink)


def draw_record(draw, c, state):
    x, y, w, h = px(c)
    if state == "marked":
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], S(5), fill=(0x5A, 0x1F, 0x1B), outline=RECORD_RED,
                               width=S(1))
        draw.rectangle([x + S(9), y + h // 2 - S(4), x + S(9) + S(8) - 1, y + h // 2 + S(4) - 1], fill=RECORD_RED)
        text_at(draw, x + w / 2 + S(7), y + h / 2, L.MACRO_RECORDING, label_font(L.MACRO_RECORDING, S(11)),
                (0xF6, 0xE0, 0xDD))
        return
    draw_button(draw, c, state, caption="")
    drop = S(1) if state == "pressed" else 0
    dot = RECORD_RED if state != "disabled" else (0x5C, 0x3A, 0x38)
    cy = y + h // 2 + drop
    draw.ellipse([x + S(9), cy - S(4), x + S(9) + S(8), cy + S(4)], fill=dot)
    ink = {"disabled": (0x5C, 0x60, 0x68), "hover": (0xF6, 0xF7, 0xF9)}.get(state, (0xD8, 0xDA, 0xDF))
    text_at(draw, x + w / 2 + S(7), y + h / 2 + drop, c.legend[0], label_font(c.legend[0], S(12)), ink)


def draw_lamp(draw, c, lit):
    x, y, w, h = px(c)
    r = S(4)
    cx, cy = x + S(4) + r, y + h // 2
    if lit:
        draw.ellipse([cx - r - S(2), cy - r - S(2), cx + r + S(2), cy + r + S(2)], fill=(0x23, 0x4A, 0x2D))
        draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=LAMP_ON)
        if _pct == 100:
            draw.point((cx - 1, cy - 2), fill=(0xB8, 0xF5, 0xC4))
        else:
            d = S(1)
            draw.ellipse([cx - d - d, cy - S(2) - d, cx, cy - S(2) + d], fill=(0xB8, 0xF5, 0xC4))
    else:
        draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=(0x2C, 0x2F, 0x36), outline=(0x3A, 0x3E, 0x47),
                     width=S(1))
    text = c.legend[0]
    fnt = font(DEJAVU, S(10))
    x0, y0, x1, y1 = draw.textbbox((0, 0), text, font=fnt)
    draw.text((cx + r + S(4) - x0, round(cy - (y1 - y0) / 2 - y0)), text, font=fnt, fill=TITLE if lit else TEXT)


def draw_winbtn(draw, c, state):
    x, y, w, h = px(c)
    close = c.skin_key == "CONTROL_CLOSE"
    if state == "hover":
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], S(4), fill=(0xC4, 0x3B, 0x31) if close else
                               (0x3A, 0x3E, 0x47))
    elif state == "pressed":
        draw.rounded_rectangle([x, y, x + w - 1, y + h - 1], S(4), fill=(0x8E, 0x2A, 0x23) if close else
                               (0x23, 0x25, 0x2B))
    ink = (0xF6, 0xF7, 0xF9) if state in ("hover", "pressed") else TEXT
    drop = S(1) if state == "pressed" else 0
    cx, cy = x + w // 2, y + h // 2 + drop
    if close:
        draw.line([cx - S(4), cy - S(4), cx + S(4), cy + S(4)], fill=ink, width=S(2))
        draw.line([cx - S(4), cy + S(4), cx + S(4), cy - S(4)], fill=ink, width=S(2))
    elif c.skin_key == "CONTROL_MINIMIZE":
        draw.line([cx - S(5), cy + S(3), cx + S(4), cy + S(3)], fill=ink, width=S(2))
    else:
        text_at(draw, cx, cy, "?", font(DEJAVU_BOLD, S(13)), ink)


def draw_link(draw, c, state):
    x, y, w, h = px(c)
    ink = {"hover": TITLE, "pressed": TEXT_DIM}.get(state, TEXT)
    drop = S(1) if state == "pressed" else 0
    fnt = font(DEJAVU_BOLD, S(15))
    text = c.legend[0]
    x0, y0, x1, y1 = draw.textbbox((0, 0), text, font=fnt)
    tx, ty = x + S(2) - x0, round(y + (h - (y1 - y0)) / 2 - y0) + drop
    draw.text((tx, ty), text, font=fnt, fill=ink)
    # a small keycap mark after the name
    mx = x + S(2) + (x1 - x0) + S(5)
    draw.rounded_rectangle([mx, y + h // 2 - S(4) + drop, mx + S(8), y + h // 2 + S(4) + drop], S(2), outline=ink,
                           width=S(1))
    if state == "hover":
        draw.line([x + S(2), y + h - S(3), x + S(2) + (x1 - x0), y + h - S(3)], fill=ink, width=S(1))


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
    W, H = w.px_size_at(_pct)
    m = Image.new("1", (W, H), 0)
    d = ImageDraw.Draw(m)
    r = S(14)
    if w.template == 102:
        kx = L.dlu_x(L.MAIN_KEYPAD_LEFT, _pct)
        kb = L.dlu_y(L.MAIN_KEYPAD_BOTTOM, _pct)
        d.rounded_rectangle([0, 0, W - 1, kb - 1], r, fill=1)
        d.rounded_rectangle([0, 0, kx - 1, H - 1], r, fill=1)
        # concave fillet where the keypad's bay meets the deck
        f = S(12)
        d.rectangle([kx, kb, kx + f - 1, kb + f - 1], fill=1)
        d.ellipse([kx, kb, kx + 2 * f - 1, kb + 2 * f - 1], fill=0)
    else:
        d.rounded_rectangle([0, 0, W - 1, H - 1], r, fill=1)
    return m


def edge_of(shape):
    """Pixels of the shape that touch the outside (a 4-neighbour or the picture's
    border is outside), as a mode "1" image: drawn as a thin rim."""
    W, H = shape.size
    padded = Image.new("1", (W + 2, H + 2), 0)
    padded.paste(shape, (1, 1))
    inner = shape.copy()
    for dx, dy in ((0, 1), (2, 1), (1, 0), (1, 2)):
        inner = ImageChops.logical_and(inner, padded.crop((dx, dy, dx + W, dy + H)))
    return ImageChops.subtract(shape.convert("L"), inner.convert("L")).convert("1")


def dlu_box(rect):
    x, y, w, h = box(rect)
    return [x, y, x + w - 1, y + h - 1]


def main_background(w, draw):
    W, H = w.px_size_at(_pct)
    strip_h = L.dlu_y(L.MAIN_STRIP_HEIGHT, _pct)
    draw.rectangle([0, 0, W - 1, strip_h - 1], fill=STRIP)
    draw.line([0, strip_h - 1, W - 1, strip_h - 1], fill=PLATE_EDGE, width=S(1))
    title = L.MAIN_TITLE
    text_at(draw, W / 2, strip_h / 2, title, font(WQY, S(15)), TITLE)
    # plates behind the key groups
    for rect in ((3, 95, 397, 115), (405, 65, 90, 145), (505, 95, 102, 115), (97, 27, 80, 38)):
        draw.rounded_rectangle(dlu_box(rect), S(6), fill=PLATE, outline=PLATE_EDGE, width=S(1))
    draw.rounded_rectangle(dlu_box((34, 65, 365, 23)), S(6), fill=PLATE, outline=PLATE_EDGE, width=S(1))
    draw.rounded_rectangle(dlu_box((3, 65, 29, 23)), S(6), fill=PLATE, outline=PLATE_EDGE, width=S(1))
    # Flip hint over the right switch
    hx, hy, _, _ = box((194, 31, 38, 11))
    f = font(DEJAVU, S(9))
    draw.text((hx + S(1), hy + S(1)), "%s \u21c5 %s" % L.FLIP_HINT, font=f, fill=TEXT_DIM)
    # the deck under the keyboard
    deck = L.dlu_y(L.MAIN_DECK_TOP, _pct)
    kx = L.dlu_x(L.MAIN_KEYPAD_LEFT, _pct)
    draw.line([S(14), deck, kx - S(14), deck], fill=PLATE_EDGE, width=S(1))
    prof = next(c for c in w.controls if c.skin_key == "FUNC_PROFILES")
    px_, py, pw, ph = px(prof)
    f = font(WQY, S(12))
    x0, y0, x1, y1 = draw.textbbox((0, 0), L.MAIN_PROFILE_LABEL, font=f)
    draw.text((px_ - S(8) - (x1 - x0) - x0, round(py + (ph - (y1 - y0)) / 2 - y0)), L.MAIN_PROFILE_LABEL,
              font=f, fill=TEXT)
    # legend of the marked face, and a hint
    macro = next(c for c in w.controls if c.skin_key == "FUNC_MACRO")
    mx, my, mw, mh = px(macro)
    sx = mx + mw + S(24)
    sy = my + mh // 2 - S(8)
    draw_cap(draw, (sx, sy, S(24), S(17)), "marked")
    draw.text((sx + S(32), sy + S(1)), L.MAIN_LEGEND, font=font(WQY, S(12)), fill=TEXT)
    hint_y = L.dlu_y(256, _pct)
    # ... and of the dimmed face, below it
    iy = hint_y - S(2)
    draw_cap(draw, (sx, iy, S(24), S(17)), "inherited")
    draw.text((sx + S(32), iy + S(1)), L.MAIN_INHERITED_LEGEND, font=font(WQY, S(12)), fill=TEXT)
    draw.text((px_ - S(8) - (x1 - x0), hint_y), L.MAIN_HINT, font=font(WQY, S(12)), fill=TEXT_DIM)


def dialog_background(w, draw):
    W, H = w.px_size_at(_pct)
    if w.title:
        strip_h = L.dlu_y(20, _pct)
        draw.rectangle([0, 0, W - 1, strip_h - 1], fill=STRIP)
        draw.line([0, strip_h - 1, W - 1, strip_h - 1], fill=PLATE_EDGE, width=S(1))
        draw.text((S(16), S(8)), w.title, font=font(WQY, S(14)), fill=TITLE)
    for c in w.controls:
        if c.kind in ("list", "memo", "edit"):
            x, y, cw, ch = px(c)
            draw.rectangle([x - S(2), y - S(2), x + cw - 1 + S(2), y + ch - 1 + S(2)], fill=PLATE,
                           outline=PLATE_EDGE, width=S(1))
    if w.template == 132:
        # a panel behind the function choices
        draw.rounded_rectangle(dlu_box((8, 24, 244, 254)), S(6), fill=PLATE, outline=PLATE_EDGE, width=S(1))
        f = font(WQY, S(12))
        fields = [next(c for c in w.controls if c.name == n) for n in ("kKeyTapKey", "kKeyHoldKey", "kKeyTerm")]
        for label, c in zip(L.KEY_TAP_LABELS, fields):
            fx, fy, fw, fh = px(c)
            x0, y0, x1, y1 = draw.textbbox((0, 0), label, font=f)
            draw.text((fx - S(8) - (x1 - x0) - x0, fy + S(3) - y0), label, font=f, fill=TEXT)
        tx, ty, tw, _ = px(fields[2])
        _, y0, _, _ = draw.textbbox((0, 0), L.KEY_TERM_UNIT, font=f)
        draw.text((tx + tw + S(8), ty + S(3) - y0), L.KEY_TERM_UNIT, font=f, fill=TEXT_DIM)
    if w.template == 133:
        # no title bar: the name stands in the free corner beside the lists
        draw.rounded_rectangle(dlu_box((338, 164, 70, 114)), S(6), fill=PLATE, outline=PLATE_EDGE, width=S(1))
        x, y, _, _ = box((340, 9, 0, 0))
        draw.text((x, y), L.MACRO_TITLE, font=font(WQY, S(16)), fill=TITLE)
        for i, line in enumerate(L.MACRO_HINT):
            draw.text((x, y + S(28) + S(17) * i), line, font=font(WQY, S(11)), fill=TEXT_DIM)
        mode = next(c for c in w.controls if c.name == "kMacroPlayMode")
        mx, my, _, _ = px(mode)
        f = font(WQY, S(12))
        x0, y0, x1, y1 = draw.textbbox((0, 0), L.MACRO_MODE_LABEL, font=f)
        draw.text((mx - S(8) - (x1 - x0) - x0, my + S(3) - y0), L.MACRO_MODE_LABEL, font=f, fill=TEXT)


def render_window(w, image, flip_on=False):
    W, H = w.px_size_at(_pct)
    img = Image.new("RGB", (W, H), CASE)
    draw = ImageDraw.Draw(img)
    if w.template == 102:
        main_background(w, draw)
    else:
        dialog_background(w, draw)
    for c in w.controls:
        if not c.faces or c.hidden:
            continue
        if c.look == "key" and image == L.MAIN_INHERITED_IMAGE:
            draw_key(draw, c, "inherited")
        elif c.look == "lamp":
            draw_lamp(draw, c, int(str(image)[0]) == 2)
        elif c.look == "fliplamp":
            draw_lamp(draw, c, flip_on)
        else:
            draw_control(draw, c, state_in(c, image))
    img.paste(OUTLINE, (0, 0), w._edge)
    return img


def jpeg(img):
    # The scaled sets take optimised Huffman tables: the same pixels in fewer bytes.
    def encode(picture):
        buf = io.BytesIO()
        picture.save(buf, "JPEG", quality=JPEG_QUALITY, subsampling=0, optimize=_pct != 100, progressive=False)
        return buf.getvalue()

    data = encode(img)
    # Ringing around a bright legend may decode as pure white, which only a mask
    # may hold: take the brightest inks down a little until none does.
    ceiling = 0xFF
    while _pct != 100 and _has_pure_white(Image.open(io.BytesIO(data)).convert("RGB")):
        ceiling -= 4
        data = encode(img.point(lambda v: min(v, ceiling)))
    return data


def _has_pure_white(img):
    r, g, b = (band.point(lambda v: 255 if v == 255 else 0) for band in img.split())
    return ImageChops.multiply(ImageChops.multiply(r, g), b).getbbox() is not None


def bmp_mask(shape):
    # pure white outside the shape, black inside; 8-bit grey keeps it lossless and small
    grey = shape.convert("L").point(lambda v: 0 if v else 255)
    if _pct != 100:
        return bmp_rle8(grey)
    buf = io.BytesIO()
    grey.save(buf, "BMP")
    return buf.getvalue()


def arrow_strip(main_bg, frames):
    """Eight frames: for each stem, frame 1 and 2, on the background under the arrow."""
    left = next(c for c in L.window(102).controls if c.skin_key == "LEFT_ARROW")
    right = next(c for c in L.window(102).controls if c.skin_key == "RIGHT_ARROW")
    fw, fh = px(left)[2], px(left)[3]
    strip = Image.new("RGB", (fw * len(frames), fh), CASE)
    for key, (fx, fy, _, _) in frames.items():
        src = left if "LEFT" in key else right
        x, y, _, _ = px(src)
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
            s = S(6)
            if up:
                pts = [(cx - s, cy + s // 2), (cx, cy - s // 2), (cx + s, cy + s // 2)]
            else:
                pts = [(cx - s, cy - s // 2), (cx, cy + s // 2), (cx + s, cy - s // 2)]
            d.line(pts, fill=colour, width=S(2), joint="curve")
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


# --- all ---------------------------------------------------------------------

def render_all(frames_at):
    """frames_at(pct): the arrow strip's frames of that set."""
    files = {}
    for pct in L.SCALES:
        files.update(render_set(pct, frames_at(pct)))
    for _, _, fname in L.ICONS:
        kind = fname[:-4]
        files["app/skin/generated/icons/" + fname] = ico([icon_image(s, kind) for s in ICON_SIZES])
    return files


# Small icons of every scale (16 to 28 for the tray), large ones for the program.
ICON_SIZES = (16, 20, 24, 28, 32, 40, 48, 64)


def set_folder(pct):
    return "app/skin/Skins/" if pct == 100 else "app/skin/Skins/%d/" % pct


def render_set(pct, frames):
    global _pct
    _pct = pct
    try:
        return _render_set(set_folder(pct), frames)
    finally:
        _pct = 100


def _render_set(skins, frames):
    files = {}
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
        if w.template == 102:
            n = L.MAIN_INHERITED_IMAGE
            files[skins + "%s_Status%d.jpg" % (w.prefix, n)] = jpeg(render_window(w, n))
        if w.second_set:
            for n in range(1, w.images + 1):
                files[skins + "%s_Status%d_2.jpg" % (w.prefix, n)] = jpeg(render_window(w, "%db" % n, True))
            files[skins + "Arrow.jpg"] = jpeg(arrow_strip(first, frames))
    return files
