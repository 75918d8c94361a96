#!/bin/bash
# Times our roads beside the peer developer's command line, runs paired and alternated so
# that a shared machine's load falls on both alike. Whole processes under /usr/bin/time -v
# (wall, user + system CPU, peak resident). The peer runs only as a black box.
#   bench/compare-peer.sh BUILD_DIR BENCH.dng [RUNS] > results.txt
set -u
build=${1:?usage: compare-peer.sh BUILD_DIR BENCH.dng [RUNS]}
dng=${2:?usage: compare-peer.sh BUILD_DIR BENCH.dng [RUNS]}
runs=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
samples=${LUMIVAR_SAMPLES:-$here/../../shared/samples}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LUMIVAR_HOME=$work/home CI=true

timed() { # LABEL COMMAND...: one line "LABEL wall cpu peak"
    local label=$1; shift
    /usr/bin/time -v -o "$work/time" "$@" >"$work/out" 2>&1
    local status=$?
    awk -v l="$label" -v s=$status -F': ' '
        /Elapsed \(wall clock\)/ { n = split($2, t, ":"); w = 0; for (i = 1; i <= n; i++) w = w * 60 + t[i] }
        /User time/ { u = $2 } /System time/ { k = $2 } /Maximum resident/ { m = $2 }
        END { printf "%s wall %.2f cpu %.2f peak_MiB %.0f status %d\n", l, w, u + k, m / 1024, s }' "$work/time"
    grep -E "^  (decode|peak)" "$work/out" | sed "s/^/$label /"
}

peer() { # LABEL IN OUT [conf...]: the peer refuses to write over a file
    local label=$1 in=$2 out=$3; shift 3
    rm -f "$out"
    timed "$label" darktable-cli "$in" "$out" --core --configdir "$work/peer" "$@"
}

# One X server for the whole script, started before any timing: a photographer's display is
# already running, and the peer's command line starts none.
exec 3< <(Xvfb -displayfd 1 -screen 0 1920x1200x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display <&3 || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display
trap 'kill "$xvfb_pid" 2>/dev/null; rm -rf "$work"' EXIT

road() { # LABEL SCRIPT
    timed "$1" "$build/app/main/lumivar" --automation "$2" --screenshots "$work/shots"
}

printf 'open %s\nwait-image 300\nexport jpeg %s\nquit\n' "$dng" "$work/road.jpg" >"$work/jpeg.lvs"
printf 'open %s\nwait-image 300\nexport tiff %s\nquit\n' "$dng" "$work/road.tiff" >"$work/tiff.lvs"
printf 'open %s\nwait-image 300\nquit\n' "$dng" >"$work/open.lvs"

echo "peer: $(darktable-cli --version 2>&1 | head -1)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
# One untimed peer run first: it builds its configuration folder and caches.
darktable-cli "$dng" "$work/warm.jpg" --core --configdir "$work/peer" >/dev/null 2>&1
for i in $(seq "$runs"); do
    timed "render_file-24MP" "$build/bench/render_file" --stats "$dng" "$work/rf.tiff"
    peer "peer-24MP-tiff16" "$dng" "$work/peer.tif" --conf plugins/imageio/format/tiff/bpp=16
    road "window-jpeg" "$work/jpeg.lvs"
    peer "peer-24MP-jpeg" "$dng" "$work/peer.jpg"
    road "window-tiff" "$work/tiff.lvs"
    road "window-open" "$work/open.lvs"
    for f in PowerShotG2_CRW_0304.CRW BMPCC_cinemadng_frame.dng; do
        timed "render_file-$f" "$build/bench/render_file" --stats "$samples/$f" "$work/rf.tiff"
        peer "peer-$f" "$samples/$f" "$work/peer.tif" --conf plugins/imageio/format/tiff/bpp=16
    done
    echo "load after run $i: $(cut -d' ' -f1-3 /proc/loadavg)"
done
