#include "bench/fake_game_process.h"

#include "tests/support/child_process.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>

namespace corvane::bench {
namespace {

constexpr auto kAnswerTimeout = std::chrono::seconds(10);
// The fake game under a name of its own (see CMakeLists.txt).
constexpr char kProgram[] = "WowBench.exe";

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::string_view lastLine(const std::string& text) {
    std::string_view view(text);
    if (!view.empty() && view.back() == '\n') view.remove_suffix(1);
    const std::size_t start = view.find_last_of('\n');
    return start == std::string_view::npos ? view : view.substr(start + 1);
}

}  // namespace

struct FakeGame::Impl {
    testing::ChildProcess child;
};

FakeGame::FakeGame(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
FakeGame::~FakeGame() = default;

std::unique_ptr<FakeGame> FakeGame::start(std::string& error) {
    auto impl = std::make_unique<Impl>();
    if (!impl->child.start({testing::siblingProgram(kProgram)}, error)) return nullptr;
    const bool ready = impl->child.waitForOutput(
        [](const std::string& out) { return out.find("ready\n") != std::string::npos; },
        kAnswerTimeout);
    if (!ready) {
        error = "the fake game did not start: " + impl->child.errorOutput();
        return nullptr;
    }
    auto game = std::make_unique<FakeGame>(std::move(impl));
    std::uint32_t code = 0;
    if (game->process_.open(game->impl_->child.id(), FakeGame::kProcessName, code) != GameProcess::Status::Ok) {
        error = "could not attach to the fake game";
        return nullptr;
    }
    return game;
}

FakeGame* FakeGame::get(std::string& error) {
    static std::string failure;
    static const std::unique_ptr<FakeGame> game = start(failure);
    error = failure;
    return game.get();
}

bool FakeGame::command(const std::string& line, std::string& error) {
    testing::ChildProcess& child = impl_->child;
    const std::size_t before = lineCount(child.output());
    if (!child.writeInput(line + "\n")) {
        error = "the fake game stopped reading commands";
        return false;
    }
    const bool answered = child.waitForOutput(
        [before](const std::string& out) { return lineCount(out) > before; }, kAnswerTimeout);
    const std::string output = child.output();
    if (!answered || lastLine(output) != "ok") {
        error = "\"" + line + "\" was answered with \"" + std::string(lastLine(output)) + "\"";
        return false;
    }
    return true;
}

bool ProcessMemory::read(std::uint64_t address, void* out, std::size_t size) {
    std::memset(out, 0, size);
    return process_.read(address, out, size);
}

}  // namespace corvane::bench
