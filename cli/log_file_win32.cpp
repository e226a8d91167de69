#include "cli/log_file.h"

#include "common/file_error.h"
#include "common/token_win32.h"
#include "common/windows_support.h"
#include "link/utf8.h"

#include <aclapi.h>

#include <algorithm>
#include <ctime>
#include <iterator>

namespace corvane {
namespace {

HANDLE handleOf(LogHandle handle) { return reinterpret_cast<HANDLE>(handle); }

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
}

// Writes all of `bytes` from `offset`; how many were written.
std::size_t writeAt(HANDLE handle, std::uint64_t offset, std::string_view bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        OVERLAPPED where = at(offset + written);
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 20));
        if (!WriteFile(handle, bytes.data() + written, chunk, &n, &where) || n == 0) break;
        written += n;
    }
    return written;
}

// Whether the file belongs to another account of this machine or domain.
// Not a group or the system: an elevated program's files belong to the
// Administrators group, an installer's to TrustedInstaller. Where the owner
// cannot be told (a file system without security), the file is taken.
bool anotherUsersFile(HANDLE file) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    const std::vector<unsigned char> user = tokenUser(GetCurrentProcess());
    const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    const bool account = owner != nullptr && IsValidSid(owner) &&
                         std::equal(std::begin(nt.Value), std::end(nt.Value), GetSidIdentifierAuthority(owner)->Value) &&
                         *GetSidSubAuthorityCount(owner) > 0 && *GetSidSubAuthority(owner, 0) == SECURITY_NT_NON_UNIQUE;
    const bool another = account && !user.empty() && !EqualSid(owner, userSid(user));
    LocalFree(descriptor);
    return another;
}

}  // namespace

std::string localTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = "";
    if (localtime_s(&local, &now) == 0) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

LogHandle openLogHandle(const std::string& path, std::string& error) {
    // The path is UTF-8: opened by its UTF-16 name, so a folder named in any
    // script is found on every code page. A symbolic link or junction is
    // opened as itself, then refused: never followed.
    std::u16string units;
    platformUtf8ToUtf16(path, units);
    const std::wstring wide(units.begin(), units.end());
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = fileErrorText(GetLastError(), path);
        return kNoLogHandle;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info)) {
        error = "it is not a file";
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = "it is a symbolic link, which the bridge does not follow";
    } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = "it is a folder";
    } else if (anotherUsersFile(handle)) {
        error = "it belongs to another user, not to you";
    } else if (info.nNumberOfLinks > 1) {
        error = "it has other names (hard links), so it may be another file of yours";
    } else {
        return reinterpret_cast<LogHandle>(handle);
    }
    CloseHandle(handle);
    return kNoLogHandle;
}

void closeLogHandle(LogHandle handle) {
    if (handle != kNoLogHandle) CloseHandle(handleOf(handle));
}

bool logSize(LogHandle handle, std::uint64_t& size) {
    LARGE_INTEGER bytes{};
    if (!GetFileSizeEx(handleOf(handle), &bytes)) return false;
    size = static_cast<std::uint64_t>(bytes.QuadPart);
    return true;
}

bool appendToLog(LogHandle handle, std::string_view bytes, std::string& error) {
    // Only the log's writer writes through this handle: its end is where the file ends now.
    std::uint64_t end = 0;
    if (logSize(handle, end) && writeAt(handleOf(handle), end, bytes) == bytes.size()) return true;
    const DWORD code = GetLastError();
    error = code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL ? "the disk is full"
                                                                      : "Win32 error " + std::to_string(code);
    return false;
}

std::size_t readLogAt(LogHandle handle, std::uint64_t offset, char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        OVERLAPPED where = at(offset + got);
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 20));
        if (!ReadFile(handleOf(handle), buffer + got, chunk, &n, &where) || n == 0) break;
        got += n;
    }
    return got;
}

bool rewriteLog(LogHandle handle, std::string_view kept) {
    const std::size_t written = writeAt(handleOf(handle), 0, kept);
    // Cut short (a full disk): the whole lines written stay, none broken.
    std::size_t whole = written;
    if (written < kept.size()) {
        const std::size_t end = kept.substr(0, written).rfind('\n');
        whole = end == std::string_view::npos ? 0 : end + 1;
    }
    LARGE_INTEGER length{};
    length.QuadPart = static_cast<LONGLONG>(whole);
    const bool cut = SetFilePointerEx(handleOf(handle), length, nullptr, FILE_BEGIN) &&
                     SetEndOfFile(handleOf(handle));
    FlushFileBuffers(handleOf(handle));
    return cut && whole == kept.size();
}

}  // namespace corvane
