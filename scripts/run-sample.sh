#!/usr/bin/env bash
# Installs what the build needs, builds Release and develops the bundled sample DNG into a
# TIFF beside it: samples/lumivar-chart.tiff.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVAR_TESTS=OFF
cmake --build build-release -j "$(nproc)" --target lumivar-decode
./build-release/tools/lumivar-decode -v -T samples/lumivar-chart.dng
echo "Developed image: samples/lumivar-chart.tiff"
