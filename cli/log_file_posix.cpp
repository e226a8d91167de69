#include "cli/log_file.h"

#include "common/file_error.h"
#include "common/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace corvane {

std::string localTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = "";
    if (localtime_r(&now, &local) != nullptr) {
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    }
    return text;
}

LogHandle openLogHandle(const std::string& path, std::string& error) {
    // Without waiting: a FIFO of that name must not hold up the start. Not
    // through a symbolic link, which another user may have put in a shared
    // folder to lead the log onto a file of the player's.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW,
                       0600));
    struct stat info {};
    if (!fd) {
        const int code = errno;
        // Some kernels answer a symbolic link refused so with EACCES, not ELOOP.
        struct stat link {};
        const bool symbolic = lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        error = symbolic || code == ELOOP ? "it is a symbolic link, which the bridge does not follow"
                                          : fileErrorText(static_cast<std::uint32_t>(code), path);
        return kNoLogHandle;
    }
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "it is not a file";
    } else if (info.st_uid != geteuid()) {
        error = "it belongs to user " + std::to_string(info.st_uid) + ", not to you";
    } else if ((info.st_mode & S_IWOTH) != 0) {
        error = "every user may write to it (chmod o-w makes it yours alone)";
    } else if (info.st_nlink > 1) {
        error = "it has other names (hard links), so it may be another file of yours";
    } else {
        fcntl(fd.get(), F_SETFL, O_APPEND);
        return fd.release();
    }
    return kNoLogHandle;
}

void closeLogHandle(LogHandle handle) {
    if (handle != kNoLogHandle) ::close(static_cast<int>(handle));
}

bool logSize(LogHandle handle, std::uint64_t& size) {
    struct stat info {};
    if (fstat(static_cast<int>(handle), &info) != 0) return false;
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

bool appendToLog(LogHandle handle, std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(static_cast<int>(handle), bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const int code = written == 0 ? ENOSPC : errno;
            error = code == ENOSPC  ? "the disk is full"
                    : code == EDQUOT ? "your disk quota is used up"
                    : code == EFBIG  ? "it has reached the largest file size allowed here (ulimit -f)"
                                     : std::string(std::strerror(code));
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::size_t readLogAt(LogHandle handle, std::uint64_t offset, char* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = pread(static_cast<int>(handle), buffer + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

bool rewriteLog(LogHandle handle, std::string_view kept) {
    const int fd = static_cast<int>(handle);
    // pwrite appends whatever its offset while O_APPEND is on (Linux): off
    // for the rewrite.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_APPEND) != 0) return false;
    std::size_t written = 0;
    while (written < kept.size()) {
        const ssize_t n = pwrite(fd, kept.data() + written, kept.size() - written, static_cast<off_t>(written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    // Cut short (a full disk, ulimit -f): the whole lines written stay, none broken.
    std::size_t whole = written;
    if (written < kept.size()) {
        const std::size_t end = kept.substr(0, written).rfind('\n');
        whole = end == std::string_view::npos ? 0 : end + 1;
    }
    const bool cut = ftruncate(fd, static_cast<off_t>(whole)) == 0;
    fdatasync(fd);
    fcntl(fd, F_SETFL, flags);
    return cut && whole == kept.size();
}

}  // namespace corvane
