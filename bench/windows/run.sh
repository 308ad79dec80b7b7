#!/usr/bin/env bash
# The Windows benchmark for each built architecture: makes the test folders with Linux
# tools (making 40,000 files through Wine takes minutes), then runs the benchmark
# program of each build under its own Wine, on the same folders, and prints its tables.
#
#   bench/windows/run.sh [BUILD_DIR...]   default: build/mingw-i686 build/mingw-x86_64
#   SIZES="2000 8000 32000 100000"        matches per folder
set -euo pipefail
cd "$(dirname "$0")/../.."
sizes=${SIZES:-2000 8000 32000 100000}
builds=("$@")
[[ ${#builds[@]} -gt 0 ]] || builds=(build/mingw-i686 build/mingw-x86_64)
temp=${TMPDIR:-/tmp}

# The same folders as the Linux benchmarks make: file0.txt... and a mark when complete.
folders=()
for n in $sizes; do
    dir=$temp/zarelin-bench-$n
    if [[ ! -e $dir/.complete ]]; then
        echo "making $dir ($n files)"
        mkdir -p "$dir"
        (cd "$dir" && seq 0 $((n - 1)) | sed 's/.*/file&.txt/' | xargs touch && touch .complete)
    fi
    # Wine's drive Z: is the root of the Linux file system.
    folders+=("Z:${dir//\//\\}")
done

for build in "${builds[@]}"; do
    echo
    WINE_TIMEOUT=900 tests/windows/run-under-wine.sh "$build/zarelin_windows_bench.exe" "${folders[@]}"
done
