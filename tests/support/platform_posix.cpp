#include "tests/support/child_process.h"
#include "tests/support/link_probe.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <signal.h>

namespace corvane::testing {

// Killed before its input closes: a child that saw its input end would exit
// on its own and might run exit handlers (a sanitizer's leak check) meanwhile.
ChildProcess::~ChildProcess() {
    kill();
    wait(std::chrono::seconds{10});
    close(static_cast<int>(input_));
    if (unreadOutput_ >= 0) close(static_cast<int>(unreadOutput_));
    for (const auto& file : files_) std::filesystem::remove(file);
}

bool ChildProcess::start(const std::vector<std::string>& args, std::string& error) {
    // A child that ends before reading its input must not take us down.
    std::signal(SIGPIPE, SIG_IGN);
    int input[2], output[2];
    if (id_ != 0 || pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
        error = "Started twice, or no pipe could be made.";
        return false;
    }
    if (unreadOutputPipe) {
        fcntl(output[1], F_SETPIPE_SZ, 4096);  // as small as a pipe gets
        unreadOutput_ = output[0];
    } else {
        close(output[0]);  // the reader gone, for brokenOutputPipe
    }
    std::vector<std::string> storage(args);
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string out = files_[0].string(), err = files_[1].string();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(input[0], 0);
        const bool toPipe = brokenOutputPipe || unreadOutputPipe;
        dup2(toPipe ? output[1] : open(out.c_str(), O_WRONLY | O_CREAT, 0600), 1);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT, 0600), 2);
        // What this process ignores, the child must not.
        for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(s, SIG_DFL);
        if (ignoresChildSignal) std::signal(SIGCHLD, SIG_IGN);
        sigset_t stops;
        sigemptyset(&stops);
        for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, s);
        if (blocksStopSignals) sigprocmask(SIG_BLOCK, &stops, nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    input_ = input[1];
    id_ = pid > 0 ? static_cast<std::uint32_t>(pid) : 0;
    error = "Could not start " + args[0] + ".";
    return pid > 0;
}

bool ChildProcess::writeInput(const std::string& text) {
    return write(static_cast<int>(input_), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Never once reaped: the pid may then be someone else's.
bool ChildProcess::signal(int number) {
    return id_ != 0 && !exitCode_ && ::kill(static_cast<pid_t>(id_), number) == 0;
}

void ChildProcess::kill() { signal(SIGKILL); }

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    pollUntil([this] {
        int status = 0;
        if (id_ != 0 && !exitCode_ && waitpid(static_cast<pid_t>(id_), &status, WNOHANG) > 0) {
            exitCode_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
        }
        return id_ == 0 || exitCode_.has_value();  // nothing to wait for, or reaped
    }, timeout);
    return exitCode_;
}

std::string siblingProgram(const std::string& name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

// The native voice client's link: "/MumbleLink.<uid>", the real user ID in
// decimal, at least the 10580 bytes of the record.
bool LinkProbe::open(std::string& error) {
    const std::string name = "/MumbleLink." + std::to_string(getuid());
    const int fd = shm_open(name.c_str(), O_RDONLY, 0);
    struct stat status {};
    void* view = MAP_FAILED;
    if (fd >= 0 && fstat(fd, &status) == 0 && status.st_size >= 10580) {
        view = mmap(nullptr, 10580, PROT_READ, MAP_SHARED, fd, 0);
    }
    if (fd >= 0) close(fd);
    error = name + (fd < 0 ? " does not exist." : " is smaller than the record.");
    if (view != MAP_FAILED) view_ = static_cast<const unsigned char*>(view);
    return view != MAP_FAILED;
}

LinkProbe::~LinkProbe() { if (view_ != nullptr) munmap(const_cast<unsigned char*>(view_), 10580); }

}  // namespace corvane::testing
