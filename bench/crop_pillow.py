#!/usr/bin/python3
"""The same crop written as a short Pillow script, as a user would.

    crop_pillow.py <source folder> <output folder>

Unites the bounding boxes of the pixels with alpha above 0 over all frames,
widens the box to the right and downward to multiples of 16, and writes every
frame cropped to it as out_00001.png, ... in the output folder; canvas beyond a
frame's edge is opaque black. Frames are the names ending in ".png" in the
tool's name order (see name_order).
"""
import os
import sys

from PIL import Image


def name_order(name):
    """The tool's order: bytes compared with a-z read as A-Z, ties (names that
    differ only in case) in plain byte order."""
    raw = os.fsencode(name)
    return bytes(b - 32 if 97 <= b <= 122 else b for b in raw), raw


def main():
    source, output = sys.argv[1], sys.argv[2]
    names = sorted((n for n in os.listdir(source) if n.endswith(".png")), key=name_order)

    left = top = right = bottom = None
    for name in names:
        with Image.open(os.path.join(source, name)) as frame:
            box = frame.convert("RGBA").getchannel("A").getbbox()
        if box is None:
            continue
        left = box[0] if left is None else min(left, box[0])
        top = box[1] if top is None else min(top, box[1])
        right = box[2] if right is None else max(right, box[2])
        bottom = box[3] if bottom is None else max(bottom, box[3])
    if left is None:
        print("no visible pixel")
        return 1

    width = (right - left + 15) // 16 * 16
    height = (bottom - top + 15) // 16 * 16
    for number, name in enumerate(names, 1):
        with Image.open(os.path.join(source, name)) as frame:
            frame = frame.convert("RGBA")
            inside = frame.crop((left, top, min(left + width, frame.width),
                                 min(top + height, frame.height)))
        result = Image.new("RGBA", (width, height), (0, 0, 0, 255))
        result.paste(inside, (0, 0))
        result.save(os.path.join(output, "out_%05d.png" % number))
    print("%d,%d,%d,%d" % (left, top, left + width, top + height))
    return 0


if __name__ == "__main__":
    sys.exit(main())
