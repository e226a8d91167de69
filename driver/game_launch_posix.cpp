#include "driver/game_launch.h"

#include "common/proc_files.h"
#include "common/unique_fd.h"
#include "common/win32_error.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <string_view>
#include <thread>

extern char** environ;

namespace corvane {

struct GameLaunch::Impl {
    pid_t pid = 0;
    std::optional<int> commandCode;  // once reaped: the pid may then be anyone's
    std::optional<int> exitCode;     // once nothing of the command is left
};

GameLaunch::GameLaunch() noexcept = default;
GameLaunch::GameLaunch(GameLaunch&&) noexcept = default;
GameLaunch& GameLaunch::operator=(GameLaunch&&) noexcept = default;
GameLaunch::~GameLaunch() { exitCode(); }

namespace {

// The environment as the kernel gave it to this process. With a file
// capability the C library's secure mode has taken LD_PRELOAD,
// LD_LIBRARY_PATH, TMPDIR and others out of `environ`, which the game (not
// privileged itself) needs: Steam's overlay and runtimes, Lutris's Wine.
// Such a process is not dumpable, so its /proc files are root's: dumpable
// for the one open. That lends nothing meanwhile: a process may still only
// open another's memory or environment with every capability it holds.
std::vector<std::string> kernelEnvironment() {
    const bool dumpable = prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) == 1;
    if (!dumpable) prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
    UniqueFd fd(::open("/proc/self/environ", O_RDONLY | O_CLOEXEC));
    if (!dumpable) prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    std::string block;
    const bool whole = fd && readToEnd(fd.get(), block, std::numeric_limits<std::size_t>::max());
    std::vector<std::string> variables;
    if (!whole) {  // no /proc: what the C library left is the best there is
        for (char** variable = environ; *variable != nullptr; ++variable) variables.emplace_back(*variable);
        return variables;
    }
    for (std::size_t at = 0; at < block.size();) {
        const std::size_t end = block.find('\0', at);
        variables.push_back(block.substr(at, end - at));
        at = end == std::string::npos ? block.size() : end + 1;
    }
    return variables;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> list;
    for (std::string& text : texts) list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

}  // namespace

bool GameLaunch::start(const std::vector<std::string>& command) {
    std::vector<std::string> arguments = command;
    std::vector<std::string> variables = kernelEnvironment();
    const std::vector<char*> argv = pointers(arguments);
    const std::vector<char*> envp = pointers(variables);

    // Failing leaves only games that Wine starts out of reach: no reason not to start.
    prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);

    // The child gets default signal handling and no blocked signals: what the
    // bridge ignores (SIGPIPE) would otherwise stay ignored in the game. Every
    // descriptor the bridge opens is close-on-exec, so only the standard
    // streams are passed on.
    posix_spawnattr_t attributes;
    pid_t pid = 0;
    int error = command.empty() ? ENOENT : posix_spawnattr_init(&attributes);
    if (!command.empty() && error == 0) {
        sigset_t none;
        sigset_t defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        error = posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), envp.data());
        posix_spawnattr_destroy(&attributes);
    }
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

CommandProcesses GameLaunch::processes() const {
    return {impl_ ? static_cast<std::uint32_t>(getpid()) : 0, std::nullopt};
}

std::optional<int> GameLaunch::exitCode() noexcept {
    if (!impl_) return std::nullopt;
    if (impl_->exitCode) return impl_->exitCode;
    // Every child: the command, and what we adopted from it, reaped as it ends.
    for (;;) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid == impl_->pid) {
            impl_->commandCode = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        } else if (pid == 0 || (pid < 0 && errno != EINTR)) {
            // ECHILD: nothing of the command is left.
            if (pid < 0 && errno == ECHILD) impl_->exitCode = impl_->commandCode;
            return impl_->exitCode;
        }
    }
}

std::optional<int> GameLaunch::waitForExit(std::chrono::milliseconds timeout) noexcept {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (started() && !exitCode() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds{10});
    }
    return exitCode();
}

// A launcher stops its game with SIGTERM, a closed terminal sends SIGHUP; a
// terminal's Ctrl-C already reaches the whole process group. Once the
// command has ended, the processes it left are our children (adopted), whose
// IDs cannot pass to another process before we reap them.
bool GameLaunch::passOn(int signal) noexcept {
    if ((signal != SIGTERM && signal != SIGHUP) || exitCode() || !impl_) return false;
    if (!impl_->commandCode) return ::kill(impl_->pid, signal) == 0;
    std::vector<std::uint32_t> none;
    std::vector<ProcessLink> links;
    bool sent = false;
    if (!GameProcess::list(L"", none, &links)) return false;
    for (const ProcessLink& link : links) {
        if (link.parent == static_cast<std::uint32_t>(getpid())) {
            sent = ::kill(static_cast<pid_t>(link.pid), signal) == 0 || sent;
        }
    }
    return sent;
}

}  // namespace corvane
