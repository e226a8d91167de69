#include "link/link_readers.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {
using namespace corvane;
using Holds = LinkReader::Holds;

// Lines as /proc/<pid>/maps writes them: device major:minor in hex, inode in
// decimal, the path after padding, " (deleted)" once the file was removed.
TEST(LinkReaders, ReadsTheMappedFileOfAMapsLineAndHowItHoldsTheLink) {
    const std::string_view name = "MumbleLink.1000";
    const std::tuple<std::string_view, std::optional<Holds>> rows[] = {
        {"7f2185791000-7f2185794000 rw-s 00000000 00:1a 22                         /dev/shm/MumbleLink.1000",
         Holds::ThisLink},
        {"7f2185791000-7f2185794000 r--s 00000000 00:1a 22 /dev/shm/renamed elsewhere", Holds::ThisLink},
        {"7f2640e83000-7f2640e86000 r--s 00000000 00:1a 17                         /dev/shm/MumbleLink.1000 (deleted)",
         Holds::Removed},
        {"7f2185791000-7f2185794000 r--s 00000000 00:28 2                          /dev/shm/MumbleLink.1000",
         Holds::Elsewhere},
        {"7f2185791000-7f2185794000 r--s 00000000 10a:1a 22                        /dev/shm/MumbleLink.1000",
         Holds::Elsewhere},  // the major number is hex: 266, not 10
        {"7f2185791000-7f2185794000 r--s 00000000 00:1a 23                         /dev/shm/MumbleLink.10000",
         std::nullopt},
        {"7ffd1c5e6000-7ffd1c607000 rw-p 00000000 00:00 0                          [stack]", std::nullopt},
        {"55d0c0a3b000-55d0c0a5c000 rw-p 00000000 00:00 0", std::nullopt},
        {"7f2185791000-7f2185794000 r--s 00000000 00:1a", std::nullopt},
        {"7f2185791000-7f2185794000 r--s 0000zz00 00:1a 22 /dev/shm/MumbleLink.1000", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [line, held] : rows) {
        const auto file = parseMapsLine(line);
        EXPECT_EQ(file ? linkHeld(*file, 0, 0x1a, 22, name) : std::nullopt, held) << line;
    }
    const auto spaced = parseMapsLine("7f2185791000-7f2185794000 r--s 00000000 08:01 4711   /home/a b/c (deleted)");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(std::tuple(spaced->major, spaced->minor, spaced->inode, spaced->path, spaced->deleted),
              std::tuple(8u, 1u, std::uint64_t{4711}, std::string_view("/home/a b/c"), true));
}

TEST(LinkReaders, SaysWhoReadsTheLinkAndWhatToDo) {
    const std::string at = "/dev/shm/MumbleLink.1000";
    const std::string sandbox = " a link of the same name in a /dev/shm of its own, not this one: a voice client in "
        "a sandbox (Flatpak, Snap) never sees the bridge's frames. Let it use the system's /dev/shm (Flatpak: "
        "flatpak override --user --device=shm info.mumble.Mumble, then restart Mumble), or install Mumble "
        "from your distribution's packages.";
    const std::tuple<std::vector<LinkReader>, std::string> rows[] = {
        {std::vector<LinkReader>(), "No voice client has the link " + at + " open yet: check that Mumble runs, as you, with Positional "
             "Audio ticked (Audio Output) and Link to Game and Transmit Position ticked and the Link plugin "
             "enabled (Plugins).\n"},
        {{{4242, "mumble", Holds::ThisLink}}, "The link " + at + " is read by mumble (pid 4242).\n"},
        {{{77, "b", Holds::ThisLink}, {9, "a", Holds::ThisLink}, {100, "c", Holds::ThisLink}},
         "The link " + at + " is read by a (pid 9), b (pid 77) and c (pid 100).\n"},
        {{{5, "mumble", Holds::Elsewhere}, {6, "x", Holds::ThisLink}},
         "The link " + at + " is read by x (pid 6). mumble (pid 5) reads" + sandbox + "\n"},
        {{{5, "mumble", Holds::Removed}, {6, "x", Holds::Removed}},
         "mumble (pid 5) and x (pid 6) still read a link that was removed from /dev/shm, not this one: "
         "restart the voice client, or switch its Link plugin off and on again.\n"},
        {std::vector<LinkReader>(2), "2 other programs have the link " + at + " open.\n"},  // Windows: counted, not named
    };
    for (const auto& [readers, text] : rows) EXPECT_EQ(describeReaders(readers, at), text);
    // Inside a sandbox's PID namespace, finding nobody says nothing of the voice client.
    EXPECT_EQ(describeReaders({}, at, false), "Who reads the link " + at + " cannot be seen from inside this "
              "sandbox (a Flatpak or a container hides the computer's other programs): the link monitor run "
              "outside it shows its readers.\n");
}

// /proc/self/status names the process in each PID namespace it is in, outermost first.
TEST(LinkReaders, ASandboxsPidNamespaceHidesTheOtherProcesses) {
    const std::tuple<const char*, bool> rows[] = {
        {"Name:\tbridge\nNSpid:\t4242\nNSpgid:\t4242 17\n", true},
        {"Name:\tbridge\nNSpid:\t4242\t17\nNSpgid:\t4242\t17\n", false},
        {"Name:\tbridge\nPid:\t4242\n", true},  // an older kernel: no sign of one
    };
    for (const auto& [status, seesAll] : rows) EXPECT_EQ(statusSeesEveryProcess(status), seesAll) << status;
}

// The first answer at once, a change only 5 s after the last one said.
TEST(LinkReaders, NoticeSaysChangesAtMostEveryFewSeconds) {
    constexpr std::int64_t kS = 1'000'000'000;
    ReaderNotice notice(5 * kS);
    const std::tuple<std::string, std::int64_t, std::optional<std::string>> rows[] = {
        {"none", 0, "none"},    {"none", 2 * kS, std::nullopt}, {"one", 4 * kS, std::nullopt},
        {"one", 5 * kS, "one"}, {"none", 7 * kS, std::nullopt}, {"one", 9 * kS, std::nullopt},
        {"two", 30 * kS, "two"},
    };
    for (const auto& [text, now, said] : rows) EXPECT_EQ(notice.offer(text, now), said) << now;
}

}  // namespace
