#!/usr/bin/env bash
# The layers of app/ and the way their dependencies point: each folder may
# include only the folders below it (doc/architecture.md), and the image
# library's header is included only where pixels are touched, and corvane
# only where it is linked (from the host up, app/CMakeLists.txt).
#
#   tests/layers_test.sh <app folder>
set -euo pipefail
app=${1:?usage: layers_test.sh <app folder>}

declare -A below=(
  [base]=""
  [host]="base"
  [parallel]="base"
  [png]="base"
  [image]="base host parallel png"
  [run]="base host parallel png image"
  [console]="base host parallel png image run"
)
pixels=" image png "
corvane=" host image run console "

failed=0
for layer in "${!below[@]}"; do
  allowed=" $layer ${below[$layer]} "
  for file in "$app/$layer"/*.h "$app/$layer"/*.cpp; do
    [ -e "$file" ] || continue
    while IFS= read -r folder; do
      if [ "$folder" = corvane ]; then
        if [[ "$corvane" != *" $layer "* ]]; then
          echo "${file#"$app/"} includes corvane/, which $layer/ does not link"
          failed=1
        fi
      elif [[ "$allowed" != *" $folder "* ]]; then
        echo "${file#"$app/"} includes $folder/, which is not below $layer/"
        failed=1
      fi
    done < <(sed -n 's|^#include "\([a-z]*\)/.*|\1|p' "$file")
    if grep -q '^#include <FreeImage.h>' "$file" && [[ "$pixels" != *" $layer "* ]]; then
      echo "${file#"$app/"} includes FreeImage.h outside the layers that touch pixels"
      failed=1
    fi
  done
done
for file in "$app"/*.cpp; do
  if grep -q '^#include <FreeImage.h>' "$file"; then
    echo "${file#"$app/"} includes FreeImage.h outside the layers that touch pixels"
    failed=1
  fi
done
exit $failed
