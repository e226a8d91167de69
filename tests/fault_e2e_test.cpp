// POSIX only: how the bridge stops on signals passed on to a game and before its
// first cycle, what it says when refused access, and a settings file that is a
// FIFO. (Stops while nobody reads the status line: live_e2e_test.cpp.)

#include "tests/support/programs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <fstream>
#include <iterator>
#include <thread>
#include <tuple>

namespace corvane::testing {
namespace {

// Only root of the whole machine may become another user.
bool rootOfTheMachine() {
    std::string uids;
    std::getline(std::ifstream("/proc/self/uid_map"), uids);
    return uids.find("4294967295") != uids.npos;
}

// Root may open anything, so checks of access need a run as another user:
// "nobody" (65534), or 1000.
std::vector<std::string> asUser(int uid, std::vector<std::string> args) {
    const std::string id = std::to_string(uid);
    args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--"});
    return args;
}
std::vector<std::string> asNobody(std::vector<std::string> args) { return asUser(65534, std::move(args)); }

// Whether the process `pid` has ended (gone, or a zombie nobody reaped yet).
bool gone(const std::string& pid) {
    std::string stat;
    std::getline(std::ifstream("/proc/" + pid + "/stat"), stat);
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || stat.compare(close, 3, ") Z") == 0;
}

// A launcher stops the game it started through the bridge with SIGTERM, a
// closed terminal with SIGHUP: passed on to every process of the command's,
// so the game behind a wrapper that waits on it ends too, and the bridge ends
// with the game's code or 128 + the signal, never 0. A game that ignores the
// stop is named and left running. What the launcher handed on (SIGCHLD
// ignored, the stop signals blocked) holds nothing. SIGQUIT (Ctrl-\) parks
// the character and ends with 0, as SIGTERM does without a game command; a
// file size limit ends nothing.
TEST(Fault, StopsReachTheGameBehindAWrapperWhateverWasInherited) {
    const std::string game = siblingProgram("Wow.exe");
    enum Inherited { Nothing, ChildIgnored, StopsBlocked };
    // (command after "--", inherited, signal or 0 for "exit 4" to the game, exit code, game left running)
    const std::tuple<std::vector<std::string>, Inherited, int, int, bool> rows[] = {
        {{game}, Nothing, SIGTERM, 143, false},
        {{game}, Nothing, SIGHUP, 129, false},
        {{"/bin/sh", "-c", "\"$0\"; echo after", game}, Nothing, SIGTERM, 143, false},
        {{"/bin/sh", "-c", "trap '' TERM; exec \"$0\"", game}, Nothing, SIGTERM, 143, true},
        {{game}, ChildIgnored, 0, 4, false},
        {{game}, ChildIgnored, SIGTERM, 143, false},
        {{game}, StopsBlocked, SIGTERM, 143, false},
    };
    for (const auto& [command, inherited, signal, code, left] : rows) {
        SCOPED_TRACE(command.front() + " " + std::to_string(inherited) + " " + std::to_string(signal));
        ChildProcess bridge;
        bridge.ignoresChildSignal = inherited == ChildIgnored;
        bridge.blocksStopSignals = inherited == StopsBlocked;
        LinkProbe probe;
        std::vector<std::string> args{"--identity", "Fault", "--"};
        args.insert(args.end(), command.begin(), command.end());
        ASSERT_TRUE(startBridge(bridge, probe, args));
        std::string pid;  // once read
        ASSERT_TRUE(pollUntil([&] {
            const std::string err = bridge.errorOutput();
            const std::size_t at = err.find("Reading Wow.exe (process ");
            if (at != std::string::npos) pid = err.substr(at + 25, err.find(')', at) - at - 25);
            return !pid.empty();
        }, kStepTimeout));
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(signal == 0 ? bridge.writeInput("exit 4\n") : bridge.signal(signal));
        EXPECT_EQ(bridge.wait(kExitTimeout), code);
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds{left ? 6 : 1});
        EXPECT_EQ(gone(pid), !left);
        const std::string named = "The game (process " + pid + ") still runs after the stop; the bridge leaves it running.\n";
        EXPECT_EQ(bridge.errorOutput().ends_with(named), left) << bridge.errorOutput();
        if (left) ::kill(std::stoi(pid), SIGKILL);
    }
    FakeGame played;
    ASSERT_TRUE(played.start() && played.send({"pos 100 200 10 0", "state 1"}));
    ChildProcess bridge;
    LinkProbe probe;
    ASSERT_TRUE(startBridge(bridge, probe, {"--wow", "--identity", "Fault"}));
    ASSERT_TRUE(probe.waitFor([](const LinkRecord& r) { return r.fAvatarPosition[0] < 1000.0f; }, kStepTimeout));
    ASSERT_TRUE(bridge.signal(SIGQUIT));
    EXPECT_EQ(bridge.wait(kExitTimeout), 0);
    EXPECT_GT(probe.read().value_or(LinkRecord{}).fAvatarPosition[0], 1e7f) << "parked";

    // A log already past the file size limit (ulimit -f; the link's 10580
    // bytes must fit): its writes fail, and the bridge reads the game on
    // rather than dying of SIGXFSZ unparked.
    const std::string log = uniqueTempFile().string();
    std::ofstream(log) << std::string(40000, 'x') << "\n";
    ChildProcess limited;
    std::string error;
    ASSERT_TRUE(limited.start({"/usr/bin/prlimit", "--fsize=20000", bridgePath(), "--wow", "--log", log}, error)) << error;
    EXPECT_TRUE(awaitOutput(limited, "\rONLINE"));
    ASSERT_TRUE(limited.signal(SIGINT));
    EXPECT_EQ(limited.wait(kExitTimeout), 0);
    // A short run that writes only its error to that log ends with its own code.
    EXPECT_EQ(runToEnd({"/usr/bin/prlimit", "--fsize=20000", bridgePath(), "--log", log, "--speed", "nan"}).exitCode, 2);
    std::filesystem::remove(log);
}

// The player's process limit reached: the game command's failure says so
// (Windows' ERROR_NO_PROC_SLOTS), not "invalid parameter".
TEST(Fault, AProcessLimitIsNamedAsOne) {
    if (!rootOfTheMachine()) GTEST_SKIP() << "Needs root of the whole machine.";
    // A sanitizer's leak check at the end needs a thread, which the limit refuses.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    const std::string options = "ASAN_OPTIONS=" + (sanitizer ? std::string(sanitizer) + ":" : "") + "detect_leaks=0";
    const Finished run = runToEnd(asUser(1000, {"/usr/bin/env", options, "/usr/bin/prlimit", "--nproc=1", bridgePath(),
                                                "--", "/bin/true"}));
    EXPECT_EQ(run.exitCode, 127);
    EXPECT_EQ(run.errorOutput, "ERROR: Could not start the game command \"/bin/true\" (Win32 error 89).\n");
}

// The signal comes the moment both handlers are in place (SigCgt bits 2 and
// 15). Start-up then goes on to its end, making the link, but publishes nothing.
TEST(Fault, StopSignalBeforeTheFirstCycleEndsWith0AndPublishesNothing) {
    FakeGame game;  // live mode: attaching to it lengthens the start-up
    ASSERT_TRUE(game.start());
    int early = 0;
    for (int attempt = 0; attempt < 40 && early < 3; ++attempt) {
        ChildProcess bridge;
        std::string error;
        std::filesystem::remove("/dev/shm/MumbleLink." + std::to_string(getuid()));
        ASSERT_TRUE(bridge.start({bridgePath(), "--wow"}, error)) << error;
        for (std::string word; (std::stoull("0" + word, nullptr, 16) & 0x4002) != 0x4002;) {
            std::ifstream status("/proc/" + std::to_string(bridge.id()) + "/status");
            while (status >> word && word != "SigCgt:") {}
            if (!(status >> word) && !bridge.running()) break;
        }
        ASSERT_TRUE(bridge.signal(attempt % 2 == 0 ? SIGINT : SIGTERM));
        ASSERT_EQ(bridge.wait(kExitTimeout), 0) << bridge.errorOutput();
        if (!bridge.output().empty()) continue;  // too late: the first cycle always prints
        ++early;
        LinkProbe probe;
        ASSERT_TRUE(probe.open(error)) << error;
        EXPECT_EQ(probe.read().value_or(LinkRecord{}).raw, std::vector<unsigned char>(10580, 0));
    }
    EXPECT_GT(early, 0) << "the first cycle ran in every run stopped before it";
}

// The bridge as user 1000: a --pid of a game not its own is refused (with --wait as the label); another
// user's game (65534's) is no candidate: no error 5, no hint of several games,
// and its own game is read once it runs.
TEST(Fault, RefusedAccessIsWin32Error5AndAnotherUsersGameNoCandidate) {
    if (!rootOfTheMachine()) GTEST_SKIP() << "Needs root of the whole machine.";
    FakeGame theirs, mine;
    ASSERT_TRUE(theirs.start(asNobody({siblingProgram("Wow.exe")})) && theirs.send({"state 1"}));
    const std::string pid = std::to_string(theirs.process().id());
    const std::string refused = "OpenProcess failed for process " + pid + " (Win32 error 5).";
    const Finished run = runToEnd(asUser(1000, {bridgePath(), "--wow", "--pid", pid}));
    EXPECT_EQ(std::pair(run.exitCode, run.errorOutput), std::pair(std::optional(1), "ERROR: " + refused + "\n"));
    // On a terminal of 60 columns the label loses its end, so the full text
    // comes once below it.
    const Finished console = runToEnd({"/usr/bin/script", "-qec", "stty cols 60 && exec timeout "
        "--preserve-status -s INT 3 /usr/bin/setpriv --reuid=1000 --regid=1000 --clear-groups -- '" +
        bridgePath() + "' --wow --wait --pid " + pid, "/dev/null"});
    EXPECT_EQ(console.exitCode, 0);
    const std::size_t full = console.output.find("\n" + refused + "\n");
    EXPECT_NE(full, std::string::npos) << console.output;
    EXPECT_EQ(console.output.find(refused, full + 2), std::string::npos) << console.output;
    EXPECT_NE(console.output.find("| isolated | OpenProcess failed for pro\r"), std::string::npos) << console.output;

    ChildProcess bridge;
    std::string error;
    ASSERT_TRUE(bridge.start(asUser(1000, {bridgePath(), "--wow", "--wait"}), error)) << error;
    EXPECT_TRUE(awaitOutput(bridge, "| isolated | waiting for Wow.exe |"));
    ASSERT_TRUE(mine.start(asUser(1000, {siblingProgram("Wow.exe")})) && mine.send({"pos 100 200 10 0", "state 1"}));
    EXPECT_TRUE(awaitOutput(bridge, "\rONLINE | state=1 | map=0 | GUID=0x2A | WoW=(100.00, 200.00, 10.00)"));
    EXPECT_TRUE(stopBridge(bridge));
}

// A copy given the capability the guide suggests, run by "nobody": the game
// gets the environment as the player gave it (the C library's secure mode
// takes these from a privileged program), and the capability opens nothing
// but the game: not root's /proc file named as the settings file.
TEST(Fault, ABridgeWithACapabilityLendsNothing) {
    if (!rootOfTheMachine()) GTEST_SKIP() << "Needs root of the whole machine.";
    const auto folder = uniqueTempFile();
    std::filesystem::create_directory(folder);
    const std::string bridge = (folder / "CorvaneVoiceBridge").string();
    std::filesystem::copy_file(bridgePath(), bridge);
    ASSERT_EQ(runToEnd({"/usr/sbin/setcap", "cap_sys_ptrace=ep", bridge}).exitCode, 0);
    const std::vector<std::string> environment = {"LD_PRELOAD=libc.so.6", "LD_LIBRARY_PATH=/corvane", "TMPDIR=/corvane"};
    const Finished run = runToEnd(asNobody({"/usr/bin/env", environment[0], environment[1], environment[2], bridge,
                                            "--", "/usr/bin/env"}));
    EXPECT_EQ(run.exitCode, 0) << run.errorOutput;
    for (const std::string& variable : environment) EXPECT_NE(run.output.find(variable + "\n"), std::string::npos) << run.output;
    std::string rootsLine;
    std::getline(std::ifstream("/proc/1/maps"), rootsLine);
    const Finished settings = runToEnd(asNobody({bridge, "--config", "/proc/1/maps"}));
    EXPECT_EQ(settings.exitCode, 2);
    EXPECT_TRUE(settings.errorOutput.starts_with("Settings file \"/proc/1/maps\" cannot be read: ")) << settings.errorOutput;
    EXPECT_EQ(settings.errorOutput.find(rootsLine.substr(0, 20)), std::string::npos) << settings.errorOutput;
    std::filesystem::remove_all(folder);
}

// The record as a holder of the object sees it (`path`, /proc/<pid>/fd/<n> for
// one no name leads to any more): its tick and avatar x.
std::pair<std::uint32_t, float> heldRecord(const std::string& path) {
    std::uint32_t words[3] = {};
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(words), sizeof words);
    return {words[1], std::bit_cast<float>(words[2])};
}

// Another user makes the player's link before the player (a file, or a link to
// one of theirs), or takes its name while the bridge runs: the bridge neither
// publishes into their object nor changes it. At start it ends with 1; running,
// it parks the object it wrote, says so once and runs on, and publishes to a
// new link within 2 s of their file's removal.
TEST(Fault, AnotherUsersObjectsNeitherLeakNorBlockTheLink) {
    if (!rootOfTheMachine()) GTEST_SKIP() << "Needs root of the whole machine.";
    const std::string link = "/dev/shm/MumbleLink." + std::to_string(getuid()), at = "MumbleLink shared memory " + link;
    const std::string theirs = "head -c 10580 /dev/zero | tr '\\0' '\\245' > /dev/shm/theirs; ";
    const std::string refused = at + " belongs to user 65534, not to you, so the bridge leaves it alone: have it "
                                     "removed (sudo rm " + link + ")";
    ChildProcess bridge;
    LinkProbe old;
    for (const auto& [how, running] : {std::pair{theirs + "cp /dev/shm/theirs " + link, false},
                                       {theirs + "ln -s /dev/shm/theirs " + link, false},
                                       {theirs + "cp /dev/shm/theirs " + link, true}}) {
        SCOPED_TRACE(how);
        if (running) {
            ASSERT_TRUE(startBridge(bridge, old, {"--identity", "Mine", "--", siblingProgram("Wow.exe")}));
            ASSERT_TRUE(kill(bridge.id(), SIGSTOP) == 0 && unlink(link.c_str()) == 0);
        }
        ASSERT_EQ(runToEnd(asNobody({"/bin/sh", "-c", "umask 0; " + how})).exitCode, 0);
        if (running) {
            ASSERT_EQ(kill(bridge.id(), SIGCONT), 0);
            const std::string waiting = refused + "; until then your character is parked, and the bridge looks again every second.\n";
            EXPECT_TRUE(pollUntil([&] { return bridge.errorOutput().find(waiting) != std::string::npos; }, kStepTimeout));
            EXPECT_TRUE(old.waitFor([](const LinkRecord& r) { return r.fAvatarPosition[0] >= 50'000'000.0f; }, kStepTimeout));
            EXPECT_TRUE(awaitOutput(bridge, "| isolated | no link: " + link + " belongs to user 65534 | Mumble=("));
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            EXPECT_EQ(bridge.errorOutput().find(waiting), bridge.errorOutput().rfind(waiting)) << "said once";
        } else {
            const Finished run = runToEnd({bridgePath(), "--identity", "Mine"});
            EXPECT_EQ(std::pair(run.exitCode, run.errorOutput),
                      std::pair(std::optional(1), "ERROR: " + refused + " and start the bridge again.\n"));
        }
        struct stat info {};
        ASSERT_EQ(stat(link.c_str(), &info), 0);  // through the symbolic link: their file
        EXPECT_EQ(std::tuple(info.st_uid, info.st_mode & 07777), std::tuple(65534u, 0666u));
        std::ifstream in(link, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), std::string(10580, '\xA5'));
        std::filesystem::remove(link);
    }
    EXPECT_TRUE(pollUntil([&] { return heldRecord(link).first > 1; }, std::chrono::seconds(2))) << "not within 2 s";
    EXPECT_TRUE(pollUntil([&] { return bridge.errorOutput().find(at + " can be used again; the bridge publishes "
                                                                 "to it.\n") != std::string::npos; }, kStepTimeout));
    EXPECT_TRUE(bridge.writeInput("exit 0\n") && bridge.wait(kExitTimeout) == 0);
}

// Another user's program (a holder, its descriptor 3) opens the player's link
// while it is open to others, and may lock it: the old object is left to it
// with the character parked (the isolation point, x of 50,000,000 m or more)
// and no tick after the notice; the bridge publishes to a new one for the
// player alone, which keeps a second bridge of the player's off. At start, and
// while running (the bridge stopped meanwhile, so the holder surely opens it first).
TEST(Fault, ALinkOthersCouldOpenIsMadeAnewAndTheOldOneParked) {
    if (!rootOfTheMachine()) GTEST_SKIP() << "Needs root of the whole machine.";
    const std::string link = "/dev/shm/MumbleLink.1000", at = "MumbleLink shared memory " + link;
    const std::string opened = at + " could be opened by other users of the computer, so the bridge made it anew "
                                    "for you alone; the old one shows your character parked.\n";
    const std::string locked = at + " was held open by another user's program, which could read it, so the "
                                    "bridge made it anew for you alone; the old one shows your character parked.\n";
    // How the holder holds it, whether the bridge runs meanwhile, and what it says.
    const std::string opens = "exec 3<" + link + "; echo held; exec sleep 600";
    const std::tuple<std::string, bool, std::string> rows[] = {
        {opens, false, opened}, {"exec flock -s " + link + " sh -c 'echo held; exec sleep 600'", false, locked},
        {opens, true, opened}};
    std::filesystem::remove(link);
    std::ofstream(link) << std::string(10580, '\0');
    ASSERT_EQ(chown(link.c_str(), 1000, 1000), 0);
    ChildProcess bridges[2], holders[3];
    std::string error;
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        const auto& [holds, running, notice] = rows[row];
        ChildProcess& bridge = bridges[row == 0 ? 0 : 1];
        EXPECT_TRUE(row != 1 || (bridges[0].writeInput("exit 0\n") && bridges[0].wait(kExitTimeout) == 0));
        ASSERT_TRUE(!running || kill(bridge.id(), SIGSTOP) == 0);
        ASSERT_EQ(chmod(link.c_str(), 0644), 0);
        ASSERT_TRUE(holders[row].start(asNobody({"/bin/sh", "-c", holds}), error) && awaitOutput(holders[row], "held"))
            << error;
        ASSERT_TRUE(running ? kill(bridge.id(), SIGCONT) == 0 : bridge.start(asUser(1000, {bridgePath(),
                    "--identity", "Mine", "--", siblingProgram("Wow.exe")}), error)) << error;
        EXPECT_TRUE(pollUntil([&] { return bridge.errorOutput().find(notice) != std::string::npos; }, kStartTimeout))
            << bridge.errorOutput();
        const std::string held = "/proc/" + std::to_string(holders[row].id()) + "/fd/3";
        const auto parked = heldRecord(held);
        const auto published = heldRecord(link);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(heldRecord(held), parked) << "a tick after the notice";
        EXPECT_GE(parked.second, 50'000'000.0f);
        struct stat info {};
        EXPECT_TRUE(stat(link.c_str(), &info) == 0 && (info.st_mode & 0777) == 0600 && info.st_uid == 1000);
        EXPECT_GT(heldRecord(link).first, published.first) << "the new link is not written";
    }
    const Finished second = runToEnd(asUser(1000, {bridgePath()}));
    EXPECT_EQ(std::pair(second.exitCode, second.errorOutput),
              std::pair(std::optional(1), std::string("ERROR: Another CorvaneVoiceBridge is already publishing to MumbleLink.\n")));
    ASSERT_TRUE(bridges[1].writeInput("exit 0\n"));
    EXPECT_EQ(bridges[1].wait(kExitTimeout), 0);
}

// "--config" naming what is no file is refused at once: read, a FIFO that
// nobody writes would hold the start up for ever without a word.
TEST(Fault, ConfigThatIsNoFileIsRefusedAtOnce) {
    const std::string fifo = uniqueTempFile().string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = std::filesystem::temp_directory_path().string();
    for (const auto& [path, reason] : {std::pair{fifo, "it is not a file"}, {"/dev/null", "it is not a file"},
                                       {folder, "it is a folder"}}) {
        const auto started = std::chrono::steady_clock::now();
        const Finished run = runToEnd({bridgePath(), "--config", path, "--wow"});
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds{2}) << path;
        EXPECT_EQ(std::pair(run.exitCode, run.errorOutput),
                  std::pair(std::optional(2), "Settings file \"" + path + "\" cannot be read: " + reason + ".\n"));
    }
    std::filesystem::remove(fifo);
}

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The log opens before anything is judged, so a bad settings file (missing, or
// a bad line after its "log =") or option is in it; one the bridge makes is the
// player's alone (0600 under umask 0). In a shared folder, what another user
// put at its name (a symbolic link to a file of the player's or to none, their
// own file), and a file of the player's with another name or that every user
// may write, are refused with a sentence: nothing written there, nothing of
// the player's changed.
TEST(Fault, TheLogGetsEveryErrorAndIsThePlayersAlone) {
    namespace fs = std::filesystem;
    const fs::path folder = uniqueTempFile();
    ASSERT_TRUE(fs::create_directory(folder));
    fs::permissions(folder, fs::perms::all | fs::perms::sticky_bit);
    const std::string log = (folder / "bridge.log").string(), mine = (folder / "mine").string();
    const std::string settings = (folder / "bridge.ini").string(), absent = (folder / "absent").string();
    std::ofstream(settings) << "log = bridge.log\nidentity = Zoe\nbogus\n";
    const std::tuple<std::vector<std::string>, int, std::string> rows[] = {
        {{"--log", log, "--config", absent, "--", "/bin/sh", "-c", "exit 3"}, 3,
         "Settings file \"" + absent + "\" cannot be read: it does not exist.\n"},
        {{"--config", settings}, 2, "Settings file \"" + settings + "\", line 3: no \"=\": write name = value.\n"},
        {{"--wow", "--bogus", "--log", log}, 2, "Unknown option: --bogus\n"},
    };
    for (const auto& [args, code, logged] : rows) {
        fs::remove(log);
        std::vector<std::string> command = {"/bin/sh", "-c", "umask 0; exec \"$@\"", "sh", bridgePath()};
        command.insert(command.end(), args.begin(), args.end());
        EXPECT_EQ(runToEnd(command).exitCode, code);
        EXPECT_NE(contentsOf(log).find(" " + logged), std::string::npos) << contentsOf(log);
        EXPECT_EQ(fs::status(log).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }

    if (!rootOfTheMachine()) GTEST_SKIP() << "Another user's files need root of the whole machine.";
    const std::string link = "it is a symbolic link, which the bridge does not follow";
    const std::tuple<std::string, bool, std::string> refusals[] = {
        {"ln -s " + mine + " " + log, true, link},
        {"ln -s " + absent + " " + log, true, link},
        {"echo theirs > " + log + "; chmod 666 " + log, true, "it belongs to user 65534, not to you"},
        {"ln " + mine + " " + log, false, "it has other names (hard links), so it may be another file of yours"},
        {"cp " + mine + " " + log + "; chmod 602 " + log, false,
         "every user may write to it (chmod o-w makes it yours alone)"},
    };
    for (const auto& [setUp, theirs, reason] : refusals) {
        SCOPED_TRACE(setUp);
        fs::remove(log);
        std::ofstream(mine) << "the player's own\n";
        const std::vector<std::string> made = {"/bin/sh", "-c", setUp};
        ASSERT_EQ(runToEnd(theirs ? asNobody(made) : made).exitCode, 0);
        struct stat before {}, after {};
        ASSERT_EQ(lstat(log.c_str(), &before), 0);
        const std::string there = contentsOf(log);
        const Finished run = runToEnd({bridgePath(), "--log", log, "--bogus"});
        EXPECT_EQ(run.errorOutput, "The log file \"" + log + "\" cannot be opened: " + reason +
                                       ". The bridge runs without it.\nUnknown option: --bogus\n"
                                       "Invalid arguments. Run with --help.\n");
        ASSERT_EQ(lstat(log.c_str(), &after), 0);
        EXPECT_EQ(std::tuple(after.st_size, after.st_mtim.tv_nsec, contentsOf(log), contentsOf(mine)),
                  std::tuple(before.st_size, before.st_mtim.tv_nsec, there, std::string("the player's own\n")));
        EXPECT_FALSE(fs::exists(absent));
    }
    fs::remove_all(folder);
}

// No log holds up the game's start or stops the bridge: one of 64 MiB keeps at
// most half of its 1 MiB within a second, and when every write fails (ulimit
// -f below its size) the game is read all the same and the failure said once.
TEST(Fault, NoLogHoldsUpTheGameNorStopsTheBridge) {
    const std::string log = uniqueTempFile().string();
    std::string lines;
    for (int i = 0; i < 2000; ++i) lines += std::string(99, 'x') + "\n";
    for (const bool limited : {false, true}) {
        std::ofstream file(log, std::ios::binary);
        for (int i = 0; i < (limited ? 2 : 336); ++i) file << lines;  // 400 KB or 64 MiB
        file.close();
        std::vector<std::string> args = {bridgePath(), "--log", log, "--", siblingProgram("Wow.exe")};
        if (limited) args.insert(args.begin(), {"/usr/bin/prlimit", "--fsize=100000"});
        ChildProcess bridge;
        std::string error;
        ASSERT_TRUE(bridge.start(args, error)) << error;
        if (!limited) {
            EXPECT_TRUE(pollUntil([&] { return std::filesystem::file_size(log) <= 512 * 1024; }, std::chrono::seconds{1}));
        }
        EXPECT_TRUE(awaitOutput(bridge, "ready\n"));
        ASSERT_TRUE(bridge.writeInput("pos 100 200 10 0\nstate 1\n"));
        EXPECT_TRUE(awaitOutput(bridge, "ONLINE | state=1 | map=0"));
        std::this_thread::sleep_for(std::chrono::seconds{1});
        const std::string said = "The log file \"" + log + "\" cannot be written: it has reached the largest file "
                                 "size allowed here (ulimit -f). The bridge runs on; what it says is not logged "
                                 "while that lasts.\n";
        EXPECT_TRUE(limited || std::filesystem::file_size(log) < 514 * 1024) << "no more than a few lines since";
        const std::string errors = bridge.errorOutput();
        EXPECT_EQ(errors.find(said) != std::string::npos, limited) << errors;
        EXPECT_EQ(errors.find(said), errors.rfind(said)) << errors;
        ASSERT_TRUE(bridge.signal(SIGTERM));
        EXPECT_EQ(bridge.wait(kExitTimeout), 128 + SIGTERM);
    }
    std::filesystem::remove(log);
}

// Started through sudo (as root, for user 1000) the bridge says whose link it writes.
TEST(Fault, ABridgeStartedThroughSudoSaysWhichLinkItWrites) {
    const Finished run = runToEnd({"/usr/bin/env", "SUDO_UID=1000", "/usr/bin/timeout",
                                   "--preserve-status", "-s", "INT", "1", bridgePath(), "--orbit"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.errorOutput.starts_with("Started through sudo, the bridge publishes to "
        "/MumbleLink.0, root's link; the voice client of user 1000 reads /MumbleLink.1000 ") &&
        run.errorOutput.ends_with(" -- GAME COMMAND\n")) << run.errorOutput;
}

// One terminal, one order, over many starts: the start line comes before the
// first status line, and a notice never shares a row with a status line (a
// row is notices, or status lines each after its carriage return).
TEST(Fault, NoticesAndStatusLinesNeverShareATerminalRow) {
    for (int start = 0; start < 12; ++start) {
        const Finished run = runToEnd({"/usr/bin/script", "-qec", "exec timeout --preserve-status -s INT 0.4 '" +
                                       bridgePath() + "' --wow --wait", "/dev/null"});
        EXPECT_EQ(run.exitCode, 0);
        const std::string& text = run.output;
        EXPECT_LT(text.find("CorvaneVoiceBridge: live mode"), text.find("OFFLINE/GLUE SCREEN")) << text;
        std::size_t from = 0;
        for (std::size_t end; (end = text.find('\n', from)) != std::string::npos || from < text.size(); from = end + 1) {
            if (end == std::string::npos) end = text.size();
            std::string row = text.substr(from, end - from);
            if (row.ends_with('\r') && end < text.size()) row.pop_back();  // the terminal's own
            const std::size_t status = row.find('\r');
            EXPECT_EQ(row.substr(0, status).find("| Mumble=("), std::string::npos) << row;
            if (status == std::string::npos) continue;
            EXPECT_EQ(status, 0u) << "a notice left a row unended: " << row;
            for (std::size_t at = status; at != std::string::npos; at = row.find('\r', at + 1)) {
                const std::string segment = row.substr(at + 1, row.find('\r', at + 1) - at - 1);
                EXPECT_TRUE(segment.empty() || (segment.starts_with("OFFLINE/GLUE SCREEN | isolated | ") &&
                                                segment.find("Corvane") == std::string::npos &&
                                                segment.find("identity") == std::string::npos))
                    << row;
            }
        }
    }
}

// The game is started before the bridge makes any thread of its own: at one
// process more than the bridge's own one it starts, also with a log (whose
// writer was once a thread made first); the threads that cannot be made then
// cost only their waiting, the words still come.
TEST(Fault, TheGameStartsAtTheBridgesProcessCountPlusOne) {
    if (!rootOfTheMachine()) GTEST_SKIP() << "Needs root of the whole machine.";
    const std::string log = "/tmp/corvane-nproc-" + std::to_string(::getpid()) + ".log";
    std::filesystem::remove(log);
    const Finished run = runToEnd({"/usr/bin/prlimit", "--nproc=2:2", "/usr/bin/setpriv", "--reuid=2931", "--regid=2931",
                                   "--clear-groups", "--", bridgePath(), "--identity", "Limited", "--log", log, "--",
                                   "/bin/sh", "-c", "echo started; exit 7"});
    EXPECT_EQ(run.exitCode, 7) << run.errorOutput;
    EXPECT_EQ(run.output.substr(0, 8), "started\n");
    EXPECT_TRUE(run.errorOutput.starts_with("CorvaneVoiceBridge: live mode (starting the game with: ")) << run.errorOutput;
    std::ifstream logged(log);
    EXPECT_TRUE(std::string(std::istreambuf_iterator<char>(logged), {}).find("CorvaneVoiceBridge: live mode") !=
                std::string::npos);
    std::filesystem::remove(log);
}

}  // namespace
}  // namespace corvane::testing
