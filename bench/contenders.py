"""The contenders: their names (as the tables print them), the commands each
runs, where each run writes, and the runs of the earlier build.

On the frame corpora: the tool (one thread, -jobs 2, -jobs 0, -preview,
-optimize, and followed by optipng), the FreeImage floor, the Pillow script
and the ImageMagick recipe. On the tree corpus: the shell loop of one run
per animation, -tree -split stem with its options, and the floor over the
tree's animations (its list file is made in tree.py).
"""
import os
import platform
import subprocess
import sys
import time

from corpora import TREE, frame_names
from timing import added_up, log, run, run_to_file

HERE = os.path.dirname(os.path.abspath(__file__))
CONVERT = "/usr/bin/convert"  # a stand-in may shadow it on the PATH
TREE_LOOP_SCRIPT = os.path.join(HERE, "tree_loop.sh")

TOOL = "velmoraReelCut"
TOOL_JOBS = {"velmoraReelCut -jobs 2": "2", "velmoraReelCut -jobs 0": "0"}
OPTIMIZE = "velmoraReelCut -optimize"
OPTIPNG = "velmoraReelCut + optipng -o2 -strip all"
OPTIPNG_COMMAND = ["optipng", "-quiet", "-o2", "-strip", "all"]
# The one-thread run that also writes the coverage picture, beside its folder.
PREVIEW = "velmoraReelCut -preview"
TOOLS = [TOOL] + list(TOOL_JOBS) + [PREVIEW, OPTIMIZE, OPTIPNG]
FLOOR = "FreeImage floor"
PILLOW = "Pillow script"
IMAGEMAGICK = "ImageMagick recipe"
CONTENDERS = TOOLS + [FLOOR, PILLOW, IMAGEMAGICK]

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
# tool's, from its -report (tree.tree_floor_list), in a list file.
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

# Names for the output folders and the round lines.
SHORT = {
    TOOL: "tool",
    "velmoraReelCut -jobs 2": "tool-j2",
    "velmoraReelCut -jobs 0": "tool-j0",
    PREVIEW: "tool-preview",
    OPTIMIZE: "tool-opt",
    OPTIPNG: "tool-optipng",
    FLOOR: "floor",
    PILLOW: "pillow",
    IMAGEMAGICK: "imagemagick",
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
BEFORE_COMMIT = "before"  # set by bench.main() from --before-commit


def before(contender):
    """The name of the earlier build's run of the same contender."""
    return "%s at %s" % (contender, BEFORE_COMMIT)


BEFORE_RUNS = {
    TOOL: [],
    TREE_RUN: TREE_OPTIONS[TREE_RUN],
    TREE_OPT: TREE_OPTIONS[TREE_OPT],
}


def output_folder(scratch, corpus, contender, round_index):
    """A new folder for every run: the outputs are kept until the end."""
    return os.path.join(scratch, "out", "round%d" % round_index, corpus, SHORT[contender])


def written_folder(scratch, corpus, contender, round_index):
    folder = output_folder(scratch, corpus, contender, round_index)
    return os.path.join(folder, "autocropped") if contender in TOOLS else folder


def tree_output(scratch, contender, round_index):
    """The rerun goes over the first run's output; every other run has a new
    folder."""
    if contender == TREE_RERUN:
        contender = TREE_FIRST
    return output_folder(scratch, TREE, contender, round_index)


def tree_log(scratch, contender, round_index):
    return output_folder(scratch, TREE, contender, round_index) + ".log"


def reference_rect(scratch, corpus, source):
    """The widened rectangle by the Pillow script, for the floor program."""
    folder = os.path.join(scratch, "out", "reference", corpus)
    os.makedirs(folder)
    result = subprocess.run([sys.executable, os.path.join(HERE, "crop_pillow.py"), source, folder],
                            check=True, capture_output=True, text=True)
    return [int(v) for v in result.stdout.strip().split(",")]


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
    """Each contender's run on a frame corpus, as a function giving its
    sample."""
    tool = os.path.join(build, "velmoraReelCut")
    floor = os.path.join(build, "bench", "bench_floor")
    log_file = output + ".log"
    commands = {
        TOOL: lambda: run_to_file([tool, "-i", source, "-o", output], log_file),
        FLOOR: lambda: run([floor, source, output] + [str(v) for v in rect]),
        PILLOW: lambda: run_to_file(
            [sys.executable, os.path.join(HERE, "crop_pillow.py"), source, output], log_file),
        IMAGEMAGICK: lambda: imagemagick_recipe(source, output),
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


def tree_command(build, source, tree, output, contender):
    """A contender's run on the tree corpus; tree: what tree.prepare_tree
    made (the loop's gathered folders, the floor's list file)."""
    tool = os.path.join(build, "velmoraReelCut")
    if contender == TREE_LOOP:
        return ["/bin/sh", TREE_LOOP_SCRIPT, "crop", tool, tree["gathered"], output]
    if contender == TREE_FLOOR:
        return [os.path.join(build, "bench", "bench_floor"), "-tree", tree["floor list"], source,
                output]
    return [tool, "-i", source, "-o", output] + TREE_OPTIONS[contender]


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


def imagemagick_reencoded(scratch, corpus, reference):
    """The bytes of ImageMagick's encoding of every frame in reference, each
    by `convert out_NNNNN.png x.png`: the same pixels in its own PNG writer."""
    folder = os.path.join(scratch, "out", "reencoded", corpus)
    os.makedirs(folder)
    total = 0
    for name in sorted(n for n in os.listdir(reference) if n.endswith(".png")):
        target = os.path.join(folder, name)
        subprocess.run([CONVERT, os.path.join(reference, name), target], check=True)
        total += os.path.getsize(target)
    return total


def versions():
    from PIL import __version__ as pillow
    magick = subprocess.run([CONVERT, "-version"], capture_output=True, text=True).stdout.split("\n")[0]
    optipng = subprocess.run(["optipng", "-v"], capture_output=True, text=True).stdout.split("\n")[0]
    freeimage = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", "libfreeimage3"],
                               capture_output=True, text=True).stdout.strip() or "unknown"
    return "FreeImage (libfreeimage3) %s, Pillow %s, %s, %s, Python %s" % (
        freeimage, pillow, magick.replace("Version: ", ""), optipng, platform.python_version())
