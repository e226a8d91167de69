#pragma once
// A broken invariant aborts, so the fuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>

#define CORVANE_FUZZ_CHECK(condition) \
    do { if (!(condition)) { std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #condition); std::abort(); } } while (false)
