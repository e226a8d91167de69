#!/usr/bin/env bash
# Runs the bridge in live mode against the fake game's soak cycle (glue
# screen, entering, placed, map changes, implausible values, list changes,
# 30 s a round) for MINUTES, sampling its resident memory, open descriptors
# and the link's tick every few seconds. Fails when memory or descriptors grow
# after the warm-up (the first round), when the tick lags the cycles the
# elapsed time allows, when a state never showed on the status line, or when
# the bridge does not stop cleanly on SIGINT.
#
#   scripts/soak.sh [MINUTES]      (default 30)
#
# CORVANE_SOAK_BUILD picks the build directory (default build/linux; any
# native build, e.g. build/linux-asan, works). As root the run gets its own
# PID namespace and /dev/shm, so other bridges, games and links on the
# machine neither see it nor disturb it.
set -euo pipefail

minutes=${1:-30}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${CORVANE_SOAK_BUILD:-$root/build/linux}

if [[ ${CORVANE_SOAK_ISOLATED:-} != 1 ]]; then
    cd "$root"
    if [[ ! -f "$build/CMakeCache.txt" ]]; then
        [[ $build == "$root/build/linux" ]] || { echo "no build in $build" >&2; exit 2; }
        cmake --preset linux >/dev/null
    fi
    cmake --build "$build" -j2 --target CorvaneVoiceBridge fake_game >/dev/null
    if [[ $(id -u) == 0 ]] && command -v unshare >/dev/null; then
        exec env CORVANE_SOAK_ISOLATED=1 CORVANE_SOAK_BUILD="$build" \
            unshare --mount --pid --fork --mount-proc bash -c \
            'mount -t tmpfs -o size=16m tmpfs /dev/shm && exec "$0" "$@"' "$0" "$minutes"
    fi
    echo "soak: not root, running without isolation: nothing else may use MumbleLink or Wow.exe" >&2
fi

bin="$build/bin"
interval=5          # seconds between samples
round=30            # one pass through every state of the fake's soak cycle
warmup=$((round + interval))
tolerance_kb=64     # allocator noise; a leak of one string per cycle exceeds it within minutes
duration=$((minutes * 60))
out="$build/soak"
mkdir -p "$out"
samples="$out/samples.tsv"
status="$out/status.txt"

link_tick() {  # uiTick: the record's second 32-bit word
    od -An -tu4 -j4 -N4 "/dev/shm/MumbleLink.$(id -u)" 2>/dev/null | tr -d ' ' || true
}
now_ms() { date +%s%3N; }

game_pid=
bridge_pid=
cleanup() {
    [[ -n $bridge_pid ]] && kill -KILL "$bridge_pid" 2>/dev/null || true
    [[ -n $game_pid ]] && kill -KILL "$game_pid" 2>/dev/null || true
    [[ -n ${route_pid:-} ]] && kill "$route_pid" 2>/dev/null || true
}
trap cleanup EXIT

# One round of the soak cycle as fake-game commands, 2.5 s a phase, a "pos"
# every 100 ms ("tick" marks the pauses): glue screen; entering (the player
# not listed yet); placed as the only object; another map, the player last; a
# far map and a long list; a coordinate of 100000; a NaN facing; map 2001; a
# local GUID of 0; another state byte; the second row of map regions.
soak_round() {
    awk 'BEGIN {
        n = split("0 0 1 0 w 1|1 0 50 50 w 1|1 0 1 0 w 1|1 1 50 49 w 1|1 571 500 250 w 1|" \
                  "1 571 500 250 far 1|1 571 500 250 nan 1|1 2001 50 10 w 1|1 0 50 10 w 0|" \
                  "2 0 50 10 w 1|1 32 50 10 w 1|1 0 50 10 w 1", phases, "|")
        for (p = 1; p <= n; p++) {
            split(phases[p], f, " ")
            printf "state 0\nguid %s\nlist %s %s\nmap %s\nstate %s\n", \
                f[6] == 1 ? "700000000001234" : "0", f[3], f[4], f[2], f[1]
            for (t = 0; t < 25; t++) {
                a = 6.2831853 * ((p - 1) * 25 + t) / 100
                printf "pos %s %.2f 56 %s\ntick\n", f[5] == "far" ? "100000" : sprintf("%.2f", -9464 + 25 * cos(a)), \
                    62 + 25 * sin(a), f[5] == "nan" ? "nan" : sprintf("%.4f", a + 1.5707963)
            }
        }
    }'
}
rm -f "$out/route"
mkfifo "$out/route"
"$bin/Wow.exe" <"$out/route" >"$out/game.txt" 2>&1 &
game_pid=$!
# Paced by read's timeout on a pipe that never delivers: no process a tick.
exec {pause}<> <(:)
while :; do
    soak_round | while read -r command; do
        if [[ $command == tick ]]; then read -rt 0.1 -u "$pause" || true; else echo "$command"; fi
    done
done >"$out/route" &
route_pid=$!
for _ in $(seq 50); do grep -q ready "$out/game.txt" && break; sleep 0.1; done

"$bin/CorvaneVoiceBridge" --wow --identity SoakTester >"$status" 2>"$out/errors.txt" &
bridge_pid=$!
start=$(now_ms)

printf 'seconds\trss_kb\tfds\ttick\n' >"$samples"
failures=()
baseline_rss=
baseline_fds=
max_rss=0
elapsed=0
while ((elapsed < duration)); do
    sleep "$interval"
    elapsed=$((($(now_ms) - start) / 1000))
    if ! kill -0 "$bridge_pid" 2>/dev/null; then
        failures+=("the bridge ended by itself after ${elapsed} s")
        bridge_pid=
        break
    fi
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$bridge_pid/status")
    fds=$(ls "/proc/$bridge_pid/fd" | wc -l)
    tick=$(link_tick)
    millis=$(($(now_ms) - start))
    printf '%s\t%s\t%s\t%s\n' "$elapsed" "$rss" "$fds" "$tick" >>"$samples"
    ((rss > max_rss)) && max_rss=$rss
    # Every cycle sleeps at least 20 ms and works well under 5 ms.
    if ((tick > millis / 20 + 1 || tick < millis / 25)); then
        failures+=("tick $tick after $millis ms (expected $((millis / 25)) to $((millis / 20 + 1)))")
    fi
    if ((elapsed >= warmup)); then
        if [[ -z $baseline_rss ]]; then
            baseline_rss=$rss
            baseline_fds=$fds
        elif ((rss > baseline_rss + tolerance_kb)); then
            failures+=("resident memory grew from $baseline_rss kB to $rss kB at ${elapsed} s")
        elif ((fds != baseline_fds)); then
            failures+=("open descriptors changed from $baseline_fds to $fds at ${elapsed} s")
        fi
    fi
    ((${#failures[@]} > 3)) && break
done

exit_code=none
if [[ -n $bridge_pid ]]; then
    kill -INT "$bridge_pid"
    for _ in $(seq 50); do kill -0 "$bridge_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$bridge_pid" 2>/dev/null; then
        failures+=("the bridge did not stop within 5 s of SIGINT")
    else
        set +e
        wait "$bridge_pid"
        exit_code=$?
        set -e
        bridge_pid=
        [[ $exit_code == 0 ]] || failures+=("the bridge exited with $exit_code after SIGINT")
    fi
fi
final_tick=$(link_tick)

[[ -s $out/errors.txt ]] && failures+=("the bridge wrote to standard error: $(head -c 200 "$out/errors.txt")")
for seen in "ONLINE | state=1" "| not in world |" "| entering world |" \
            "| Position data failed validation. |" "| Could not read a plausible map ID. |"; do
    grep -qF -- "$seen" "$status" || failures+=("no status line showed \"$seen\"")
done

ticks_per_second=$(awk -v t="${final_tick:-0}" -v s="$elapsed" 'BEGIN { if (s > 0) printf "%.1f", t / s }')
echo "soak: ${elapsed} s, ${final_tick:-?} frames (${ticks_per_second}/s), exit code ${exit_code}"
echo "soak: resident memory ${baseline_rss:-?} kB after warm-up, at most ${max_rss} kB; descriptors ${baseline_fds:-?}"
echo "soak: samples in $samples"
if ((${#failures[@]} > 0)); then
    printf 'soak FAILED: %s\n' "${failures[@]}" >&2
    exit 1
fi
echo "soak passed"
