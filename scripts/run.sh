#!/usr/bin/env bash
# Installs what is missing, builds the viewer and the demo data, and starts
# the viewer on the demo data (or on the files given as arguments).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

build=build
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target orvanta orvanta-make-demo

demo="$build/demo"
if [ ! -f "$demo/heart-labels.nii.gz" ] || [ "$build/tools/orvanta-make-demo" -nt "$demo/heart.tvi" ]; then
  mkdir -p "$demo"
  "$build/tools/orvanta-make-demo" "$demo" --nifti
fi

# Without a file among the arguments, show the demo with its label image on
# top. Which argument is the file only orvanta's own parser knows (option
# values, folders, every format it opens), so it is asked: it takes the line
# with the demo added and --version only when no file was named, since it
# refuses a second one. Any other mistake in the line is left for the real
# run to report.
if "$build/app/orvanta" --version "$@" "$demo/heart.tvi" >/dev/null 2>&1; then
  set -- "$@" "$demo/heart.tvi" --labels "$demo/heart-labels.nii.gz"
fi
exec "$build/app/orvanta" "$@"
