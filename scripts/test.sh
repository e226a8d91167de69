#!/usr/bin/env bash
# Builds both targets and runs every test: native first, then the Windows
# build under wine64, then the native bridge against the Windows fake games
# under Wine (the ctest label "wine", which needs both builds). The fake game
# is also built as a 32-bit program, like the real client: both bridges are
# tried against it, and it is a failure, not a skip, when it is missing; only a
# kernel that runs no 32-bit program at all (some virtual machines) leaves those
# tests listed as not run, with a warning at configure time. Each native
# end-to-end test runs in namespaces of its own (scripts/isolated.sh). Exits
# non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$(repo_root)"

ensure_packages "${NATIVE_PACKAGES[@]}" "${SANITIZER_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"

echo "== Native (Linux) =="
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

echo "== Native under AddressSanitizer, UndefinedBehaviorSanitizer and leak checks =="
cmake --preset linux-asan
cmake --build --preset linux-asan
ctest --preset linux-asan

echo "== Fuzzing, briefly: every input surface for 20 s =="
scripts/fuzz.sh 20

echo "== Windows (mingw-w64, under wine64) =="
trap stop_wine EXIT
start_wine
cmake --preset windows
cmake --build --preset windows
cmake --preset windows-game32
cmake --build --preset windows-game32

echo "== Our UTF-8 decoder against MultiByteToWideChar under wine64 =="
scripts/differential.sh

echo "== Windows tests under wine64 =="
ctest --preset windows

echo "== The native bridge against the Windows fake games under Wine =="
rm -rf build/linux/wine-e2e-prefix  # made anew, so it holds Wine's 32-bit files
ctest --preset linux-wine
