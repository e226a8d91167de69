#!/usr/bin/env bash
# Builds both targets and runs every test: native first, then the Windows
# build under wine64. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$(repo_root)"

ensure_packages "${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"

echo "== Native (Linux) =="
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

echo "== Windows (mingw-w64, under wine64) =="
trap stop_wine EXIT
start_wine
cmake --preset windows
cmake --build --preset windows
ctest --preset windows
