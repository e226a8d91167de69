#include "link/link_writer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace corvane {
namespace {

// The Linux voice client opens "/MumbleLink.<uid>"; the record is the user's alone
// and outlives the writer, since the voice client may hold it.
TEST(LinuxLink, IsTheUsersOwnObjectOfTheRecordsSize) {
    EXPECT_EQ(linkName(), "MumbleLink." + std::to_string(getuid()));
    const std::string name = "CorvaneModeTest-" + std::to_string(getpid());
    removeSharedMemory(name);
    const mode_t umaskBefore = umask(0);
    EXPECT_TRUE(LinkWriter(name).open());
    umask(umaskBefore);
    struct stat info {};
    ASSERT_EQ(stat(("/dev/shm/" + name).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_size, 10580);
    removeSharedMemory(name);
}

}  // namespace
}  // namespace corvane
