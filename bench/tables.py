"""The printed tables, in markdown: one row per contender and corpus (the
medians of the timed rounds, their ratios, CPU, memory and bytes), the tree
corpus's rows, and the scaling line of (c) against its double.
"""
from contenders import CONTENDERS, FLOOR, TOOL, TREE_CONTENDERS, TREE_FLOOR, TREE_LOOP, \
    TREE_OPT, TREE_OPTIPNG, TREE_RUN, before
from corpora import LABELS, SCALED, TREE
from timing import MIB, log, median as med, peak


def print_tables(runs, elapsed, chosen, results, tree):
    """The tables of the corpora measured (results, by corpus: the samples,
    checks and sizes) and of the tree (None when not measured), then the
    scaling line."""
    lines = corpus_table(chosen, results)
    log("")
    log("Medians of %d runs after a warm-up, programs alternating (%.0f s in all)." % (
        runs, elapsed))
    if results:
        log("\n".join(lines))
    if tree is not None:
        log("")
        log("\n".join(tree_table(tree)))

    log("")
    if "c" in results and SCALED in results:
        log(scaling_line(results))


def corpus_table(chosen, results):
    lines = []
    lines.append("| corpus | program | median s | ratio to floor | ratio to tool | user CPU s "
                 "| system CPU s | peak RSS MiB | output bytes | bytes to tool's "
                 "| bytes to floor's |")
    lines.append("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for corpus in [c for c in chosen if c in results]:
        samples, _, sizes = results[corpus]
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
    return lines


def scaling_line(results):
    """Each contender on (c) doubled against (c): time, user CPU, peak RSS."""
    parts = []
    for contender in CONTENDERS:
        small, big = results["c"][0][contender], results[SCALED][0][contender]
        parts.append("%s x%.2f time (x%.2f user CPU), RSS %.1f -> %.1f MiB" % (
            contender, med(big, 0) / med(small, 0), med(big, 1) / med(small, 1), peak(small) / MIB,
            peak(big) / MIB))
    return "Scaling, 600 -> 1200 frames of 320x240: " + "; ".join(parts) + "."


def tree_table(tree):
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
