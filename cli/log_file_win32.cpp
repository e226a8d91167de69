#include "cli/log_file.h"

#include "common/file_error.h"
#include "common/windows_support.h"
#include "link/utf8.h"

#include <fcntl.h>
#include <io.h>

#include <ctime>

namespace corvane {

std::string localTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = "";
    if (localtime_s(&local, &now) == 0) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::FILE* openLogStream(const std::string& path, bool empty, std::string& error) {
    // The path is UTF-8: opened by its UTF-16 name, so a folder named in any
    // script is found on every code page.
    std::u16string units;
    platformUtf8ToUtf16(path, units);
    const std::wstring wide(units.begin(), units.end());
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      empty ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = fileErrorText(GetLastError(), path);
        return nullptr;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        error = "it is not a file";
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_APPEND | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        error = "it cannot be opened";
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "a+b");
    if (file == nullptr) {
        _close(fd);
        error = "it cannot be opened";
    }
    return file;
}

}  // namespace corvane
