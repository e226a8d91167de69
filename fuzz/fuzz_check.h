#pragma once
// A broken invariant aborts, so the fuzzer keeps the input that broke it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define CORVANE_FUZZ_CHECK(condition) \
    do { if (!(condition)) { std::fprintf(stderr, "invariant broken at %s:%d: %s\n", __FILE__, __LINE__, #condition); std::abort(); } } while (false)

// The fuzzer's bytes taken front to back as values; past their end, zeros.
struct FuzzInput {
    const std::uint8_t* data;
    std::size_t size;
    template <typename T>
    T take() {
        T value{};
        const std::size_t n = sizeof value < size ? sizeof value : size;
        std::memcpy(&value, data, n);
        data += n, size -= n;
        return value;
    }
    // One of the listed values, or past them a value of the input's own.
    template <typename T, std::size_t N>
    T pick(const T (&values)[N]) {
        const std::uint8_t choice = take<std::uint8_t>();
        return choice < N ? values[choice] : take<T>();
    }
};
