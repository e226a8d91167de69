#!/bin/sh
# Measures the bridge's loop rate: runs it, samples uiTick with the link
# monitor four times a second, and prints cycles per second over the window.
# Synthetic mode by default; with LIVE_OBJECTS=N, live mode against the fake
# game holding N objects, the player last.
#
#   bench/loop_rate.sh native BUILD_DIR [SECONDS]   Linux build; as root it runs
#                                                   with a private /dev/shm and
#                                                   /proc, so no other MumbleLink
#                                                   or Wow.exe is touched
#   bench/loop_rate.sh wine BUILD_DIR [SECONDS]     Windows build under wine64
#                                                   (WINEPREFIX, default
#                                                   /tmp/wine-looprate)
set -eu

mode=${1:?native or wine}
build=${2:?build directory}
seconds=${3:-10}
bin=$(cd "$build/bin" && pwd)
samples=$(mktemp)
trap 'rm -f "$samples"' EXIT

run_window() {
    # $1: how to start a program (prefix), $2: executable suffix
    if [ -n "${LIVE_OBJECTS:-}" ]; then
        # The fake game ends when its input does, after the window.
        { printf 'state 1\nlist %s %s\n' "$LIVE_OBJECTS" $((LIVE_OBJECTS - 1))
          sleep $((seconds + 8)); } | $1 "$bin/Wow.exe" >/dev/null &
        sleep 2
        set -- "$1" "$2" --wow
    fi
    $1 "$bin/CorvaneVoiceBridge$2" ${3:-} >/dev/null &
    bridge=$!
    sleep 2  # start-up, and under wine the first start of the prefix
    timeout $((seconds + 3)) $1 "$bin/CorvaneLinkMonitor$2" --json >"$samples" || true
    kill "$bridge" 2>/dev/null || true
    wait "$bridge" 2>/dev/null || true
}

case $mode in
native)
    if [ "$(id -u)" = 0 ] && [ -z "${LOOP_RATE_PRIVATE:-}" ]; then
        LOOP_RATE_PRIVATE=1 exec unshare -m -p -f --mount-proc sh -c \
            'mount -t tmpfs tmpfs /dev/shm && exec "$0" "$@"' "$0" "$@"
    fi
    run_window "" ""
    ;;
wine)
    export WINEPREFIX=${WINEPREFIX:-/tmp/wine-looprate} WINEDEBUG=-all
    /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 || true  # create the prefix first
    run_window /usr/lib/wine/wine64 .exe
    ;;
*)
    echo "usage: $0 native|wine BUILD_DIR [SECONDS]" >&2
    exit 2
    ;;
esac

# The monitor prints every 250 ms of its own clock: samples 4 and 4 + 4 * seconds
# lie `seconds` apart.
tr -d '\r' <"$samples" | awk -v seconds="$seconds" '
    { match($0, /"tick":[0-9]+/); tick[NR] = substr($0, RSTART + 7, RLENGTH - 7) }
    END {
        a = 5; b = 5 + 4 * seconds
        if (NR < b) { printf "only %d samples; the bridge or monitor did not run\n", NR; exit 1 }
        printf "%.2f cycles/s over %d s (uiTick %d -> %d)\n", (tick[b] - tick[a]) / seconds, seconds, tick[a], tick[b]
    }'
