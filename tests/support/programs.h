#pragma once
// Our programs as the end-to-end tests run them: the bridge up to its first
// frame, the fake game client steered command by command, and a run to its end.

#include "tests/support/child_process.h"
#include "tests/support/link_probe.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace corvane::testing {

// Generous: a loaded machine, or wine making a new prefix.
inline constexpr std::chrono::milliseconds kStartTimeout{60000};
inline constexpr std::chrono::milliseconds kStepTimeout{5000};
inline constexpr std::chrono::milliseconds kExitTimeout{10000};

inline std::string bridgePath() { return siblingProgram("CorvaneVoiceBridge"); }

// Starts the bridge with `args` and waits until `probe` sees a frame of its own.
::testing::AssertionResult startBridge(ChildProcess& bridge, LinkProbe& probe,
                                       std::vector<std::string> args);
// SIGINT where other processes can be sent one, after which the run must end
// with 0; elsewhere the bridge is simply ended. Standard error must be empty.
::testing::AssertionResult stopBridge(ChildProcess& bridge);

// Waits until the child's standard output holds `text` past its first `from` bytes.
::testing::AssertionResult awaitOutput(ChildProcess& child, const std::string& text, std::size_t from = 0);

// Waits until the file at `path` (a log the bridge writes) holds `text`.
::testing::AssertionResult awaitFile(const std::string& path, const std::string& text);

// Expects the record's avatar and camera each at `position`, facing `front`,
// with the top (0, 1, 0): a position and a front as x, y, z.
void expectPose(const LinkRecord& record, std::vector<float> pose, float tolerance);

struct Finished {
    std::optional<int> exitCode;  // none: killed at the timeout, or never started
    std::string output;
    std::string errorOutput;
};
// Runs a program to its end; its streams as it meant them (wine's C runtime
// writes "\r\n" for "\n").
Finished runToEnd(const std::vector<std::string>& args);

// The fake game's program: the one built beside the test, or the Windows
// build that CORVANE_GAME names (the 32-bit one, say).
std::string fakeGameProgram();
// Whether `program` is a Windows program ("MZ"), which carries a version resource.
bool isWindowsProgram(const std::string& program);
// How `program` is started: by CORVANE_GAME_LOADER where set (Wine's loader
// of its width on Linux).
std::vector<std::string> fakeGameCommand(const std::string& program);

// The fake game client, a process named Wow.exe on every platform.
class FakeGame {
public:
    // Starts it and waits for its "ready"; by default fakeGameProgram().
    ::testing::AssertionResult start(std::vector<std::string> command = {});
    // Sends one command and returns its answer line (without one: the next line).
    std::string ask(const std::string& command);
    // Sends each command in turn; each must be answered "ok".
    ::testing::AssertionResult send(std::initializer_list<std::string> commands);
    ChildProcess& process() { return process_; }

private:
    ChildProcess process_;
};

}  // namespace corvane::testing
