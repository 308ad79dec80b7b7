#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are not installed yet.
#
#   tools/install-deps.sh REQUIRED... [--optional OPTIONAL...]
#
# A package of another architecture (wine32:i386) first adds that architecture to dpkg.
# A mirror in mid-sync fails `apt-get update` for a while, and one missing index can
# make a single package uninstallable: so the update is tried a few times, whatever
# can be installed is, and each package left out gets one line with apt's reason. The
# script fails only when a required package is missing; an optional one is a check the
# tests skip, and is named in the run's list of skips (tools/skips.sh).
# As root it runs apt-get; otherwise it prints the commands to run.
#
#   APT_UPDATE_TRIES=3   times `apt-get update` is tried
#   APT_UPDATE_PAUSE=20  seconds between the tries
set -euo pipefail
source "$(dirname "$0")/skips.sh"

required=()
optional=()
for arg in "$@"; do
    case $arg in
        --optional) list=optional ;;
        *) if [[ ${list:-} == optional ]]; then optional+=("$arg"); else required+=("$arg"); fi ;;
    esac
done

installed() {
    [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true) == "install ok installed" ]]
}
is_optional() {
    local pkg
    for pkg in "${optional[@]}"; do [[ $pkg == "$1" ]] && return 0; done
    return 1
}

missing=()
for pkg in "${required[@]}" "${optional[@]}"; do
    installed "$pkg" || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

architectures=()
for pkg in "${missing[@]}"; do
    [[ $pkg == *:* ]] || continue
    arch=${pkg##*:}
    [[ $arch == "$(dpkg --print-architecture)" ]] && continue
    [[ " ${architectures[*]} " == *" $arch "* ]] && continue
    dpkg --print-foreign-architectures | grep -qx "$arch" || architectures+=("$arch")
done

if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages; install them with:" >&2
    for arch in "${architectures[@]}"; do
        echo "  sudo dpkg --add-architecture $arch" >&2
    done
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    for pkg in "${missing[@]}"; do
        is_optional "$pkg" || exit 1
    done
    note_skip "not installed (optional, not root): ${missing[*]}"
    exit 0
fi

for arch in "${architectures[@]}"; do
    echo "adding the $arch architecture to dpkg"
    dpkg --add-architecture "$arch"
done
export DEBIAN_FRONTEND=noninteractive
out=$(mktemp)
trap 'rm -f "$out"' EXIT

tries=${APT_UPDATE_TRIES:-3}
pause=${APT_UPDATE_PAUSE:-20}
for ((try = 1; ; ++try)); do
    apt-get update -qq >"$out" 2>&1 && break
    error=$(grep -m1 -E '^(E|W): ' "$out" || tail -1 "$out")
    if ((try >= tries)); then
        echo "apt-get update failed on try $try of $tries; installing what the indexes allow. Its error:"
        echo "  $error"
        break
    fi
    echo "apt-get update failed (try $try of $tries), again in $pause s: $error"
    sleep "$pause"
done

# apt's own words for why package $1 was not installed: its unmet dependency (or, when
# the break is further down, the first one apt names), and the error it ended with.
reason() {
    local unmet error
    unmet=$(awk -v pkg="$1" '
        /^ [^ ]+ : / { line = $0; sub(/^ +/, "", line); if ($1 == pkg) { print line; found = 1; exit }
                       if (first == "") first = line }
        END { if (!found && first != "") print first }' "$out")
    error=$(grep -m1 '^E: ' "$out" | sed 's/^E: //' || true)
    if [[ -n $unmet && -n $error ]]; then
        echo "$unmet ($error)"
    else
        echo "${unmet:-${error:-apt-get install failed}}"
    fi
}

apt_install() {
    apt-get install -y -q --no-install-recommends "$@" >"$out" 2>&1
}

echo "installing: ${missing[*]}"
declare -A why=()
if ! apt_install "${missing[@]}"; then
    # One package apt refuses fails the whole set: install the others one by one.
    for pkg in "${missing[@]}"; do
        installed "$pkg" || apt_install "$pkg" || why[$pkg]=$(reason "$pkg")
    done
fi
status=0
for pkg in "${missing[@]}"; do
    installed "$pkg" && continue
    if is_optional "$pkg"; then
        note_skip "$pkg not installed (optional): ${why[$pkg]:-not installed by apt-get}"
    else
        echo "MISSING: $pkg not installed (required): ${why[$pkg]:-not installed by apt-get}" >&2
        status=1
    fi
done
exit "$status"
