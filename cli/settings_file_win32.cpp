#include "cli/settings_file.h"

#include "common/file_error.h"
#include "common/windows_support.h"
#include "link/utf8.h"

#include <utility>

namespace corvane {

bool readFileStart(const std::string& path, std::size_t limit, std::string& bytes,
                   std::string& error) {
    bytes.clear();
    // The path is UTF-8 (wmain's arguments): opened by its UTF-16 name, so a
    // folder named in any script is found on every code page.
    std::u16string units;
    platformUtf8ToUtf16(path, units);
    const std::wstring wide(units.begin(), units.end());
    const UniqueSnapshotHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // A pipe, the console or a device is no settings file: reading it could wait for ever.
    if (file && GetFileType(file.get()) != FILE_TYPE_DISK) {
        error = "it is not a file";
        return false;
    }
    std::string buffer(limit, '\0');
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
        error = fileErrorText(GetLastError(), path);
        return false;
    }
    buffer.resize(size);
    bytes = std::move(buffer);
    return true;
}

}  // namespace corvane
