#!/usr/bin/env bash
# spotweave blur from file to file, and its refusals: every failure exits
# non-zero with one clear message and leaves no output file.
source "$(dirname "$0")/lib/e2e.bash"
bin="$SW_BIN_DIR/spotweave"
prog="$bin"

check "help" "$bin" blur --help
check "program help" "$bin" --help

cp "$data/cat_451x300_rgba.png" "$tmp/in.png"
before=$(md5sum <"$tmp/in.png")
check "blur runs" "$bin" blur "$tmp/in.png" -r 3 -o "$tmp/out.png"
check "output is a PNG" grep -q PNG <(head -c 4 "$tmp/out.png")
check "output keeps the size" test "$(png_size "$tmp/out.png")" = "451 300"
check "input untouched" test "$(md5sum <"$tmp/in.png")" = "$before"
check "jpeg output" "$bin" blur "$data/mountains_2048x1536.jpg" -r 1 -o "$tmp/out.jpg"
check "jpeg magic" test "$(od -An -tx1 -N2 "$tmp/out.jpg" | tr -d ' ')" = "ffd8"

expect_failure "missing input" "No such file" blur "$tmp/none.png" -o "$tmp/a.png"
check "missing input: no output" test ! -e "$tmp/a.png"
printf 'not a picture' >"$tmp/bad.png"
expect_failure "undecodable input" "not an image" blur "$tmp/bad.png" -o "$tmp/b.png"
check "undecodable input: no output" test ! -e "$tmp/b.png"
expect_failure "unwritable output" "cannot write" blur "$tmp/in.png" -o "$tmp/no/such/dir/c.png"
check "unwritable output: nothing created" test ! -e "$tmp/no"
expect_failure "output is input" "is the input" blur "$tmp/in.png" -o "$tmp/in.png"
check "output is input: input untouched" test "$(md5sum <"$tmp/in.png")" = "$before"
mkfifo "$tmp/fifo"
expect_failure "output is a FIFO" "not a regular file" blur "$tmp/in.png" -o "$tmp/fifo"
check "output is a FIFO: still a FIFO" test -p "$tmp/fifo"
expect_failure "output is a device" "not a regular file" blur "$tmp/in.png" -o /dev/null
check "output is a device: still a device" test -c /dev/null
# 109 bytes whose header claims 13,435,069 x 12 pixels.
{ printf 'BM\x6d\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\xbd\0\xcd\0\x0c\0\0\0\x01\0\x18\0'
  head -c 79 /dev/zero; } >"$tmp/bomb.bmp"
expect_failure "huge claim" "image too large: 13435069 x 12" blur "$tmp/bomb.bmp" -o "$tmp/f.png"
SPOTWEAVE_MAX_PIXELS=135299 expect_failure "over the cap" "over 135299 pixels" \
    blur "$tmp/in.png" -o "$tmp/f.png"
SPOTWEAVE_MAX_PIXELS=135300 check "at the cap" "$bin" blur "$tmp/in.png" -o "$tmp/f.png"
SPOTWEAVE_MAX_PIXELS=lots expect_failure "bad cap" "SPOTWEAVE_MAX_PIXELS must be a whole number" \
    blur "$tmp/in.png" -o "$tmp/g.png"
expect_failure "bad radius" "radius" blur "$tmp/in.png" -r 64 -o "$tmp/d.png"
expect_failure "no output" "no output" blur "$tmp/in.png"
expect_failure "unknown option" "unknown option" blur "$tmp/in.png" --frobnicate -o "$tmp/e.png"
check "no stray files" test "$(ls "$tmp" | sort | tr '\n' ' ')" = "bad.png bomb.bmp f.png fifo in.png out.jpg out.png "

e2e_finish
