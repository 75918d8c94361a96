#!/bin/sh
# Makes the 24-megapixel benchmark raw: a real photograph developed by our own decoder (linear,
# camera white balance), upscaled to 6000 x 4000, re-mosaiced RGGB with shot noise, written as
# an uncompressed 16-bit DNG. No other raw tool takes part.
#   bench/make-24mp-dng.sh BUILD_DIR [OUT.dng] [SOURCE_RAW]
set -eu
build=${1:?usage: make-24mp-dng.sh BUILD_DIR [OUT.dng] [SOURCE_RAW]}
out=${2:-bench-24mp.dng}
here=$(cd "$(dirname "$0")" && pwd)
source=${3:-${LUMIVAR_SAMPLES:-$here/../../shared/samples}/PowerShotG2_CRW_0304.CRW}
ppm=$(mktemp --suffix=.ppm)
trap 'rm -f "$ppm"' EXIT
"$build/tools/lumivar-decode" -4 -w -c "$source" >"$ppm"
"$build/bench/make_bench_dng" "$ppm" "$out" 6000 4000
echo "$out: $(stat -c %s "$out") bytes from $source"
