#include "driver/game_session.h"

#include "driver/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace corvane {
namespace {

constexpr std::int64_t kMs = 1'000'000;

// Game processes that come and go as the test says.
struct FakeGames final : GameConnection {
    std::vector<std::uint32_t> running;  // in snapshot order
    std::string refusal;                 // attaching fails with this text
    std::uint32_t attached = 0;
    std::vector<std::int64_t> attempts, exitChecks;  // clock readings of each call
    std::int64_t now = 0;
    std::string error;

    bool runs(std::uint32_t pid) const {
        return std::find(running.begin(), running.end(), pid) != running.end();
    }
    Attach attachTo(std::uint32_t pid) {
        attempts.push_back(now);
        if (!refusal.empty()) return error = refusal, Attach::Failed;
        if (pid == 0 || !runs(pid)) return error = "not found text", Attach::NotFound;
        attached = pid;
        return Attach::Attached;
    }
    Attach attachByName() override { return attachTo(running.empty() ? 0 : running.front()); }
    Attach attachToProcess(std::uint32_t pid) override { return attachTo(pid); }
    bool hasExited() override { return exitChecks.push_back(now), !runs(attached); }
    void close() override { attached = 0; }
    const std::string& lastError() const override { return error; }
    std::vector<std::uint32_t> foundProcessIds() const override { return running; }
};

// 20 ms cycles up to `until`; the cycles' results.
std::vector<bool> cycles(GameSession& session, FakeGames& games, std::int64_t until) {
    std::vector<bool> attached;
    for (; games.now < until; games.now += 20 * kMs) attached.push_back(session.update(games.now));
    return attached;
}

TEST(GameSession, WaitsForTheGameRetryingOnceASecondWithTheFailureAsLabel) {
    FakeGames games;
    GameSession session(games, true, 0);
    ASSERT_TRUE(session.start(0));
    EXPECT_EQ(session.label(), "waiting for Wow.exe");
    EXPECT_EQ(cycles(session, games, 2500 * kMs), std::vector<bool>(125, false));
    EXPECT_EQ(games.attempts, (std::vector<std::int64_t>{0, 1000 * kMs, 2000 * kMs}));

    games.running = {7};
    games.refusal = "OpenProcess failed for Wow.exe (Win32 error 5).";
    cycles(session, games, 3500 * kMs);
    EXPECT_EQ(session.label(), games.refusal);
    games.refusal.clear();
    const std::vector<bool> attached = cycles(session, games, 4500 * kMs);
    EXPECT_EQ(std::count(attached.begin(), attached.end(), false), 25) << "attached at 4 s";
    EXPECT_EQ(session.takeNotice(), "");
}

// The game ends while read: noticed within a second with exit checks at most
// once a second; the next one is attached, and the cycle between isolates so
// that the count of in-world reads starts again.
TEST(GameSession, WatchesAnAttachedGameAndAttachesTheNextAfterItsEnd) {
    FakeGames games;
    games.running = {7};
    GameSession session(games, true, 0);
    ASSERT_TRUE(session.start(0));
    EXPECT_EQ(cycles(session, games, 1500 * kMs), std::vector<bool>(75, true));
    games.running = {8};
    EXPECT_EQ(cycles(session, games, 2000 * kMs), std::vector<bool>(25, true));
    EXPECT_FALSE(session.update(games.now)) << "the end is seen at 2 s";
    EXPECT_EQ(session.label(), "waiting for Wow.exe");
    EXPECT_EQ(games.exitChecks, (std::vector<std::int64_t>{1000 * kMs, 2000 * kMs}));
    EXPECT_TRUE(session.update(games.now += 20 * kMs));
    EXPECT_EQ(games.attached, 8u);
}

TEST(GameSession, ChosenProcessIsNeverSoughtAgainAfterItsEnd) {
    for (const bool wait : {false, true}) {
        FakeGames games;
        GameSession missing(games, wait, 42);
        EXPECT_EQ(missing.start(0), wait) << "not there: stop, or wait with --wait";
        EXPECT_EQ(missing.label(), "not found text");
        games.running = {5, 42};
        GameSession session(games, wait, 42);
        ASSERT_TRUE(session.start(0));
        EXPECT_EQ(games.attached, 42u);
        games.running = {5};
        cycles(session, games, 2500 * kMs);
        EXPECT_EQ(session.label(), "Process 42 has exited.");
        games.running = {5, 42};
        const std::size_t attempts = games.attempts.size();
        EXPECT_EQ(cycles(session, games, 5000 * kMs), std::vector<bool>(125, false));
        EXPECT_EQ(games.attempts.size(), attempts);
        EXPECT_EQ(session.takeNotice(), "");
    }
}

TEST(GameSession, WithoutTheNewOptionsAttachesOnceAndNeverWatches) {
    FakeGames games;
    EXPECT_FALSE(GameSession(games, false, 0).start(0));
    games.running = {1234, 5678};
    GameSession session(games, false, 0);
    ASSERT_TRUE(session.start(0));
    EXPECT_EQ(session.takeNotice(),
              "Found 2 Wow.exe processes (1234, 5678); reading 1234. Use --pid to choose.");
    EXPECT_EQ(session.takeNotice(), "");
    games.running.clear();
    EXPECT_EQ(cycles(session, games, 3000 * kMs), std::vector<bool>(150, true));
    EXPECT_TRUE(games.exitChecks.empty());
}

TEST(ParseCommandLine, TakesWaitAndAProcessId) {
    const std::tuple<std::vector<const char*>, ParseOutcome, bool, std::uint32_t> cases[] = {
        {{"--wait"}, ParseOutcome::Run, true, 0},
        {{"--pid", "1"}, ParseOutcome::Run, false, 1},
        {{"--pid", "4294967295", "--wait"}, ParseOutcome::Run, true, 4294967295u},
        {{"--pid", "4294967296"}, ParseOutcome::Invalid, false, 0},
        {{"--pid", "0"}, ParseOutcome::Invalid, false, 0},
        {{"--pid", "-1"}, ParseOutcome::Invalid, false, 0},
        {{"--pid", "12x"}, ParseOutcome::Invalid, false, 0},
        {{"--pid", " 12"}, ParseOutcome::Invalid, false, 0},
        {{"--pid", ""}, ParseOutcome::Invalid, false, 0},
        {{"--pid"}, ParseOutcome::Invalid, false, 0},
    };
    for (const auto& [args, outcome, wait, pid] : cases) {
        std::vector<const char*> argv{"CorvaneVoiceBridge"};
        argv.insert(argv.end(), args.begin(), args.end());
        BridgeOptions options;
        std::ostringstream err;
        EXPECT_EQ(parseCommandLine(static_cast<int>(argv.size()), argv.data(), options, err),
                  outcome) << ::testing::PrintToString(args);
        EXPECT_EQ(options.wait, wait);
        EXPECT_EQ(options.pid, pid);
        EXPECT_EQ(err.str(), "");
    }
}

}  // namespace
}  // namespace corvane
