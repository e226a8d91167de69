// The settings file and the log name what is wrong in the same words for the
// same case, on both systems: a file that is missing, a folder that is
// missing, a folder where the file should be.

#include "cli/log_file.h"
#include "cli/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace corvane {
namespace {

TEST(FileError, TheSettingsFileAndTheLogSayTheSame) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "corvane-file-error";
    std::filesystem::create_directories(folder);
    const struct {
        std::filesystem::path path;
        const char* reason;
        bool logMadeAnew;  // the log is made where its folder exists
    } rows[] = {
        {folder / "none.ini", "it does not exist", true},
        {folder / "missing" / "none.ini", "its folder does not exist", false},
        {folder, "it is a folder", false},
    };
    for (const auto& row : rows) {
        const std::string path = row.path.string();
        std::string bytes, error;
        EXPECT_FALSE(readFileStart(path, 16, bytes, error)) << path;
        EXPECT_EQ(error, row.reason) << path;
        LogFile log;
        error.clear();
        EXPECT_EQ(log.open(path, error), row.logMadeAnew) << path;
        EXPECT_EQ(error, row.logMadeAnew ? "" : row.reason) << path;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace corvane
