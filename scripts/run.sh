#!/usr/bin/env bash
# The live demo: a fake game walking a scripted route, the bridge reading it,
# and the link monitor showing what a voice client would receive.
#   scripts/run.sh                 the demo
#   scripts/run.sh -- ARGS...      the bridge with ARGS instead (e.g. -- --orbit)
# Ctrl-C stops everything.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$(repo_root)"

bridge_args=(--wow --identity Demo --context CORVANE:DEMO)
if [ "${1:-}" = "--" ]; then
    shift
    bridge_args=("$@")
fi

ensure_packages "${NATIVE_PACKAGES[@]}"
cmake --preset linux >/dev/null
cmake --build --preset linux --target CorvaneVoiceBridge CorvaneLinkMonitor fake_game

bin=build/linux/bin
work=$(mktemp -d /tmp/corvane-demo.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
    printf '\n'
}
trap cleanup EXIT
trap 'exit 0' INT TERM

# The fake game only for live mode; it must be running before the bridge attaches.
for arg in "${bridge_args[@]}"; do
    if [ "$arg" = "--wow" ]; then
        "$bin/Wow.exe" --demo </dev/null >"$work/game.log" 2>&1 &
        pids+=($!)
        sleep 0.5
        break
    fi
done

"$bin/CorvaneVoiceBridge" "${bridge_args[@]}" >"$work/status.log" 2>"$work/error.log" &
bridge=$!
pids+=("$bridge")
sleep 0.3

clear=''
[ -t 1 ] && clear=$'\033[H\033[2J'
while kill -0 "$bridge" 2>/dev/null; do
    # The status line is rewritten in place: the text after the last carriage return.
    status=$(tail -c 400 "$work/status.log" | tr '\r' '\n' | tail -n 1)
    record=$("$bin/CorvaneLinkMonitor" --once 2>&1 || true)
    printf '%sCorvaneVoiceBridge %s\n\nStatus line: %s\n\n%s\n\n(Ctrl-C to stop)\n' \
        "$clear" "${bridge_args[*]}" "${status:-(none: synthetic mode prints no status line)}" "$record"
    sleep 0.5
done
echo "The bridge stopped:"
cat "$work/error.log"
