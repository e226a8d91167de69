#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each (default 60), one process at a time,
# starting from the committed seeds. New inputs go to a scratch corpus under
# the build directory; a crash or a broken invariant leaves its input in
# build/linux-fuzz/fuzz-work/<target>/ and makes the script fail.
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/linux-fuzz"
work="$build/fuzz-work"
targets=(command_line link_record game_memory settings_text client_version)

cd "$root"
cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz -j2 >/dev/null

failed=0
total=0
for target in "${targets[@]}"; do
    mkdir -p "$work/$target/corpus"
    options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048
             -artifact_prefix="$work/$target/")
    if [[ -f "$root/fuzz/$target.dict" ]]; then options+=(-dict="$root/fuzz/$target.dict"); fi
    log="$work/$target/last-run.log"
    status=ok
    if ! "$build/bin/${target}_fuzzer" "${options[@]}" "$work/$target/corpus" \
            "$root/fuzz/corpus/$target" >"$log" 2>&1; then
        status=FAILED
        failed=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    runs=${runs:-0}
    total=$((total + runs))
    printf '%-14s %12s executions  %s\n' "$target" "$runs" "$status"
    if [[ $status != ok ]]; then
        grep -E 'invariant broken|ERROR|SUMMARY|Test unit written' "$log" | head -n 20 >&2 || true
    fi
done
printf '%-14s %12s executions\n' total "$total"
exit "$failed"
