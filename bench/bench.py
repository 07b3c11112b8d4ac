#!/usr/bin/python3
"""Benchmark driver: velmoraReelCut (one thread, -jobs 2, -jobs 0, -optimize,
and followed by optipng -o2 -strip all) against an ImageMagick recipe, a Pillow
script and the FreeImage floor, on corpora made by tools/framegen and on the
sprite frames of a Debian game (REAL in corpora.py); and on whole trees of two
Debian games' art (TREE), -tree -split stem on one thread, with -jobs 2,
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

This file reads the arguments; the rest lives beside it: measure.py (the
steps of the whole run), corpora.py, contenders.py (names, commands, output
folders), timing.py (running a child, its sample, medians), checks.py (output
comparisons), tree.py (the tree corpus's model and runs), tables.py and
targets.py (what is printed).
"""
import argparse
import os
import sys

import timing


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
    # After the arguments: --help needs no Pillow, which the python3 on the
    # PATH may lack (bench/run uses Debian's).
    import contenders
    from measure import measure
    build = os.path.abspath(args.build)
    scratch = os.path.abspath(args.scratch)
    timing.SCRATCH = scratch
    contenders.BEFORE_COMMIT = args.before_commit
    os.makedirs(scratch, exist_ok=True)

    group_nice = None
    if args.nice:
        os.nice(args.nice)
        group_nice = timing.set_autogroup_nice(args.nice)
    try:
        return measure(args, build, scratch, group_nice)
    finally:
        if group_nice is not None:
            timing.set_autogroup_nice(group_nice)


if __name__ == "__main__":
    sys.exit(main())
