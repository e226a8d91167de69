// A settings file on Windows is a file on a disk: a device (or the console, or
// a pipe) is refused at once, since reading one could wait for ever.

#include "cli/settings_file.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

TEST(WindowsSettingsFile, ADeviceIsRefused) {
    std::string bytes, error;
    EXPECT_FALSE(readSettingsFile("NUL", bytes, error));
    EXPECT_EQ(error, "it is not a file");
}

}  // namespace
}  // namespace corvane
