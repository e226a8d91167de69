#include "common/windows_support.h"

#include <fcntl.h>
#include <io.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace corvane::fake {

std::uint64_t ownModuleBase() noexcept {
    return reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
}

// "\n" stays one byte on standard output, so answers read alike everywhere.
void prepareProcess() noexcept { _setmode(_fileno(stdout), _O_BINARY); }

// The 32-bit client, large-address-aware, keeps its objects above 2 GiB, and
// so do we (Wine allocates top down only below 2 GiB, hence the addresses).
// The 64-bit build keeps them in its arena, below 4 GiB.
void* objectArea(std::size_t bytes) noexcept {
    void* area = nullptr;
    for (const std::uintptr_t at : {0xC0000000u, 0x90000000u, 0u}) {
        const DWORD how = MEM_RESERVE | MEM_COMMIT | (at == 0 ? MEM_TOP_DOWN : 0);
        if (area == nullptr && sizeof(void*) == 4) area = VirtualAlloc(reinterpret_cast<void*>(at), bytes, how, PAGE_READWRITE);
    }
    return area;
}

// An image's pages cannot be given back, and a protected page is still read
// through Wine, which reads a game as Linux does.
bool makeUnreadable(std::uint64_t) noexcept { return false; }

}  // namespace corvane::fake
