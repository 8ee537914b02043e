#!/usr/bin/python3
"""Checks of the layout table and of the committed skin that it made."""

import itertools
import os
import sys
import unittest

from PIL import Image, ImageChops, ImageStat

sys.dont_write_bytecode = True  # keep the source tree clean when run by ctest
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import layout as L  # noqa: E402

SKINS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "app", "skin", "Skins")

# The keys each window's program code asks its INI file for.
REQUIRED_KEYS = {
    102: {"VALMOR_LINK", "FUNC_PROFILES", "FUNC_MACRO", "CONTROL_OK", "CONTROL_CANCEL", "CONTROL_HELP",
          "CONTROL_CLOSE", "CONTROL_MINIMIZE", "CONTROL2_APPLY", "LOCK_CAPS", "LOCK_NUM", "LOCK_SCROLL",
          "LOCK_AB", "FLIP_0", "FLIP_1", "FLIP_2", "VALMOR_VER", "LEFT_ARROW", "RIGHT_ARROW"},
    131: {"CONTROL_OK", "CONTROL_CANCEL", "FUNC_ADD", "FUNC_LOAD", "FUNC_DELETE", "CONTROL2_APPLY",
          "PROGRAM_LIST"},
    132: {"CONTROL_OK", "CONTROL_CANCEL", "FUNC_EXTRA_2_2", "FUNC_EXTRA_1", "FUNC_EXTRA_2", "FUNC_EXTRA_3",
          "FUNC_EXTRA_4"} | {"FUNC_SEL_%d" % i for i in range(1, 8)},
    133: {"CONTROL_OK", "CONTROL_CANCEL", "FUNC_ADD", "FUNC_DELETE", "FUNC_UP_TOP", "FUNC_UP", "FUNC_DOWN",
          "FUNC_DOWN_BOTTOM", "FUNC_DELETE2", "FUNC_CLEAR", "CONTROL2_APPLY", "FUNC_RECORD",
          "FUNC_RECORD_DELAY", "PROGRAM_LIST", "PROGRAM_LIST2"},
}


def skin_number(code, group):
    index = code if code < 0x100 else (code - 0x80) & 0xFF
    return index + (0x200 if group == "keypad" else 0)


def set_path(pct, name):
    return os.path.join(SKINS, name) if pct == 100 else os.path.join(SKINS, str(pct), name)


def read_ini(name, pct=100):
    sections, current = {}, None
    with open(set_path(pct, name), "rb") as f:
        for raw in f.read().decode("ascii").split("\r\n"):
            line = raw.strip()
            if not line or line.startswith(";"):
                continue
            if line.startswith("["):
                current = sections.setdefault(line[1:-1], {})
            else:
                key, value = line.split("=", 1)
                current[key] = value
    return sections


def picture(name, pct=100):
    return Image.open(set_path(pct, name)).convert("RGB")


def face(img, rect):
    x, y, w, h = rect
    return img.crop((x, y, x + w, y + h))


def difference(a, b):
    return sum(ImageStat.Stat(ImageChops.difference(a, b)).mean) / 3


def image_name(w, n):
    s = str(n)
    return "%s_Status%s%s.jpg" % (w.prefix, s[0], "_2" if s.endswith("b") else "")


class LayoutTable(unittest.TestCase):
    def test_main_window_holds_every_control_once(self):
        main = L.window(102)
        self.assertEqual(len(main.controls), 138)
        keys = [c for c in main.controls if c.look == "key"]
        self.assertEqual([len([c for c in keys if c.group == g]) for g in ("macro", "keyboard", "keypad")],
                         [5, 87, 23])
        for w in L.WINDOWS:
            ids = [c.id for c in w.controls if c.id != -1]
            self.assertEqual(len(ids), len(set(ids)), w.name)
            names = [c.name for c in w.controls if c.name]
            self.assertEqual(len(names), len(set(names)), w.name)

    def test_key_buttons_are_named_from_their_make_codes(self):
        main = L.window(102)
        for c in main.controls:
            if c.group in ("keyboard", "keypad"):
                self.assertEqual(c.skin_key, "KEY_%03X" % skin_number(c.make_code, c.group), c.caption)
        macro = [c.skin_key for c in main.controls if c.group == "macro"]
        self.assertEqual(macro, ["KEY_100", "KEY_101", "KEY_102", "KEY_103", "KEY_104"])
        # F4 and D1 share a make code, not a skin key
        f4 = next(c for c in main.controls if c.id == 1013)
        d1 = next(c for c in main.controls if c.id == 1016)
        self.assertEqual((f4.make_code, f4.skin_key, d1.skin_key), (0x3E, "KEY_03E", "KEY_23E"))

    def test_every_required_key_is_placed_once(self):
        for template, required in REQUIRED_KEYS.items():
            w = L.window(template)
            keys = [c.skin_key for c in w.controls if c.skin_key]
            self.assertEqual(len(keys), len(set(keys)), w.name)
            self.assertTrue(required <= set(keys), required - set(keys))

    def test_pixel_scale_rounds_like_the_dialog_manager(self):
        self.assertEqual(L.to_px((7, 100, 22, 13)), (11, 163, 33, 21))
        self.assertEqual(L.to_px((1, 1, 1, 1)), (2, 2, 2, 2))
        self.assertEqual(L.window(102).px_size, (917, 494))

    def test_scaled_rectangles_grow_with_the_base_units(self):
        self.assertEqual(L.to_px((7, 100, 22, 13), 150), (16, 244, 50, 32))
        self.assertEqual(L.window(102).px_size_at(200), (1833, 988))
        self.assertEqual(L.window(102).px_size_at(125), (1146, 618))

    def test_visible_key_caps_keep_apart(self):
        main = L.window(102)
        caps = [c for c in main.controls if c.faces and not c.hidden and c.look != "label"]
        for pct in L.SCALES:
            for a, b in itertools.combinations(caps, 2):
                ax, ay, aw, ah = a.cap_at(pct)
                bx, by, bw, bh = b.cap_at(pct)
                gap_x = max(bx - (ax + aw), ax - (bx + bw))
                gap_y = max(by - (ay + ah), ay - (by + bh))
                self.assertGreaterEqual(max(gap_x, gap_y), 2, "%d%%: %s touches %s" % (pct, a.caption, b.caption))


def status_names(w):
    names = ["%s_Status%d.jpg" % (w.prefix, n) for n in range(1, w.images + 1)]
    if w.second_set:
        names += ["%s_Status%d_2.jpg" % (w.prefix, n) for n in range(1, w.images + 1)]
    if w.template == 102:
        names.append("%s_Status%d.jpg" % (w.prefix, L.MAIN_INHERITED_IMAGE))
    return names


def mask_of(w, pct):
    return Image.open(set_path(pct, w.prefix + "_Mask.bmp")).convert("L")


class CommittedSkin(unittest.TestCase):
    """Every set: the skin's own (100) and each scaled one in its subfolder."""

    def test_sets_hold_exactly_the_generated_files(self):
        expected = {w.ini for w in L.SKINNED} | {w.prefix + "_Mask.bmp" for w in L.SKINNED} | {"Arrow.jpg"}
        for w in L.SKINNED:
            expected |= set(status_names(w))
        for pct in L.SCALES:
            folder = SKINS if pct == 100 else os.path.join(SKINS, str(pct))
            files = {n for n in os.listdir(folder) if os.path.isfile(os.path.join(folder, n))}
            self.assertEqual(files, expected, pct)

    def test_ini_files_place_every_control_at_its_scaled_rectangle(self):
        for pct in L.SCALES:
            for w in L.SKINNED:
                ini = read_ini(w.ini, pct)
                self.assertEqual(ini["SCREEN"]["Main"], w.prefix + "_Status1.jpg")
                placed = ini["BUTTONINFO"]
                for c in w.controls:
                    if c.skin_key:
                        self.assertEqual(placed[c.skin_key], "%d,%d,%d,%d" % c.px_at(pct), (pct, c.skin_key))
                self.assertEqual(len(placed), len([c for c in w.controls if c.skin_key]))
            frames = read_ini("Main.ini", pct)["BUTTONINFO2"]
            self.assertEqual(set(frames), {"%s%d" % f for f in L.ARROW_FRAMES})

    def test_pictures_have_the_window_size_and_no_pure_white(self):
        for pct in L.SCALES:
            for w in L.SKINNED:
                for name in status_names(w):
                    img = picture(name, pct)
                    self.assertEqual(img.size, w.px_size_at(pct), (pct, name))
                    self.assertNotIn((255, 255, 255), [c for _, c in img.getcolors(1 << 24)], (pct, name))

    def test_masks_are_white_outside_and_hold_every_visible_control(self):
        for pct in L.SCALES:
            for w in L.SKINNED:
                mask = mask_of(w, pct)
                self.assertEqual(mask.size, w.px_size_at(pct))
                self.assertEqual({c for _, c in mask.getcolors()}, {0, 255}, (pct, w.name))
                W, H = mask.size
                # shaped: the corners are outside
                for corner in ((0, 0), (W - 1, 0), (0, H - 1), (W - 1, H - 1)):
                    self.assertEqual(mask.getpixel(corner), 255, (pct, w.name, corner))
                for c in w.controls:
                    if c.hidden or not c.skin_key:
                        continue
                    x, y, cw, ch = c.px_at(pct)
                    if c.kind == "combo":
                        ch = L.scaled(20, pct)  # the rest is the drop-down list, a window of its own
                    for p in ((x, y), (x + cw - 1, y), (x, y + ch - 1), (x + cw - 1, y + ch - 1)):
                        self.assertEqual(mask.getpixel(p), 0, (pct, w.name, c.skin_key, p))

    def test_main_window_is_cut_below_the_keypad(self):
        for pct in L.SCALES:
            mask = mask_of(L.window(102), pct)
            W, H = mask.size
            inset = L.scaled(30, pct)
            self.assertEqual(mask.getpixel((W - inset, H - inset)), 255, pct)
            self.assertEqual(mask.getpixel((inset, H - inset)), 0, pct)

    def test_scaled_outlines_are_the_skins_own_grown(self):
        # the same shape at every scale: shrunk back, at most a rim of pixels disagrees
        for w in L.SKINNED:
            own = mask_of(w, 100)
            for pct in L.SCALES[1:]:
                back = mask_of(w, pct).resize(own.size, Image.BILINEAR).point(lambda v: 255 if v >= 128 else 0)
                differ = ImageStat.Stat(ImageChops.difference(own, back)).sum[0] / 255
                self.assertLess(differ, 2 * (own.width + own.height), (pct, w.name))

    def test_scaled_faces_show_what_the_skins_own_show(self):
        # every face drawn afresh at the scale, yet the same face in the same place:
        # a state's colours, a cap's edge or a legend out of place shows once shrunk back
        for w in L.SKINNED:
            for name in status_names(w)[:1] + status_names(w)[3:4]:
                own = picture(name)
                for pct in L.SCALES[1:]:
                    big = picture(name, pct)
                    for c in w.controls:
                        if not c.faces or c.hidden:
                            continue
                        # compared coarsely: glyphs hinted at another size differ in detail
                        coarse = (max(1, c.px[2] // 3), max(1, c.px[3] // 3))
                        small = face(big, c.px_at(pct)).resize(coarse, Image.BOX)
                        self.assertLess(difference(face(own, c.px).resize(coarse, Image.BOX), small), 16,
                                        (pct, name, c.skin_key))

    def test_each_state_face_is_told_apart_at_a_glance(self):
        # mean difference per channel over the face; 6 is about what the eye needs on a dark cap
        for pct in L.SCALES:
            for w in L.SKINNED:
                cache = {}

                def img(n):
                    name = image_name(w, n)
                    if name not in cache:
                        cache[name] = picture(name, pct)
                    return cache[name]

                for c in w.controls:
                    if not c.faces or c.look in ("lamp", "fliplamp", "label"):
                        continue
                    states = dict(zip(L_STATES, c.faces))
                    shown = {s: face(img(n), c.px_at(pct)) for s, n in states.items()}
                    pairs = [("normal", "hover"), ("normal", "pressed"), ("hover", "pressed")]
                    if states["marked"] != states["normal"]:
                        pairs += [("normal", "marked"), ("hover", "marked")]
                    if states["disabled"] != states["normal"]:
                        pairs += [("normal", "disabled")]
                    for a, b in pairs:
                        self.assertGreater(difference(shown[a], shown[b]), 6,
                                           "%d%% %s %s: %s vs %s" % (pct, w.prefix, c.skin_key, a, b))
                    if c.look == "key":
                        # a layer's key with the base's function showing through
                        dimmed = face(img(L.MAIN_INHERITED_IMAGE), c.px_at(pct))
                        for s in ("normal", "hover", "marked"):
                            self.assertGreater(difference(dimmed, shown[s]), 6, "%d%% %s: dimmed vs %s" %
                                               (pct, c.skin_key, s))

    def test_lamps_and_flip_lamp_light_up(self):
        main = L.window(102)
        for pct in L.SCALES:
            s1, s2 = picture("Main_Status1.jpg", pct), picture("Main_Status2.jpg", pct)
            s1b = picture("Main_Status1_2.jpg", pct)
            for c in main.controls:
                if c.look == "lamp":
                    self.assertGreater(difference(face(s1, c.px_at(pct)), face(s2, c.px_at(pct))), 3, c.skin_key)
                if c.look == "fliplamp":
                    self.assertGreater(difference(face(s1, c.px_at(pct)), face(s1b, c.px_at(pct))), 3)

    def test_arrow_frames_differ_and_match_the_case_around_them(self):
        for pct in L.SCALES:
            self.check_arrow_frames(pct)

    def check_arrow_frames(self, pct):
        strip = picture("Arrow.jpg", pct)
        frames = read_ini("Main.ini", pct)["BUTTONINFO2"]
        main = L.window(102)
        left = next(c for c in main.controls if c.skin_key == "LEFT_ARROW")
        _, _, fw, fh = left.px_at(pct)
        tiles = {}
        for key, value in frames.items():
            x, y, _, _ = (int(v) for v in value.split(","))
            self.assertLessEqual(x + fw, strip.width)
            self.assertLessEqual(y + fh, strip.height)
            tiles[key] = strip.crop((x, y, x + fw, y + fh))
        for stem in ("DOWN_ARROW_LEFT", "DOWN_ARROW_RIGHT", "UP_ARROW_LEFT", "UP_ARROW_RIGHT"):
            self.assertGreater(difference(tiles[stem + "1"], tiles[stem + "2"]), 2, stem)
        self.assertGreater(difference(tiles["DOWN_ARROW_LEFT1"], tiles["UP_ARROW_LEFT1"]), 2)
        # the frame's corner shows the same case as the window behind the arrow
        s1 = picture("Main_Status1.jpg", pct)
        corner = tiles["DOWN_ARROW_LEFT1"].getpixel((0, 0))
        behind = s1.getpixel(left.px_at(pct)[:2])
        self.assertLess(max(abs(a - b) for a, b in zip(corner, behind)), 8)


L_STATES = ("normal", "hover", "pressed", "disabled", "marked")

if __name__ == "__main__":
    unittest.main()
