#include "tests/fault_platform.h"

#include "common/unique_fd.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <system_error>

namespace corvane::testing {
namespace {

const passwd* nobody() { return geteuid() == 0 ? getpwnam("nobody") : nullptr; }

// The first word after "Name:" in /proc/<pid>/status.
std::optional<std::string> statusField(std::uint32_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string word; status >> word;) {
        if (word == name + ":" && status >> word) return word;
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string> asNobody() {
    const passwd* user = nobody();
    if (user == nullptr || access("/usr/bin/setpriv", X_OK) != 0) return {};
    return {"/usr/bin/setpriv", "--reuid=" + std::to_string(user->pw_uid),
            "--regid=" + std::to_string(user->pw_gid), "--clear-groups", "--"};
}

bool setSharedMemoryAccess(const std::string& name, unsigned mode, std::string& error) {
    const UniqueFd fd(shm_open(("/" + name).c_str(), O_RDONLY | O_CLOEXEC, 0));
    const passwd* user = asNobody().empty() ? nullptr : nobody();
    if (!fd || (user != nullptr && fchown(fd.get(), user->pw_uid, user->pw_gid) != 0) ||
        fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) {
        error = "Could not set the link's owner and mode: " +
                std::generic_category().message(errno) + ".";
        return false;
    }
    return true;
}

std::optional<bool> stopHandlersInstalled(std::uint32_t pid) {
    const std::optional<std::string> caught = statusField(pid, "SigCgt");
    if (!caught) return std::nullopt;
    const unsigned long long wanted = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
    return (std::stoull(*caught, nullptr, 16) & wanted) == wanted;
}

std::optional<char> schedulerState(std::uint32_t pid) {
    const std::optional<std::string> state = statusField(pid, "State");
    if (!state) return std::nullopt;
    return state->front();
}

}  // namespace corvane::testing
