"""The whole run in its steps: the corpora, the tree's preparation, the
earlier build's runs, the rounds on the frame corpora (a group at a time),
their checks and sizes, the tree's rounds (tree.py), then the tables and the
targets. Nothing is deleted from the first round to the last (see
timing.INODE_REUSE_DELAY).
"""
import os
import time

from checks import compare_bytes, compare_console, compare_outputs, no_larger, png_sizes
from contenders import (CONTENDERS, OPTIMIZE, OPTIPNG, PILLOW, PREVIEW, SHORT, TOOL, TOOL_JOBS,
                        TOOLS, before, contender_commands, imagemagick_reencoded, output_folder,
                        reference_rect, run_before, versions, written_folder)
from corpora import KNOWN, REAL, SCALED, TREE, make_corpora
from tables import print_tables
from targets import print_targets
from timing import log, machine, remove_tree, wait_for_inode_reuse
from tree import measure_tree, prepare_tree

# Corpus c and its doubled copy run in the same rounds, so that the scaling
# ratio compares runs made side by side.
GROUPS = (["a"], ["b"], ["c", SCALED], [REAL])


def measure(args, build, scratch, group_nice):
    """Gives the exit code: 0 when every target is met, 1 when one is not,
    2 for an unknown corpus."""
    log_start(args, group_nice)
    remove_tree(os.path.join(scratch, "out"))  # left by an interrupted run
    chosen = args.corpora.split(",")
    unknown = [corpus for corpus in chosen if corpus not in KNOWN]
    if unknown:
        log("bench.py: unknown corpus %s (known: %s)" % (", ".join(unknown), ",".join(KNOWN)))
        return 2
    sources = make_corpora(build, scratch, chosen)
    tree = prepare_tree(build, scratch, sources[TREE]) if TREE in chosen else None
    earlier = run_before(os.path.abspath(args.before), scratch, sources, chosen)
    wait_for_inode_reuse()

    started = time.perf_counter()
    results = measure_corpora(args.runs, build, scratch, sources, chosen, earlier)
    if tree is not None:
        tree.update(measure_tree(args, build, scratch, sources[TREE], tree, earlier[TREE]))
    elapsed = time.perf_counter() - started
    remove_tree(os.path.join(scratch, "out"))

    print_tables(args.runs, elapsed, chosen, results, tree)
    met = print_targets(chosen, results, tree)
    log("load average at end: %.2f %.2f %.2f" % os.getloadavg())
    return 0 if met else 1


def log_start(args, group_nice):
    if group_nice is not None:
        log("this session's scheduler autogroup runs at nice %d too (was %d)" % (args.nice, group_nice))
    log("machine: " + machine())
    log("versions: " + versions())
    log("load average at start: %.2f %.2f %.2f; nice %d" % (os.getloadavg() + (os.nice(0),)))


def measure_corpora(runs, build, scratch, sources, chosen, earlier):
    """The frame corpora chosen, a group at a time (GROUPS). Gives {corpus:
    (samples by contender, checks, sizes)}."""
    results = {}
    for group in GROUPS:
        group = [corpus for corpus in group if corpus in chosen]
        rects = {corpus: reference_rect(scratch, corpus, sources[corpus]) for corpus in group}
        samples = corpus_rounds(runs, build, scratch, sources, group, rects)
        for corpus in group:
            earlier_frames = os.path.join(earlier[corpus][TOOL][0], "autocropped")
            checks = corpus_checks(scratch, corpus, runs, earlier_frames)
            sizes = corpus_sizes(scratch, corpus, runs, sources[corpus], earlier_frames)
            samples[corpus][before(TOOL)] = [earlier[corpus][TOOL][1]]
            results[corpus] = (samples[corpus], checks, sizes)
            for contender in TOOLS:
                if checks[contender] is not None:
                    log("MISMATCH: %s's output on corpus %s differs from Pillow's: %s" % (
                        contender, corpus, checks[contender]))
    return results


def corpus_rounds(runs, build, scratch, sources, group, rects):
    """A warm-up round and the timed ones over the corpora of a group, every
    contender on every corpus in turns. Gives {corpus: {contender: timed
    samples}}."""
    samples = {corpus: {c: [] for c in CONTENDERS} for corpus in group}
    for round_index in range(runs + 1):
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
                corpus, round_index, runs,
                "warm-up" if round_index == 0 else
                ", ".join("%s %.2fs" % (SHORT[c], samples[corpus][c][-1][0])
                          for c in CONTENDERS)))
    return samples


def corpus_checks(scratch, corpus, last, earlier_frames):
    """The last round's outputs: every contender's pixels against the Pillow
    script's (by contender), the threaded and -preview runs against the
    one-thread run's ("... bytes"), -optimize against the default ("...
    pixels", "... sizes") and every tool run but the optipng one against the
    earlier build's frames (before(contender))."""
    checks = {
        contender: compare_outputs(
            written_folder(scratch, corpus, PILLOW, last),
            written_folder(scratch, corpus, contender, last))
        for contender in CONTENDERS if contender != PILLOW
    }
    # The threaded runs against the one-thread run of the same round:
    # the same files byte for byte, the same console output.
    for contender in list(TOOL_JOBS) + [PREVIEW]:
        checks[contender + " bytes"] = (
            compare_bytes(written_folder(scratch, corpus, TOOL, last),
                          written_folder(scratch, corpus, contender, last))
            or compare_console(scratch, corpus, contender, last))
    # -optimize against the default: the same pixels, as RGBA, and no
    # frame larger.
    default = written_folder(scratch, corpus, TOOL, last)
    optimized = written_folder(scratch, corpus, OPTIMIZE, last)
    checks[OPTIMIZE + " pixels"] = compare_outputs(default, optimized)
    checks[OPTIMIZE + " sizes"] = no_larger(default, optimized)
    for contender in TOOLS:
        if contender != OPTIPNG:
            checks[before(contender)] = compare_outputs(
                earlier_frames, written_folder(scratch, corpus, contender, last))
    return checks


def corpus_sizes(scratch, corpus, last, source, earlier_frames):
    """The bytes of the frames each contender wrote in the last round and the
    earlier build wrote; on REAL also those of the sources and of
    ImageMagick's encoding of the default output."""
    sizes = {contender: sum(png_sizes(written_folder(scratch, corpus, contender, last)).values())
             for contender in CONTENDERS}
    sizes[before(TOOL)] = sum(png_sizes(earlier_frames).values())
    if corpus == REAL:
        sizes["sources"] = sum(png_sizes(source).values())
        sizes["ImageMagick re-encoding"] = imagemagick_reencoded(
            scratch, corpus, written_folder(scratch, corpus, TOOL, last))
    return sizes
