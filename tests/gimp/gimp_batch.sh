#!/usr/bin/env bash
# gimp_batch.sh OUT: runs gimp_checks.scm in one headless GIMP with the built
# plug-in, and spotweave on the same inputs, into OUT for test_gimp to compare.
set -u
out=$1
data="$SW_TESTDATA_DIR"
bin="$SW_BIN_DIR/spotweave"
# Small settings keep each run under a second; the comparisons hold at any size.
iterations=30
side=160

if ! command -v gimp-console-2.10 >/dev/null 2>&1; then
    echo "the GIMP tests need gimp-console-2.10 (scripts/bootstrap installs gimp)" >&2
    [ -n "${SW_CI:-}" ] && exit 1
    exit 77
fi
rm -rf "$out" && mkdir -p "$out" || exit 1
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
# GIMP's profile, caches and settings stay in the temporary folder; GEGL keeps its modules'
# allocations until the plug-in exits: no leak reports.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export GIMP2_DIRECTORY="$profile/gimp" XDG_CONFIG_HOME="$profile/config" XDG_CACHE_HOME="$profile/cache"
mkdir -p "$GIMP2_DIRECTORY/plug-ins/spotweave-gimp" "$GIMP2_DIRECTORY/gradients"
cp "$SW_GIMP_PLUGIN" "$GIMP2_DIRECTORY/plug-ins/spotweave-gimp/" || exit 1

setup="(define sw-samples \"$data\") (define sw-out \"$out\")"
setup+=" (define sw-iterations $iterations) (define sw-side $side)"
timeout 240 gimp-console-2.10 -i -d -f \
    -b "(begin $setup (load \"$SW_SOURCE_DIR/tests/gimp/gimp_checks.scm\"))" \
    -b '(gimp-quit 0)' >"$out/gimp.log" 2>&1
status=$?
if [ $status -ne 0 ] || grep -q "experienced an execution error" "$out/gimp.log"; then
    echo "gimp-console failed (status $status):" >&2
    cat "$out/gimp.log" >&2
    exit 1
fi

# spotweave's pictures of the same inputs and settings.
fail=0
sw() { "$bin" "$@" -q || { echo "spotweave $* failed" >&2; fail=1; }; }
astronaut="$data/astronaut_512x512_rgb.png"
sw render "$astronaut" -n $iterations --max-side $side -o "$out/ref-pattern.png"
sw render "$astronaut" -n $((iterations + 5)) --max-side $((side / 2)) -o "$out/ref-last.png"
sw render "$out/rect-in.png" -n $iterations --max-side $side -o "$out/ref-rect.png"
sw render "$data/cat_451x300_rgba.png" -n $iterations --max-side $side -o "$out/ref-cat.png"
sw lines "$astronaut" -o "$out/ref-lines.png"
sw lines "$astronaut" --sst-radius 2 --etf-passes 1 --etf-radius 4 --inner-radius 3 \
    --outer-radius 6 --flow-steps 6 --cross-steps 1 --tau 0.95 --threshold 0.999 \
    -o "$out/ref-lines-custom.png"
exit $fail
