#!/usr/bin/env bash
# Running out of memory: under a sweep of memory limits each program either
# succeeds or says "out of memory", exits 1 and writes nothing; none crashes.
# Plain builds limit the address space (ulimit -v). Sanitizer runtimes reserve
# huge address ranges, so the ASan build caps each allocation instead; its C++
# allocation failures abort, which keeps that sweep to the programs whose
# large buffers the image library allocates.
source "$(dirname "$0")/lib/e2e.bash"
bin="$SW_BIN_DIR/spotweave"
host="$SW_BIN_DIR/spotweave-host"
export XDG_DESKTOP_DIR="$tmp/desktop" XDG_CONFIG_HOME="$tmp/config"
unset DISPLAY WAYLAND_DISPLAY
mkdir "$tmp/desktop" "$tmp/config"

# Noise does not compress, so the PNG encoder's buffers grow as large as the
# picture.
{ printf 'P6\n800 600\n255\n'; head -c 1440000 /dev/urandom; } >"$tmp/noise.ppm"
printf 'Amnt bool true\n' >"$tmp/lines.action"
inputs=$(ls -A "$tmp")

sanitized=false
grep -qE '^SPOTWEAVE_(ASAN|TSAN):BOOL=ON' "$SW_BIN_DIR/CMakeCache.txt" && sanitized=true
if grep -q '^SPOTWEAVE_TSAN:BOOL=ON' "$SW_BIN_DIR/CMakeCache.txt"; then
    echo "skipped: the ThreadSanitizer build looks for races; the plain and ASan builds sweep memory"
    e2e_finish
fi

# limited MIB COMMAND...: MiB of address space, or a MiB cap on each allocation
# under a sanitizer.
limited() {
    local mib=$1
    shift
    if $sanitized; then
        local options="allocator_may_return_null=1:max_allocation_size_mb=$mib"
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}$options:detect_leaks=0" \
            TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}$options" "$@"
    else
        (ulimit -v $((mib * 1024)) && exec "$@")
    fi
}

sweep() { # sweep NAME "MIBS" COMMAND...  (the command writes $tmp/out.png)
    local name=$1 limits=$2 limit status ok=0 short=0 bad=0
    shift 2
    for limit in $limits; do
        limited "$limit" "$@" >/dev/null 2>"$tmp/err"
        status=$?
        if [ "$status" -eq 0 ] && [ -s "$tmp/out.png" ]; then
            ok=$((ok + 1))
        elif [ "$status" -eq 1 ] && grep -q "out of memory" "$tmp/err" &&
            [ "$(ls -A "$tmp" | grep -v '^err$')" = "$inputs" ]; then
            short=$((short + 1))
        else
            bad=$((bad + 1))
            echo "     $limit MiB: status $status, files: $(ls -A "$tmp" | tr '\n' ' ')"
            head -c 400 "$tmp/err"
        fi
        rm -f "$tmp/out.png" "$tmp/flow.png" "$tmp/err"
    done
    check "$name: clean at every limit" test "$bad" -eq 0
    check "$name: some limits run short" test "$short" -gt 0
    check "$name: enough memory succeeds" test "$ok" -gt 0
}

# The lowest MiB of address space (in steps of 2) at which COMMAND gets far
# enough to say PATTERN: the programs' own floor, which the libraries they load
# set, and which the sweeps start from.
floor_of() { # floor_of PATTERN COMMAND...
    local pattern=$1 mib
    shift
    for ((mib = 4; mib < 1024; mib += 2)); do
        limited "$mib" "$@" 2>&1 | grep -q -- "$pattern" && break
    done
    echo "$mib"
}

# MiB from first to last (above floor) by step, then 8 GiB, which every run
# fits whatever the core count (each pool thread reserves its stack).
range() { echo $(seq $(($1 + $2)) "$4" $(($1 + $3))) 8192; }

if $sanitized; then
    sweep "blur" "1 2 3 4 6 8" "$bin" blur "$tmp/noise.ppm" -r 3 -o "$tmp/out.png"
    sweep "lines" "1 2 3 4 6 8 12 16" "$bin" lines "$tmp/noise.ppm" -q -o "$tmp/out.png"
else
    low=$(floor_of "usage:" "$bin" --help)
    # The host loads the plug-in before it looks at its input.
    host_low=$(floor_of "none.png.*No such file" "$host" "$tmp/none.png" "$tmp/out.png")
    sweep "blur" "$(range "$low" 0 16 1)" "$bin" blur "$tmp/noise.ppm" -r 3 -o "$tmp/out.png"
    sweep "resize" "$(range "$low" 0 48 4)" "$bin" resize "$tmp/noise.ppm" -s 1600x1200 \
        -o "$tmp/out.png"
    sweep "lines" "$(range "$low" 0 60 4)" "$bin" lines "$tmp/noise.ppm" -q -o "$tmp/out.png"
    sweep "render" "$(range "$low" 0 96 16)" "$bin" render "$tmp/noise.ppm" -n 2 -q \
        --flow "$tmp/flow.png" -o "$tmp/out.png"
    sweep "host" "$(range "$host_low" 0 80 16)" "$host" --play "$tmp/lines.action" \
        "$tmp/noise.ppm" "$tmp/out.png"
fi

e2e_finish
