#include "driver/game_session.h"
#include "driver/game_launch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace corvane {
namespace {

constexpr std::int64_t kMs = 1'000'000;
using Times = std::vector<std::int64_t>;

ProcessLook game(std::uint32_t pid, Candidate what = Candidate::Game) {
    return {pid, what, what == Candidate::Game ? std::optional(ClientVersion{3, 3, 5, 12340}) : std::nullopt, "it is no game"};
}

// Game processes that come and go as the test says, the best of them taken as
// the reader takes it; the clock readings of the attach attempts and exit checks made.
struct FakeGames final : GameConnection {
    std::vector<ProcessLook> running, seen;  // in snapshot order; the chosen one first
    std::string refusal;                     // attaching fails with this text
    std::uint32_t attached = 0;
    Times attempts, exitChecks;
    std::vector<std::optional<std::uint32_t>> commands;  // the ancestors asked for
    std::int64_t now = 0;
    std::string error;

    bool runs(std::uint32_t pid) const { return std::ranges::find(running, pid, &ProcessLook::pid) != running.end(); }
    Attach attachToProcess(std::uint32_t pid) override {
        attempts.push_back(now);
        if (!refusal.empty()) return error = refusal, Attach::Failed;
        if (pid == 0 || !runs(pid)) return error = "not found text", Attach::NotFound;
        if (seen.empty() || seen[0].pid != pid) seen = {*std::ranges::find(running, pid, &ProcessLook::pid)};
        return attached = pid, Attach::Attached;
    }
    Attach attachByName(const CommandProcesses* command) override {
        commands.push_back(command ? std::optional(command->ancestor) : std::nullopt);
        seen = running;
        const auto best = std::ranges::min_element(seen, {}, &ProcessLook::candidate);
        if (best != seen.end() && best->candidate == Candidate::OtherBuild) return error = "another build", Attach::Failed;
        if (best != seen.end()) std::rotate(seen.begin(), best, best + 1);
        return attachToProcess(seen.empty() ? 0 : seen[0].pid);
    }
    bool hasExited() override { return exitChecks.push_back(now), !runs(attached); }
    void close() override { attached = 0; }
    const std::string& lastError() const override { return error; }
    std::vector<std::uint32_t> foundProcessIds() const override {
        std::vector<std::uint32_t> ids;
        for (const ProcessLook& p : seen) ids.push_back(p.pid);
        return ids;
    }
    std::vector<ProcessLook> looks() const override { return seen; }
};

std::vector<std::string> texts(GameSession& session) {
    std::vector<std::string> lines;
    for (const auto& notice : session.takeNotices()) lines.push_back((notice.hint ? "hint: " : "") + notice.text);
    return lines;
}

// Runs 20 ms cycles up to `until`: how many of them read the game.
long cycles(GameSession& session, FakeGames& games, std::int64_t until) {
    long read = 0;
    for (; games.now < until; games.now += 20 * kMs) read += session.update(games.now);
    return read;
}

// Without the game: retried once a second, the failure as the label. The game
// ends while read: seen within a second, checking once a second; the cycle that
// sees it isolates, so the next game's in-world reads count from nothing; the
// next cycle attaches the next game.
TEST(GameSession, WaitsForTheGameOnceASecondWatchesItAndAttachesTheNextAfterItsEnd) {
    FakeGames games;
    GameSession session(games, true, 0);
    ASSERT_TRUE(session.start(0));
    EXPECT_EQ(session.label(), "waiting for Wow.exe");
    EXPECT_EQ(cycles(session, games, 2500 * kMs), 0);
    EXPECT_EQ(games.attempts, (Times{0, 1000 * kMs, 2000 * kMs}));

    games.running = {game(7)};
    games.refusal = "OpenProcess failed for Wow.exe (Win32 error 5).";
    cycles(session, games, 3500 * kMs);
    EXPECT_EQ(session.label(), games.refusal) << "the failure is the label";
    games.refusal.clear();
    EXPECT_EQ(cycles(session, games, 5500 * kMs), 75) << "read from 4 s on";
    games.running = {game(8)};
    EXPECT_EQ(cycles(session, games, 6000 * kMs), 25);
    EXPECT_FALSE(session.update(games.now)) << "the end is seen at 6 s";
    EXPECT_EQ(session.label(), "waiting for Wow.exe");
    EXPECT_EQ(games.exitChecks, (Times{5000 * kMs, 6000 * kMs}));
    EXPECT_TRUE(session.update(games.now += 20 * kMs));
    EXPECT_EQ(games.attached, 8u);
}

// A --pid names one process for good: not there at start, the bridge stops
// even with --wait (a later process of that ID would be another program);
// there but refused, it is waited for with --wait; gone, never sought again.
TEST(GameSession, ChosenProcessIsNeverSoughtAgainAfterItsEnd) {
    for (const bool wait : {false, true}) {
        FakeGames games;
        EXPECT_FALSE(GameSession(games, wait, 42).start(0));
        games.running = {game(5), game(42)};
        games.refusal = "refused";
        GameSession session(games, wait, 42);
        EXPECT_EQ(session.start(0), wait);
        if (!wait) continue;
        games.refusal.clear();
        cycles(session, games, 1500 * kMs);
        EXPECT_EQ(texts(session), std::vector<std::string>{"Reading process 42, version 3.3.5.12340."});
        games.running = {game(5)};
        cycles(session, games, 3500 * kMs);
        EXPECT_EQ(session.label(), "Process 42 has exited.");
        games.running = {game(5), game(42)};  // the ID again: perhaps another program now
        EXPECT_EQ(cycles(session, games, 6000 * kMs), 0);
    }
}

// A program that only bears the name is read while nothing better runs and
// looked past once a second, with or without a game command (whose own
// processes alone are asked for); each process read is announced once, with
// the hint and why the other was passed over. Another build is refused.
TEST(GameSession, TheGameRatherThanTheNameAnnouncedOnce) {
    for (const bool command : {false, true}) {
        FakeGames games;
        games.running = {game(3, Candidate::NotTheGame)};
        GameSession session(games, false, 0);
        if (command) session.readOnlyTheCommands([] { return CommandProcesses{77, {}}; });
        ASSERT_TRUE(session.start(0));
        EXPECT_EQ(texts(session), std::vector<std::string>{
            "Reading Wow.exe (process 3), which has no version resource; it is read as 3.3.5a, build 12340."});
        EXPECT_EQ(cycles(session, games, 2500 * kMs), 125);
        EXPECT_EQ(games.attempts, (Times{0, 1000 * kMs, 2000 * kMs}));
        EXPECT_TRUE(texts(session).empty());
        games.running.push_back(game(9));
        cycles(session, games, 5000 * kMs);
        EXPECT_EQ(games.attempts.size(), 4u) << "the game, once found, is kept";
        EXPECT_EQ(texts(session), (std::vector<std::string>{"Reading Wow.exe (process 9), version 3.3.5.12340.",
            std::string("hint: Found 2 Wow.exe processes (9, 3); reading 9") +
                (command ? ", started by the game command." : ". Use --pid to choose."),
            "Passed over Wow.exe process 3: it is no game."}));
        EXPECT_EQ(games.commands, std::vector(4, command ? std::optional(77u) : std::nullopt));
    }
    FakeGames games;
    games.running = {game(4, Candidate::OtherBuild), game(5, Candidate::NotTheGame)};
    GameSession session(games, true, 0);
    ASSERT_TRUE(session.start(0));
    EXPECT_EQ(session.label(), "another build");
}

// Without --wait or --pid the game is never watched while it reads; a read
// that fails asks at once whether it has ended, and then the label says so:
// the next game with --wait, "has exited" without (parked for good), never
// the failed read's text.
TEST(GameSession, WithoutTheNewOptionsAttachesOnceAndNamesTheEndAtTheFailedRead) {
    FakeGames games;
    games.running = {game(1234), game(5678)};
    GameSession session(games, false, 0);
    ASSERT_TRUE(session.start(0));
    EXPECT_EQ(texts(session), (std::vector<std::string>{"Reading Wow.exe (process 1234), version 3.3.5.12340.",
              "hint: Found 2 Wow.exe processes (1234, 5678); reading 1234. Use --pid to choose."}));
    EXPECT_EQ(session.gameProcess(), 1234u);
    EXPECT_FALSE(session.readFailed(0)) << "a failed read of a running game";
    games.running = {game(5678)};
    EXPECT_EQ(cycles(session, games, 3000 * kMs), 150);
    EXPECT_EQ(games.exitChecks, Times{0});
    // (--wait, --pid, label after the end)
    const std::tuple<bool, std::uint32_t, std::string> rows[] = {
        {false, 0, "Wow.exe has exited. Use --wait to follow the next one."},
        {true, 0, "waiting for Wow.exe"},
        {false, 1234, "Process 1234 has exited."},
    };
    for (const auto& [wait, pid, label] : rows) {
        FakeGames evening;
        evening.running = {game(1234)};
        GameSession watched(evening, wait, pid);
        ASSERT_TRUE(watched.start(0));
        evening.running = {game(99)};
        EXPECT_TRUE(watched.readFailed(20 * kMs)) << label;
        EXPECT_EQ(watched.label(), label);
        EXPECT_EQ(cycles(watched, evening, 3000 * kMs) > 0, wait) << label;
    }
}

// The end of a run with a game command, from what the platform saw: the
// command's end and code, the game read (process 50) and its end, whether it
// outlived the command, and whether anything of the command's still runs.
TEST(GameCommandEnd, TheGameReadEndsTheRunWithItsOwnCodeAndAStopNeverWith0) {
    const std::optional<int> none, unknown;
    constexpr int kTerm = 143;  // 128 + SIGTERM, what a shell says
    // (facts, natural end as code or none, its code known, after a stop)
    const struct { CommandFacts facts; std::optional<int> end; bool known; int stopped; } rows[] = {
        {{1, false, none, 0, false, none, false, true}, none, true, kTerm},  // the command runs
        // No game read yet: a launcher's game may start late, so the end waits for all.
        {{1, true, 3, 0, false, none, false, true}, none, true, kTerm},
        {{1, true, 3, 0, false, none, false, false}, 3, true, 3},
        // A launcher that backgrounds the game and exits: the game's own code.
        {{1, true, 3, 50, false, none, false, true}, none, true, kTerm},
        {{1, true, 3, 50, true, 7, true, true}, 7, true, 7},
        // A helper that lingers (wineserver) holds nothing once the game has ended.
        {{1, true, 3, 50, true, unknown, true, true}, 3, true, 3},
        // A wrapper that waited for its game: its code is the run's.
        {{1, true, 0, 50, true, 7, false, false}, 0, true, 0},
        // The command is the game.
        {{50, true, 7, 50, true, 7, false, false}, 7, true, 7},
        // Reaped unseen (SIGCHLD ignored by whoever started us): 0, said to be unknown.
        {{1, true, unknown, 0, false, none, false, false}, 0, false, kTerm},
        // Stopped: the game ignored the stop; the wrapper ended by it.
        {{1, true, kTerm, 50, false, none, false, true}, none, true, kTerm},
        {{1, false, none, 50, true, kTerm, false, true}, none, true, kTerm},
    };
    for (const auto& row : rows) {
        const auto end = naturalEnd(row.facts);
        EXPECT_EQ(std::tuple(end ? std::optional(end->code) : std::nullopt, end ? end->codeKnown : true,
                             stoppedCode(row.facts, kTerm)), std::tuple(row.end, row.known, row.stopped))
            << "row " << &row - rows;
    }
}

}  // namespace
}  // namespace corvane
