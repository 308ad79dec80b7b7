#!/usr/bin/env bash
# The set-up on a mirror in mid-sync, without one: stand-ins for apt-get, dpkg and
# dpkg-query first on PATH, whose `apt-get update` always fails as a re-syncing index
# does and whose `apt-get install` refuses the packages in $REFUSE with apt's words.
# Then run-under-wine.sh with no loader, which must skip, not fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $1" >>"$STATE/calls"
if [[ $1 == update ]]; then
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    exit 100
fi
packages=()
for arg in "${@:2}"; do [[ $arg == -* ]] || packages+=("$arg"); done
for pkg in "${packages[@]}"; do
    if [[ " $REFUSE " == *" $pkg "* ]]; then
        echo "The following packages have unmet dependencies:"
        echo " $pkg : Depends: zlib1g:i386 (>= 1:1.1.4) but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100
    fi
done
printf '%s\n' "${packages[@]}" >>"$STATE/installed"
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
grep -qxF -- "${!#}" "$STATE/installed" && echo "install ok installed" && exit 0
echo "dpkg-query: no packages found matching ${!#}" >&2
exit 1
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
case $1 in
    --print-architecture) echo amd64 ;;
    --print-foreign-architectures) cat "$STATE/architectures" ;;
    --add-architecture) echo "$2" >>"$STATE/architectures" ;;
esac
EOF
printf '#!/bin/sh\necho 0\n' >"$work/bin/id" # as root, whoever runs the test
chmod +x "$work/bin"/*

# name | arguments | refused | already installed | status | installed after | output
cases=(
    "optional refused|tmux samba --optional wine32:i386|wine32:i386||0|tmux samba|SKIP: wine32:i386 not installed (optional): wine32:i386 : Depends: zlib1g:i386"
    "required refused|tmux wine32:i386|wine32:i386||1|tmux|MISSING: wine32:i386 not installed (required): wine32:i386 : Depends"
    "update failed, nothing refused|tmux --optional wine32:i386|||0|tmux wine32:i386|installing what the indexes allow"
    "all installed|tmux --optional wine32:i386||tmux wine32:i386|0|tmux wine32:i386|"
)
for row in "${cases[@]}"; do
    IFS='|' read -r name arguments refused preinstalled want_status want_installed want_output <<<"$row"
    export STATE=$work/state REFUSE=$refused ZARELIN_SKIPS=$work/skips APT_UPDATE_PAUSE=0
    rm -rf "$STATE" "$ZARELIN_SKIPS" && mkdir -p "$STATE"
    : >"$STATE/architectures" && : >"$STATE/calls"
    printf '%s\n' $preinstalled >"$STATE/installed"
    status=0
    output=$(PATH=$work/bin:$PATH "$root/tools/install-deps.sh" $arguments 2>&1) || status=$?

    if (((status == 0) != (want_status == 0))); then fail "$name: exit status $status"; fi
    for pkg in $want_installed; do
        grep -qxF "$pkg" "$STATE/installed" || fail "$name: $pkg was not installed"
    done
    for pkg in $refused; do
        grep -qxF "$pkg" "$STATE/installed" && fail "$name: refused $pkg counts as installed"
    done
    [[ $output == *"$want_output"* ]] || fail "$name: output lacks '$want_output':"$'\n'"$output"
    updates=$(grep -c '^apt-get update' "$STATE/calls" || true)
    if [[ -z $preinstalled ]]; then
        [[ $updates -eq 3 ]] || fail "$name: apt-get update tried $updates times, not 3"
        grep -qx i386 "$STATE/architectures" || fail "$name: i386 was not added to dpkg"
    else
        [[ ! -s $STATE/calls ]] || fail "$name: apt-get ran with nothing missing"
    fi
    if [[ $want_output == SKIP:* ]]; then
        grep -qF "${want_output#SKIP: }" "$ZARELIN_SKIPS" || fail "$name: not in the run's skips"
    fi
done

# A 32-bit PE header (machine 0x14c) for a Wine that is not there.
exe=$work/wine/zarelin_windows_tests.exe
mkdir -p "$(dirname "$exe")"
{ printf 'MZ'; head -c 58 /dev/zero; printf '\x40\0\0\0PE\0\0\x4c\x01'; } >"$exe"
: >"$ZARELIN_SKIPS"
status=0
output=$(WINE=$work/no-wine WINESERVER=true "$root/tests/windows/run-under-wine.sh" "$exe" 2>&1) || status=$?
[[ $status -eq 0 ]] || fail "run-under-wine.sh without a loader failed ($status): $output"
want="SKIP: no 32-bit Wine at $work/no-wine (Debian package wine32:i386): zarelin_windows_tests.exe did not run"
[[ $output == "$want" ]] || fail "run-under-wine.sh said '$output'"
grep -qF "${want#SKIP: }" "$ZARELIN_SKIPS" || fail "run-under-wine.sh's skip is not in the run's skips"

[[ $failures -eq 0 ]] && echo "install-deps.sh and run-under-wine.sh degrade as they should"
exit $((failures > 0))
