#include "cli/log_file.h"

#include "common/file_error.h"
#include "common/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>

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

std::FILE* openLogStream(const std::string& path, bool empty, std::string& error) {
    // Without waiting: a FIFO of that name must not hold up the start.
    const int flags = O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK |
                      (empty ? O_TRUNC : 0);
    UniqueFd fd(::open(path.c_str(), flags, 0600));
    struct stat info {};
    if (!fd) {
        error = fileErrorText(static_cast<std::uint32_t>(errno), path);
        return nullptr;
    }
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "it is not a file";
        return nullptr;
    }
    fcntl(fd.get(), F_SETFL, O_APPEND);
    std::FILE* file = fdopen(fd.get(), "a+");
    if (file == nullptr) {
        error = std::strerror(errno);
        return nullptr;
    }
    fd.release();
    return file;
}

}  // namespace corvane
