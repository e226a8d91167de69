#include "tests/support/child_process_platform.h"

#include "common/unique_fd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

extern char** environ;

namespace corvane::testing::detail {

namespace {

// How long one read waits for output before it lets the reader check
// whether it should stop.
constexpr int kReadPatienceMs = 20;

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

// Both ends close on exec, so no other child we start inherits them; the
// spawn duplicates the child's end onto its standard stream, which clears that.
bool makePipe(Pipe& pipe, std::string& error) {
    int fds[2];
    if (::pipe(fds) != 0) {
        error = "Could not create a pipe: " + std::generic_category().message(errno) + ".";
        return false;
    }
    pipe.read.reset(fds[0]);
    pipe.write.reset(fds[1]);
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    return true;
}

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
public:
    SpawnAttributes() { posix_spawnattr_init(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    posix_spawnattr_t* get() { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

}  // namespace

struct ProcessHandle::State {
    pid_t pid = -1;
    bool reaped = false;
    int exitCode = -1;
    UniqueFd input;
    UniqueFd output;
    UniqueFd error;
};

ProcessHandle::ProcessHandle() : state_(std::make_unique<State>()) {}
ProcessHandle::~ProcessHandle() = default;

bool ProcessHandle::start(const std::vector<std::string>& args, std::string& error) {
    // A child that ends before reading its input must not take the test down
    // with SIGPIPE; writeInput reports it as a failed write instead.
    std::signal(SIGPIPE, SIG_IGN);

    Pipe input;
    Pipe output;
    Pipe errorPipe;
    if (!makePipe(input, error) || !makePipe(output, error) || !makePipe(errorPipe, error)) {
        return false;
    }

    SpawnActions actions;
    posix_spawn_file_actions_adddup2(actions.get(), input.read.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), output.write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(actions.get(), errorPipe.write.get(), STDERR_FILENO);

    // The child starts with default handling of the signals tests send it,
    // whatever this process ignores or blocks.
    SpawnAttributes attributes;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    posix_spawnattr_setsigdefault(attributes.get(), &defaults);
    posix_spawnattr_setsigmask(attributes.get(), &noneBlocked);
    posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::vector<std::string> storage(args);
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int failure =
        posix_spawn(&pid, argv[0], actions.get(), attributes.get(), argv.data(), environ);
    if (failure != 0) {
        error = "Could not start " + args[0] + ": " + std::generic_category().message(failure) +
                ".";
        return false;
    }

    state_->pid = pid;
    state_->reaped = false;
    state_->input = std::move(input.write);
    state_->output = std::move(output.read);
    state_->error = std::move(errorPipe.read);
    return true;
}

bool ProcessHandle::writeInput(std::string_view text) {
    const int fd = state_->input.get();
    if (fd < 0) return false;
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

void ProcessHandle::closeInput() { state_->input.reset(); }

ReadResult ProcessHandle::read(OutputStream stream, char* buffer, std::size_t capacity,
                               std::size_t& count) {
    const int fd = stream == OutputStream::Standard ? state_->output.get() : state_->error.get();
    if (fd < 0) return ReadResult::End;
    pollfd ready{fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, kReadPatienceMs);
    if (polled == 0 || (polled < 0 && errno == EINTR)) return ReadResult::Idle;
    if (polled < 0) return ReadResult::End;
    const ssize_t got = ::read(fd, buffer, capacity);
    if (got > 0) {
        count = static_cast<std::size_t>(got);
        return ReadResult::Data;
    }
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return ReadResult::Idle;
    return ReadResult::End;
}

namespace {

// Once the child is reaped its pid may belong to someone else: never signal it.
bool sendSignal(pid_t pid, bool reaped, int signal) {
    return pid > 0 && !reaped && ::kill(pid, signal) == 0;
}

}  // namespace

bool ProcessHandle::interrupt() { return sendSignal(state_->pid, state_->reaped, SIGINT); }

bool ProcessHandle::terminate() { return sendSignal(state_->pid, state_->reaped, SIGTERM); }

void ProcessHandle::kill() { sendSignal(state_->pid, state_->reaped, SIGKILL); }

std::optional<int> ProcessHandle::wait(std::chrono::milliseconds timeout) {
    if (state_->pid <= 0) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!state_->reaped) {
        int status = 0;
        const pid_t result = ::waitpid(state_->pid, &status, WNOHANG);
        if (result == state_->pid) {
            state_->reaped = true;
            if (WIFEXITED(status)) {
                state_->exitCode = WEXITSTATUS(status);
            } else if (WIFSIGNALED(status)) {
                state_->exitCode = 128 + WTERMSIG(status);  // as shells report it
            }
            break;
        }
        if (result < 0 && errno != EINTR) {
            // Someone else reaped it; the code is lost.
            state_->reaped = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds{1});
    }
    return state_->exitCode;
}

std::uint32_t ProcessHandle::id() const {
    return state_->pid > 0 ? static_cast<std::uint32_t>(state_->pid) : 0;
}

std::string runningExecutablePath() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < path.size()) {
            path.resize(static_cast<std::size_t>(length));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::string_view executableSuffix() { return {}; }

}  // namespace corvane::testing::detail
