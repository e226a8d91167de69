#pragma once
// Runs another program for an end-to-end test: its standard input is a pipe we
// write; its standard output and error go to files of their own, read back
// whenever asked for, so no thread has to drain them.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

class ChildProcess {
public:
    ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Kills the child if it still runs, reaps it and removes its files.
    ~ChildProcess();

    // args[0] is the program's path; every argument reaches the child as it is.
    bool start(const std::vector<std::string>& args, std::string& error);
    bool writeInput(const std::string& text);
    // Everything the child has written so far.
    std::string output() const;
    std::string errorOutput() const;
    // Waits until `ready` holds for the standard output, the child ends or the
    // timeout passes; returns whether it held.
    bool waitForOutput(const std::function<bool(const std::string&)>& ready,
                       std::chrono::milliseconds timeout);
    // SIGINT, SIGTERM, SIGHUP...; false where no signal can be sent (Windows).
    bool signal(int number);
    // Ends the child at once (SIGKILL, TerminateProcess).
    void kill();
    // The exit code once the child has ended within the timeout (128 + the
    // signal for one that a signal ended, as shells report it); reaps it.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    bool running() { return id() != 0 && !wait(std::chrono::milliseconds{0}); }
    std::uint32_t id() const;

    // POSIX: standard output is a pipe whose reader has already gone.
    bool brokenOutputPipe = false;

private:
    struct Impl;  // the operating system's handles
    std::unique_ptr<Impl> impl_;
    std::filesystem::path files_[2];  // standard output, standard error
};

// A program built beside the running one, with its ".exe" where the running
// one has that and `name` has no extension.
std::string siblingProgram(const std::string& name);

// The words that, put before a program and its arguments, run it as the user
// "nobody"; none where that cannot be done (not root, or Windows).
std::vector<std::string> asNobody();

namespace detail {
std::filesystem::path runningExecutable();
void nameOutputFiles(std::filesystem::path (&files)[2]);
}  // namespace detail

}  // namespace corvane::testing
