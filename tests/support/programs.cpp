#include "tests/support/programs.h"

#include <thread>

namespace corvane::testing {

namespace {

std::string withoutCarriageReturns(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

}  // namespace

::testing::AssertionResult startBridge(ChildProcess& bridge, LinkProbe& probe,
                                       std::vector<std::string> args) {
    args.insert(args.begin(), bridgePath());
    std::string error;
    if (!bridge.start(args, error)) return ::testing::AssertionFailure() << error;
    // The bridge makes the link; open it as soon as it is there.
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (!probe.open(error)) {
        if (!bridge.running() || std::chrono::steady_clock::now() >= deadline) {
            return ::testing::AssertionFailure() << error << " " << bridge.errorOutput();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds{2});
    }
    // A new frame: the link may hold an earlier run's last one.
    const std::uint32_t before = probe.read().value_or(LinkRecord{}).uiTick;
    if (probe.waitFor([before](const LinkRecord& r) { return r.uiTick != before; },
                      kStartTimeout)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "No frame was published; " << bridge.errorOutput();
}

::testing::AssertionResult stopBridge(ChildProcess& bridge) {
    const bool signalled = bridge.interrupt();
    if (!signalled) bridge.kill();
    const std::optional<int> code = bridge.wait(kExitTimeout);
    if (code && (*code == 0 || !signalled) && bridge.errorOutput().empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "The bridge ended with " << (code ? std::to_string(*code) : "no exit code")
           << " and this on standard error: " << bridge.errorOutput();
}

Finished runToEnd(const std::vector<std::string>& args) {
    ChildProcess child;
    Finished finished;
    if (!child.start(args, finished.errorOutput)) return finished;
    finished.exitCode = child.wait(kExitTimeout);
    finished.output = withoutCarriageReturns(child.output());
    finished.errorOutput = withoutCarriageReturns(child.errorOutput());
    return finished;
}

std::vector<std::string> statusLines(const std::string& output) {
    std::vector<std::string> lines;
    for (std::size_t at = output.find('\r'); at != std::string::npos;) {
        const std::size_t next = output.find('\r', at + 1);
        std::string line = output.substr(at, next == std::string::npos ? next : next - at);
        if (next != std::string::npos || line.ends_with("          ")) lines.push_back(line);
        at = next;
    }
    return lines;
}

::testing::AssertionResult FakeGame::start(std::vector<std::string> command) {
    if (command.empty()) command.push_back(siblingProgram("Wow.exe"));
    std::string error;
    if (!process_.start(command, error)) return ::testing::AssertionFailure() << error;
    const std::string line = nextLine(kStartTimeout);
    if (line == "ready") return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "The fake game said \"" << line
                                         << "\" instead of \"ready\"; " << process_.errorOutput();
}

std::string FakeGame::ask(const std::string& command) {
    return post(command) ? nextLine(kStepTimeout) : "(not sent)";
}

::testing::AssertionResult FakeGame::send(std::initializer_list<std::string> commands) {
    for (const std::string& command : commands) {
        const std::string answer = ask(command);
        if (answer != "ok") return ::testing::AssertionFailure() << command << ": " << answer;
    }
    return ::testing::AssertionSuccess();
}

std::string FakeGame::nextLine(std::chrono::milliseconds timeout) {
    const auto answered = [this](const std::string& out) {
        return out.find('\n', consumed_) != std::string::npos;
    };
    if (!process_.waitForOutput(answered, timeout)) return "(no answer)";
    const std::string out = process_.output();
    const std::size_t end = out.find('\n', consumed_);
    std::string line = out.substr(consumed_, end - consumed_);
    consumed_ = end + 1;
    if (line.ends_with('\r')) line.pop_back();
    return line;
}

}  // namespace corvane::testing

