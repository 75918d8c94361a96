#!/usr/bin/env bash
# Builds the DNG reader's fuzz target with clang, then fuzzes from the builder-made seeds and
# the real DNG samples.
#   fuzz/run_dng.sh                 fixed seed and run count (CI)
#   fuzz/run_dng.sh SECONDS [JOBS]  a longer local run; findings land in build-fuzz/findings
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=$(realpath -m "${FUZZ_BUILD:-build-fuzz}")
SAMPLES=$(realpath -m "${LUMIVAR_SAMPLES:-../shared/samples}")
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLUMIVAR_FUZZ=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target fuzz_dng_read make_dng_fuzz_corpus

cd "$BUILD"
export ASAN_OPTIONS=abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
FUZZER="$BUILD/fuzz/fuzz_dng_read"
LIMITS=(-timeout=20 -rss_limit_mb=4096 -max_len=4194304)

SEEDS="$BUILD/dng-seeds"
WORK="$BUILD/dng-corpus"
rm -rf "$SEEDS" && mkdir -p "$SEEDS" "$WORK" "$BUILD/findings"
"$BUILD/fuzz/make_dng_fuzz_corpus" "$SEEDS"
dirs=("$WORK" "$SEEDS")
if [ -d "$SAMPLES" ]; then
  mkdir -p "$BUILD/dng-samples"
  find "$SAMPLES" -maxdepth 1 -iname '*.dng' -size -4M -exec ln -sf {} "$BUILD/dng-samples/" \;
  dirs+=("$BUILD/dng-samples")
fi

if (($# == 0)); then
  rm -rf "$WORK" && mkdir -p "$WORK"
  "$FUZZER" "${LIMITS[@]}" -seed=1 -runs="${FUZZ_RUNS:-3000}" -artifact_prefix="$BUILD/findings/" "${dirs[@]}"
else
  "$FUZZER" "${LIMITS[@]}" -max_total_time="$1" -jobs="${2:-1}" -workers="${2:-1}" \
            -artifact_prefix="$BUILD/findings/" "${dirs[@]}"
fi
