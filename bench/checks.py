"""Comparisons of the outputs: pixels (decoded as RGBA), bytes, sizes, the
layout of animations written over a tree, and console output. Each gives
None when the two agree, else a short text of the first differences for the
verdict line.
"""
import os
import re

from contenders import TOOL, output_folder

def compare_outputs(reference, other):
    """Gives None when both folders hold the same frames pixel for pixel."""
    from PIL import Image
    names = sorted(n for n in os.listdir(reference) if n.endswith(".png"))
    others = sorted(n for n in os.listdir(other) if n.endswith(".png"))
    if names != others:
        return "%d files against %d" % (len(names), len(others))
    for name in names:
        with Image.open(os.path.join(reference, name)) as a, Image.open(os.path.join(other, name)) as b:
            a, b = a.convert("RGBA"), b.convert("RGBA")
            if a.size != b.size:
                return "%s: %s against %s" % (name, a.size, b.size)
            if a.tobytes() != b.tobytes():
                return "%s: pixels differ" % name
    return None


def png_sizes(folder):
    """The size of every frame a run wrote, by name."""
    return {n: os.path.getsize(os.path.join(folder, n))
            for n in os.listdir(folder) if n.endswith(".png")}


def no_larger(reference, other):
    """Gives None when no frame in other is larger than its namesake in
    reference."""
    big, small = png_sizes(reference), png_sizes(other)
    larger = sorted(n for n in small if n in big and small[n] > big[n])
    if larger:
        return "%d frames larger, the first %s (%d bytes against %d)" % (
            len(larger), larger[0], small[larger[0]], big[larger[0]])
    return None


def compare_bytes(reference, other):
    """Gives None when both folders hold the same files byte for byte."""
    names = sorted(os.listdir(reference))
    others = sorted(os.listdir(other))
    if names != others:
        return "%d files against %d" % (len(names), len(others))
    for name in names:
        with open(os.path.join(reference, name), "rb") as a, open(os.path.join(other, name), "rb") as b:
            if a.read() != b.read():
                return "%s: bytes differ" % name
    return None


def compare_console(scratch, corpus, contender, round_index):
    """Gives None when a tool run printed what the one-thread run printed, up
    to the output folder's name (each run has its own)."""
    def text(who):
        folder = output_folder(scratch, corpus, who, round_index)
        with open(folder + ".log", "rb") as f:
            return f.read().replace(folder.encode(), b"<out>")
    reference, other = text(TOOL), text(contender)
    if reference == other:
        return None
    return "console output differs (%d bytes against %d)" % (len(reference), len(other))


def differ_animations(expected, found):
    """None when both give the same animations with the same files, else the
    first differences."""
    problems = []
    for key in sorted(set(expected) | set(found)):
        if key not in found:
            problems.append("%s missing" % "/".join(key))
        elif key not in expected:
            problems.append("%s not expected" % "/".join(key))
        elif found[key] != expected[key]:
            problems.append("%s: %d files against %d" % ("/".join(key), len(found[key]),
                                                         len(expected[key])))
    if not problems:
        return None
    return "%d animations differ: %s" % (len(problems), "; ".join(problems[:3]))


def compare_frame_trees(reference, other, frames_only=False):
    """None when two output folders hold the same files byte for byte
    (only the out_*.png frames when frames_only)."""
    def files(folder):
        found = {}
        for path, _, names in os.walk(folder):
            for name in names:
                if not frames_only or (name.startswith("out_") and name.endswith(".png")):
                    found[os.path.relpath(os.path.join(path, name), folder)] = \
                        os.path.join(path, name)
        return found
    a, b = files(reference), files(other)
    if sorted(a) != sorted(b):
        return "%d files against %d" % (len(a), len(b))
    for name in sorted(a):
        with open(a[name], "rb") as x, open(b[name], "rb") as y:
            if x.read() != y.read():
                return "%s: bytes differ" % name
    return None


def console_lines(path):
    with open(path, errors="replace") as f:
        return [line for line in re.split(r"[\r\n]", f.read()) if line]


def check_tree_console(path, animations, source, bytes_out):
    """None when a run printed the counts of the corpus and of what it wrote
    (bytes_out: the bytes of its frames, tree.tree_bytes)."""
    lines = console_lines(path)
    frames = sum(len(names) for names in animations.values())
    planned = "%d animations (%d frames) to process." % (len(animations), frames)
    if planned not in lines:
        found = [line for line in lines if "to process" in line]
        return "no line \"%s\" (%s)" % (planned, found[0] if found else "none such")
    done = [re.fullmatch(r"Cropped (\d+) animations \((\d+) frames\): (\d+) bytes in, "
                         r"(\d+) bytes out\.", line) for line in lines]
    done = [m for m in done if m]
    if len(done) != 1:
        return "%d lines \"Cropped <A> animations (<F> frames): <B> bytes in, <C> bytes out.\"" % (
            len(done))
    bytes_in = sum(os.path.getsize(os.path.join(source, rel, name))
                   for (rel, _), names in animations.items() for name in names)
    wanted = (len(animations), frames, bytes_in, bytes_out)
    if tuple(int(v) for v in done[0].groups()) != wanted:
        return "\"%s\", expected %d animations, %d frames, %d bytes in, %d bytes out" % (
            (done[0].group(0),) + wanted)
    if "All done!" not in lines:
        return "no line \"All done!\""
    return None


def differing_frames(animations, reference, other):
    """None when for every animation the folder other(folder, stem) holds
    the frames of reference(folder, stem) pixel for pixel (as RGBA), else the
    count and the first difference."""
    differing = []
    for rel, stem in animations:
        a, b = reference(rel, stem), other(rel, stem)
        missing = [folder for folder in (a, b) if not os.path.isdir(folder)]
        problem = "no folder " + missing[0] if missing else compare_outputs(a, b)
        if problem is not None:
            differing.append("%s/%s: %s" % (rel, stem, problem))
    if differing:
        return "%d animations differ, the first %s" % (len(differing), differing[0])
    return None
