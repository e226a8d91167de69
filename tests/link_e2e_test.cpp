// POSIX only: whatever happens to the link object (removed, replaced, cut
// short, no memory behind it, something else at its name), the bridge and the
// monitor live on and say what they found; and who reads the link is named.
// Each test has a /dev/shm of its own (scripts/isolated.sh).

#include "tests/support/programs.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

const std::string kLink = "/dev/shm/MumbleLink." + std::to_string(getuid());

// The link as a reader that maps nothing sees it: its inode, size and tick.
struct Seen {
    ino_t inode = 0;
    off_t size = 0;
    std::uint32_t tick = 0;
};
Seen look() {
    Seen seen;
    const int fd = open(kLink.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0 && fstat(fd, &info) == 0) seen = {info.st_ino, info.st_size, 0};
    if (fd >= 0 && pread(fd, &seen.tick, 4, 4) != 4) seen.tick = 0;
    if (fd >= 0) close(fd);
    return seen;
}

// Frames of a bridge in the object at the name now, other than `old`.
bool framesIn(ino_t other, std::chrono::milliseconds timeout) {
    std::uint32_t first = 0;
    return pollUntil([&] {
        const Seen now = look();
        if (now.inode == other || now.size != 10580) return false;
        if (first == 0) first = now.tick;
        return first != 0 && now.tick >= first + 2;
    }, timeout);
}

bool saysOnError(ChildProcess& child, const std::string& text, std::chrono::milliseconds timeout = kStepTimeout) {
    return pollUntil([&] { return child.errorOutput().find(text) != std::string::npos; }, timeout);
}

// A fresh record of the voice client's (all zeros, 0600) put in the link's
// place at once; the descriptor returned holds a flock on it when `locked`.
int replaceLink(bool locked) {
    const int fd = shm_open("/fresh", O_RDWR | O_CREAT | O_EXCL, 0600);
    EXPECT_TRUE(fd >= 0 && ftruncate(fd, 10580) == 0 && (!locked || flock(fd, LOCK_EX) == 0));
    EXPECT_EQ(std::rename("/dev/shm/fresh", kLink.c_str()), 0);
    return fd;
}

// A voice client removes or replaces the link while the bridge runs: the
// bridge publishes to the object at the name within 2 s and says so; a new
// object another bridge holds ends its publishing, and the game runs on. The
// monitor follows each new object.
TEST(LinkFault, ARemovedOrReplacedLinkIsFollowedAndStaysOneBridges) {
    ChildProcess bridge, monitor;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe, {"--", siblingProgram("Wow.exe")}));
    std::string error;
    ASSERT_TRUE(monitor.start({siblingProgram("CorvaneLinkMonitor"), "--json"}, error)) << error;
    ASSERT_TRUE(awaitOutput(monitor, "\"tick\""));

    const Seen original = look();
    ASSERT_EQ(unlink(kLink.c_str()), 0);
    EXPECT_TRUE(framesIn(original.inode, 2s)) << "the removed link is not made again";
    const Seen made = look();
    const int fresh = replaceLink(false);
    EXPECT_TRUE(framesIn(made.inode, 2s)) << "the replaced link is not written";
    EXPECT_TRUE(saysOnError(bridge, "MumbleLink shared memory " + kLink + " was replaced, as a voice "
                                        "client that restarts does; the bridge publishes to the new one.\n"));
    const std::uint32_t followed = look().tick;
    const auto monitored = [&] {  // the tick of the monitor's last line
        const std::string out = monitor.output();
        const std::size_t at = out.rfind("\"tick\":");
        return at == std::string::npos ? 0ul : std::stoul(out.substr(at + 7));
    };
    EXPECT_TRUE(pollUntil([&] { return monitored() >= followed + 25; }, kStepTimeout)) << "the monitor did not follow";

    const int held = replaceLink(true);
    EXPECT_TRUE(saysOnError(bridge, "\nERROR: Another CorvaneVoiceBridge is already publishing to MumbleLink.\n"
                                    "The game runs without positional audio; the bridge waits for it to end.\n"));
    ASSERT_TRUE(bridge.writeInput("exit 4\n"));
    EXPECT_EQ(bridge.wait(kExitTimeout), 4);
    close(fresh);
    close(held);
}

// A reader polling a new link, as the voice client does (one read of the whole
// record, or the tick and then the fields through a mapping), never sees a
// tick before the frame it marks: the avatar's x (1.5) and the identity.
TEST(LinkFault, ANewTickAlwaysComesWithItsFrame) {
    for (int start = 0; start < 80; ++start) {
        SCOPED_TRACE(start);
        std::filesystem::remove(kLink);
        ChildProcess bridge;
        std::string error;
        ASSERT_TRUE(bridge.start({bridgePath(), "--identity", "Mine", "--x", "1.5"}, error)) << error;
        int fd = -1;
        ASSERT_TRUE(pollUntil([&] { return (fd = open(kLink.c_str(), O_RDONLY | O_CLOEXEC)) >= 0; }, kStartTimeout));
        std::uint32_t record[10580 / 4] = {};
        void* view = MAP_FAILED;
        std::uint32_t tick = 0;
        for (struct stat info {}; tick == 0 && bridge.running();) {
            if (start % 2 == 0 && pread(fd, record, sizeof record, 0) >= 8) {  // the whole record at once
                tick = record[1];
            } else if (start % 2 == 1 && view == MAP_FAILED) {  // mapped once it has its size
                if (fstat(fd, &info) == 0 && info.st_size == 10580) view = mmap(nullptr, 10580, PROT_READ, MAP_SHARED, fd, 0);
            } else if (start % 2 == 1) {  // the tick, then the fields
                const auto* words = static_cast<const volatile unsigned char*>(view);
                for (std::size_t i = 4; i < 8; ++i) tick |= static_cast<std::uint32_t>(words[i]) << (8 * (i - 4));
                for (std::size_t i = 0; tick != 0 && i < sizeof record; ++i) reinterpret_cast<unsigned char*>(record)[i] = words[i];
            }
        }
        EXPECT_EQ(std::tuple(std::bit_cast<float>(record[2]), record[1104 / 4]), std::tuple(1.5f, std::uint32_t{'M'})) << tick;
        if (view != MAP_FAILED) munmap(view, 10580);
        close(fd);
        EXPECT_TRUE(bridge.signal(SIGINT) && bridge.wait(kExitTimeout) == 0);
    }
}

// Cut short under them, the bridge makes the record whole again and the
// monitor says what it finds; neither dies of SIGBUS.
TEST(LinkFault, AShrunkLinkKillsNeitherTheBridgeNorTheMonitor) {
    ChildProcess bridge, monitor;
    {
        LinkProbe probe;  // unmapped before the link shrinks: it would fault
        ASSERT_TRUE(startBridge(bridge, probe, {"--", siblingProgram("Wow.exe")}));
    }
    std::string error;
    ASSERT_TRUE(monitor.start({siblingProgram("CorvaneLinkMonitor")}, error)) << error;
    ASSERT_TRUE(awaitOutput(monitor, "Corvane Voice Bridge"));
    ASSERT_EQ(truncate(kLink.c_str(), 0), 0);
    EXPECT_TRUE(framesIn(0, 1s));
    EXPECT_TRUE(saysOnError(bridge, "MumbleLink shared memory " + kLink + " was cut short by another "
                                    "program; the bridge made it whole again and publishes on.\n"));
    ASSERT_TRUE(bridge.writeInput("exit 0\n"));
    EXPECT_EQ(bridge.wait(kExitTimeout), 0);

    const std::string shrunk = "MumbleLink shared memory " + kLink + " holds only 100 of the record's 10580 "
                               "bytes: another program cut it short.";
    ASSERT_EQ(truncate(kLink.c_str(), 100), 0);
    EXPECT_TRUE(awaitOutput(monitor, shrunk));
    EXPECT_EQ(runToEnd({siblingProgram("CorvaneLinkMonitor"), "--once"}).errorOutput, shrunk + "\n");
    ASSERT_TRUE(monitor.signal(SIGINT));
    EXPECT_EQ(monitor.wait(kExitTimeout), 0);
}

// No memory left in /dev/shm for the record: exit 1 and the message, with a
// game command the game's own exit code; never SIGBUS (135). A record the
// voice client made is reserved too. While running, the bridge waits for room.
TEST(LinkFault, AFullDevShmEndsWith1AndSaysSo) {
    // In a mount namespace of its own, whoever runs the test.
    ASSERT_TRUE(unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
    ASSERT_EQ(mount("tmpfs", "/dev/shm", "tmpfs", 0, "size=8k,mode=1777"), 0) << std::strerror(errno);
    const std::string message = "ERROR: /dev/shm has no room for the 10580 bytes of MumbleLink shared memory " +
        kLink + " (Win32 error 8). Make room there (df -h /dev/shm shows how full it is) and start the bridge again.\n";
    const std::string gameOn = "The game runs without positional audio; the bridge waits for it to end.\n";
    const std::tuple<std::vector<std::string>, bool, int, std::string> rows[] = {
        {{bridgePath(), "--orbit"}, false, 1, message},
        {{bridgePath(), "--", "/bin/sh", "-c", "exit 3"}, false, 3, message + gameOn},
        {{bridgePath()}, true, 1, message},
    };
    for (const auto& [args, voiceClientMadeIt, code, said] : rows) {
        if (voiceClientMadeIt) {
            ASSERT_EQ((std::ofstream(kLink).close(), chmod(kLink.c_str(), 0600) | truncate(kLink.c_str(), 10580)), 0);
        }
        const Finished run = runToEnd(args);
        EXPECT_EQ(std::pair(run.exitCode, run.errorOutput), std::pair(std::optional(code), said));
        EXPECT_EQ(look().size, voiceClientMadeIt ? 10580 : 0) << "the bridge's own is not left behind";
    }
    // Room runs out while the bridge runs (its link cut short, /dev/shm filled
    // meanwhile): said, and the link written again once there is room.
    ASSERT_EQ(mount("tmpfs", "/dev/shm", "tmpfs", 0, "size=16k,mode=1777"), 0) << std::strerror(errno);
    ChildProcess bridge;
    {
        LinkProbe probe;  // unmapped before the link shrinks: it would fault
        ASSERT_TRUE(startBridge(bridge, probe, {"--", siblingProgram("Wow.exe")}));
    }
    ASSERT_TRUE(kill(bridge.id(), SIGSTOP) == 0 && truncate(kLink.c_str(), 0) == 0);
    std::ofstream("/dev/shm/filler") << std::string(16384, 'x');  // as much as fits
    ASSERT_EQ(kill(bridge.id(), SIGCONT), 0);
    EXPECT_TRUE(saysOnError(bridge, message.substr(7, message.find(" and start") - 7) + "; until then the bridge "
                                    "publishes nothing, and looks again every second.\n"));
    std::filesystem::remove("/dev/shm/filler");
    EXPECT_TRUE(framesIn(0, 2s)) << "not written again within 2 s";
    EXPECT_TRUE(saysOnError(bridge, "MumbleLink shared memory " + kLink + " can be used again; the bridge publishes to it.\n"));
    EXPECT_TRUE(bridge.writeInput("exit 0\n") && bridge.wait(kExitTimeout) == 0);
}

// A process that maps the link is named with its pid; one whose /dev/shm is
// its own, as a sandbox's is, is told apart. With none, a bridge in a PID
// namespace of its own (as each test runs, and as in a Flatpak) cannot tell
// whether a voice client outside reads the link, and says so.
TEST(LinkFault, ReadersAreNamed) {
    ChildProcess bridge;
    std::string error;
    ASSERT_TRUE(bridge.start({bridgePath(), "--", siblingProgram("Wow.exe")}, error)) << error;
    EXPECT_TRUE(saysOnError(bridge, "Who reads the link " + kLink + " cannot be seen from inside this sandbox (a "
        "Flatpak or a container hides the computer's other programs): the link monitor run outside it shows its "
        "readers.\n"));
    const std::string self = "link_e2e_tests (pid " + std::to_string(getpid()) + ")";
    {
        LinkProbe probe;
        ASSERT_TRUE(probe.open(error)) << error;
        EXPECT_TRUE(saysOnError(bridge, "The link " + kLink + " is read by " + self + ".\n", 10s));
        const Finished monitor = runToEnd({siblingProgram("CorvaneLinkMonitor"), "--once"});
        EXPECT_NE(monitor.output.find("\nReaders             The link " + kLink + " is read by " + self + ".\n"),
                  std::string::npos) << monitor.output;
    }
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t sandboxed = fork();
    if (sandboxed == 0) {  // a voice client with a /dev/shm of its own
        const int fd = unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                       mount("tmpfs", "/dev/shm", "tmpfs", 0, nullptr) == 0
                           ? shm_open(("/MumbleLink." + std::to_string(getuid())).c_str(), O_RDWR | O_CREAT, 0600) : -1;
        void* view = fd >= 0 && ftruncate(fd, 10580) == 0 ? mmap(nullptr, 10580, PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
        if (view == MAP_FAILED || write(ready[1], static_cast<const char*>(view), 1) != 1) _exit(1);
        pause();
    }
    char byte = 1;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_TRUE(saysOnError(bridge, "link_e2e_tests (pid " + std::to_string(sandboxed) + ") reads a link of "
        "the same name in a /dev/shm of its own, not this one: a voice client in a sandbox (Flatpak, Snap) "
        "never sees the bridge's frames. Let it use the system's /dev/shm (Flatpak: flatpak override --user "
        "--device=shm info.mumble.Mumble, then restart Mumble), or install Mumble from your distribution's "
        "packages.\n", 10s));
    kill(sandboxed, SIGKILL);
    waitpid(sandboxed, nullptr, 0);
    ASSERT_TRUE(bridge.writeInput("exit 0\n"));
    EXPECT_EQ(bridge.wait(kExitTimeout), 0);
}

// Whatever stands at the link's name, the monitor reports it and ends at once;
// the bridge leaves what is not shared memory alone.
TEST(LinkFault, TheMonitorNeverHangsOnWhatStandsAtTheName) {
    const std::vector<std::string> monitor = {siblingProgram("CorvaneLinkMonitor"), "--once"};
    const std::string leftAlone = "MumbleLink shared memory " + kLink + " is ";
    const std::tuple<const char*, std::vector<std::string>, std::string> rows[] = {
        {"mkfifo", monitor, leftAlone + "a FIFO, not shared memory; the monitor leaves it alone.\n"},
        {"mkfifo", {bridgePath()}, "ERROR: " + leftAlone + "a FIFO, not shared memory, so the bridge leaves it "
                                 "alone: remove it (rm -r " + kLink + ") and start the bridge again.\n"},
        {"mkdir", monitor, leftAlone + "a directory, not shared memory; the monitor leaves it alone.\n"},
        {"chown", monitor, "MumbleLink shared memory " + kLink + " belongs to user 65534, not to you; the "
                           "monitor leaves it alone.\n"},
    };
    for (const auto& [make, program, said] : rows) {
        std::filesystem::remove_all(kLink);
        const bool made = std::string(make) == "chown"
            ? (std::ofstream(kLink) << std::string(10580, '\0'), chown(kLink.c_str(), 65534, 65534) == 0)
            : runToEnd({"/usr/bin/env", make, kLink}).exitCode == 0;
        if (!made) continue;  // another user's object needs root of the whole machine
        const Finished run = runToEnd(program);
        EXPECT_EQ(std::pair(run.exitCode, run.errorOutput), std::pair(std::optional(1), said)) << make;
    }
}

}  // namespace
}  // namespace corvane::testing
