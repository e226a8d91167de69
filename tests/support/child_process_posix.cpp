#include "tests/support/child_process.h"

#include "common/unique_fd.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>

namespace corvane::testing {

struct ChildProcess::Impl {
    pid_t pid = -1;
    std::optional<int> exitCode;  // once reaped
    UniqueFd input;
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

// Killed before its input closes: a child that saw its input end would exit
// on its own and might run exit handlers (a sanitizer's leak check) meanwhile.
ChildProcess::~ChildProcess() {
    kill();
    wait(std::chrono::seconds{10});
    for (const auto& file : files_) std::filesystem::remove(file);
}

bool ChildProcess::start(const std::vector<std::string>& args, std::string& error) {
    detail::nameOutputFiles(files_);
    // A child that ends before reading its input must not take the test down
    // with SIGPIPE; the write fails instead.
    std::signal(SIGPIPE, SIG_IGN);
    int input[2];
    int broken[2] = {-1, -1};
    if (impl_->pid > 0 || pipe2(input, O_CLOEXEC) != 0 ||
        (brokenOutputPipe && pipe2(broken, O_CLOEXEC) != 0)) {
        error = "Started twice, or no pipe could be made.";
        return false;
    }
    const UniqueFd childInput(input[0]);
    impl_->input.reset(input[1]);
    const UniqueFd brokenWriter(broken[1]);
    if (broken[0] >= 0) close(broken[0]);
    std::vector<std::string> storage(args);
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string out = files_[0].string();
    const std::string err = files_[1].string();
    impl_->pid = fork();
    if (impl_->pid == 0) {
        const int flags = O_WRONLY | O_CREAT | O_TRUNC;
        dup2(input[0], 0);
        dup2(brokenOutputPipe ? broken[1] : open(out.c_str(), flags, 0600), 1);
        dup2(open(err.c_str(), flags, 0600), 2);
        // What this process ignores, the child must not.
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(s, SIG_DFL);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (impl_->pid < 0) error = "Could not start " + args[0] + ".";
    return impl_->pid > 0;
}

bool ChildProcess::writeInput(std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(impl_->input.get(), text.data(), text.size());
        if (written < 0 && errno != EINTR) return false;
        if (written > 0) text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Never once reaped: the pid may then be someone else's.
bool ChildProcess::signal(int number) {
    return impl_->pid > 0 && !impl_->exitCode && ::kill(impl_->pid, number) == 0;
}

bool ChildProcess::interrupt() { return signal(SIGINT); }

bool ChildProcess::terminate() { return signal(SIGTERM); }

void ChildProcess::kill() { signal(SIGKILL); }

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

std::vector<std::string> asNobody() {
    const passwd* user = geteuid() == 0 ? getpwnam("nobody") : nullptr;
    if (user == nullptr) return {};
    return {"/usr/bin/setpriv", "--reuid=" + std::to_string(user->pw_uid),
            "--regid=" + std::to_string(user->pw_gid), "--clear-groups", "--"};
}

std::filesystem::path detail::runningExecutable() {
    return std::filesystem::read_symlink("/proc/self/exe");
}

}  // namespace corvane::testing
