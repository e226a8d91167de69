#include "cli/log_file.h"

#include <mutex>
#include <new>
#include <utility>

namespace corvane {

std::string timestampedLines(std::string_view timestamp, std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line == "\r") continue;
        out.append(timestamp).append(" ").append(line).append("\n");
    }
    return out;
}

std::string_view wholeLinesOf(std::string_view tail) {
    const std::size_t lineEnd = tail.find('\n');
    return lineEnd == std::string_view::npos ? std::string_view{} : tail.substr(lineEnd + 1);
}

struct LogFile::Impl {
    LogHandle handle = kNoLogHandle;
    std::mutex mutex;       // guards the two below, asked from another thread
    bool failed = false;    // a write failed: the first reason is kept
    std::string failure;    // not yet taken
    ~Impl() { closeLogHandle(handle); }
};

LogFile::LogFile() noexcept = default;
LogFile::LogFile(LogFile&&) noexcept = default;
LogFile& LogFile::operator=(LogFile&&) noexcept = default;
LogFile::~LogFile() = default;

bool LogFile::open(const std::string& path, std::string& error) {
    impl_.reset();
    const LogHandle handle = openLogHandle(path, error);
    if (handle == kNoLogHandle) return false;
    impl_ = std::make_unique<Impl>();
    impl_->handle = handle;
    return true;
}

bool LogFile::append(std::string_view bytes) {
    if (!impl_) return false;
    // The file's own size, so that what others appended counts and a log
    // they emptied is not cut again. A trim that fails leaves the file as it
    // was: the line is still worth more than the limit.
    std::uint64_t size = 0;
    if (logSize(impl_->handle, size) && size + bytes.size() > kLogFileLimit) trim(size, bytes.size());
    std::string error;
    if (appendToLog(impl_->handle, bytes, error)) return true;
    const std::lock_guard lock(impl_->mutex);
    if (!impl_->failed) impl_->failure = error;
    impl_->failed = true;
    return false;
}

std::string LogFile::takeFailure() {
    if (!impl_) return {};
    const std::lock_guard lock(impl_->mutex);
    return std::exchange(impl_->failure, std::string());
}

// The newest whole lines, read from the end only: however large the file
// (one larger than memory, too), this reads and keeps at most half the limit.
bool LogFile::trim(std::uint64_t size, std::size_t incoming) {
    const std::size_t room = kLogFileLimit / 2 > incoming ? kLogFileLimit / 2 - incoming : 0;
    if (size <= room) return true;
    // One byte before the room, so a line that begins right at its edge is whole.
    const std::uint64_t from = size - room - 1;
    try {
        std::string tail(room + 1, '\0');
        tail.resize(readLogAt(impl_->handle, from, tail.data(), tail.size()));
        return rewriteLog(impl_->handle, wholeLinesOf(tail));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace corvane
