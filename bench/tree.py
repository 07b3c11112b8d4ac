"""The tree corpus: the model of what -tree -split stem makes of a tree (its
animations by folder and stem, the files each run should write, what a run
wrote), and its measurement: the preparation before the rounds (the shell
loop's folders, the floor's list file, the probe of what the build
supports), the rounds, and the checks and sizes after them.
"""
import json
import os
import re
import shutil
import subprocess

from checks import (check_tree_console, compare_frame_trees, differ_animations, differing_frames,
                    no_larger)
from contenders import (SHORT, TREE_FIRST, TREE_FLOOR, TREE_JOBS2, TREE_LOOP, TREE_LOOP_SCRIPT,
                        TREE_OPT, TREE_OPTIONS, TREE_OPTIPNG, TREE_RERUN, TREE_RUN, TREE_SHEET,
                        TREE_SHEET_OPT, TREE_SHEETS, before, output_folder, tool_then_optipng,
                        tree_command, tree_log, tree_output)
from corpora import TREE, TREE_PACKAGES
from crop_pillow import name_order
from timing import log, run, run_to_file

UNKNOWN_OPTION = 'Warning, unknown option "%s" is ignored.'


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


def tree_support(build, scratch, corpus, animations):
    """Whether this build has -tree -split stem, and -incremental and -sheet
    with it: a reason for each that it lacks (None for what it has), from
    runs over a small tree of the corpus's frames: one animation of two
    frames two folders down, one of one frame a folder down."""
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


def measure_tree(args, build, scratch, source, tree, earlier):
    """The shell loop (tree_loop.sh crop), the floor and the -tree runs in
    turns, a warm-up round and args.runs timed ones, then once the default
    followed by optipng. The loop's gathering of each animation's frames
    into a folder of links is left out of its time: it is a one-off step
    that a user with a folder per animation does not need, and without it
    the loop is only faster. earlier: the earlier build's runs
    (contenders.run_before). The checks and sizes are those of the last
    round's outputs."""
    animations, contenders = tree["animations"], tree["contenders"]
    samples, rerun_changes = tree_rounds(args.runs, build, scratch, source, tree)
    last = args.runs
    checks, sizes, notes = {}, {}, {}
    loop_results(scratch, animations, last, checks, sizes)
    if TREE_RUN in contenders:
        tree_run_results(scratch, source, animations, earlier, last, checks, sizes)
        floor_results(scratch, animations, last, checks, sizes, notes)
        optipng_once(build, scratch, source, tree, last, samples, sizes)
    for contender, (folder, sample) in earlier.items():
        samples[before(contender)] = [sample]
        sizes[before(contender)] = tree_bytes(folder)
    if TREE_FIRST in contenders:
        incremental_results(scratch, last, rerun_changes, TREE_RUN in contenders, checks, sizes)
    if TREE_SHEET in contenders:
        sheet_results(scratch, animations, last, checks, sizes)
    return {"samples": samples, "checks": checks, "sizes": sizes, "notes": notes}


def tree_rounds(runs, build, scratch, source, tree):
    """The warm-up round and the timed ones. Gives the timed samples by
    contender and, for every -incremental rerun, what it changed
    (snapshot_changes)."""
    contenders = tree["contenders"]
    samples = {c: [] for c in contenders}
    rerun_changes = []
    for round_index in range(runs + 1):
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
            TREE, round_index, runs, "warm-up" if round_index == 0 else
            ", ".join("%s %.2fs" % (SHORT[c], samples[c][-1][0]) for c in contenders)))
    return samples, rerun_changes


def loop_frames(scratch, round_index):
    """The folder of an animation's frames in the shell loop's output (see
    frames_of)."""
    loop_out = tree_output(scratch, TREE_LOOP, round_index)
    return lambda rel, stem: os.path.join(loop_out, rel, stem, "autocropped")


def loop_results(scratch, animations, last, checks, sizes):
    """The shell loop's layout (check "loop") and bytes."""
    loop_out = tree_output(scratch, TREE_LOOP, last)
    loop_written = {}
    for key in animations:
        folder = os.path.join(loop_out, key[0], key[1], "autocropped")
        loop_written[key] = sorted(n for n in os.listdir(folder) if n.endswith(".png")) \
            if os.path.isdir(folder) else []
    checks["loop"] = differ_animations(expected_outputs(animations), loop_written)
    sizes[TREE_LOOP] = sum(os.path.getsize(os.path.join(loop_out, rel, stem, "autocropped", n))
                           for (rel, stem), names in loop_written.items() for n in names)


def tree_run_results(scratch, source, animations, earlier, last, checks, sizes):
    """The one-thread -tree run against the bench's stems, the loop's pixels
    and the corpus's counts; -jobs 2 against it byte for byte; -optimize's
    sizes against it; both against the earlier build's pixels. The bytes of
    the three."""
    run_out = tree_output(scratch, TREE_RUN, last)
    checks["layout"] = differ_animations(expected_outputs(animations),
                                         written_animations(run_out))
    if checks["layout"] is None:
        checks["pixels"] = differing_frames(animations, loop_frames(scratch, last),
                                            frames_of(run_out))
    checks["console"] = check_tree_console(tree_log(scratch, TREE_RUN, last), animations,
                                           source, tree_bytes(run_out))
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


def floor_results(scratch, animations, last, checks, sizes, notes):
    """The floor's layout and bytes, and a note where its pixels differ from
    the one-thread -tree run's."""
    run_out = tree_output(scratch, TREE_RUN, last)
    floor_out = tree_output(scratch, TREE_FLOOR, last)
    checks["floor layout"] = differ_animations(expected_outputs(animations),
                                               written_animations(floor_out, ""))
    sizes[TREE_FLOOR] = tree_bytes(floor_out, "")
    # FreeImage's decoder alone applies a gAMA chunk: a note, not a target.
    notes["floor pixels"] = differing_frames(animations, frames_of(run_out),
                                            frames_of(floor_out, ""))


def optipng_once(build, scratch, source, tree, last, samples, sizes):
    """The one run of the default followed by optipng, after the rounds (see
    TREE_OPTIPNG)."""
    folder = output_folder(scratch, TREE, TREE_OPTIPNG, last)
    os.makedirs(folder)
    os.sync()
    samples[TREE_OPTIPNG] = [tool_then_optipng(tree_command(build, source, tree, folder,
                                                            TREE_RUN), folder, folder + ".log")]
    sizes[TREE_OPTIPNG] = tree_bytes(folder)
    log("corpus %s: %s took %.2f s once" % (TREE, TREE_OPTIPNG, samples[TREE_OPTIPNG][0][0]))


def incremental_results(scratch, last, rerun_changes, with_run, checks, sizes):
    """The first -incremental run against the run without it (when that ran:
    with_run), what the reruns changed, and the bytes of both: the rerun's
    are those it wrote."""
    first_out = tree_output(scratch, TREE_FIRST, last)
    if with_run:
        checks["incremental"] = compare_frame_trees(
            os.path.join(tree_output(scratch, TREE_RUN, last), "autocropped"),
            os.path.join(first_out, "autocropped"), frames_only=True)
    written = [changes for changes in rerun_changes if changes[0]]
    if written:
        checks["rerun"] = "%d of %d reruns wrote, made or removed files, the first %s" % (
            len(written), len(rerun_changes), ", ".join(written[0][0][:3]))
    sizes[TREE_FIRST] = tree_bytes(first_out)
    sizes[TREE_RERUN] = max(changes[1] for changes in rerun_changes)


def sheet_results(scratch, animations, last, checks, sizes):
    """A sheet.json in every folder of frames, for both -sheet runs; their
    bytes, and those of the -optimize pages alone."""
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
