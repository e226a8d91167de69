#include "common/windows_support.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>

namespace corvane::fake {

std::uint64_t ownModuleBase() noexcept {
    return reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
}

// "\n" stays one byte on standard output, so answers read alike everywhere.
void prepareProcess() noexcept { _setmode(_fileno(stdout), _O_BINARY); }

}  // namespace corvane::fake
