#!/usr/bin/env bash
# Draws every figure of the documentation site (docs/figures/) and the
# README's map again, with the programs of a build:
#
#   docs/make_figures.sh [BUILD]      BUILD: the build folder (default: build)
#
# The maps and curves are fluviagen-map's, drawn after a call at seed 2026:
# the shipped river as the examples run it, and the real basin
# (examples/danube) imported as the tutorial imports it. The isolation-by-
# distance figure is docs/scripts/isolation_by_distance.py's on the river's
# pairs table. The posterior figure is the inference example's
# (workflow/examples/abc/posterior.png) and is not drawn here.
set -euo pipefail
docs="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$docs")"
build="$(cd "${1:-$repo/build}" && pwd)"
for program in fluviagen fluviagen-import fluviagen-map; do
    [ -x "$build/$program" ] || { echo "make_figures: $build/$program is not built" >&2; exit 1; }
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
figures="$docs/figures"

# The shipped river, as the README's example command runs it.
"$build/fluviagen" --quiet --seed 2026 --out "$work/river" "$repo/examples/river/settings.txt" \
    < /dev/null 2> "$work/river.err"
set_river="$work/river/settings_samples_gps_DNA"
cp "${set_river}_map.png" "$figures/river_map.png"
cp "${set_river}_curve.png" "$figures/river_curve.png"
cp "${set_river}_ages.png" "$figures/river_ages.png"
/usr/bin/python3 "$docs/scripts/isolation_by_distance.py" "${set_river}_pairs.tsv" \
    "$figures/isolation_by_distance.png" > /dev/null

# The real basin, as the tutorial imports and runs it.
mkdir "$work/danube"
cp "$repo"/examples/danube/{rivers,sources,samples}.geojson "$work/danube/"
(
    cd "$work/danube"
    "$build/fluviagen-import" rivers.geojson --outlet 22.910277,44.0 --tolerance 100 \
        --sources sources.geojson --samples samples.geojson --resample 1000 --prefix danube > import.log
    sed '9s/^1000 /3000 /' danube_settings.txt > settings.txt
    "$build/fluviagen" --quiet --seed 2026 --out results settings.txt < /dev/null 2> run.err
)
cp "$work/danube/results/settings_danube_samples_DNA_map.png" "$figures/danube_map.png"
cp "$work/danube/results/settings_danube_samples_DNA_curve.png" "$figures/danube_curve.png"
echo "make_figures: drew $(cd "$figures" && ls *.png | tr '\n' ' ')in $figures"
