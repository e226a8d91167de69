#include "tests/support/child_process_platform.h"

#include "common/windows_support.h"

#include <algorithm>

namespace corvane::testing::detail {

namespace {

// How long one read waits for output before it lets the reader check
// whether it should stop. Anonymous pipes cannot be waited on, so readers
// peek and nap instead.
constexpr DWORD kReadNapMs = 5;
// The exit code of a child we end with TerminateProcess, as shells report a
// SIGKILL elsewhere.
constexpr UINT kKilledExitCode = 137;

std::string lastErrorText(std::string_view what) {
    return std::string(what) + " (Win32 error " + std::to_string(GetLastError()) + ").";
}

bool toWide(const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return false;
    wide.assign(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
    return true;
}

std::string toUtf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                        length, nullptr, nullptr);
    return text;
}

// Quotes one argument so that the C runtime's command-line parser hands it
// back unchanged: backslashes count only where they precede a quote.
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
        if (c == L'"') {
            line.append(backslashes * 2 + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        backslashes = 0;
        line += c;
    }
    // They now precede the closing quote.
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

struct Pipe {
    UniqueNullHandle read;
    UniqueNullHandle write;
};

// Neither end is inheritable unless the caller makes the child's end so:
// our own ends must never reach the child, or the child's output would not
// end when it does.
bool makePipe(Pipe& pipe, std::string& error) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, nullptr, 0)) {
        error = lastErrorText("Could not create a pipe");
        return false;
    }
    pipe.read.reset(read);
    pipe.write.reset(write);
    return true;
}

bool makeInheritable(const UniqueNullHandle& handle, std::string& error) {
    if (SetHandleInformation(handle.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) return true;
    error = lastErrorText("Could not pass a pipe to the child");
    return false;
}

}  // namespace

struct ProcessHandle::State {
    UniqueNullHandle process;
    DWORD pid = 0;
    UniqueNullHandle input;
    UniqueNullHandle output;
    UniqueNullHandle error;
};

ProcessHandle::ProcessHandle() : state_(std::make_unique<State>()) {}
ProcessHandle::~ProcessHandle() = default;

bool ProcessHandle::start(const std::vector<std::string>& args, std::string& error) {
    std::wstring application;
    std::wstring commandLine;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::wstring wide;
        if (!toWide(args[i], wide)) {
            error = "Argument " + std::to_string(i) + " is not valid UTF-8.";
            return false;
        }
        if (i == 0) {
            // The runtime takes the program name up to the next quote, with
            // no backslash rules; a path cannot contain a quote anyway.
            application = wide;
            commandLine = L"\"" + wide + L"\"";
        } else {
            commandLine += L' ';
            appendQuoted(commandLine, wide);
        }
    }

    Pipe input;
    Pipe output;
    Pipe errorPipe;
    if (!makePipe(input, error) || !makePipe(output, error) || !makePipe(errorPipe, error) ||
        !makeInheritable(input.read, error) || !makeInheritable(output.write, error) ||
        !makeInheritable(errorPipe.write, error)) {
        return false;
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.read.get();
    startup.hStdOutput = output.write.get();
    startup.hStdError = errorPipe.write.get();
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                        nullptr, nullptr, &startup, &info)) {
        error = lastErrorText("Could not start " + args[0]);
        return false;
    }
    CloseHandle(info.hThread);

    state_->process.reset(info.hProcess);
    state_->pid = info.dwProcessId;
    state_->input = std::move(input.write);
    state_->output = std::move(output.read);
    state_->error = std::move(errorPipe.read);
    // The child's ends close here, so only the child holds them now.
    return true;
}

bool ProcessHandle::writeInput(std::string_view text) {
    if (!state_->input) return false;
    while (!text.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(state_->input.get(), text.data(), chunk, &written, nullptr)) return false;
        text.remove_prefix(written);
    }
    return true;
}

void ProcessHandle::closeInput() { state_->input.reset(); }

ReadResult ProcessHandle::read(OutputStream stream, char* buffer, std::size_t capacity,
                               std::size_t& count) {
    const HANDLE pipe =
        stream == OutputStream::Standard ? state_->output.get() : state_->error.get();
    if (pipe == nullptr) return ReadResult::End;
    DWORD available = 0;
    // Fails with ERROR_BROKEN_PIPE once the child's end is closed and drained.
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return ReadResult::End;
    if (available == 0) {
        Sleep(kReadNapMs);
        return ReadResult::Idle;
    }
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(available, capacity));
    DWORD got = 0;
    if (!ReadFile(pipe, buffer, wanted, &got, nullptr)) return ReadResult::End;
    if (got == 0) return ReadResult::Idle;
    count = got;
    return ReadResult::Data;
}

// Windows has no way to send another console process a signal of its own.
bool ProcessHandle::interrupt() { return false; }

bool ProcessHandle::terminate() { return false; }

void ProcessHandle::kill() {
    // On a child that has already ended this fails harmlessly; the handle
    // keeps its id from being reused meanwhile.
    if (state_->process) TerminateProcess(state_->process.get(), kKilledExitCode);
}

std::optional<int> ProcessHandle::wait(std::chrono::milliseconds timeout) {
    if (!state_->process) return std::nullopt;
    const auto milliseconds =
        std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INFINITE - 1);
    if (WaitForSingleObject(state_->process.get(), static_cast<DWORD>(milliseconds)) !=
        WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(state_->process.get(), &code)) return -1;
    return static_cast<int>(code);
}

std::uint32_t ProcessHandle::id() const { return state_->pid; }

std::string runningExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return toUtf8(path);
        }
        path.resize(path.size() * 2);
    }
}

std::string_view executableSuffix() { return ".exe"; }

}  // namespace corvane::testing::detail
