#!/usr/bin/env bash
# Builds the fuzz target with clang in its own build folder, replays the saved regression
# inputs, then fuzzes from the builder-made seeds and the real samples.
#   fuzz/run.sh                 fixed seed and run count: the same runs every time (CI)
#   fuzz/run.sh SECONDS [JOBS]  a longer local run; new findings land in build-fuzz/findings
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=$(realpath -m "${FUZZ_BUILD:-build-fuzz}")
SAMPLES=$(realpath -m "${LUMIVAR_SAMPLES:-../shared/samples}")
REGRESSIONS=$(realpath tests/corpus/regressions)
DICT=$(realpath fuzz/decoder.dict)
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLUMIVAR_FUZZ=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target fuzz_decoder make_fuzz_corpus

# libFuzzer writes findings and the fuzz-N.log of each job into its working folder: the
# build folder, never the source tree.
cd "$BUILD"
mkdir -p findings
export ASAN_OPTIONS=abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
FUZZER="$BUILD/fuzz/fuzz_decoder"
LIMITS=(-timeout=20 -rss_limit_mb=4096 -max_len=262144 -dict="$DICT")

mapfile -t saved < <(find "$REGRESSIONS" -type f ! -name '*.expected' ! -name 'README*' | sort)
if ((${#saved[@]})); then
  echo "Replaying ${#saved[@]} saved inputs"
  "$FUZZER" "${LIMITS[@]}" -artifact_prefix="$BUILD/findings/" "${saved[@]}"
fi

SEEDS="$BUILD/seeds"
WORK="$BUILD/corpus"
rm -rf "$SEEDS" && mkdir -p "$SEEDS" "$WORK" "$BUILD/findings"
"$BUILD/fuzz/make_fuzz_corpus" "$SEEDS"
# Real files are read where they are; the fuzzer writes only into its first folder.
dirs=("$WORK" "$SEEDS")
[ -d "$SAMPLES" ] && dirs+=("$SAMPLES")

if (($# == 0)); then
  rm -rf "$WORK" && mkdir -p "$WORK"
  "$FUZZER" "${LIMITS[@]}" -seed=1 -runs="${FUZZ_RUNS:-3000}" -artifact_prefix="$BUILD/findings/" "${dirs[@]}"
else
  "$FUZZER" "${LIMITS[@]}" -max_total_time="$1" -jobs="${2:-1}" -workers="${2:-1}" \
            -artifact_prefix="$BUILD/findings/" "${dirs[@]}"
fi
