#!/usr/bin/env bash
# spotweave blur from file to file, and its refusals: every failure exits
# non-zero with one clear message and leaves no output file.
set -u
bin="$SW_BIN_DIR/spotweave"
data="$SW_TESTDATA_DIR"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
check() { # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fails=$((fails + 1)); fi
}
expect_failure() { # expect_failure DESCRIPTION PATTERN ARGS...
    local what=$1 pattern=$2; shift 2
    local err status
    err=$("$bin" "$@" 2>&1 >/dev/null); status=$?
    check "$what: exits non-zero" test "$status" -ne 0
    check "$what: says '$pattern'" grep -q -- "$pattern" <<<"$err"
    check "$what: one line" test "$(wc -l <<<"$err")" -eq 1
}
png_size() { # prints "W H" from a PNG header
    od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'
}

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
expect_failure "bad radius" "radius" blur "$tmp/in.png" -r 64 -o "$tmp/d.png"
expect_failure "no output" "no output" blur "$tmp/in.png"
expect_failure "unknown option" "unknown option" blur "$tmp/in.png" --frobnicate -o "$tmp/e.png"
check "no stray files" test "$(ls "$tmp" | sort | tr '\n' ' ')" = "bad.png in.png out.jpg out.png "

exit $((fails > 0))
