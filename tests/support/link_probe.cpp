#include "tests/support/link_probe.h"

#include "common/win32_error.h"
#include "tests/support/child_process.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <thread>

namespace corvane::testing {

namespace {

// The writer may be storing a frame while we copy; a few tries always find a
// quiet moment between its frames, which are 20 ms apart.
constexpr int kCopyAttempts = 20;
constexpr std::chrono::milliseconds kMonitorTimeout{5000};

// Word by word through volatile, so the compiler neither merges nor skips
// the two copies that read() compares.
void copyRecord(const void* view, LinkedMem& record) {
    std::uint32_t words[kLinkedMemWords];
    const auto* source = static_cast<const volatile std::uint32_t*>(view);
    for (std::size_t i = 0; i < kLinkedMemWords; ++i) words[i] = source[i];
    std::memcpy(&record, words, sizeof record);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // the monitor writes lowercase only
}

// The bytes of the "raw" field of the monitor's JSON line.
bool decodeRawField(const std::string& json, LinkedMem& record, std::string& error) {
    static constexpr std::string_view kKey = "\"raw\":\"";
    const std::size_t key = json.find(kKey);
    if (key == std::string::npos) {
        error = "The monitor's output has no \"raw\" field: " + json;
        return false;
    }
    const std::size_t start = key + kKey.size();
    const std::size_t end = json.find('"', start);
    if (end == std::string::npos || end - start != kLinkedMemSize * 2) {
        error = "The monitor's \"raw\" field is not " + std::to_string(kLinkedMemSize * 2) +
                " hex digits long.";
        return false;
    }
    unsigned char bytes[kLinkedMemSize];
    for (std::size_t i = 0; i < kLinkedMemSize; ++i) {
        const int high = hexDigit(json[start + 2 * i]);
        const int low = hexDigit(json[start + 2 * i + 1]);
        if (high < 0 || low < 0) {
            error = "The monitor's \"raw\" field holds a character that is no lowercase hex "
                    "digit at byte " +
                    std::to_string(i) + ".";
            return false;
        }
        bytes[i] = static_cast<unsigned char>(high * 16 + low);
    }
    std::memcpy(&record, bytes, sizeof record);
    return true;
}

}  // namespace

bool LinkProbe::open(std::string& error) {
    std::uint32_t code = 0;
    switch (memory_.openExisting(kLinkName, kLinkedMemSize, code)) {
    case SharedMemory::Status::Ok:
        return true;
    case SharedMemory::Status::NotFound:
        error = "MumbleLink shared memory does not exist.";
        return false;
    case SharedMemory::Status::OpenFailed:
        error = win32ErrorText("Could not open MumbleLink shared memory", code);
        return false;
    case SharedMemory::Status::MapFailed:
        error = win32ErrorText("Could not map MumbleLink shared memory", code);
        return false;
    }
    return false;
}

std::optional<LinkedMem> LinkProbe::read() const {
    const void* view = memory_.data();
    if (view == nullptr) return std::nullopt;
    LinkedMem first{};
    LinkedMem second{};
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        copyRecord(view, first);
        copyRecord(view, second);
        if (std::memcmp(&first, &second, sizeof first) == 0) return first;
    }
    return std::nullopt;
}

std::optional<LinkedMem> LinkProbe::waitFor(const std::function<bool(const LinkedMem&)>& done,
                                            std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::optional<LinkedMem> record = read();
        if (record && done(*record)) return record;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds{1});
    }
}

std::optional<LinkedMem> readRecordWithMonitor(std::string& error) {
    ChildProcess monitor;
    if (!monitor.start({siblingProgram("CorvaneLinkMonitor"), "--json", "--once"}, error)) {
        return std::nullopt;
    }
    const std::optional<int> code = monitor.wait(kMonitorTimeout);
    if (!code) {
        error = "The link monitor did not finish within 5 s.";
        return std::nullopt;
    }
    if (*code != 0) {
        error = "The link monitor ended with exit code " + std::to_string(*code) + ": " +
                monitor.errorOutput();
        return std::nullopt;
    }
    LinkedMem record{};
    if (!decodeRawField(monitor.output(), record, error)) return std::nullopt;
    return record;
}

}  // namespace corvane::testing
