// A player's evening with the real bridge: started before the game, the game
// killed and started again, two game clients at once, a second bridge, and a
// bridge killed outright.

#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The isolation point: 50,000,000 + 1000 × the bits 0-9 and 10-19 of the
// identity's FNV-1a hash (for "Evening" 79 and 265).
constexpr float kEveningIsolated[3] = {50'079'000.0f, 0.0f, 50'265'000.0f};

bool standsAt(const LinkRecord& r, const float (&at)[3]) {
    const auto near = [&](int i) { return std::fabs(r.fAvatarPosition[i] - at[i]) <= 0.01f; };
    return near(0) && near(1) && near(2);
}

// In the world on map 0: link (x, y, z) = 0.9144 × game (x, z, y).
::testing::AssertionResult enterWorld(FakeGame& game, const char* gameXyz) {
    return game.send({std::string("pos ") + gameXyz + " 0", "map 0", "guid 2A", "list 3 1", "state 1"});
}
// Started, then in the world; a failure says which and why.
::testing::AssertionResult startInWorld(FakeGame& game, const char* gameXyz) {
    ::testing::AssertionResult started = game.start();
    return started ? enterWorld(game, gameXyz) : started;
}

class EveningTest : public ::testing::Test {
protected:
    bool awaitAt(const float (&at)[3], std::chrono::milliseconds timeout = kStepTimeout) {
        return probe.waitFor([&](const LinkRecord& r) { return standsAt(r, at); }, timeout).has_value();
    }
    ChildProcess bridge;
    LinkProbe probe;
};

// Through the evening the log that the settings file names ("log = NAME", a
// file beside it) gets the start line and each change of the status label
// once, never the repeating line.
TEST_F(EveningTest, WaitsForTheGameAndFollowsItThroughARestart) {
    const std::filesystem::path settings = uniqueTempFile(), log = settings.string() + ".log";
    std::ofstream(settings) << "log = " << log.filename().string() << "\n";
    const std::u8string name = settings.u8string();
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow", "--wait", "--identity", "Evening", "--config",
                                            std::string(name.begin(), name.end())}));
    EXPECT_TRUE(awaitOutput(bridge, "| waiting for Wow.exe |"));
    EXPECT_TRUE(awaitAt(kEveningIsolated));

    FakeGame first;
    ASSERT_TRUE(startInWorld(first, "100 200 30"));
    EXPECT_TRUE(awaitAt({91.44f, 27.432f, 182.88f}));
    EXPECT_TRUE(awaitOutput(bridge, "\rONLINE"));  // shown, so logged

    const std::size_t seen = bridge.output().size();
    first.process().kill();
    const auto killed = Clock::now();
    ASSERT_TRUE(awaitOutput(bridge, "| waiting for Wow.exe |", seen));
    EXPECT_LT(Clock::now() - killed, 3s) << "the game's end is seen within about a second";
    EXPECT_EQ(bridge.output().find("g_ClientConnectionState", seen), std::string::npos) << "the end is named at once";
    EXPECT_TRUE(awaitAt(kEveningIsolated, 1ms));
    const std::uint32_t tick = probe.read()->uiTick;  // nothing is lost meanwhile
    std::this_thread::sleep_for(1500ms);
    EXPECT_GE(probe.read()->uiTick, tick + 25);

    FakeGame second;  // placed again, after the debounce that the unit tests count
    ASSERT_TRUE(startInWorld(second, "-300 50 10"));
    EXPECT_TRUE(awaitAt({-274.32f, 9.144f, 45.72f}));

    // Each line after its local time, "YYYY-MM-DD hh:mm:ss ". Besides the labels
    // of every such evening, a run may catch "not in world", "entering world" or
    // a failed read.
    const std::string waiting = "OFFLINE/GLUE SCREEN | isolated | waiting for Wow.exe";
    std::vector<std::string> lines, sure;
    pollUntil([&] {  // the last label is shown, then logged
        std::ifstream in(log);
        lines.clear();
        sure.clear();
        for (std::string line; std::getline(in, line);) {
            const bool stamped = line.size() > 20 && line[4] == '-' && line[13] == ':' && line[19] == ' ';
            lines.push_back(stamped ? line.substr(20) : "no time: " + line);
            if (lines.back() == waiting || lines.back() == "ONLINE") sure.push_back(lines.back());
        }
        return sure.size() >= 4;
    }, kStepTimeout);
    EXPECT_TRUE(stopBridge(bridge));
    ASSERT_EQ(sure, (std::vector<std::string>{waiting, "ONLINE", waiting, "ONLINE"}));
    EXPECT_EQ(lines[0], "CorvaneVoiceBridge: live mode (reading Wow.exe, waiting for it when it is not "
                        "running) as \"Evening\" in context \"CORVANE:WORLD:1\". Ctrl-C stops.");
    // Every line stamped; each label once, whatever notices stand between them.
    std::string label;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_FALSE(lines[i].starts_with("no time: ")) << lines[i];
        if (lines[i] != "ONLINE" && !lines[i].starts_with("OFFLINE/GLUE SCREEN | isolated | ")) continue;
        EXPECT_NE(lines[i], label);
        EXPECT_EQ(lines[i].find("g_ClientConnectionState"), std::string::npos);
        label = lines[i];
    }
    // The last line, once stopped (where a signal can be sent), says how the run ended.
    std::string last;
    for (std::ifstream in(log); std::getline(in, label);) last = label.substr(std::min<std::size_t>(20, label.size()));
    EXPECT_TRUE(bridgePath().ends_with(".exe") || last == "The bridge ends (stopped by SIGINT (Ctrl-C)) with exit code 0.") << last;
    std::filesystem::remove(log);
    std::filesystem::remove(settings);
}

TEST_F(EveningTest, SeveralGamesGetAHintAndPidChoosesOne) {
    FakeGame games[2];
    const char* at[2] = {"100 200 30", "1000 2000 5"};
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(startInWorld(games[i], at[i]));
    const std::string ids[2] = {std::to_string(games[0].process().id()), std::to_string(games[1].process().id())};
    const auto hint = [&](int a, int b) {
        return "Found 2 Wow.exe processes (" + ids[a] + ", " + ids[b] + "); reading " + ids[a] +
               ". Use --pid to choose.\n";
    };
    const float places[2][3] = {{91.44f, 27.432f, 182.88f}, {914.4f, 4.572f, 1828.8f}};
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow", "--identity", "Evening"}));
    ASSERT_TRUE(probe.waitFor(  // placed: the start-up and its message are over
        [&](const LinkRecord& r) { return standsAt(r, places[0]) || standsAt(r, places[1]); },
        kStepTimeout));
    const std::string err = bridge.errorOutput();
    EXPECT_TRUE(err == hint(0, 1) || err == hint(1, 0)) << err;
    bridge.kill();
    bridge.wait(kExitTimeout);

    const int other = err == hint(0, 1) ? 1 : 0;  // the one not read by name
    ChildProcess chosen;
    ASSERT_TRUE(startBridge(chosen, probe, {"--wow", "--pid", ids[other], "--identity", "E"}));
    EXPECT_TRUE(awaitAt(places[other]));
    EXPECT_TRUE(stopBridge(chosen));
}

// The first bridge's identity is in every frame while a second one tries to
// start; killed outright, the first one blocks no later bridge.
TEST_F(EveningTest, OneBridgePublishesAtATime) {
    ASSERT_TRUE(startBridge(bridge, probe, {"--identity", "First"}) &&
                probe.waitFor([](const LinkRecord& r) { return r.identity == U"First"; }, 5s));
    ChildProcess second;
    std::string error;
    ASSERT_TRUE(second.start({bridgePath(), "--identity", "Second"}, error)) << error;
    const auto until = Clock::now() + 500ms;
    for (int frame = 0; second.running() || Clock::now() < until; ++frame) {
        const auto record = probe.read();
        ASSERT_TRUE(record && record->identity == U"First") << "frame " << frame;
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(second.wait(kExitTimeout), 1);
    EXPECT_EQ(second.errorOutput(),
              "ERROR: Another CorvaneVoiceBridge is already publishing to MumbleLink.\n");

    bridge.kill();
    ASSERT_TRUE(bridge.wait(kExitTimeout).has_value());
    ChildProcess next;
    ASSERT_TRUE(startBridge(next, probe, {"--identity", "Evening"}));
    EXPECT_EQ(probe.read().value_or(LinkRecord{}).identity, U"Evening");  // its first frame on
    EXPECT_TRUE(stopBridge(next));
}

// Of two games the one the game command started is read, whichever is found
// first; the hint names it. Its end ends the bridge, with its exit code 0.
TEST_F(EveningTest, GameCommandsOwnGameIsReadOfTwo) {
    FakeGame other;
    ASSERT_TRUE(startInWorld(other, "1000 2000 5"));
    ASSERT_TRUE(startBridge(bridge, probe, {"--identity", "Evening", "--", siblingProgram("Wow.exe")}));
    ASSERT_TRUE(bridge.writeInput("pos 100 200 30 0\nstate 1\n"));
    EXPECT_TRUE(awaitAt({91.44f, 27.432f, 182.88f}, kStartTimeout));
    // Beside the start line, which a game command's standard error also carries.
    const std::string err = bridge.errorOutput();
    const std::size_t open = err.find("processes (") + 11;
    const std::string ours = err.substr(open, err.find(',', open) - open);
    EXPECT_NE(err.find("Found 2 Wow.exe processes (" + ours + ", " + std::to_string(other.process().id()) +
                       "); reading " + ours + ", started by the game command.\n"), std::string::npos) << err;
    ASSERT_TRUE(bridge.writeInput("exit 0\n"));
    EXPECT_EQ(bridge.wait(kExitTimeout), 0);
    EXPECT_TRUE(awaitAt(kEveningIsolated, 1ms));
    // Standard output a pipe (a launcher's log): a status line for each change
    // of its label, as a line, never the one that repeats four times a second.
    std::vector<std::string> shown;
    std::istringstream out(bridge.output());
    for (std::string line; std::getline(out, line);) {
        if (line.ends_with('\r')) line.pop_back();  // Windows' line end
        if (line.find("Mumble=(") != std::string::npos) shown.push_back(line);
    }
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(shown[0].starts_with("OFFLINE/GLUE SCREEN | isolated | ")) << shown[0];
    const auto label = [](const std::string& line) {
        return line.starts_with("ONLINE |") ? std::string("ONLINE") : line.substr(0, line.find(" | Mumble=("));
    };
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].find('\r'), std::string::npos) << shown[i];
        if (i > 0) {
            EXPECT_NE(label(shown[i]), label(shown[i - 1])) << shown[i];
        }
    }
}

// The game always starts: without the link, with a settings file that cannot
// be read, with an option whose value "--" would have swallowed (which then
// has none), or after --help or --version, it runs on and its exit code comes
// back; only a command that cannot be started ends with 127, naming it.
TEST_F(EveningTest, GameCommandRunsWhateverTheBridgeCannotDo) {
    const Finished missing = runToEnd({bridgePath(), "--", "corvane-no-such-game", "x"});
    EXPECT_EQ(missing.exitCode, 127);
    EXPECT_EQ(missing.errorOutput,
              "ERROR: Could not start the game command \"corvane-no-such-game\" (Win32 error 2).\n");

    // Each while another bridge publishes, which only the run that needs the link minds.
    ASSERT_TRUE(startBridge(bridge, probe, {"--identity", "First"}));
    const std::string alone = "The game runs without positional audio; the bridge waits for it to end.\n";
    const std::string hint = "Invalid arguments. Run with --help.\n";
    // (options before "--", standard error's start, standard output's start)
    const std::tuple<std::vector<std::string>, std::string, std::string> rows[] = {
        {{}, "ERROR: Another CorvaneVoiceBridge is already publishing to MumbleLink.\n", ""},
        {{"--config", "corvane-no-such.ini"}, "Settings file \"corvane-no-such.ini\" cannot be read: ", ""},
        {{"--identity"}, hint, ""}, {{"--log"}, hint, ""}, {{"--config"}, hint, ""},
        {{"--help"}, "", "CorvaneVoiceBridge v0.6 - Online"}, {{"--version"}, "", "CorvaneVoiceBridge 0."},
    };
    int code = 4;
    for (auto [args, err, out] : rows) {
        args.insert(args.begin(), bridgePath());
        args.insert(args.end(), {"--", siblingProgram("Wow.exe")});
        ChildProcess game;
        std::string error;
        ASSERT_TRUE(game.start(args, error)) << error;
        ASSERT_TRUE(awaitOutput(game, "ready\n"))
            << args[1] << " ended with " << game.wait(kExitTimeout).value_or(-1) << ", said: " << game.errorOutput();
        ASSERT_TRUE(game.writeInput("exit " + std::to_string(++code) + "\n"));
        EXPECT_EQ(game.wait(kExitTimeout), code) << args[1];
        EXPECT_TRUE(game.errorOutput().starts_with(err) && game.errorOutput().ends_with(alone)) << game.errorOutput();
        EXPECT_TRUE(game.output().starts_with(out)) << game.output();
    }
    EXPECT_EQ(probe.read().value_or(LinkRecord{}).identity, U"First");
    EXPECT_TRUE(stopBridge(bridge));
}

// A launcher that starts the game and ends at once (a shell that puts it in
// the background; on Windows a .bat with "start"): the bridge reads the game,
// ends with it rather than with the launcher, and with the game's own code.
// A process the command leaves running 20 s past the game (as wineserver
// lingers) does not hold the end.
TEST_F(EveningTest, LauncherThatEndsFirstIsFollowedToTheGamesEnd) {
    const std::string script = uniqueTempFile().string();
    std::ofstream(script) << "pos 100 200 30 0\nstate 1\nsleep 3000\nexit 5\n";
    std::vector<std::string> command = {"/bin/sh", "-c", "\"$0\" < \"$1\" & exit 3", siblingProgram("Wow.exe"), script};
    if (bridgePath().ends_with(".exe")) {
        const std::string batch = script + ".bat";
        std::ofstream(batch) << "@start \"\" /b \"" << siblingProgram("Wow.exe") << "\" < \"" << script << "\"\r\n@exit /b 3\r\n";
        command = {"cmd", "/c", batch};
    }
    command.insert(command.begin(), {"--identity", "Evening", "--"});
    ASSERT_TRUE(startBridge(bridge, probe, command));
    EXPECT_TRUE(awaitAt({91.44f, 27.432f, 182.88f}, kStartTimeout));
    const auto placed = Clock::now();
    EXPECT_EQ(bridge.wait(kExitTimeout), 5);
    EXPECT_GT(Clock::now() - placed, 1s) << "the bridge ended before the game";
    EXPECT_TRUE(awaitAt(kEveningIsolated, 1ms));
    std::filesystem::remove(script);
    std::filesystem::remove(script + ".bat");
    if (bridgePath().ends_with(".exe")) return;

    ChildProcess lingering;  // the game's end, not the sleep's, ends it
    ASSERT_TRUE(startBridge(lingering, probe, {"--", "/bin/sh", "-c", "sleep 20 & exec \"$0\"", siblingProgram("Wow.exe")}));
    ASSERT_TRUE(pollUntil([&] { return lingering.errorOutput().find("Reading Wow.exe") != std::string::npos; },
                          kStepTimeout));  // read: a game not yet read may still be waited for
    ASSERT_TRUE(lingering.writeInput("exit 6\n"));
    const auto ended = Clock::now();
    EXPECT_EQ(lingering.wait(kExitTimeout), 6);
    EXPECT_LT(Clock::now() - ended, 1s);
}

// A program that only bears the game's name, started first, is passed over
// for the game; the hint names the choice, the log why.
TEST_F(EveningTest, TheGameIsReadNotAProgramThatOnlyBearsItsName) {
    FakeGame impostor, game;
    ASSERT_TRUE(impostor.start());
    if (impostor.ask("vanish") != "ok") GTEST_SKIP() << "this platform's fake game cannot hide its state";
    ASSERT_TRUE(startInWorld(game, "100 200 30"));
    const std::string ids[2] = {std::to_string(game.process().id()), std::to_string(impostor.process().id())};
    const std::string log = uniqueTempFile().string();
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow", "--identity", "Evening", "--log", log}));
    EXPECT_TRUE(awaitAt({91.44f, 27.432f, 182.88f}));
    EXPECT_EQ(bridge.errorOutput(), "Found 2 Wow.exe processes (" + ids[0] + ", " + ids[1] + "); reading " +
                                        ids[0] + ". Use --pid to choose.\n");
    EXPECT_TRUE(awaitFile(log, "Passed over Wow.exe process " + ids[1] + ": its connection state cannot be read, "
                               "so it is no 3.3.5a client.\n"));
    bridge.kill();
    bridge.wait(kExitTimeout);
    std::filesystem::remove(log);
}

}  // namespace
}  // namespace corvane::testing
