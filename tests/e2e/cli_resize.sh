#!/usr/bin/env bash
# spotweave resize from file to file, and its refusals: every failure exits
# non-zero with one clear message and leaves no output file.
source "$(dirname "$0")/lib/e2e.bash"
bin="$SW_BIN_DIR/spotweave"
prog="$bin"

check "help" "$bin" resize --help
check "listed in program help" grep -q resize <("$bin" --help)

cp "$data/cat_451x300_rgba.png" "$tmp/in.png"
before=$(md5sum <"$tmp/in.png")
check "long side enlarges" "$bin" resize "$tmp/in.png" --long-side 1024 -o "$tmp/big.png"
# 300 x 1024 / 451 = 681.1
check "long side keeps the aspect" test "$(png_size "$tmp/big.png")" = "1024 681"
check "input untouched" test "$(md5sum <"$tmp/in.png")" = "$before"
check "long side shrinks" "$bin" resize "$data/mountains_2048x1536.jpg" -l 1024 -o "$tmp/small.png"
check "shrunk size" test "$(png_size "$tmp/small.png")" = "1024 768"
check "portrait" "$bin" resize "$data/dogs_portrait_512x769_rgb.png" --long-side=100 -o "$tmp/p.png"
# 512 x 100 / 769 = 66.6
check "portrait size" test "$(png_size "$tmp/p.png")" = "67 100"
check "exact size" "$bin" resize "$tmp/in.png" --size 640x480 -o "$tmp/exact.png"
check "exact size ignores aspect" test "$(png_size "$tmp/exact.png")" = "640 480"
check "one pixel" "$bin" resize "$tmp/in.png" -s 1X1 -o "$tmp/one.png"
check "one pixel size" test "$(png_size "$tmp/one.png")" = "1 1"
check "jpeg output" "$bin" resize "$tmp/in.png" -s 64x64 -o "$tmp/out.jpg"
check "jpeg magic" test "$(od -An -tx1 -N2 "$tmp/out.jpg" | tr -d ' ')" = "ffd8"

expect_failure "neither option" "exactly one of" resize "$tmp/in.png" -o "$tmp/a.png"
expect_failure "both options" "exactly one of" resize "$tmp/in.png" -l 10 -s 10x10 -o "$tmp/a.png"
expect_failure "zero long side" "long side" resize "$tmp/in.png" -l 0 -o "$tmp/a.png"
expect_failure "negative long side" "long side" resize "$tmp/in.png" -l -5 -o "$tmp/a.png"
expect_failure "huge long side" "1 to 16384" resize "$tmp/in.png" -l 16385 -o "$tmp/a.png"
expect_failure "not a number" "long side" resize "$tmp/in.png" -l big -o "$tmp/a.png"
expect_failure "zero width" "WxH" resize "$tmp/in.png" -s 0x10 -o "$tmp/a.png"
expect_failure "huge height" "WxH" resize "$tmp/in.png" -s 10x99999999999 -o "$tmp/a.png"
expect_failure "malformed size" "WxH" resize "$tmp/in.png" -s 640 -o "$tmp/a.png"
expect_failure "three sides" "WxH" resize "$tmp/in.png" -s 2x3x4 -o "$tmp/a.png"
check "bad sizes: no output" test ! -e "$tmp/a.png"
expect_failure "missing input" "No such file" resize "$tmp/none.png" -l 10 -o "$tmp/b.png"
printf 'not a picture' >"$tmp/bad.png"
expect_failure "undecodable input" "not an image" resize "$tmp/bad.png" -l 10 -o "$tmp/b.png"
check "bad inputs: no output" test ! -e "$tmp/b.png"
expect_failure "unwritable output" "cannot write" resize "$tmp/in.png" -l 10 -o "$tmp/no/such/dir/c.png"
check "unwritable output: nothing created" test ! -e "$tmp/no"
expect_failure "output is input" "is the input" resize "$tmp/in.png" -l 10 -o "$tmp/in.png"
check "output is input: input untouched" test "$(md5sum <"$tmp/in.png")" = "$before"
expect_failure "no output" "no output" resize "$tmp/in.png" -l 10
expect_failure "two inputs" "one input" resize "$tmp/in.png" "$tmp/in.png" -l 10 -o "$tmp/d.png"
expect_failure "unknown option" "unknown option" resize "$tmp/in.png" --frobnicate -o "$tmp/e.png"
check "no stray files" test "$(ls "$tmp" | sort | tr '\n' ' ')" = "bad.png big.png exact.png in.png one.png out.jpg p.png small.png "

e2e_finish
