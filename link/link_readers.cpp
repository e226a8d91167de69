#include "link/link_readers.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

namespace corvane {
namespace {

// How long the end waits for a look under way.
constexpr int kLeaveBehindMs = 100;

// The next field up to a space, and the rest after it.
std::string_view field(std::string_view& line) {
    const std::size_t end = std::min(line.find(' '), line.size());
    const std::string_view value = line.substr(0, end);
    line.remove_prefix(std::min(end + 1, line.size()));
    return value;
}

template <typename Number>
bool number(std::string_view text, Number& value, int base) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return !text.empty() && error == std::errc{} && end == text.data() + text.size();
}

// "mumble (pid 4242)", "a (pid 1) and b (pid 2)", "a (pid 1), b (pid 2) and c (pid 3)".
std::string names(const std::vector<const LinkReader*>& readers) {
    std::string out;
    for (std::size_t i = 0; i < readers.size(); ++i) {
        if (i > 0) out += i + 1 == readers.size() ? " and " : ", ";
        out += readers[i]->program + " (pid " + std::to_string(readers[i]->pid) + ")";
    }
    return out;
}

}  // namespace

std::optional<MappedFile> parseMapsLine(std::string_view line) {
    const std::string_view range = field(line), permissions = field(line), offset = field(line),
                           device = field(line), inodeText = field(line);
    MappedFile file;
    const std::size_t colon = device.find(':');
    std::uint64_t offsetValue = 0;
    if (range.find('-') == std::string_view::npos || permissions.size() != 4 ||
        !number(offset, offsetValue, 16) || colon == std::string_view::npos ||
        !number(device.substr(0, colon), file.major, 16) ||
        !number(device.substr(colon + 1), file.minor, 16) || !number(inodeText, file.inode, 10) ||
        file.inode == 0) {
        return std::nullopt;
    }
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    constexpr std::string_view kDeleted = " (deleted)";
    file.deleted = line.ends_with(kDeleted);
    if (file.deleted) line.remove_suffix(kDeleted.size());
    file.path = line;
    return file;
}

std::optional<LinkReader::Holds> linkHeld(const MappedFile& file, std::uint32_t major,
                                          std::uint32_t minor, std::uint64_t inode,
                                          std::string_view name) {
    const bool sameDevice = file.major == major && file.minor == minor;
    if (sameDevice && file.inode == inode) return LinkReader::Holds::ThisLink;
    const std::size_t slash = file.path.rfind('/');
    if (slash == std::string_view::npos || file.path.substr(slash + 1) != name) return std::nullopt;
    return sameDevice ? LinkReader::Holds::Removed : LinkReader::Holds::Elsewhere;
}

bool statusSeesEveryProcess(std::string_view status) {
    const std::size_t at = status.find("\nNSpid:");
    if (at == std::string_view::npos) return true;  // a kernel that does not say
    std::string_view line = status.substr(at + 7);
    line = line.substr(0, line.find('\n'));
    std::size_t numbers = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] >= '0' && line[i] <= '9' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) ++numbers;
    }
    return numbers <= 1;
}

std::string describeReaders(std::vector<LinkReader> readers, const std::string& location,
                            bool seesEveryProcess) {
    if (readers.empty() && !seesEveryProcess) {
        return "Who reads the link " + location + " cannot be seen from inside this sandbox (a "
               "Flatpak or a container hides the computer's other programs): the link monitor run "
               "outside it shows its readers.\n";
    }
    if (readers.empty()) {
        return "No voice client has the link " + location + " open yet: check that Mumble runs, "
               "as you, with Positional Audio ticked (Audio Output) and Link to Game and Transmit "
               "Position ticked and the Link plugin enabled (Plugins).\n";
    }
    std::sort(readers.begin(), readers.end(),
              [](const LinkReader& a, const LinkReader& b) { return a.pid < b.pid; });
    std::vector<const LinkReader*> kinds[3];
    std::size_t unnamed = 0;
    for (const LinkReader& reader : readers) {
        if (reader.pid == 0) {
            ++unnamed;
        } else {
            kinds[static_cast<int>(reader.holds)].push_back(&reader);
        }
    }
    const std::string folder = location.substr(0, location.rfind('/'));
    std::string out;
    const auto sentence = [&out](const std::string& text) { out += (out.empty() ? "" : " ") + text; };
    if (unnamed == 1) sentence("Another program has the link " + location + " open.");
    if (unnamed > 1) sentence(std::to_string(unnamed) + " other programs have the link " + location + " open.");
    if (const auto& these = kinds[0]; !these.empty()) {
        sentence("The link " + location + " is read by " + names(these) + ".");
    }
    if (const auto& elsewhere = kinds[2]; !elsewhere.empty()) {
        const bool one = elsewhere.size() == 1;
        sentence(names(elsewhere) + (one ? " reads" : " read") + " a link of the same name in " +
                 (one ? "a " : "") + folder + (one ? " of its own" : " of their own") +
                 ", not this one: a voice client in a sandbox (Flatpak, Snap) never sees the "
                 "bridge's frames. Let it use the system's " + folder + " (Flatpak: flatpak "
                 "override --user --device=shm info.mumble.Mumble, then restart Mumble), or install "
                 "Mumble from your distribution's packages.");
    }
    if (const auto& removed = kinds[1]; !removed.empty()) {
        sentence(names(removed) + (removed.size() == 1 ? " still reads" : " still read") +
                 " a link that was removed from " + folder + ", not this one: restart the voice "
                 "client, or switch its Link plugin off and on again.");
    }
    return out + "\n";
}

std::optional<std::string> ReaderNotice::offer(const std::string& text, std::int64_t now) {
    if (text == said_ || (saidAt_ && now - *saidAt_ < gapNs_)) return std::nullopt;
    said_ = text;
    saidAt_ = now;
    return text;
}

struct ReaderWatch::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    SharedMemory::Identity link;
    std::optional<std::string> latest;
    bool changed = false;
    bool stopping = false;
    bool done = false;
    std::atomic<bool> stop{false};
};

ReaderWatch::~ReaderWatch() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(shared_->mutex);
    shared_->stopping = true;
    shared_->stop.store(true);
    shared_->wake.notify_all();
    const bool done = shared_->wake.wait_for(lock, std::chrono::milliseconds(kLeaveBehindMs),
                                             [this] { return shared_->done; });
    lock.unlock();
    if (done) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

void ReaderWatch::watch(const SharedMemory::Identity& link) {
    if (!shared_) shared_ = std::make_shared<Shared>();
    const std::lock_guard lock(shared_->mutex);
    if (thread_.joinable() && link == shared_->link) return;
    shared_->link = link;
    shared_->latest.reset();
    shared_->changed = true;
    if (thread_.joinable()) return;
    try {
        startThread();
    } catch (const std::system_error& error) {  // no thread to be had: the readers are not told, the bridge runs on
        failure_ = "a thread for the look cannot be made (" + error.code().message() + ")";
    } catch (...) {
        failure_ = "a thread for the look cannot be made (out of memory)";
    }
}

void ReaderWatch::startThread() {
    thread_ = std::thread([shared = shared_, intervalMs = intervalMs_] {
        ReaderScan scan;
        const bool seesAll = lookSeesEveryProcess();
        std::unique_lock held(shared->mutex);
        while (!shared->stopping) {
            shared->changed = false;
            const SharedMemory::Identity asked = shared->link;
            held.unlock();
            std::optional<std::string> text;
            try {
                if (const auto readers = scan.find(asked, shared->stop)) {
                    text = describeReaders(*readers, sharedMemoryLocation(asked.name), seesAll);
                }
            } catch (...) {  // out of memory: nothing to tell this time
            }
            held.lock();
            if (!shared->changed) shared->latest = std::move(text);  // else it is about a link since replaced
            // Never sooner, also for a link that changed meanwhile: /proc is looked at every interval at most.
            shared->wake.wait_for(held, std::chrono::milliseconds(intervalMs), [&] { return shared->stopping; });
        }
        shared->done = true;
        shared->wake.notify_all();
    });
}

std::string ReaderWatch::takeFailure() {
    if (failureSaid_ || failure_.empty()) return {};
    failureSaid_ = true;
    return failure_;
}

std::optional<std::string> ReaderWatch::latest() const {
    if (!shared_) return std::nullopt;
    const std::lock_guard lock(shared_->mutex);
    return shared_->latest;
}

}  // namespace corvane
