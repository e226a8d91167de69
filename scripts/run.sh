#!/usr/bin/env bash
# The live demo: the fake game starts at the character screen, enters the
# world in Elwynn Forest, walks, crosses to Durotar (a map change) and goes
# back to the character screen, round after round; the bridge reads it, and
# the link monitor, running all along so that its frame rate is real, shows
# what a voice client receives.
#   scripts/run.sh                 the demo
#   scripts/run.sh -- ARGS...      the bridge with ARGS instead (e.g. -- --orbit)
# Ctrl-C stops everything. The script exits with the bridge's exit code.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$(repo_root)"

# Kept whole for the copy started in a PID namespace below, which must see the "--" too.
script_args=("$@")
bridge_args=(--wow --identity Demo --context CORVANE:DEMO)
if [ "${1:-}" = "--" ]; then
    shift
    bridge_args=("$@")
fi

ensure_packages "${NATIVE_PACKAGES[@]}"
cmake --preset linux >/dev/null
cmake --build --preset linux --target CorvaneVoiceBridge CorvaneLinkMonitor fake_game >/dev/null

# As root, in a PID namespace of its own: the bridge then finds our fake game
# and no other Wow.exe on this machine; the link stays the machine's, so a
# voice client can listen in.
if [ "$(id -u)" = 0 ] && [ -z "${CORVANE_DEMO_NAMESPACE:-}" ] && command -v unshare >/dev/null; then
    exec env CORVANE_DEMO_NAMESPACE=1 unshare --pid --fork --mount-proc --kill-child "$0" "${script_args[@]}"
fi

bin=build/linux/bin
work=$(mktemp -d /tmp/corvane-demo.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# One lap of 80 steps round a circle of 25 yards about (x, y) at height z,
# facing the way it walks: one "pos" command a step.
lap() {
    awk -v cx="$1" -v cy="$2" -v z="$3" 'BEGIN {
        for (i = 0; i < 80; i++) {
            a = 6.2831853 * i / 80
            printf "pos %.2f %.2f %s %.4f\n", cx + 25 * cos(a), cy + 25 * sin(a), z, a + 1.5707963
        }
    }'
}
# Paced by read's timeout on a pipe that never delivers: no process a step.
exec {pause}<> <(:)
walk() { while read -r step; do echo "$step"; read -rt 0.1 -u "$pause" || true; done <<<"$1"; }
route() {
    local elwynn durotar
    elwynn=$(lap -9464 62 56)
    durotar=$(lap 1380 -4370 26)
    while :; do
        echo "state 0"; sleep 3             # the character screen
        echo "map 0"; echo "state 1"        # entering the world
        walk "$elwynn"
        echo "map 1"                        # through the portal to Durotar
        walk "$durotar"
    done
}

# The fake game only for live mode; it must be running before the bridge attaches.
for arg in "${bridge_args[@]}"; do
    if [ "$arg" = "--wow" ]; then
        mkfifo "$work/route"
        "$bin/Wow.exe" <"$work/route" >/dev/null 2>"$work/game.log" &
        pids+=($!)
        route >"$work/route" &
        pids+=($!)
        sleep 0.5
        break
    fi
done

"$bin/CorvaneVoiceBridge" "${bridge_args[@]}" >"$work/status.log" 2>"$work/error.log" &
bridge=$!
pids+=("$bridge")
trap 'kill -INT "$bridge" 2>/dev/null || true' INT TERM
sleep 0.3
if kill -0 "$bridge" 2>/dev/null; then
    "$bin/CorvaneLinkMonitor" >"$work/monitor.log" 2>&1 &
    pids+=($!)
fi

clear=''
[ -t 1 ] && clear=$'\033[H\033[2J'
# Ctrl-C reaches every command of the loop too; whatever it cuts short, the
# script goes on to wait for the bridge and end with its code.
set +e
while kill -0 "$bridge" 2>/dev/null; do
    # The status line is rewritten in place: the text after the last carriage
    # return. The monitor redraws from the top: its last view, without escapes.
    status=$(tail -c 400 "$work/status.log" | tr '\r' '\n' | tail -n 1)
    view=$(tail -c 8000 "$work/monitor.log" 2>/dev/null | awk 'BEGIN { RS = "\033\\[H" } { v = $0 } END { printf "%s", v }' |
        sed 's/\x1b\[[0-9;]*[A-Za-z]//g')
    # Each change of state once, the last five: "entering world" lasts only four
    # cycles (80 ms), so a status line shows it on about one entry in three.
    states=$(tr '\r' '\n' <"$work/status.log" | awk -F' [|] ' 'NF > 2 && $1 FS $3 != last {
        last = $1 FS $3; print "  " $1 " | " $3 }' | tail -n 5)
    printf '%sCorvaneVoiceBridge %s\n\nStatus line: %s\n\nLatest states:\n%s\n\n%s\n\n(Ctrl-C to stop)\n' \
        "$clear" "${bridge_args[*]}" "${status:-(none: synthetic mode prints no status line)}" \
        "${states:-  (none yet)}" "$view"
    sleep 0.5
done
code=0
wait "$bridge" || code=$?
printf '\nThe bridge stopped with exit code %s.\n' "$code"
cat "$work/error.log"
exit "$code"
