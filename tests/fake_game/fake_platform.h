#pragma once
// What the fake game needs from the operating system.

#include <cstdint>

namespace corvane::fake {

// Load address of our own executable image.
std::uint64_t ownModuleBase() noexcept;

// Lets a process that is not our parent read our memory (Yama's ptrace scope).
void allowMemoryReaders() noexcept;

// Keeps "\n" a single byte on standard output, so answers read alike everywhere.
void useBinaryStandardOutput() noexcept;

// "posix", "win32", or "wine" when Windows calls are served by wine (where every
// cross-process read is slow enough that tests keep object lists short).
const char* platformName() noexcept;

}  // namespace corvane::fake
