#!/bin/sh
# Measures the bridge's loop rate: runs it, samples the link with the link
# monitor four times a second, and prints cycles per second over the window
# (from uiTick) and the bridge process's share of one core (from its own CPU
# time in /proc). Synthetic mode by default; with LIVE_OBJECTS=N, live mode
# against the fake game holding N objects, the player last, standing at game
# position (100, 200, 30) on map 1: then the last published position must be
# that placement, (250091.44, 27.432, 182.88) m, or the run fails.
#
#   bench/loop_rate.sh native BUILD_DIR [SECONDS] [MIN_RATE]
#       Linux bridge (and Linux fake game). As root it runs with a private
#       /dev/shm and /proc, so no other link or Wow.exe is touched.
#   bench/loop_rate.sh native-wine BUILD_DIR [SECONDS] [MIN_RATE]
#       Linux bridge against the Windows fake game under wine64
#       ($WINDOWS_BUILD/bin/Wow.exe, default build/windows).
#   bench/loop_rate.sh wine BUILD_DIR [SECONDS] [MIN_RATE]
#       Windows bridge, monitor and fake game under wine64.
#
# GAME32=1: in the modes native-wine and wine, the fake game built as a
# 32-bit program like the real client ($GAME32_BUILD/bin/Wow.exe, default
# build/windows-game32), run by Wine's 32-bit loader.
#
# CROWD=N: N more processes of the player's (sleeping) run beside the bridge,
# so that its look for the link's readers has N more to pass over.
# LIVE_INDEX=I: the player at index I of the list instead of last (I >=
# LIVE_OBJECTS: none); LIVE_BACK=B: the last object leads back to object B.
# Either way no placement is checked then.
# LIVE_X=X: the player stands at game x X instead of 100 (100000 fails the
# checks: then the run must not place the character, and the rate is that of
# a bridge reading "Position data failed validation.").
#
# GAME_BIN: the fake game to run instead of the build's (native mode).
#
# Wine runs use a private WINEPREFIX, made for the run and removed after it.
# MIN_RATE (argument or environment): below it the script prints FAIL and
# exits with 1. Exit 1 too when the bridge or monitor did not run.
set -eu

mode=${1:?native, native-wine or wine}
build=${2:?build directory}
seconds=${3:-10}
min_rate=${4:-${MIN_RATE:-0}}
bin=$(cd "$build/bin" && pwd)
WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine
WINESERVER=/usr/lib/wine/wineserver

case $mode in
native|native-wine)
    if [ "$(id -u)" = 0 ] && [ -z "${LOOP_RATE_PRIVATE:-}" ]; then
        LOOP_RATE_PRIVATE=1 exec unshare -m -p -f --mount-proc sh -c \
            'mount -t tmpfs tmpfs /dev/shm && exec "$0" "$@"' "$0" "$@"
    fi
    run="" ; suffix="" ;;
wine) run=$WINE64; suffix=.exe ;;
*) echo "usage: $0 native|native-wine|wine BUILD_DIR [SECONDS] [MIN_RATE]" >&2; exit 2 ;;
esac
game_run=$run
game_bin=${GAME_BIN:-$bin/Wow.exe}
if [ "$mode" = native-wine ]; then
    game_run=$WINE64
    game_bin=$(cd "${WINDOWS_BUILD:-build/windows}/bin" && pwd)/Wow.exe
fi
if [ -n "${GAME32:-}" ] && [ "$mode" != native ]; then
    game_run=$WINE32
    game_bin=$(cd "${GAME32_BUILD:-build/windows-game32}/bin" && pwd)/Wow.exe
fi

samples=$(mktemp)
work=$(mktemp -d)
cleanup() {
    [ -n "${bridge:-}" ] && kill "$bridge" 2>/dev/null || true
    [ -n "${crowd:-}" ] && kill $crowd 2>/dev/null || true
    if [ -n "${WINEPREFIX:-}" ]; then "$WINESERVER" -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"; fi
    rm -rf "$samples" "$work"
}
trap cleanup EXIT
if [ -n "${CROWD:-}" ]; then
    i=0
    while [ "$i" -lt "$CROWD" ]; do sleep 100000 & crowd="${crowd:-} $!"; i=$((i + 1)); done
fi
if [ "$game_run" != "" ] || [ "$run" = "$WINE64" ]; then
    WINEPREFIX=$(mktemp -d /tmp/corvane-looprate.XXXXXX)
    export WINEPREFIX WINEDEBUG=-all
    "$WINESERVER" -p
    "$WINE64" cmd.exe /c exit >/dev/null 2>&1 || true  # makes the prefix (some seconds)
fi

# Nanoseconds the process's threads have run so far (schedstat: exact, where
# the clock ticks of /proc/<pid>/stat count 0.1% of a core in 10 s).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%d\n", s }'; }

args=""
if [ -n "${LIVE_OBJECTS:-}" ]; then
    # The fake game ends when its input does, after the window.
    { printf 'state 1\nmap 1\npos %s 200 30 0\nlist %s %s %s\n' "${LIVE_X:-100}" "$LIVE_OBJECTS" "${LIVE_INDEX:-$((LIVE_OBJECTS - 1))}" "${LIVE_BACK:-}"
      sleep $((seconds + 12)); } | $game_run "$game_bin" >"$work/game.out" 2>&1 &
    for _ in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20; do
        [ "$(grep -c '^ok' "$work/game.out" 2>/dev/null)" -ge 4 ] 2>/dev/null && break
        sleep 0.5
    done
    if [ "$(grep -c '^ok' "$work/game.out" || true)" -lt 4 ]; then
        echo "FAIL: the fake game did not take its commands: $(tr '\n' ' ' <"$work/game.out")"
        exit 1
    fi
    args=--wow
fi
$run "$bin/CorvaneVoiceBridge$suffix" $args >/dev/null 2>"$work/bridge.err" &
bridge=$!
sleep 2  # start-up and the first placement
cpu0=$(cpu_ns "$bridge")
t0=$(date +%s%N)
timeout $((seconds + 3)) $run "$bin/CorvaneLinkMonitor$suffix" --json >"$samples" || true
cpu1=$(cpu_ns "$bridge")
t1=$(date +%s%N)
if ! kill -0 "$bridge" 2>/dev/null; then
    echo "FAIL: the bridge stopped: $(cat "$work/bridge.err")"
    exit 1
fi

# The monitor prints every 250 ms of its own clock: samples 5 and 5 + 4 * seconds
# lie `seconds` apart.
tr -d '\r' <"$samples" | awk -v seconds="$seconds" -v min="$min_rate" -v live="${LIVE_OBJECTS:-}" \
    -v cpu="$((cpu1 - cpu0))" -v wall="$((t1 - t0))" -v mode="$mode" -v game32="${GAME32:-}" -v x="${LIVE_X:-100}${LIVE_INDEX:-}${LIVE_BACK:-}" '
    function near(a, b) { return a - b < 0.1 && b - a < 0.1 }
    {
        match($0, /"tick":[0-9]+/); tick[NR] = substr($0, RSTART + 7, RLENGTH - 7)
        match($0, /"avatarPosition":\[[^]]*\]/); position = substr($0, RSTART + 18, RLENGTH - 19)
    }
    END {
        a = 5; b = 5 + 4 * seconds
        if (NR < b) { printf "FAIL: only %d samples; the bridge or monitor did not run\n", NR; exit 1 }
        rate = (tick[b] - tick[a]) / seconds
        share = 100 * cpu / wall
        printf "%s%s%s: %.2f cycles/s over %d s (uiTick %d -> %d), bridge process %.2f%% of one core\n",
            mode, game32 == "" ? "" : " (32-bit game)", live == "" ? " synthetic" : " live, " live " objects", rate, seconds, tick[a], tick[b], share
        failed = 0
        if (live != "" && x == 100) {
            split(position, p, ",")
            if (!(near(p[1], 250091.44) && near(p[2], 27.432) && near(p[3], 182.88))) {
                printf "FAIL: the character was not placed: last position [%s], expected [250091.44,27.432,182.88]\n", position
                failed = 1
            }
        }
        if (rate < min) { printf "FAIL: %.2f cycles/s is below %s\n", rate, min; failed = 1 }
        exit failed
    }'
