#include "link/link_readers.h"

#include "common/windows_support.h"

#include <winternl.h>

namespace corvane {

struct ReaderScan::Impl {};

ReaderScan::ReaderScan() = default;
ReaderScan::~ReaderScan() = default;

// Windows names no process behind a handle to the mapping, but counts the
// handles: ours is one, any other is another program's. Only the writer can
// tell: a monitor would count the bridge's as well as its own. A count that
// leaves out our own handle means nothing, and is not passed on as an answer.
std::optional<std::vector<LinkReader>> ReaderScan::find(const SharedMemory::Identity& link,
                                                        const std::atomic<bool>&) {
    using Query = NTSTATUS(NTAPI*)(HANDLE, OBJECT_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    if (!link.writer || link.handle == 0 || query == nullptr) return std::nullopt;
    PUBLIC_OBJECT_BASIC_INFORMATION info{};
    if (query(reinterpret_cast<HANDLE>(link.handle), ObjectBasicInformation, &info, sizeof info,
              nullptr) != 0 ||
        info.HandleCount == 0) {
        return std::nullopt;
    }
    return std::vector<LinkReader>(info.HandleCount - 1, LinkReader{});
}

bool lookSeesEveryProcess() { return true; }

}  // namespace corvane
