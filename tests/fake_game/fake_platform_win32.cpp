#include "tests/fake_game/fake_platform.h"

#include "common/windows_support.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace corvane::fake {

std::uint64_t ownModuleBase() noexcept {
    return reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
}

void allowMemoryReaders() noexcept {}

void useBinaryStandardOutput() noexcept { _setmode(_fileno(stdout), _O_BINARY); }

const char* platformName() noexcept {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    return wine ? "wine" : "win32";
}

}  // namespace corvane::fake
