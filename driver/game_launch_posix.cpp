#include "driver/game_launch.h"

#include "common/win32_error.h"

#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace corvane {

struct GameLaunch::Impl {
    pid_t pid = 0;
    std::optional<int> exitCode;  // once reaped: the pid may then be anyone's
};

GameLaunch::GameLaunch() noexcept = default;
GameLaunch::GameLaunch(GameLaunch&&) noexcept = default;
GameLaunch& GameLaunch::operator=(GameLaunch&&) noexcept = default;
GameLaunch::~GameLaunch() { exitCode(); }

bool GameLaunch::start(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    // Failing leaves only games that Wine starts out of reach: no reason not to start.
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);

    // The child gets default signal handling and no blocked signals: what the
    // bridge ignores (SIGPIPE) would otherwise stay ignored in the game. Every
    // descriptor the bridge opens is close-on-exec, so only the standard
    // streams are passed on.
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return false;
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int error = command.empty() ? ENOENT
                                      : posix_spawnp(&pid, argv[0], nullptr, &attributes,
                                                     argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        lastError_ = win32ErrorText("Could not start the game command \"" +
                                        (command.empty() ? std::string() : command[0]) + "\"",
                                    win32CodeForErrno(error));
        return false;
    }
    impl_ = std::make_unique<Impl>();
    impl_->pid = pid;
    return true;
}

std::uint32_t GameLaunch::gameAncestor() const noexcept {
    return impl_ ? static_cast<std::uint32_t>(getpid()) : 0;
}

std::optional<int> GameLaunch::exitCode() noexcept {
    if (!impl_) return std::nullopt;
    if (impl_->exitCode) return impl_->exitCode;
    // Every child: the command, and what we adopted from it, reaped as it ends.
    int status = 0;
    for (pid_t pid; (pid = waitpid(-1, &status, WNOHANG)) > 0;) {
        if (pid == impl_->pid) {
            impl_->exitCode = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        }
    }
    return impl_->exitCode;
}

std::optional<int> GameLaunch::waitForExit(std::chrono::milliseconds timeout) noexcept {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (started() && !exitCode() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds{10});
    }
    return exitCode();
}

// A launcher stops its game with SIGTERM, a closed terminal sends SIGHUP; a
// terminal's Ctrl-C already reaches the whole process group.
bool GameLaunch::passOn(int signal) noexcept {
    if ((signal != SIGTERM && signal != SIGHUP) || exitCode() || !impl_) return false;
    return ::kill(impl_->pid, signal) == 0;
}

}  // namespace corvane
