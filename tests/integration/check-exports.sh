#!/usr/bin/env bash
# libzarelin.so must export exactly the four entry points, with C linkage.
set -euo pipefail
exports=$(nm -D --defined-only "$1" | awk '$2 ~ /^[TtWiV]$/ {print $3}' | sort | tr '\n' ' ')
expected="ClosePlugin GetPluginInfo OpenPlugin SetStartupInfo "
if [[ "$exports" != "$expected" ]]; then
    echo "FAIL: $1 exports '$exports', expected '$expected'" >&2
    exit 1
fi
echo "exports OK: $exports"
