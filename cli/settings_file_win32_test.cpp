// A settings file on Windows is a file on a disk: the console, a device or a
// pipe is refused at once (reading one could wait for ever), and a folder is
// named as one rather than as "access is denied".

#include "cli/settings_file.h"
#include "common/windows_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace corvane {
namespace {

TEST(WindowsSettingsFile, OnlyAFileOnADiskIsRead) {
    const std::string pipe = "\\\\.\\pipe\\corvane-settings-" + std::to_string(GetCurrentProcessId());
    const std::wstring widePipe(pipe.begin(), pipe.end());
    const UniqueSnapshotHandle server(CreateNamedPipeW(widePipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1,
                                                       4096, 4096, 0, nullptr));
    ASSERT_TRUE(server);
    const std::string folder = std::filesystem::temp_directory_path().string();
    for (const auto& [path, reason] : {std::pair{pipe, "it is not a file"}, {std::string("NUL"), "it is not a file"},
                                       {folder, "it is a folder"}}) {
        std::string bytes, error;
        EXPECT_FALSE(readSettingsFile(path, bytes, error)) << path;
        EXPECT_EQ(error, reason) << path;
    }
}

}  // namespace
}  // namespace corvane
