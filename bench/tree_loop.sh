#!/bin/sh
# What a user without -tree writes to crop every animation of a tree of frames:
# first give each animation a folder of its own, then run the tool once per
# folder. bench.py times the second step alone (see its TREE notes).
#
#   tree_loop.sh gather <source tree> <new folder>
#   tree_loop.sh crop <velmoraReelCut> <gathered folder> <output folder>
#
# gather: every folder below the source that holds *.png frames (folders named
# autocropped and symbolic links to folders not followed) gets
# <new folder>/<its path>/<stem>/ with a symbolic link to each of its frames
# whose name has that stem: the name without ".png", without its last run of
# digits (wherever it stands: "fly-2-upstroke" gives "fly-upstroke") and
# without one separator (- _ . or a blank) right before that run.
# crop: for every folder of links, <output folder>/<its path>/ is made and
# `velmoraReelCut -i <folder> -o <output folder>/<its path>` run in it, which
# writes <output folder>/<its path>/autocropped/out_NNNNN.png. The paths must
# be absolute; names holding a tab or a line break are not supported.
set -eu

tab=$(printf '\t')

# Links the frames gathered so far ($@) into the folder $current.
flush() {
  [ $# -gt 0 ] || return 0
  mkdir -p "$current"
  ln -s -t "$current" "$@"
}

gather() {
  source=$1 gathered=$2
  mkdir "$gathered"
  cd "$source"
  find . -name autocropped -prune -o -name '*.png' -xtype f -print |
    awk '{
      path = substr($0, 3)
      slash = match(path, /\/[^\/]*$/)
      folder = slash ? substr(path, 1, slash - 1) : "."
      stem = substr(path, slash + 1, length(path) - slash - 4)
      if (match(stem, /[0-9]+[^0-9]*$/)) {
        start = RSTART
        match(substr(stem, start), /^[0-9]+/)
        after = start + RLENGTH
        if (start > 1 && index("-_. ", substr(stem, start - 1, 1))) start--
        stem = substr(stem, 1, start - 1) substr(stem, after)
      }
      print folder "\t" stem "\t" path
    }' |
    LC_ALL=C sort | {
      current=
      set --
      while IFS="$tab" read -r folder stem path; do
        if [ "$gathered/$folder/$stem" != "$current" ]; then
          flush "$@"
          set --
          current=$gathered/$folder/$stem
        fi
        set -- "$@" "$source/$path"
      done
      flush "$@"
    }
}

crop() {
  tool=$1 gathered=$2 output=$3
  cd "$gathered"
  find . -name '*.png' -type l | sed 's,/[^/]*$,,' | sort -u | while IFS= read -r folder; do
    mkdir -p "$output/$folder"
    "$tool" -i "$folder" -o "$output/$folder" </dev/null ||
      { echo "tree_loop.sh: velmoraReelCut failed on $folder" >&2; exit 1; }
  done
}

usage() {
  echo "usage: tree_loop.sh gather <source tree> <new folder>" >&2
  echo "       tree_loop.sh crop <velmoraReelCut> <gathered folder> <output folder>" >&2
  exit 2
}

# Not in an && list: set -e would not apply inside the functions.
case "${1-}" in
  gather) [ $# -eq 3 ] || usage; gather "$2" "$3" ;;
  crop) [ $# -eq 4 ] || usage; crop "$2" "$3" "$4" ;;
  *) usage ;;
esac
