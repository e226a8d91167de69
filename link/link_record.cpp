#include "link/link_record.h"

#include "link/utf8.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <type_traits>

namespace corvane {
namespace {

// Copies at most `limit` units and leaves the rest of the field zero, so a
// NUL always follows the text.
template <typename Text, typename Unit, std::size_t N>
void copyText(const Text& text, std::size_t limit, Unit (&field)[N]) {
    static_assert(N > 0);
    const std::size_t count = std::min({text.size(), limit, N - 1});
    std::fill(std::begin(field), std::end(field), Unit{0});
    for (std::size_t i = 0; i < count; ++i) {
        using Source = std::make_unsigned_t<typename Text::value_type>;
        field[i] = static_cast<Unit>(static_cast<Source>(text[i]));
    }
}

void copyVec(const Vec3& v, float (&field)[3]) {
    field[0] = v.x;
    field[1] = v.y;
    field[2] = v.z;
}

std::u16string convertIdentity(std::string_view text, char16_t) { return utf8ToUtf16(text); }
std::u32string convertIdentity(std::string_view text, char32_t) { return utf8ToUtf32(text); }

}  // namespace

template <typename Unit>
void assembleRecord(const LinkFrame& frame, std::uint32_t tick, BasicLinkedMem<Unit>& record) {
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
    copyText(convertIdentity(frame.identity, Unit{}), kMaxIdentityUnits, record.identity);

    const std::size_t contextBytes = std::min(frame.context.size(), kMaxContextBytes);
    std::memset(record.context, 0, sizeof record.context);
    std::memcpy(record.context, frame.context.data(), contextBytes);
    record.context_len = static_cast<std::uint32_t>(contextBytes);
}

template void assembleRecord(const LinkFrame&, std::uint32_t, WindowsLinkedMem&);
template void assembleRecord(const LinkFrame&, std::uint32_t, LinuxLinkedMem&);

void storeWords(const void* source, std::size_t words, void* view) noexcept {
    const auto* bytes = static_cast<const unsigned char*>(source);
    // volatile keeps each store a single, ordered 32-bit store.
    auto* target = static_cast<volatile std::uint32_t*>(view);
    for (std::size_t i = 0; i < words; ++i) {
        std::uint32_t word = 0;
        if (bytes != nullptr) std::memcpy(&word, bytes + 4 * i, 4);
        target[i] = word;
    }
}

void storeFrameThenTick(const void* source, std::size_t words, void* view) noexcept {
    if (words < 2) return;
    const auto* bytes = static_cast<const unsigned char*>(source);
    storeWords(bytes == nullptr ? nullptr : bytes + 8, words - 2, static_cast<std::uint32_t*>(view) + 2);
    // x86 keeps stores in program order; the fence keeps the compiler from moving them.
    std::atomic_thread_fence(std::memory_order_release);
    storeWords(source, 2, view);
}

}  // namespace corvane
