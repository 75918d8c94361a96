#!/usr/bin/env bash
# Installs what the build needs, builds Release (lumivar and lumivar-decode) and develops the
# bundled sample DNG, a small test chart:
#   - with the decoder, into build-release/sample/lumivar-chart.tiff;
#   - with lumivar: on a display it opens the chart in the editing window; without one (CI) it
#     runs scripts/sample-tour.lvs under Xvfb, which moves the red slider, keeps screenshots in
#     build-release/sample/ and exports build-release/sample/lumivar-chart.jpg.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVAR_TESTS=OFF
cmake --build build-release -j "$(nproc)" --target lumivar-decode lumivar
# The programs write beside their input: develop a copy, so the tree stays untouched.
mkdir -p build-release/sample
cp samples/lumivar-chart.dng build-release/sample/
./build-release/tools/lumivar-decode -v -T build-release/sample/lumivar-chart.dng
echo "Developed image: build-release/sample/lumivar-chart.tiff"

# Settings, catalog and presets of this run stay in the build folder.
export LUMIVAR_HOME="$PWD/build-release/sample/home"
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  exec ./build-release/app/main/lumivar build-release/sample/lumivar-chart.dng
fi
rm -f build-release/sample/lumivar-chart.jpg
xvfb-run -a -s "-screen 0 1600x1000x24" ./build-release/app/main/lumivar \
  --automation scripts/sample-tour.lvs --screenshots build-release/sample
test -s build-release/sample/lumivar-chart.jpg
echo "Screenshots: build-release/sample/chart-opened.png, build-release/sample/chart-red.png"
echo "Exported image: build-release/sample/lumivar-chart.jpg"
