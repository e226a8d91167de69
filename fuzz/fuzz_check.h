#pragma once
// Invariant checks for the fuzz targets: a broken invariant aborts, so the
// fuzzer keeps the input that broke it.

#include <cstdio>
#include <cstdlib>

namespace corvane::fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "invariant broken at %s:%d: %s\n", file, line, what);
    std::abort();
}

}  // namespace corvane::fuzz

#define CORVANE_FUZZ_CHECK(condition)                                              \
    do {                                                                           \
        if (!(condition)) ::corvane::fuzz::fail(#condition, __FILE__, __LINE__);   \
    } while (false)
