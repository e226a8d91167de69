#include "tests/support/programs.h"

#include <csignal>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <thread>

namespace corvane::testing {

namespace {
std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
}  // namespace

std::filesystem::path uniqueTempFile() {
    return std::filesystem::temp_directory_path() /
           ("corvane-child-" + std::to_string(std::random_device{}()) + std::to_string(std::random_device{}()));
}

bool pollUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !done();) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds{1});
    }
    return true;
}

std::string ChildProcess::output() const { return readFile(files_[0]); }

std::string ChildProcess::errorOutput() const { return readFile(files_[1]); }

// Once the child has ended its output is all there.
bool ChildProcess::waitForOutput(const std::function<bool(const std::string&)>& ready,
                                 std::chrono::milliseconds timeout) {
    pollUntil([&] { return ready(output()) || !running(); }, timeout);
    return ready(output());
}

::testing::AssertionResult startBridge(ChildProcess& bridge, LinkProbe& probe,
                                       std::vector<std::string> args) {
    args.insert(args.begin(), bridgePath());
    std::string error;
    // The bridge makes the link: open it as soon as it is there, then wait for
    // a new frame, as the link may still hold an earlier run's last one.
    if (bridge.start(args, error) &&
        pollUntil([&] { return probe.open(error) || !bridge.running(); }, kStartTimeout) &&
        bridge.running()) {
        const std::uint32_t before = probe.read().value_or(LinkRecord{}).uiTick;
        if (probe.waitFor([before](const LinkRecord& r) { return r.uiTick != before; }, kStartTimeout)) {
            return ::testing::AssertionSuccess();
        }
    }
    return ::testing::AssertionFailure() << "No frame was published. " << error << " "
                                         << bridge.errorOutput();
}

::testing::AssertionResult stopBridge(ChildProcess& bridge) {
    const bool signalled = bridge.signal(SIGINT);
    if (!signalled) bridge.kill();
    const std::optional<int> code = bridge.wait(kExitTimeout);
    if (code && (*code == 0 || !signalled) && bridge.errorOutput().empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "The bridge ended with " << code.value_or(-1)
                                         << " and said: " << bridge.errorOutput();
}

Finished runToEnd(const std::vector<std::string>& args) {
    ChildProcess child;
    Finished finished;
    if (!child.start(args, finished.errorOutput)) return finished;
    finished.exitCode = child.wait(kExitTimeout);
    finished.output = std::regex_replace(child.output(), std::regex("\r\n"), "\n");
    finished.errorOutput = std::regex_replace(child.errorOutput(), std::regex("\r\n"), "\n");
    return finished;
}

::testing::AssertionResult FakeGame::start(std::vector<std::string> command) {
    if (command.empty()) command.push_back(siblingProgram("Wow.exe"));
    std::string error;
    if (process_.start(command, error) && ask("") == "ready") return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "The fake game did not start. " << error
                                         << process_.errorOutput();
}

// Each answer is one line; an empty command only waits for the next one.
std::string FakeGame::ask(const std::string& command) {
    const std::size_t from = process_.output().size();
    if (!command.empty() && !process_.writeInput(command + "\n")) return "(not sent)";
    process_.waitForOutput([from](const std::string& out) { return out.find('\n', from) != out.npos; },
                           command.empty() ? kStartTimeout : kStepTimeout);
    const std::string out = process_.output();
    return out.substr(from, out.find_first_of("\r\n", from) - from);
}

::testing::AssertionResult FakeGame::send(std::initializer_list<std::string> commands) {
    for (const std::string& command : commands) {
        const std::string answer = ask(command);
        if (answer != "ok") return ::testing::AssertionFailure() << command << ": " << answer;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace corvane::testing
