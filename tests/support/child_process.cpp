#include "tests/support/child_process.h"

#include "tests/support/child_process_platform.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace corvane::testing {

using detail::OutputStream;
using detail::ReadResult;

namespace {

// A child that has exited may still have output in its pipes; this is how
// long we wait for the readers to drain them before giving up on the rest.
constexpr std::chrono::milliseconds kDrainTimeout{2000};
// Reaping after SIGKILL / TerminateProcess takes milliseconds; this only
// bounds the destructor if something is badly wrong.
constexpr std::chrono::milliseconds kReapTimeout{10000};

}  // namespace

struct ChildProcess::Impl {
    detail::ProcessHandle process;
    bool started = false;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::string output;
    std::string errorOutput;
    // Until a child runs there is nothing to wait for.
    bool outputEnded = true;
    bool errorEnded = true;

    // Set once the child is gone, so readers stop even if some other process
    // inherited the pipe and keeps it open.
    std::atomic<bool> stopReading{false};
    std::thread outputReader;
    std::thread errorReader;

    void readLoop(OutputStream stream) {
        std::string& text = stream == OutputStream::Standard ? output : errorOutput;
        bool& ended = stream == OutputStream::Standard ? outputEnded : errorEnded;
        std::array<char, 4096> buffer{};
        for (;;) {
            std::size_t count = 0;
            const ReadResult result = process.read(stream, buffer.data(), buffer.size(), count);
            if (result == ReadResult::Data) {
                const std::lock_guard lock(mutex);
                text.append(buffer.data(), count);
                changed.notify_all();
            } else if (result == ReadResult::End || stopReading.load()) {
                break;
            }
        }
        const std::lock_guard lock(mutex);
        ended = true;
        changed.notify_all();
    }

    bool waitForStreamsToEnd(std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, timeout, [this] { return outputEnded && errorEnded; });
    }

    void joinReaders() {
        if (!waitForStreamsToEnd(kDrainTimeout)) stopReading.store(true);
        if (outputReader.joinable()) outputReader.join();
        if (errorReader.joinable()) errorReader.join();
    }
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
    if (!impl_->started) return;
    impl_->process.closeInput();
    impl_->process.kill();
    impl_->process.wait(kReapTimeout);
    impl_->joinReaders();
}

bool ChildProcess::start(const std::vector<std::string>& args, std::string& error) {
    if (impl_->started) {
        error = "This child process has already been started.";
        return false;
    }
    if (args.empty()) {
        error = "No program was given.";
        return false;
    }
    if (!impl_->process.start(args, error)) return false;
    impl_->started = true;
    {
        const std::lock_guard lock(impl_->mutex);
        impl_->outputEnded = false;
        impl_->errorEnded = false;
    }
    Impl& impl = *impl_;
    impl_->outputReader = std::thread([&impl] { impl.readLoop(OutputStream::Standard); });
    impl_->errorReader = std::thread([&impl] { impl.readLoop(OutputStream::Error); });
    return true;
}

bool ChildProcess::writeInput(std::string_view text) {
    return impl_->started && impl_->process.writeInput(text);
}

void ChildProcess::closeInput() {
    if (impl_->started) impl_->process.closeInput();
}

std::string ChildProcess::output() const {
    const std::lock_guard lock(impl_->mutex);
    return impl_->output;
}

std::string ChildProcess::errorOutput() const {
    const std::lock_guard lock(impl_->mutex);
    return impl_->errorOutput;
}

bool ChildProcess::waitForOutput(const std::function<bool(const std::string&)>& ready,
                                 std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl_->mutex);
    impl_->changed.wait_for(lock, timeout,
                            [&] { return ready(impl_->output) || impl_->outputEnded; });
    return ready(impl_->output);
}

bool ChildProcess::interrupt() { return impl_->started && impl_->process.interrupt(); }

bool ChildProcess::terminate() { return impl_->started && impl_->process.terminate(); }

void ChildProcess::kill() {
    if (impl_->started) impl_->process.kill();
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (!impl_->started) return std::nullopt;
    const std::optional<int> code = impl_->process.wait(timeout);
    // Callers look at the output next: let the readers take in what the child
    // wrote just before it ended.
    if (code) impl_->waitForStreamsToEnd(kDrainTimeout);
    return code;
}

bool ChildProcess::running() {
    return impl_->started && !impl_->process.wait(std::chrono::milliseconds{0}).has_value();
}

std::uint32_t ChildProcess::id() const { return impl_->started ? impl_->process.id() : 0; }

std::string siblingProgram(std::string_view name) {
    std::string path = detail::runningExecutablePath();
    const std::size_t slash = path.find_last_of("/\\");
    path.erase(slash == std::string::npos ? 0 : slash + 1);
    path += name;
    path += detail::executableSuffix();
    return path;
}

}  // namespace corvane::testing
