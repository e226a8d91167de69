#include "tests/support/child_process.h"
#include "tests/support/link_probe.h"

#include "common/windows_support.h"

#include <csignal>

namespace corvane::testing {

namespace {

// UTF-8 to UTF-16 by Windows itself, not by the code under test.
std::wstring wide(const std::string& text) {
    std::wstring units(text.size(), L'\0');
    units.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(),
        static_cast<int>(text.size()), units.data(), static_cast<int>(units.size()))));
    return units;
}

// Inheritable, and readable by name while the child writes it.
UniqueSnapshotHandle createFile(const std::filesystem::path& path) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    return UniqueSnapshotHandle(CreateFileW(path.c_str(), GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited, CREATE_NEW, 0, nullptr));
}

HANDLE handle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// Ctrl-C sent to a child's console reaches us too while we are attached to it.
BOOL WINAPI ignoreControl(DWORD) { return TRUE; }

// A pipe of 4 KiB; our end, `read`, is not inherited.
bool createSmallPipe(HANDLE& read, HANDLE& write) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    return CreatePipe(&read, &write, &inherited, 4096) && SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

// Killed before its input closes: a child that saw its input end would exit
// on its own and might run exit handlers meanwhile.
ChildProcess::~ChildProcess() {
    kill();
    wait(std::chrono::seconds{10});
    if (process_ != 0) CloseHandle(handle(process_));
    if (input_ > 0) CloseHandle(handle(input_));
    if (unreadOutput_ > 0) CloseHandle(handle(unreadOutput_));
    for (const auto& file : files_) DeleteFileW(file.c_str());
}

bool ChildProcess::start(const std::vector<std::string>& args, std::string& error) {
    // The program's name runs up to the next quote; every other argument is
    // quoted so that the C runtime and CommandLineToArgvW give it back as it
    // is: backslashes count double only where a quote follows them.
    std::wstring line = L"\"" + wide(args.at(0)) + L"\"";
    for (std::size_t i = 1; i < args.size(); ++i) {
        line += L" \"";
        std::size_t backslashes = 0;
        for (const wchar_t c : wide(args[i])) {
            if (c == L'"') line.append(backslashes + 1, L'\\');
            backslashes = c == L'\\' ? backslashes + 1 : 0;
            line += c;
        }
        line.append(backslashes, L'\\').append(L"\"");
    }
    // Only the child's end of the pipe is inheritable: were ours inherited
    // too, the child would never see its input end.
    HANDLE read = nullptr, write = nullptr;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    if (id_ != 0 || !CreatePipe(&read, &write, &inherited, 0)) return false;
    const UniqueNullHandle input(read);
    input_ = reinterpret_cast<std::intptr_t>(write);
    SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
    const UniqueSnapshotHandle out = createFile(files_[0]), err = createFile(files_[1]);
    HANDLE unread = nullptr, pipeInput = nullptr;
    if (unreadOutputPipe && !createSmallPipe(unread, pipeInput)) return false;
    unreadOutput_ = reinterpret_cast<std::intptr_t>(unread);
    const UniqueNullHandle childOutput(pipeInput);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read;
    startup.hStdOutput = unreadOutputPipe ? pipeInput : out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION info{};
    // Wine now and then loses a child while setting it up ("internal error"): try again.
    DWORD failure = ERROR_INTERNAL_ERROR;
    for (int attempt = 0; attempt < 3 && failure == ERROR_INTERNAL_ERROR; ++attempt) {
        std::wstring writable = line;
        failure = CreateProcessW(wide(args[0]).c_str(), writable.data(), nullptr, nullptr, TRUE,
                                 ownConsole ? CREATE_NO_WINDOW : 0, nullptr, nullptr, &startup, &info)
                      ? ERROR_SUCCESS
                      : GetLastError();
    }
    if (failure != ERROR_SUCCESS) {
        error = "Could not start " + args[0] + ": Win32 error " + std::to_string(failure);
        return false;
    }
    CloseHandle(info.hThread);
    process_ = reinterpret_cast<std::intptr_t>(info.hProcess);
    id_ = info.dwProcessId;
    return true;
}

bool ChildProcess::writeInput(const std::string& text) {
    DWORD written = 0;
    return WriteFile(handle(input_), text.data(), static_cast<DWORD>(text.size()), &written,
                     nullptr) && written == text.size();
}

// Windows has no signals between processes; Ctrl-C through the child's
// console is the stop a player gives (Ctrl-Break too, which Wine does not send).
bool ChildProcess::signal(int number) {
    if (number != SIGINT || !ownConsole || !running()) return false;
    static const bool ignored = SetConsoleCtrlHandler(ignoreControl, TRUE) != 0;
    FreeConsole();
    const bool sent = ignored && AttachConsole(id_) && GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    FreeConsole();
    return sent;
}

// 137, as shells report a SIGKILL elsewhere; harmless on a child that has ended.
void ChildProcess::kill() { if (process_ != 0) TerminateProcess(handle(process_), 137); }

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    DWORD code = 0;
    if (process_ == 0 || WaitForSingleObject(handle(process_), static_cast<DWORD>(timeout.count())) != 0 ||
        !GetExitCodeProcess(handle(process_), &code)) {
        return std::nullopt;
    }
    return static_cast<int>(code);
}

std::string siblingProgram(const std::string& name) {
    std::wstring self(32768, L'\0');  // the longest path Windows has
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    const std::u8string sibling = (std::filesystem::path(self).parent_path() /
                                   (name.ends_with(".exe") ? name : name + ".exe")).u8string();
    return {sibling.begin(), sibling.end()};
}

// The voice client's link: "MumbleLink", the 5460 bytes of the record.
bool LinkProbe::open(std::string& error) {
    handle_ = OpenFileMappingA(FILE_MAP_READ, FALSE, "MumbleLink");
    view_ = handle_ != nullptr ? static_cast<const unsigned char*>(
                                     MapViewOfFile(handle_, FILE_MAP_READ, 0, 0, 5460))
                               : nullptr;
    error = "MumbleLink cannot be read (Win32 error " + std::to_string(GetLastError()) + ").";
    return view_ != nullptr;
}

LinkProbe::~LinkProbe() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (handle_ != nullptr) CloseHandle(handle_);
}

}  // namespace corvane::testing
