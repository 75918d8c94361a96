#!/usr/bin/env bash
# Installs what the build needs, builds Release and develops the bundled sample DNG into a
# TIFF beside it: samples/lumivar-chart.tiff.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVAR_TESTS=OFF
cmake --build build-release -j "$(nproc)" --target lumivar-decode
# While identification or the colour output is still a placeholder, no file can be developed.
if grep -qE '^void (identify_camera|convert_to_rgb_threaded)\(' raw/Stubs.cpp; then
    echo "The decoder's identification or colour output is not built yet: nothing to develop."
    exit 0
fi
./build-release/tools/lumivar-decode -v -T samples/lumivar-chart.dng
echo "Developed image: samples/lumivar-chart.tiff"
