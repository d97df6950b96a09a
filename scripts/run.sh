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

# Without a volume or mesh file among the arguments, show the demo with its
# label image on top.
has_file=no
previous=
for argument in "$@"; do
  [ "$previous" = --labels ] && { previous=$argument; continue; }
  previous=$argument
  case "$argument" in
    -*) ;;
    *.[tT][vV][iI] | *.[nN][iI][iI] | *.[nN][iI][iI].[gG][zZ] | *.[oO][bB][jJ]) has_file=yes ;;
  esac
done
if [ "$has_file" = no ]; then
  set -- "$@" "$demo/heart.tvi" --labels "$demo/heart-labels.nii.gz"
fi
exec "$build/app/orvanta" "$@"
