#include "tests/support/child_process.h"

#include "common/unique_fd.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

extern char** environ;

namespace corvane::testing {

struct ChildProcess::Impl {
    pid_t pid = -1;
    std::optional<int> exitCode;  // once reaped
    UniqueFd input;

    // Never once reaped: the pid may then be someone else's.
    bool signal(int number) const { return pid > 0 && !exitCode && ::kill(pid, number) == 0; }
};

namespace {

std::string errnoText(const std::string& what, int code) {
    return what + ": " + std::generic_category().message(code) + ".";
}

// Our descriptors close on exec, so no child inherits another's; the spawn's
// dup2 onto a standard stream clears that for the child's own copy.
bool createFile(const std::filesystem::path& path, UniqueFd& fd, std::string& error) {
    fd.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd) error = errnoText("Could not create " + path.string(), errno);
    return static_cast<bool>(fd);
}

}  // namespace

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

// Killed before its input closes: a child that saw its input end would exit
// on its own and might run exit handlers (a sanitizer's leak check) meanwhile.
ChildProcess::~ChildProcess() {
    kill();
    wait(std::chrono::seconds{10});  // milliseconds, unless something is badly wrong
    removeFiles();
}

bool ChildProcess::start(const std::vector<std::string>& args, std::string& error) {
    if (!prepare(args, error)) return false;
    // A child that ends before reading its input must not take the test down
    // with SIGPIPE; the write fails instead.
    std::signal(SIGPIPE, SIG_IGN);
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        error = errnoText("Could not create a pipe", errno);
        return false;
    }
    UniqueFd input(pipe[0]);
    UniqueFd ours(pipe[1]);
    UniqueFd output;
    UniqueFd errors;
    if (!createFile(files_[0], output, error) || !createFile(files_[1], errors, error)) {
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errors.get(), STDERR_FILENO);
    // The child starts with the default handling of the signals tests send
    // it, whatever this process ignores.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGPIPE}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> storage(args);
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failure = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failure != 0) {
        error = errnoText("Could not start " + args[0], failure);
        return false;
    }
    impl_->pid = pid;
    impl_->input = std::move(ours);
    return true;
}

bool ChildProcess::writeInput(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(impl_->input.get(), text.data(), text.size());
        if (written < 0 && errno != EINTR) return false;
        if (written > 0) text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

bool ChildProcess::interrupt() { return impl_->signal(SIGINT); }

bool ChildProcess::terminate() { return impl_->signal(SIGTERM); }

void ChildProcess::kill() { impl_->signal(SIGKILL); }

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (impl_->pid > 0 && !impl_->exitCode) {
        int status = 0;
        const pid_t result = ::waitpid(impl_->pid, &status, WNOHANG);
        if (result == impl_->pid) {
            impl_->exitCode = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        } else if (result < 0 && errno != EINTR) {
            impl_->exitCode = -1;  // someone else reaped it; the code is lost
        } else if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds{1});
        }
    }
    return impl_->exitCode;
}

std::uint32_t ChildProcess::id() const {
    return impl_->pid > 0 ? static_cast<std::uint32_t>(impl_->pid) : 0;
}

std::filesystem::path detail::runningExecutable() {
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored);
}

}  // namespace corvane::testing
