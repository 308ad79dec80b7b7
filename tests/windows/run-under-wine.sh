#!/usr/bin/env bash
# Runs a Windows test program under Wine, in a fresh prefix beside it and with a
# terminal (script), which Wine needs to give the program a console. The program's
# output goes to a log that is shown afterwards, free of the terminal's control codes.
# The exit status is the program's; only a Wine that cannot start at all is a skip.
set -euo pipefail
exe=${1:?usage: run-under-wine.sh program.exe [arguments...]}
shift
dir=$(cd "$(dirname "$exe")" && pwd)
exe=$dir/$(basename "$exe")
wine=${WINE:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-/usr/lib/wine/wineserver}

export WINEPREFIX=$dir/wineprefix
export WINEDEBUG=-all
# No .NET or HTML engine installers, no desktop menu entries: a console program needs
# none of them, and the prefix is made in seconds.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

rm -rf "$WINEPREFIX"
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT

if [[ ! -x $wine ]]; then
    echo "SKIP: no Wine at $wine (Debian package wine64): the Windows tests did not run"
    exit 0
fi
if ! timeout 60 "$wine" wineboot.exe --init >"$dir/wineboot.log" 2>&1; then
    echo "SKIP: Wine cannot start here (see $dir/wineboot.log): the Windows tests did not run"
    exit 0
fi

log=$dir/$(basename "$exe" .exe).log
command=$(printf '%q ' "$wine" "$exe" "$@")
status=0
timeout 120 script -qec "$command >$(printf '%q' "$log") 2>&1" /dev/null </dev/null >/dev/null ||
    status=$?
tr -d '\r' <"$log"
[[ $status -eq 124 ]] && echo "FAIL: $(basename "$exe") did not finish within 120 s" >&2
exit "$status"
