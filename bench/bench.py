#!/usr/bin/python3
"""Benchmark driver: velmoraReelCut (one thread, -jobs 2, -jobs 0, -optimize,
and followed by optipng -o2 -strip all) against an ImageMagick recipe, a Pillow
script and the FreeImage floor, on corpora made by tools/framegen and on the
sprite frames of a Debian game (REAL below); and on whole trees of two Debian
games' art (TREE below), -tree -split stem on one thread, with -jobs 2,
-incremental and -optimize against the floor over the same animations and the
shell loop of one run per animation that a user would write (tree_loop.sh).
The build of an earlier commit ("before", today's tool for the targets) runs
once on every corpus: its frames are the pixels every frame written must
have, and its -optimize bytes on the tree are the ones to beat.

Started by bench/run, which installs the packages and builds the programs:

    bench.py --build <build folder> --before <build folder> --before-commit <id>
             [--runs N] [--corpora a,b,c,c2,r,tree] [--scratch <folder>] [--nice N]

Every contender runs on every corpus in turns (A B C ... A B C ...), first one
untimed warm-up round, then N timed rounds. Wall time is taken around the child
process, CPU time (user + system) comes from the kernel through wait4, and the
peak resident memory from /usr/bin/time. The medians make the table, with the
bytes each contender wrote. Every run writes into a new, empty folder (but the
-incremental rerun, which goes over its first run's); all of them are deleted
at the end.
"""
import argparse
import glob
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

from crop_pillow import name_order  # this folder is first on sys.path

HERE = os.path.dirname(os.path.abspath(__file__))
CONVERT = "/usr/bin/convert"  # a stand-in may shadow it on the PATH

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
# Whole trees of game art, cut into animations by folder and stem (tree_stem):
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
TREE_LOOP = "shell loop, one run per animation"
TREE_RUN = "velmoraReelCut -tree -split stem"
TREE_JOBS2 = "velmoraReelCut -tree -split stem -jobs 2"
TREE_FIRST = "velmoraReelCut -tree -split stem -incremental, first run"
TREE_RERUN = "velmoraReelCut -tree -split stem -incremental, unchanged rerun"
# The sheets of the same animations, against the loose frames: the time of a
# plain run, and the bytes of the -optimize runs.
TREE_SHEET = "velmoraReelCut -tree -split stem -sheet"
TREE_OPT = "velmoraReelCut -tree -split stem -optimize"
TREE_SHEET_OPT = "velmoraReelCut -tree -split stem -sheet -optimize"
TREE_SHEETS = [TREE_SHEET, TREE_SHEET_OPT]
# The floor over the tree: the same animations, rectangles and offsets as the
# tool's, from its -report (tree_floor_list), in a list file.
TREE_FLOOR = "FreeImage floor, the tree's animations"
TREE_CONTENDERS = [TREE_LOOP, TREE_RUN, TREE_JOBS2, TREE_FLOOR, TREE_OPT, TREE_FIRST,
                   TREE_RERUN] + TREE_SHEETS
# Run once after the rounds (optipng takes about a minute over the tree's
# frames): the default output, then optipng over it.
TREE_OPTIPNG = "velmoraReelCut -tree -split stem + optipng -o2 -strip all"
TREE_OPTIONS = {
    TREE_RUN: ["-tree", "-split", "stem"],
    TREE_JOBS2: ["-tree", "-split", "stem", "-jobs", "2"],
    TREE_FIRST: ["-tree", "-split", "stem", "-incremental"],
    TREE_RERUN: ["-tree", "-split", "stem", "-incremental"],
    TREE_SHEET: ["-tree", "-split", "stem", "-sheet"],
    TREE_OPT: ["-tree", "-split", "stem", "-optimize"],
    TREE_SHEET_OPT: ["-tree", "-split", "stem", "-sheet", "-optimize"],
}
LABELS = {
    "a": "(a) 60 x 640x480",
    "b": "(b) 30 x 1920x1080",
    "c": "(c) 600 x 320x240",
    "c2": "(c) doubled, 1200 x 320x240",
    "r": "(r) 394 x 80x60 sprites",
    "tree": "(t) Wesnoth units + SuperTux creatures",
}
TOOL = "velmoraReelCut"
TOOL_JOBS = {"velmoraReelCut -jobs 2": "2", "velmoraReelCut -jobs 0": "0"}
OPTIMIZE = "velmoraReelCut -optimize"
OPTIPNG = "velmoraReelCut + optipng -o2 -strip all"
OPTIPNG_COMMAND = ["optipng", "-quiet", "-o2", "-strip", "all"]
# The one-thread run that also writes the coverage picture, beside its folder.
PREVIEW = "velmoraReelCut -preview"
TOOLS = [TOOL] + list(TOOL_JOBS) + [PREVIEW, OPTIMIZE, OPTIPNG]
FLOOR = "FreeImage floor"
CONTENDERS = TOOLS + [FLOOR, "Pillow script", "ImageMagick recipe"]
# Names for the output folders and the round lines.
SHORT = {
    TOOL: "tool",
    "velmoraReelCut -jobs 2": "tool-j2",
    "velmoraReelCut -jobs 0": "tool-j0",
    PREVIEW: "tool-preview",
    OPTIMIZE: "tool-opt",
    OPTIPNG: "tool-optipng",
    FLOOR: "floor",
    "Pillow script": "pillow",
    "ImageMagick recipe": "imagemagick",
    TREE_LOOP: "loop",
    TREE_RUN: "tree",
    TREE_JOBS2: "tree-j2",
    TREE_FIRST: "tree-incremental",
    TREE_RERUN: "tree-rerun",
    TREE_SHEET: "tree-sheet",
    TREE_OPT: "tree-opt",
    TREE_SHEET_OPT: "tree-sheet-opt",
    TREE_FLOOR: "tree-floor",
    TREE_OPTIPNG: "tree-optipng",
}
# The earlier build's runs, once each before the rounds: on every corpus the
# default (the reference pixels), and on the tree -optimize too (the bytes).
BEFORE_COMMIT = "before"  # set by main() from --before-commit


def before(contender):
    """The name of the earlier build's run of the same contender."""
    return "%s at %s" % (contender, BEFORE_COMMIT)


BEFORE_RUNS = {
    TOOL: [],
    TREE_RUN: TREE_OPTIONS[TREE_RUN],
    TREE_OPT: TREE_OPTIONS[TREE_OPT],
}
MIB = 1024 * 1024
# The targets against the FreeImage floor, shared by the corpora and the tree:
# the one-thread tool's time (on FLOOR_TIME_CORPORA and the tree; elsewhere at
# most 1.05 x), its output bytes (everywhere), and -optimize's time.
FLOOR_TIME = 0.6
FLOOR_TIME_CORPORA = ("a", "b")
FLOOR_BYTES = 1.03
OPTIMIZE_FLOOR_TIME = 2
# -optimize's bytes on the tree against the earlier build's -optimize.
BEFORE_OPTIMIZE_BYTES = 0.97
# How much slower than the one-thread tool the other programs must be.
SLOWER = {"Pillow script": 1.6, "ImageMagick recipe": 3}
SCRATCH = "/tmp"  # set by main()
# On ext4 without a journal, creating a file skips every free inode of its block
# group that was freed in the last 60 s (360 s while its inode table block is
# dirty), one buffer-cache lookup each: a run made just after a few thousand
# deletions spends up to 0.4 s more in the kernel. The benchmark therefore
# deletes nothing while it measures, and lets this much time pass after its
# own deletions before the first round.
INODE_REUSE_DELAY = 65


def set_autogroup_nice(value):
    """With the kernel's autogroups on, a nice value only counts against the
    processes of the same session: the other sessions' work shares the cores
    with this one as a whole. This session's group gets the nice value too,
    and gives back the old one (read first) or None when there is no group."""
    try:
        with open("/proc/sys/kernel/sched_autogroup_enabled") as f:
            if f.read().strip() != "1":
                return None
        with open("/proc/self/autogroup") as f:
            old = int(f.read().split()[-1])  # "/autogroup-238 nice 0"
        with open("/proc/self/autogroup", "w") as f:
            f.write("%d\n" % value)
        return old
    except (OSError, ValueError):
        return None


def log(text):
    print(text, flush=True)


def run(command, stdout=subprocess.DEVNULL):
    """Runs one child; gives (wall, user CPU, system CPU seconds, peak RSS bytes).

    The peak RSS is the one /usr/bin/time reports: the kernel's figure for a
    child forked from this interpreter would start at the interpreter's own."""
    rss_file = os.path.join(SCRATCH, "rss")
    start = time.perf_counter()
    child = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", rss_file] + command,
                             stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE)
    stderr = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise RuntimeError("%s exited with %d: %s" % (" ".join(command[:3]), child.returncode,
                                                      stderr.decode(errors="replace")[-2000:]))
    with open(rss_file) as f:
        peak = int(f.read().split()[-1]) * 1024
    return wall, usage.ru_utime, usage.ru_stime, peak


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


def tree_stem(name):
    """The animation a frame belongs to under -split stem: its name without
    ".png", without its last run of digits (wherever it stands) and without
    one separator right before that run."""
    stem = name[:-len(".png")]
    runs = list(re.finditer(r"[0-9]+", stem))
    if not runs:
        return stem
    start, end = runs[-1].span()
    if start > 0 and stem[start - 1] in "-_. ":
        start -= 1
    return stem[:start] + stem[end:]


def tree_animations(source):
    """What -tree -split stem makes of a tree: {(folder relative to the
    source, "" for the source itself; stem): frame names in the tool's
    order}, and the number of folders searched. Folders named autocropped
    and symbolic links to folders are not entered."""
    animations = {}
    folders = 0
    for folder, subfolders, names in os.walk(source):
        # os.walk lists links to folders among the folders, but enters none.
        subfolders[:] = [n for n in subfolders if n != "autocropped"]
        folders += 1
        rel = os.path.relpath(folder, source)
        rel = "" if rel == "." else rel
        for name in names:
            if name.endswith(".png"):
                animations.setdefault((rel, tree_stem(name)), []).append(name)
    for frames in animations.values():
        frames.sort(key=name_order)
    return dict(sorted(animations.items())), folders


def describe_tree(source, animations, folders):
    """The corpus's counts, one line per package subtree and one in all."""
    from PIL import Image
    lines = []
    for where in [entry[3] for entry in TREE_PACKAGES] + [""]:
        chosen = {key: frames for key, frames in animations.items()
                  if where == "" or key[0] == where or key[0].startswith(where + "/")}
        frames = sizes = mixed = 0
        for (rel, _), names in chosen.items():
            shapes = set()
            for name in names:
                path = os.path.join(source, rel, name)
                sizes += os.path.getsize(path)
                with Image.open(path) as image:
                    shapes.add(image.size)
            frames += len(names)
            mixed += len(shapes) > 1
        lines.append("%s: %d folders holding frames%s, %d animations (%d of 2 frames or more), "
                     "%d frames, %d bytes; %d animations mix frame sizes" % (
                         where or "in all", len({rel for rel, _ in chosen}),
                         "" if where else " of %d searched" % folders, len(chosen),
                         sum(len(names) > 1 for names in chosen.values()), frames, sizes, mixed))
    return lines


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


def imagemagick_recipe(source, output):
    """The two commands a user would write: the union box, then one crop."""
    names = [os.path.join(source, n) for n in frame_names(source)]
    box_file = output + ".box"
    with open(box_file, "w") as out:
        # -background none: flatten otherwise lays the frames on opaque white.
        first = run([CONVERT] + names + ["-background", "none", "-flatten", "-alpha", "extract",
                                         "-threshold", "0", "-format", "%@", "info:"], stdout=out)
    start = time.perf_counter()
    geometry = open(box_file).read().strip()  # WxH+X+Y
    size, x, y = geometry.split("+")
    width, height = (int(v) for v in size.split("x"))
    width, height = (width + 15) // 16 * 16, (height + 15) // 16 * 16
    box = "%dx%d+%s+%s" % (width, height, x, y)
    between = time.perf_counter() - start
    second = run([CONVERT] + names + ["-crop", box, "+repage", "-background", "black",
                                      "-compose", "Copy", "-extent", "%dx%d" % (width, height),
                                      "-scene", "1", os.path.join(output, "out_%05d.png")])
    return added_up([first, (between, 0, 0, 0), second])


def contender_commands(build, source, output, rect):
    tool = os.path.join(build, "velmoraReelCut")
    floor = os.path.join(build, "bench", "bench_floor")
    log_file = output + ".log"
    commands = {
        TOOL: lambda: run_to_file([tool, "-i", source, "-o", output], log_file),
        "FreeImage floor": lambda: run([floor, source, output] + [str(v) for v in rect]),
        "Pillow script": lambda: run_to_file(
            [sys.executable, os.path.join(HERE, "crop_pillow.py"), source, output], log_file),
        "ImageMagick recipe": lambda: imagemagick_recipe(source, output),
    }
    for contender, jobs in TOOL_JOBS.items():
        commands[contender] = (lambda jobs: lambda: run_to_file(
            [tool, "-i", source, "-o", output, "-jobs", jobs], log_file))(jobs)
    commands[PREVIEW] = lambda: run_to_file(
        [tool, "-i", source, "-o", output, "-preview", output + ".coverage.png"], log_file)
    commands[OPTIMIZE] = lambda: run_to_file([tool, "-i", source, "-o", output, "-optimize"],
                                             log_file)
    commands[OPTIPNG] = lambda: tool_then_optipng([tool, "-i", source, "-o", output], output,
                                                  log_file)
    return commands


def tool_then_optipng(command, output, log_file):
    """The default output, then optipng -o2 -strip all over all its frames as
    a user would run it: one command (one per 2,000 frames, for the length of
    a command line). The times and CPU add up."""
    samples = [run_to_file(command, log_file)]
    frames = sorted(os.path.join(path, name)
                    for path, _, names in os.walk(os.path.join(output, "autocropped"))
                    for name in names if name.endswith(".png"))
    for start in range(0, len(frames), 2000):
        samples.append(run(OPTIPNG_COMMAND + frames[start:start + 2000]))
    return added_up(samples)


def added_up(samples):
    """One sample of runs made one after the other."""
    return (sum(s[0] for s in samples), sum(s[1] for s in samples), sum(s[2] for s in samples),
            max(s[3] for s in samples))


def run_before(before_build, scratch, sources, chosen):
    """The earlier build's runs, once each and before the rounds: its default
    on every corpus, and on the tree -tree -split stem with and without
    -optimize. Gives {corpus: {contender: (output folder, sample)}}."""
    tool = os.path.join(before_build, "velmoraReelCut")
    done = {}
    for corpus in chosen:
        done[corpus] = {}
        for contender in [TREE_RUN, TREE_OPT] if corpus == TREE else [TOOL]:
            folder = os.path.join(scratch, "out", "before", corpus, SHORT[contender])
            os.makedirs(folder)
            os.sync()
            sample = run_to_file([tool, "-i", sources[corpus], "-o", folder] +
                                 BEFORE_RUNS[contender], folder + ".log")
            done[corpus][contender] = (folder, sample)
            log("corpus %s: %s took %.2f s" % (corpus, before(contender), sample[0]))
    return done


def run_to_file(command, path):
    with open(path, "w") as out:
        return run(command, stdout=out)


def removal_stamp():
    return os.path.join(SCRATCH, ".removed")


def remove_tree(folder):
    """Deletes a folder and notes when, see INODE_REUSE_DELAY."""
    if not os.path.lexists(folder):
        return
    shutil.rmtree(folder)
    os.sync()
    with open(removal_stamp(), "w") as f:
        f.write("%.3f\n" % time.time())


def wait_for_inode_reuse():
    try:
        with open(removal_stamp()) as f:
            removed = float(f.read())
    except (OSError, ValueError):
        return
    left = removed + INODE_REUSE_DELAY - time.time()
    if left > 0:
        log("waiting %.0f s after deleting old files, so that creating files costs what it "
            "does on a quiet file system" % left)
        time.sleep(left)


def output_folder(scratch, corpus, contender, round_index):
    """A new folder for every run: the outputs are kept until the end."""
    return os.path.join(scratch, "out", "round%d" % round_index, corpus, SHORT[contender])


def written_folder(scratch, corpus, contender, round_index):
    folder = output_folder(scratch, corpus, contender, round_index)
    return os.path.join(folder, "autocropped") if contender in TOOLS else folder


def reference_rect(scratch, corpus, source):
    """The widened rectangle by the Pillow script, for the floor program."""
    folder = os.path.join(scratch, "out", "reference", corpus)
    os.makedirs(folder)
    result = subprocess.run([sys.executable, os.path.join(HERE, "crop_pillow.py"), source, folder],
                            check=True, capture_output=True, text=True)
    return [int(v) for v in result.stdout.strip().split(",")]


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


def imagemagick_reencoded(scratch, corpus, reference):
    """The bytes of ImageMagick's encoding of every frame in reference, each
    by `convert out_NNNNN.png x.png`: the same pixels in its own PNG writer."""
    folder = os.path.join(scratch, "out", "reencoded", corpus)
    os.makedirs(folder)
    total = 0
    for name in sorted(png_sizes(reference)):
        target = os.path.join(folder, name)
        subprocess.run([CONVERT, os.path.join(reference, name), target], check=True)
        total += os.path.getsize(target)
    return total


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


UNKNOWN_OPTION = 'Warning, unknown option "%s" is ignored.'
TREE_LOOP_SCRIPT = os.path.join(HERE, "tree_loop.sh")


def tree_output(scratch, contender, round_index):
    """The rerun goes over the first run's output; every other run has a new
    folder."""
    if contender == TREE_RERUN:
        contender = TREE_FIRST
    return output_folder(scratch, TREE, contender, round_index)


def tree_log(scratch, contender, round_index):
    return output_folder(scratch, TREE, contender, round_index) + ".log"


def tree_command(build, source, tree, output, contender):
    tool = os.path.join(build, "velmoraReelCut")
    if contender == TREE_LOOP:
        return ["/bin/sh", TREE_LOOP_SCRIPT, "crop", tool, tree["gathered"], output]
    if contender == TREE_FLOOR:
        return [os.path.join(build, "bench", "bench_floor"), "-tree", tree["floor list"], source,
                output]
    return [tool, "-i", source, "-o", output] + TREE_OPTIONS[contender]


def tree_floor_list(build, scratch, source):
    """The floor's list file of the tree (see bench/floor.cpp): each
    animation's widened crop in its canvas and its output folder
    <folder>/<stem>, then each written frame's offset in that canvas and its
    path, all from the -report of one untimed -tree -split stem run of the
    tool, so that the floor crops what the tool crops. Gives its path."""
    output = os.path.join(scratch, "out", "tree-report")
    os.makedirs(output)
    report_file = output + ".json"
    run_to_file([os.path.join(build, "velmoraReelCut"), "-i", source, "-o", output,
                 "-report", report_file] + TREE_OPTIONS[TREE_RUN], output + ".log")
    with open(report_file, encoding="utf-8") as f:
        report = json.load(f)
    lines = []
    for animation in report["animations"]:
        frames = [frame for frame in animation["frames"] if frame["written"]]
        crop = animation.get("crop")
        if crop is None or not frames:
            continue
        lines.append("A\t%d\t%d\t%d\t%d\t%s" % (crop["x"], crop["y"], crop["w"], crop["h"],
                                               os.path.join(animation["folder"],
                                                            animation["stem"])))
        for frame in frames:
            offset = frame.get("offset") or {"x": 0, "y": 0}
            cut = frame["spriteSourceSize"]
            if (cut["x"], cut["y"]) != (crop["x"] - offset["x"], crop["y"] - offset["y"]):
                raise RuntimeError("the report's %s/%s: its spriteSourceSize is not the crop "
                                   "moved by its offset" % (animation["folder"], frame["source"]))
            lines.append("F\t%d\t%d\t%s" % (offset["x"], offset["y"],
                                            os.path.join(animation["folder"], frame["source"])))
    path = os.path.join(scratch, "out", "tree-floor.list")
    with open(path, "w", encoding="utf-8") as f:
        f.write("".join(line + "\n" for line in lines))
    return path


def written_animations(folder, top="autocropped"):
    """{(folder, stem): sorted out_*.png names} of a -tree -split stem
    output folder (the one holding autocropped; the floor's has none: top
    "")."""
    top = os.path.join(folder, top)
    found = {}
    for path, _, names in os.walk(top):
        frames = sorted(n for n in names if n.startswith("out_") and n.endswith(".png"))
        if frames and path != top:
            found[os.path.split(os.path.relpath(path, top))] = frames
    return found


def gathered_animations(gathered):
    """{(folder, stem): sorted frame names} of tree_loop.sh gather's folders."""
    found = {}
    for path, _, names in os.walk(gathered):
        frames = sorted(n for n in names if n.endswith(".png"))
        if frames:
            rel = os.path.relpath(path, gathered)
            found[os.path.split(rel)] = frames
    return found


def expected_outputs(animations):
    return {key: ["out_%05d.png" % i for i in range(1, len(frames) + 1)]
            for key, frames in animations.items()}


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


def tree_support(build, scratch, corpus, animations):
    """Whether this build has -tree -split stem, and -incremental with it: a
    reason for each that it lacks (None for what it has), from runs over a
    small tree of the corpus's frames: one animation of two frames two
    folders down, one of one frame a folder down."""
    source = os.path.join(scratch, "out", "tree-probe", "source")
    pair = next(key for key, frames in animations.items() if len(frames) >= 2)
    os.makedirs(os.path.join(source, "x", "y"))
    for i, name in enumerate(animations[pair][:2], 1):
        shutil.copyfile(os.path.join(corpus, pair[0], name),
                        os.path.join(source, "x", "y", "walk-%d.png" % i))
    shutil.copyfile(os.path.join(corpus, pair[0], animations[pair][0]),
                    os.path.join(source, "x", "idle.png"))
    expected = {("x/y", "walk"): ["out_00001.png", "out_00002.png"],
                ("x", "idle"): ["out_00001.png"]}
    tool = os.path.join(build, "velmoraReelCut")

    def attempt(name, options, runs=1):
        output = os.path.join(scratch, "out", "tree-probe", name)
        os.makedirs(output)
        for i in range(runs):
            log_file = "%s.%d.log" % (output, i)
            try:
                run_to_file([tool, "-i", source, "-o", output] + options, log_file)
            except RuntimeError as error:
                return str(error).split("\n")[0][:200]
            with open(log_file, errors="replace") as f:
                text = f.read()
            for option in options:
                if UNKNOWN_OPTION % option in text:
                    return "it prints " + UNKNOWN_OPTION % option
            if differ_animations(expected, written_animations(output)) is not None:
                return "over a small tree it wrote no <out>/autocropped/<folder>/<stem>/" \
                    "out_NNNNN.png" + (" on its second run" if i else "")
        return None

    tree = attempt("tree", TREE_OPTIONS[TREE_RUN])
    incremental = tree or attempt("incremental", TREE_OPTIONS[TREE_FIRST], runs=2)
    sheet = tree
    if sheet is None:
        output = os.path.join(scratch, "out", "tree-probe", "sheet")
        os.makedirs(output)
        result = subprocess.run([os.path.join(build, "velmoraReelCut"), "-i", source, "-o", output]
                                + TREE_OPTIONS[TREE_SHEET], stdin=subprocess.DEVNULL,
                                capture_output=True)
        if (UNKNOWN_OPTION % "-sheet").encode() in result.stdout or result.returncode != 0 or \
                not sheet_files(output):
            sheet = "it wrote no sheet.png and sheet.json"
    return tree, incremental, sheet


def file_snapshot(folder):
    """Every file and folder below folder with its size, change time and inode."""
    snapshot = {}
    for path, subfolders, names in os.walk(folder):
        for name in subfolders + names:
            full = os.path.join(path, name)
            info = os.lstat(full)
            snapshot[os.path.relpath(full, folder)] = (info.st_size, info.st_mtime_ns,
                                                       info.st_ctime_ns, info.st_ino)
    return snapshot


def snapshot_changes(before, after):
    """The paths written, made or removed between two snapshots, and the
    bytes of the files written or made."""
    changed = sorted(p for p in set(before) | set(after) if before.get(p) != after.get(p))
    return changed, sum(after[p][0] for p in changed if p in after)


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


def check_tree_console(path, animations, source, output):
    """None when a run printed the counts of the corpus and of what it wrote."""
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
    bytes_out = sum(os.path.getsize(os.path.join(output, "autocropped", rel, stem, name))
                    for (rel, stem), names in written_animations(output).items()
                    for name in names)
    wanted = (len(animations), frames, bytes_in, bytes_out)
    if tuple(int(v) for v in done[0].groups()) != wanted:
        return "\"%s\", expected %d animations, %d frames, %d bytes in, %d bytes out" % (
            (done[0].group(0),) + wanted)
    if "All done!" not in lines:
        return "no line \"All done!\""
    return None


def prepare_tree(build, scratch, source):
    """Enumerates the tree's animations, gathers them for the shell loop
    (not timed, see measure_tree) and probes the build."""
    animations, folders = tree_animations(source)
    for line in describe_tree(source, animations, folders):
        log("corpus %s, %s" % (TREE, line))
    gathered = os.path.join(scratch, "out", "tree-gathered")
    os.makedirs(os.path.dirname(gathered), exist_ok=True)
    gather = run(["/bin/sh", TREE_LOOP_SCRIPT, "gather", source, gathered])
    wanted = {key: sorted(names) for key, names in animations.items()}
    mismatch = differ_animations(wanted, gathered_animations(gathered))
    if mismatch is not None:
        raise RuntimeError("tree_loop.sh gather disagrees with bench.py's stems: " + mismatch)
    log("corpus %s: tree_loop.sh gather linked the %d animations into folders of their own in "
        "%.2f s (not timed with the loop)" % (TREE, len(animations), gather[0]))
    tree, incremental, sheet = tree_support(build, scratch, source, animations)
    floor_list = None
    if tree is not None:
        log("corpus %s: -tree -split stem not supported by this build (%s): its runs, with "
            "-jobs 2, -optimize and -incremental, and the floor's, are skipped" % (TREE, tree))
    else:
        floor_list = tree_floor_list(build, scratch, source)
        if incremental is not None:
            log("corpus %s: -incremental not supported by this build (%s): its runs are "
                "skipped" % (TREE, incremental))
    contenders = [TREE_LOOP]
    if tree is None:
        contenders += [TREE_RUN, TREE_JOBS2, TREE_FLOOR, TREE_OPT]
    if incremental is None:
        contenders += [TREE_FIRST, TREE_RERUN]
    if sheet is not None:
        log("corpus %s: -sheet not supported by this build (%s): its runs are skipped" % (
            TREE, sheet))
    else:
        contenders += TREE_SHEETS
    return {"animations": animations, "gathered": gathered, "gather": gather,
            "floor list": floor_list, "contenders": contenders, "tree unsupported": tree,
            "incremental unsupported": incremental, "sheet unsupported": sheet}


def tree_bytes(folder, top="autocropped"):
    """The bytes of the out_*.png frames of a -tree -split stem output folder
    (see written_animations)."""
    return sum(os.path.getsize(os.path.join(folder, top, rel, stem, name))
               for (rel, stem), names in written_animations(folder, top).items()
               for name in names)


def frames_of(folder, top="autocropped"):
    """The folder of an animation's frames in a -tree -split stem output
    folder (see written_animations), as a function of its folder and stem."""
    return lambda rel, stem: os.path.join(folder, top, rel, stem)


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


def measure_tree(args, build, scratch, source, tree, earlier):
    """The shell loop (tree_loop.sh crop), the floor and the -tree runs in
    turns, a warm-up round and args.runs timed ones, then once the default
    followed by optipng. The loop's gathering of each animation's frames
    into a folder of links is left out of its time: it is a one-off step
    that a user with a folder per animation does not need, and without it
    the loop is only faster. earlier: the earlier build's runs (run_before)."""
    animations, contenders = tree["animations"], tree["contenders"]
    samples = {c: [] for c in contenders}
    rerun_changes = []
    for round_index in range(args.runs + 1):
        for contender in contenders:
            folder = tree_output(scratch, contender, round_index)
            if contender != TREE_RERUN:
                os.makedirs(folder)
            os.sync()
            snapshot = file_snapshot(folder) if contender == TREE_RERUN else None
            sample = run_to_file(tree_command(build, source, tree, folder, contender),
                                 tree_log(scratch, contender, round_index))
            if snapshot is not None:
                rerun_changes.append(snapshot_changes(snapshot, file_snapshot(folder)))
            if round_index > 0:
                samples[contender].append(sample)
        log("corpus %s: round %d of %d done (%s)" % (
            TREE, round_index, args.runs, "warm-up" if round_index == 0 else
            ", ".join("%s %.2fs" % (SHORT[c], samples[c][-1][0]) for c in contenders)))

    last = args.runs
    checks, notes = {}, {}
    loop_out = tree_output(scratch, TREE_LOOP, last)
    loop_written = {}
    for key in animations:
        folder = os.path.join(loop_out, key[0], key[1], "autocropped")
        loop_written[key] = sorted(n for n in os.listdir(folder) if n.endswith(".png")) \
            if os.path.isdir(folder) else []
    checks["loop"] = differ_animations(expected_outputs(animations), loop_written)
    sizes = {TREE_LOOP: sum(os.path.getsize(os.path.join(loop_out, rel, stem, "autocropped", n))
                            for (rel, stem), names in loop_written.items() for n in names)}
    if TREE_RUN in contenders:
        run_out = tree_output(scratch, TREE_RUN, last)
        checks["layout"] = differ_animations(expected_outputs(animations),
                                             written_animations(run_out))
        if checks["layout"] is None:
            checks["pixels"] = differing_frames(
                animations, lambda rel, stem: os.path.join(loop_out, rel, stem, "autocropped"),
                frames_of(run_out))
        checks["console"] = check_tree_console(tree_log(scratch, TREE_RUN, last), animations,
                                               source, run_out)
        j2_out = tree_output(scratch, TREE_JOBS2, last)
        checks["jobs 2"] = compare_frame_trees(run_out, j2_out)
        if checks["jobs 2"] is None:
            def text(contender):
                with open(tree_log(scratch, contender, last), "rb") as f:
                    return f.read().replace(tree_output(scratch, contender, last).encode(), b"<out>")
            if text(TREE_RUN) != text(TREE_JOBS2):
                checks["jobs 2"] = "console output differs"
        for contender in (TREE_RUN, TREE_JOBS2, TREE_OPT):
            sizes[contender] = tree_bytes(tree_output(scratch, contender, last))

        opt_out = tree_output(scratch, TREE_OPT, last)
        problems = [no_larger(frames_of(run_out)(rel, stem), frames_of(opt_out)(rel, stem))
                    for rel, stem in animations]
        problems = [p for p in problems if p is not None]
        if problems:
            checks["optimize sizes"] = "in %d animations, the first: %s" % (len(problems),
                                                                           problems[0])
        # The frames of the earlier build's default run are the pixels; -jobs 2
        # and -incremental are checked against the one-thread run's bytes.
        for contender in (TREE_RUN, TREE_OPT):
            checks[before(contender)] = differing_frames(
                animations, frames_of(earlier[TREE_RUN][0]),
                frames_of(tree_output(scratch, contender, last)))
        floor_out = tree_output(scratch, TREE_FLOOR, last)
        checks["floor layout"] = differ_animations(expected_outputs(animations),
                                                   written_animations(floor_out, ""))
        sizes[TREE_FLOOR] = tree_bytes(floor_out, "")
        # FreeImage's decoder alone applies a gAMA chunk: a note, not a target.
        notes["floor pixels"] = differing_frames(animations, frames_of(run_out),
                                                frames_of(floor_out, ""))

        # Once, after the rounds (see TREE_OPTIPNG).
        folder = output_folder(scratch, TREE, TREE_OPTIPNG, last)
        os.makedirs(folder)
        os.sync()
        samples[TREE_OPTIPNG] = [tool_then_optipng(tree_command(build, source, tree, folder,
                                                                TREE_RUN), folder, folder + ".log")]
        sizes[TREE_OPTIPNG] = tree_bytes(folder)
        log("corpus %s: %s took %.2f s once" % (TREE, TREE_OPTIPNG, samples[TREE_OPTIPNG][0][0]))
    for contender, (folder, sample) in earlier.items():
        samples[before(contender)] = [sample]
        sizes[before(contender)] = tree_bytes(folder)
    if TREE_FIRST in contenders:
        first_out = tree_output(scratch, TREE_FIRST, last)
        if TREE_RUN in contenders:
            checks["incremental"] = compare_frame_trees(
                os.path.join(tree_output(scratch, TREE_RUN, last), "autocropped"),
                os.path.join(first_out, "autocropped"), frames_only=True)
        written = [changes for changes in rerun_changes if changes[0]]
        if written:
            checks["rerun"] = "%d of %d reruns wrote, made or removed files, the first %s" % (
                len(written), len(rerun_changes), ", ".join(written[0][0][:3]))
        sizes[TREE_FIRST] = tree_bytes(first_out)
        sizes[TREE_RERUN] = max(changes[1] for changes in rerun_changes)
    if TREE_SHEET in contenders:
        folders = {rel for rel, _ in animations}
        for contender in (TREE_SHEET, TREE_SHEET_OPT):
            out = tree_output(scratch, contender, last)
            sheets = sheet_files(out)
            sizes[contender] = sum(sheets.values())
            missing = [rel for rel in sorted(folders)
                       if not os.path.isfile(os.path.join(out, "autocropped", rel, "sheet.json"))]
            if missing:
                checks["sheets " + contender] = "%d folders without sheet.json, the first %s" % (
                    len(missing), missing[0])
        sizes["sheet png " + TREE_SHEET_OPT] = sum(
            size for path, size in sheet_files(tree_output(scratch, TREE_SHEET_OPT, last)).items()
            if path.endswith(".png"))
    return {"samples": samples, "checks": checks, "sizes": sizes, "notes": notes}


def sheet_files(output):
    """The sheet.png, sheet.json, sheet-N.png and sheet-N.json files under
    <output>/autocropped, by path."""
    found = {}
    for folder, _, names in os.walk(os.path.join(output, "autocropped")):
        for name in names:
            if re.fullmatch(r"sheet(-[0-9]+)?\.(png|json)", name):
                path = os.path.join(folder, name)
                found[path] = os.path.getsize(path)
    return found


def tree_table(tree, med, peak):
    """The rows of corpus TREE: each contender's median against the loop's,
    the floor's and the one -tree run's, then the runs made once."""
    samples, sizes = tree["samples"], tree["sizes"]
    label = LABELS[TREE]
    loop = med(samples[TREE_LOOP], 0)
    one = med(samples[TREE_RUN], 0) if TREE_RUN in samples else None
    floor = med(samples[TREE_FLOOR], 0) if TREE_FLOOR in samples else None
    lines = ["| corpus | program | median s | ratio to loop | ratio to floor "
             "| ratio to one -tree run | user CPU s | system CPU s | peak RSS MiB "
             "| bytes written |",
             "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|"]
    once = [TREE_OPTIPNG] + [before(contender) for contender in (TREE_RUN, TREE_OPT)]
    for contender in TREE_CONTENDERS + once:
        if contender not in samples:
            lines.append("| %s | %s | not supported by this build | | | | | | | |" % (
                label, contender))
            continue
        s = samples[contender]
        lines.append("| %s | %s | %.3f | %.3f | %s | %s | %.3f | %.3f | %.1f | %d |" % (
            label, contender + (" (one run)" if contender in once else ""), med(s, 0),
            med(s, 0) / loop, "%.3f" % (med(s, 0) / floor) if floor else "",
            "%.3f" % (med(s, 0) / one) if one else "", med(s, 1), med(s, 2), peak(s) / MIB,
            sizes[contender]))
    animations = len(tree["animations"])
    lines.append("")
    lines.append("The loop (bench/tree_loop.sh crop) runs velmoraReelCut %d times, %.1f ms an "
                 "animation; tree_loop.sh gather, not timed with it, took %.2f s once." % (
                     animations, 1000 * loop / animations, tree["gather"][0]))
    return lines


def tree_targets(tree, verdict, med, cpu):
    samples, checks = tree["samples"], tree["checks"]
    label = LABELS[TREE]

    def check(name, text):
        verdict(checks.get(name) is None, "%s: %s%s" % (
            label, text, "" if checks.get(name) is None else " (" + checks[name] + ")"))

    check("loop", "the shell loop wrote out_NNNNN.png for every frame of every animation")
    if TREE_RUN not in samples:
        log("  skipped  %s: -tree -split stem and -jobs 2 (not supported by this build: %s)" % (
            label, tree["tree unsupported"]))
    else:
        loop, one, jobs2 = (med(samples[c], 0) for c in (TREE_LOOP, TREE_RUN, TREE_JOBS2))
        check("layout", "-tree -split stem writes autocropped/<folder>/<stem>/out_NNNNN.png for "
              "every animation of bench.py's stems, and nothing else")
        check("pixels", "every animation's frames equal its single run's in the loop, pixel for "
              "pixel, decoded as RGBA")
        check("console", "-tree -split stem prints the corpus's animations, frames and bytes")
        check("jobs 2", "-jobs 2 writes the one-thread run's files and console output byte for "
              "byte")
        verdict(one <= 0.5 * loop, "%s: one -tree -split stem run takes %.3f x the shell loop's "
                "time (at most 0.5; CPU time %.3f x)" % (label, one / loop,
                                                          cpu(samples[TREE_RUN]) /
                                                          cpu(samples[TREE_LOOP])))
        verdict(jobs2 <= 0.6 * one, "%s: -jobs 2 takes %.3f x the one-thread run's time (at most "
                "0.6; CPU time %.3f x)" % (label, jobs2 / one,
                                            cpu(samples[TREE_JOBS2]) / cpu(samples[TREE_RUN])))
        tree_floor_targets(tree, verdict, med, cpu, check)
    if TREE_FIRST not in samples:
        log("  skipped  %s: -incremental (not supported by this build: %s)" % (
            label, tree["incremental unsupported"] or tree["tree unsupported"]))
    else:
        first, rerun = med(samples[TREE_FIRST], 0), med(samples[TREE_RERUN], 0)
        if TREE_RUN in samples:
            check("incremental", "the first -incremental run writes the frames of the run "
                  "without it byte for byte")
        check("rerun", "the -incremental rerun over the unchanged tree writes, makes and "
              "removes nothing")
        verdict(rerun <= 0.1 * first, "%s: the unchanged -incremental rerun takes %.3f x the "
                "first run's time (at most 0.1)" % (label, rerun / first))
    if TREE_SHEET not in samples:
        log("  skipped  %s: -sheet (not supported by this build: %s)" % (
            label, tree["sheet unsupported"]))
    else:
        sizes = tree["sizes"]
        for contender in (TREE_SHEET, TREE_SHEET_OPT):
            check("sheets " + contender, "%s writes a sheet.json and its pages for every folder "
                  "of frames" % contender)
        sheet, loose = med(samples[TREE_SHEET], 0), med(samples[TREE_RUN], 0)
        verdict(sheet <= 1.3 * loose, "%s: a -sheet run takes %.3f x the loose run's time (at "
                "most 1.3; CPU time %.3f x)" % (label, sheet / loose, cpu(samples[TREE_SHEET]) /
                                               cpu(samples[TREE_RUN])))
        ratio = sizes[TREE_SHEET_OPT] / sizes[TREE_OPT]
        verdict(ratio <= 0.8, "%s: the -optimize sheets (pages and JSON) hold %.3f x the bytes of "
                "the loose -optimize frames (at most 0.8; the pages alone %.3f x)" % (
                    label, ratio, sizes["sheet png " + TREE_SHEET_OPT] / sizes[TREE_OPT]))


def tree_floor_targets(tree, verdict, med, cpu, check):
    """The tree's targets against the floor, the earlier build and optipng:
    the one-thread run's time and bytes, -optimize's time and bytes, and the
    pixels of both."""
    samples, sizes = tree["samples"], tree["sizes"]
    label = LABELS[TREE]
    floor, one, optimized = (med(samples[c], 0) for c in (TREE_FLOOR, TREE_RUN, TREE_OPT))
    check("floor layout", "the floor wrote <folder>/<stem>/out_NNNNN.png for every frame of every "
          "animation")
    if tree["notes"]["floor pixels"] is not None:
        log("           (note: the floor's output differs from -tree -split stem's: %s)" % (
            tree["notes"]["floor pixels"]))
    for contender in (TREE_RUN, TREE_OPT):
        check(before(contender), "every frame of %s decodes to the pixels (RGBA) of %s's frames" % (
            contender, before(TREE_RUN)))
    verdict(one <= FLOOR_TIME * floor, "%s: one -tree -split stem run takes %.3f x the FreeImage "
            "floor's time over the same animations (at most %.2f; CPU time %.3f x)" % (
                label, one / floor, FLOOR_TIME, cpu(samples[TREE_RUN]) / cpu(samples[TREE_FLOOR])))
    verdict(sizes[TREE_RUN] <= FLOOR_BYTES * sizes[TREE_FLOOR], "%s: -tree -split stem writes %.3f "
            "x the bytes of FreeImage's default encoding, the floor's (%d against %d; at most "
            "%.2f)" % (label, sizes[TREE_RUN] / sizes[TREE_FLOOR], sizes[TREE_RUN],
                       sizes[TREE_FLOOR], FLOOR_BYTES))
    check("optimize sizes", "-optimize writes no frame larger than the default")
    verdict(optimized <= OPTIMIZE_FLOOR_TIME * floor, "%s: -tree -split stem -optimize takes "
            "%.3f x the FreeImage floor's time (at most %d; %.3f x the default's, CPU time %.3f x "
            "the floor's)" % (label, optimized / floor, OPTIMIZE_FLOOR_TIME, optimized / one,
                          cpu(samples[TREE_OPT]) / cpu(samples[TREE_FLOOR])))
    earlier = sizes[before(TREE_OPT)]
    verdict(sizes[TREE_OPT] <= BEFORE_OPTIMIZE_BYTES * earlier, "%s: -optimize writes %.3f x the "
            "bytes of %s (%d against %d; at most %.2f)" % (
                label, sizes[TREE_OPT] / earlier, before(TREE_OPT), sizes[TREE_OPT], earlier,
                BEFORE_OPTIMIZE_BYTES))
    optipng = med(samples[TREE_OPTIPNG], 0)
    verdict(optimized < optipng, "%s: -optimize is faster than %s (%.2f x the time of its one "
            "run)" % (label, TREE_OPTIPNG, optimized / optipng))
    verdict(sizes[TREE_OPT] < sizes[TREE_OPTIPNG], "%s: -optimize writes fewer bytes than %s (%d "
            "against %d, %.3f x)" % (label, TREE_OPTIPNG, sizes[TREE_OPT], sizes[TREE_OPTIPNG],
                                     sizes[TREE_OPT] / sizes[TREE_OPTIPNG]))


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        total = int(f.readline().split()[1]) * 1024
    try:
        with open("/etc/debian_version") as f:
            debian = "Debian " + f.read().strip()
    except OSError:
        debian = "not Debian"
    return "%d cores (nproc, %d usable), CPU \"%s\", %.1f GiB RAM, %s, %s" % (
        os.cpu_count(), len(os.sched_getaffinity(0)), model, total / 1024 ** 3, debian,
        platform.platform())


def versions():
    from PIL import __version__ as pillow
    magick = subprocess.run([CONVERT, "-version"], capture_output=True, text=True).stdout.split("\n")[0]
    optipng = subprocess.run(["optipng", "-v"], capture_output=True, text=True).stdout.split("\n")[0]
    freeimage = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", "libfreeimage3"],
                               capture_output=True, text=True).stdout.strip() or "unknown"
    return "FreeImage (libfreeimage3) %s, Pillow %s, %s, %s, Python %s" % (
        freeimage, pillow, magick.replace("Version: ", ""), optipng, platform.python_version())


def decoded_bytes(corpus):
    if corpus == REAL:
        return REAL_SIZE[0] * REAL_SIZE[1] * 4
    for name, _, width, height, _ in CORPORA:
        if corpus.startswith(name):
            return width * height * 4
    raise KeyError(corpus)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--before", required=True,
                        help="the build folder of an earlier commit, today's tool for the targets")
    parser.add_argument("--before-commit", required=True, help="that commit, for the names")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--scratch", default=os.path.join(os.environ.get("TMPDIR", "/tmp"),
                                                          "velmora-bench"))
    parser.add_argument("--corpora", default="a,b,c,c2,r,tree")
    parser.add_argument("--nice", type=int, default=0,
                        help="run at this nice value (below 0 needs root): on a shared machine it "
                             "keeps other work from taking the cores in the middle of a run")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    scratch = os.path.abspath(args.scratch)
    global SCRATCH, BEFORE_COMMIT
    SCRATCH = scratch
    BEFORE_COMMIT = args.before_commit
    os.makedirs(scratch, exist_ok=True)

    group_nice = None
    if args.nice:
        os.nice(args.nice)
        group_nice = set_autogroup_nice(args.nice)
    try:
        return measure(args, build, scratch, group_nice)
    finally:
        if group_nice is not None:
            set_autogroup_nice(group_nice)


def measure(args, build, scratch, group_nice):
    if group_nice is not None:
        log("this session's scheduler autogroup runs at nice %d too (was %d)" % (args.nice, group_nice))
    log("machine: " + machine())
    log("versions: " + versions())
    log("load average at start: %.2f %.2f %.2f; nice %d" % (os.getloadavg() + (os.nice(0),)))
    remove_tree(os.path.join(scratch, "out"))  # left by an interrupted run
    chosen = args.corpora.split(",")
    known = [name for name, *_ in CORPORA] + [SCALED, REAL, TREE]
    unknown = [corpus for corpus in chosen if corpus not in known]
    if unknown:
        log("bench.py: unknown corpus %s (known: %s)" % (", ".join(unknown), ",".join(known)))
        return 2
    sources = make_corpora(build, scratch, chosen)
    tree = prepare_tree(build, scratch, sources[TREE]) if TREE in chosen else None
    earlier = run_before(os.path.abspath(args.before), scratch, sources, chosen)
    wait_for_inode_reuse()

    results = {}
    started = time.perf_counter()
    # Corpus c and its doubled copy run in the same rounds, so that the scaling
    # ratio compares runs made side by side.
    for group in (["a"], ["b"], ["c", SCALED], [REAL]):
        group = [corpus for corpus in group if corpus in chosen]
        rects = {corpus: reference_rect(scratch, corpus, sources[corpus]) for corpus in group}
        samples = {corpus: {c: [] for c in CONTENDERS} for corpus in group}
        for round_index in range(args.runs + 1):
            for contender in CONTENDERS:
                for corpus in group:
                    folder = output_folder(scratch, corpus, contender, round_index)
                    os.makedirs(folder)
                    # The writeback of the last run's files is done here, not
                    # inside the next timed run.
                    os.sync()
                    commands = contender_commands(build, sources[corpus], folder, rects[corpus])
                    sample = commands[contender]()
                    if round_index > 0:
                        samples[corpus][contender].append(sample)
            for corpus in group:
                log("corpus %s: round %d of %d done (%s)" % (
                    corpus, round_index, args.runs,
                    "warm-up" if round_index == 0 else
                    ", ".join("%s %.2fs" % (SHORT[c], samples[corpus][c][-1][0])
                              for c in CONTENDERS)))
        for corpus in group:
            checks = {
                contender: compare_outputs(
                    written_folder(scratch, corpus, "Pillow script", args.runs),
                    written_folder(scratch, corpus, contender, args.runs))
                for contender in CONTENDERS if contender != "Pillow script"
            }
            # The threaded runs against the one-thread run of the same round:
            # the same files byte for byte, the same console output.
            for contender in list(TOOL_JOBS) + [PREVIEW]:
                checks[contender + " bytes"] = (
                    compare_bytes(written_folder(scratch, corpus, TOOL, args.runs),
                                  written_folder(scratch, corpus, contender, args.runs))
                    or compare_console(scratch, corpus, contender, args.runs))
            # -optimize against the default: the same pixels, as RGBA, and no
            # frame larger.
            default = written_folder(scratch, corpus, TOOL, args.runs)
            optimized = written_folder(scratch, corpus, OPTIMIZE, args.runs)
            checks[OPTIMIZE + " pixels"] = compare_outputs(default, optimized)
            checks[OPTIMIZE + " sizes"] = no_larger(default, optimized)
            # Every frame the tool wrote against the earlier build's default.
            earlier_frames = os.path.join(earlier[corpus][TOOL][0], "autocropped")
            for contender in TOOLS:
                if contender != OPTIPNG:
                    checks[before(contender)] = compare_outputs(
                        earlier_frames, written_folder(scratch, corpus, contender, args.runs))
            sizes = {contender: sum(png_sizes(written_folder(scratch, corpus, contender,
                                                             args.runs)).values())
                     for contender in CONTENDERS}
            sizes[before(TOOL)] = sum(png_sizes(earlier_frames).values())
            if corpus == REAL:
                sizes["sources"] = sum(png_sizes(sources[corpus]).values())
                sizes["ImageMagick re-encoding"] = imagemagick_reencoded(scratch, corpus, default)
            samples[corpus][before(TOOL)] = [earlier[corpus][TOOL][1]]
            results[corpus] = (samples[corpus], checks, rects[corpus], sizes)
            for contender in TOOLS:
                if checks[contender] is not None:
                    log("MISMATCH: %s's output on corpus %s differs from Pillow's: %s" % (
                        contender, corpus, checks[contender]))
    if tree is not None:
        tree.update(measure_tree(args, build, scratch, sources[TREE], tree, earlier[TREE]))
    elapsed = time.perf_counter() - started
    remove_tree(os.path.join(scratch, "out"))

    def med(samples, i):
        return statistics.median(s[i] for s in samples)

    def peak(samples):
        return max(s[3] for s in samples)

    def cpu(samples):
        return statistics.median(s[1] + s[2] for s in samples)

    lines = []
    lines.append("| corpus | program | median s | ratio to floor | ratio to tool | user CPU s "
                 "| system CPU s | peak RSS MiB | output bytes | bytes to tool's "
                 "| bytes to floor's |")
    lines.append("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for corpus in [c for c in chosen if c in results]:
        samples, _, _, sizes = results[corpus]
        tool = med(samples[TOOL], 0)
        floor = med(samples[FLOOR], 0)
        for contender in CONTENDERS + [before(TOOL)]:
            s = samples[contender]
            lines.append("| %s | %s | %.3f | %.2f | %.2f | %.3f | %.3f | %.1f | %d | %.3f | %.3f |"
                         % (LABELS[corpus], contender if contender in CONTENDERS else
                            contender + " (one run, before the rounds)", med(s, 0),
                            med(s, 0) / floor, med(s, 0) / tool, med(s, 1), med(s, 2),
                            peak(s) / MIB, sizes[contender], sizes[contender] / sizes[TOOL],
                            sizes[contender] / sizes[FLOOR]))
        for other in ("ImageMagick re-encoding", "sources"):
            if other in sizes:
                lines.append("| %s | (%s) | | | | | | | %d | %.3f | %.3f |" % (
                    LABELS[corpus], other, sizes[other], sizes[other] / sizes[TOOL],
                    sizes[other] / sizes[FLOOR]))
    log("")
    log("Medians of %d runs after a warm-up, programs alternating (%.0f s in all)." % (
        args.runs, elapsed))
    if results:
        log("\n".join(lines))
    if tree is not None:
        log("")
        log("\n".join(tree_table(tree, med, peak)))

    log("")
    if "c" in results and SCALED in results:
        parts = []
        for contender in CONTENDERS:
            small, big = results["c"][0][contender], results[SCALED][0][contender]
            parts.append("%s x%.2f time (x%.2f user CPU), RSS %.1f -> %.1f MiB" % (
                contender, med(big, 0) / med(small, 0), med(big, 1) / med(small, 1), peak(small) / MIB,
                peak(big) / MIB))
        log("Scaling, 600 -> 1200 frames of 320x240: " + "; ".join(parts) + ".")

    log("")
    log("Targets:")
    verdicts = []

    def verdict(ok, text):
        verdicts.append(ok)
        log("  %s  %s" % ("met    " if ok else "NOT MET", text))

    for corpus in [c for c in chosen if c in results]:
        samples, checks, rect, sizes = results[corpus]
        tool = med(samples[TOOL], 0)
        rss = peak(samples[TOOL])
        for contender in TOOLS:
            verdict(checks[contender] is None, "%s: %s output equals the Pillow script's pixel for "
                    "pixel%s" % (LABELS[corpus], contender, "" if checks[contender] is None
                                 else " (" + checks[contender] + ")"))
        for contender in TOOLS:
            if contender == OPTIPNG:
                continue
            check = checks[before(contender)]
            verdict(check is None, "%s: every frame of %s decodes to the pixels (RGBA) of %s's "
                    "frames%s" % (LABELS[corpus], contender, before(TOOL),
                                  "" if check is None else " (" + check + ")"))
        for contender in TOOL_JOBS:
            check = checks[contender + " bytes"]
            verdict(check is None, "%s: %s writes the one-thread run's files and console output "
                    "byte for byte%s" % (LABELS[corpus], contender,
                                         "" if check is None else " (" + check + ")"))
        floor = med(samples[FLOOR], 0)
        most = FLOOR_TIME if corpus in FLOOR_TIME_CORPORA else 1.05
        verdict(tool <= most * floor, "%s: the one-thread tool takes %.3f x the FreeImage floor's "
                "time (at most %.2f; in CPU time %.3f x)" % (
                    LABELS[corpus], tool / floor, most, cpu(samples[TOOL]) / cpu(samples[FLOOR])))
        verdict(sizes[TOOL] <= FLOOR_BYTES * sizes[FLOOR], "%s: the one-thread tool writes %.3f x "
                "the bytes of FreeImage's default encoding, the floor's (%d against %d; at most "
                "%.2f)" % (LABELS[corpus], sizes[TOOL] / sizes[FLOOR], sizes[TOOL], sizes[FLOOR],
                           FLOOR_BYTES))
        jobs2 = samples["velmoraReelCut -jobs 2"]
        text = "%s: -jobs 2 takes %.3f x the FreeImage floor's wall time (%s; %.3f x the one-thread " \
               "run's, CPU time %.3f x)" % (LABELS[corpus], med(jobs2, 0) / floor,
                                            "%s", med(jobs2, 0) / tool, cpu(jobs2) / cpu(samples[TOOL]))
        if corpus in ("a", "b", "c"):
            verdict(med(jobs2, 0) <= 0.60 * floor, text % "at most 0.60")
        else:
            log("  (info)   " + text % "no target on this corpus")
        jobs2_bound = 2 * rss + 16 * MIB
        verdict(peak(jobs2) <= jobs2_bound, "%s: -jobs 2 peak RSS %.1f MiB, bound twice the "
                "one-thread peak + 16 MiB = %.1f MiB" % (LABELS[corpus], peak(jobs2) / MIB,
                                                         jobs2_bound / MIB))
        for other, slower in SLOWER.items():
            ratio = med(samples[other], 0) / tool
            verdict(ratio >= slower, "%s: the %s takes %.2f x the one-thread tool's time (at "
                    "least %.1f)" % (LABELS[corpus], other, ratio, slower))
        bound = 2 * decoded_bytes(corpus) + 16 * MIB
        verdict(rss <= bound, "%s: peak RSS %.1f MiB, bound two decoded frames + 16 MiB = %.1f MiB" % (
            LABELS[corpus], rss / MIB, bound / MIB))
        check = checks[PREVIEW + " bytes"]
        verdict(check is None, "%s: -preview writes the default run's frames and console output "
                "byte for byte%s" % (LABELS[corpus], "" if check is None else " (" + check + ")"))
        preview = med(samples[PREVIEW], 0)
        verdict(preview <= 1.10 * tool, "%s: -preview takes %.3f x the run without it (at most "
                "1.10; CPU time %.3f x)" % (LABELS[corpus], preview / tool,
                                             cpu(samples[PREVIEW]) / cpu(samples[TOOL])))
        check = checks[OPTIMIZE + " pixels"]
        verdict(check is None, "%s: every -optimize frame equals the default's pixel for pixel, "
                "decoded as RGBA%s" % (LABELS[corpus], "" if check is None else " (" + check + ")"))
        check = checks[OPTIMIZE + " sizes"]
        verdict(check is None and sizes[OPTIMIZE] <= sizes[TOOL],
                "%s: -optimize writes no frame larger than the default (%d against %d bytes, "
                "%.3f x)%s" % (LABELS[corpus], sizes[OPTIMIZE], sizes[TOOL],
                               sizes[OPTIMIZE] / sizes[TOOL], "" if check is None else " (" + check + ")"))
        optimized = med(samples[OPTIMIZE], 0)
        verdict(optimized <= OPTIMIZE_FLOOR_TIME * floor, "%s: -optimize takes %.3f x the "
                "FreeImage floor's time (at most %d; %.3f x the default's, CPU time %.3f x the "
                "floor's)" % (
                    LABELS[corpus], optimized / floor, OPTIMIZE_FLOOR_TIME, optimized / tool,
                    cpu(samples[OPTIMIZE]) / cpu(samples[FLOOR])))
        optipng = med(samples[OPTIPNG], 0)
        verdict(optimized < optipng, "%s: -optimize is faster than the default + optipng -o2 "
                "-strip all (%.2f x its time)" % (LABELS[corpus], optimized / optipng))
        verdict(sizes[OPTIMIZE] < sizes[OPTIPNG], "%s: -optimize writes fewer bytes than the "
                "default + optipng -o2 -strip all (%d against %d, %.3f x)" % (
                    LABELS[corpus], sizes[OPTIMIZE], sizes[OPTIPNG],
                    sizes[OPTIMIZE] / sizes[OPTIPNG]))
        for other in ("ImageMagick re-encoding", "sources"):
            if other in sizes:
                verdict(sizes[OPTIMIZE] < sizes[other], "%s: -optimize writes fewer bytes than the "
                        "%s (%d against %d, %.3f x)" % (LABELS[corpus], other, sizes[OPTIMIZE],
                                                        sizes[other], sizes[OPTIMIZE] / sizes[other]))
        for other in ("FreeImage floor", "ImageMagick recipe"):
            if checks[other] is not None:
                log("           (note: %s output differs from Pillow's: %s)" % (other, checks[other]))
    if "b" in results:
        samples = results["b"][0]
        ratio = peak(samples["ImageMagick recipe"]) / peak(samples[TOOL])
        verdict(ratio >= 10, "%s: ImageMagick's peak RSS is %.1f x the tool's (at least 10)" % (
            LABELS["b"], ratio))
    if "c" in results and SCALED in results:
        small, big = results["c"][0][TOOL], results[SCALED][0][TOOL]
        ratio = med(big, 0) / med(small, 0)
        verdict(1.8 <= ratio <= 2.2, "scaling: 1200 frames take %.2f x the time of 600 (about 2; "
                "user CPU %.2f x)" % (ratio, med(big, 1) / med(small, 1)))
        small_rss, big_rss = peak(small), peak(big)
        verdict(big_rss <= small_rss + MIB, "scaling: peak RSS %.1f -> %.1f MiB (flat, within 1 MiB)" % (
            small_rss / MIB, big_rss / MIB))
    if tree is not None:
        tree_targets(tree, verdict, med, cpu)
    log("load average at end: %.2f %.2f %.2f" % os.getloadavg())
    return 0 if all(verdicts) else 1


if __name__ == "__main__":
    sys.exit(main())
