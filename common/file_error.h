#pragma once
// Why a file (the settings file, the log) could not be opened, in the words
// the player reads after its name: one table for every file and both systems.

#include <cstdint>
#include <string>

namespace corvane {

// "it does not exist", "its folder does not exist", "access is denied", "it
// is a folder", "it is not a file", or the system's own words for the rest.
// `code` is the errno value (POSIX) or the Win32 code (Windows) of the failed
// open or read of `path` (UTF-8); what stands at the path and at its folder
// is looked at where the code alone does not tell which it is.
std::string fileErrorText(std::uint32_t code, const std::string& path);

// The folder part of `path` ("." for a bare name): up to its last slash (or
// backslash, where `backslash`), the root's slash kept.
std::string folderOf(const std::string& path, bool backslash);

}  // namespace corvane
