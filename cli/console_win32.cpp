#include "cli/console.h"

#include "common/console_win32.h"
#include "common/windows_support.h"

#include <cstring>
#include <string>

namespace corvane {
namespace {

HANDLE handleOf(StandardStream stream) {
    return GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool consoleHandle(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// The bytes a text-mode C runtime stream writes: "\r\n" for every "\n".
bool writeFile(HANDLE file, std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() + 16);
    for (const char c : text) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    for (std::string_view rest = bytes; !rest.empty();) {
        DWORD written = 0;
        if (!WriteFile(file, rest.data(), static_cast<DWORD>(rest.size()), &written, nullptr) ||
            written == 0) {
            return false;
        }
        rest.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool isConsole(StandardStream stream) noexcept { return consoleHandle(handleOf(stream)); }

bool standardStreamsShareDestination() noexcept {
    const HANDLE output = handleOf(StandardStream::Output);
    const HANDLE error = handleOf(StandardStream::Error);
    if (output == nullptr || output == INVALID_HANDLE_VALUE || error == nullptr ||
        error == INVALID_HANDLE_VALUE) {
        return false;
    }
    // A process has one console.
    if (consoleHandle(output) && consoleHandle(error)) return true;
    if (output == error) return true;
    // "2>&1" gives standard error a handle of its own to the same pipe or file.
    // CompareObjectHandles is looked up, since Windows before 10 lacks it;
    // Wine, which makes an object of each descriptor, answers by the file's ID.
    using Compare = BOOL(WINAPI*)(HANDLE, HANDLE);
    if (const HMODULE kernel = GetModuleHandleW(L"kernelbase.dll")) {
        if (const auto compare = reinterpret_cast<Compare>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "CompareObjectHandles")))) {
            if (compare(output, error)) return true;
        }
    }
    FILE_ID_INFO a{}, b{};
    return GetFileInformationByHandleEx(output, FileIdInfo, &a, sizeof a) &&
           GetFileInformationByHandleEx(error, FileIdInfo, &b, sizeof b) &&
           a.VolumeSerialNumber == b.VolumeSerialNumber &&
           std::memcmp(&a.FileId, &b.FileId, sizeof a.FileId) == 0;
}

int standardOutputConsoleWidth() noexcept {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(handleOf(StandardStream::Output), &info)) return 0;
    // Text wraps at the buffer's width, which may exceed the window's.
    return info.dwSize.X > 0 ? info.dwSize.X : 0;
}

bool writeStandardStream(StandardStream stream, std::string_view text) noexcept {
    const HANDLE handle = handleOf(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    if (text.empty()) return true;
    try {
        return consoleHandle(handle) ? writeConsoleUtf8(handle, text) : writeFile(handle, text);
    } catch (...) {  // out of memory for the copy: this text is lost, the bridge goes on
        return false;
    }
}

}  // namespace corvane
