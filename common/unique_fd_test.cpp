#include "common/unique_fd.h"

#include <gtest/gtest.h>

#include <fcntl.h>

namespace corvane {
namespace {

bool isOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFd, ClosesWhatItOwnedWhenResetMovedOverOrDestroyed) {
    const int first = dup(STDERR_FILENO), second = dup(STDERR_FILENO), third = dup(STDERR_FILENO);
    {
        UniqueFd owner(first);
        owner.reset(second);
        EXPECT_FALSE(isOpen(first)) << "reset";
        owner = UniqueFd(third);
        EXPECT_FALSE(isOpen(second)) << "move assignment";
        EXPECT_TRUE(isOpen(third));
    }
    EXPECT_FALSE(isOpen(third)) << "destruction";
}

}  // namespace
}  // namespace corvane
