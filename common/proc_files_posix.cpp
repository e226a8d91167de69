#include "common/proc_files.h"

#include "common/unique_fd.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace corvane {

bool readToEnd(int fd, std::string& text, std::size_t limit) {
    char buffer[4096];
    for (std::size_t got = 0; got < limit;) {
        const ssize_t read = ::read(fd, buffer, std::min(sizeof buffer, limit - got));
        if (read < 0 && errno == EINTR) continue;
        if (read < 0) return false;
        if (read == 0) break;
        text.append(buffer, static_cast<std::size_t>(read));
        got += static_cast<std::size_t>(read);
    }
    return true;
}

std::optional<std::string> readProcFile(const std::string& path, std::size_t limit, int directory) {
    const UniqueFd fd(directory < 0 ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC)
                                    : ::openat(directory, path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    if (!fd || !readToEnd(fd.get(), text, limit)) return std::nullopt;
    return text;
}

std::optional<std::uint32_t> processRealUser(std::uint32_t pid) {
    const auto status = readProcFile("/proc/" + std::to_string(pid) + "/status");
    if (!status) return std::nullopt;
    // "Uid:\treal\teffective\tsaved\tfilesystem"
    const std::size_t line = status->find("\nUid:");
    if (line == std::string::npos) return std::nullopt;
    const std::size_t start = status->find_first_not_of(" \t", line + 5);
    if (start == std::string::npos) return std::nullopt;
    std::uint32_t uid = 0;
    const char* first = status->data() + start;
    const auto [end, error] = std::from_chars(first, status->data() + status->size(), uid);
    if (error != std::errc{} || end == first) return std::nullopt;
    return uid;
}

bool isPlayersProcess(std::uint32_t pid) { return processRealUser(pid) == static_cast<std::uint32_t>(getuid()); }

}  // namespace corvane
