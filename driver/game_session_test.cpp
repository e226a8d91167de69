#include "driver/game_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace corvane {
namespace {

constexpr std::int64_t kMs = 1'000'000;
using Times = std::vector<std::int64_t>;

// Game processes that come and go as the test says; the clock readings of
// the attach attempts and exit checks made.
struct FakeGames final : GameConnection {
    std::vector<std::uint32_t> running;  // in snapshot order
    std::string refusal;                 // attaching fails with this text
    std::uint32_t attached = 0;
    Times attempts, exitChecks;
    std::int64_t now = 0;
    std::string error;

    bool runs(std::uint32_t pid) const { return std::count(running.begin(), running.end(), pid); }
    Attach attachToProcess(std::uint32_t pid) override {
        attempts.push_back(now);
        if (!refusal.empty()) return error = refusal, Attach::Failed;
        if (pid == 0 || !runs(pid)) return error = "not found text", Attach::NotFound;
        return attached = pid, Attach::Attached;
    }
    Attach attachByName(std::uint32_t) override { return attachToProcess(running.empty() ? 0 : running[0]); }
    bool hasExited() override { return exitChecks.push_back(now), !runs(attached); }
    void close() override { attached = 0; }
    const std::string& lastError() const override { return error; }
    std::vector<std::uint32_t> foundProcessIds() const override { return running; }
};

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

    games.running = {7};
    games.refusal = "OpenProcess failed for Wow.exe (Win32 error 5).";
    cycles(session, games, 3500 * kMs);
    EXPECT_EQ(session.label(), games.refusal) << "the failure is the label";
    games.refusal.clear();
    EXPECT_EQ(cycles(session, games, 5500 * kMs), 75) << "read from 4 s on";
    games.running = {8};
    EXPECT_EQ(cycles(session, games, 6000 * kMs), 25);
    EXPECT_FALSE(session.update(games.now)) << "the end is seen at 6 s";
    EXPECT_EQ(session.label(), "waiting for Wow.exe");
    EXPECT_EQ(games.exitChecks, (Times{5000 * kMs, 6000 * kMs}));
    EXPECT_TRUE(session.update(games.now += 20 * kMs));
    EXPECT_EQ(games.attached, 8u);
}

TEST(GameSession, ChosenProcessIsNeverSoughtAgainAfterItsEnd) {
    for (const bool wait : {false, true}) {
        FakeGames games;
        GameSession missing(games, wait, 42);
        EXPECT_EQ(missing.start(0), wait) << "not there: stop, or wait with --wait";
        games.running = {5, 42};
        GameSession session(games, wait, 42);
        ASSERT_TRUE(session.start(0));
        EXPECT_EQ(games.attached, 42u);
        games.running = {5};
        cycles(session, games, 2500 * kMs);
        EXPECT_EQ(session.label(), "Process 42 has exited.");
        games.running = {5, 42};  // the ID again: perhaps another program now
        EXPECT_EQ(cycles(session, games, 5000 * kMs), 0);
    }
}

TEST(GameSession, WithoutTheNewOptionsAttachesOnceAndNeverWatches) {
    FakeGames games;
    games.running = {1234, 5678};
    GameSession session(games, false, 0);
    ASSERT_TRUE(session.start(0));
    EXPECT_EQ(session.takeNotice(),
              "Found 2 Wow.exe processes (1234, 5678); reading 1234. Use --pid to choose.");
    EXPECT_EQ(session.takeNotice(), "");
    games.running.clear();
    EXPECT_EQ(cycles(session, games, 3000 * kMs), 150);
    EXPECT_TRUE(games.exitChecks.empty());
}

}  // namespace
}  // namespace corvane
