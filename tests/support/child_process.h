#pragma once
// Runs another program for an end-to-end test: its standard input is a pipe we
// write; its standard output and error go to files of their own, read back
// whenever asked for, so no thread has to drain them.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

// Tries `done` about every millisecond until it holds or the timeout passes.
bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
// A new file name in the temporary folder that no other test process picks.
std::filesystem::path uniqueTempFile();

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Kills the child if it still runs, reaps it and removes its files.
    ~ChildProcess();

    // args[0] is the program's path; every argument reaches the child as it is.
    bool start(const std::vector<std::string>& args, std::string& error);
    bool writeInput(const std::string& text);
    // Everything the child has written so far; in the errors "\r\n" as "\n"
    // (wine's C runtime writes "\r\n" for "\n").
    std::string output() const;
    std::string errorOutput() const;
    // Whether `ready` holds for the standard output before the child ends or
    // the timeout passes.
    bool waitForOutput(const std::function<bool(const std::string&)>& ready,
                       std::chrono::milliseconds timeout);
    // SIGINT, SIGTERM, SIGHUP...; on Windows SIGINT alone, as Ctrl-C, to a
    // child with a console of its own. False where it cannot be sent.
    bool signal(int number);
    // Ends the child at once (SIGKILL, TerminateProcess).
    void kill();
    // The exit code once the child has ended within the timeout (128 + the
    // signal for one that a signal ended, as shells report it); reaps it.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    bool running() { return id() != 0 && !wait(std::chrono::milliseconds{0}); }
    std::uint32_t id() const { return id_; }

    // POSIX: standard output is a pipe whose reader has already gone.
    bool brokenOutputPipe = false;
    // Standard output is a pipe of 4 KiB that we hold open and never read:
    // status lines fill it within seconds, then every write blocks, as to a
    // console that stopped taking text.
    bool unreadOutputPipe = false;
    // Windows: the child gets a console of its own, without a window, so that
    // signal(SIGINT) can send it Ctrl-C (other children get none: a monitor
    // alone on its console waits for a key).
    bool ownConsole = false;
    // POSIX: what a launcher may hand on (a Python one leaves SIGCHLD
    // ignored): SIGCHLD ignored, or SIGINT, SIGTERM and SIGHUP blocked.
    bool ignoresChildSignal = false;
    bool blocksStopSignals = false;

private:
    // The operating system's: POSIX pid and pipe descriptor, or Windows handles.
    std::intptr_t process_ = 0;
    std::intptr_t input_ = -1;
    std::intptr_t unreadOutput_ = -1;  // our end of the unread pipe
    std::uint32_t id_ = 0;
    std::optional<int> exitCode_;  // POSIX, once reaped
    std::filesystem::path files_[2] = {uniqueTempFile(), uniqueTempFile()};  // output, errors
};

// A program built beside the running one ("Wow.exe", or a name that gets
// ".exe" where the running one has that).
std::string siblingProgram(const std::string& name);

}  // namespace corvane::testing
