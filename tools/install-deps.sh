#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are not installed yet;
# a package of another architecture (wine32:i386) first adds that architecture to dpkg.
# As root it runs apt-get; otherwise it prints the commands to run and fails.
set -euo pipefail
missing=()
for pkg in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0
architectures=()
for pkg in "${missing[@]}"; do
    [[ $pkg == *:* ]] || continue
    arch=${pkg##*:}
    [[ $arch == "$(dpkg --print-architecture)" ]] && continue
    dpkg --print-foreign-architectures | grep -qx "$arch" || architectures+=("$arch")
done
if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages; install them with:" >&2
    for arch in $(printf '%s\n' "${architectures[@]}" | sort -u); do
        echo "  sudo dpkg --add-architecture $arch" >&2
    done
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
for arch in $(printf '%s\n' "${architectures[@]}" | sort -u); do
    echo "adding the $arch architecture to dpkg"
    dpkg --add-architecture "$arch"
done
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
