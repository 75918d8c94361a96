#!/usr/bin/env bash
# Installs what the build needs, builds Release and runs the main job on a bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIVAR_TESTS=OFF
cmake --build build-release -j "$(nproc)"
# Until the decoder's command line lands, the main job is the platform test program.
./build-release/tests/platform/platform_tests
