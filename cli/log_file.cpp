#include "cli/log_file.h"

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
    std::string path;
    std::FILE* file = nullptr;
    std::size_t size = 0;
    ~Impl() {
        if (file != nullptr) std::fclose(file);
    }
};

LogFile::LogFile() noexcept = default;
LogFile::LogFile(LogFile&&) noexcept = default;
LogFile& LogFile::operator=(LogFile&&) noexcept = default;
LogFile::~LogFile() = default;

bool LogFile::open(const std::string& path, std::string& error) {
    impl_.reset();
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->file = openLogStream(path, false, error);
    if (impl->file == nullptr) return false;
    if (std::fseek(impl->file, 0, SEEK_END) == 0) {
        const long end = std::ftell(impl->file);
        impl->size = end > 0 ? static_cast<std::size_t>(end) : 0;
    }
    impl_ = std::move(impl);
    if (impl_->size >= kLogFileLimit) trim();
    return true;
}

bool LogFile::append(std::string_view bytes) {
    if (!impl_) return false;
    if (impl_->size + bytes.size() >= kLogFileLimit && !trim()) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), impl_->file) == bytes.size() &&
                         std::fflush(impl_->file) == 0;
    impl_->size += bytes.size();
    return written;
}

// The newer half read back, then the file emptied and that half written
// again. A log that cannot be read back is emptied.
bool LogFile::trim() {
    const std::size_t keep = impl_->size / 2 + 1;
    std::string tail(keep, '\0');
    std::size_t got = 0;
    if (std::fseek(impl_->file, -static_cast<long>(keep), SEEK_END) == 0) {
        got = std::fread(tail.data(), 1, keep, impl_->file);
    }
    tail.resize(got);
    const std::string_view kept = wholeLinesOf(tail);
    std::string error;
    std::FILE* emptied = openLogStream(impl_->path, true, error);
    if (emptied == nullptr) return false;
    std::fclose(impl_->file);
    impl_->file = emptied;
    impl_->size = std::fwrite(kept.data(), 1, kept.size(), emptied);
    return true;
}

}  // namespace corvane
