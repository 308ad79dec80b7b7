#!/usr/bin/env bash
# Runs a Windows program under the Wine of its own architecture (read from its PE
# header: 32-bit Wine for i686, wine64 for x86_64), in a fresh prefix beside it and
# with a terminal (script), which Wine needs to give the program a console. The
# program's output goes to a log that is shown afterwards, free of the terminal's
# control codes. The exit status is the program's; a Wine that cannot start at all, or
# a kernel that cannot run 32-bit programs, is a skip that says what did not run.
#
#   WINE=...          the loader to use instead of the architecture's own
#   WINE_TIMEOUT=120  seconds the program may run
set -euo pipefail
source "$(dirname "$0")/../../tools/skips.sh"
exe=${1:?usage: run-under-wine.sh program.exe [arguments...]}
shift
dir=$(cd "$(dirname "$exe")" && pwd)
exe=$dir/$(basename "$exe")
name=$(basename "$exe")
timeout=${WINE_TIMEOUT:-120}

# The machine field of the PE header: at the offset stored at 0x3c, after "PE\0\0".
pe=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j$((pe + 4)) -N2 "$exe" | tr -d ' ')
case $machine in
    014c) arch=win32 bits=32 wine=${WINE:-/usr/lib/wine/wine} package=wine32:i386 ;;
    8664) arch=win64 bits=64 wine=${WINE:-/usr/lib/wine/wine64} package=wine64 ;;
    *) echo "FAIL: $name is not an i686 or x86_64 Windows program (machine $machine)" >&2; exit 1 ;;
esac
wineserver=${WINESERVER:-/usr/lib/wine/wineserver}

export WINEPREFIX=$dir/wineprefix
export WINEARCH=$arch
export WINEDEBUG=${WINEDEBUG:--all}
# No .NET or HTML engine installers, no desktop menu entries: a console program needs
# none of them, and the prefix is made in seconds.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

rm -rf "$WINEPREFIX"
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT

if [[ ! -x $wine ]]; then
    note_skip "no $bits-bit Wine at $wine (Debian package $package): $name did not run"
    exit 0
fi
# The loader is a program of the same architecture: where the kernel cannot run it
# (no IA-32 emulation), nothing of that Wine can run.
if ! probe=$("$wine" --version 2>&1); then
    if [[ $probe == *"Exec format error"* || $probe == *"cannot execute binary file"* ]]; then
        note_skip "this kernel cannot run $bits-bit programs ($wine: Exec format error): $name did not run under $bits-bit Wine"
        exit 0
    fi
    echo "FAIL: $wine --version: $probe" >&2
    exit 1
fi
if ! timeout 60 "$wine" wineboot.exe --init >"$dir/wineboot.log" 2>&1; then
    note_skip "$bits-bit Wine cannot start here (see $dir/wineboot.log): $name did not run"
    exit 0
fi

log=$dir/$(basename "$exe" .exe).log
command=$(printf '%q ' "$wine" "$exe" "$@")
status=0
timeout "$timeout" script -qec "$command >$(printf '%q' "$log") 2>&1" /dev/null </dev/null >/dev/null ||
    status=$?
tr -d '\r' <"$log"
[[ $status -eq 124 ]] && echo "FAIL: $name did not finish within $timeout s" >&2
exit "$status"
