#pragma once
// Our programs as the end-to-end tests run them: the bridge up to its first
// frame, the fake game client steered command by command, and a run to its end.

#include "tests/support/child_process.h"
#include "tests/support/link_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

// Generous: a loaded machine, or wine starting its first process.
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

struct Finished {
    std::optional<int> exitCode;  // none: killed at the timeout, or never started
    std::string output;
    std::string errorOutput;
};
// Runs a program to its end; its streams as it meant them (wine's C runtime
// writes "\r\n" for "\n").
Finished runToEnd(const std::vector<std::string>& args);

// The status lines in `output` (each from its carriage return up to the next),
// the last one only once its ten trailing spaces have come.
std::vector<std::string> statusLines(const std::string& output);

// The fake game client, a process named Wow.exe on every platform.
class FakeGame {
public:
    // Starts it (by default the one built beside the test) and waits for its "ready".
    ::testing::AssertionResult start(std::vector<std::string> command = {});
    // Sends one command and returns its answer line.
    std::string ask(const std::string& command);
    // Sends each command in turn; each must be answered "ok".
    ::testing::AssertionResult send(std::initializer_list<std::string> commands);
    // For an answer awaited by hand.
    bool post(const std::string& command) { return process_.writeInput(command + "\n"); }
    std::string nextLine(std::chrono::milliseconds timeout);

    ChildProcess& process() { return process_; }

private:
    ChildProcess process_;
    std::size_t consumed_ = 0;
};

}  // namespace corvane::testing
