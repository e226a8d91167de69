#include "tests/fault_platform.h"

#include "common/unique_fd.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

namespace corvane::testing {
namespace {

std::string lastErrorText(const char* what) {
    return std::string(what) + ": " + std::generic_category().message(errno) + ".";
}

bool nobody(uid_t& uid, gid_t& gid) {
    const passwd* entry = getpwnam("nobody");
    if (entry == nullptr) return false;
    uid = entry->pw_uid;
    gid = entry->pw_gid;
    return true;
}

// The value of one "Name:" line of /proc/<pid>/status.
std::optional<std::string> statusField(std::uint32_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(name + ":")) {
            std::istringstream value(line.substr(name.size() + 1));
            std::string word;
            value >> word;
            return word;
        }
    }
    return std::nullopt;
}

}  // namespace

bool canRunAsNobody() {
    uid_t uid = 0;
    gid_t gid = 0;
    return geteuid() == 0 && nobody(uid, gid);
}

bool runAsNobody(const std::vector<std::string>& args, std::chrono::milliseconds timeout,
                 Finished& finished, std::string& error) {
    uid_t uid = 0;
    gid_t gid = 0;
    if (!canRunAsNobody() || !nobody(uid, gid)) {
        error = "Only root can run a program as nobody.";
        return false;
    }
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        error = lastErrorText("pipe2");
        return false;
    }
    UniqueFd outRead(out[0]);
    UniqueFd outWrite(out[1]);
    if (pipe2(err, O_CLOEXEC) != 0) {
        error = lastErrorText("pipe2");
        return false;
    }
    UniqueFd errRead(err[0]);
    UniqueFd errWrite(err[1]);

    std::vector<std::string> storage(args);
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        error = lastErrorText("fork");
        return false;
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here on.
        dup2(outWrite.get(), STDOUT_FILENO);
        dup2(errWrite.get(), STDERR_FILENO);
        const int devNull = open("/dev/null", O_RDONLY);
        if (devNull >= 0) dup2(devNull, STDIN_FILENO);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGPIPE, SIG_DFL);
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    outWrite.reset();
    errWrite.reset();

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool killed = false;
    pollfd streams[2] = {{outRead.get(), POLLIN, 0}, {errRead.get(), POLLIN, 0}};
    std::string* texts[2] = {&finished.output, &finished.errorOutput};
    int openStreams = 2;
    while (openStreams > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 && !killed) {
            kill(pid, SIGKILL);
            killed = true;
        }
        const int patience =
            killed ? 1000 : static_cast<int>(std::max<long long>(left.count(), 1));
        if (poll(streams, 2, patience) < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (streams[i].fd < 0 || streams[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = read(streams[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                texts[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                streams[i].fd = -1;
                --openStreams;
            }
        }
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    finished.exitCode.reset();
    if (!killed && WIFEXITED(status)) finished.exitCode = WEXITSTATUS(status);
    return true;
}

bool setSharedMemoryAccess(const std::string& name, bool giveToNobody, unsigned mode,
                           std::string& error) {
    UniqueFd fd(shm_open(("/" + name).c_str(), O_RDONLY | O_CLOEXEC, 0));
    if (!fd) {
        error = lastErrorText("shm_open");
        return false;
    }
    uid_t uid = 0;
    gid_t gid = 0;
    if (giveToNobody && (!nobody(uid, gid) || fchown(fd.get(), uid, gid) != 0)) {
        error = lastErrorText("fchown");
        return false;
    }
    if (fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) {
        error = lastErrorText("fchmod");
        return false;
    }
    return true;
}

std::optional<bool> stopHandlersInstalled(std::uint32_t pid) {
    const std::optional<std::string> caught = statusField(pid, "SigCgt");
    if (!caught) return std::nullopt;
    const unsigned long long mask = std::stoull(*caught, nullptr, 16);
    const unsigned long long wanted = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
    return (mask & wanted) == wanted;
}

std::optional<char> schedulerState(std::uint32_t pid) {
    const std::optional<std::string> state = statusField(pid, "State");
    if (!state || state->empty()) return std::nullopt;
    return (*state)[0];
}

}  // namespace corvane::testing
