#include "game/game_reader.h"

#include "game/game_process.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(GameReader, DetachedReaderReadsNothing) {
    GameReader reader;
    float value = 1.5f;
    EXPECT_FALSE(reader.readRemote(0x00400000, value));
    EXPECT_EQ(value, 0.0f);
    EXPECT_EQ(reader.lastError(), "");  // each caller words its own failure
    LocalPlayer player;
    EXPECT_FALSE(reader.findLocalPlayer(player));
    EXPECT_EQ(reader.lastError(), "Could not read the 3.3.5a ClientConnection pointer.");
    CharacterSnapshot snapshot{1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(reader.readCharacter(snapshot), ReadStatus::ReadError);
    EXPECT_EQ(reader.lastError(), "Not attached to Wow.exe.");
    EXPECT_EQ(snapshot, CharacterSnapshot{});
}

TEST(ExecutableName, WholeNameIgnoringCase) {
    const struct { const char* name; bool same; } cases[] = {
        {"Wow.exe", true},    {"WOW.EXE", true}, {"wow.exe", true}, {"Wow.exe.bak", false},
        {"MyWow.exe", false}, {"Wow.ex", false}, {"", false},       {"Wow.exe ", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sameExecutableName(c.name, L"Wow.exe"), c.same);
    }
}

// Error 5 on Linux says which Yama setting refused the read and the fixes that
// work under it: starting the game through the bridge only helps at scope 1.
TEST(OpenRefusedText, NamesTheFixesYamaAllows) {
    const std::string base = "OpenProcess failed for Wow.exe (Win32 error 5)";
    const std::string sysctl = "run `sudo sysctl kernel.yama.ptrace_scope=0`, or allow the bridge "
                               "with `sudo setcap cap_sys_ptrace=ep CorvaneVoiceBridge`.";
    const struct { int scope; std::string text; } cases[] = {
        {0, base + "."},
        {1, base + ": Linux lets a program read only the programs it started (kernel.yama."
                   "ptrace_scope is 1); start the game through the bridge (CorvaneVoiceBridge "
                   "[options] -- GAME COMMAND), " + sysctl},
        {2, base + ": Linux lets only privileged programs read other programs (kernel.yama."
                   "ptrace_scope is 2); " + sysctl},
        {3, base + ": Linux lets no program read another one until the next restart (kernel."
                   "yama.ptrace_scope is 3); set kernel.yama.ptrace_scope = 0 in /etc/sysctl.d "
                   "and restart."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(openRefusedText("OpenProcess failed for Wow.exe", 5, c.scope), c.text) << c.scope;
    }
}

// Parent links as the process list gives them: 1 <- 10 <- 20 <- 30, 1 <- 40,
// and 50 <-> 60 a loop (Windows keeps the ID of a parent that has ended).
TEST(CommandsOwn, DescendantsOrTheJobsMembersInSearchOrder) {
    const std::vector<ProcessLink> links = {{1, 0},  {10, 1},  {20, 10}, {30, 20},
                                            {40, 1}, {50, 60}, {60, 50}};
    using Ids = std::vector<std::uint32_t>;
    const std::optional<Ids> byParent;
    const struct { Ids found; std::uint32_t ancestor; std::optional<Ids> members; Ids own; } rows[] = {
        {{40, 30, 20}, 10, byParent, {30, 20}},   // every descendant, in search order
        {{40, 30}, 30, byParent, {30}},           // the command itself is the game
        {{40, 50}, 10, byParent, {}},             // the loop ends the climb
        {{40, 77}, 10, byParent, {}},             // 77 is not in the list
        {{30, 40}, 1, byParent, {30, 40}},
        // A job: its members, whoever their parent, and by descent one that left it.
        {{30, 40, 77}, 10, Ids{77, 40}, {30, 40, 77}},
        {{40}, 10, Ids{}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ancestor);
        EXPECT_EQ(commandsOwn(row.found, links, {row.ancestor, row.members}), row.own);
    }
}

// The first of the best, best first: the game, one without a version, then
// the refusals that say most (access, another build), then what only bears the name.
TEST(ChooseCandidate, TheFirstOfTheBest) {
    using enum Candidate;
    const struct { std::vector<Candidate> looks; std::size_t chosen; } rows[] = {
        {{NotTheGame, Unversioned, Game, Game}, 2}, {{NotTheGame, Unversioned}, 1},
        {{NoModule, NotTheGame, OtherBuild, Refused}, 3}, {{NoModule, NotTheGame, OtherBuild}, 2}, {{NoModule, NotTheGame}, 1},
    };
    for (const auto& row : rows) EXPECT_EQ(chooseCandidate(row.looks), row.chosen);
}

}  // namespace
}  // namespace corvane
