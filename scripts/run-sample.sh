#!/usr/bin/env bash
# Installs what the build needs, builds Release (lumivar and lumivar-decode) and develops the
# bundled sample DNG, a small test chart:
#   - with the decoder, into build-release/sample/lumivar-chart.tiff;
#   - with lumivar: on a display it opens the chart in the editing window; without one (CI) it
#     runs scripts/sample-tour.lvs under Xvfb, which moves the red slider, keeps screenshots in
#     build-release/sample/ and exports build-release/sample/lumivar-chart.jpg.
# LUMIVAR_RELEASE_BUILD names another Release build folder to use (CI passes the one it has
# just built); a folder already configured is only brought up to date.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
B=$(realpath -m "${LUMIVAR_RELEASE_BUILD:-build-release}")
if [ ! -f "$B/CMakeCache.txt" ]; then
  cmake -S . -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVAR_TESTS=OFF
fi
cmake --build "$B" -j "$(nproc)" --target lumivar-decode lumivar
# The programs write beside their input: develop a copy, so the tree stays untouched.
mkdir -p "$B"/sample
cp samples/lumivar-chart.dng "$B"/sample/
"$B"/tools/lumivar-decode -v -T "$B"/sample/lumivar-chart.dng
echo "Developed image: $B/sample/lumivar-chart.tiff"

# Settings, catalog and presets of this run stay in the build folder.
export LUMIVAR_HOME="$B/sample/home"
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  exec "$B"/app/main/lumivar "$B"/sample/lumivar-chart.dng
fi
rm -f "$B"/sample/lumivar-chart.jpg
cp scripts/sample-tour.lvs "$B"/sample/
xvfb-run -a -s "-screen 0 1600x1000x24" "$B"/app/main/lumivar \
  --automation "$B"/sample/sample-tour.lvs --screenshots "$B"/sample
test -s "$B"/sample/lumivar-chart.jpg
echo "Screenshots: $B/sample/chart-opened.png, $B/sample/chart-red.png"
echo "Exported image: $B/sample/lumivar-chart.jpg"
