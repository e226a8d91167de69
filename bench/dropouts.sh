#!/bin/sh
# Drop-outs of the bridge among an object list that changes all the time: the
# fake game holds OBJECTS objects round a player standing in the world, and
# RATE times a second unlinks one, gives its memory a new GUID and coordinates
# and links it in again at a random place; every PERIOD ms it re-creates the
# player in another object's memory. Every frame must be the player's
# placement or the isolation point (the end-to-end test of the evening,
# LiveGame.FollowsTheCharacterThroughAnEvening, checks that, and runs the
# churn here); a drop-out is an isolated frame after the first placement.
#
#   bench/dropouts.sh native|wine [SECONDS] [PERIOD]
#       native: the Linux bridge (build/linux), wine: the Windows bridge
#       (build/windows) under wine64; both against the 32-bit fake game
#       (build/windows-game32) under Wine, in a private prefix. 60 s and
#       200 ms by default; 500 and 3000 objects, 200, 2000 and 20,000 changes
#       a second. Prints one line a run and exits with 1 if a run failed.
set -eu

mode=${1:?native or wine}
seconds=${2:-60}
period=${3:-200}
root=$(cd "$(dirname "$0")/.." && pwd)
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
export CORVANE_GAME="$root/build/windows-game32/bin/Wow.exe"
case $mode in
native) run="$root/scripts/isolated.sh $root/build/linux/bin/live_e2e_tests"
        export CORVANE_GAME_LOADER=/usr/lib/wine/wine ;;
wine) run="$WINE64 $root/build/windows/bin/live_e2e_tests.exe"; CORVANE_GAME="Z:$CORVANE_GAME" ;;
*) echo "usage: $0 native|wine [SECONDS] [PERIOD]" >&2; exit 2 ;;
esac

WINEPREFIX=$(mktemp -d /tmp/corvane-dropouts.XXXXXX)
export WINEPREFIX WINEDEBUG=-all
trap '"$WINESERVER" -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
"$WINESERVER" -p
"$WINE64" cmd.exe /c exit >/dev/null 2>&1 || true  # makes the prefix (some seconds)

failed=0
for objects in 500 3000; do
    for rate in 200 2000 20000; do
        out=$(CORVANE_CHURN="$objects $rate $period $seconds" \
              $run --gtest_filter='LiveGame.*Evening*' 2>&1) || failed=1
        line=$(printf '%s\n' "$out" | tr -d '\r' | grep '^churn ' || echo "churn $objects objects, $rate changes/s: FAILED")
        printf '%s %s\n' "$mode" "$line" | awk '{ print } / isolated$/ {
            printf "  drop-outs: %.2f%%\n", 100 * $(NF - 1) / $(NF - 3) }'
    done
done
exit $failed
