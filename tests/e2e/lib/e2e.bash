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

png_size() { # prints "W H" from a PNG header
    od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'
}

differ() { ! cmp -s "$1" "$2"; }

e2e_finish() { exit $((fails > 0)); }
