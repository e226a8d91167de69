// What a POSIX failure reads as: the Win32 code of the same failure, so that a
// full descriptor table or memory is never mistaken for a refusal.

#include "common/win32_error.h"

#include <gtest/gtest.h>

#include <utility>

namespace corvane {
namespace {

TEST(Win32ErrorCodes, EachErrnoReadsAsTheSameFailureOnWindows) {
    // ERROR_FILE_NOT_FOUND 2, ERROR_TOO_MANY_OPEN_FILES 4, ERROR_ACCESS_DENIED 5,
    // ERROR_NOT_ENOUGH_MEMORY 8, ERROR_INVALID_PARAMETER 87, ERROR_BAD_EXE_FORMAT 193.
    const std::pair<int, std::uint32_t> rows[] = {
        {ENOENT, 2}, {ENOTDIR, 2}, {EMFILE, 4}, {ENFILE, 4}, {EACCES, 5}, {EPERM, 5},
        {ENOMEM, 8}, {ENOSPC, 8},  {EINVAL, 87}, {ENOEXEC, 193},
    };
    for (const auto& [error, code] : rows) EXPECT_EQ(win32CodeForErrno(error), code) << error;
}

}  // namespace
}  // namespace corvane
