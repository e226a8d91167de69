#include "tests/support/child_process.h"

#include "common/win32_error.h"
#include "common/windows_support.h"
#include "link/utf8.h"

#include <algorithm>

namespace corvane::testing {

namespace {

// What a child ended by TerminateProcess exits with, as shells report a
// SIGKILL elsewhere.
constexpr UINT kKilledExitCode = 137;

std::wstring wide(std::string_view text) {
    const std::u16string units = utf8ToUtf16(text);
    return {units.begin(), units.end()};
}

// Quotes one argument so that the C runtime's parser gives it back unchanged:
// backslashes count double only where a quote follows them.
void appendQuoted(std::wstring& line, const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');  // they precede the closing quote
    line += L'"';
}

// Inheritable, and readable by name while the child writes it.
bool createFile(const std::filesystem::path& path, UniqueNullHandle& file, std::string& error) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      &inherited, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) file.reset(handle);
    if (!file) error = win32ErrorText("Could not create a file for its output", GetLastError());
    return static_cast<bool>(file);
}

}  // namespace

struct ChildProcess::Impl {
    UniqueNullHandle process;
    DWORD pid = 0;
    UniqueNullHandle input;
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

// Killed before its input closes: a child that saw its input end would exit
// on its own and might run exit handlers (a sanitizer's leak check) meanwhile.
ChildProcess::~ChildProcess() {
    kill();
    wait(std::chrono::seconds{10});  // milliseconds, unless something is badly wrong
    removeFiles();
}

bool ChildProcess::start(const std::vector<std::string>& args, std::string& error) {
    if (!prepare(args, error)) return false;
    // The runtime takes the program's name up to the next quote, without
    // backslash rules; a path holds no quote anyway.
    const std::wstring application = wide(args[0]);
    std::wstring commandLine = L"\"" + application + L"\"";
    for (std::size_t i = 1; i < args.size(); ++i) {
        commandLine += L' ';
        appendQuoted(commandLine, wide(args[i]));
    }
    // Only the child's end of the pipe is inheritable: were ours inherited
    // too, the child would never see its input end.
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    if (!CreatePipe(&read, &write, &inherited, 0)) {
        error = win32ErrorText("Could not create a pipe", GetLastError());
        return false;
    }
    UniqueNullHandle input(read);
    UniqueNullHandle ours(write);
    UniqueNullHandle outputFile;
    UniqueNullHandle errorFile;
    if (!SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0)) {
        error = win32ErrorText("Could not keep the pipe from the child", GetLastError());
        return false;
    }
    if (!createFile(files_[0], outputFile, error) || !createFile(files_[1], errorFile, error)) {
        return false;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = outputFile.get();
    startup.hStdError = errorFile.get();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                        nullptr, nullptr, &startup, &info)) {
        error = win32ErrorText("Could not start " + args[0], GetLastError());
        return false;
    }
    CloseHandle(info.hThread);
    impl_->process.reset(info.hProcess);
    impl_->pid = info.dwProcessId;
    impl_->input = std::move(ours);
    return true;  // the child's handles close here: only the child holds them now
}

bool ChildProcess::writeInput(std::string_view text) {
    while (!text.empty()) {
        DWORD written = 0;
        if (!impl_->input || !WriteFile(impl_->input.get(), text.data(),
                                         static_cast<DWORD>(text.size()), &written, nullptr)) {
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

// Windows has no way to send another console process a signal of its own.
bool ChildProcess::interrupt() { return false; }

bool ChildProcess::terminate() { return false; }

void ChildProcess::kill() {
    // Harmless on a child that has ended; the handle keeps its id from reuse.
    if (impl_->process) TerminateProcess(impl_->process.get(), kKilledExitCode);
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    const auto milliseconds = static_cast<DWORD>(std::max<std::int64_t>(timeout.count(), 0));
    DWORD code = 0;
    if (!impl_->process ||
        WaitForSingleObject(impl_->process.get(), milliseconds) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    if (!GetExitCodeProcess(impl_->process.get(), &code)) return -1;
    return static_cast<int>(code);
}

std::uint32_t ChildProcess::id() const { return impl_->pid; }

std::filesystem::path detail::runningExecutable() {
    std::wstring path(32768, L'\0');  // the longest path Windows has
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

}  // namespace corvane::testing
