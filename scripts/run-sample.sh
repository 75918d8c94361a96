#!/usr/bin/env bash
# Installs what the build needs, builds Release and develops the bundled sample DNG into a
# TIFF in the build folder: build-release/sample/lumivar-chart.tiff.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVAR_TESTS=OFF
cmake --build build-release -j "$(nproc)" --target lumivar-decode
# The decoder writes beside its input: develop a copy, so the tree stays untouched.
mkdir -p build-release/sample
cp samples/lumivar-chart.dng build-release/sample/
./build-release/tools/lumivar-decode -v -T build-release/sample/lumivar-chart.dng
echo "Developed image: build-release/sample/lumivar-chart.tiff"
