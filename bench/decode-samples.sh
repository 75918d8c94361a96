#!/usr/bin/env bash
# Whole-program figures: wall time and peak memory (maximum resident set) of
# `lumivar-decode -T` on each sample file that decodes, median of 5 runs, as a Markdown table.
# Inputs are copied to a temporary folder first, since the program writes beside them.
# Usage: bench/decode-samples.sh [BUILD_DIR (build-release)] [SAMPLES_DIR (../shared/samples)]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
samples=${2:-$root/../shared/samples}
program=$build/tools/lumivar-decode
[ -x "$program" ] || { echo "build $program first (Release)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -n | sed -n 3p; }

echo "| file | wall time | peak memory |"
echo "|---|---|---|"
for file in "$samples"/* "$root"/samples/*.dng; do
    [ -f "$file" ] || continue
    case "$file" in *.md) continue ;; esac
    name=$(basename "$file")
    cp "$file" "$work/$name"
    times=()
    memories=()
    for _ in 1 2 3 4 5; do
        if ! /usr/bin/time -f "%e %M" -o "$work/time" "$program" -T "$work/$name" > /dev/null 2>&1; then
            times=()
            break
        fi
        read -r seconds kilobytes < "$work/time"
        times+=("$seconds")
        memories+=("$kilobytes")
    done
    rm -f "$work/$name" "$work/${name%.*}.tiff"
    [ ${#times[@]} -eq 5 ] || continue
    t=$(printf '%s\n' "${times[@]}" | median)
    m=$(printf '%s\n' "${memories[@]}" | median)
    printf '| %s | %s s | %s MiB |\n' "$name" "$t" "$(awk -v k="$m" 'BEGIN { printf "%.1f", k / 1024 }')"
done
