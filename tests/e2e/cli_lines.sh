#!/usr/bin/env bash
# spotweave lines from file to file, and its refusals: every failure exits
# non-zero with one clear message, before any work, and leaves no output file.
source "$(dirname "$0")/lib/e2e.bash"
bin="$SW_BIN_DIR/spotweave"
prog="$bin"

check "help" "$bin" lines --help
check "help names the options" grep -q -- "--etf-passes" <("$bin" lines --help)
check "listed by the program" grep -q "lines" <("$bin" --help)

cp "$data/cat_451x300_rgba.png" "$tmp/in.png"
before=$(md5sum <"$tmp/in.png")
"$bin" lines "$tmp/in.png" -o "$tmp/out.png" >"$tmp/stdout" 2>"$tmp/stderr"
check "lines runs with the defaults" test $? -eq 0
check "output is a PNG" grep -q PNG <(head -c 4 "$tmp/out.png")
check "output keeps the size" test "$(png_size "$tmp/out.png")" = "451 300"
check "input untouched" test "$(md5sum <"$tmp/in.png")" = "$before"
check "reports the stages" grep -q "analysis .* flow passes .* drawing" "$tmp/stdout"
check "no progress bar off a terminal" test "$(grep -vc '^Complex compute took' "$tmp/stderr")" -eq 0
check "options and jpeg output" "$bin" lines "$data/camera_512x512_grey.png" --sst-radius 2 \
    --etf-passes 1 --etf-radius 2 --inner-radius 1 --outer-radius 3 --flow-steps 3 \
    --cross-steps 1 --tau 0.97 --threshold 0.99 -q -o "$tmp/out.jpg"
check "jpeg magic" test "$(od -An -tx1 -N2 "$tmp/out.jpg" | tr -d ' ')" = "ffd8"
"$bin" lines "$tmp/in.png" -q -o "$tmp/quiet.png" >"$tmp/stdout" 2>"$tmp/stderr"
check "quiet: runs" test $? -eq 0 -a -s "$tmp/quiet.png"
check "quiet: nothing on either stream" test ! -s "$tmp/stdout" -a ! -s "$tmp/stderr"
check "no flow passes" "$bin" lines "$tmp/in.png" --etf-passes=0 --flow-steps=0 -o "$tmp/flat.png"

expect_failure "missing input" "No such file" lines "$tmp/none.png" -o "$tmp/a.png"
printf 'not a picture' >"$tmp/bad.png"
expect_failure "undecodable input" "not an image" lines "$tmp/bad.png" -o "$tmp/b.png"
expect_failure "unwritable output" "cannot write" lines "$tmp/in.png" -o "$tmp/no/such/dir/c.png"
check "unwritable output: nothing created" test ! -e "$tmp/no"
expect_failure "output is input" "is the input" lines "$tmp/in.png" -o "$tmp/in.png"
check "output is input: input untouched" test "$(md5sum <"$tmp/in.png")" = "$before"
expect_failure "radius too large" "sst-radius" lines "$tmp/in.png" --sst-radius 64 -o "$tmp/d.png"
expect_failure "negative passes" "etf-passes" lines "$tmp/in.png" --etf-passes -1 -o "$tmp/d.png"
expect_failure "tau not a number" "tau" lines "$tmp/in.png" --tau abc -o "$tmp/d.png"
expect_failure "threshold out of range" "threshold" lines "$tmp/in.png" --threshold 3 -o "$tmp/d.png"
expect_failure "threshold not finite" "threshold" lines "$tmp/in.png" --threshold nan -o "$tmp/d.png"
expect_failure "two inputs" "one input" lines "$tmp/in.png" "$tmp/in.png" -o "$tmp/d.png"
expect_failure "no output" "no output" lines "$tmp/in.png"
expect_failure "unknown option" "unknown option" lines "$tmp/in.png" --sigma 2 -o "$tmp/e.png"
check "no stray files" test "$(ls "$tmp" | sort | tr '\n' ' ')" = \
    "bad.png flat.png in.png out.jpg out.png quiet.png stderr stdout "

e2e_finish
