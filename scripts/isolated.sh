#!/usr/bin/env bash
# Runs each test of a GoogleTest program in private mount and PID namespaces
# with its own /dev/shm and /proc, so that it sees no other Wow.exe and never
# touches the link of a voice client (or another test) on this machine.
# As root directly; otherwise inside a user namespace that maps us to root.
#
#   scripts/isolated.sh PROGRAM [ARGS...]      (ARGS may hold a --gtest_filter)
set -u

program=$1
shift
# A bridge that sudo started tells so on standard error, which the tests expect silent.
unset SUDO_UID
namespaces=(--mount --pid --fork --mount-proc --kill-child)
[[ $(id -u) == 0 ]] || namespaces=(--user --map-root-user "${namespaces[@]}")

tests=$("$program" --gtest_list_tests "$@" | awk '/^[^ ]/ { suite = $1 } /^  / { print suite $1 }')
if [[ -z $tests ]]; then
    echo "isolated.sh: $program lists no tests" >&2
    exit 1
fi
failed=()
for test in $tests; do
    unshare "${namespaces[@]}" sh -c \
        'mount -t tmpfs -o size=64m,mode=1777 tmpfs /dev/shm && "$@"' \
        sh "$program" "$@" --gtest_filter="$test" || failed+=("$test")
done
if ((${#failed[@]} > 0)); then
    printf 'isolated.sh: FAILED %s\n' "${failed[@]}" >&2
    exit 1
fi
