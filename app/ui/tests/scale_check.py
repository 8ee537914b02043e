#!/usr/bin/python3
"""Compares KbPanel's main window, as the probe and a screenshot saw it, with a
skin set: window size, every key button's rectangle, the outline and the
pictures. Prints "ok: ..." and "FAILED: ..." lines and "caption-height N".

    scale_check.py SET_DIR NUM DEN LAYOUT REGION SHOT PART...

PART: "FILE:X", a picture of the screen that shows the window from its column
X on; SHOT is where the parts, put together, are written.

NUM/DEN: the stretch from the set's pixels to the window's (1 1 when the set
fits the scale), applied to edges with halves away from zero, as the program does.
"""

import os
import sys

from PIL import Image, ImageChops, ImageDraw, ImageStat

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tools", "skin"))
import layout as L  # noqa: E402

CAPTION = (0xC0, 0xC0, 0xC0)


def scale(v, num, den):
    q = (abs(v) * num + den // 2) // den
    return -q if v < 0 else q


def read_ini(path):
    sections, current = {}, None
    with open(path, "rb") as f:
        for raw in f.read().decode("ascii").splitlines():
            line = raw.strip()
            if line.startswith("["):
                current = sections.setdefault(line[1:-1].upper(), {})
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current[key.upper()] = value
    return sections


def main():
    set_dir, num, den, layout_file, region_file, shot_file = sys.argv[1:7]
    pieces = [p.rsplit(":", 1) for p in sys.argv[7:]]
    if any(len(p) != 2 for p in pieces):
        sys.exit("parts must be FILE:X, not %s" % sys.argv[7:])
    num, den = int(num), int(den)
    results = []

    def check(cond, what):
        results.append(("ok: " if cond else "FAILED: ") + what)
        return cond

    ini = read_ini(os.path.join(set_dir, "Main.ini"))["BUTTONINFO"]
    status1 = Image.open(os.path.join(set_dir, "Main_Status1.jpg")).convert("RGB")
    mask = Image.open(os.path.join(set_dir, "Main_Mask.bmp")).convert("L")
    W, H = scale(status1.width, num, den), scale(status1.height, num, den)

    placed = {}
    client = None
    for line in open(layout_file):
        parts = line.split()
        if parts[0] == "client":
            client = (int(parts[1]), int(parts[2]))
        elif len(parts) == 5:
            placed[int(parts[0])] = tuple(int(p) for p in parts[1:])
    check(client == (W, H), "the window is the set's picture size %dx%d (it is %s)" % (W, H, client))

    def expected(key):
        x, y, w, h = (int(v) for v in ini[key].split(",")[:4])
        x0, y0 = scale(x, num, den), scale(y, num, den)
        return (x0, y0, scale(x + w, num, den) - x0, scale(y + h, num, den) - y0)

    keys = [c for c in L.window(102).controls if c.look == "key"]
    wrong = [(c.skin_key, placed.get(c.id), expected(c.skin_key)) for c in keys
             if placed.get(c.id) != expected(c.skin_key)]
    check(not wrong, "all %d key buttons sit at the set's rectangles%s" % (len(keys), "" if not wrong else
                                                                         ": %s" % wrong[:3]))

    # The outline: the region's pixels against the set's mask (its runs scaled alike).
    drawn = Image.new("L", (W, H), 0)
    d = ImageDraw.Draw(drawn)
    lines = open(region_file).read().split("\n")
    for line in lines:
        p = line.split()
        if len(p) == 4:
            d.rectangle([int(p[0]), int(p[1]), int(p[2]) - 1, int(p[3]) - 1], fill=255)
    want = Image.new("L", (W, H), 0)
    dw = ImageDraw.Draw(want)
    px = mask.load()
    for y in range(mask.height):
        x = 0
        while x < mask.width:
            if px[x, y] == 255:
                x += 1
                continue
            x0 = x
            while x < mask.width and px[x, y] != 255:
                x += 1
            r = (scale(x0, num, den), scale(y, num, den), scale(x, num, den), scale(y + 1, num, den))
            if r[0] < r[2] and r[1] < r[3]:
                dw.rectangle([r[0], r[1], r[2] - 1, r[3] - 1], fill=255)
    differ = ImageStat.Stat(ImageChops.difference(drawn, want)).sum[0] / 255
    check(differ == 0, "the outline is the set's mask (%d pixels differ)" % differ)

    # The pictures: what the screen shows inside the key caps against the set's
    # normal faces (drawn stretched, when the set is), JPEG decoders apart.
    shot = Image.new("RGB", (W, H))
    for path, x in pieces:
        shot.paste(Image.open(path).convert("RGB"), (int(x), 0))
    shot.save(shot_file)
    picture = status1 if (num, den) == (1, 1) else status1.resize((W, H), Image.BILINEAR)
    diffs = []
    for c in keys:
        x, y, w, h = expected(c.skin_key)
        box = (x + 2, y + 2, x + w - 2, y + h - 2)
        diffs.append(sum(ImageStat.Stat(ImageChops.difference(shot.crop(box), picture.crop(box))).mean) / 3)
    diffs.sort()
    # a few keys may be marked by the profile or lit; the rest show the normal face
    typical = diffs[len(diffs) * 3 // 4]
    limit = 4 if (num, den) == (1, 1) else 12
    check(typical < limit, "the key caps show the set's own pictures (difference %.1f, limit %d)" % (typical, limit))

    # The profile button's caption, in silver over the face: its text height.
    x, y, w, h = expected("FUNC_PROFILES")
    rows = 0
    area = shot.crop((x, y, x + w, y + h)).load()
    for yy in range(h):
        if any(all(abs(a - b) <= 40 for a, b in zip(area[xx, yy], CAPTION)) for xx in range(w)):
            rows += 1
    results.append("caption-height %d" % rows)
    print("\n".join(results))


if __name__ == "__main__":
    main()
