// The real bridge in synthetic mode, observed from outside: its exit codes,
// its two streams and the record it publishes, against values written here
// from the documented numbers.

#include "tests/support/programs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

namespace corvane::testing {
namespace {

using namespace std::string_literals;

using Clock = std::chrono::steady_clock;

// Read in the test and, as a player would, through the link monitor, which
// sees about 50 frames a second (their count over 20 s: live_e2e_test.cpp).
TEST(SyntheticBridge, PublishesTheStaticPoseAbout50TimesASecond) {
    ChildProcess bridge;
    LinkProbe probe;
    // Quotes, spaces and a trailing backslash must survive the Windows command line, and
    // letters of any script arrive as typed (code points; UTF-8 bytes in the context),
    // whatever the system's code page.
    ASSERT_TRUE(startBridge(bridge, probe, {"--identity", "Oruli\xC3\xA9 \xD0\x96\xD0\xB0\xD0\xBD\xD0\xBD\xD0\xB0 "
                                            "\xE7\x8E\xB2\xE5\xA5\x88 \xF0\x9D\x84\x9E" R"( "the \"Bard\"" Lee\)",
                                            "--context", "CORVANE:7 x\xD0\x96", "--x", "1.5", "--y", "-2.25",
                                            "--z", "3.75", "--yaw", "90"}));
    const LinkRecord r = probe.read().value_or(LinkRecord{});
    EXPECT_EQ(r.name, U"Corvane Voice Bridge");  // the rest of the record's texts: unit tables
    EXPECT_EQ(r.identity, U"Oruli\u00E9 \u0416\u0430\u043D\u043D\u0430 \u73B2\u5948 \U0001D11E \"the \\\"Bard\\\"\" Lee\\");
    EXPECT_EQ(r.context, "CORVANE:7 x\xD0\x96");
    EXPECT_EQ(r.context_len, 13u);
    // A yaw of 90 faces +x; its z is the float cosine of the float nearest pi/2.
    expectPose(r, {1.5f, -2.25f, 3.75f, 1, 0, -4.371139e-8f}, 1e-6f);

    const std::string monitor = siblingProgram("CorvaneLinkMonitor");
    const Finished json = runToEnd({monitor, "--json", "--once"});
    EXPECT_EQ(json.exitCode, 0) << json.errorOutput;
    EXPECT_NE(json.output.find("CORVANE:7 x"), std::string::npos) << json.output;
    // 100 ms apart, the monitor sees five frames or so.
    const Finished live = runToEnd({monitor, "--once"});
    const std::size_t rate = live.output.find("Bridge              live, ");
    ASSERT_NE(rate, std::string::npos) << live.output;
    EXPECT_NEAR(std::stoi(live.output.substr(rate + 26)), 50, 30) << live.output;
    EXPECT_TRUE(stopBridge(bridge));
    EXPECT_EQ(bridge.output(), "");
    const Finished left = runToEnd({monitor, "--once"});
    EXPECT_NE(left.output.find("Bridge              not changing: no bridge is publishing\n"),
              std::string::npos) << left.output;
}

// The monitor beside a bridge that no voice client reads is no voice client:
// Windows, which only counts who holds the link, never counts it, and Linux
// never finds it (a change would be said within 5 s). Its JSON says who reads
// the link where it can tell (Linux: here, from a PID namespace of its own).
TEST(SyntheticBridge, TheMonitorIsNoVoiceClient) {
    ChildProcess bridge, monitor;
    std::string error;
    ASSERT_TRUE(bridge.start({bridgePath(), "--", siblingProgram("Wow.exe")}, error) &&
                pollUntil([&] { return bridge.errorOutput().find(" the link ") != std::string::npos; }, kStartTimeout));
    ASSERT_TRUE(monitor.start({siblingProgram("CorvaneLinkMonitor"), "--json"}, error)) << error;
    std::this_thread::sleep_for(std::chrono::seconds(8));
    const std::string said = bridge.errorOutput();
    EXPECT_TRUE(said.find("Another program has") == said.npos && said.find(" is read by ") == said.npos) << said;
    EXPECT_NE(monitor.output().find(isWindowsProgram(bridgePath()) ? "\"readers\":null,"
                                                                   : "\"readers\":\"Who reads the link /dev/shm/MumbleLink."), std::string::npos);
    monitor.kill();
    EXPECT_TRUE(bridge.writeInput("exit 0\n") && bridge.wait(kExitTimeout) == 0);
}

// Position (r sin a, y, r cos a) facing the centre; a starts at 0 and grows by
// --speed degrees a second. Frame n comes at least (n - 1) x 20 ms into the run.
TEST(SyntheticBridge, OrbitCirclesAtItsSpeedFacingTheCentre) {
    const auto launched = Clock::now();
    ChildProcess bridge;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe, {"--orbit", "--radius", "5", "--speed", "90", "--y", "2"}));
    const auto r = probe.waitFor([](const LinkRecord& s) { return s.uiTick >= 25; }, kStepTimeout);
    ASSERT_TRUE(r);
    const double seconds = std::chrono::duration<double>(Clock::now() - launched).count();
    const float* p = r->fAvatarPosition;
    const double degrees = std::fmod(std::atan2(p[0], p[2]) * 57.29578 + 360.0, 360.0);
    EXPECT_GE(degrees, (r->uiTick - 1) * 0.020 * 90.0 - 0.01);
    EXPECT_LE(degrees, seconds * 90.0 + 0.01);
    expectPose(*r, {p[0], 2, p[2], -p[0] / 5, 0, -p[2] / 5}, 1e-4f);
    EXPECT_NEAR(std::hypot(p[0], p[2]), 5.0, 1e-4);
}

// A rejected command line and help open no link; a missing game is told.
TEST(SyntheticBridge, RunsThatEndAtOnceSayWhyWithTheirExitCode) {
    const std::string hint = "Invalid arguments. Run with --help.\n";
    // (arguments, exit code, standard output's start, standard error)
    const std::tuple<std::vector<std::string>, int, std::string, std::string> rows[] = {
        {{"--bogus"}, 2, "", "Unknown option: --bogus\n" + hint},
        {{"--x", "nan"}, 2, "", hint},
        {{"--help"}, 0, "CorvaneVoiceBridge v0.6 - Online", ""},
        {{"--version"}, 0, "CorvaneVoiceBridge 0.8.0\n", ""},
        {{"--wow"}, 1, "", "ERROR: Wow.exe was not found.\n"},
    };
    for (auto [args, exitCode, output, errorOutput] : rows) {
        const std::string arg = args.front();
        args.insert(args.begin(), bridgePath());
        const Finished run = runToEnd(args);
        EXPECT_EQ(run.exitCode, exitCode) << arg;
        EXPECT_EQ(run.output.substr(0, output.size() + (output.empty() ? 1 : 0)), output) << arg;
        EXPECT_TRUE(arg != "--version" || run.output == output) << run.output;
        EXPECT_EQ(run.errorOutput, errorOutput);
        std::string error;
        EXPECT_TRUE(exitCode == 1 || !LinkProbe().open(error)) << arg << " opened the link";
    }
}

// A settings file as editors save it and players write it, in a folder whose
// name holds a letter beyond A-Z: a bad one is named with its line and nothing
// is published; from UTF-8 with its mark, or UTF-16 LE without one, with names
// in any case, a value in quotes and notes after the values, the values are
// published exactly, and a later option wins over the file.
TEST(SyntheticBridge, TakesItsSettingsFromAFile) {
    const std::filesystem::path folder = uniqueTempFile().concat(u8"-\u0416");
    std::filesystem::create_directory(folder);
    const auto file = [&](const std::string& bytes) {  // named by its size; empty: not there
        const std::filesystem::path path = folder / (std::to_string(bytes.size()) + ".ini");
        if (!bytes.empty()) std::ofstream(path, std::ios::binary) << bytes;
        const std::u8string name = path.u8string();
        return std::string(name.begin(), name.end());
    };
    const std::pair<std::string, std::string> bad[] = {  // what follows the file's name
        {"context = x\nidentity = Orul\xE9\n", "\", line 2: the text is not UTF-8 (the file looks "
                                               "saved in the ANSI code page): save it as UTF-8.\n"},
        {std::string(65537, '#'), "\" cannot be read: it is larger than 64 KiB.\n"},
        {"", "\" cannot be read: it does not exist.\n"},
    };
    for (const auto& [bytes, message] : bad) {
        const std::string path = file(bytes);
        const Finished run = runToEnd({bridgePath(), "--config", path});
        EXPECT_EQ(std::pair(run.exitCode, run.errorOutput), std::pair(std::optional(2), "Settings file \"" + path + message));
        std::string error;
        EXPECT_FALSE(LinkProbe().open(error)) << path << " opened the link";  // nothing published yet
    }
    const std::string utf8 = "\xEF\xBB\xBF# Mine\r\nIdentity = \"\xD0\x96\xD0\xB0\xD0\xBD\xD0\xBD\xD0\xB0\xF0\x9D\x84\x9E\""
                             " # my main\r\ncontext = CORVANE:\xD0\x96\t; from the guild\r\n";
    const std::string utf16 = "i\0d\0e\0n\0t\0i\0t\0y\0=\0\x16\x04\x30\x04\x3D\x04\x3D\x04\x30\x04\x34\xD8"
                              "\x1E\xDD\n\0C\0O\0N\0T\0E\0X\0T\0=\0C\0O\0R\0V\0A\0N\0E\0:\0\x16\x04"s;
    for (const auto& [bytes, later] : {std::pair(utf8, ""), std::pair(utf16, ""), std::pair(utf8, "Later")}) {
        ChildProcess bridge;
        LinkProbe probe;
        std::vector<std::string> args{"--config", file(bytes)};
        if (*later) args.insert(args.end(), {"--identity", later});
        ASSERT_TRUE(startBridge(bridge, probe, args));
        const LinkRecord r = probe.read().value_or(LinkRecord{});
        EXPECT_EQ(r.identity, *later ? U"Later" : U"\u0416\u0430\u043D\u043D\u0430\U0001D11E");
        EXPECT_EQ(r.context, "CORVANE:\xD0\x96");
        EXPECT_TRUE(stopBridge(bridge));
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace corvane::testing
