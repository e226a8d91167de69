#include "tests/support/child_process.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <thread>

namespace corvane::testing {

struct ChildProcess::Impl {
    pid_t pid = 0;
    std::optional<int> exitCode;  // once reaped
    int input = -1;
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) { detail::nameOutputFiles(files_); }

// Killed before its input closes: a child that saw its input end would exit
// on its own and might run exit handlers (a sanitizer's leak check) meanwhile.
ChildProcess::~ChildProcess() {
    kill();
    wait(std::chrono::seconds{10});
    if (impl_->input >= 0) close(impl_->input);
    for (const auto& file : files_) std::filesystem::remove(file);
}

bool ChildProcess::start(const std::vector<std::string>& args, std::string& error) {
    // A child that ends before reading its input must not take us down.
    std::signal(SIGPIPE, SIG_IGN);
    int input[2];
    int output[2] = {-1, -1};
    if (impl_->pid != 0 || pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
        error = "Started twice, or no pipe could be made.";
        return false;
    }
    close(output[0]);  // a pipe nobody reads, for brokenOutputPipe
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
        dup2(brokenOutputPipe ? output[1] : open(out.c_str(), flags, 0600), 1);
        dup2(open(err.c_str(), flags, 0600), 2);
        // What this process ignores, the child must not.
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(s, SIG_DFL);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    impl_->input = input[1];
    if (impl_->pid < 0) error = "Could not start " + args[0] + ".";
    return impl_->pid > 0;
}

bool ChildProcess::writeInput(const std::string& text) {
    return write(impl_->input, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Never once reaped: the pid may then be someone else's.
bool ChildProcess::signal(int number) {
    return impl_->pid > 0 && !impl_->exitCode && ::kill(impl_->pid, number) == 0;
}

void ChildProcess::kill() { signal(SIGKILL); }

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (impl_->pid > 0 && !impl_->exitCode) {
        if (waitpid(impl_->pid, &status, WNOHANG) == impl_->pid) {
            impl_->exitCode = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        } else if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds{1});
        }
    }
    return impl_->exitCode;
}

std::uint32_t ChildProcess::id() const { return impl_->pid > 0 ? impl_->pid : 0; }

// Where we are root of the whole machine (not of a user namespace).
std::vector<std::string> asNobody() {
    std::ifstream uids("/proc/self/uid_map");
    std::string map;
    std::getline(uids, map);
    const passwd* user = getpwnam("nobody");
    if (geteuid() != 0 || user == nullptr || map.find("4294967295") == map.npos) return {};
    return {"/usr/bin/setpriv", "--reuid=" + std::to_string(user->pw_uid),
            "--regid=" + std::to_string(user->pw_gid), "--clear-groups", "--"};
}

std::filesystem::path detail::runningExecutable() {
    return std::filesystem::read_symlink("/proc/self/exe");
}

}  // namespace corvane::testing
