#include "tests/support/link_probe.h"

#include "common/win32_error.h"
#include "link/link_record.h"

#include <cstdint>
#include <cstring>
#include <thread>

namespace corvane::testing {

namespace {

// Word by word through volatile, so the compiler neither merges nor skips the
// two copies that read() compares.
void copyRecord(const void* view, LinkedMem& record) {
    std::uint32_t words[kLinkedMemWords];
    const auto* source = static_cast<const volatile std::uint32_t*>(view);
    for (std::size_t i = 0; i < kLinkedMemWords; ++i) words[i] = source[i];
    std::memcpy(&record, words, sizeof record);
}

}  // namespace

bool LinkProbe::open(std::string& error) {
    std::uint32_t code = 0;
    const SharedMemory::Status status = memory_.openExisting(kLinkName, kLinkedMemSize, code);
    if (status == SharedMemory::Status::Ok) return true;
    error = status == SharedMemory::Status::NotFound
                ? "MumbleLink shared memory does not exist."
                : win32ErrorText("Could not open MumbleLink shared memory for reading", code);
    return false;
}

std::optional<LinkedMem> LinkProbe::read() const {
    const void* view = memory_.data();
    // The writer may be storing a frame while we copy; a few tries find a quiet
    // moment between its frames, which are 20 ms apart.
    for (int attempt = 0; view != nullptr && attempt < 20; ++attempt) {
        LinkedMem first{};
        LinkedMem second{};
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

::testing::AssertionResult isRecordOf(const LinkedMem& record, const LinkFrame& frame) {
    LinkedMem expected{};
    assembleRecord(frame, record.uiTick, expected);
    const auto* actualBytes = reinterpret_cast<const unsigned char*>(&record);
    const auto* expectedBytes = reinterpret_cast<const unsigned char*>(&expected);
    for (std::size_t i = 0; i < kLinkedMemSize; ++i) {
        if (actualBytes[i] != expectedBytes[i]) {
            return ::testing::AssertionFailure()
                   << "the record of uiTick " << record.uiTick << " differs first at byte " << i
                   << ": " << int{actualBytes[i]} << " instead of " << int{expectedBytes[i]};
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace corvane::testing
