#!/usr/bin/env bash
# Ends that can be trusted: runs the bridge's short paths (a bad option,
# --help, --version, a settings error, a missing game) and a run with a game
# command that ends at once, RUNS times in turn, and counts the runs that end
# late, with another exit code, or without their text. Any such run fails the
# script. Each run is given LATE_MS (default 2000) before it counts as late
# and 10 s before it is killed.
#
#   bench/short_runs.sh native BUILD_DIR [RUNS]    Linux bridge (default 1000 runs)
#   bench/short_runs.sh wine BUILD_DIR [RUNS]      Windows bridge under wine64
#
# Native runs need root: they run in private mount and PID namespaces with a
# /dev/shm of their own, so no voice client's link is touched. Wine runs use a
# private WINEPREFIX with one server kept alive, made for the run and removed.
set -u

mode=${1:?native or wine}
build=${2:?build directory}
runs=${3:-1000}
late_ms=${LATE_MS:-2000}
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(cd "$build/bin" && pwd)

case $mode in
native)
    if [ -z "${SHORT_RUNS_PRIVATE:-}" ]; then
        [ "$(id -u)" = 0 ] || { echo "short_runs.sh: native runs need root (private namespaces)" >&2; exit 1; }
        SHORT_RUNS_PRIVATE=1 exec unshare -m -p -f --mount-proc --kill-child sh -c \
            'mount -t tmpfs -o size=16m,mode=1777 tmpfs /dev/shm && exec "$@"' sh "$0" "$@"
    fi
    bridge=("$bin/CorvaneVoiceBridge")
    game=(/bin/sh -c 'exit 3')
    ;;
wine)
    # shellcheck source=scripts/lib.sh
    source "$root/scripts/lib.sh"
    start_wine
    trap stop_wine EXIT
    bridge=("$WINE64" "$bin/CorvaneVoiceBridge.exe")
    game=(cmd.exe /c exit 3)
    ;;
*)
    echo "short_runs.sh: mode native or wine" >&2
    exit 1
    ;;
esac
unset SUDO_UID

# name | exit code | text the run must print | arguments
cases=(
    "bad option|2|Invalid arguments. Run with --help.|--speed NAN"
    "help|0|LIVE WOW MODE:|--help"
    "version|0|CorvaneVoiceBridge 0.|--version"
    "settings error|2|cannot be read: it does not exist.|--config corvane-no-such.ini"
    "missing game|1|ERROR: Wow.exe was not found.|--wow"
    "game command|3|live mode (starting the game with: |--identity ShortRuns --"
)

total_bad=0
for entry in "${cases[@]}"; do
    IFS='|' read -r name code text args <<<"$entry"
    read -r -a words <<<"$args"
    [ "$name" = "game command" ] && words+=("${game[@]}")
    late=0 wrong=0 silent=0 slowest=0
    for ((i = 1; i <= runs; i++)); do
        start=$(date +%s%N)
        out=$(timeout -s KILL 10 "${bridge[@]}" "${words[@]}" 2>&1 </dev/null)
        rc=$?
        ms=$((($(date +%s%N) - start) / 1000000))
        ((ms > slowest)) && slowest=$ms
        ((ms > late_ms)) && { late=$((late + 1)); echo "  $name run $i: late, $ms ms" >&2; }
        ((rc != code)) && { wrong=$((wrong + 1)); echo "  $name run $i: exit $rc" >&2; }
        [[ $out == *"$text"* ]] || { silent=$((silent + 1)); echo "  $name run $i: text [$out]" >&2; }
    done
    printf '%-15s runs %d  late %d  other code %d  without text %d  slowest %d ms\n' \
        "$name" "$runs" "$late" "$wrong" "$silent" "$slowest"
    total_bad=$((total_bad + late + wrong + silent))
done
if ((total_bad > 0)); then
    echo "FAIL: $total_bad runs did not end as they should"
    exit 1
fi
echo "all runs ended in time, with their code and text"
