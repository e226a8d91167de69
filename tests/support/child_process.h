#pragma once
// Runs another program of ours for an end-to-end test: its standard input is a
// pipe we write, its standard output and error are collected in the
// background, and it can be stopped and waited for with a timeout.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::testing {

class ChildProcess {
public:
    ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Kills the child if it still runs and waits for it.
    ~ChildProcess();

    // args[0] is the program's path; the rest are its arguments, passed as-is
    // (quoted for the Windows command line as needed).
    bool start(const std::vector<std::string>& args, std::string& error);

    bool writeInput(std::string_view text);
    void closeInput();

    // Everything the child has written so far.
    std::string output() const;
    std::string errorOutput() const;

    // Waits until `ready` holds for the collected standard output (or the
    // child exits, or the timeout passes); returns whether it held.
    bool waitForOutput(const std::function<bool(const std::string&)>& ready,
                       std::chrono::milliseconds timeout) const;

    // POSIX: sends SIGINT / SIGTERM. Windows has no such signals for another
    // process; these return false there.
    bool interrupt();
    bool terminate();
    // Ends the child at once (SIGKILL / TerminateProcess).
    void kill();

    // The exit code once the child has ended within the timeout.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    bool running();
    std::uint32_t id() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The path of a program built beside the running test (".exe" added on Windows).
std::string siblingProgram(std::string_view name);

}  // namespace corvane::testing
