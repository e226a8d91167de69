#include "common/file_error.h"

#include "common/windows_support.h"

#include <climits>

namespace corvane {
namespace {

// The attributes of what stands at `path` (UTF-8), or INVALID_FILE_ATTRIBUTES.
DWORD attributesOf(const std::string& path) {
    if (path.empty() || path.size() > static_cast<std::size_t>(INT_MAX)) return INVALID_FILE_ATTRIBUTES;
    const int size = static_cast<int>(path.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, path.data(), size, nullptr, 0);
    if (units <= 0) return INVALID_FILE_ATTRIBUTES;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.data(), size, wide.data(), units);
    return GetFileAttributesW(wide.c_str());
}

bool isFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

std::string fileErrorText(std::uint32_t code, const std::string& path) {
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
        return isFolder(attributesOf(folderOf(path, true))) ? "it does not exist" : "its folder does not exist";
    }
    // Opening a folder gives access denied.
    if (isFolder(attributesOf(path))) return "it is a folder";
    if (code == ERROR_ACCESS_DENIED) return "access is denied";
    return "Win32 error " + std::to_string(code);
}

}  // namespace corvane
