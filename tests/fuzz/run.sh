#!/usr/bin/env bash
# Runs the fuzz targets one after the other, each for SECONDS on its seed corpus, and
# fails on the first finding of any (the input lands in BUILD/fuzz-work/artifacts).
# With $FUZZ_RUNS set, each runs for that many executions instead, SECONDS at most.
#
#   tests/fuzz/run.sh [--fresh] SECONDS [BUILD] [TARGET...]
#
# New inputs go to BUILD/fuzz-work/corpus, never into the seed corpus in the repo;
# --fresh starts that one empty, so that a short run takes the same time every time.
set -euo pipefail

fresh=0
if [[ ${1:-} == --fresh ]]; then
    fresh=1
    shift
fi
seconds=${1:?usage: run.sh [--fresh] SECONDS [BUILD] [TARGET...]}
build=${2:-build/fuzz}
shift $(($# < 2 ? $# : 2))
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(fuzz_word_insert fuzz_cursor fuzz_settings_store fuzz_network_file fuzz_smb_names)
runs=${FUZZ_RUNS:-}

here=$(cd "$(dirname "$0")" && pwd)
work=$build/fuzz-work
[[ $fresh -eq 1 ]] && rm -rf "$work/corpus"
mkdir -p "$work/artifacts"

failed=()
for target in "${targets[@]}"; do
    binary=$build/tests/fuzz/$target
    [[ -x $binary ]] || { echo "$target: not built ($binary)" >&2; exit 1; }
    # Lines and rows run past the 1023 and 256 the module reads; files stay small.
    case $target in
    fuzz_word_insert) max_len=1400 ;;
    fuzz_cursor) max_len=2048 ;;
    *) max_len=4096 ;;
    esac
    args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len"
          -print_final_stats=1 -artifact_prefix="$work/artifacts/$target-")
    [[ -n $runs ]] && args+=(-runs="$runs")
    [[ -f $here/$target.dict ]] && args+=(-dict="$here/$target.dict")
    mkdir -p "$work/corpus/$target"
    log=$work/$target.log
    start=$SECONDS
    if "$binary" "${args[@]}" "$work/corpus/$target" "$here/corpus/$target" >"$log" 2>&1; then
        status=ok
    else
        status=FAILED
        failed+=("$target")
    fi
    done_runs=$(awk '/number_of_executed_units/ {print $2}' "$log")
    took=$((SECONDS - start))
    printf '%-20s %-6s %10s executions in %ss (%s a second)\n' "$target" "$status" \
        "${done_runs:-?}" "$took" "$(( ${done_runs:-0} / (took > 0 ? took : 1) ))"
    if [[ $status == FAILED ]]; then
        grep -E 'check failed|ERROR:|SUMMARY|runtime error|Test unit written' "$log" | head -20 >&2
        echo "full log: $log" >&2
    fi
done
if [[ ${#failed[@]} -gt 0 ]]; then
    echo "fuzzing found faults in: ${failed[*]}" >&2
    exit 1
fi
