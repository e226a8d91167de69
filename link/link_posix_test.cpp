#include "link/link_writer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace {
using namespace corvane;

// The record is the user's alone, also one of ours that others could read,
// and outlives the writer, since the voice client may hold it.
TEST(LinuxLink, IsTheUsersOwnObjectOfTheRecordsSize) {
    const std::string name = "CorvaneModeTest-" + std::to_string(getpid());
    const std::string path = "/dev/shm/" + name;
    for (const bool created : {true, false}) {
        ASSERT_TRUE(created || chmod(path.c_str(), 0666) == 0);
        EXPECT_TRUE(LinkWriter(name).open());
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << created;
        EXPECT_EQ(info.st_size, 10580);
    }
    removeSharedMemory(name);
}

}  // namespace
