"""The targets: one verdict line each, "met" or "NOT MET", on every frame
corpus, across corpora (ImageMagick's memory on (b), the scaling of (c)) and
on the tree; print_targets gives whether all were met (the exit code).
"""
from contenders import (FLOOR, IMAGEMAGICK, OPTIMIZE, OPTIPNG, PILLOW, PREVIEW, TOOL,
                        TOOL_JOBS, TOOLS, TREE_FIRST, TREE_FLOOR, TREE_JOBS2, TREE_LOOP, TREE_OPT,
                        TREE_OPTIPNG, TREE_RERUN, TREE_RUN, TREE_SHEET, TREE_SHEET_OPT, before)
from corpora import LABELS, SCALED, TREE, decoded_bytes
from timing import MIB, cpu, log, median as med, peak

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
SLOWER = {PILLOW: 1.6, IMAGEMAGICK: 3}


def why(problem):
    """The end of a verdict line: the problem in brackets, if any."""
    return "" if problem is None else " (" + problem + ")"


def print_targets(chosen, results, tree):
    """Prints the targets of the corpora measured (results, by corpus: the
    samples, checks and sizes) and of the tree (None when not measured);
    gives whether all were met."""
    verdicts = []

    def verdict(ok, text):
        verdicts.append(ok)
        log("  %s  %s" % ("met    " if ok else "NOT MET", text))

    log("")
    log("Targets:")
    for corpus in [c for c in chosen if c in results]:
        corpus_targets(corpus, results[corpus], verdict)
    across_corpora_targets(results, verdict)
    if tree is not None:
        tree_targets(tree, verdict)
    return all(verdicts)


def corpus_targets(corpus, result, verdict):
    samples, checks, sizes = result
    label = LABELS[corpus]
    output_targets(label, checks, verdict)
    speed_and_memory_targets(corpus, samples, sizes, verdict)
    check = checks[PREVIEW + " bytes"]
    verdict(check is None, "%s: -preview writes the default run's frames and console output "
            "byte for byte%s" % (label, why(check)))
    tool, preview = med(samples[TOOL], 0), med(samples[PREVIEW], 0)
    verdict(preview <= 1.10 * tool, "%s: -preview takes %.3f x the run without it (at most "
            "1.10; CPU time %.3f x)" % (label, preview / tool,
                                         cpu(samples[PREVIEW]) / cpu(samples[TOOL])))
    optimize_targets(label, samples, checks, sizes, verdict)
    for other in (FLOOR, IMAGEMAGICK):
        if checks[other] is not None:
            log("           (note: %s output differs from Pillow's: %s)" % (other, checks[other]))


def output_targets(label, checks, verdict):
    """Every tool run's pixels against the Pillow script's and the earlier
    build's; the threaded runs' files and console against the one-thread
    run's."""
    for contender in TOOLS:
        verdict(checks[contender] is None, "%s: %s output equals the Pillow script's pixel for "
                "pixel%s" % (label, contender, why(checks[contender])))
    for contender in TOOLS:
        if contender == OPTIPNG:
            continue
        check = checks[before(contender)]
        verdict(check is None, "%s: every frame of %s decodes to the pixels (RGBA) of %s's "
                "frames%s" % (label, contender, before(TOOL), why(check)))
    for contender in TOOL_JOBS:
        check = checks[contender + " bytes"]
        verdict(check is None, "%s: %s writes the one-thread run's files and console output "
                "byte for byte%s" % (label, contender, why(check)))


def speed_and_memory_targets(corpus, samples, sizes, verdict):
    """The one-thread tool against the floor (time, bytes), -jobs 2 (time,
    memory), the other programs' times, and the tool's memory."""
    label = LABELS[corpus]
    tool = med(samples[TOOL], 0)
    rss = peak(samples[TOOL])
    floor = med(samples[FLOOR], 0)
    most = FLOOR_TIME if corpus in FLOOR_TIME_CORPORA else 1.05
    verdict(tool <= most * floor, "%s: the one-thread tool takes %.3f x the FreeImage floor's "
            "time (at most %.2f; in CPU time %.3f x)" % (
                label, tool / floor, most, cpu(samples[TOOL]) / cpu(samples[FLOOR])))
    verdict(sizes[TOOL] <= FLOOR_BYTES * sizes[FLOOR], "%s: the one-thread tool writes %.3f x "
            "the bytes of FreeImage's default encoding, the floor's (%d against %d; at most "
            "%.2f)" % (label, sizes[TOOL] / sizes[FLOOR], sizes[TOOL], sizes[FLOOR],
                       FLOOR_BYTES))
    jobs2 = samples["velmoraReelCut -jobs 2"]
    text = "%s: -jobs 2 takes %.3f x the FreeImage floor's wall time (%s; %.3f x the one-thread " \
           "run's, CPU time %.3f x)" % (label, med(jobs2, 0) / floor,
                                        "%s", med(jobs2, 0) / tool, cpu(jobs2) / cpu(samples[TOOL]))
    if corpus in ("a", "b", "c"):
        verdict(med(jobs2, 0) <= 0.60 * floor, text % "at most 0.60")
    else:
        log("  (info)   " + text % "no target on this corpus")
    jobs2_bound = 2 * rss + 16 * MIB
    verdict(peak(jobs2) <= jobs2_bound, "%s: -jobs 2 peak RSS %.1f MiB, bound twice the "
            "one-thread peak + 16 MiB = %.1f MiB" % (label, peak(jobs2) / MIB, jobs2_bound / MIB))
    for other, slower in SLOWER.items():
        ratio = med(samples[other], 0) / tool
        verdict(ratio >= slower, "%s: the %s takes %.2f x the one-thread tool's time (at "
                "least %.1f)" % (label, other, ratio, slower))
    bound = 2 * decoded_bytes(corpus) + 16 * MIB
    verdict(rss <= bound, "%s: peak RSS %.1f MiB, bound two decoded frames + 16 MiB = %.1f MiB" % (
        label, rss / MIB, bound / MIB))


def optimize_targets(label, samples, checks, sizes, verdict):
    """-optimize against the default (pixels, sizes), the floor (time), the
    default followed by optipng (time, bytes) and, where measured, the
    sources and ImageMagick's encoding (bytes)."""
    tool = med(samples[TOOL], 0)
    floor = med(samples[FLOOR], 0)
    check = checks[OPTIMIZE + " pixels"]
    verdict(check is None, "%s: every -optimize frame equals the default's pixel for pixel, "
            "decoded as RGBA%s" % (label, why(check)))
    check = checks[OPTIMIZE + " sizes"]
    verdict(check is None and sizes[OPTIMIZE] <= sizes[TOOL],
            "%s: -optimize writes no frame larger than the default (%d against %d bytes, "
            "%.3f x)%s" % (label, sizes[OPTIMIZE], sizes[TOOL], sizes[OPTIMIZE] / sizes[TOOL],
                           why(check)))
    optimized = med(samples[OPTIMIZE], 0)
    verdict(optimized <= OPTIMIZE_FLOOR_TIME * floor, "%s: -optimize takes %.3f x the "
            "FreeImage floor's time (at most %d; %.3f x the default's, CPU time %.3f x the "
            "floor's)" % (label, optimized / floor, OPTIMIZE_FLOOR_TIME, optimized / tool,
                          cpu(samples[OPTIMIZE]) / cpu(samples[FLOOR])))
    optipng = med(samples[OPTIPNG], 0)
    verdict(optimized < optipng, "%s: -optimize is faster than the default + optipng -o2 "
            "-strip all (%.2f x its time)" % (label, optimized / optipng))
    verdict(sizes[OPTIMIZE] < sizes[OPTIPNG], "%s: -optimize writes fewer bytes than the "
            "default + optipng -o2 -strip all (%d against %d, %.3f x)" % (
                label, sizes[OPTIMIZE], sizes[OPTIPNG], sizes[OPTIMIZE] / sizes[OPTIPNG]))
    for other in ("ImageMagick re-encoding", "sources"):
        if other in sizes:
            verdict(sizes[OPTIMIZE] < sizes[other], "%s: -optimize writes fewer bytes than the "
                    "%s (%d against %d, %.3f x)" % (label, other, sizes[OPTIMIZE],
                                                    sizes[other], sizes[OPTIMIZE] / sizes[other]))


def across_corpora_targets(results, verdict):
    """ImageMagick's memory on (b); the scaling from (c) to its double."""
    if "b" in results:
        samples = results["b"][0]
        ratio = peak(samples[IMAGEMAGICK]) / peak(samples[TOOL])
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


def tree_targets(tree, verdict):
    samples, checks = tree["samples"], tree["checks"]
    label = LABELS[TREE]

    def check(name, text):
        verdict(checks.get(name) is None, "%s: %s%s" % (label, text, why(checks.get(name))))

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
        tree_floor_targets(tree, verdict, check)
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


def tree_floor_targets(tree, verdict, check):
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
