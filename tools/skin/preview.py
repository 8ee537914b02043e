#!/usr/bin/python3
"""Writes PNG previews of the committed skin into a folder, for looking at:
each status image with the window's outline applied (outside shown grey)."""

import os
import sys

from PIL import Image

SKINS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "app", "skin", "Skins")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "/tmp/skin-preview"
    os.makedirs(out, exist_ok=True)
    for name in sorted(os.listdir(SKINS)):
        if not name.endswith(".jpg"):
            continue
        img = Image.open(os.path.join(SKINS, name)).convert("RGB")
        prefix = name.split("_")[0].split(".")[0]
        mask_path = os.path.join(SKINS, prefix + "_Mask.bmp")
        if os.path.exists(mask_path):
            mask = Image.open(mask_path).convert("L")
            back = Image.new("RGB", img.size, (0x80, 0x80, 0x80))
            img = Image.composite(back, img, mask.point(lambda v: 255 if v == 255 else 0))
        img.save(os.path.join(out, name[:-4] + ".png"))
    print(out)


if __name__ == "__main__":
    main()
