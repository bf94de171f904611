#!/usr/bin/env bash
# `cmake --install` into a prefix and `cpack -G DEB` from a built tree: every
# file in place and listed, the package's dependencies, and the programs run.
source "$(dirname "$0")/../e2e/lib/e2e.bash"
build="$SW_BIN_DIR"
sample="$data/cat_451x300_rgba.png"
gimp_plugin=$([ -e "$build/spotweave-gimp" ] && echo yes)
printf 'Amnt bool true\n' >"$tmp/broken.action"

# Runs the programs of a tree rooted at $1/$2 (prefix) on the sample.
programs_run() {
    local bin="$1/bin" out="$tmp/out-$(basename "$1")"
    mkdir -p "$out"
    "$bin/spotweave" render "$sample" -n 3 --max-side 64 -q -o "$out/pattern.png" &&
        test "$(png_size "$out/pattern.png")" = "451 300" &&
        "$bin/spotweave-host" --play "$tmp/broken.action" "$sample" "$out/lines.png" 2>/dev/null &&
        test "$(png_size "$out/lines.png")" = "451 300"
}

# ---- cmake --install -------------------------------------------------------------------------
quietly() { "$@" >/dev/null 2>&1; }
check "install into a prefix" quietly cmake --install "$build" --prefix "$tmp/prefix"
p="$tmp/prefix"
module=$(find "$p" -name Spotweave.so | head -1)
check "programs installed" test -x "$p/bin/spotweave" -a -x "$p/bin/spotweave-host"
check "module installed in a folder of its own" test "$(basename "$(dirname "$module")")" = spotweave
check "docs installed" test -f "$p/share/doc/spotweave/README.md" -a -f "$p/share/doc/spotweave/host.md"
check "the about box finds the docs beside the module" test -f "$(dirname "$module")/doc/host.md"
for page in spotweave spotweave-host; do
    check "manual page of $page" test -s "$p/share/man/man1/$page.1.gz"
done
check "the manual page shows the sub-commands' options" grep -q -- "--iterations" \
    <(zcat "$p/share/man/man1/spotweave.1.gz")
if [ -n "$gimp_plugin" ]; then
    check "GIMP plug-in in GIMP's plug-in folder" \
        test -x "$p/lib/gimp/2.0/plug-ins/spotweave-gimp/spotweave-gimp"
fi
check "the installed programs run, the host finds its module" programs_run "$p"

# ---- the Debian package --------------------------------------------------------------------------
check "cpack builds a package" quietly cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/pkg"
deb=$(ls "$tmp"/pkg/*.deb 2>/dev/null | head -1)
listing=$(dpkg-deb -c "$deb" 2>/dev/null | awk '{print $6}')
expected=(./usr/bin/spotweave ./usr/bin/spotweave-host /Spotweave.so
    ./usr/share/man/man1/spotweave.1.gz ./usr/share/man/man1/spotweave-host.1.gz
    ./usr/share/doc/spotweave/README.md)
[ -n "$gimp_plugin" ] && expected+=(./usr/lib/gimp/2.0/plug-ins/spotweave-gimp/spotweave-gimp)
for file in "${expected[@]}"; do
    check "package lists $file" grep -q -- "$file\$" <<<"$listing"
done
depends=$(dpkg-deb -f "$deb" Depends 2>/dev/null)
for lib in libc6 libstdc++6 libglfw3 liblz4-1; do
    check "package depends on $lib" grep -q "$lib " <<<"$depends"
done
[ -n "$gimp_plugin" ] && check "package depends on libgimp2.0" grep -q "libgimp2.0 " <<<"$depends"
check "package unpacks" dpkg-deb -x "$deb" "$tmp/root"
check "the unpacked programs run" programs_run "$tmp/root/usr"
e2e_finish
