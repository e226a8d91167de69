#!/usr/bin/env bash
# Our UTF-8 decoder against Windows' MultiByteToWideChar(CP_UTF8,
# MB_ERR_INVALID_CHARS), run under wine64: about a million seeded byte strings
# (every boundary of the encoding plus random ones), zero disagreements allowed.
# A failure names the seed; the same seed gives the same strings again.
#
#   scripts/differential.sh [SEED]
#
# Uses the build directories of the linux and windows presets (configuring
# them if needed); CORVANE_LINUX_BUILD / CORVANE_WINDOWS_BUILD choose others.
# WINEPREFIX is taken from the environment as it is.
set -euo pipefail

seed=${1:-20261206}
root=$(cd "$(dirname "$0")/.." && pwd)
native=${CORVANE_LINUX_BUILD:-$root/build/linux}
windows=${CORVANE_WINDOWS_BUILD:-$root/build/windows}
wine=${WINE:-/usr/lib/wine/wine64}

cd "$root"
[[ -f "$native/CMakeCache.txt" ]] || cmake --preset linux >/dev/null
[[ -f "$windows/CMakeCache.txt" ]] || cmake --preset windows >/dev/null
cmake --build "$native" -j2 --target utf8_differential >/dev/null
cmake --build "$windows" -j2 --target utf8_oracle >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$native/bin/utf8_differential" generate "$seed" "$work/cases.bin"
WINEDEBUG=${WINEDEBUG:--all} "$wine" "$windows/bin/utf8_oracle.exe" "$work/cases.bin" "$work/verdicts.bin"
if ! "$native/bin/utf8_differential" compare "$work/cases.bin" "$work/verdicts.bin"; then
    echo "UTF-8 differential check failed (seed $seed)" >&2
    exit 1
fi
