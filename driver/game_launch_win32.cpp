#include "driver/game_launch.h"

#include "cli/game_command.h"
#include "common/win32_error.h"
#include "common/windows_support.h"
#include "link/utf8.h"

#include <algorithm>

namespace corvane {

struct GameLaunch::Impl {
    UniqueNullHandle process;
};

GameLaunch::GameLaunch() noexcept = default;
GameLaunch::GameLaunch(GameLaunch&&) noexcept = default;
GameLaunch& GameLaunch::operator=(GameLaunch&&) noexcept = default;
GameLaunch::~GameLaunch() = default;

namespace {

// The standard handles a child may inherit: valid, inheritable, each once.
std::vector<HANDLE> inheritableStandardHandles() {
    std::vector<HANDLE> handles;
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = GetStdHandle(which);
        DWORD flags = 0;
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE &&
            GetHandleInformation(handle, &flags) && (flags & HANDLE_FLAG_INHERIT) != 0 &&
            std::find(handles.begin(), handles.end(), handle) == handles.end()) {
            handles.push_back(handle);
        }
    }
    return handles;
}

}  // namespace

bool GameLaunch::start(const std::vector<std::string>& command) {
    const std::u16string line16 = utf8ToUtf16(quotedCommandLine(command));
    std::wstring line(line16.begin(), line16.end());

    // The standard streams and nothing else of ours: the handle list keeps
    // any other inheritable handle this process may hold from the child.
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    std::vector<HANDLE> inherited = inheritableStandardHandles();
    std::vector<unsigned char> attributes;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributes.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    const bool listed = !inherited.empty() && InitializeProcThreadAttributeList(list, 1, 0, &size);
    if (!listed || !UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                              inherited.data(), inherited.size() * sizeof(HANDLE),
                                              nullptr, nullptr)) {
        // Without inheritable standard handles a console program finds its console itself.
        inherited.clear();
    } else {
        startup.lpAttributeList = list;
        startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        startup.StartupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.StartupInfo.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.StartupInfo.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION info{};
    // No application name: Windows finds the program as a command line does.
    const BOOL created =
        !command.empty() &&
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherited.empty() ? FALSE : TRUE,
                       inherited.empty() ? 0 : EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                       &startup.StartupInfo, &info);
    const DWORD error = command.empty() ? ERROR_FILE_NOT_FOUND : GetLastError();
    if (listed) DeleteProcThreadAttributeList(list);
    if (!created) {
        lastError_ = win32ErrorText("Could not start the game command \"" +
                                        (command.empty() ? std::string() : command[0]) + "\"",
                                    error);
        return false;
    }
    CloseHandle(info.hThread);
    impl_ = std::make_unique<Impl>();
    impl_->process.reset(info.hProcess);
    return true;
}

std::uint32_t GameLaunch::gameAncestor() const noexcept { return impl_ ? GetCurrentProcessId() : 0; }

std::optional<int> GameLaunch::exitCode() noexcept { return waitForExit(std::chrono::milliseconds{0}); }

std::optional<int> GameLaunch::waitForExit(std::chrono::milliseconds timeout) noexcept {
    DWORD code = 0;
    if (!impl_ ||
        WaitForSingleObject(impl_->process.get(), static_cast<DWORD>(timeout.count())) !=
            WAIT_OBJECT_0 ||
        !GetExitCodeProcess(impl_->process.get(), &code)) {
        return std::nullopt;
    }
    return static_cast<int>(code);
}

// Windows has no stop signal to pass on: Ctrl-C reaches every program of the
// console by itself, and a game of its own window is left to its player.
bool GameLaunch::passOn(int) noexcept { return false; }

}  // namespace corvane
