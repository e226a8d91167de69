// The Windows reader against real processes. Where it finds the game's
// module, each way on its own: the module snapshot of the 64-bit fake game,
// and the module list of the 32-bit one (CORVANE_GAME32), of which Wine takes
// no snapshot for a 64-bit reader: by name and as the main module. Both
// images load at 0x400000. And when a game it reads has ended.

#include "game/game_reader.h"
#include "game/module_base_win32.h"
#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace corvane::testing {
namespace {

TEST(ModuleBase, BySnapshotAndByTheModuleList) {
    FakeGame games[2];
    const char* game32 = std::getenv("CORVANE_GAME32");
    ASSERT_TRUE(game32 != nullptr && games[0].start() && games[1].start({game32})) << "CORVANE_GAME32?";
    UniqueNullHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, games[1].process().id()));
    std::uint64_t bases[4] = {};
    bool taken = false;
    EXPECT_TRUE(moduleBaseBySnapshot(games[0].process().id(), bases[0], taken) &&
                moduleBaseByList(process.get(), L"wow.EXE", bases[1]) && moduleBaseByList(process.get(), L"", bases[2]));
    EXPECT_FALSE(moduleBaseByList(process.get(), L"Wow", bases[3]));
    EXPECT_EQ(std::vector(bases, bases + 4), (std::vector<std::uint64_t>{0x400000, 0x400000, 0x400000, 0}));
}

// 259 is STILL_ACTIVE, which an exit code cannot tell from a game that runs.
TEST(GameProcess, GameThatEndsWith259HasEnded) {
    FakeGame game;
    ASSERT_TRUE(game.start());
    GameReader reader;
    ASSERT_TRUE(reader.attachToProcess(game.process().id())) << reader.lastError();
    EXPECT_FALSE(reader.gameHasExited());
    ASSERT_TRUE(game.process().writeInput("exit 259\n"));
    EXPECT_EQ(game.process().wait(kExitTimeout), 259);
    EXPECT_TRUE(reader.gameHasExited());
}

}  // namespace
}  // namespace corvane::testing
