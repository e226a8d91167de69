#include "driver/game_launch.h"

#include "cli/game_command.h"
#include "common/win32_error.h"
#include "common/windows_support.h"
#include "link/utf8.h"

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstring>

namespace corvane {

struct GameLaunch::Impl {
    UniqueNullHandle process;  // the command itself, whose exit code is ours
    // The job every process of the command joins, also those started by a
    // launcher that does not wait for them; null where the system refused it
    // (then the command's own end is the end).
    UniqueNullHandle job;
    UniqueNullHandle game;  // the process read as the game, from follow()
    CommandFacts facts;
};

GameLaunch::GameLaunch() noexcept = default;
GameLaunch::GameLaunch(GameLaunch&&) noexcept = default;
GameLaunch& GameLaunch::operator=(GameLaunch&&) noexcept = default;
GameLaunch::~GameLaunch() = default;

namespace {

// STATUS_CONTROL_C_EXIT: the code of a process that a console's control event ended.
constexpr DWORD kStatusControlCExit = 0xC000013A;

// A finished process's exit time, as a number that compares.
ULONGLONG exitTime(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(exited.dwHighDateTime) << 32) | exited.dwLowDateTime;
}

bool ended(HANDLE process) { return process != nullptr && WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }

std::optional<int> codeOf(HANDLE process) {
    DWORD code = 0;
    if (!GetExitCodeProcess(process, &code)) return std::nullopt;
    return static_cast<int>(code);
}

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
    // In a job of its own before it runs, so all it starts is in the job too.
    // Closing our handle leaves the job's processes running (no kill on
    // close); a bridge that itself runs in a job nests this one in it.
    UniqueNullHandle job(CreateJobObjectW(nullptr, nullptr));
    // A launcher or updater may start a process that asks to leave the job
    // (CREATE_BREAKAWAY_FROM_JOB): without this it fails with access denied and
    // the game never starts. Only a process that asks leaves; the game then
    // counts as the command's by its descent.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (job) SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    // No application name: Windows finds the program as a command line does.
    const DWORD flags = CREATE_SUSPENDED | (inherited.empty() ? 0 : EXTENDED_STARTUPINFO_PRESENT);
    BOOL created = FALSE;
    DWORD error = ERROR_FILE_NOT_FOUND;
    // Wine answers "internal error" when the new process died while it was
    // being set up, which happens now and then: nothing
    // of the command runs then, so another try cannot start it twice.
    for (int attempt = 0; !command.empty() && attempt < 3; ++attempt) {
        if (attempt > 0) Sleep(100);
        std::wstring writable = line;  // CreateProcessW may write into it
        created = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, inherited.empty() ? FALSE : TRUE,
                                 flags, nullptr, nullptr, &startup.StartupInfo, &info);
        error = created ? ERROR_SUCCESS : GetLastError();
        if (created || error != ERROR_INTERNAL_ERROR) break;
    }
    if (listed) DeleteProcThreadAttributeList(list);
    if (!created) {
        lastError_ = win32ErrorText("Could not start the game command \"" +
                                        (command.empty() ? std::string() : command[0]) + "\"",
                                    error);
        return false;
    }
    if (job && !AssignProcessToJobObject(job.get(), info.hProcess)) job.reset();
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    impl_ = std::make_unique<Impl>();
    impl_->process.reset(info.hProcess);
    impl_->job = std::move(job);
    impl_->facts.command = info.dwProcessId;
    impl_->facts.othersLeft = true;
    return true;
}

CommandProcesses GameLaunch::processes() const {
    if (!impl_) return {};
    CommandProcesses own{GetCurrentProcessId(), std::nullopt};
    if (!impl_->job) return own;
    // Room for the IDs of a large family; a larger one is listed in part,
    // which at worst leaves a game unseen until the list shrinks.
    constexpr std::size_t kRoom = 256;
    constexpr std::size_t kFirst = offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList) / sizeof(ULONG_PTR);
    std::vector<ULONG_PTR> buffer(kFirst + kRoom);
    JOBOBJECT_BASIC_PROCESS_ID_LIST header{};
    header.NumberOfAssignedProcesses = kRoom;
    std::memcpy(buffer.data(), &header, offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList));
    const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(ULONG_PTR));
    if (QueryInformationJobObject(impl_->job.get(), JobObjectBasicProcessIdList, buffer.data(), bytes, nullptr) ||
        GetLastError() == ERROR_MORE_DATA) {
        std::memcpy(&header, buffer.data(), offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList));
        own.members.emplace();
        for (std::size_t i = 0; i < std::min<std::size_t>(header.NumberOfProcessIdsInList, kRoom); ++i) {
            own.members->push_back(static_cast<std::uint32_t>(buffer[kFirst + i]));
        }
    }
    return own;
}

void GameLaunch::follow(std::uint32_t pid) noexcept {
    if (!impl_ || pid == 0 || pid == impl_->facts.game) return;
    impl_->facts.game = pid;
    impl_->facts.gameEnded = impl_->facts.gameOutlived = false;
    impl_->facts.gameCode.reset();
    impl_->game.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
}

CommandFacts GameLaunch::facts() noexcept {
    if (!impl_) return {};
    CommandFacts& facts = impl_->facts;
    // A job the system cannot tell about: the command's own end is the end.
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION job{};
    facts.othersLeft = impl_->job &&
        QueryInformationJobObject(impl_->job.get(), JobObjectBasicAccountingInformation, &job, sizeof job,
                                  nullptr) &&
        job.ActiveProcesses > 0;
    if (!facts.commandEnded && ended(impl_->process.get())) {
        facts.commandEnded = true;
        facts.commandCode = codeOf(impl_->process.get());
    }
    if (facts.game != 0 && !facts.gameEnded) {
        // Not GetExitCodeProcess alone: a game may end with 259, STILL_ACTIVE.
        // Without a handle (refused) its end is the job's.
        if (impl_->game ? ended(impl_->game.get()) : facts.commandEnded && !facts.othersLeft) {
            facts.gameEnded = true;
            if (impl_->game) {
                facts.gameCode = codeOf(impl_->game.get());
                facts.gameOutlived = facts.commandEnded && exitTime(impl_->game.get()) > exitTime(impl_->process.get());
            }
        }
    }
    return facts;
}

int GameLaunch::stoppedBy(int) noexcept { return static_cast<int>(kStatusControlCExit); }

namespace {

struct WindowsToClose {
    std::vector<std::uint32_t> processes;
    bool posted = false;
};

BOOL CALLBACK closeWindow(HWND window, LPARAM context) {
    auto& close = *reinterpret_cast<WindowsToClose*>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (IsWindowVisible(window) &&
        std::find(close.processes.begin(), close.processes.end(), pid) != close.processes.end() &&
        PostMessageW(window, WM_CLOSE, 0, 0)) {
        close.posted = true;
    }
    return TRUE;
}

}  // namespace

// The console's close, logoff and shutdown (SIGTERM here) reach the
// command's console programs from the console itself; a game of its own
// window is asked to close as its close box would, through WM_CLOSE to each
// visible top-level window of the job's processes and the game read. Ctrl-C
// reaches every program of the console by itself, and a game of its own
// window is left to its player, as ever.
bool GameLaunch::passOn(int signal) noexcept {
    if (signal != SIGTERM || !impl_) return false;
    WindowsToClose close;
    if (auto own = processes().members) close.processes = std::move(*own);
    close.processes.push_back(impl_->facts.command);
    if (impl_->facts.game != 0) close.processes.push_back(impl_->facts.game);
    EnumWindows(closeWindow, reinterpret_cast<LPARAM>(&close));
    return close.posted;
}

}  // namespace corvane
