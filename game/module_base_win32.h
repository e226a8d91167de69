#pragma once
// Where a process's main module lies, the two ways the Windows reader knows:
// apart, so that each can be tried on its own.

#include "common/windows_support.h"

#include <cstdint>
#include <string_view>

namespace corvane {

// The first module of a module snapshot of `pid`, which is the main module.
// False when the snapshot fails (`snapshotTaken` false) or lists nothing.
bool moduleBaseBySnapshot(std::uint32_t pid, std::uint64_t& base, bool& snapshotTaken) noexcept;

// From the module list of `process` (open for query and read): the module
// named `name`, ignoring case; without a name, the main module, listed first.
bool moduleBaseByList(HANDLE process, std::wstring_view name, std::uint64_t& base) noexcept;

}  // namespace corvane
