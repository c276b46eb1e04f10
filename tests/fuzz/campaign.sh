#!/usr/bin/env bash
# Fuzzes each routine for a fixed time and prints one line per routine: executions, corpus size
# and whether it crashed. Usage: campaign.sh BUILD_DIR SECONDS [ROUTINE...], every routine of the
# module's table (fuzz_sort --list-routines) unless some are named.
# Each routine keeps its corpus in BUILD_DIR/tests/fuzz/campaign/ROUTINE, so a later campaign
# goes on from what an earlier one found; crashing inputs land in BUILD_DIR/tests/fuzz/crashes.
set -uo pipefail
build=$1 seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work=$build/tests/fuzz
fuzz=$work/fuzz_sort
if [ $# -eq 0 ]; then
    set -- $("$fuzz" --list-routines)
fi
mkdir -p "$work/crashes"
failed=0
printf '%-24s %12s %8s %8s  %s\n' routine executions exec/s corpus result
for routine in "$@"; do
    corpus=$work/campaign/$routine
    # The pool-sized routines read another input layout, with seeds of their own.
    seeds=$here/corpus
    [[ $routine == pool:* ]] && seeds=$here/pool_corpus
    log=$work/campaign/$routine.log
    mkdir -p "$corpus"
    "$fuzz" --routine="$routine" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$work/crashes/$routine-" "$corpus" "$seeds" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    result=clean
    if [ "$status" -ne 0 ]; then
        result="CRASHED (exit $status, see $log)"
        failed=1
    fi
    printf '%-24s %12s %8s %8s  %s\n' "$routine" "${runs:-?}" "${speed:-?}" \
        "$(ls "$corpus" | wc -l)" "$result"
done
exit $failed
