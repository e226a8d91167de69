#include "driver/settings_file.h"

#include "common/windows_support.h"

#include <climits>
#include <utility>

namespace corvane {

bool readSettingsFile(const std::string& path, std::string& bytes, std::string& error) {
    bytes.clear();
    // The path is UTF-8 (wmain's arguments): opened by its UTF-16 name, so a
    // folder named in any script is found on every code page.
    std::wstring wide;
    if (!path.empty() && path.size() < INT_MAX) {
        const int length = static_cast<int>(path.size());
        const int units = MultiByteToWideChar(CP_UTF8, 0, path.data(), length, nullptr, 0);
        wide.resize(static_cast<std::size_t>(units > 0 ? units : 0));
        MultiByteToWideChar(CP_UTF8, 0, path.data(), length, wide.data(), units);
    }
    const UniqueSnapshotHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // One byte beyond the limit tells a file that is too large.
    std::string buffer(kSettingsFileLimit + 1, '\0');
    DWORD size = 0;
    bool ok = static_cast<bool>(file);
    while (ok && size < buffer.size()) {
        DWORD got = 0;
        ok = ReadFile(file.get(), buffer.data() + size, static_cast<DWORD>(buffer.size() - size),
                      &got, nullptr) != 0;
        if (!ok || got == 0) break;
        size += got;
    }
    if (!ok) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            error = "it does not exist";
        } else if (code == ERROR_ACCESS_DENIED) {
            // Also what opening a folder gives.
            error = "access is denied";
        } else {
            error = "Win32 error " + std::to_string(code);
        }
        return false;
    }
    if (size > kSettingsFileLimit) {
        error = "it is larger than 64 KiB";
        return false;
    }
    buffer.resize(size);
    bytes = std::move(buffer);
    return true;
}

}  // namespace corvane
