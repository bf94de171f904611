#!/usr/bin/env bash
# spotweave lines from file to file, and its refusals (one message each, no output file).
source "$(dirname "$0")/lib/e2e.bash"
cli_start lines "--etf-passes"
"$bin" lines "$tmp/in.png" -o "$tmp/out.png" >"$tmp/stdout" 2>"$tmp/stderr"
check "lines runs with the defaults" test $? -eq 0
check "a PNG of the input's size" test "$(png_size "$tmp/out.png")" = "451 300"
check "reports the stages" grep -q "analysis .* flow passes .* drawing" "$tmp/stdout"
check "no progress bar off a terminal" test "$(grep -vc '^Complex compute took' "$tmp/stderr")" -eq 0
check "options and jpeg output" "$bin" lines "$data/camera_512x512_grey.png" --sst-radius 2 \
    --etf-passes 1 --etf-radius 2 --inner-radius 1 --outer-radius 3 --flow-steps 3 \
    --cross-steps 1 --tau 0.97 --threshold 0.99 -q -o "$tmp/out.jpg"
check "jpeg magic" is_jpeg "$tmp/out.jpg"
"$bin" lines "$tmp/in.png" -q -o "$tmp/quiet.png" >"$tmp/stdout" 2>"$tmp/stderr"
check "quiet: runs" test $? -eq 0 -a -s "$tmp/quiet.png"
check "quiet: nothing on either stream" test ! -s "$tmp/stdout" -a ! -s "$tmp/stderr"
check "no flow passes" "$bin" lines "$tmp/in.png" --etf-passes=0 --flow-steps=0 -o "$tmp/flat.png"

cli_refusals lines
expect_failure "radius too large" "sst-radius" lines "$tmp/in.png" --sst-radius 64 -o "$tmp/d.png"
expect_failure "negative passes" "etf-passes" lines "$tmp/in.png" --etf-passes -1 -o "$tmp/d.png"
expect_failure "tau not a number" "tau" lines "$tmp/in.png" --tau abc -o "$tmp/d.png"
expect_failure "threshold out of range" "threshold" lines "$tmp/in.png" --threshold 3 -o "$tmp/d.png"
expect_failure "threshold not finite" "threshold" lines "$tmp/in.png" --threshold nan -o "$tmp/d.png"
check "no stray files" files_are "bad.png flat.png in.png out.jpg out.png quiet.png stderr stdout"

e2e_finish
