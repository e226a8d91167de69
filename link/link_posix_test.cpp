#include "link/link_writer.h"
#include "link/shared_memory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {
using namespace corvane;

// Holders of a flock on one object, as /proc/locks lists them: the device's
// numbers in hexadecimal, the inode in decimal; waiters ("->") and POSIX
// locks are no holders, a pid outside our namespace reads 0.
TEST(LinuxLink, FindsTheHoldersOfAnObjectsFlock) {
    const std::string locks =
        "1: FLOCK  ADVISORY  WRITE 2251 00:1a:1027 0 EOF\n"
        "1: -> FLOCK  ADVISORY  WRITE 2300 00:1a:1027 0 EOF\n"
        "2: POSIX  ADVISORY  WRITE 77 00:1a:1027 0 EOF\n"
        "3: FLOCK  ADVISORY  READ 0 00:1a:1027 0 EOF\n"
        "4: FLOCK  ADVISORY  WRITE 99 00:1a:10270 0 EOF\n"
        "5: FLOCK  ADVISORY  WRITE 98 01:1a:1027 0 EOF\n"
        "6: FLOCK  ADVISORY  WRITE 4194304 fd:1b:1027 0 EOF";
    EXPECT_EQ(flockHolders(locks, 0, 0x1a, 1027), (std::vector<std::uint32_t>{2251, 0}));
    EXPECT_EQ(flockHolders(locks, 0xfd, 0x1b, 1027), (std::vector<std::uint32_t>{4194304}));
    EXPECT_EQ(flockHolders("", 0, 0x1a, 1027), (std::vector<std::uint32_t>{}));
}

}  // namespace

// The name is followed: a removed record is made again, a replaced one taken
// over with every check of the first open, one another writer holds refused;
// a record cut short is made whole by the next frame. Each said once.
TEST(LinuxLink, FollowsTheNameAndMakesAShortRecordWhole) {
    const std::string name = "CorvaneFollowTest-" + std::to_string(getpid());
    const std::string path = "/dev/shm/" + name, at = "MumbleLink shared memory " + path;
    const LinkFrame frame{{}, "Oruli", "CORVANE:WORLD:1"};
    LinkWriter writer(name), other(name);
    ASSERT_TRUE(writer.open() && writer.follow() && writer.publish(frame));
    EXPECT_EQ(writer.takeNotice(), "");

    ASSERT_EQ(truncate(path.c_str(), 0), 0);
    ASSERT_TRUE(writer.publish(frame));
    ASSERT_EQ(truncate(path.c_str(), 8), 0);
    ASSERT_TRUE(writer.publish(frame));
    struct stat info {};
    EXPECT_TRUE(stat(path.c_str(), &info) == 0 && info.st_size == 10580 && info.st_blocks * 512 >= 10580);
    EXPECT_EQ(writer.takeNotice(), at + " was cut short by another program; the bridge made it whole again "
                                        "and publishes on.\n");
    EXPECT_EQ(writer.takeNotice(), "") << "once";

    removeSharedMemory(name);
    ASSERT_TRUE(writer.follow() && writer.publish(frame));
    EXPECT_EQ(writer.takeNotice(), at + " was removed; the bridge made it again and publishes on.\n");
    EXPECT_EQ(writer.tick(), 4u) << "the tick goes on";

    ASSERT_EQ(rename(path.c_str(), (path + "-old").c_str()), 0);
    ASSERT_EQ(close(creat(path.c_str(), 0600)), 0);
    ASSERT_TRUE(writer.follow());
    EXPECT_EQ(writer.takeNotice(), at + " was replaced, as a voice client that restarts does; the bridge "
                                        "publishes to the new one.\n");
    EXPECT_TRUE(stat(path.c_str(), &info) == 0 && (info.st_mode & 0777) == 0600 && info.st_size == 10580);

    // An object too small for the record put at the name (as for anything the
    // writer cannot use) is waited out, said once, the object left parked;
    // then the name is used again.
    writer.setParkingFrame({{{7.0f, 8.0f, 9.0f}, {}, {}, {}, {}, {}}, "Oruli", ""});
    SharedMemory left;
    std::uint32_t code = 0;
    ASSERT_EQ(left.openExisting(name, 10580, code), SharedMemory::Status::Ok);
    removeSharedMemory(name);
    std::ofstream(path) << std::string(100, 'x');
    ASSERT_TRUE(writer.follow() && writer.publish(frame) && writer.follow() && writer.waiting());
    EXPECT_EQ(writer.takeNotice(), at + " holds only 100 bytes, fewer than the record's 10580: a program with another "
        "idea of the link made it, and the bridge leaves it alone: close that program, remove it (rm " + path +
        "); until then your character is parked, and the bridge looks again every second.\n");
    float parked[3] = {};
    EXPECT_TRUE(left.read(parked, sizeof parked) == sizeof parked && parked[2] == 7.0f) << "not parked";
    std::remove(path.c_str());
    ASSERT_TRUE(writer.follow() && writer.publish(frame) && !writer.waiting());
    EXPECT_EQ(writer.takeNotice(), at + " can be used again; the bridge publishes to it.\n");

    removeSharedMemory(name);
    ASSERT_TRUE(other.open());
    EXPECT_FALSE(writer.follow() || writer.connected());
    EXPECT_EQ(writer.lastError(), "Another CorvaneVoiceBridge is already publishing to MumbleLink.");
    removeSharedMemory(name);
    std::remove((path + "-old").c_str());
}

// With no thread to be had (a process limit reached), the readers are not
// looked for, which is said once; the link is written as ever.
TEST(LinuxLink, NoThreadForTheReadersIsSaidOnceAndCostsNothingElse) {
    const pid_t child = fork();
    if (child == 0) {  // as an ordinary user: root's threads know no limit
        const rlimit none{0, 0};
        if ((geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) || setrlimit(RLIMIT_NPROC, &none) != 0) _exit(2);
        const std::string name = "CorvaneThreadTest-" + std::to_string(getpid());
        LinkWriter writer(name);
        const bool published = writer.open() && writer.publish({}) && !writer.readers() && writer.publish({});
        const std::string said = writer.takeNotice();
        writer.readers();
        removeSharedMemory(name);
        _exit(published && writer.takeNotice().empty() &&
              said == "The readers of the link cannot be looked for: a thread for the look cannot be made "
                      "(Resource temporarily unavailable); the bridge publishes on.\n" ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
