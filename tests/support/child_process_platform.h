#pragma once
// The operating-system half of ChildProcess: starting the program, its pipes
// and its end. child_process.cpp builds output collection and waits on it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::testing::detail {

enum class OutputStream { Standard, Error };

enum class ReadResult {
    Data,  // `count` bytes were read
    Idle,  // nothing came for a short while; ask again
    End,   // every writer of the stream is gone
};

class ProcessHandle {
public:
    ProcessHandle();
    ProcessHandle(const ProcessHandle&) = delete;
    ProcessHandle& operator=(const ProcessHandle&) = delete;
    // Releases the pipes and the handle; neither kills nor waits.
    ~ProcessHandle();

    bool start(const std::vector<std::string>& args, std::string& error);

    bool writeInput(std::string_view text);
    void closeInput();

    // Waits a few milliseconds at most for the stream's next bytes. Only the
    // stream's own reader thread calls this, and only while the handle lives.
    ReadResult read(OutputStream stream, char* buffer, std::size_t capacity, std::size_t& count);

    bool interrupt();
    bool terminate();
    void kill();
    // The exit code once the child has ended; also reaps it.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    std::uint32_t id() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The full path of the running executable, as UTF-8.
std::string runningExecutablePath();

// What the platform appends to a program's name: ".exe" or nothing.
std::string_view executableSuffix();

}  // namespace corvane::testing::detail
