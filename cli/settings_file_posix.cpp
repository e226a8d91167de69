#include "cli/settings_file.h"

#include "common/file_error.h"
#include "common/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace corvane {

bool readFileStart(const std::string& path, std::size_t limit, std::string& bytes,
                   std::string& error) {
    bytes.clear();
    // Without waiting: opening a FIFO to read would wait for a writer.
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (fd && fstat(fd.get(), &info) == 0 && !S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a file";
        return false;
    }
    std::string buffer(limit, '\0');
    std::size_t size = 0;
    ssize_t got = fd ? 1 : -1;
    while (fd && size < buffer.size()) {
        got = read(fd.get(), buffer.data() + size, buffer.size() - size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        size += static_cast<std::size_t>(got);
    }
    if (got < 0) {
        error = fileErrorText(static_cast<std::uint32_t>(errno), path);
        return false;
    }
    buffer.resize(size);
    bytes = std::move(buffer);
    return true;
}

}  // namespace corvane
