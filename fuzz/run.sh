#!/usr/bin/env bash
# Builds the fuzz targets with clang in their own build folder, replays each target's saved
# findings, then fuzzes from the builder-made seeds (and, where they fit, the real samples).
#   fuzz/run.sh                          every target side by side: replay, then a fixed seed
#                                        and run count: the same inputs every time (CI)
#   fuzz/run.sh TARGET [SECONDS [JOBS]]  one target (e.g. fuzz_dcp): replay, then fuzz for
#                                        SECONDS with JOBS workers; findings and the run's
#                                        log (run.log) land in build-fuzz/findings/TARGET/
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=$(realpath -m "${FUZZ_BUILD:-build-fuzz}")
SAMPLES=$(realpath -m "${LUMIVAR_SAMPLES:-../shared/samples}")
REGRESSIONS=$(realpath tests/corpus/regressions)
FUZZ=$(realpath fuzz)
TARGETS=(fuzz_decoder fuzz_dng_read fuzz_dcp fuzz_photocd fuzz_plist fuzz_preview fuzz_proxy)

# Per target: seed maker, dictionary, largest input, runs of the fixed-seed run (CI), and
# which real samples join the seeds (all, dng, or none).
seed_maker() {
  case $1 in
    fuzz_decoder) echo make_fuzz_corpus ;;
    fuzz_dng_read) echo make_dng_fuzz_corpus ;;
    *) echo "make_parser_seeds ${1#fuzz_}" ;;
  esac
}
dictionary() {
  case $1 in
    fuzz_decoder) echo decoder.dict ;;
    fuzz_dcp) echo dcp.dict ;;
    fuzz_photocd) echo photocd.dict ;;
    fuzz_plist) echo plist.dict ;;
    fuzz_preview | fuzz_proxy) echo jpeg-tiff.dict ;;
  esac
}
max_len() {
  case $1 in
    fuzz_dng_read | fuzz_preview) echo 4194304 ;;
    fuzz_dcp | fuzz_plist) echo 65536 ;;
    *) echo 262144 ;;
  esac
}
ci_runs() {
  case $1 in
    fuzz_decoder) echo 3000 ;;
    fuzz_dng_read) echo 2000 ;;
    fuzz_photocd | fuzz_preview) echo 500 ;;
    fuzz_proxy) echo 1500 ;;
    *) echo 5000 ;;
  esac
}
samples() {
  case $1 in
    fuzz_decoder) echo all ;;
    fuzz_dng_read) echo dng ;;
    fuzz_preview) echo small ;;
    *) echo none ;;
  esac
}

if (($#)); then
  [[ " ${TARGETS[*]} " == *" $1 "* ]] || { echo "unknown target $1 (${TARGETS[*]})" >&2; exit 2; }
  selected=("$1")
else
  selected=("${TARGETS[@]}")
fi

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DLUMIVAR_FUZZ=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target "${selected[@]}" make_fuzz_corpus make_dng_fuzz_corpus make_parser_seeds

# libFuzzer writes findings and the fuzz-N.log of each job into its working folder: the
# build folder, never the source tree.
cd "$BUILD"
export ASAN_OPTIONS=abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fuzz_one() {
  local target=$1 seconds=${2:-} jobs=${3:-1}
  local fuzzer="$BUILD/fuzz/$target" findings="$BUILD/findings/$target"
  local seeds="$BUILD/seeds/$target" work="$BUILD/corpus/$target"
  local limits=(-timeout=20 -rss_limit_mb=4096 -max_len="$(max_len "$target")")
  local dict
  dict=$(dictionary "$target")
  [ -n "$dict" ] && limits+=(-dict="$FUZZ/$dict")
  mkdir -p "$findings"

  local saved=()
  if [ -d "$REGRESSIONS/$target" ]; then
    mapfile -t saved < <(find "$REGRESSIONS/$target" -type f ! -name '*.expected' ! -name 'README*' | sort)
  fi
  if ((${#saved[@]})); then
    echo "== $target: replaying ${#saved[@]} saved inputs"
    "$fuzzer" "${limits[@]}" -artifact_prefix="$findings/" "${saved[@]}"
  fi

  rm -rf "$seeds" && mkdir -p "$seeds" "$work"
  # shellcheck disable=SC2046 # the maker's name and its argument
  "$BUILD/fuzz/"$(seed_maker "$target") "$seeds"
  # Real files are read where they are; the fuzzer writes only into its first folder.
  local dirs=("$work" "$seeds")
  if [ -d "$SAMPLES" ]; then
    case $(samples "$target") in
      all) dirs+=("$SAMPLES") ;;
      dng | small)
        local linked="$BUILD/samples/$target" pattern='*'
        [ "$(samples "$target")" = dng ] && pattern='*.dng'
        rm -rf "$linked" && mkdir -p "$linked"
        find "$SAMPLES" -maxdepth 1 -type f -iname "$pattern" ! -iname '*.md' -size -4M \
             -exec ln -sf {} "$linked/" \;
        dirs+=("$linked") ;;
    esac
  fi

  if [ -z "$seconds" ]; then
    echo "== $target: fixed-seed run"
    rm -rf "$work" && mkdir -p "$work"
    "$fuzzer" "${limits[@]}" -seed=1 -runs="${FUZZ_RUNS:-$(ci_runs "$target")}" \
              -artifact_prefix="$findings/" "${dirs[@]}"
  else
    # Fork mode goes on past a finding, so a long run collects every one of them.
    echo "== $target: fuzzing for $seconds s with $jobs workers"
    (cd "$findings" && "$fuzzer" "${limits[@]}" -max_total_time="$seconds" -fork="$jobs" -ignore_crashes=1 \
                         -ignore_timeouts=1 -ignore_ooms=1 -print_final_stats=1 -artifact_prefix="$findings/" \
                         "${dirs[@]}" 2>&1 | tee "$findings/run.log")
  fi
}

if (($# > 1)); then
  fuzz_one "$1" "$2" "${3:-1}"
  exit
fi
# The targets run side by side, each single-threaded; a log per target, shown whole when it
# failed and by its last lines when not.
pids=()
for target in "${selected[@]}"; do
  mkdir -p "$BUILD/findings/$target"
  (start=$SECONDS; fuzz_one "$target"; echo "== $target: $((SECONDS - start)) s") \
    >"$BUILD/findings/$target/ci.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!selected[@]}"; do
  log="$BUILD/findings/${selected[$i]}/ci.log"
  if wait "${pids[$i]}"; then
    grep -E '^== |^Done|^INFO: seed corpus' "$log"
  else
    cat "$log"
    echo "== ${selected[$i]}: FAILED"
    failed=1
  fi
done
exit $failed
