# Shared helpers of the end-to-end scripts; sourced, never run on its own.
# Sets data (the sample photos) and tmp (a fresh folder removed at exit).
# Each script sets prog to the program that expect_failure runs, and ends
# with e2e_finish.
set -u
data="$SW_TESTDATA_DIR"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0

check() { # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then echo "ok   $what"; else echo "FAIL $what"; fails=$((fails + 1)); fi
}

expect_failure() { # expect_failure DESCRIPTION PATTERN ARGS...  (runs "$prog" ARGS)
    local what=$1 pattern=$2; shift 2
    local err status
    err=$("$prog" "$@" 2>&1 >/dev/null); status=$?
    check "$what: exits non-zero" test "$status" -ne 0
    check "$what: says '$pattern'" grep -q -- "$pattern" <<<"$err"
    check "$what: one line" test "$(wc -l <<<"$err")" -eq 1
}

png_size() { # prints "W H" from a PNG header; nothing for a file that is not a PNG
    [ "$(od -An -tx1 -N4 "$1" 2>/dev/null | tr -d ' ')" = 89504e47 ] || return 0
    od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'
}

is_jpeg() { test "$(od -An -tx1 -N2 "$1" | tr -d ' ')" = ffd8; }

differ() { ! cmp -s "$1" "$2"; }

says() { local out; out=$("${@:2}") && grep -q -- "$1" <<<"$out"; } # says PATTERN COMMAND...: succeeds, prints it

files_are() { test "$(ls "${2:-$tmp}" | sort | tr '\n' ' ')" = "$1 "; } # files_are "A B" [DIR]

bomb_bmp() { # 109 bytes whose header claims 13,435,069 x 12 pixels
    { printf 'BM\x6d\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\xbd\0\xcd\0\x0c\0\0\0\x01\0\x18\0'
      head -c 79 /dev/zero; } >"$1"
}

# ---- spotweave's sub-commands ---------------------------------------------------------------
# cli_start SUB HELP-PATTERN: checks SUB's help and listing, copies the cat photo to $tmp/in.png
# and keeps its checksum in $before.
cli_start() {
    bin="$SW_BIN_DIR/spotweave" prog="$SW_BIN_DIR/spotweave"
    check "help" says "$2" "$bin" "$1" --help
    check "listed by the program" says "^  $1 " "$bin" --help
    cp "$data/cat_451x300_rgba.png" "$tmp/in.png"
    before=$(md5sum <"$tmp/in.png")
}

# cli_refusals SUB [OPTION...]: the refusals every sub-command shares, with the
# options SUB needs to get as far as its files; none writes a file or touches
# the input (after cli_start).
cli_refusals() {
    printf 'not a picture' >"$tmp/bad.png"
    expect_failure "missing input" "No such file" "$@" "$tmp/none.png" -o "$tmp/a.png"
    expect_failure "undecodable input" "not an image" "$@" "$tmp/bad.png" -o "$tmp/a.png"
    expect_failure "unwritable output" "cannot write" "$@" "$tmp/in.png" -o "$tmp/no/such/a.png"
    expect_failure "output is input" "is the input" "$@" "$tmp/in.png" -o "$tmp/in.png"
    expect_failure "no output" "no output" "$@" "$tmp/in.png"
    expect_failure "two inputs" "one input" "$@" "$tmp/in.png" "$tmp/in.png" -o "$tmp/a.png"
    expect_failure "unknown option" "unknown option" "$@" "$tmp/in.png" --frobnicate -o "$tmp/a.png"
    check "refusals: nothing written" test ! -e "$tmp/a.png" -a ! -e "$tmp/no"
    check "refusals: input untouched" test "$(md5sum <"$tmp/in.png")" = "$before"
}

e2e_finish() { exit $((fails > 0)); }
