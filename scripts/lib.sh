# Shared by the scripts: installs what a fresh Debian machine lacks.
# shellcheck shell=bash

repo_root() { cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd; }

# ensure_packages PKG...: installs the Debian packages that are not installed yet.
# A package of another architecture (wine32:i386) adds that architecture first.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

# util-linux and mount: unshare, setpriv and mount put each end-to-end test in
# namespaces of its own (scripts/isolated.sh). cmark-gfm: the player guide's HTML.
NATIVE_PACKAGES=(cmake ninja-build g++ googletest procps util-linux mount cmark-gfm)
SANITIZER_PACKAGES=(clang libclang-rt-14-dev)
# The real client is a 32-bit program: the fake game is built as one too and
# run by Wine's 32-bit loader (a prefix made after wine32 is installed).
# wine: the `wine` command players write before the game's path (a game command test runs it).
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine
                  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine32:i386)

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

# start_wine: a private wine prefix with one server kept alive for the run.
start_wine() {
    WINEPREFIX=$(mktemp -d /tmp/corvane-wine.XXXXXX)
    export WINEPREFIX WINEDEBUG=-all
    "$WINESERVER" -p
    # The first program creates the prefix (about 8 s); later ones start fast.
    "$WINE64" cmd.exe /c exit >/dev/null 2>&1 || true
}

stop_wine() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        "$WINESERVER" -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    fi
}
