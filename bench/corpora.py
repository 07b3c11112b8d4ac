"""The corpora: the generated ones (tools/framegen), corpus c doubled, and the
frames and trees of game art from Debian's data packages, each made once in
the scratch folder and kept while what it was made from stays the same (its
.made stamp); and what a reader needs to know of them (labels, frame sizes).
"""
import glob
import os
import re
import shutil
import subprocess

from crop_pillow import name_order  # bench.py's folder is first on sys.path
from timing import log, remove_tree

# name, frames, width, height, seed; "c2" is corpus c with every frame twice.
CORPORA = [
    ("a", 60, 640, 480, 1),
    ("b", 30, 1920, 1080, 2),
    ("c", 600, 320, 240, 3),
]
SCALED = "c2"
# Sprite frames nobody here drew: the four animations of player 1's penguin in
# Frozen Bubble, 80x60 RGBA frames with alpha, from Debian's data package
# (fetched with apt-get download and unpacked, never installed). The version
# is pinned so that every run measures the same bytes.
REAL = "r"
REAL_PACKAGE = "frozen-bubble-data"
REAL_VERSION = "2.212-11"
REAL_FRAMES = "usr/share/games/frozen-bubble/gfx/pinguins/*_p1_*.png"
REAL_SIZE = (80, 60)
# Whole trees of game art, cut into animations by folder and stem (tree.tree_stem):
# the unit art of Battle for Wesnoth (a folder per faction, <unit>-<anim>-<N>.png)
# and the creature art of SuperTux (a folder per creature, walk-*, burning-* ...
# side by side), from Debian's data packages fetched and unpacked like REAL's,
# each subtree copied into corpus/tree with its folders. Per package: version,
# the subtree in the package, where it goes in the corpus, its licence, and the
# words of the package's copyright file that grant it (blanks folded).
TREE = "tree"
TREE_PACKAGES = [
    ("wesnoth-1.16-data", "1:1.16.9-1", "usr/share/games/wesnoth/1.16/data/core/images/units",
     "wesnoth/units", "GPL-2+",
     r"under the terms of the GNU General Public License version 2 or at your option any later "
     r"version"),
    ("supertux-data", "0.6.3-2", "usr/share/games/supertux2/images/creatures",
     "supertux/creatures", "GPL-3+", r"Files: \* Copyright: (?:(?!Files:).)*? License: GPL-3\+ "),
]
LABELS = {
    "a": "(a) 60 x 640x480",
    "b": "(b) 30 x 1920x1080",
    "c": "(c) 600 x 320x240",
    "c2": "(c) doubled, 1200 x 320x240",
    "r": "(r) 394 x 80x60 sprites",
    "tree": "(t) Wesnoth units + SuperTux creatures",
}
KNOWN = [name for name, *_ in CORPORA] + [SCALED, REAL, TREE]


def frame_names(folder):
    # The order the tool numbers the frames in.
    return sorted((n for n in os.listdir(folder) if n.endswith(".png")), key=name_order)


def unpacked_package(scratch, package, version):
    """The folder where Debian's package of that version lies unpacked, in
    <scratch>/package; downloaded (never installed) and unpacked when missing."""
    download = os.path.join(scratch, "package")
    unpacked = os.path.join(download, package)
    stamp = unpacked + ".version"
    if os.path.exists(stamp) and open(stamp).read() == version + "\n":
        return unpacked
    log("fetching %s %s" % (package, version))
    remove_tree(unpacked)
    os.makedirs(download, exist_ok=True)
    # As root, apt's own download user may not enter the scratch folder.
    sandbox = ["-o", "APT::Sandbox::User=root"] if os.geteuid() == 0 else []
    subprocess.run(["apt-get", "download", "-qq"] + sandbox + ["%s=%s" % (package, version)],
                   cwd=download, check=True)
    deb = glob.glob(os.path.join(download, glob.escape(package) + "_*.deb"))[0]
    subprocess.run(["dpkg-deb", "-x", deb, unpacked], check=True)
    os.remove(deb)
    with open(stamp, "w") as f:
        f.write(version + "\n")
    return unpacked


def copyright_text(unpacked, package):
    with open(os.path.join(unpacked, "usr/share/doc", package, "copyright")) as f:
        return f.read()


def make_real_corpus(scratch):
    """The REAL frames, copied into corpus/r from the unpacked package. Gives
    the folder and the package's licence line from its copyright file."""
    folder = os.path.join(scratch, "corpus", REAL)
    stamp = os.path.join(folder, ".made")
    wanted = "%s %s %s\n" % (REAL_PACKAGE, REAL_VERSION, REAL_FRAMES)
    unpacked = unpacked_package(scratch, REAL_PACKAGE, REAL_VERSION)
    if not (os.path.exists(stamp) and open(stamp).read() == wanted):
        remove_tree(folder)
        os.makedirs(folder)
        for path in sorted(glob.glob(os.path.join(unpacked, REAL_FRAMES))):
            shutil.copyfile(path, os.path.join(folder, os.path.basename(path)))
        with open(stamp, "w") as f:
            f.write(wanted)
    licence = "unknown"
    for line in copyright_text(unpacked, REAL_PACKAGE).splitlines():
        if line.startswith("License:"):
            licence = line.split(":", 1)[1].strip()
            break
    return folder, licence


def make_tree_corpus(scratch):
    """The TREE subtrees, copied into corpus/tree from the unpacked packages.
    Gives the folder; stops when a copyright file no longer grants the
    licence noted in TREE_PACKAGES."""
    folder = os.path.join(scratch, "corpus", TREE)
    stamp = os.path.join(folder, ".made")
    wanted = "".join("%s %s %s %s\n" % entry[:4] for entry in TREE_PACKAGES)
    unpacked = {package: unpacked_package(scratch, package, version)
                for package, version, *_ in TREE_PACKAGES}
    for package, version, _, _, licence, grant in TREE_PACKAGES:
        if not re.search(grant, " ".join(copyright_text(unpacked[package], package).split())):
            raise RuntimeError("the copyright file of %s %s no longer says %s" % (
                package, version, licence))
    if not (os.path.exists(stamp) and open(stamp).read() == wanted):
        log("copying corpus %s" % TREE)
        remove_tree(folder)
        for package, _, inside, where, _, _ in TREE_PACKAGES:
            shutil.copytree(os.path.join(unpacked[package], inside), os.path.join(folder, where),
                            symlinks=True)
        with open(stamp, "w") as f:
            f.write(wanted)
    return folder


def make_corpora(build, scratch, chosen):
    framegen = os.path.join(build, "tools", "framegen")
    made = {}
    for name, frames, width, height, seed in CORPORA:
        if name not in chosen and not (name == "c" and SCALED in chosen):
            continue
        folder = os.path.join(scratch, "corpus", name)
        stamp = os.path.join(folder, ".made")
        wanted = "%d %d %d %d\n" % (frames, width, height, seed)
        if not (os.path.exists(stamp) and open(stamp).read() == wanted):
            log("generating corpus %s: %d frames of %dx%d, seed %d" % (name, frames, width, height, seed))
            remove_tree(folder)
            os.makedirs(folder)
            subprocess.run([framegen, folder, str(frames), str(width), str(height), str(seed)],
                           check=True)
            with open(stamp, "w") as f:
                f.write(wanted)
        made[name] = folder
    if SCALED in chosen:
        made[SCALED] = make_scaled_corpus(scratch, made["c"])
    if REAL in chosen:
        made[REAL], licence = make_real_corpus(scratch)
        log("corpus %s: %d frames of %s %s (licence %s)" % (
            REAL, len(frame_names(made[REAL])), REAL_PACKAGE, REAL_VERSION, licence))
    if TREE in chosen:
        made[TREE] = make_tree_corpus(scratch)
        log("corpus %s, the whole subtrees of %s" % (TREE, "; ".join(
            "%s %s (licence %s, its /usr/share/doc/%s/copyright) %s as %s" % (
                package, version, licence, package, inside, where)
            for package, version, inside, where, licence, _ in TREE_PACKAGES)))
    return made


def make_scaled_corpus(scratch, source):
    folder = os.path.join(scratch, "corpus", SCALED)
    stamp = os.path.join(folder, ".made")
    wanted = open(os.path.join(source, ".made")).read()
    if not (os.path.exists(stamp) and open(stamp).read() == wanted):
        log("doubling corpus c to %s" % SCALED)
        remove_tree(folder)
        os.makedirs(folder)
        names = sorted(frame_names(source))
        for i, name in enumerate(names + names, 1):
            shutil.copyfile(os.path.join(source, name), os.path.join(folder, "frame_%04d.png" % i))
        with open(stamp, "w") as f:
            f.write(wanted)
    return folder


def decoded_bytes(corpus):
    if corpus == REAL:
        return REAL_SIZE[0] * REAL_SIZE[1] * 4
    for name, _, width, height, _ in CORPORA:
        if corpus.startswith(name):
            return width * height * 4
    raise KeyError(corpus)
