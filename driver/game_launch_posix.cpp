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
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace corvane {

// ERROR_NO_PROC_SLOTS: "The system cannot start another process at this
// time", what Windows says where a process limit is reached.
constexpr std::uint32_t kErrorNoProcSlots = 89;

struct GameLaunch::Impl {
    CommandFacts facts;  // the command's ID stays in it: once reaped it may be anyone's
    // The game's /proc/<pid>/stat, bound to that process: it reads nothing
    // once the process is reaped, whoever reaps it, even if the ID is reused.
    UniqueFd gameStat;
};

GameLaunch::GameLaunch() noexcept = default;
GameLaunch::GameLaunch(GameLaunch&&) noexcept = default;
GameLaunch& GameLaunch::operator=(GameLaunch&&) noexcept = default;
GameLaunch::~GameLaunch() { facts(); }

namespace {

// Whether the process of a /proc/<pid>/stat descriptor has ended: gone, a
// zombie or dead. The state follows the last ')', the name may hold any.
bool statEnded(int fd) {
    char stat[512];
    const ssize_t got = ::pread(fd, stat, sizeof stat - 1, 0);
    if (got <= 0) return true;
    stat[got] = '\0';
    const char* close = nullptr;
    for (const char* at = stat; (at = std::strchr(at, ')')) != nullptr; ++at) close = at;
    return close != nullptr && (close[1] == ' ') && (close[2] == 'Z' || close[2] == 'X');
}

std::string processName(std::uint32_t pid) {
    std::string name = readProcFile("/proc/" + std::to_string(pid) + "/comm", 64).value_or("");
    if (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

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
    // bridge ignores (SIGPIPE, SIGXFSZ), or a SIGCHLD ignore it was handed,
    // would otherwise stay so in the game. Every descriptor the bridge opens
    // is close-on-exec, so only the standard streams are passed on.
    posix_spawnattr_t attributes;
    pid_t pid = 0;
    int error = command.empty() ? ENOENT : posix_spawnattr_init(&attributes);
    if (!command.empty() && error == 0) {
        sigset_t none;
        sigset_t defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        for (const int signal : {SIGPIPE, SIGXFSZ, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            sigaddset(&defaults, signal);
        }
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        error = posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), envp.data());
        posix_spawnattr_destroy(&attributes);
    }
    if (error != 0) {
        // EAGAIN: the player's process limit (RLIMIT_NPROC) is reached.
        lastError_ = win32ErrorText("Could not start the game command \"" +
                                        (command.empty() ? std::string() : command[0]) + "\"",
                                    error == EAGAIN ? kErrorNoProcSlots : win32CodeForErrno(error));
        return false;
    }
    impl_ = std::make_unique<Impl>();
    impl_->facts.command = static_cast<std::uint32_t>(pid);
    impl_->facts.othersLeft = true;
    return true;
}

CommandProcesses GameLaunch::processes() const {
    return {impl_ ? static_cast<std::uint32_t>(getpid()) : 0, std::nullopt};
}

void GameLaunch::follow(std::uint32_t pid) noexcept {
    if (!impl_ || pid == 0 || pid == impl_->facts.game) return;
    CommandFacts& facts = impl_->facts;
    facts.game = pid;
    facts.gameEnded = facts.gameOutlived = false;
    facts.gameCode.reset();
    impl_->gameStat.reset(::open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC));
    // The command itself is the game: already reaped, it ended with its code.
    if (pid == facts.command && facts.commandEnded) {
        facts.gameEnded = true;
        facts.gameCode = facts.commandCode;
    }
}

CommandFacts GameLaunch::facts() noexcept {
    if (!impl_) return {};
    CommandFacts& facts = impl_->facts;
    // Ended and reaped by another (the wrapper it runs under): its code is the
    // wrapper's to know. Looked at before reaping, so a game of ours that
    // ends meanwhile is reaped below with its code.
    const bool gameWatched = facts.game != 0 && !facts.gameEnded;
    if (gameWatched && (impl_->gameStat ? statEnded(impl_->gameStat.get())
                                        : ::kill(static_cast<pid_t>(facts.game), 0) != 0 && errno == ESRCH)) {
        facts.gameEnded = true;
        facts.gameOutlived = facts.commandEnded;
    }
    // Every child: the command, and what we adopted from it, reaped as it ends.
    while (facts.othersLeft) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, WNOHANG);
        if (pid > 0) {
            const int code = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
            if (static_cast<std::uint32_t>(pid) == facts.game) {
                facts.gameCode = code;
                facts.gameOutlived = facts.commandEnded;
                facts.gameEnded = true;
            }
            if (static_cast<std::uint32_t>(pid) == facts.command) {
                facts.commandCode = code;
                facts.commandEnded = true;
            }
        } else if (pid == 0) {
            break;
        } else if (errno != EINTR) {
            // ECHILD: nothing of the command is left, its code seen or not
            // (a SIGCHLD ignored before our start lets the kernel reap unseen).
            facts.othersLeft = false;
            facts.commandEnded = true;
        }
    }
    if (facts.gameEnded) impl_->gameStat.reset();
    return facts;
}

int GameLaunch::stoppedBy(int signal) noexcept { return 128 + signal; }

// A launcher stops its game with SIGTERM, a closed terminal sends SIGHUP; a
// terminal's Ctrl-C (and Ctrl-\) already reaches the whole process group.
// Every descendant is told at once, so the game behind a wrapper that waits
// on it hears the stop too, not just the wrapper. What we adopted is ours
// until we reap it, so its ID cannot pass to another process meanwhile.
// wineserver is left: other programs of its prefix may share it, and it ends
// by itself once its last client has.
bool GameLaunch::passOn(int signal) noexcept {
    if ((signal != SIGTERM && signal != SIGHUP) || !impl_) return false;
    std::vector<std::uint32_t> none;
    std::vector<ProcessLink> links;
    if (!GameProcess::list(L"", none, &links)) {
        return !facts().commandEnded && ::kill(static_cast<pid_t>(impl_->facts.command), signal) == 0;
    }
    std::vector<std::uint32_t> family{static_cast<std::uint32_t>(getpid())};
    bool sent = false;
    for (std::size_t at = 0; at < family.size() && family.size() <= links.size(); ++at) {
        for (const ProcessLink& link : links) {
            if (link.parent != family[at] || link.pid == family[at]) continue;
            family.push_back(link.pid);
            if (processName(link.pid) == "wineserver") continue;
            sent = ::kill(static_cast<pid_t>(link.pid), signal) == 0 || sent;
        }
    }
    return sent;
}

}  // namespace corvane
