#!/usr/bin/python3
"""Makes the skin and the dialog resources from the layout table.

    generate.py            write everything into the repository
    generate.py --out DIR  write into DIR instead (same relative paths)
    generate.py --check    compare with the committed files; exit 1 on any difference

Output is byte-reproducible: fixed JPEG settings, no time stamps.
"""

import argparse
import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean when run by ctest
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import layout as L  # noqa: E402
import resources  # noqa: E402

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SKINS = "app/skin/Skins"
GENERATED = "app/skin/generated"


def arrow_frames(pct=100):
    """Frames of the arrow strip, side by side, each the size of the arrow button."""
    left = next(c for c in L.window(102).controls if c.skin_key == "LEFT_ARROW")
    _, _, w, h = left.px_at(pct)
    return {"%s%d" % (stem, n): (i * w, 0, w, h) for i, (stem, n) in enumerate(L.ARROW_FRAMES)}


def set_dir(pct):
    return SKINS if pct == 100 else "%s/%d" % (SKINS, pct)


def build(with_pictures=True):
    files = {}
    files[GENERATED + "/dialogs.rc"] = resources.dialogs_rc()
    files[GENERATED + "/icons.rc"] = resources.icons_rc()
    files[GENERATED + "/control_ids.h"] = resources.control_ids_h()
    for pct in L.SCALES:
        for w in L.SKINNED:
            files["%s/%s" % (set_dir(pct), w.ini)] = resources.ini_text(
                w, arrow_frames(pct) if w.template == 102 else None, pct)
    if with_pictures:
        import pictures
        for name, data in pictures.render_all(arrow_frames).items():
            files[name] = data
    return files


def managed_dirs():
    return [set_dir(pct) for pct in L.SCALES] + [GENERATED, GENERATED + "/icons"]


def check(files):
    bad = []
    for rel, data in sorted(files.items()):
        path = os.path.join(ROOT, rel)
        try:
            with open(path, "rb") as f:
                if f.read() != data:
                    bad.append("differs: " + rel)
        except OSError:
            bad.append("missing: " + rel)
    for d in managed_dirs():
        full = os.path.join(ROOT, d)
        if not os.path.isdir(full):
            continue
        for name in sorted(os.listdir(full)):
            rel = d + "/" + name
            if os.path.isfile(os.path.join(full, name)) and rel not in files:
                bad.append("not generated: " + rel)
    return bad


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out")
    ap.add_argument("--check", action="store_true")
    ap.add_argument("--text-only", action="store_true", help="skip the pictures")
    args = ap.parse_args()
    files = build(not args.text_only)
    if args.check:
        bad = check(files)
        for line in bad:
            print(line)
        print("%d generated files, %d differ" % (len(files), len(bad)))
        if bad:
            print("after changing the layout or the look, run tools/skin/generate.py and commit its output")
        return 1 if bad else 0
    out = args.out or ROOT
    for rel, data in files.items():
        path = os.path.join(out, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    print("wrote %d files under %s" % (len(files), out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
