// Where the Windows reader finds the game's module, each way on its own: the
// module snapshot, against the 64-bit fake game; the module list, which Wine
// gives where it takes no snapshot of a 32-bit process for a 64-bit one, against
// the 32-bit fake game that CORVANE_GAME32 names. Both images load at 0x400000.

#include "game/game_process.h"
#include "game/module_base_win32.h"
#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace corvane::testing {
namespace {

TEST(ModuleBase, BySnapshotAndByTheModuleList) {
    const char* game32 = std::getenv("CORVANE_GAME32");
    ASSERT_TRUE(game32 != nullptr && *game32 != '\0') << "CORVANE_GAME32 must name the 32-bit fake game.";
    FakeGame games[2];
    ASSERT_TRUE(games[0].start() && games[1].start({game32}));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i == 0 ? "64-bit game" : "32-bit game");
        const std::uint32_t pid = games[i].process().id();
        UniqueNullHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
        std::uint64_t bases[3] = {1, 1, 1};  // by name, the main module, by snapshot
        bool taken = false;
        EXPECT_TRUE(moduleBaseByList(process.get(), L"wow.EXE", bases[0]));
        EXPECT_TRUE(moduleBaseByList(process.get(), L"", bases[1]));
        EXPECT_FALSE(moduleBaseByList(process.get(), L"Wow", bases[2]));
        if (i == 0) { EXPECT_TRUE(moduleBaseBySnapshot(pid, bases[2], taken)); }
        EXPECT_EQ(bases[0], 0x400000u);
        EXPECT_EQ(bases[1], 0x400000u);
        EXPECT_EQ(bases[2], i == 0 ? 0x400000u : 1u);
        // The reader, by name and by --pid, whichever way it takes.
        GameProcess game;
        std::uint32_t code = 0;
        std::vector<std::uint32_t> found;
        EXPECT_EQ(game.openPid(pid, code), GameProcess::Status::Ok);
        EXPECT_EQ(game.moduleBase(), 0x400000u);
        if (i == 1) games[0].process().kill();  // the 32-bit game alone by name
        if (i == 1) { EXPECT_EQ(game.open(L"Wow.exe", code, found), GameProcess::Status::Ok); }
        EXPECT_EQ(game.moduleBase(), 0x400000u);
    }
}

}  // namespace
}  // namespace corvane::testing
