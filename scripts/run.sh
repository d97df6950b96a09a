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
  "$build/tools/orvanta-make-demo" "$demo"
fi

# Without a .tvi or .obj file among the arguments, show the demo with its
# label image on top.
has_file=no
for argument in "$@"; do
  case "$argument" in
    -*) ;;
    *.tvi | *.obj) has_file=yes ;;
  esac
done
if [ "$has_file" = no ]; then
  set -- "$@" "$demo/heart.tvi" --labels "$demo/heart-labels.nii.gz"
fi
exec "$build/app/orvanta" "$@"
