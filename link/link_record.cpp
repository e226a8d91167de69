#include "link/link_record.h"

#include "link/utf8.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

// Copies at most `limit` units and leaves the rest of the field zero, so a
// NUL always follows the text.
template <std::size_t N>
void copyText(std::u16string_view text, std::size_t limit, char16_t (&field)[N]) {
    static_assert(N > 0);
    const std::size_t count = std::min({text.size(), limit, N - 1});
    std::fill(std::begin(field), std::end(field), u'\0');
    std::copy_n(text.data(), count, field);
}

void copyVec(const Vec3& v, float (&field)[3]) {
    field[0] = v.x;
    field[1] = v.y;
    field[2] = v.z;
}

}  // namespace

void assembleRecord(const LinkFrame& frame, std::uint32_t tick, LinkedMem& record) {
    record.uiVersion = kLinkVersion;
    record.uiTick = tick;

    copyVec(frame.pose.avatarPosition, record.fAvatarPosition);
    copyVec(frame.pose.avatarFront, record.fAvatarFront);
    copyVec(frame.pose.avatarTop, record.fAvatarTop);
    copyVec(frame.pose.cameraPosition, record.fCameraPosition);
    copyVec(frame.pose.cameraFront, record.fCameraFront);
    copyVec(frame.pose.cameraTop, record.fCameraTop);

    copyText(kLinkProgramName, kMaxNameUnits, record.name);
    copyText(kLinkDescription, kMaxDescriptionUnits, record.description);
    copyText(utf8ToUtf16(frame.identity), kMaxIdentityUnits, record.identity);

    const std::size_t contextBytes = std::min(frame.context.size(), kMaxContextBytes);
    std::memset(record.context, 0, sizeof record.context);
    std::memcpy(record.context, frame.context.data(), contextBytes);
    record.context_len = static_cast<std::uint32_t>(contextBytes);
}

void storeRecord(const LinkedMem& record, void* view) noexcept {
    std::uint32_t words[kLinkedMemWords];
    std::memcpy(words, &record, sizeof words);
    // volatile keeps each store a single, ordered 32-bit store.
    auto* target = static_cast<volatile std::uint32_t*>(view);
    for (std::size_t i = 0; i < kLinkedMemWords; ++i) target[i] = words[i];
}

void clearRecord(void* view) noexcept {
    auto* target = static_cast<volatile std::uint32_t*>(view);
    for (std::size_t i = 0; i < kLinkedMemWords; ++i) target[i] = 0;
}

}  // namespace corvane
