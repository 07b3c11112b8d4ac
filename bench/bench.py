#!/usr/bin/python3
"""Benchmark driver: velmoraReelCut (one thread, -jobs 2, -jobs 0, -optimize,
and followed by optipng -o2) against an ImageMagick recipe, a Pillow script and
the FreeImage floor, on corpora made by tools/framegen and on the sprite frames
of a Debian game (REAL below).

Started by bench/run, which installs the packages and builds the programs:

    bench.py --build <build folder> [--runs N] [--scratch <folder>]

Every contender runs on every corpus in turns (A B C ... A B C ...), first one
untimed warm-up round, then N timed rounds. Wall time is taken around the child
process, CPU time (user + system) comes from the kernel through wait4, and the
peak resident memory from /usr/bin/time. The medians make the table, with the
bytes each contender wrote. Every run writes into a new, empty folder; all of
them are deleted at the end.
"""
import argparse
import glob
import os
import platform
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
LABELS = {
    "a": "(a) 60 x 640x480",
    "b": "(b) 30 x 1920x1080",
    "c": "(c) 600 x 320x240",
    "c2": "(c) doubled, 1200 x 320x240",
    "r": "(r) 394 x 80x60 sprites",
}
TOOL = "velmoraReelCut"
TOOL_JOBS = {"velmoraReelCut -jobs 2": "2", "velmoraReelCut -jobs 0": "0"}
OPTIMIZE = "velmoraReelCut -optimize"
OPTIPNG = "velmoraReelCut + optipng -o2"
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
}
MIB = 1024 * 1024
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


def make_real_corpus(scratch):
    """The REAL frames, copied into corpus/r; the package is downloaded and
    unpacked once, in the scratch folder. Gives the folder and the package's
    licence line from its copyright file."""
    folder = os.path.join(scratch, "corpus", REAL)
    stamp = os.path.join(folder, ".made")
    wanted = "%s %s %s\n" % (REAL_PACKAGE, REAL_VERSION, REAL_FRAMES)
    unpacked = os.path.join(scratch, "package", REAL_PACKAGE)
    if not (os.path.exists(stamp) and open(stamp).read() == wanted):
        log("fetching %s %s for corpus %s" % (REAL_PACKAGE, REAL_VERSION, REAL))
        download = os.path.join(scratch, "package")
        remove_tree(download)
        os.makedirs(download)
        # As root, apt's own download user may not enter the scratch folder.
        sandbox = ["-o", "APT::Sandbox::User=root"] if os.geteuid() == 0 else []
        subprocess.run(["apt-get", "download", "-qq"] + sandbox +
                       ["%s=%s" % (REAL_PACKAGE, REAL_VERSION)], cwd=download, check=True)
        deb = glob.glob(os.path.join(download, REAL_PACKAGE + "_*.deb"))[0]
        subprocess.run(["dpkg-deb", "-x", deb, unpacked], check=True)
        os.remove(deb)
        remove_tree(folder)
        os.makedirs(folder)
        for path in sorted(glob.glob(os.path.join(unpacked, REAL_FRAMES))):
            shutil.copyfile(path, os.path.join(folder, os.path.basename(path)))
        with open(stamp, "w") as f:
            f.write(wanted)
    licence = "unknown"
    with open(os.path.join(unpacked, "usr/share/doc", REAL_PACKAGE, "copyright")) as f:
        for line in f:
            if line.startswith("License:"):
                licence = line.split(":", 1)[1].strip()
                break
    return folder, licence


def make_corpora(build, scratch, chosen):
    framegen = os.path.join(build, "tools", "framegen")
    made = {}
    for name, frames, width, height, seed in CORPORA:
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
    source = made["c"]
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
    made[SCALED] = folder
    if REAL in chosen:
        made[REAL], licence = make_real_corpus(scratch)
        log("corpus %s: %d frames of %s %s (licence %s)" % (
            REAL, len(frame_names(made[REAL])), REAL_PACKAGE, REAL_VERSION, licence))
    return made


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
    return (first[0] + between + second[0], first[1] + second[1], first[2] + second[2],
            max(first[3], second[3]))


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
    commands[OPTIPNG] = lambda: tool_then_optipng(tool, source, output, log_file)
    return commands


def tool_then_optipng(tool, source, output, log_file):
    """The default output, then optipng -o2 over it as a user would run it:
    one command over all the frames. The times and CPU add up."""
    first = run_to_file([tool, "-i", source, "-o", output], log_file)
    frames = sorted(glob.glob(os.path.join(output, "autocropped", "*.png")))
    second = run(["optipng", "-quiet", "-o2"] + frames)
    return (first[0] + second[0], first[1] + second[1], first[2] + second[2],
            max(first[3], second[3]))


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
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--scratch", default=os.path.join(os.environ.get("TMPDIR", "/tmp"),
                                                          "velmora-bench"))
    parser.add_argument("--corpora", default="a,b,c,c2,r")
    parser.add_argument("--nice", type=int, default=0,
                        help="run at this nice value (below 0 needs root): on a shared machine it "
                             "keeps other work from taking the cores in the middle of a run")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    scratch = os.path.abspath(args.scratch)
    global SCRATCH
    SCRATCH = scratch
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
    sources = make_corpora(build, scratch, chosen)
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
            sizes = {contender: sum(png_sizes(written_folder(scratch, corpus, contender,
                                                             args.runs)).values())
                     for contender in CONTENDERS}
            if corpus == REAL:
                sizes["sources"] = sum(png_sizes(sources[corpus]).values())
                sizes["ImageMagick re-encoding"] = imagemagick_reencoded(scratch, corpus, default)
            results[corpus] = (samples[corpus], checks, rects[corpus], sizes)
            for contender in TOOLS:
                if checks[contender] is not None:
                    log("MISMATCH: %s's output on corpus %s differs from Pillow's: %s" % (
                        contender, corpus, checks[contender]))
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
                 "| system CPU s | peak RSS MiB | output bytes | bytes to tool's |")
    lines.append("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    for corpus in chosen:
        samples, _, _, sizes = results[corpus]
        tool = med(samples[TOOL], 0)
        floor = med(samples[FLOOR], 0)
        for contender in CONTENDERS:
            s = samples[contender]
            lines.append("| %s | %s | %.3f | %.2f | %.2f | %.3f | %.3f | %.1f | %d | %.3f |" % (
                LABELS[corpus], contender, med(s, 0), med(s, 0) / floor, med(s, 0) / tool,
                med(s, 1), med(s, 2), peak(s) / MIB, sizes[contender],
                sizes[contender] / sizes[TOOL]))
        for other in ("ImageMagick re-encoding", "sources"):
            if other in sizes:
                lines.append("| %s | (%s) | | | | | | | %d | %.3f |" % (
                    LABELS[corpus], other, sizes[other], sizes[other] / sizes[TOOL]))
    log("")
    log("Medians of %d runs after a warm-up, programs alternating (%.0f s in all)." % (
        args.runs, elapsed))
    log("\n".join(lines))

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

    for corpus in chosen:
        samples, checks, rect, sizes = results[corpus]
        tool = med(samples[TOOL], 0)
        rss = peak(samples[TOOL])
        for contender in TOOLS:
            verdict(checks[contender] is None, "%s: %s output equals the Pillow script's pixel for "
                    "pixel%s" % (LABELS[corpus], contender, "" if checks[contender] is None
                                 else " (" + checks[contender] + ")"))
        for contender in TOOL_JOBS:
            check = checks[contender + " bytes"]
            verdict(check is None, "%s: %s writes the one-thread run's files and console output "
                    "byte for byte%s" % (LABELS[corpus], contender,
                                         "" if check is None else " (" + check + ")"))
        floor = med(samples[FLOOR], 0)
        verdict(tool <= 1.05 * floor, "%s: %.3f x the FreeImage floor (at most 1.05; in CPU time %.3f x)" % (
            LABELS[corpus], tool / floor, cpu(samples[TOOL]) / cpu(samples[FLOOR])))
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
        for other in ("ImageMagick recipe", "Pillow script"):
            verdict(tool < med(samples[other], 0), "%s: faster than the %s (%.2f x its time)" % (
                LABELS[corpus], other, tool / med(samples[other], 0)))
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
        verdict(optimized <= 2 * tool, "%s: -optimize takes %.3f x the default's time (at most 2; "
                "CPU time %.3f x)" % (LABELS[corpus], optimized / tool,
                                      cpu(samples[OPTIMIZE]) / cpu(samples[TOOL])))
        optipng = med(samples[OPTIPNG], 0)
        verdict(optimized < optipng, "%s: -optimize is faster than the default + optipng -o2 (%.2f x "
                "its time, %.3f x its bytes)" % (LABELS[corpus], optimized / optipng,
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
    log("load average at end: %.2f %.2f %.2f" % os.getloadavg())
    return 0 if all(verdicts) else 1


if __name__ == "__main__":
    sys.exit(main())
