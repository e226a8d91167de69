// Where the Windows reader finds the game's module, each way on its own: the
// module snapshot, against the 64-bit fake game; the module list, which Wine
// gives where it takes no snapshot of a 32-bit process for a 64-bit one, against
// the 32-bit fake game that CORVANE_GAME32 names. Both images load at 0x400000.

#include "game/module_base_win32.h"
#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace corvane::testing {
namespace {

// The 64-bit game by snapshot; both by the list, by name and as the main module.
TEST(ModuleBase, BySnapshotAndByTheModuleList) {
    const char* game32 = std::getenv("CORVANE_GAME32");
    FakeGame games[2];
    ASSERT_TRUE(game32 != nullptr && games[0].start() && games[1].start({game32})) << "CORVANE_GAME32?";
    for (int i = 0; i < 2; ++i) {
        const std::uint32_t pid = games[i].process().id();
        UniqueNullHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
        std::uint64_t bases[4] = {0x400000, 1, 1, 1};
        bool taken = false;
        EXPECT_EQ(i == 0 && moduleBaseBySnapshot(pid, bases[0], taken), i == 0);
        EXPECT_TRUE(moduleBaseByList(process.get(), L"wow.EXE", bases[1]) && moduleBaseByList(process.get(), L"", bases[2]));
        EXPECT_FALSE(moduleBaseByList(process.get(), L"Wow", bases[3]));
        EXPECT_EQ(std::vector(bases, bases + 4), (std::vector<std::uint64_t>{0x400000, 0x400000, 0x400000, 1})) << i;
    }
}

}  // namespace
}  // namespace corvane::testing
